#include "keyboard_form.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "support/test_support.h"

namespace {
QtMessageHandler previousHandler = nullptr;
QStringList capturedLines;
QStringList capturedWarnings;

void capture(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    capturedLines.append(message);
    if (type != QtDebugMsg && type != QtInfoMsg)
        capturedWarnings.append(message);
}
} // namespace

MessageCapture::MessageCapture()
{
    capturedLines.clear();
    capturedWarnings.clear();
    previousHandler = qInstallMessageHandler(capture);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previousHandler);
}

QStringList MessageCapture::lines() const
{
    return capturedLines;
}

QStringList MessageCapture::warnings() const
{
    return capturedWarnings;
}

void KeyboardForm::SetUp()
{
    auto* layout = new QVBoxLayout(&window);
    lineName = new QLineEdit(&window);
    lineNumber = new QLineEdit(&window);
    lineNumber->setInputMethodHints(Qt::ImhDigitsOnly);
    linePassword = new QLineEdit(&window);
    linePassword->setEchoMode(QLineEdit::Password);
    linePassword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoAutoUppercase
                                      | Qt::ImhNoPredictiveText | Qt::ImhPreferLatin);
    buttonOk = new QPushButton(QStringLiteral("Ok"), &window);
    layout->addWidget(new QLabel(QStringLiteral("Name"), &window));
    layout->addWidget(lineName);
    layout->addWidget(new QLabel(QStringLiteral("Number"), &window));
    layout->addWidget(lineNumber);
    layout->addWidget(new QLabel(QStringLiteral("Password"), &window));
    layout->addWidget(linePassword);
    layout->addWidget(buttonOk);
    layout->addStretch(1);
    keyboard = new VirtualKeyboard(&window);
    layout->addWidget(keyboard);
    if (!layoutPath.isEmpty())
        keyboard->setLayoutPath(layoutPath);
    window.resize(600, 896);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // The window gave its first field the focus; every test starts from a
    // button, with the keyboard hidden.
    buttonOk->setFocus();
    ASSERT_EVENTUALLY(!keyboard->isVisible(), 2000);
}

QString KeyboardForm::pageName() const
{
    const VirtualKeyboardLayoutPage* shown = page();
    return shown ? shown->name : QString();
}

QToolButton* KeyboardForm::key(const QString& caption) const
{
    QToolButton* button = keyOf(page(), caption);
    EXPECT_TRUE(button) << "no key " << caption.toStdString();
    return button;
}

QToolButton* KeyboardForm::keyOfRole(int role) const
{
    QToolButton* button = ::keyOfRole(page(), role);
    EXPECT_TRUE(button) << "no key of role " << role;
    return button;
}

void KeyboardForm::tap(QToolButton* button)
{
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void KeyboardForm::tapKeys(const QStringList& captions)
{
    for (const QString& caption : captions)
        tap(key(caption));
}
