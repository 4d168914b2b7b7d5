// The controller against the simulator over real links: a pseudo-terminal
// and loopback TCP, in both protocols.

#include <memory>

#include "cells/cellcontroller.h"
#include "core/core.h"
#include "lock_simulator.h"
#include "support/test_support.h"

using TestSupport::logHas;
using Frame = LockSimulator::Frame;

struct Link
{
    const char* name;
    bool tcp;
    LockSimulator::Protocol protocol;
};

namespace {
const qint64 toleranceUs = 10000; // link and scheduling jitter on arrival times

QVector<Frame> framesOf(const LockSimulator& sim, bool open)
{
    QVector<Frame> result;
    for (const Frame& frame : sim.frames())
        if (frame.open == open)
            result.append(frame);
    return result;
}

bool logContains(const QString& part)
{
    for (const QString& line : TestSupport::logLines())
        if (line.contains(part))
            return true;
    return false;
}

void setTimeouts(int minIntervalMs, int silenceMs, int maxTryMs, int reconnectMs)
{
    StationCore::Timeouts& t = StationCore::instance()->timeouts;
    t.open_cell_min_interval = VXSystemTime::fromMSec(minIntervalMs);
    t.open_silence = VXSystemTime::fromMSec(silenceMs);
    t.max_try_open_cell = VXSystemTime::fromMSec(maxTryMs);
    t.reconnect_delay = VXSystemTime::fromMSec(reconnectMs);
}

class Controller : public ::testing::Test
{
protected:
    void SetUp() override { setTimeouts(100, 60, 4000, 50); }
    void TearDown() override
    {
        controller.reset(); // before the simulator it talks to
        sim.reset();
    }

    void connect(bool tcp, LockSimulator::Protocol protocol, bool accepting = true)
    {
        sim = std::make_unique<LockSimulator>(protocol);
        path = tcp ? sim->listenTcp() : sim->listenPty();
        ASSERT_FALSE(path.isEmpty());
        if (!accepting)
            sim->setAccepting(false);
        controller = std::make_unique<CellController>();
        controller->init(protocol == LockSimulator::Protocol::V1_7 ? QStringLiteral("v1.7")
                                                                   : QStringLiteral("v4.0"));
        controller->open(path);
        controller->setBoards({3, 5});
    }
    void start() { controller->start(VXSystemTime::fromMSec(20)); }

    std::unique_ptr<LockSimulator> sim;
    std::unique_ptr<CellController> controller;
    QString path;
};

class OverEachLink : public Controller, public ::testing::WithParamInterface<Link>
{
protected:
    void SetUp() override
    {
        Controller::SetUp();
        connect(GetParam().tcp, GetParam().protocol);
    }
};
} // namespace

TEST_P(OverEachLink, QueriesFollowTheBoardsInRotation)
{
    // A query written before a TCP link is up is lost, and the rotation
    // would seem to start on the second board.
    ASSERT_EVENTUALLY(controller->isConnected(), 3000);
    start();
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 4, 3000);
    const QVector<Frame> queries = framesOf(*sim, false);
    EXPECT_EQ(queries.at(0).board, 5);
    EXPECT_EQ(queries.at(1).board, 3);
    EXPECT_EQ(queries.at(2).board, 5);
    EXPECT_EQ(queries.at(3).board, 3);
    EXPECT_TRUE(framesOf(*sim, true).isEmpty());
    // The counters follow the frames on the poll and reader threads.
    ASSERT_EVENTUALLY(controller->counterRequests() >= 4, 3000);
    ASSERT_EVENTUALLY(controller->counterAnswers() >= 4, 3000);
    EXPECT_TRUE(controller->isConnected());
}

TEST_P(OverEachLink, DoorStatesReachTheOpenStateMap)
{
    start();
    sim->setDoor(5, 2, true);
    sim->setDoor(3, 31, true);
    ASSERT_EVENTUALLY(controller->isOpened(5, 2) && controller->isOpened(3, 31), 3000);
    const VXMap<int, VXVector<bool>> states = controller->openStates();
    EXPECT_EQ(states.keys(), (QList<int>{3, 5}));
    EXPECT_EQ(states.value(5).size(), 32);
    EXPECT_EQ(states.value(5).count(true), 1);
    EXPECT_FALSE(controller->isOpened(5, 1));
    EXPECT_FALSE(controller->isOpened(5, 32));
    EXPECT_FALSE(controller->isOpened(4, 2));

    sim->setDoor(5, 2, false);
    ASSERT_EVENTUALLY(!controller->isOpened(5, 2), 3000);
    EXPECT_TRUE(controller->isOpened(3, 31));
    EXPECT_GE(controller->receiveQuality(), VXDiagnostics::qAverage);
}

