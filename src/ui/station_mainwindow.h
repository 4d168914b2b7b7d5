#pragma once

#include <QMainWindow>

// The station's window: registers itself with the hub and, when closed, stops
// the station's services in order.
class StationMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit StationMainWindow(QWidget* parent = nullptr);
    ~StationMainWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
};
