#include "touch_test.h"

#include <QEvent>
#include <QWidget>

ColorTrace::ColorTrace(QWidget* widget)
{
    widget->installEventFilter(this);
}

bool ColorTrace::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        const QColor shown = static_cast<QWidget*>(watched)->palette().color(QPalette::Button);
        if (colors.isEmpty() || colors.last() != shown)
            colors << shown;
    }
    return false;
}
