#include <QTimer>

#include "storage/database.h"
#include "ui/dialog.h"
#include "workflows/workflow_fixture.h"

using GiveDevice = WorkflowTest;

TEST_F(GiveDevice, DoorOpensThenClosesIssuesTheDevice)
{
    start();
    core->giveLogic.begin(Constants::asStart);
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyUser);
    EXPECT_EQ(core->qrMode(), Constants::qmUser);
    core->cardReaded(QStringLiteral("89"));
    EXPECT_EQ(core->activeScreen(), Constants::asOpenCell);

    // The simulated lock opens on the command; the door stays open.
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    EXPECT_GE(openFrames(0), 1);
    EXPECT_EQ(openFrames(1) + openFrames(2), 0);
    EXPECT_EQ(deviceRecord(12).userId, 4);
    const CellsLogic::Cell cell = core->cellsLogic.getCellByNumber(1);
    EXPECT_EQ(cell.deviceId, -1);
    EXPECT_FALSE(cell.device.isValid());
    EXPECT_EQ(cell.user.id, 4);
    EXPECT_EQ(cell.lastOperationUserId, 4);
    EXPECT_EQ(cell.state, CellsLogic::csChanging);
    EXPECT_EQ(core->counterDeviceTaken(), 1);

    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/CreateOperation"));
    EXPECT_EQ(changes[0].cell, 1);
    const QJsonObject body = changes[0].body.object();
    EXPECT_EQ(body.value("operation").toInt(-1), int(Constants::doIssued));
    EXPECT_EQ(body.value("deviceId").toInt(), 12);
    EXPECT_EQ(body.value("userId").toInt(), 4);
    EXPECT_EQ(body.value("devicePointCellId").toInt(), 101);
    EXPECT_EQ(body.value("comment").toString(), QString());
    EXPECT_TRUE(giveDone->isEmpty());

    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssued});
    EXPECT_EQ(core->cellsLogic.counterCloseOk(), 1);
    EXPECT_TRUE(returnDone->isEmpty());
}

TEST_F(GiveDevice, BoardThatFirstAnswersAfterTheOpenCommandStillIssues)
{
    Options options;
    options.silentBoards = true;
    options.maxTryOpenCell = QStringLiteral("3 s");
    start(options);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    // The lock carries out the command; the board has never answered.
    ASSERT_EVENTUALLY(sim.isDoorOpen(0, 0), 3000);
    EXPECT_FALSE(core->cellController.openStates().contains(0));
    EXPECT_EQ(core->activeScreen(), Constants::asOpenCell);

    sim.dropAnswers(0);
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    EXPECT_EQ(deviceRecord(12).userId, 4);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).deviceId, -1);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    ASSERT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
}

// The run gives up on a door whose command never left the station: the door
// found standing open when the link comes back was not opened by the station
// and is no late opening of that run.
TEST_F(GiveDevice, OpenGivenUpWhileTheLinkIsDownLeavesTheDoorItsStartingState)
{
    Options options;
    options.linkDown = true;
    options.maxTryOpenCell = QStringLiteral("1 s");
    start(options);
    QSignalSpy opened(&core->cellsLogic, &CellsLogic::cellOpened);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(giveDone->count() == 1, 5000);
    EXPECT_EQ(messages, QStringList{"Issue device: Open cell error"});

    sim.setDoor(0, 0, true);
    sim.setAccepting(true);
    ASSERT_EVENTUALLY(core->cellsLogic.getCellByNumber(1).opened, 3000);
    QTest::qWait(400); // two door samples more
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_EQ(opened.count(), 0);
    EXPECT_FALSE(TestSupport::logHas(QStringLiteral("[Issue device] Cell 1 opened after the open timeout")));
    EXPECT_EQ(openFrames(0), 0);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssueFailed});
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).deviceId, 12);
    EXPECT_EQ(deviceRecord(12).userId, 1);
}

TEST_F(GiveDevice, DoorThatNeverOpensIsGivenUpAndBlocked)
{
    Options options;
    options.reopenCell = QStringLiteral("100 ms");
    options.maxTryOpenCell = QStringLiteral("305 ms");
    options.blockOnOpenTimeout = true;
    start(options);
    sim.setJammed(0, 0, true);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    const qint64 gaveUpUs = LockSimulator::nowUs();
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Open cell error"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);

    // The first command and the repeats at 100 and 200 ms; the repeat due
    // at 300 ms, next to the give-up, sends nothing.
    const int opens = openFrames(0);
    EXPECT_GE(opens, 2);
    EXPECT_LE(opens, 3);
    EXPECT_LT(lastOpenFrameUs(0), gaveUpUs);
    QTest::qWait(300); // three repeat periods
    EXPECT_EQ(openFrames(0), opens);

    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 2, 3000);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_EQ(changes[0].body.toJson(QJsonDocument::Compact),
              QByteArray(R"([{"description":"Open timeout","id":101,"isLocked":true}])"));
    EXPECT_EQ(changes[1].operation(), int(Constants::doIssueFailed));
    EXPECT_EQ(changes[1].comment(), QStringLiteral("Open cell error"));
    EXPECT_EQ(changes[1].body.object().value("deviceId").toInt(), 12);
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(1).isLocked);
    EXPECT_EQ(deviceRecord(12).userId, 1);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).deviceId, 12);
    EXPECT_EQ(core->cellsLogic.counterOpenFail(), 1);
}

TEST_F(GiveDevice, OpeningAfterTheGiveUpIsOnlyAWarning)
{
    start();
    sim.setJammed(0, 0, true);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);

    sim.setDoor(0, 0, true);
    ASSERT_EVENTUALLY(
        TestSupport::logHas(QStringLiteral("[Issue device] Cell 1 opened after the open timeout")), 3000);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssueFailed});
    EXPECT_EQ(deviceRecord(12).userId, 1);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).deviceId, 12);
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
}

