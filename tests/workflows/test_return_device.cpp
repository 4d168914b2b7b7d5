#include "storage/database.h"
#include "support/dialog_answer.h"
#include "workflows/workflow_fixture.h"

using ReturnDevice = WorkflowTest;

namespace {
// The free cell the return chose: the one whose door was commanded open.
int commandedLock(const LockSimulator& sim)
{
    for (const LockSimulator::Frame& frame : sim.frames())
        if (frame.open)
            return frame.lock;
    return -1;
}
} // namespace

struct IdentifyCase
{
    const char* name;
    bool scan; // the sticker on the scanner, or a pick from the serial search
};
class ReturnDeviceIdentified : public WorkflowTest, public ::testing::WithParamInterface<IdentifyCase>
{
};

TEST_P(ReturnDeviceIdentified, PutsTheDeviceInAFreeCell)
{
    start();
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyDevice);
    EXPECT_EQ(core->qrMode(), Constants::qmDevice);
    if (GetParam().scan)
        core->barCodeReaded(QByteArray("SN-0020\r"));
    else
        Q_EMIT core->deviceDetected(Database::instance()->deviceBySerial(QStringLiteral("SN-0020")));
    EXPECT_EQ(core->activeScreen(), Constants::asOpenCell);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);

    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    const int lock = commandedLock(sim);
    ASSERT_TRUE(lock == 1 || lock == 2) << lock; // cell 1 holds a device
    const int number = lock + 1;
    // The holder is cleared when the door opens, before it closes.
    EXPECT_EQ(deviceRecord(20).userId, 0);
    const CellsLogic::Cell cell = core->cellsLogic.getCellByNumber(number);
    EXPECT_EQ(cell.deviceId, 20);
    EXPECT_EQ(cell.device.id, 20);
    EXPECT_EQ(cell.user.id, 4);
    EXPECT_FALSE(cell.isAmbiguous());
    EXPECT_EQ(core->counterDeviceReturned(), 1);

    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].cell, number);
    const QJsonObject body = changes[0].body.object();
    EXPECT_EQ(body.value("operation").toInt(-1), int(Constants::doReturned));
    EXPECT_EQ(body.value("deviceId").toInt(), 20);
    EXPECT_EQ(body.value("userId").toInt(), 4);
    EXPECT_EQ(body.value("devicePointCellId").toInt(), 100 + number);
    EXPECT_EQ(body.value("comment").toString(), QString());

    sim.setDoor(0, lock, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_TRUE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_TRUE(giveDone->isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ReturnDeviceIdentified,
                         ::testing::Values(IdentifyCase{"ByScannedSerial", true},
                                           IdentifyCase{"BySerialSearch", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReturnDevice, UnknownStickerKeepsWaitingForTheDevice)
{
    // Long enough for the answer to come first on a slow run.
    Options options;
    options.messageLifetime = QStringLiteral("500 ms");
    start(options);
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    {
        DialogAnswer answer(core->dialog, DialogAnswer::clickOk());
        core->barCodeReaded(QByteArray("SN-9999"));
        EXPECT_TRUE(answer.answered);
    }
    EXPECT_EQ(messages, QStringList{"Device scan: Device not found!"});
    QTest::qWait(700); // past the message's lifetime: the answered message leaves the screen as it is
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyDevice);
    EXPECT_EQ(core->qrMode(), Constants::qmDevice);
    EXPECT_TRUE(core->returnLogic.isActive());
    EXPECT_TRUE(returnDone->isEmpty());
    // The right sticker still works.
    core->barCodeReaded(QByteArray("SN-0020"));
    EXPECT_EQ(core->activeScreen(), Constants::asOpenCell);
}

TEST_F(ReturnDevice, NoFreeCellEndsWithoutOpening)
{
    Options options;
    // Empty, but beyond the reach of protocol v1.7: its door cannot open.
    options.extraCells = QStringLiteral("4 = board = 16, lock = 0\n");
    start(options);
    core->cellsLogic.cells[2].isLocked = true;
    core->cellsLogic.cells[3].service = true;
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020"));
    ASSERT_EQ(returnDone->count(), 1);
    EXPECT_FALSE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: No free cells"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    for (const QList<QVariant>& args : *screens)
        EXPECT_NE(args.at(0).toInt(), int(Constants::asOpenCell));
    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].operation(), int(Constants::doReturnFailed));
    EXPECT_EQ(changes[0].comment(), QStringLiteral("No free cells"));
    EXPECT_EQ(changes[0].body.object().value("deviceId").toInt(), 20);
    EXPECT_EQ(deviceRecord(20).userId, 4);
    QTest::qWait(100); // ten poll periods
    EXPECT_EQ(openFrames(0) + openFrames(1) + openFrames(2), 0);
}

TEST_F(ReturnDevice, DeviceAlsoInAnotherCellIsADuplicateReturn)
{
    start();
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0012")); // still recorded in cell 1
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    const int number = commandedLock(sim) + 1;
    ASSERT_NE(number, 1);
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(number).isAmbiguous());
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(1).isAmbiguous());
    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].operation(), int(Constants::doReturned));
    EXPECT_EQ(changes[0].comment(), QStringLiteral("Duplicate return"));
    EXPECT_EQ(changes[0].cell, number);
}

