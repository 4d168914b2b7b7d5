#include "workflows/logic_base.h"

#include "core/core.h"
#include "server/server.h"
#include "storage/database.h"
#include "ui/station_mainwindow.h"

namespace {
StationCore* core()
{
    return StationCore::instance();
}
} // namespace

StationLogicBase::StationLogicBase() = default;

StationLogicBase::~StationLogicBase() = default;

void StationLogicBase::init()
{
    StationCore* hub = core();
    connect(hub, &StationCore::logicsTimeoutRequest, this, [this] { onLogicsTimeout(); });
    connect(hub, &StationCore::cancelLogicsRequest, this, [this] { end(); });
    connect(hub, &StationCore::loginSuccessful, this, &StationLogicBase::loginSuccessful);
    connect(hub, &StationCore::loginFailed, this, &StationLogicBase::loginFailed);
    connect(hub, &StationCore::deviceDetected, this, &StationLogicBase::deviceDetected);
    connect(Database::instance(), &Database::devicesChanged, this, [this] {
        if (active && device.isValid())
            device = Database::instance()->deviceByID(device.id);
    });
    connect(hub, &StationCore::cellsChanged, this, [this] {
        if (active && workCell.isValid())
            workCell = core()->cellsLogic.getCellByNumber(workCell.number);
    });
    connect(&hub->cellsLogic, &CellsLogic::cellClosed, this, [this](int number) { onCellClosed(number); });
    connect(&hub->cellsLogic, &CellsLogic::cellOpened, this, [this](int number) { onCellOpened(number); });

    bindIndexedTimer(1, [this] { openGiveUp(); });
    setIndexedTimerSingleShot(1, true);
    bindIndexedTimer(2, [this] { openRetry(); });
}

bool StationLogicBase::begin(Constants::ActiveScreen returnTo)
{
    // A run still showing its closing message has not ended: another begun
    // over it would take its place, and it would never report its end.
    if (active)
        return false;
    // A run the database cannot record never begins: its "Successful" would
    // stand for a record that does not exist.
    if (!Database::instance()->isWritable()) {
        core()->log(QStringLiteral("[StationLogicBase] No run begins: the database cannot record"),
                    StationCore::lcError);
        return false;
    }
    ++serial;
    user = DatabaseStructs::User();
    device = DatabaseStructs::Device();
    workCell = CellsLogic::Cell();
    returnScreen = returnTo;
    core()->setQRMode(Constants::qmUser);
    core()->setActiveScreen(Constants::asIdentifyUser);
    active = true;
    result = false;
    closeCellWaiting = false;
    logicBegin();
    return true;
}

void StationLogicBase::end()
{
    stopTimeout();
    // A run ended while its cell opens leaves no open command behind.
    if (openCellWaiting && workCell.isValid())
        core()->cellsLogic.cancelOpen(workCell);
    closeCellWaiting = false;
    openCellWaiting = false;
    if (!active)
        return;
    // Cleared before the screen changes: the logicsTimeoutRequest that a
    // return to the start or administration screen emits finds this run over.
    active = false;
    core()->setActiveScreen(returnScreen);
    core()->cellController.resetQueryBoard();
    Q_EMIT done(result);
}

void StationLogicBase::endRun(int runSerial)
{
    if (runSerial == serial)
        end();
}

void StationLogicBase::setWorkCell(const CellsLogic::Cell& cell)
{
    workCell = cell;
    if (cell.isValid())
        core()->cellController.setQueryBoard(cell.address.board);
    else
        core()->cellController.resetQueryBoard();
}

void StationLogicBase::startCellOpen()
{
    openCellWaiting = true;
    if (workCell.number == givenUpCell)
        givenUpCell = -1;
    core()->setActiveScreen(Constants::asOpenCell);
    // The workflows run without a window too (tests, off-screen start).
    if (StationMainWindow* window = core()->mainWindow)
        window->pageOpenCell->setCellNumber(workCell.number);
    core()->cellsLogic.openCell(workCell, false);
    openTime.reset();
    startTimeout();
}

void StationLogicBase::startTimeout()
{
    startIndexedTimer(1, core()->timeouts.max_try_open_cell);
    startIndexedTimer(2, core()->timeouts.reopen_cell);
}

void StationLogicBase::stopTimeout()
{
    stopIndexedTimer(1);
    stopIndexedTimer(2);
}

void StationLogicBase::setCloseCellWaiting(bool waiting)
{
    closeCellWaiting = waiting;
}

void StationLogicBase::setUser(const DatabaseStructs::User& u)
{
    user = u;
}

void StationLogicBase::openRetry()
{
    // A repeat due with the give-up would open a door nobody waits for any
    // more. Both timers may be due in the same turn of the event loop, in
    // either order, and coarse timers fire up to a twentieth of their period
    // off, so a repeat that close to the give-up sends nothing.
    const StationCore::Timeouts& timeouts = core()->timeouts;
    if (!openCellWaiting
        || openTime.elapsed_m() + timeouts.reopen_cell.toMSec() / 10 >= timeouts.max_try_open_cell.toMSec())
        return;
    core()->log(QStringLiteral("[CellsLogic] Open and wait cell %1 retry").arg(workCell.number),
                StationCore::lcInfo);
    core()->cellsLogic.openCell(workCell, false);
}

