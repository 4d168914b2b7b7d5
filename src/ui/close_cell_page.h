#pragma once

#include <QWidget>

#include "storage/database_structs.h"
#include "ui_close_cell_page.h"
#include "vexo/indexed_timer.h"

// Shown while a door is open: what to do, where the cell is, and how long
// the user has left before the station gives up waiting for the door.
class StationCloseCellPage : public QWidget, public Ui::StationCloseCellPage, public IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationCloseCellPage(QWidget* parent = nullptr);

    void enter();
    void setTime(double seconds);
    void highlight(int number);
    void setGiveTitle(const DatabaseStructs::User& user, int number);
    void setReturnTitle(const DatabaseStructs::User& user, int number);

private Q_SLOTS:
    void on_buttonReportProblem_clicked();

private:
    static double remainingSeconds();
};
