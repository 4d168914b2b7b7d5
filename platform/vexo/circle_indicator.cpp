#include "vexo/circle_indicator.h"

#include <QPainter>
#include <QPainterPath>

CircleIndicator::CircleIndicator(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void CircleIndicator::setMaximum(double value)
{
    maxValue = value;
    update();
}

void CircleIndicator::setValue(double value)
{
    currentValue = value;
    update();
}

void CircleIndicator::setText(const QString& text)
{
    centreText = text;
    update();
}

void CircleIndicator::setFillColor(const QColor& color)
{
    fill = color;
    update();
}

void CircleIndicator::setBackColor(const QColor& color)
{
    back = color;
    update();
}

void CircleIndicator::setBarSize(int size)
{
    bar = qMax(1, size);
    update();
}

void CircleIndicator::setAngleGap(double degrees)
{
    gap = qBound(0.0, degrees, 359.0);
    update();
}

void CircleIndicator::setAngleStartOffset(double degrees)
{
    startOffset = degrees;
    update();
}

double CircleIndicator::fraction() const
{
    if (maxValue <= 0.0)
        return currentValue > 0.0 ? 1.0 : 0.0;
    return qBound(0.0, currentValue / maxValue, 1.0);
}

QSize CircleIndicator::sizeHint() const
{
    const int side = qMax(120, fontMetrics().height() * 6);
    return QSize(side, side);
}

QSize CircleIndicator::minimumSizeHint() const
{
    const int side = qMax(4 * bar, fontMetrics().height() * 3);
    return QSize(side, side);
}

void CircleIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    const double half = bar / 2.0;
    const QRectF ring((width() - side) / 2.0 + half, (height() - side) / 2.0 + half, side - bar, side - bar);
    if (ring.width() <= 0.0)
        return;

    // Qt counts sixteenths of a degree, counter-clockwise from three o'clock.
    const double span = 360.0 - gap;
    const double start = 90.0 - startOffset - gap / 2.0;
    auto arc = [&](const QColor& color, double degrees) {
        if (degrees <= 0.0)
            return;
        painter.setPen(QPen(color, bar, Qt::SolidLine, Qt::FlatCap));
        painter.drawArc(ring, int(start * 16.0), int(-degrees * 16.0));
    };
    arc(back, span);
    arc(fill, span * fraction());

    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(ring, Qt::AlignCenter, centreText);
}
