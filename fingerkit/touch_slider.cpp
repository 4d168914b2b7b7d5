#include "fingerkit/touch_slider.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QMouseEvent>

#include "ui_touch_slider.h"

namespace {
// Rounds halves away from zero. A bar counts in int and may still take one
// step beyond its end, so larger amounts stop one short of the int limit.
int roundToInt(double amount)
{
    const double limit = std::numeric_limits<int>::max() - 1;
    return int(std::clamp(std::round(amount), -limit, limit));
}

int touchX(const QMouseEvent* event)
{
    return roundToInt(event->localPos().x());
}

void toMinimum(QProgressBar* bar)
{
    bar->setValue(bar->minimum());
}

// One unit step within the bar's own range. A progress bar whose range is
// 0 to 0 takes any value, so its ends cannot be left to the bar.
void step(QProgressBar* bar, int by)
{
    const int next = bar->value() + by;
    if (next >= bar->minimum() && next <= bar->maximum())
        bar->setValue(next);
}
} // namespace

TouchSlider::TouchSlider(QWidget* parent)
    : QGroupBox(parent)
    , ui(std::make_unique<Ui_TouchSlider>())
{
    ui->setupUi(this);
}

TouchSlider::~TouchSlider() = default;

int TouchSlider::steps(double amount) const
{
    return roundToInt(amount / precisionValue);
}

double TouchSlider::value() const
{
    if (ui->barNeg->value() > ui->barNeg->minimum())
        return ui->barNeg->value() * -precisionValue;
    return ui->barPos->value() * precisionValue;
}

double TouchSlider::minimum() const
{
    if (negativeEnabled)
        return -precisionValue * ui->barNeg->maximum();
    return precisionValue * ui->barPos->minimum();
}

double TouchSlider::maximum() const
{
    return precisionValue * ui->barPos->maximum();
}

void TouchSlider::setValue(double value)
{
    if (std::isnan(value))
        return;
    value = qBound(minimum(), value, maximum());
    if (value < 0) {
        toMinimum(ui->barPos);
        if (negativeEnabled)
            ui->barNeg->setValue(steps(-value));
    } else {
        ui->barPos->setValue(steps(value));
        toMinimum(ui->barNeg);
    }
    updateCaption();
}

void TouchSlider::setValue(int value)
{
    setValue(double(value));
}

void TouchSlider::setMinimum(double minimum)
{
    if (!std::isfinite(minimum))
        return;
    const double kept = value();
    if (minimum < 0) {
        negativeEnabled = true;
        ui->barNeg->setMaximum(steps(-minimum));
        ui->barPos->setMinimum(0);
        ui->barNeg->show();
        // The zero button belongs with increment and decrement: a read-only
        // slider, or one without them, keeps it hidden.
        ui->pbZero->setVisible(!ui->pbInc->isHidden());
    } else {
        negativeEnabled = false;
        ui->barNeg->setMaximum(0);
        ui->barNeg->hide();
        ui->pbZero->hide();
        ui->barPos->setMinimum(steps(minimum));
    }
    setValue(kept);
    ui->pbMin->setText(QString::number(this->minimum(), 'g', 6));
}

void TouchSlider::setMinimum(int minimum)
{
    setMinimum(double(minimum));
}

void TouchSlider::setMaximum(double maximum)
{
    if (!std::isfinite(maximum) || maximum < 0)
        return;
    const double kept = value();
    ui->barPos->setMaximum(steps(maximum));
    setValue(kept);
    ui->pbMax->setText(QString::number(this->maximum(), 'g', 6));
}

void TouchSlider::setMaximum(int maximum)
{
    setMaximum(double(maximum));
}

void TouchSlider::setPrecision(double step)
{
    // The bars count steps: a step of zero, below zero or not finite would
    // make every count meaningless (and divide by zero).
    if (!std::isfinite(step) || step <= 0)
        return;
    const double keptMinimum = minimum();
    const double keptMaximum = maximum();
    const double kept = value();
    precisionValue = step;
    setMinimum(keptMinimum);
    setMaximum(keptMaximum);
    setValue(kept);
    ui->pbInc->setText(QStringLiteral("+") + QString::number(step, 'g', 6));
    ui->pbDec->setText(QStringLiteral("-") + QString::number(step, 'g', 6));
}

void TouchSlider::setPrecision(int step)
{
    setPrecision(double(step));
}

void TouchSlider::updateCaption()
{
    const double current = value();
    setTitle(prefixValue + QLatin1Char(' ') + QString::number(current, 'g', 6) + QLatin1Char(' ')
             + suffixValue);
    const int whole = roundToInt(std::trunc(current));
    emit valueChanged(current);
    emit valueChanged(whole);
    emit valueChangedID(clickIDValue, current);
    emit valueChangedID(clickIDValue, whole);
}

void TouchSlider::enable()
{
    setEnabled(true);
}

void TouchSlider::disable()
{
    setEnabled(false);
}

void TouchSlider::setClickID(int id)
{
    clickIDValue = id;
}

void TouchSlider::setSetID(int id)
{
    setIDValue = id;
}

void TouchSlider::setSuffix(const QString& text)
{
    suffixValue = text;
    updateCaption();
}

void TouchSlider::setPrefix(const QString& text)
{
    prefixValue = text;
    updateCaption();
}

void TouchSlider::setReadOnly(bool on)
{
    readOnlyValue = on;
    ui->pbDec->setVisible(!on);
    ui->pbInc->setVisible(!on);
    if (negativeEnabled)
        ui->pbZero->setVisible(!on);
    ui->horizontalLayout->setStretchFactor(ui->pbMin, on ? 2 : 1);
    ui->horizontalLayout->setStretchFactor(ui->pbMax, on ? 2 : 1);
}

