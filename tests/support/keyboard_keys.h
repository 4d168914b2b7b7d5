#pragma once

#include <QString>

class QToolButton;
class QWidget;
class VirtualKeyboard;
class VirtualKeyboardLayoutPage;

// The keys of a screen keyboard, for tests that type on it.
namespace KeyboardKeys {
// The page the keyboard shows, or null.
VirtualKeyboardLayoutPage* shownPage(const VirtualKeyboard* keyboard);
// The key of a page with that caption, or null.
QToolButton* keyOf(const VirtualKeyboardLayoutPage* page, const QString& caption);
QToolButton* keyOfRole(const VirtualKeyboardLayoutPage* page, int role);
// Taps a key as a finger does: a press and a release posted to its window
// at the key's centre, delivered to whatever shows there. False when that is
// not the key, or the key saw no click within two seconds.
bool postTap(QToolButton* key);
} // namespace KeyboardKeys
