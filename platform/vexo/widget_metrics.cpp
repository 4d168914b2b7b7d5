#include "vexo/widget_metrics.h"

#include <cmath>

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

namespace {
int lineHeight(const QWidget* widget)
{
    const QFontMetrics metrics = widget ? widget->fontMetrics() : QFontMetrics(QApplication::font());
    return qMax(1, metrics.height());
}
} // namespace

int lineThickness(const QWidget* widget)
{
    // About a sixth of a text line: 3 px for the usual 17 px line.
    return qMax(1, int(std::lround(lineHeight(widget) / 6.0)));
}

QSize preferredIconSize(double scale, const QWidget* widget)
{
    const int side = qMax(1, int(std::lround(scale * lineHeight(widget))));
    return QSize(side, side);
}
