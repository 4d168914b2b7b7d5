#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include "support/keyboard_keys.h"

class QToolButton;
class VirtualKeyboard;
class VirtualKeyboardLayoutPage;

// Every Qt message while it lives, in place of the test main's handler
// (which fails a test on any warning).
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    QStringList lines() const;
    QStringList warnings() const;
};

using KeyboardKeys::keyOf;
using KeyboardKeys::keyOfRole;
using KeyboardKeys::shownPage;

// A plain form as the kiosk's pages have: a name field, a number field, a
// password field like the administrator's, a button, and the keyboard with
// the program's layout below them. Shown and active, so that the focus
// moves as on the kiosk.
class KeyboardForm : public ::testing::Test
{
protected:
    void SetUp() override;

    VirtualKeyboardLayoutPage* page() const { return shownPage(keyboard); }
    // The name of the page shown, empty when none is.
    QString pageName() const;
    // The key with that caption on the page shown; fails the test when the
    // page has none.
    QToolButton* key(const QString& caption) const;
    QToolButton* keyOfRole(int role) const;
    void tap(QToolButton* button);
    void tapKeys(const QStringList& captions);

    // Empty: the keyboard is left to choose its layout.
    QString layoutPath = QStringLiteral(":/keyboard.json");
    QWidget window;
    QLineEdit* lineName = nullptr;
    QLineEdit* lineNumber = nullptr;
    QLineEdit* linePassword = nullptr;
    QPushButton* buttonOk = nullptr;
    VirtualKeyboard* keyboard = nullptr;
};
