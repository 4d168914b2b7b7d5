#pragma once

#include <QString>
#include <QWidget>

#include "cells/cells_logic.h"
#include "jalt/vx_map.h"
#include "storage/database_structs.h"
#include "ui_admin_page.h"
#include "vexo/indexed_timer.h"

class StationGiveDeviceLogic;
class StationLogicBase;

// The administration screen: the cells of the cabinet as a grid or a list,
// the details of one cell with what can be done to it, issue and return of
// devices for the administrator (one at a time or in batches), and the
// database's clear and synchronisation from the menu.
class StationAdminPage : public QWidget, public Ui::StationAdminPage, public IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationAdminPage(QWidget* parent = nullptr);
    ~StationAdminPage() override;

    // Called by the window once it shows this screen for an administrator.
    void enter(const DatabaseStructs::User& user);

    void setListView(bool list);
    void setCell(const CellsLogic::Cell& cell);
    void showCellByNumber(int number);
    void updateCurrentCell();
    // The information and statistics tabs.
    void updateInfo();
    void updateStat();

    // The number of devices for a batch, chosen from 1 to max; -1 when
    // there is nothing to choose or the choice was not accepted.
    int askBatchDevices(const QString& title, int max);

    CellsLogic::Cell currentCell;
    DatabaseStructs::User adminUser;
    // Steps of a batch still to run; -1 when none is pending.
    int batchGiveCount = -1;
    int batchReturnCount = -1;
    VXMap<int, QString> stateNames;

private Q_SLOTS:
    void on_actionSync_with_server_triggered();
    void on_actionClear_database_triggered();
    void on_actionQuit_triggered();
    void on_actionBatchReturn_triggered();
    void on_actionBatchGive_triggered();
    void on_buttonBack_clicked();
    void on_buttonListView_clicked();
    void on_buttonTableView_clicked();
    void on_buttonPrevCell_clicked();
    void on_buttonNextCell_clicked();
    void on_buttonCellOpen_clicked();
    void on_buttonCellLock_clicked();
    void on_buttonCellUnlock_clicked();
    void on_buttonCellActual_clicked();
    void on_buttonCellForceReady_clicked();
    void on_buttonQrGenerate_clicked();
    void on_buttonCellGive_clicked();
    void on_buttonReportProblem_clicked();
    void on_buttonReturnDevice_clicked();
    void on_buttonOpenAll_clicked();
    void on_widgetCells_gotoCellRequest(int number);
    void on_tabWidget_currentChanged(int index);

private:
    // Whether the station shows this screen: only then does an action of the
    // page act for its administrator.
    static bool administrationShows();
    // Asks for the number of runs; the first runs once control is back in
    // the event loop.
    void startBatch(const QString& title, int max, int& counter, void (StationAdminPage::*step)());
    void batchGiveStep();
    void batchReturnStep();
    // Runs for the administrator that come back to this screen. The issue
    // is begun with its user; the caller names the device to give. A run
    // refused says why (the issue run is null then).
    bool beginRun(StationLogicBase& logic);
    StationGiveDeviceLogic* beginGive();
    void beginReturn();
    // Whether a batch may take its next step: only from the administration
    // screen, where every run of the batch ends unless the station has gone
    // to the start screen meanwhile; the batch ends there.
    bool batchGoesOn(const char* name);
    // The inactivity time-out starts again, while this screen is shown.
    void restartTimeout();
    // Ok or Cancel; true only for Ok (not for the time-out).
    bool confirm(const QString& title, const QString& text);
    // A message with Ok alone, open until answered or the time-out.
    void showNotice(const QString& title, const QString& text);
    void changeLock(bool lock, const QString& reason);
    // The login code's login, password, text and picture go.
    void clearQrCode();
    // The number of the nearest valid cell below (step -1) or above (+1) the
    // shown one; -1 when there is none.
    int neighbourCell(int step) const;
};

// "1 d 1 h 01 m 01 s": days and hours only when not zero, minutes only from
// one minute on.
QString timeString(qint64 seconds);
