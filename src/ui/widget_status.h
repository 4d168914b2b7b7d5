#pragma once

#include <QWidget>

#include "ui_widget_status.h"
#include "vexo/indexed_timer.h"

// The thin bar at the top of the window: time, date and, for the
// administrator, the program's version.
class StationWidgetStatus : public QWidget, public Ui::StationWidgetStatus, public IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationWidgetStatus(QWidget* parent = nullptr);

    void setAdminView(bool admin);
    void updateStatus();
};