TEST_F(GiveDevice, DoorThatNeverClosesTimesOutAfterTheIssue)
{
    Options options;
    options.maxReturnDevice = QStringLiteral("300 ms");
    options.blockOnCloseTimeout = true;
    start(options);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Close cell timeout"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(queuedOperations(), (QVector<int>{Constants::doIssued, Constants::doCloseTimeout}));
    const QVector<QueuedChange> changes = queuedChanges();
    ASSERT_EQ(changes.size(), 3);
    EXPECT_EQ(changes[1].path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_TRUE(changes[1].body.toJson().contains("Close timeout"));
    EXPECT_EQ(changes[2].comment(), QString());
    EXPECT_EQ(changes[2].body.object().value("deviceId").toInt(), 12);
    // The issue stands.
    EXPECT_EQ(deviceRecord(12).userId, 4);
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(1).isLocked);
    EXPECT_EQ(core->cellsLogic.counterCloseFail(), 1);
}

TEST_F(GiveDevice, DoorClosingDuringTheTimeoutMessageIsNoSuccess)
{
    Options options;
    options.maxReturnDevice = QStringLiteral("300 ms");
    options.messageLifetime = QStringLiteral("2 s");
    start(options);
    // Inside the message's loop: close the door, wait until the cell model
    // has seen it closed, then answer. Every text the dialog shows is kept,
    // a message opened inside this one too.
    QStringList shown;
    bool doorClosed = false;
    bool answered = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (core->dialog->isHidden())
            return;
        const QString text = core->dialog->labelString->text();
        if (shown.isEmpty() || shown.last() != text)
            shown.append(text);
        if (!doorClosed) {
            doorClosed = true;
            sim.setDoor(0, 0, false);
        } else if (!answered && !core->cellsLogic.isCellOpened(1)) {
            answered = true;
            QTimer::singleShot(50, core->dialog, [this] { core->dialog->done(1); });
        }
    });
    probe.start(5);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(giveDone->count() == 1, 5000);
    EXPECT_FALSE(core->cellsLogic.isCellOpened(1));
    QTest::qWait(100); // nothing more comes of the close
    EXPECT_EQ(shown, QStringList{"Close cell timeout"});
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->cellsLogic.counterCloseOk(), 0);
    EXPECT_EQ(queuedOperations(), (QVector<int>{Constants::doIssued, Constants::doCloseTimeout}));
}

TEST_F(GiveDevice, AdministrationRunOpensTheChosenCellAndEndsOnItsScreen)
{
    start();
    core->setActiveScreen(Constants::asAdministration);
    core->giveLogic.begin(Constants::asAdministration);
    core->giveLogic.setUser(Database::instance()->userByID(4));
    core->giveLogic.giveDevice(core->cellsLogic.getCellByNumber(1));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    EXPECT_EQ(deviceRecord(12).userId, 4);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssued});
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->activeScreen(), Constants::asAdministration);
}

TEST_F(GiveDevice, NoChargedDeviceEndsAtOnceWithoutOpening)
{
    start();
    DatabaseStructs::Device flat = device12();
    flat.lastCharge = 10;
    putDevice(1, flat);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EQ(giveDone->count(), 1);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: No free cells"});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_FALSE(screenSeen(*screens, Constants::asOpenCell));
    QVector<QueuedChange> changes;
    ASSERT_EVENTUALLY((changes = queuedChanges()).size() == 1, 3000);
    EXPECT_EQ(changes[0].operation(), int(Constants::doIssueFailed));
    EXPECT_EQ(changes[0].comment(), QStringLiteral("No free cells"));
    EXPECT_EQ(changes[0].cell, -1);
    EXPECT_EQ(changes[0].body.object().value("deviceId").toInt(), -1);
    EXPECT_EQ(changes[0].body.object().value("userId").toInt(), 4);
    QTest::qWait(100); // ten poll periods
    EXPECT_EQ(openFrames(0) + openFrames(1) + openFrames(2), 0);
}

struct RefusedCase
{
    const char* name;
    const char* card;
    const char* message;
};
class GiveDeviceRefused : public WorkflowTest, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(GiveDeviceRefused, EndsTheRunQueuingNothing)
{
    start();
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QString::fromLatin1(GetParam().card));
    ASSERT_EQ(giveDone->count(), 1);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{QString::fromLatin1(GetParam().message)});
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
    ASSERT_EVENTUALLY(
        TestSupport::logHas(
            QString::fromLatin1(GetParam().message).replace("Issue device: ", "[Issue device] ")),
        2000);
    QTest::qWait(100); // ten poll periods
    EXPECT_TRUE(queuedChanges().isEmpty());
    EXPECT_EQ(openFrames(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         GiveDeviceRefused,
                         ::testing::Values(RefusedCase{"BlockedUser", "77", "Issue device: User is blocked"},
                                           RefusedCase{"UnknownCard", "999", "Issue device: Invalid user"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The administration page runs an issue for the administrator: no login,
// the cell chosen on the page. Cards and codes read during the run belong
// to nobody.
TEST_F(GiveDevice, AdministratorsIssueIgnoresCardsOnceTheCellIsChosen)
{
    start();
    core->giveLogic.begin(Constants::asAdministration);
    core->giveLogic.setUser(Database::instance()->userByID(4));
    core->giveLogic.giveDevice(core->cellsLogic.getCellByNumber(1));
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
    EXPECT_EQ(core->activeScreen(), Constants::asOpenCell);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    core->cardReaded(QStringLiteral("89"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(giveDone->isEmpty());

    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->activeScreen(), Constants::asAdministration);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssued});
}
