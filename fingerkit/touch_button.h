#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QPalette>
#include <QPropertyAnimation>
#include <QToolButton>

#include "fingerkit/fingerkit_global.h"

// A touch-screen button whose background colour shows a three-valued state
// (gray, yes, no), flashes the down colour while pressed, can blink a colour
// and fades between colours. Every notification also comes as an "ID" signal
// carrying clickID, and the "ID" slots act only when their first argument
// matches yesID (or noID for the "No" slots), so one signal can drive a whole
// group of buttons.
class FINGERKIT_EXPORT TouchButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QColor downColor READ downColor WRITE setDownColor)
    Q_PROPERTY(QColor upColor READ upColor WRITE setUpColor)
    Q_PROPERTY(QColor grayColor READ grayColor WRITE setGrayColor)
    Q_PROPERTY(QColor yesColor READ yesColor WRITE setYesColor)
    Q_PROPERTY(QColor noColor READ noColor WRITE setNoColor)
    Q_PROPERTY(QColor currentColor READ currentColor WRITE setCurrentColor DESIGNABLE false)
    Q_PROPERTY(State state READ state WRITE setState)
    Q_PROPERTY(bool autoGray READ autoGray WRITE setAutoGray)
    Q_PROPERTY(bool animated READ animated WRITE setAnimated)
    Q_PROPERTY(int animationDuration READ animationDuration WRITE setAnimationDuration)
    Q_PROPERTY(QEasingCurve::Type animationCurve READ animationCurve WRITE setAnimationCurve)
    Q_PROPERTY(int blinkDelay READ blinkDelay WRITE setBlinkDelay)
    Q_PROPERTY(int clickID READ clickID WRITE setClickID)
    Q_PROPERTY(int yesID READ yesID WRITE setYesID)
    Q_PROPERTY(int noID READ noID WRITE setNoID)

public:
    enum State
    {
        Gray = 0,
        Yes = 1,
        No = 2
    };
    Q_ENUM(State)

    explicit TouchButton(QWidget* parent = nullptr);
    // A parentless button whose clickID, yesID and noID are all id.
    TouchButton(int id, const QString& text);

    QColor downColor() const { return downColorValue; }
    QColor upColor() const { return upColorValue; }
    QColor grayColor() const { return grayColorValue; }
    QColor yesColor() const { return yesColorValue; }
    QColor noColor() const { return noColorValue; }
    QColor currentColor() const { return currentColorValue; }
    State state() const { return stateValue; }
    bool autoGray() const { return autoGrayValue; }
    bool animated() const { return animatedValue; }
    int animationDuration() const { return colorAnimation.duration(); }
    QEasingCurve::Type animationCurve() const { return colorAnimation.easingCurve().type(); }
    int blinkDelay() const { return blinkDelayValue; }
    int clickID() const { return clickIDValue; }
    int yesID() const { return yesIDValue; }
    int noID() const { return noIDValue; }

    // Records the state and tells about a change; the colour is left alone.
    void applyState(State state);
    // Moves the colour on screen to color, fading when animated.
    void animateColor(const QColor& color);
    // Flashes color blinkDelay ms from now, then fades back to the state's
    // colour. A second call within the delay starts the delay again and keeps
    // only its own colour.
    void blink(const QColor& color);
    // Sets every property to its default; both constructors call it.
    void init();

signals:
    void clickedID(int id);
    void pressedID(int id);
    void releasedID(int id);
    void toggledID(int id, bool on);
    void stateChanged(TouchButton::State state, TouchButton::State prev_state);
    void stateChangedID(int id, TouchButton::State state, TouchButton::State prev_state);

public slots:
    void _clicked();
    void _toggled(bool on);
    void enable();
    void disable();
    void setClickID(int id);
    void setYesID(int id);
    void setNoID(int id);
    // The colour setters store only: the screen follows at the next state change.
    void setDownColor(const QColor& color);
    void setUpColor(const QColor& color);
    void setGrayColor(const QColor& color);
    void setYesColor(const QColor& color);
    void setNoColor(const QColor& color);
    void setState(TouchButton::State state);
    void setStateGray();
    void setStateYes();
    void setStateNo();
    void setStateYesOrNo(bool yes);
    void setStateYesOrGray(bool yes);
    void setStateNoOrYes(bool no);
    void setStateNoOrGray(bool no);
    void blinkYes();
    void blinkNo();
    void blinkYesOrNo(bool yes);
    void blinkNoOrYes(bool no);
    void enableID(int id);
    void disableID(int id);
    void setStateID(int id, TouchButton::State state);
    void setStateGrayID(int id);
    void setStateYesID(int id);
    void setStateYesOrNoID(int id, bool yes);
    void setStateYesOrGrayID(int id, bool yes);
    void blinkYesID(int id);
    void blinkYesOrNoID(int id, bool yes);
    void delayedClickID(int id);
    void delayedToggleID(int id);
    void setStateNoID(int id);
    void setStateNoOrYesID(int id, bool no);
    void setStateNoOrGrayID(int id, bool no);
    void blinkNoID(int id);
    void blinkNoOrYesID(int id, bool no);
    // Shows color as the state's colour without changing the state.
    void setColor(const QColor& color);
    void setCurrentColor(const QColor& color);
    void setAutoGray(bool on);
    void setAnimated(bool on);
    void setBlinkDelay(int ms);
    void setAnimationDuration(int ms);
    void setAnimationCurve(QEasingCurve::Type type);
    // click() or toggle() once control is back in the event loop.
    void delayedClick();
    void delayedToggle();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QColor colorOf(State state) const;

    QColor downColorValue;
    QColor upColorValue;
    QColor grayColorValue;
    QColor yesColorValue;
    QColor noColorValue;
    QColor currentColorValue;
    State stateValue = Gray;
    bool autoGrayValue = true;
    bool animatedValue = true;
    int blinkDelayValue = 500;
    int clickIDValue = -1;
    int yesIDValue = -1;
    int noIDValue = -1;

    QColor stateColor;
    QColor blinkColor;
    int blinkTimerId = 0;
    QPalette buttonPalette;
    QPropertyAnimation colorAnimation;
};
