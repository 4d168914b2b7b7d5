#pragma once

#include <QObject>
#include <QString>

#include "cells/cells_logic.h"
#include "core/constants.h"
#include "jalt/vx_time.h"
#include "storage/database_structs.h"
#include "vexo/indexed_timer.h"

// One guided use of the station: identify the user (and maybe a device),
// open one cell, wait until its door is closed again, then go back to the
// screen the run started from and emit done(). The issue and return
// workflows fill the hooks. Both are members of the hub and hear every
// identification signal; only the active one acts on it. Main thread only.
//
// The constructor neither logs nor reaches the hub: the workflows are built
// as members of the hub.
class StationLogicBase : public QObject, public IndexedTimer<int>
{
    Q_OBJECT
public:
    StationLogicBase();
    ~StationLogicBase() override;

    // Once, from the hub's init: connections and timers.
    void init();
    // False, and nothing changes, while a run is active or the database
    // cannot record.
    bool begin(Constants::ActiveScreen returnTo);
    void end();

    void setWorkCell(const CellsLogic::Cell& cell);
    void startCellOpen();
    void startTimeout();
    void stopTimeout();

    void setCloseCellWaiting(bool waiting);
    void setUser(const DatabaseStructs::User& u);

    bool isActive() const { return active; }
    const CellsLogic::Cell& currentWorkCell() const { return workCell; }

public Q_SLOTS:
    void loginSuccessful(DatabaseStructs::User u, QString password);
    void loginFailed(DatabaseStructs::User u, QString password);
    void deviceDetected(DatabaseStructs::Device d);

Q_SIGNALS:
    void done(bool ok);

protected:
    virtual void logicBegin() {}
    virtual void userAccepted() {}
    virtual void deviceAccepted() {}
    virtual void closeCellTimeout() {}
    virtual void closeCellDone() {}
    virtual void openCellTimeout() {}
    virtual void openCellDone() {}

    // Shows a message of this run and then ends the run, unless the run
    // ended during the message: the dialog spins the event loop, in which an
    // inactivity time-out may end this run and a queued batch step may
    // begin the next one, which must not be ended here.
    void showMessageThenEnd(const QString& text);
    void showMessage(const QString& text);
    // Ends the run of that serial only.
    void endRun(int serial);
    int runSerial() const { return serial; }

    // Sets the holder of the run's device in the database and takes a fresh
    // copy of the device record into `device`: the copy the run took at
    // identification may be older than a sync applied meanwhile.
    void recordDeviceHolder(int holderId);
    // Queues an operation of the run's user and device on that cell for the
    // back-end.
    void queueOperation(Constants::DeviceOperation operation,
                        const CellsLogic::Cell& cell,
                        const QString& comment);

    DatabaseStructs::User user;
    DatabaseStructs::Device device;
    CellsLogic::Cell workCell;
    QString title;
    VXTimeMeasurer openTime;
    bool active = false;
    bool closeCellWaiting = false;
    bool openCellWaiting = false;
    bool result = false;
    Constants::ActiveScreen returnScreen = Constants::asStart;

private:
    void openGiveUp();
    void openRetry();
    void onLogicsTimeout();
    void onCellOpened(int number);
    void onCellClosed(int number);

    int serial = 0;
    // The run whose message is showing (0: none).
    int messageSerial = 0;
    // The cell given up on, until its door is seen opening (-1: none), and
    // since when.
    int givenUpCell = -1;
    VXTimeMeasurer givenUpTime;
};
