#pragma once

#include <QIcon>
#include <QLabel>

// A label that shows an icon at a size that follows its font: the side is
// iconSizeAutoScale times the preferred icon size of the label (zero keeps
// the plain line height). That size is what the label asks of its layout;
// given less room (a big font on a small screen), it draws the icon as large
// as the room allows instead of running past it.
class IconedLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QIcon icon READ icon WRITE setIcon)
    Q_PROPERTY(QString iconPath READ iconPath WRITE setIconPath)
    Q_PROPERTY(double iconSizeAutoScale READ iconSizeAutoScale WRITE setIconSizeAutoScale)
public:
    explicit IconedLabel(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    QIcon icon() const { return labelIcon; }
    // The shared icon of an image file (VEXO::sharedIcon): for forms built
    // many times over, so that their labels do not each read the image.
    void setIconPath(const QString& path);
    // Empty when the icon came from setIcon.
    QString iconPath() const { return labelIconPath; }
    void setIconSizeAutoScale(double scale);
    double iconSizeAutoScale() const { return autoScale; }
    QSize iconSize() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    QIcon labelIcon;
    QString labelIconPath;
    double autoScale = 1.0;
};
