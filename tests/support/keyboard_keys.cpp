#include "support/keyboard_keys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"

VirtualKeyboardLayoutPage* KeyboardKeys::shownPage(const VirtualKeyboard* keyboard)
{
    auto* stack = keyboard->findChild<QStackedWidget*>(QStringLiteral("stackedPages"));
    return stack ? qobject_cast<VirtualKeyboardLayoutPage*>(stack->currentWidget()) : nullptr;
}

QToolButton* KeyboardKeys::keyOf(const VirtualKeyboardLayoutPage* page, const QString& caption)
{
    if (page)
        for (QToolButton* button : page->keys)
            if (button->text() == caption)
                return button;
    return nullptr;
}

QToolButton* KeyboardKeys::keyOfRole(const VirtualKeyboardLayoutPage* page, int role)
{
    if (page)
        for (QToolButton* button : page->keys)
            if (page->buttonRole(button) == role)
                return button;
    return nullptr;
}

bool KeyboardKeys::postTap(QToolButton* key)
{
    if (!key || !key->isVisible())
        return false;
    QWidget* top = key->window();
    QWindow* handle = top->windowHandle();
    const QPoint at = key->mapTo(top, key->rect().center());
    if (!handle || top->childAt(at) != key)
        return false;
    QSignalSpy clicked(key, &QAbstractButton::clicked);
    const QPoint global = handle->mapToGlobal(at);
    QCoreApplication::postEvent(handle, new QMouseEvent(QEvent::MouseButtonPress, at, at, global,
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(handle, new QMouseEvent(QEvent::MouseButtonRelease, at, at, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    return clicked.wait(2000);
}

void KeyboardKeys::typeOn(QWindow* window, const QString& text, int gapMs)
{
    for (const QChar c : text) {
        QTest::keyClick(window, c.toLatin1());
        if (gapMs > 0)
            QTest::qWait(gapMs);
    }
}

void KeyboardKeys::pressOn(QWindow* window, int key, int gapMs)
{
    QTest::keyClick(window, Qt::Key(key));
    if (gapMs > 0)
        QTest::qWait(gapMs);
}

namespace {
void sendStamped(QObject* target, QEvent::Type type, int key, const QString& text, unsigned long stampMs)
{
    QKeyEvent event(type, key, Qt::NoModifier, text);
    event.setTimestamp(stampMs);
    QCoreApplication::sendEvent(target, &event);
}
} // namespace

void KeyboardKeys::pressStampedOn(QObject* target, int key, unsigned long stampMs)
{
    const QString text = key == Qt::Key_Return ? QStringLiteral("\r") : QString();
    sendStamped(target, QEvent::KeyPress, key, text, stampMs);
    sendStamped(target, QEvent::KeyRelease, key, text, stampMs + 1);
}

unsigned long
KeyboardKeys::typeStampedOn(QObject* target, const QString& text, unsigned long stampMs, int stepMs)
{
    for (const QChar c : text) {
        const int key = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        sendStamped(target, QEvent::KeyPress, key, QString(c), stampMs);
        sendStamped(target, QEvent::KeyRelease, key, QString(c), stampMs + 1);
        stampMs += static_cast<unsigned long>(stepMs);
    }
    return stampMs;
}
