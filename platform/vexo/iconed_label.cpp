#include "vexo/iconed_label.h"

#include <QEvent>

#include "vexo/widget_metrics.h"

IconedLabel::IconedLabel(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

void IconedLabel::setIcon(const QIcon& icon)
{
    labelIcon = icon;
    refresh();
}

void IconedLabel::setIconSizeAutoScale(double scale)
{
    autoScale = scale;
    refresh();
}

QSize IconedLabel::iconSize() const
{
    return preferredIconSize(autoScale > 0.0 ? autoScale : 1.0, this);
}

void IconedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        refresh();
}

void IconedLabel::refresh()
{
    if (labelIcon.isNull()) {
        clear();
        return;
    }
    const QSize size = iconSize();
    setPixmap(labelIcon.pixmap(size));
    setMinimumSize(size);
}
