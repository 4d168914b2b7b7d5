#pragma once

#include <QString>

class QObject;
class QToolButton;
class QWidget;
class QWindow;
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

// Keys of a physical keyboard, or of a keyboard-wedge scanner, through the
// window system into the window's focused widget: each a press and a
// release, followed by gapMs of the event loop. A person leaves tens of
// milliseconds between keys; a scanner none.
const int personGapMs = 80;
void typeOn(QWindow* window, const QString& text, int gapMs);
void pressOn(QWindow* window, int key, int gapMs);

// Keys stamped as the window system stamps them when they happen, sent at
// once, however late that is by the wall clock, through a window to its
// focused widget (or straight to a widget): the key at stampMs, each next one
// stepMs later, a release 1 ms after its press. Returns the stamp for the key
// after them.
unsigned long typeStampedOn(QObject* target, const QString& text, unsigned long stampMs, int stepMs);
void pressStampedOn(QObject* target, int key, unsigned long stampMs);
} // namespace KeyboardKeys
