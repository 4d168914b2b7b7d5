#pragma once

#include <QSize>

class QWidget;

// Sizes that follow the widget's font, so a kiosk configured with a big font
// gets thicker lines and bigger icons without further settings.
int lineThickness(const QWidget* widget);
// A square icon size of scale times the widget's line height.
QSize preferredIconSize(double scale, const QWidget* widget);
