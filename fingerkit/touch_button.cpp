#include "fingerkit/touch_button.h"

#include <QMouseEvent>
#include <QPointer>
#include <QTimerEvent>

TouchButton::TouchButton(QWidget* parent)
    : QToolButton(parent)
{
    init();
}

TouchButton::TouchButton(int id, const QString& text)
    : QToolButton(nullptr)
{
    init();
    clickIDValue = id;
    yesIDValue = id;
    noIDValue = id;
    setText(text);
}

void TouchButton::init()
{
    // Unique, so that a second init() resets the button without doubling its
    // ID signals.
    connect(this, &QAbstractButton::clicked, this, &TouchButton::_clicked, Qt::UniqueConnection);
    connect(this, &QAbstractButton::toggled, this, &TouchButton::_toggled, Qt::UniqueConnection);

    colorAnimation.setTargetObject(this);
    colorAnimation.setPropertyName("currentColor");
    colorAnimation.setEasingCurve(QEasingCurve::OutSine);
    colorAnimation.setDuration(350);

    stateValue = Gray;
    animatedValue = true;
    autoGrayValue = true;
    if (blinkTimerId != 0)
        killTimer(blinkTimerId);
    blinkTimerId = 0;
    clickIDValue = -1;
    yesIDValue = -1;
    noIDValue = -1;
    blinkDelayValue = 500;

    buttonPalette = palette();
    yesColorValue = Qt::green;
    noColorValue = Qt::red;
    downColorValue = Qt::yellow;
    upColorValue = buttonPalette.brush(QPalette::Button).color();
    grayColorValue = upColorValue;
    currentColorValue = upColorValue;
    stateColor = grayColorValue;
}

QColor TouchButton::colorOf(State state) const
{
    switch (state) {
    case Yes:
        return yesColorValue;
    case No:
        return noColorValue;
    case Gray:
        break;
    }
    return grayColorValue;
}

void TouchButton::setState(TouchButton::State state)
{
    if (state != Gray && state != Yes && state != No)
        return;
    stateColor = colorOf(state);
    applyState(state);
    animateColor(stateColor);
}

void TouchButton::applyState(State state)
{
    if (state == stateValue)
        return;
    const State prev = stateValue;
    stateValue = state;
    emit stateChanged(state, prev);
    emit stateChangedID(clickIDValue, state, prev);
}

void TouchButton::animateColor(const QColor& color)
{
    if (!animatedValue) {
        setCurrentColor(color);
        return;
    }
    colorAnimation.stop();
    colorAnimation.setStartValue(currentColorValue);
    colorAnimation.setEndValue(color);
    colorAnimation.start();
}

void TouchButton::setCurrentColor(const QColor& color)
{
    currentColorValue = color;
    buttonPalette.setColor(QPalette::Button, color);
    setPalette(buttonPalette);
}

void TouchButton::setColor(const QColor& color)
{
    stateColor = color;
    animateColor(color);
}

void TouchButton::blink(const QColor& color)
{
    blinkColor = color;
    if (blinkTimerId != 0)
        killTimer(blinkTimerId);
    blinkTimerId = startTimer(blinkDelayValue, Qt::CoarseTimer);
}

void TouchButton::timerEvent(QTimerEvent* event)
{
    if (blinkTimerId == 0 || event->timerId() != blinkTimerId) {
        QToolButton::timerEvent(event);
        return;
    }
    killTimer(blinkTimerId);
    blinkTimerId = 0;
    setCurrentColor(blinkColor);
    animateColor(stateColor);
}

void TouchButton::mousePressEvent(QMouseEvent* event)
{
    animateColor(downColorValue);
    // A handler of the toolkit's pressed signal may delete the button.
    const QPointer<TouchButton> alive(this);
    QToolButton::mousePressEvent(event);
    if (alive)
        emit pressedID(clickIDValue);
}

void TouchButton::mouseReleaseEvent(QMouseEvent* event)
{
    setCurrentColor(downColorValue);
    animateColor(stateColor);
    // The base class emits released, toggled and clicked; a handler of any of
    // them may delete the button, which must not be touched afterwards.
    const QPointer<TouchButton> alive(this);
    QToolButton::mouseReleaseEvent(event);
    if (alive)
        emit releasedID(clickIDValue);
}

void TouchButton::_clicked()
{
    emit clickedID(clickIDValue);
}

void TouchButton::_toggled(bool on)
{
    if (!on && autoGrayValue)
        setState(Gray);
    emit toggledID(clickIDValue, on);
}

void TouchButton::enable()
{
    setEnabled(true);
}

