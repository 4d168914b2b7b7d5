#pragma once

#include <QIcon>
#include <QString>

namespace VEXO {
// The icon of an image file, read once per path and shared from then on: a
// QIcon made from a file decodes it again each time, and each copy scales
// and keeps its own pixmaps. Every widget showing the shared icon gets the
// same pixmap for a size, scaled once. For the GUI thread.
QIcon sharedIcon(const QString& path);
} // namespace VEXO
