#pragma once

#include <memory>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStringList>
#include <QWidget>

#include "core/core.h"
#include "lock_simulator.h"
#include "storage/database_structs.h"
#include "support/test_support.h"

// A queued upload as read back from the database file.
struct QueuedChange
{
    QString path;
    QJsonDocument body;
    int cell = -1;

    int operation() const { return body.object().value(QStringLiteral("operation")).toInt(-1); }
    QString comment() const { return body.object().value(QStringLiteral("comment")).toString(); }
};

// Every change in server_changes, oldest first.
QVector<QueuedChange> queuedChanges();
QVector<int> queuedOperations();
// Whether a spy on StationCore::activeScreenRequest saw that screen.
bool screenSeen(const QSignalSpy& spy, int screen);

// Durations and flags of a test's configuration.
struct WorkflowOptions
{
    QString gotoStart = QStringLiteral("5 s");
    QString reopenCell = QStringLiteral("60 ms");
    QString maxTryOpenCell = QStringLiteral("300 ms");
    QString messageLifetime = QStringLiteral("30 ms");
    QString maxReturnDevice = QStringLiteral("5 s");
    QString openCellMinInterval = QStringLiteral("10 ms");
    bool blockOnOpenTimeout = false;
    bool blockOnCloseTimeout = false;
    // More [cells] entries.
    QString extraCells;
    // The bar-code scanner's serial device; none when empty.
    QString scannerDevice;
    // Whether the hub reads cards (through pcscd).
    bool cardReader = false;
    // [general] support_offscreen, and the body of an [audio] section.
    bool supportOffscreen = false;
    QString audio;
    // [general] point_id: the station's id at the back-end.
    int pointId = 0;
    // The boards answer no query until the test calls sim.dropAnswers(0);
    // start() then waits only for the link.
    bool silentBoards = false;
    // The lock controller listens on loopback TCP and refuses the link until
    // the test calls sim.setAccepting(true); start() waits only until the
    // station has found the link down, so no board has answered yet.
    bool linkDown = false;
};

// A started hub on a simulated lock controller (v1.7 over a pseudo-terminal)
// with three cells on board 0 (locks 0, 1, 2; back-end ids 101, 102, 103),
// a charged device 12 in cell 1, a device 20 held by anna, the users anna
// (card 89), the blocked bob (card 77), and a window for the messages. The
// test stands in for the window's return to the start page.
class WorkflowTest : public ::testing::Test
{
protected:
    using Options = WorkflowOptions;

    void TearDown() override;

    // Writes the configuration, starts the hub and waits until the controller
    // is connected and the first state of every door it can address is known.
    void start(const Options& options = Options());

    // "title: text" of every message shown so far, in order.
    QStringList messages;
    // Open commands received for a lock of board 0.
    int openFrames(int lock) const;
    qint64 lastOpenFrameUs(int lock) const;

    // Every write fails from now on (the file turns read-only for the
    // station's connection), and the station has noticed: a batch of its own
    // failed. allowWrites() lifts it and waits until the station writes again.
    void failWrites();
    void allowWrites();
    int openFramesOfAllLocks() const { return openFrames(0) + openFrames(1) + openFrames(2); }
    // Log lines of runs refused because the database cannot record.
    static int refusalsLogged();

    void putDevice(int cell, const DatabaseStructs::Device& d);
    DatabaseStructs::Device deviceRecord(int id) const;

    static DatabaseStructs::Device device12();
    static DatabaseStructs::Device device20();

    StationCore* core = StationCore::instance();
    LockSimulator sim{LockSimulator::Protocol::V1_7};
    QWidget window;
    std::unique_ptr<QSignalSpy> giveDone;
    std::unique_ptr<QSignalSpy> returnDone;
    std::unique_ptr<QSignalSpy> screens;
    bool started = false;
};