void StationLogicBase::openGiveUp()
{
    const int runSerial = serial;
    stopTimeout();
    openCellWaiting = false;
    // A repeat still waiting for the controller would open the door for
    // nobody.
    core()->cellsLogic.cancelOpen(workCell);
    givenUpCell = workCell.number;
    givenUpTime.reset();
    StationCore* hub = core();
    if (hub->reset_cell_priority_on_error) {
        hub->cellsLogic.touchCell(workCell);
        hub->log(QStringLiteral("[CellsLogic] Reset priority for %1").arg(workCell.number),
                 StationCore::lcInfo);
    }
    if (hub->block_on_open_timeout)
        hub->setCellBlocked(workCell, true, tr("Open timeout"));
    openCellTimeout();
    endRun(runSerial);
}

void StationLogicBase::onLogicsTimeout()
{
    // The inactivity time-out sent the station to the start screen while
    // the run waited for its user: the run ends there, also a run for the
    // administration, so that nothing goes on for somebody who has left.
    // A run that is showing its closing message when the message's time
    // runs out goes back where it began.
    if (active && messageSerial != serial && core()->activeScreen() == Constants::asStart)
        returnScreen = Constants::asStart;
    if (!closeCellWaiting) {
        end();
        return;
    }
    // Cleared before the hook shows its message: a door closing while the
    // message is up must not also count as a successful close.
    const int runSerial = serial;
    setCloseCellWaiting(false);
    closeCellTimeout();
    endRun(runSerial);
}

void StationLogicBase::onCellClosed(int number)
{
    if (!active || !workCell.isValid() || !closeCellWaiting || number != workCell.number)
        return;
    const int runSerial = serial;
    result = true;
    setCloseCellWaiting(false);
    closeCellDone();
    endRun(runSerial);
}

void StationLogicBase::onCellOpened(int number)
{
    if (active && workCell.isValid() && openCellWaiting && number == workCell.number) {
        openCellWaiting = false;
        stopTimeout();
        // A repeat still waiting for the controller would open the door
        // again, after the user may already have closed it.
        core()->cellsLogic.cancelOpen(workCell);
        openCellDone();
        return;
    }
    if (number != givenUpCell)
        return;
    givenUpCell = -1;
    // The lock carried out a command of the run after the run had given up
    // and recorded the failure: the door is open, but nobody is issued or
    // returns anything. The controller drops commands older than the
    // give-up time, so a later opening is someone else's.
    if (givenUpTime.elapsed_m() <= 2 * core()->timeouts.max_try_open_cell.toMSec()) {
        core()->log(QStringLiteral("[%1] Cell %2 opened after the open timeout").arg(title).arg(number),
                    StationCore::lcWarning);
    }
}

void StationLogicBase::loginSuccessful(DatabaseStructs::User u, QString password)
{
    Q_UNUSED(password);
    if (!active)
        return;
    user = u;
    core()->setQRMode(Constants::qmNone);
    if (u.isBlocked) {
        const int runSerial = serial;
        const QString text = tr("User is blocked");
        core()->log(QStringLiteral("[%1] %2").arg(title, text), StationCore::lcError);
        showMessage(text);
        endRun(runSerial);
        return;
    }
    core()->restartGoToStartTimer();
    userAccepted();
}

void StationLogicBase::loginFailed(DatabaseStructs::User u, QString password)
{
    Q_UNUSED(u);
    Q_UNUSED(password);
    if (!active)
        return;
    const int runSerial = serial;
    const QString text = tr("Invalid user");
    core()->log(QStringLiteral("[%1] %2").arg(title, text), StationCore::lcError);
    core()->setQRMode(Constants::qmNone);
    showMessage(text);
    endRun(runSerial);
}

void StationLogicBase::deviceDetected(DatabaseStructs::Device d)
{
    if (!active)
        return;
    device = d;
    core()->setQRMode(Constants::qmNone);
    core()->restartGoToStartTimer();
    deviceAccepted();
}

void StationLogicBase::showMessage(const QString& text)
{
    const int previous = messageSerial;
    messageSerial = serial;
    core()->showMessage(title, text);
    messageSerial = previous;
}

void StationLogicBase::showMessageThenEnd(const QString& text)
{
    const int runSerial = serial;
    showMessage(text);
    endRun(runSerial);
}

void StationLogicBase::recordDeviceHolder(int holderId)
{
    Database* db = Database::instance();
    db->lock();
    const DatabaseStructs::Device fresh = db->deviceByID(device.id);
    if (fresh.isValid())
        device = fresh;
    db->setDeviceUser(device.id, holderId);
    device.userId = holderId;
    db->unlock();
}

void StationLogicBase::queueOperation(Constants::DeviceOperation operation,
                                      const CellsLogic::Cell& cell,
                                      const QString& comment)
{
    Database::instance()->queueChange(Server::makeOperation(operation, device.id, user.id, cell, comment));
}
