#include "vexo/image_view.h"

#include <cmath>

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QResizeEvent>

ImageView::ImageView(QWidget* parent)
    : QGraphicsView(parent)
    , scene(new QGraphicsScene(this))
    , item(new QGraphicsPixmapItem())
{
    scene->addItem(item);
    setScene(scene);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setInteractive(false);
    setFocusPolicy(Qt::NoFocus);
    setRenderHint(QPainter::SmoothPixmapTransform, false);
    // The picture sits on whatever the page shows behind it.
    setStyleSheet(QStringLiteral("background: transparent;"));
    viewport()->setAutoFillBackground(false);
}

ImageView::~ImageView() = default;

void ImageView::setPixmap(const QPixmap& pixmap)
{
    picture = pixmap;
    smoothThis = false;
    item->setPixmap(pixmap);
    item->setOffset(-pixmap.width() / 2.0, -pixmap.height() / 2.0);
    scene->setSceneRect(item->boundingRect());
    applyTransformationMode();
    fit();
    updateGeometry();
}

void ImageView::setImage(const QImage& image, bool smooth)
{
    setPixmap(QPixmap::fromImage(image));
    smoothThis = smooth;
    applyTransformationMode();
}

void ImageView::setSmoothBigImages(bool on)
{
    smoothBig = on;
    applyTransformationMode();
}

QSize ImageView::sizeHint() const
{
    // The page's layout decides; the picture only suggests, bounded so a
    // splash-sized picture does not stretch the window.
    if (picture.isNull())
        return QSize(64, 64);
    return picture.size().boundedTo(QSize(256, 256)).expandedTo(QSize(16, 16));
}

QSize ImageView::minimumSizeHint() const
{
    return QSize(10, 10);
}

void ImageView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    fit();
}

void ImageView::showEvent(QShowEvent* event)
{
    QGraphicsView::showEvent(event);
    fit();
}

void ImageView::fit()
{
    const QSize area = viewport()->size();
    if (picture.isNull() || area.isEmpty())
        return;
    // Keep the rotation callers gave the view, replace only the scale. The
    // scale fits the upright picture, so a spinning picture does not pulse.
    const QTransform current = transform();
    const double angle = std::atan2(current.m12(), current.m11()) * 180.0 / M_PI;
    const double scale =
        qMin(double(area.width()) / picture.width(), double(area.height()) / picture.height());
    QTransform next;
    next.rotate(angle);
    next.scale(scale, scale);
    setTransform(next);
    centerOn(0.0, 0.0);
    applyTransformationMode();
}

void ImageView::applyTransformationMode()
{
    const bool scaledDown =
        !picture.isNull()
        && transform().m11() * transform().m11() + transform().m12() * transform().m12() < 1.0;
    const bool smooth = smoothThis || (smoothBig && scaledDown);
    item->setTransformationMode(smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}
