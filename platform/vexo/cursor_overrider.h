#pragma once

#include <QCursor>

namespace VEXO {
// Sets the application's cursor for its lifetime (a wait cursor around a long
// action); nested overriders restore in reverse order.
class CursorOverrider
{
public:
    explicit CursorOverrider(const QCursor& cursor);
    ~CursorOverrider();
    CursorOverrider(const CursorOverrider&) = delete;
    CursorOverrider& operator=(const CursorOverrider&) = delete;
};
} // namespace VEXO
