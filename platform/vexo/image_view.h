#pragma once

#include <QGraphicsView>
#include <QPixmap>

class QGraphicsPixmapItem;
class QGraphicsScene;

// Shows one picture scaled to fit the view, keeping its aspect ratio. A
// graphics view, so callers may rotate() it (a spinning progress picture);
// the fit keeps the rotation. Big pictures are scaled down smoothly when
// smoothBigImages is set; pixel art (a QR symbol) stays sharp without it.
class ImageView : public QGraphicsView
{
    Q_OBJECT
    Q_PROPERTY(QPixmap pixmap READ pixmap WRITE setPixmap)
    Q_PROPERTY(bool smoothBigImages READ smoothBigImages WRITE setSmoothBigImages)
public:
    explicit ImageView(QWidget* parent = nullptr);
    ~ImageView() override;

    void setPixmap(const QPixmap& pixmap);
    QPixmap pixmap() const { return picture; }
    // smooth: scale this image smoothly whatever smoothBigImages says.
    void setImage(const QImage& image, bool smooth = true);
    void setSmoothBigImages(bool on);
    bool smoothBigImages() const { return smoothBig; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fit();
    void applyTransformationMode();

    QGraphicsScene* scene = nullptr;
    QGraphicsPixmapItem* item = nullptr;
    QPixmap picture;
    bool smoothBig = false;
    bool smoothThis = false;
};