TEST_P(OverEachLink, OpenCommandsArePacedAndFollowedBySilence)
{
    // Wide margins: the simulator stamps frames as it reads them, so a
    // starved simulator thread would bring two frames closer together.
    setTimeouts(200, 150, 4000, 50);
    controller->unlock(3, 1);
    controller->unlock(3, 2);
    controller->unlock(3, 1); // already queued: not a second command
    start();
    ASSERT_EVENTUALLY(controller->isOpened(3, 1) && controller->isOpened(3, 2), 3000);
    // Let queries resume after the second command.
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 2, 3000);

    const QVector<Frame> opens = framesOf(*sim, true);
    ASSERT_EQ(opens.size(), 2);
    EXPECT_EQ(opens.at(0).lock, 1);
    EXPECT_EQ(opens.at(1).lock, 2);
    EXPECT_EQ(opens.at(0).board, 3);
    // The simulator stamps a frame when it reads it: a late read of the
    // first brings the two closer, never by a whole pacing interval.
    EXPECT_GE(opens.at(1).atUs - opens.at(0).atUs, 200000 - 5 * toleranceUs);
    for (const Frame& frame : sim->frames()) {
        if (frame.open)
            continue;
        for (const Frame& open : opens)
            EXPECT_FALSE(frame.atUs > open.atUs && frame.atUs - open.atUs < 150000 - 5 * toleranceUs)
                << "query " << (frame.atUs - open.atUs) / 1000 << " ms after a command";
    }
    EXPECT_TRUE(sim->isDoorOpen(3, 1));
    EXPECT_EQ(controller->counterCommands(), 2);
}

TEST_P(OverEachLink, ForcedBoardTakesEveryQueryUntilReset)
{
    controller->setQueryBoard(7);
    start();
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 5, 3000);
    for (const Frame& frame : framesOf(*sim, false))
        EXPECT_EQ(frame.board, 7);
    controller->resetQueryBoard();
    sim->clearFrames();
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 3, 3000);
    const QVector<Frame> queries = framesOf(*sim, false);
    for (int i = 1; i < queries.size(); ++i)
        EXPECT_NE(queries.at(i).board, 7);
}

TEST_P(OverEachLink, JammedDoorStaysClosed)
{
    sim->setJammed(5, 4, true);
    controller->unlock(5, 4);
    start();
    ASSERT_EVENTUALLY(framesOf(*sim, true).size() == 1, 3000);
    const int answers = controller->counterAnswers();
    // Several reports of board 5 after the command: the door never opens.
    ASSERT_EVENTUALLY(controller->counterAnswers() >= answers + 4, 3000);
    EXPECT_FALSE(controller->isOpened(5, 4));
    EXPECT_FALSE(sim->isDoorOpen(5, 4));
    EXPECT_TRUE(controller->openStates().contains(5));
}

TEST_P(OverEachLink, GarbledAnswersAreNotApplied)
{
    sim->setDoor(3, 6, true);
    sim->garbleAnswers(1000000);
    start();
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 6, 3000);
    EXPECT_EQ(controller->counterAnswers(), 0);
    EXPECT_FALSE(controller->isOpened(3, 6));
    EXPECT_EQ(controller->receiveQuality(), VXDiagnostics::qUnknown);
    sim->garbleAnswers(0);
    ASSERT_EVENTUALLY(controller->isOpened(3, 6), 3000);
}

INSTANTIATE_TEST_SUITE_P(Links,
                         OverEachLink,
                         ::testing::Values(Link{"PtyV17", false, LockSimulator::Protocol::V1_7},
                                           Link{"PtyV40", false, LockSimulator::Protocol::V4_0},
                                           Link{"TcpV17", true, LockSimulator::Protocol::V1_7},
                                           Link{"TcpV40", true, LockSimulator::Protocol::V4_0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Controller, BoardOutOfRangeIsRefusedNotMasked)
{
    connect(false, LockSimulator::Protocol::V1_7);
    controller->unlock(17, 3); // masked to 4 bits it would open board 1, lock 3
    controller->unlock(1, 2);
    start();
    ASSERT_EVENTUALLY(framesOf(*sim, true).size() == 1, 3000);
    EXPECT_EQ(framesOf(*sim, true).at(0).board, 1);
    EXPECT_EQ(framesOf(*sim, true).at(0).lock, 2);
    EXPECT_FALSE(sim->isDoorOpen(1, 3));
    ASSERT_EVENTUALLY(
        logHas(QStringLiteral("[CellController] Board 17  lock 3 can`t be addressed in v1.7, not sent")),
        3000);
    EXPECT_EQ(controller->counterCommands(), 1);
}

TEST_F(Controller, WithoutBoardsOnlyCommandsGoOut)
{
    connect(false, LockSimulator::Protocol::V1_7);
    controller->setBoards({});
    start();
    controller->unlock(2, 5);
    ASSERT_EVENTUALLY(sim->isDoorOpen(2, 5), 3000);
    QTest::qWait(300); // past the silence, fifteen poll periods
    EXPECT_TRUE(framesOf(*sim, false).isEmpty());
    EXPECT_EQ(controller->counterRequests(), 0);
}

TEST_F(Controller, TracesFramesWhenCellsLogIsSet)
{
    StationCore::instance()->cells_log = true;
    connect(false, LockSimulator::Protocol::V1_7);
    controller->setBoards({3});
    controller->unlock(3, 1);
    start();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] open board 3  lock 1")), 3000);
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] query board 3")), 3000);
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] states for 3")), 3000);
    // Lock 1 opened: the answer reports door bits FD FF FF FF.
    ASSERT_EVENTUALLY(
        logHas(QStringLiteral("[CellController] rec 9 bytes [2, 48, 49, 253, 255, 255, 255, 3, 96]")), 3000);
    StationCore::instance()->cells_log = false;
}

