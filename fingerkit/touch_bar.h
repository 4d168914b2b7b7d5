#pragma once

#include <QProgressBar>

class QMouseEvent;

// A progress bar of the touch slider that hands its touches to the slider.
// The two signals bear the names of the event handlers and so take their
// place: a press or move on the bar is emitted instead of handled, and the
// slider receives it by slot-name connection.
class touch_bar : public QProgressBar
{
    Q_OBJECT
public:
    explicit touch_bar(QWidget* parent = nullptr);

signals:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};