void TouchSlider::setShowMinMax(bool on)
{
    showMinMaxValue = on;
    ui->pbMin->setVisible(on);
    ui->pbMax->setVisible(on);
    for (QWidget* button : {static_cast<QWidget*>(ui->pbInc), static_cast<QWidget*>(ui->pbDec),
                            static_cast<QWidget*>(ui->pbZero)})
        ui->horizontalLayout->setStretchFactor(button, on ? 2 : 1);
}

void TouchSlider::setShowIncDec(bool on)
{
    showIncDecValue = on;
    ui->pbDec->setVisible(on);
    ui->pbInc->setVisible(on);
    if (negativeEnabled)
        ui->pbZero->setVisible(on);
    ui->horizontalLayout->setStretchFactor(ui->pbMin, on ? 2 : 1);
    ui->horizontalLayout->setStretchFactor(ui->pbMax, on ? 2 : 1);
}

void TouchSlider::enableID(int set_id)
{
    if (set_id == setIDValue)
        enable();
}

void TouchSlider::disableID(int set_id)
{
    if (set_id == setIDValue)
        disable();
}

void TouchSlider::setValueID(int set_id, double value)
{
    if (set_id == setIDValue)
        setValue(value);
}

void TouchSlider::setValueID(int set_id, int value)
{
    if (set_id == setIDValue)
        setValue(value);
}

void TouchSlider::clickMin()
{
    if (readOnlyValue)
        return;
    ui->barNeg->setValue(ui->barNeg->maximum());
    toMinimum(ui->barPos);
}

void TouchSlider::clickMax()
{
    if (readOnlyValue)
        return;
    toMinimum(ui->barNeg);
    ui->barPos->setValue(ui->barPos->maximum());
}

void TouchSlider::clickZero()
{
    toMinimum(ui->barNeg);
    toMinimum(ui->barPos);
}

// The steps stop at the ends of the bars' ranges.
void TouchSlider::clickInc()
{
    if (ui->barPos->value() >= 0 && ui->barNeg->value() == 0)
        step(ui->barPos, 1);
    if (ui->barNeg->value() >= 1)
        step(ui->barNeg, -1);
}

void TouchSlider::clickDec()
{
    if (ui->barNeg->value() >= 0 && ui->barPos->value() == 0 && negativeEnabled)
        step(ui->barNeg, 1);
    if (ui->barPos->value() >= 1)
        step(ui->barPos, -1);
}

void TouchSlider::on_pbMin_clicked()
{
    clickMin();
}

void TouchSlider::on_pbMax_clicked()
{
    clickMax();
}

void TouchSlider::on_pbInc_clicked()
{
    clickInc();
}

void TouchSlider::on_pbDec_clicked()
{
    clickDec();
}

void TouchSlider::on_pbZero_clicked()
{
    clickZero();
}

void TouchSlider::on_barNeg_valueChanged(int)
{
    updateCaption();
}

void TouchSlider::on_barPos_valueChanged(int)
{
    updateCaption();
}

void TouchSlider::on_barNeg_mousePressEvent(QMouseEvent* event)
{
    pressOnNeg(touchX(event));
}

void TouchSlider::on_barNeg_mouseMoveEvent(QMouseEvent* event)
{
    moveOnNeg(touchX(event));
}

void TouchSlider::on_barPos_mousePressEvent(QMouseEvent* event)
{
    pressOnPos(touchX(event));
}

void TouchSlider::on_barPos_mouseMoveEvent(QMouseEvent* event)
{
    moveOnPos(touchX(event));
}

// A bar without width (hidden, or squeezed by the layout) has no position to
// map a touch to: such a touch is ignored.
void TouchSlider::pressOnPos(int x)
{
    const int width = ui->barPos->width();
    if (readOnlyValue || width <= 0)
        return;
    const int span = ui->barPos->maximum() - ui->barPos->minimum();
    ui->barPos->setValue(ui->barPos->minimum() + roundToInt(double(x) * span / width));
    toMinimum(ui->barNeg);
}

void TouchSlider::pressOnNeg(int x)
{
    const int width = ui->barNeg->width();
    if (readOnlyValue || width <= 0)
        return;
    const int top = ui->barNeg->maximum();
    ui->barNeg->setValue(top - roundToInt(double(x) * top / width));
    toMinimum(ui->barPos);
}

// A finger dragged across the gap between the bars passes from one half to
// the other: a position beyond a bar's edge is handed to the other bar in its
// own coordinates.
void TouchSlider::moveOnPos(int x)
{
    if (readOnlyValue)
        return;
    const int width = ui->barPos->width();
    int d = std::min(x, width);
    if (d < 0) {
        if (negativeEnabled) {
            const int onNeg = d + ui->barNeg->width() + ui->horizontalLayout->spacing();
            if (onNeg < ui->barNeg->width()) {
                moveOnNeg(onNeg);
                return;
            }
        }
        d = 0;
    }
    if (width <= 0)
        return;
    const int span = ui->barPos->maximum() - ui->barPos->minimum();
    ui->barPos->setValue(ui->barPos->minimum() + roundToInt(double(d) * span / width));
    toMinimum(ui->barNeg);
}

void TouchSlider::moveOnNeg(int x)
{
    if (readOnlyValue)
        return;
    const int width = ui->barNeg->width();
    int c = std::max(x, 0);
    const int onPos = c - (width + ui->horizontalLayout->spacing());
    if (c > width && onPos > 0) {
        moveOnPos(onPos);
        return;
    }
    c = std::min(c, width);
    if (width <= 0)
        return;
    const int top = ui->barNeg->maximum();
    ui->barNeg->setValue(top - roundToInt(double(c) * top / width));
    toMinimum(ui->barPos);
}