TEST_F(Controller, UnknownProtocolSendsNothing)
{
    sim = std::make_unique<LockSimulator>(LockSimulator::Protocol::V1_7);
    path = sim->listenTcp();
    controller = std::make_unique<CellController>();
    controller->init(QStringLiteral("v2.0"));
    controller->open(path);
    controller->setBoards({1});
    controller->unlock(1, 1);
    start();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Can`t find implementation v2.0")), 3000);
    // Ten poll periods: nothing may reach the controller.
    QTest::qWait(200);
    EXPECT_EQ(sim->connectionsAccepted(), 0);
    EXPECT_TRUE(sim->frames().isEmpty());
    EXPECT_FALSE(controller->isConnected());
    EXPECT_TRUE(controller->protocolName().isEmpty());
}

TEST_F(Controller, PathWithoutDeviceIsLogged)
{
    controller = std::make_unique<CellController>();
    controller->init(QStringLiteral("v4.0"));
    controller->open(QStringLiteral("tcp:127.0.0.1"));
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Can`t create device tcp:127.0.0.1")), 3000);
    EXPECT_FALSE(controller->isConnected());
}

TEST_F(Controller, LostLinkReconnectsAndSendsAQueuedCommandOnce)
{
    connect(true, LockSimulator::Protocol::V4_0);
    start();
    ASSERT_EVENTUALLY(controller->counterReconnects() == 1, 3000);
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Connected")), 3000);
    EXPECT_TRUE(logHas(QStringLiteral("[CellController] Connect to ") + path.mid(4)));

    sim->setAccepting(false);
    sim->dropClient();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    ASSERT_EVENTUALLY(!controller->isConnected(), 3000);
    controller->unlock(3, 6);
    controller->unlock(3, 6);
    // A refused reconnect is another disconnect, retried after the delay.
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Reconnect ...")), 3000);
    EXPECT_TRUE(framesOf(*sim, true).isEmpty());

    sim->setAccepting(true);
    ASSERT_EVENTUALLY(controller->counterReconnects() == 2, 3000);
    ASSERT_EVENTUALLY(framesOf(*sim, true).size() == 1, 3000);
    EXPECT_EQ(framesOf(*sim, true).at(0).lock, 6);
    ASSERT_EVENTUALLY(controller->isOpened(3, 6), 3000);
    EXPECT_EQ(framesOf(*sim, true).size(), 1);
    EXPECT_EQ(sim->connectionsAccepted(), 2);
}

TEST_F(Controller, RefusedFirstConnectIsRetried)
{
    connect(true, LockSimulator::Protocol::V1_7, false);
    start();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    EXPECT_EQ(controller->counterReconnects(), 0);
    sim->setAccepting(true);
    ASSERT_EVENTUALLY(controller->counterReconnects() == 1, 3000);
    ASSERT_EVENTUALLY(!framesOf(*sim, false).isEmpty(), 3000);
}

TEST_F(Controller, CommandsOlderThanTheGiveUpTimeAreDroppedAfterAnOutage)
{
    setTimeouts(100, 60, 150, 400);
    connect(true, LockSimulator::Protocol::V1_7);
    start();
    ASSERT_EVENTUALLY(controller->counterReconnects() == 1, 3000);
    sim->dropClient();
    ASSERT_EVENTUALLY(!controller->isConnected(), 3000);
    controller->unlock(3, 6);
    // The link is back after 400 ms: the workflow gave up after 150 ms.
    ASSERT_EVENTUALLY(controller->counterReconnects() == 2, 3000);
    ASSERT_EVENTUALLY(logContains(QStringLiteral("[CellController] Drop open board 3  lock 6: waited")),
                      3000);
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= 3, 3000);
    EXPECT_TRUE(framesOf(*sim, true).isEmpty());
    EXPECT_FALSE(sim->isDoorOpen(3, 6));

    controller->unlock(3, 6); // a workflow still waiting asks again
    ASSERT_EVENTUALLY(sim->isDoorOpen(3, 6), 3000);
}

