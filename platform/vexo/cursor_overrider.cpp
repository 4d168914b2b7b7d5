#include "vexo/cursor_overrider.h"

#include <QGuiApplication>

namespace VEXO {
CursorOverrider::CursorOverrider(const QCursor& cursor)
{
    QGuiApplication::setOverrideCursor(cursor);
}

CursorOverrider::~CursorOverrider()
{
    QGuiApplication::restoreOverrideCursor();
}
} // namespace VEXO
