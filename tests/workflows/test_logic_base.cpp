#include <QTimer>

#include "storage/database.h"
#include "ui/dialog.h"
#include "workflows/workflow_fixture.h"

using Workflows = WorkflowTest;

TEST_F(Workflows, InactivityReturnsToStartAndEndsTheRunOnce)
{
    Options options;
    options.gotoStart = QStringLiteral("150 ms");
    start(options);
    core->giveLogic.begin(Constants::asStart);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_FALSE(core->giveLogic.isActive());
    QTest::qWait(300); // two more inactivity periods
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Workflows, CancelWhileOpeningSendsNoFurtherOpenCommand)
{
    start();
    sim.setJammed(0, 0, true);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(openFrames(0) >= 1, 3000);
    Q_EMIT core->cancelLogicsRequest();
    ASSERT_EQ(giveDone->count(), 1);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    QTest::qWait(30); // a command already handed to the controller goes out
    const int opens = openFrames(0);
    QTest::qWait(400); // past the give-up time, more than six repeat periods
    EXPECT_EQ(openFrames(0), opens);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(queuedChanges().isEmpty());
}

// A repeat of the open command that still waits for the controller when the
// door is seen open is dropped: sent later, it would open the door again
// after the user closed it.
TEST_F(Workflows, DoorSeenOpenDropsTheRepeatStillWaiting)
{
    Options options;
    options.openCellMinInterval = QStringLiteral("1 s");
    options.maxTryOpenCell = QStringLiteral("3 s");
    // Repeats come faster than the door can be seen open.
    options.reopenCell = QStringLiteral("10 ms");
    start(options);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    ASSERT_EQ(openFrames(0), 1);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    QTest::qWait(1500); // past the pacing of the controller's next command
    EXPECT_EQ(openFrames(0), 1);
    EXPECT_FALSE(core->cellController.isOpened(0, 0));
}

// Likewise a run given up or cancelled while its cell opens.
TEST_F(Workflows, CancelWhileOpeningDropsTheWaitingRepeat)
{
    Options options;
    options.openCellMinInterval = QStringLiteral("1 s");
    options.maxTryOpenCell = QStringLiteral("3 s");
    start(options);
    sim.setJammed(0, 0, true);
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(openFrames(0) == 1, 3000);
    QTest::qWait(150); // a repeat is queued behind the controller's pacing
    Q_EMIT core->cancelLogicsRequest();
    ASSERT_EQ(giveDone->count(), 1);
    QTest::qWait(1500);
    EXPECT_EQ(openFrames(0), 1);
}

TEST_F(Workflows, OnlyTheActiveWorkflowHearsTheUser)
{
    start();
    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyDevice);
    EXPECT_FALSE(core->giveLogic.isActive());
    QTest::qWait(100); // ten poll periods: the issue did not open a cell
    EXPECT_EQ(openFrames(0), 0);
    EXPECT_TRUE(giveDone->isEmpty());
}

// A run that has not ended is not begun again over itself: it keeps its
// user and its screen, and reports its own end once.
TEST_F(Workflows, BeginOnAnActiveWorkflowChangesNothing)
{
    start();
    ASSERT_TRUE(core->returnLogic.begin(Constants::asStart));
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EQ(core->activeScreen(), Constants::asIdentifyDevice);
    const int screensBefore = int(screens->count());
    EXPECT_FALSE(core->returnLogic.begin(Constants::asAdministration));
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyDevice);
    EXPECT_EQ(core->qrMode(), Constants::qmDevice);
    EXPECT_EQ(screens->count(), screensBefore);

    // The user identified before the second begin returns her device.
    Q_EMIT core->deviceDetected(device20());
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    const int cell = core->returnLogic.currentWorkCell().number;
    EXPECT_EQ(core->cellsLogic.getCellByNumber(cell).user.id, 4);
    EXPECT_TRUE(returnDone->isEmpty());
    Q_EMIT core->cancelLogicsRequest();
    EXPECT_EQ(returnDone->count(), 1);
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
}

TEST_F(Workflows, EndOnAnIdleWorkflowEmitsNothing)
{
    start();
    core->giveLogic.end();
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_EQ(screens->count(), 0);
}

TEST_F(Workflows, MessageEndsOnlyTheRunThatShowedIt)
{
    start();
    // A batch: the next run begins on a queued done of the previous one.
    int begun = 0;
    QObject batch;
    QObject::connect(
        &core->giveLogic, &StationLogicBase::done, &batch,
        [&] {
            if (begun++ == 0)
                core->giveLogic.begin(Constants::asAdministration);
        },
        Qt::QueuedConnection);
    core->giveLogic.begin(Constants::asAdministration);

    // While "User is blocked" is shown, the run is cancelled: its message
    // goes with it, the next run begins from the event loop, and the
    // message's own end does not end that one.
    bool cancelled = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (cancelled || core->dialog->isHidden())
            return;
        cancelled = true;
        Q_EMIT core->cancelLogicsRequest();
        QTimer::singleShot(20, core->dialog, [this] { core->dialog->done(1); });
    });
    probe.start(2);
    core->cardReaded(QStringLiteral("77"));
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(core->dialog->isHidden());
    EXPECT_EQ(messages, QStringList{"Issue device: User is blocked"});
    ASSERT_EVENTUALLY(begun == 1, 1000);
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_TRUE(core->giveLogic.isActive());
    EXPECT_EQ(core->activeScreen(), Constants::asIdentifyUser);
    EXPECT_EQ(core->qrMode(), Constants::qmUser);
}

TEST_F(Workflows, WorkCellsBoardIsPolledAloneWhileOpening)
{
    Options options;
    options.extraCells = QStringLiteral("4 = board = 3, lock = 0\n");
    start(options);
    core->cellsLogic.cells[1].deviceId = -1;
    core->cellsLogic.cells[1].device = DatabaseStructs::Device();
    putDevice(4, device12());
    sim.setJammed(3, 0, true);
    qint64 endedUs = -1;
    QObject watch;
    QObject::connect(&core->giveLogic, &StationLogicBase::done, &watch,
                     [&] { endedUs = LockSimulator::nowUs(); });
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EQ(core->giveLogic.currentWorkCell().number, 4);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);

    qint64 firstOpenUs = -1;
    int forced = 0;
    for (const LockSimulator::Frame& frame : sim.frames()) {
        if (frame.open && firstOpenUs < 0)
            firstOpenUs = frame.atUs;
        // A query already on its way when the opening began may still be
        // for the other board, and the run lets the boards take turns again
        // just before done(); every query between is for the work cell's.
        if (frame.open || firstOpenUs < 0 || frame.atUs < firstOpenUs + 20000 || frame.atUs > endedUs - 20000)
            continue;
        EXPECT_EQ(frame.board, 3);
        ++forced;
    }
    EXPECT_GT(forced, 5);
    // Once the run is over, the boards are polled in turn again.
    ASSERT_EVENTUALLY(std::any_of(sim.frames().cbegin(), sim.frames().cend(),
                                  [&](const LockSimulator::Frame& f) {
                                      return !f.open && f.board == 0 && f.atUs > endedUs;
                                  }),
                      3000);
}
