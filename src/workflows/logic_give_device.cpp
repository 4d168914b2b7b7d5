#include "workflows/logic_give_device.h"

#include "core/core.h"
#include "storage/database.h"
#include "ui/station_mainwindow.h"

namespace {
StationCore* core()
{
    return StationCore::instance();
}
} // namespace

void StationGiveDeviceLogic::logicBegin()
{
    title = tr("Issue device");
}

void StationGiveDeviceLogic::userAccepted()
{
    giveDevice(core()->cellsLogic.getAvailableDevice(false));
}

void StationGiveDeviceLogic::deviceAccepted() {}

void StationGiveDeviceLogic::giveDevice(const CellsLogic::Cell& cell)
{
    // Identification is over once the cell is chosen. The administration
    // page calls this without a login, with QR mode still on: a card read
    // during the run would otherwise start the cell choice again.
    core()->setQRMode(Constants::qmNone);
    setWorkCell(cell);
    device = cell.device;
    CellsLogic& cells = core()->cellsLogic;
    core()->log(
        QStringLiteral("[GiveDeviceLogic] Start, %1 free, %2 av dev,  cell = %3,  user = %4,  device = %5")
            .arg(cells.freeCellsCount())
            .arg(cells.availableDevicesInCellsCount())
            .arg(cell.number)
            .arg(user.id)
            .arg(device.id),
        StationCore::lcInfo);
    if (!cell.isValid()) {
        const QString text = tr("No free cells");
        queueOperation(Constants::doIssueFailed, cell, text);
        core()->log("[GiveDeviceLogic] No free cells", StationCore::lcError);
        showMessageThenEnd(text);
        return;
    }
    startCellOpen();
}

void StationGiveDeviceLogic::openCellDone()
{
    const CellsLogic::Cell cell = workCell;
    CellsLogic& cells = core()->cellsLogic;
    cells.counterIncOpenOk();
    core()->log(QStringLiteral("[GiveDeviceLogic] Open and wait cell %1 done in %2 seconds")
                    .arg(cell.number)
                    .arg(double(openTime.elapsed_m()) / 1000.0, 0, 'f', 2),
                StationCore::lcInfo);
    StationMainWindow* window = core()->mainWindow;
    if (window) {
        window->pageCloseCell->setGiveTitle(user, cell.number);
        window->pageDeviceProblem->currentUser = user;
        window->pageDeviceProblem->currentDevice = device;
    }
    recordDeviceHolder(user.id);
    core()->counterIncDeviceTaken();
    cells.setCellUserDevice(cell.number, user, DatabaseStructs::Device());
    queueOperation(Constants::doIssued, cell, QString());
    core()->setActiveScreen(Constants::asCloseCell);
    if (window)
        window->pageDeviceProblem->reset();
    cells.counterIncCloseAll();
    setCloseCellWaiting(true);
}

void StationGiveDeviceLogic::openCellTimeout()
{
    const QString text = tr("Open cell error");
    queueOperation(Constants::doIssueFailed, workCell, text);
    core()->cellsLogic.counterIncOpenFail();
    core()->log(QStringLiteral("[GiveDeviceLogic] Open cell %1 timeout").arg(workCell.number),
                StationCore::lcError);
    showMessage(text);
}

void StationGiveDeviceLogic::closeCellDone()
{
    core()->cellsLogic.counterIncCloseOk();
    showMessage(tr("Successful"));
}

void StationGiveDeviceLogic::closeCellTimeout()
{
    if (core()->block_on_close_timeout)
        core()->setCellBlocked(workCell, true, tr("Close timeout"));
    queueOperation(Constants::doCloseTimeout, workCell, QString());
    core()->cellsLogic.counterIncCloseFail();
    core()->log(QStringLiteral("[GiveDeviceLogic] Close cell %1 timeout").arg(workCell.number),
                StationCore::lcError);
    showMessage(tr("Close cell timeout"));
}

