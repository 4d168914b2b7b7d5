#pragma once

#include <QString>

// Device-independent pixmaps on high-density screens. Scaling of the whole
// interface is the environment's choice (QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS).
void enableHighDPI();

namespace VEXO
{
// Installs the toolkit's own translations for the system language and, when
// path names a directory, the program's translations found there.
void loadTranslations(const QString& path);
} // namespace VEXO