void TouchButton::disable()
{
    setState(Gray);
    setEnabled(false);
}

void TouchButton::setClickID(int id)
{
    clickIDValue = id;
}

void TouchButton::setYesID(int id)
{
    yesIDValue = id;
}

void TouchButton::setNoID(int id)
{
    noIDValue = id;
}

void TouchButton::setDownColor(const QColor& color)
{
    downColorValue = color;
}

void TouchButton::setUpColor(const QColor& color)
{
    upColorValue = color;
}

void TouchButton::setGrayColor(const QColor& color)
{
    grayColorValue = color;
}

void TouchButton::setYesColor(const QColor& color)
{
    yesColorValue = color;
}

void TouchButton::setNoColor(const QColor& color)
{
    noColorValue = color;
}

void TouchButton::setStateGray()
{
    setState(Gray);
}

void TouchButton::setStateYes()
{
    setState(Yes);
}

void TouchButton::setStateNo()
{
    setState(No);
}

void TouchButton::setStateYesOrNo(bool yes)
{
    setState(yes ? Yes : No);
}

void TouchButton::setStateYesOrGray(bool yes)
{
    setState(yes ? Yes : Gray);
}

void TouchButton::setStateNoOrYes(bool no)
{
    setState(no ? No : Yes);
}

void TouchButton::setStateNoOrGray(bool no)
{
    setState(no ? No : Gray);
}

void TouchButton::blinkYes()
{
    blink(yesColorValue);
}

void TouchButton::blinkNo()
{
    blink(noColorValue);
}

void TouchButton::blinkYesOrNo(bool yes)
{
    blink(yes ? yesColorValue : noColorValue);
}

void TouchButton::blinkNoOrYes(bool no)
{
    blink(no ? noColorValue : yesColorValue);
}

void TouchButton::enableID(int id)
{
    if (id == yesIDValue)
        enable();
}

void TouchButton::disableID(int id)
{
    if (id == yesIDValue)
        disable();
}

void TouchButton::setStateID(int id, TouchButton::State state)
{
    if (id == yesIDValue)
        setState(state);
}

void TouchButton::setStateGrayID(int id)
{
    if (id == yesIDValue)
        setStateGray();
}

void TouchButton::setStateYesID(int id)
{
    if (id == yesIDValue)
        setStateYes();
}

void TouchButton::setStateYesOrNoID(int id, bool yes)
{
    if (id == yesIDValue)
        setStateYesOrNo(yes);
}

void TouchButton::setStateYesOrGrayID(int id, bool yes)
{
    if (id == yesIDValue)
        setStateYesOrGray(yes);
}

void TouchButton::blinkYesID(int id)
{
    if (id == yesIDValue)
        blinkYes();
}

void TouchButton::blinkYesOrNoID(int id, bool yes)
{
    if (id == yesIDValue)
        blinkYesOrNo(yes);
}

void TouchButton::delayedClickID(int id)
{
    if (id == yesIDValue)
        delayedClick();
}

void TouchButton::delayedToggleID(int id)
{
    if (id == yesIDValue)
        delayedToggle();
}

void TouchButton::setStateNoID(int id)
{
    if (id == noIDValue)
        setStateNo();
}

void TouchButton::setStateNoOrYesID(int id, bool no)
{
    if (id == noIDValue)
        setStateNoOrYes(no);
}

void TouchButton::setStateNoOrGrayID(int id, bool no)
{
    if (id == noIDValue)
        setStateNoOrGray(no);
}

void TouchButton::blinkNoID(int id)
{
    if (id == noIDValue)
        blinkNo();
}

void TouchButton::blinkNoOrYesID(int id, bool no)
{
    if (id == noIDValue)
        blinkNoOrYes(no);
}

void TouchButton::setAutoGray(bool on)
{
    autoGrayValue = on;
}

void TouchButton::setAnimated(bool on)
{
    animatedValue = on;
}

void TouchButton::setBlinkDelay(int ms)
{
    blinkDelayValue = ms;
}

void TouchButton::setAnimationDuration(int ms)
{
    colorAnimation.setDuration(ms);
}

void TouchButton::setAnimationCurve(QEasingCurve::Type type)
{
    colorAnimation.setEasingCurve(QEasingCurve(type));
}

void TouchButton::delayedClick()
{
    // A button deleted meanwhile drops the queued call.
    QMetaObject::invokeMethod(this, &QAbstractButton::click, Qt::QueuedConnection);
}

void TouchButton::delayedToggle()
{
    QMetaObject::invokeMethod(this, &QAbstractButton::toggle, Qt::QueuedConnection);
}
