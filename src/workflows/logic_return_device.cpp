#include "workflows/logic_return_device.h"

#include "core/core.h"
#include "storage/database.h"
#include "ui/station_mainwindow.h"

namespace {
StationCore* core()
{
    return StationCore::instance();
}
} // namespace

void StationReturnDeviceLogic::logicBegin()
{
    // The return shares the title in messages and log lines.
    title = tr("Issue device");
}

void StationReturnDeviceLogic::userAccepted()
{
    core()->setActiveScreen(Constants::asIdentifyDevice);
    core()->setQRMode(Constants::qmDevice);
}

void StationReturnDeviceLogic::deviceAccepted()
{
    core()->restartGoToStartTimer();
    core()->setQRMode(Constants::qmNone);
    CellsLogic& cells = core()->cellsLogic;
    setWorkCell(cells.getFreeCell());
    core()->log(
        QStringLiteral("[ReturnDeviceLogic] Start, %1 free, %2 av dev,  cell = %3,  user = %4,  device = %5")
            .arg(cells.freeCellsCount())
            .arg(cells.availableDevicesInCellsCount())
            .arg(workCell.number)
            .arg(user.id)
            .arg(device.id),
        StationCore::lcInfo);
    if (!workCell.isValid()) {
        const QString text = tr("No free cells");
        queueOperation(Constants::doReturnFailed, workCell, text);
        core()->log("[ReturnDeviceLogic] No free cells", StationCore::lcError);
        showMessageThenEnd(text);
        return;
    }
    startCellOpen();
}

void StationReturnDeviceLogic::openCellDone()
{
    const CellsLogic::Cell cell = workCell;
    CellsLogic& cells = core()->cellsLogic;
    cells.counterIncOpenOk();
    core()->log(QStringLiteral("[ReturnDeviceLogic] Open and wait cell %1 done in %2 seconds")
                    .arg(cell.number)
                    .arg(double(openTime.elapsed_m()) / 1000.0, 0, 'f', 2),
                StationCore::lcInfo);
    StationMainWindow* window = core()->mainWindow;
    if (window) {
        window->pageCloseCell->setReturnTitle(user, cell.number);
        window->pageDeviceProblem->currentUser = user;
        window->pageDeviceProblem->currentDevice = device;
    }
    recordDeviceHolder(0);
    core()->counterIncDeviceReturned();
    const bool duplicate = cells.setCellUserDevice(cell.number, user, device);
    queueOperation(Constants::doReturned, cell, duplicate ? tr("Duplicate return") : QString());
    core()->setActiveScreen(Constants::asCloseCell);
    if (window)
        window->pageDeviceProblem->reset();
    cells.counterIncCloseAll();
    setCloseCellWaiting(true);
}

void StationReturnDeviceLogic::openCellTimeout()
{
    const QString text = tr("Open cell error");
    queueOperation(Constants::doReturnFailed, workCell, text);
    core()->cellsLogic.counterIncOpenFail();
    core()->log(QStringLiteral("[ReturnDeviceLogic] Open cell %1 timeout").arg(workCell.number),
                StationCore::lcError);
    showMessage(text);
}

void StationReturnDeviceLogic::closeCellDone()
{
    core()->cellsLogic.counterIncCloseOk();
    showMessage(tr("Successful"));
}

void StationReturnDeviceLogic::closeCellTimeout()
{
    if (core()->block_on_close_timeout)
        core()->setCellBlocked(workCell, true, tr("Close timeout"));
    queueOperation(Constants::doCloseTimeout, workCell, QString());
    core()->cellsLogic.counterIncCloseFail();
    core()->log(QStringLiteral("[ReturnDeviceLogic] Close cell %1 timeout").arg(workCell.number),
                StationCore::lcError);
    showMessage(tr("Close cell timeout"));
}

