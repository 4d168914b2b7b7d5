// The merge of the back-end's cells into the station's, beyond the device and
// the lock: what follows the device, what is always taken, what only fills a
// gap, and the copies of the records the cells point to.

#include "server/sync_fixture.h"
#include "storage/database.h"

namespace {
const QDateTime operationTime(QDate(2026, 3, 20), QTime(9, 15));
} // namespace

class SyncMergeCells : public SyncTest
{
protected:
    // Starts with the apply held back; prepare the cells, then merge().
    void startHeld()
    {
        core = StationCore::instance();
        core->active_screen = Constants::asAdminLogin;
        start();
    }
    void merge()
    {
        ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
        core->active_screen = Constants::asStart;
        waitApplied();
    }
    CellsLogic::Cell& cell(int number) { return core->cellsLogic.cells[number]; }
};

// Cell 1 is sent the device it holds, cell 2 another one; cell 3 waits for the
// back-end to accept a change of its own and keeps its device.
TEST_F(SyncMergeCells, ForcedReadyGoesWithADeviceChangeOnly)
{
    backend.setCells(
        R"({"devicePointCells":[{"cellNumber":1,"id":11,"deviceId":12},)"
        R"({"cellNumber":2,"id":12,"deviceId":13},)"
        R"({"cellNumber":3,"id":13,"deviceId":14,"isLocked":true,"description":"Door is broken",)"
        R"("lastOperation":1,"lastOperationUserId":4,"lastOperationDate":"20.03.2026 09:15:00",)"
        R"("updateDate":"20.03.2026 09:16:00"}]})");
    startHeld();
    const int held[] = {12, 7, 7};
    for (int n : {1, 2, 3}) {
        cell(n).deviceId = held[n - 1];
        cell(n).forceReady = true;
        cell(n).priorityBase = 15;
    }
    cell(3).setState(CellsLogic::csChanged);
    merge();

    EXPECT_EQ(cell(1).deviceId, 12);
    EXPECT_TRUE(cell(1).forceReady);
    EXPECT_EQ(cell(2).deviceId, 13);
    EXPECT_FALSE(cell(2).forceReady);

    const CellsLogic::Cell& kept = cell(3);
    EXPECT_EQ(kept.deviceId, 7);
    EXPECT_TRUE(kept.forceReady);
    EXPECT_EQ(kept.state, CellsLogic::csChanged);
    // The rest comes from the back-end all the same.
    EXPECT_EQ(kept.devicePointCellId, 13);
    EXPECT_TRUE(kept.isLocked);
    EXPECT_EQ(kept.description, QStringLiteral("Door is broken"));
    EXPECT_EQ(kept.lastOperation, Constants::doIssued);
    EXPECT_EQ(kept.lastOperationUserId, 4);
    EXPECT_EQ(kept.lastOperationDate, operationTime);
    EXPECT_EQ(kept.updateDate, operationTime.addSecs(60));
    for (int n : {1, 2, 3})
        EXPECT_EQ(cell(n).priorityBase, 0) << n;
}

TEST_F(SyncMergeCells, PriorityTimeIsTakenOnlyWhereNoneIsSet)
{
    backend.setCells(R"({"devicePointCells":[)"
                     R"({"cellNumber":1,"id":11,"lastOperationDate":"20.03.2026 09:15:00"},)"
                     R"({"cellNumber":2,"id":12,"lastOperationDate":"20.03.2026 09:15:00"},)"
                     R"({"cellNumber":3,"id":13}]})");
    startHeld();
    const QDateTime moved(QDate(2026, 3, 19), QTime(8, 0));
    cell(2).priorityTime = moved;
    merge();
    EXPECT_EQ(cell(1).priorityTime, operationTime);
    EXPECT_EQ(cell(2).priorityTime, moved);
    EXPECT_FALSE(cell(3).priorityTime.isValid());
}

TEST_F(SyncMergeCells, CopiesAreTheStoredRecordsOfTheNamedIds)
{
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    backend.setDevices(R"([{"id":12,"name":"Scanner 12","serial":"SN-0012","lastCharge":90}])");
    backend.setCells(R"({"devicePointCells":[{"cellNumber":1,"id":11,"deviceId":12,"lastOperationUserId":4},)"
                     R"({"cellNumber":2,"id":12,"deviceId":0,"lastOperationUserId":9},)"
                     R"({"cellNumber":3,"id":13,"deviceId":55}]})");
    startHeld();
    // Cell 2 still has the copies of what it held before.
    DatabaseStructs::Device old;
    old.id = 12;
    old.name = QStringLiteral("old copy");
    DatabaseStructs::User oldUser;
    oldUser.id = 4;
    cell(2).deviceId = 12;
    cell(2).device = old;
    cell(2).lastOperationUserId = 4;
    cell(2).user = oldUser;
    merge();

    EXPECT_EQ(cell(1).device.id, 12);
    EXPECT_EQ(cell(1).device.name, QStringLiteral("Scanner 12"));
    EXPECT_EQ(cell(1).device.serial, QStringLiteral("SN-0012"));
    EXPECT_EQ(cell(1).device.lastCharge, 90);
    EXPECT_EQ(cell(1).user.login, QStringLiteral("anna"));
    EXPECT_FALSE(cell(2).device.isValid());
    EXPECT_FALSE(cell(2).user.isValid());
    // A device the station does not know yet keeps the cell from being offered.
    EXPECT_EQ(cell(3).deviceId, 55);
    EXPECT_FALSE(cell(3).device.isValid());
    EXPECT_FALSE(cell(3).isFree());
    EXPECT_EQ(core->cellsLogic.freeCellsCount(), 1);
    EXPECT_EQ(core->cellsLogic.availableDevicesInCellsCount(), 1);
    // Counted by the merge itself, before anything else refreshes the copies.
    const QStringList stats = TestSupport::logLines().filter(QStringLiteral("[Server] Cells stat  after:"));
    ASSERT_FALSE(stats.isEmpty());
    EXPECT_TRUE(stats.last().endsWith(
        QStringLiteral(" - [Server] Cells stat  after: 1 free, 1 devices, 1 available")))
        << stats.last().toStdString();
}
