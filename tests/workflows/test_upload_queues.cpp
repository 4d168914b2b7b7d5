#include "server/server.h"
#include "storage/database.h"
#include "vexo/vx_conversions.h"
#include "workflows/workflow_fixture.h"

using UploadQueues = WorkflowTest;

TEST_F(UploadQueues, ChangesAreStoredInOrderAndMarkTheirCellChanging)
{
    start();
    Database* db = Database::instance();
    const CellsLogic::Cell cell2 = core->cellsLogic.getCellByNumber(2);
    db->queueChange(Server::makeOperation(Constants::doReturned, 12, 4, cell2, QString()));
    // The state changes at once, before anything is written or sent.
    EXPECT_EQ(core->cellsLogic.getCellByNumber(2).state, CellsLogic::csChanging);
    db->queueChange(Server::makeCellLockStatus(101, false, QStringLiteral("x")));
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).state, CellsLogic::csActual);

    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 2, 3000);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/CreateOperation"));
    EXPECT_EQ(changes[0].cell, 2);
    EXPECT_EQ(changes[0].body.object().value("devicePointCellId").toInt(), 102);
    EXPECT_EQ(changes[1].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_EQ(changes[1].cell, -1);
}

TEST_F(UploadQueues, LogsAreStoredInTheirOwnTable)
{
    start();
    DatabaseStructs::ServerLog log;
    log.path = QStringLiteral("station/state");
    log.body = QByteArray(R"({"id":0,"log":[{"cat":2,"msg":"x"}]})");
    Database::instance()->queueLog(log);
    ASSERT_EVENTUALLY(
        !Database::instance()->request(QStringLiteral("SELECT data FROM server_logs")).isEmpty(), 3000);
    const auto back = vxqDeserialize<DatabaseStructs::ServerLog>(
        Database::instance()
            ->request(QStringLiteral("SELECT data FROM server_logs"))
            .value("data")
            .toByteArray());
    EXPECT_EQ(back.path, log.path);
    EXPECT_EQ(back.body, log.body);
    EXPECT_TRUE(queuedChanges().isEmpty());
}

TEST_F(UploadQueues, BlockingACellQueuesItsLockRecord)
{
    start();
    core->setCellBlocked(core->cellsLogic.getCellByNumber(3), true, QStringLiteral("Broken hinge"));
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(3).isLocked);
    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_EQ(changes[0].body.toJson(QJsonDocument::Compact),
              QByteArray(R"([{"description":"Broken hinge","id":103,"isLocked":true}])"));

    // A cell the back-end does not know cannot be blocked: nothing is queued.
    core->cellsLogic.cells[2].devicePointCellId = -1;
    core->setCellBlocked(core->cellsLogic.getCellByNumber(2), true, QStringLiteral("x"));
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(2).isLocked);
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral(
                          "[StationCore] Error: can`t change lock status, uninitialized cell ID!")),
                      2000);
    EXPECT_EQ(queuedChanges().size(), 1);
}