TEST_F(ReturnDevice, RecordChangedWhileOpeningIsNotOverwritten)
{
    start();
    sim.setJammed(0, 1, true);
    sim.setJammed(0, 2, true);
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020"));
    ASSERT_EVENTUALLY(commandedLock(sim) >= 0, 3000);
    const int lock = commandedLock(sim);

    // A sync replaces the record while the door is being opened.
    DatabaseStructs::Device synced = device20();
    synced.name = QStringLiteral("Scanner 20");
    synced.lastCharge = 55;
    Database::instance()->addDevice(synced);

    sim.setDoor(0, lock, true);
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    const DatabaseStructs::Device stored = deviceRecord(20);
    EXPECT_EQ(stored.name, QStringLiteral("Scanner 20"));
    EXPECT_EQ(stored.lastCharge, 55);
    EXPECT_EQ(stored.userId, 0);
    const CellsLogic::Cell cell = core->cellsLogic.getCellByNumber(lock + 1);
    EXPECT_EQ(cell.device.name, QStringLiteral("Scanner 20"));
    EXPECT_EQ(cell.device.lastCharge, 55);
}

TEST_F(ReturnDevice, DoorThatNeverOpensIsGivenUpAndBlocked)
{
    Options options;
    options.blockOnOpenTimeout = true;
    start(options);
    sim.setJammed(0, 1, true);
    sim.setJammed(0, 2, true);
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020"));
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_FALSE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Open cell error"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_FALSE(screenSeen(*screens, Constants::asCloseCell));
    const int lock = commandedLock(sim);
    ASSERT_TRUE(lock == 1 || lock == 2) << lock;
    const int number = lock + 1;

    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 2, 3000);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_EQ(changes[0].body.toJson(QJsonDocument::Compact),
              QStringLiteral(R"([{"description":"Open timeout","id":%1,"isLocked":true}])")
                  .arg(100 + number)
                  .toUtf8());
    EXPECT_EQ(changes[1].operation(), int(Constants::doReturnFailed));
    EXPECT_EQ(changes[1].comment(), QStringLiteral("Open cell error"));
    EXPECT_EQ(changes[1].cell, number);
    EXPECT_EQ(changes[1].body.object().value("deviceId").toInt(), 20);
    // Nothing of the return stands: the user still holds the device.
    EXPECT_EQ(deviceRecord(20).userId, 4);
    const CellsLogic::Cell cell = core->cellsLogic.getCellByNumber(number);
    EXPECT_TRUE(cell.isLocked);
    EXPECT_EQ(cell.deviceId, -1);
    EXPECT_EQ(core->counterDeviceReturned(), 0);
    EXPECT_EQ(core->cellsLogic.counterOpenFail(), 1);
    ASSERT_EVENTUALLY(
        TestSupport::logHas(QStringLiteral("[ReturnDeviceLogic] Open cell %1 timeout").arg(number)), 2000);
}

TEST_F(ReturnDevice, DoorThatNeverClosesTimesOutAfterTheReturn)
{
    Options options;
    options.maxTryOpenCell = QStringLiteral("3 s"); // the door opens: no give-up on a slow run
    options.maxReturnDevice = QStringLiteral("300 ms");
    options.blockOnCloseTimeout = true;
    start(options);
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020"));
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_FALSE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Close cell timeout"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_TRUE(screenSeen(*screens, Constants::asCloseCell));
    const int number = commandedLock(sim) + 1;
    ASSERT_TRUE(number == 2 || number == 3) << number;
    EXPECT_TRUE(core->cellsLogic.isCellOpened(number));

    EXPECT_EQ(queuedOperations(), (QVector<int>{Constants::doReturned, Constants::doCloseTimeout}));
    const QVector<QueuedChange> changes = queuedChanges();
    ASSERT_EQ(changes.size(), 3);
    EXPECT_EQ(changes[1].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_TRUE(changes[1].body.toJson().contains("Close timeout"));
    EXPECT_EQ(changes[2].comment(), QString());
    EXPECT_EQ(changes[2].cell, number);
    EXPECT_EQ(changes[2].body.object().value("deviceId").toInt(), 20);
    // The return stands: the device is in the cell and no longer the user's.
    EXPECT_EQ(deviceRecord(20).userId, 0);
    const CellsLogic::Cell cell = core->cellsLogic.getCellByNumber(number);
    EXPECT_EQ(cell.deviceId, 20);
    EXPECT_TRUE(cell.isLocked);
    EXPECT_EQ(core->cellsLogic.counterCloseFail(), 1);
    EXPECT_EQ(core->cellsLogic.counterCloseOk(), 0);
    ASSERT_EVENTUALLY(
        TestSupport::logHas(QStringLiteral("[ReturnDeviceLogic] Close cell %1 timeout").arg(number)), 2000);
}
