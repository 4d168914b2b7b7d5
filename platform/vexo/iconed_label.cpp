#include "vexo/iconed_label.h"

#include <QEvent>

#include "vexo/icons.h"
#include "vexo/widget_metrics.h"

IconedLabel::IconedLabel(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

void IconedLabel::setIcon(const QIcon& icon)
{
    labelIcon = icon;
    labelIconPath.clear();
    refresh();
}

void IconedLabel::setIconPath(const QString& path)
{
    setIcon(VEXO::sharedIcon(path));
    labelIconPath = path;
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

QSize IconedLabel::sizeHint() const
{
    if (labelIcon.isNull())
        return QLabel::sizeHint();
    const QMargins margins = contentsMargins();
    return iconSize().grownBy(margins);
}

QSize IconedLabel::minimumSizeHint() const
{
    if (labelIcon.isNull())
        return QLabel::minimumSizeHint();
    return preferredIconSize(1.0, this).grownBy(contentsMargins());
}

void IconedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        refresh();
        updateGeometry();
    }
}

void IconedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refresh();
}

void IconedLabel::refresh()
{
    if (labelIcon.isNull()) {
        clear();
        return;
    }
    // Square, at most the preferred size and at most the room the layout gave.
    const QRect room = contentsRect();
    int side = iconSize().width();
    if (!room.isEmpty())
        side = qMax(1, qMin(side, qMin(room.width(), room.height())));
    setPixmap(labelIcon.pixmap(QSize(side, side)));
}
