#pragma once

#include <QColor>
#include <QWidget>

// A ring that fills as value goes from 0 to maximum, with a text in its
// middle (a countdown). Angles are in degrees, clockwise from the top: the
// ring starts at angleStartOffset and leaves angleGap open at its ends.
// backColor draws the whole ring, fillColor the part reached by value.
class CircleIndicator : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(double value READ value WRITE setValue)
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(int barSize READ barSize WRITE setBarSize)
    Q_PROPERTY(double angleGap READ angleGap WRITE setAngleGap)
    Q_PROPERTY(double angleStartOffset READ angleStartOffset WRITE setAngleStartOffset)
public:
    explicit CircleIndicator(QWidget* parent = nullptr);

    void setMaximum(double value);
    double maximum() const { return maxValue; }
    void setValue(double value);
    double value() const { return currentValue; }
    void setText(const QString& text);
    QString text() const { return centreText; }
    void setFillColor(const QColor& color);
    QColor fillColor() const { return fill; }
    void setBackColor(const QColor& color);
    QColor backColor() const { return back; }
    void setBarSize(int size);
    int barSize() const { return bar; }
    void setAngleGap(double degrees);
    double angleGap() const { return gap; }
    void setAngleStartOffset(double degrees);
    double angleStartOffset() const { return startOffset; }

    // The filled share of the ring, 0 to 1.
    double fraction() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double maxValue = 100.0;
    double currentValue = 0.0;
    QString centreText;
    QColor fill = QColor(220, 220, 220);
    QColor back = QColor(0, 151, 199);
    int bar = 10;
    double gap = 0.0;
    double startOffset = 0.0;
};
