// The cell state file: the input stands as "station_state.bin" when the hub
// restores its cells. The restored cells then go through what the station
// does with them (state ageing, priorities, the choice of a cell) and are
// saved again. A file saved after a restore must restore to the same file:
// what one start wrote, the next one keeps.

#include "core/core.h"
#include "fuzz_support.h"
#include "jalt/vx_file.h"
#include "jalt/vx_value_tree.h"

namespace {
// Cells on two boards, a service cell and one at the highest v1.7 address.
const char* const cellsText = "[cells]\n"
                              "1 = board = 0, lock = 0\n"
                              "2 = board = 0, lock = 1, row = 1, col = 0\n"
                              "3 = board = 0, lock = 2\n"
                              "4 = board = 1, lock = 0, service = true\n"
                              "5 = board = 1, lock = 1\n"
                              "15 = board = 15, lock = 15\n";

const QString stateFile = QStringLiteral("station_state.bin");

VXValueTree cellsSection()
{
    static const VXValueTree section =
        VXValueTreeConversions::fromText(QString::fromLatin1(cellsText)).child(QStringLiteral("cells"));
    return section;
}

// Stands in for a database that knows every device and user a cell names.
void fillFromDatabase(CellsLogic& logic)
{
    for (CellsLogic::Cell& cell : logic.cells) {
        cell.device = DatabaseStructs::Device();
        if (cell.deviceId >= 1) {
            cell.device.id = cell.deviceId;
            cell.device.serial = QStringLiteral("SN-%1").arg(cell.deviceId);
            cell.device.lastCharge = cell.deviceId % 101;
        }
        cell.user = DatabaseStructs::User();
        if (cell.lastOperationUserId >= 1)
            cell.user.id = cell.lastOperationUserId;
    }
}

QByteArray restoreAndSave(const QByteArray& file)
{
    StationCore* core = FuzzSupport::station();
    CellsLogic& logic = core->cellsLogic;
    logic.initialize(cellsSection());
    if (!VXFile::writeAll(stateFile, file))
        FuzzSupport::fail("cannot write the state file");
    core->loadState();
    fillFromDatabase(logic);

    const QDateTime now = VXDateTime::current();
    for (CellsLogic::Cell& cell : logic.cells) {
        cell.procState(now);
        cell.lastChangeElapsed();
        cell.deviceTouchElapsed();
        cell.isDeviceCharged();
    }
    logic.getFreeCell();
    logic.getAvailableDevice(false);
    logic.getAvailableDevice(true);
    logic.freeCellsCount();
    logic.devicesCharging();
    logic.availableDevicesInCellsCount();
    logic.problemDevicesInCellsCount();

    core->saveState();
    return VXFile::readAll(stateFile);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    FuzzSupport::station()->cellController.init(QStringLiteral("v1.7"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray saved = restoreAndSave(FuzzSupport::bytes(data, size));
    const QByteArray again = restoreAndSave(saved);
    if (saved != again)
        FuzzSupport::fail("a saved state file does not restore to itself",
                          "saved " + saved.toHex(' ') + "\nagain " + again.toHex(' '));
    return 0;
}