TEST_F(Controller, OpenCommandOnAStalledLineIsSentAgainUntilTheGiveUpTime)
{
    connect(false, LockSimulator::Protocol::V1_7);
    controller->setBoards({3});
    start();
    ASSERT_EVENTUALLY(!framesOf(*sim, false).isEmpty(), 3000);

    // The line stops taking bytes but stays open: the write gives up short.
    sim->setStalled(true);
    controller->unlock(3, 1);
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Open board 3  lock 1 not written, sending again")),
                      3000);
    EXPECT_TRUE(controller->isConnected());
    sim->setStalled(false);
    ASSERT_EVENTUALLY(sim->isDoorOpen(3, 1), 3000);
    EXPECT_EQ(framesOf(*sim, true).size(), 1);
    EXPECT_EQ(controller->counterCommands(), 1);

    // Still stalled when a workflow would have given up: dropped, and said so.
    setTimeouts(100, 60, 1000, 50);
    sim->setStalled(true);
    controller->unlock(3, 2);
    ASSERT_EVENTUALLY(logContains(QStringLiteral("[CellController] Drop open board 3  lock 2: not written for")),
                      4000);
    sim->setStalled(false);
    const int queries = framesOf(*sim, false).size();
    ASSERT_EVENTUALLY(framesOf(*sim, false).size() >= queries + 3, 3000);
    EXPECT_EQ(framesOf(*sim, true).size(), 1);
    EXPECT_FALSE(sim->isDoorOpen(3, 2));
}

TEST_F(Controller, CloseCancelsAPendingReconnect)
{
    setTimeouts(100, 60, 4000, 300);
    connect(true, LockSimulator::Protocol::V1_7);
    start();
    ASSERT_EVENTUALLY(controller->counterReconnects() == 1, 3000);
    sim->dropClient();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    controller->close();
    sim->clearFrames();
    controller->unlock(3, 1);
    // Past the reconnect delay: no reconnect, no frame from the poll thread.
    QTest::qWait(500);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(logHas(QStringLiteral("[CellController] Reconnect ...")));
    EXPECT_EQ(sim->connectionsAccepted(), 1);
    EXPECT_TRUE(sim->frames().isEmpty());
    EXPECT_FALSE(controller->isConnected());
}

TEST_F(Controller, PendingReconnectLeavesAReplacedLinkAlone)
{
    setTimeouts(100, 60, 4000, 300);
    connect(true, LockSimulator::Protocol::V1_7);
    start();
    ASSERT_EVENTUALLY(controller->counterReconnects() == 1, 3000);
    LockSimulator second(LockSimulator::Protocol::V1_7);
    const QString secondPath = second.listenTcp();
    sim->dropClient();
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    controller->open(secondPath);
    ASSERT_EVENTUALLY(second.connectionsAccepted() == 1, 3000);
    QTest::qWait(500); // past the old link's reconnect delay
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(logHas(QStringLiteral("[CellController] Reconnect ...")));
    EXPECT_EQ(second.connectionsAccepted(), 1);
    EXPECT_EQ(sim->connectionsAccepted(), 1);
    EXPECT_TRUE(controller->isConnected());
    controller.reset();
}

TEST(ControllerInHub, InitOpensStartsAndStopCloses)
{
    LockSimulator sim(LockSimulator::Protocol::V4_0);
    const QString path = sim.listenPty();
    TestSupport::writeConfig(
        QStringLiteral("[timeouts]\nopen_cell_min_interval = 50 ms\nopen_silence = 50 ms\n"
                       "[cells]\nprotocol = v4.0\naddress = %1\ntick_time = 50 Hz\n"
                       "1 = board = 2, lock = 5\n2 = board = 0, lock = 1\n")
            .arg(path));
    StationCore* core = StationCore::instance();
    core->init();
    // Every configured cell's board is polled, with no state file yet.
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[CellController] Start 20 ms, 2 boards (0, 2)")), 3000);
    EXPECT_TRUE(logHas(QStringLiteral("[CellController] Use v4.0 implementation")));
    EXPECT_TRUE(logHas(QStringLiteral("[CellController] Open ") + path));
    core->cellController.unlock(2, 5);
    ASSERT_EVENTUALLY(sim.isDoorOpen(2, 5), 3000);
    EXPECT_EQ(framesOf(sim, true).at(0).bytes, TestSupport::hex("57 4B 4C 59 09 02 82 05 85"));
    core->stop();
    EXPECT_FALSE(core->cellController.isConnected());
    core->cellController.unlock(2, 6);
    QTest::qWait(200); // ten poll periods
    EXPECT_FALSE(sim.isDoorOpen(2, 6));
    core->destroy();
}
