#include <csignal>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <sys/types.h>

#include "core/core.h"
#include "fake_backend.h"
#include "jalt/vx_file.h"
#include "server/server.h"
#include "storage/database.h"
#include "ui/dialog.h"
#include "support/test_support.h"
#include "server/sync_fixture.h"

using TestSupport::logHas;
using TestSupport::logLines;

namespace {
const QString timeFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss");

QDateTime pathTime(const QString& path)
{
    return QDateTime::fromString(path.section(QLatin1Char('/'), -1), timeFormat);
}

int queuedRows(const char* table)
{
    return Database::instance()
        ->request(QStringLiteral("SELECT count(*) AS n FROM %1").arg(QLatin1String(table)))
        .value(QStringLiteral("n"))
        .toInt();
}

// Waits for the change queue to drain: the back-end then has each of these
// operations once, in this order.
void expectOperationsDelivered(const FakeBackend& backend, const QList<DatabaseStructs::ChangeServer>& sent)
{
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0, 5000);
    const QList<FakeBackend::Request> got = backend.requests(FakeBackend::pathOperation);
    ASSERT_EQ(got.size(), sent.size());
    for (int i = 0; i < sent.size(); ++i)
        EXPECT_EQ(got[i].body, sent[i].body) << "operation " << i;
}

int linesWith(const QString& text)
{
    return logLines().filter(text).size();
}

// The log records the back-end received whose text ends with text, with
// their categories.
QList<int> logRecordsReceived(const FakeBackend& backend, const QString& text)
{
    QList<int> categories;
    for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathState)) {
        for (const QJsonValue& value : r.json().object().value(QLatin1String("log")).toArray()) {
            const QJsonObject line = value.toObject();
            if (line.value(QLatin1String("msg")).toString().endsWith(text))
                categories.append(line.value(QLatin1String("cat")).toInt());
        }
    }
    return categories;
}
} // namespace

TEST_F(SyncTest, LogsInThenDownloadsInOrderWithTheToken)
{
    backend.setUsers(R"([{"id":4,"name":"Anna","login":"anna","personNumber":"89"}])");
    start();
    waitApplied();

    const QList<FakeBackend::Request> all = backend.requests(QStringLiteral("api/"));
    const QList<FakeBackend::Request> login = backend.requests(FakeBackend::pathToken);
    ASSERT_EQ(login.size(), 1);
    EXPECT_EQ(login[0].method, "POST");
    EXPECT_EQ(login[0].json().object().value("login").toString(), "station");
    EXPECT_EQ(login[0].json().object().value("password").toString(), "secret");
    EXPECT_FALSE(login[0].hasHeader("x-api-key"));

    ASSERT_GE(all.size(), 4);
    EXPECT_EQ(all[0].path, "api/KalmireSync/GetAllUsers/1970-01-01T00:00:00");
    EXPECT_EQ(all[1].path, "api/KalmireSync/GetDevices/1/1970-01-01T00:00:00");
    EXPECT_EQ(all[2].path, "api/KalmireSync/GetAllDeviceFaults");
    EXPECT_EQ(all[3].path, "api/KalmireSync/GetDevicePoint/1");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(all[i].method, "GET");
        EXPECT_EQ(all[i].header("x-api-key"), backend.lastToken().toUtf8()) << all[i].path.toStdString();
    }
    EXPECT_EQ(Database::instance()->userByID(4).login, "anna");

    // The next download asks from 5 s before the previous one was sent.
    const QDateTime firstSent = all[0].arrival;
    core->server.sync();
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathUsers) == 2, 5000);
    const QDateTime from = pathTime(backend.requests(FakeBackend::pathUsers)[1].path);
    EXPECT_LE(std::abs(from.secsTo(firstSent.addSecs(-5))), 1) << from.toString().toStdString();

    // Neither the password nor the token is in the log.
    ASSERT_TRUE(TestSupport::logWritten());
    for (const QString& line : logLines()) {
        EXPECT_FALSE(line.contains(QLatin1String("secret"))) << line.toStdString();
        EXPECT_FALSE(line.contains(backend.lastToken())) << line.toStdString();
    }
}

TEST_F(SyncTest, AppliesOnlyOnTheStartOrAdministrationScreen)
{
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    core = StationCore::instance();
    core->active_screen = Constants::asAdminLogin;
    start();
    ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
    QTest::qWait(600);
    EXPECT_TRUE(core->server.isSyncReady());
    EXPECT_FALSE(Database::instance()->userByID(4).isValid());
    // A ready download blocks the next one.
    const int users = backend.requestCount(FakeBackend::pathUsers);
    core->server.sync();
    QTest::qWait(200);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathUsers), users);

    // Nor while a message is up on an idle page.
    core->active_screen = Constants::asAdministration;
    core->dialog->show();
    QTest::qWait(600);
    EXPECT_TRUE(core->server.isSyncReady());
    EXPECT_FALSE(Database::instance()->userByID(4).isValid());

    core->dialog->hide();
    ASSERT_EVENTUALLY(Database::instance()->userByID(4).isValid(), 3000);
    EXPECT_FALSE(core->server.isSyncReady());
}

// The records are stored between event-loop turns; the cells, which a
// workflow relies on, are merged only on an idle screen.
TEST_F(SyncTest, CellsWaitForAnIdleScreenWhileRecordsAreStored)
{
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    backend.setCells(R"({"devicePointCells":[{"cellNumber":1,"id":11,"deviceId":9}]})");
    // Somebody starts a workflow before the records are read.
    startApplyingOn(Constants::asIdentifyUser);
    ASSERT_EVENTUALLY(Database::instance()->userByID(4).isValid(), 3000);
    QTest::qWait(400);
    EXPECT_TRUE(core->server.isApplying());
    EXPECT_EQ(core->cellsLogic.cells[1].deviceId, -1); // as configured: no device yet
    // No download starts while one is being applied.
    const int users = backend.requestCount(FakeBackend::pathUsers);
    core->server.sync();
    QTest::qWait(200);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathUsers), users);

    core->active_screen = Constants::asStart;
    ASSERT_EVENTUALLY(!core->server.isApplying(), 3000);
    EXPECT_EQ(core->cellsLogic.cells[1].deviceId, 9);
}

// A clear while the records are read, or while the stored records wait for an
// idle screen to merge the cells: nothing more of that download arrives.
class SyncClearDuringApply : public SyncTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(SyncClearDuringApply, DropsTheRest)
{
    const bool recordsStored = GetParam();
    QJsonArray users;
    for (int id = 1; id <= 3000; ++id)
        users.append(QJsonObject{{"id", id}, {"login", QStringLiteral("login%1").arg(id)}});
    backend.setUsers(QJsonDocument(users).toJson(QJsonDocument::Compact));
    backend.setCells(R"({"devicePointCells":[{"cellNumber":1,"id":11,"deviceId":9}]})");
    startApplyingOn(Constants::asAdminLogin);
    if (recordsStored) {
        ASSERT_EVENTUALLY(Database::instance()->usersCount() == 3000, 5000);
        ASSERT_TRUE(core->server.isApplying());
    }
    Database::instance()->clear();
    EXPECT_FALSE(core->server.isApplying());
    core->active_screen = Constants::asStart;
    QTest::qWait(600);
    EXPECT_EQ(Database::instance()->usersCount(), 0);
    EXPECT_EQ(Database::instance()->updateTime(1), DatabaseStructs::zeroTime());
    EXPECT_EQ(core->cellsLogic.cells[1].deviceId, -1);
}

INSTANTIATE_TEST_SUITE_P(Table, SyncClearDuringApply, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "WhileTheCellsWait" : "WhileTheRecordsAreRead");
});

// Dates of the replies are read in exactly one form; Qt's own parser of that
// form is the oracle.
TEST_F(SyncTest, ReplyDatesAreReadInTheirOneForm)
{
    const QStringList texts = {
        QStringLiteral("01.03.2026 10:00:00"), QStringLiteral("29.02.2024 23:59:59"),
        QStringLiteral("31.12.1999 00:00:00"), QStringLiteral("31.02.2026 10:00:00"),
        QStringLiteral("29.02.2025 10:00:00"), QStringLiteral("1.03.2026 10:00:00"),
        QStringLiteral("01.03.2026 24:00:00"), QStringLiteral("01.03.2026 10:00:60"),
        QStringLiteral("01.03.2026 10:00:00 "), QStringLiteral("01/03/2026 10:00:00"),
        QStringLiteral("2026-03-01T10:00:00"), QStringLiteral("01.03.2026"),
        QStringLiteral("\uff10\uff11.03.2026 10:00:00"), QString(),
    };
    QJsonArray users;
    for (int i = 0; i < texts.size(); ++i)
        users.append(QJsonObject{{"id", i + 1}, {"updateDate", texts[i]}});
    backend.setUsers(QJsonDocument(users).toJson(QJsonDocument::Compact));
    start();
    waitApplied();
    for (int i = 0; i < texts.size(); ++i) {
        const QDateTime expected = QDateTime::fromString(texts[i], QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        const QDateTime read = Database::instance()->userByID(i + 1).updateDate;
        EXPECT_EQ(read.isValid(), expected.isValid()) << texts[i].toStdString();
        if (expected.isValid()) {
            EXPECT_EQ(read, expected) << texts[i].toStdString();
        }
    }
}

TEST_F(SyncTest, MalformedUsersLeaveTheUpdateTime)
{
    FakeBackend::Behaviour broken;
    broken.malformed = true;
    backend.setBehaviour(FakeBackend::pathUsers, broken);
    start();
    waitApplied();
    EXPECT_EQ(Database::instance()->updateTime(1), DatabaseStructs::zeroTime());
    EXPECT_NE(Database::instance()->updateTime(2), DatabaseStructs::zeroTime());
}

TEST_F(SyncTest, ClearDuringADownloadDropsTheOldChain)
{
    startThenSlow(FakeBackend::pathUsers, 400);
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    backend.clearRequests();
    core->server.sync();
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathUsers) == 1, 3000);
    Database::instance()->clear();
    QTest::qWait(800);
    // The late users reply neither goes on with the chain nor is applied.
    EXPECT_EQ(backend.requestCount(FakeBackend::pathDevices), 0);
    EXPECT_FALSE(core->server.isSyncing());
    EXPECT_FALSE(core->server.isSyncReady());
    EXPECT_FALSE(Database::instance()->userByID(4).isValid());
    EXPECT_EQ(Database::instance()->updateTime(1), DatabaseStructs::zeroTime());
}

// A back-end whose packets are dropped (a firewall, a wrong address) costs
// one time-out per chain, not four: the steps after the first fail at once.
TEST_F(SyncTest, DownloadChainEndsAtAConnectionAttemptWithoutAnswer)
{
    start();
    waitApplied();
    TestSupport::UnansweredPort silent;
    ASSERT_NE(silent.port, 0);
    core->server.setTransferTimeout(VXSystemTime::fromMSec(300));
    core->server.setBaseURL(QStringLiteral("http://127.0.0.1:%1/").arg(silent.port));
    const auto sent = [](const QString& path) {
        return linesWith(QStringLiteral("[ServerBase] sendGet: path: \"%1").arg(path));
    };
    ASSERT_TRUE(TestSupport::logWritten());
    const int users = sent(FakeBackend::pathUsers);
    const int others = sent(QStringLiteral("api/KalmireSync/GetD")) + sent(FakeBackend::pathFaults);
    core->server.sync();
    ASSERT_TRUE(core->server.isSyncing());
    ASSERT_EVENTUALLY(!core->server.isSyncing(), 5000);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_EQ(sent(FakeBackend::pathUsers), users + 1);
    EXPECT_EQ(sent(QStringLiteral("api/KalmireSync/GetD")) + sent(FakeBackend::pathFaults), others);
    EXPECT_FALSE(core->server.isSyncReady());
}

TEST_F(SyncTest, AllFailedSyncWaitsBeforeTheNextChain)
{
    FakeBackend::Behaviour down;
    down.status = 500;
    backend.setBehaviour(QStringLiteral("api/"), down);
    start();
    core->server.setRetryDelays(VXSystemTime::fromMSec(400), VXSystemTime::fromMSec(400));
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathCells) >= 1, 5000);
    backend.clearRequests();
    QTest::qWait(1000);
    // Back to back every 200 ms tick would be five or more chains.
    EXPECT_LE(backend.requestCount(FakeBackend::pathUsers), 3);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(logHas(QStringLiteral("[Server] Sync done")));
}

struct MergeCase
{
    const char* name;
    CellsLogic::CellState state;
    bool ambiguous;
    int changedSecsAgo;
    const char* cells; // the devicePointCells array
    int deviceOfCell1; // expected
    bool lockedCell1;  // expected
    bool ignoredLine;
};
class SyncMerge : public SyncTest, public ::testing::WithParamInterface<MergeCase>
{
};

TEST_P(SyncMerge, MergesTheCells)
{
    const MergeCase& c = GetParam();
    backend.setCells(QStringLiteral(R"({"devicePointCells":%1})").arg(QLatin1String(c.cells)).toUtf8());
    core = StationCore::instance();
    core->active_screen = Constants::asAdminLogin; // hold the apply back
    start();
    CellsLogic::Cell& cell = core->cellsLogic.cells[1];
    cell.deviceId = 7;
    cell.state = c.state;
    cell.ambiguous = c.ambiguous;
    cell.lastChange = VXDateTime::current().addSecs(-c.changedSecsAgo);
    ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
    core->active_screen = Constants::asStart;
    waitApplied();
    EXPECT_EQ(cell.deviceId, c.deviceOfCell1);
    EXPECT_EQ(cell.isLocked, c.lockedCell1);
    // The seconds since the change, with one decimal (the download itself
    // takes a moment).
    const QRegularExpression ignored(
        QStringLiteral("\\[Server\\] Info: Ignore device replacement in cell 1, timeout = (\\d+\\.\\d) s$"));
    bool logged = false;
    ASSERT_TRUE(TestSupport::logWritten());
    for (const QString& line : logLines()) {
        const QRegularExpressionMatch match = ignored.match(line);
        if (match.hasMatch()) {
            logged = true;
            EXPECT_GE(match.captured(1).toDouble(), c.changedSecsAgo) << line.toStdString();
        }
    }
    EXPECT_EQ(logged, c.ignoredLine);
    EXPECT_EQ(core->cellsLogic.cells.size(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    SyncMerge,
    ::testing::Values(MergeCase{"ActualTakesTheDevice", CellsLogic::csActual, false, 100,
                                R"([{"cellNumber":1,"id":11,"deviceId":9,"isLocked":true}])", 9, true, false},
                      MergeCase{"ChangingKeepsItsDevice", CellsLogic::csChanging, false, 100,
                                R"([{"cellNumber":1,"id":11,"deviceId":9,"isLocked":true}])", 7, true, true},
                      MergeCase{"ChangedKeepsItsDevice", CellsLogic::csChanged, false, 100,
                                R"([{"cellNumber":1,"id":11,"deviceId":9,"isLocked":true}])", 7, true, true},
                      MergeCase{"AmbiguousWithinTheGrace", CellsLogic::csActual, true, 10,
                                R"([{"cellNumber":1,"id":11,"deviceId":9}])", 7, false, true},
                      MergeCase{"AmbiguousAfterTheGrace", CellsLogic::csActual, true, 31,
                                R"([{"cellNumber":1,"id":11,"deviceId":9}])", 9, false, false},
                      MergeCase{"UnknownCellNumber", CellsLogic::csActual, false, 100,
                                R"([{"cellNumber":99,"id":11,"deviceId":9}])", 7, false, false},
                      MergeCase{
                          "ListedTwiceLastWins", CellsLogic::csActual, false, 100,
                          R"([{"cellNumber":1,"deviceId":9},{"cellNumber":1,"deviceId":8,"isLocked":true}])",
                          8, true, false},
                      MergeCase{"WrongTypesGiveDefaults", CellsLogic::csActual, false, 100,
                                R"([{"cellNumber":1,"deviceId":"9","isLocked":"yes"}])", 0, false, false},
                      MergeCase{"FractionGivesZero", CellsLogic::csActual, false, 100,
                                R"([{"cellNumber":1,"deviceId":9.5}])", 0, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SyncTest, UnknownCellIsLoggedOnly)
{
    backend.setCells(R"({"devicePointCells":[{"cellNumber":99,"deviceId":9}]})");
    start();
    waitApplied();
    EXPECT_TRUE(logHas(QStringLiteral("[Server] Warning: no cell with number 99 in config!")));
}

TEST_F(SyncTest, QueuedLockIsNotRevertedByASync)
{
    backend.setCells(R"({"devicePointCells":[{"cellNumber":2,"id":12,"isLocked":false}]})");
    FakeBackend::Behaviour refuse;
    refuse.status = 500;
    backend.setBehaviour(FakeBackend::pathCellsLock, refuse);
    core = StationCore::instance();
    core->active_screen = Constants::asAdminLogin;
    start();
    CellsLogic::Cell& cell = core->cellsLogic.cells[2];
    cell.devicePointCellId = 12;
    core->setCellBlocked(cell, true, QStringLiteral("broken door"));
    ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
    core->active_screen = Constants::asStart;
    waitApplied();
    EXPECT_TRUE(cell.isLocked);
}

TEST_F(SyncTest, OperationsQueuedWhileDownAreDeliveredInOrder)
{
    start();
    waitApplied();
    const quint16 port = backend.port();
    backend.stop();
    CellsLogic::Cell& cell = core->cellsLogic.cells[1];
    QList<DatabaseStructs::ChangeServer> sent;
    for (int op : {1, 0, 1}) {
        sent.append(
            Server::makeOperation(Constants::DeviceOperation(op), 9, 4, cell, QStringLiteral("é \"x\"")));
        Database::instance()->queueChange(sent.last());
    }
    EXPECT_EQ(cell.state, CellsLogic::csChanging);
    ASSERT_EVENTUALLY(Database::instance()->changesCount.load() == 3, 3000);
    QTest::qWait(300);
    ASSERT_TRUE(backend.start(port));

    ASSERT_EVENTUALLY(operations().size() >= 3 && Database::instance()->changesCount.load() == 0, 10000);
    const QList<FakeBackend::Request> got = operations();
    ASSERT_EQ(got.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(got[i].body, sent[i].body);
    // Only the acceptance of the last change of the cell marks it changed.
    EXPECT_EQ(cell.state, CellsLogic::csChanged);
}

TEST_F(SyncTest, CellStaysChangingWhileAChangeOfItIsQueued)
{
    startThenSlow(FakeBackend::pathOperation, 300, 1);
    CellsLogic::Cell& cell = core->cellsLogic.cells[1];
    Database::instance()->queueChange(Server::makeOperation(Constants::doIssued, 9, 4, cell, QString()));
    Database::instance()->queueChange(Server::makeOperation(Constants::doReturned, 9, 4, cell, QString()));
    ASSERT_EVENTUALLY(operations().size() == 1, 3000);
    ASSERT_EVENTUALLY(operations().size() == 2, 3000);
    // The first is accepted, the second in flight or waiting: still changing.
    EXPECT_EQ(cell.state, CellsLogic::csChanging);
    ASSERT_EVENTUALLY(cell.state == CellsLogic::csChanged, 3000);
}

// The thread counts the changes of the file when it opens it, after start()
// has returned: changes queued meanwhile are counted once, so their cell
// stays changing and their lock waits until their own rows are delivered.
TEST_F(SyncTest, ChangesQueuedWhileTheFileOpensAreCountedOnce)
{
    start();
    waitApplied();
    const quint16 port = backend.port();
    backend.stop();
    Database* db = Database::instance();
    CellsLogic::Cell& cell = core->cellsLogic.cells[2];
    db->queueChange(Server::makeOperation(Constants::doIssued, 9, 4, cell, QStringLiteral("stored")));
    db->queueChange(Server::makeCellLockStatus(102, true, QStringLiteral("stored")));
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 2, 3000);
    db->stop();

    // Holding the record lock keeps the new thread from counting until both
    // new changes are queued.
    db->lock();
    ASSERT_TRUE(db->start());
    db->queueChange(Server::makeOperation(Constants::doReturned, 9, 4, cell, QStringLiteral("queued")));
    db->queueChange(Server::makeCellLockStatus(103, true, QStringLiteral("queued")));
    db->unlock();
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 4, 3000);
    EXPECT_EQ(db->queuedChangesTotal(), 4);
    EXPECT_EQ(db->queuedChangesFor(2), 2);
    EXPECT_TRUE(db->hasQueuedLock(102));
    EXPECT_TRUE(db->hasQueuedLock(103));

    FakeBackend::Behaviour slow;
    slow.delayMs = 200;
    backend.setBehaviour(FakeBackend::pathOperation, slow);
    ASSERT_TRUE(backend.start(port));
    // The first operation is accepted; the second of the cell still waits.
    ASSERT_EVENTUALLY(operations().size() == 2, 10000);
    EXPECT_EQ(cell.state, CellsLogic::csChanging);
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0, 10000);
    EXPECT_EQ(cell.state, CellsLogic::csChanged);
    EXPECT_EQ(db->queuedChangesTotal(), 0);
    EXPECT_EQ(db->queuedChangesFor(2), 0);
    EXPECT_FALSE(db->hasQueuedLock(102));
    EXPECT_FALSE(db->hasQueuedLock(103));
}

// A 401 on a download ends the session while a change is in flight, and the
// next log-in is refused: the accepted change's row goes all the same (a
// crash would send it again), and the next change waits for the log-in.
TEST_F(SyncTest, AcceptedChangeIsDeletedWhileLoggedOutAndTheNextWaits)
{
    backend.setTokenRequired(true);
    start();
    waitApplied();
    core->server.setLoginRetryDelays(VXSystemTime::fromSec(30), VXSystemTime::fromSec(30));
    FakeBackend::Behaviour slow;
    slow.delayMs = 400;
    slow.times = 1;
    backend.setBehaviour(FakeBackend::pathOperation, slow);
    Database* db = Database::instance();
    const DatabaseStructs::ChangeServer first =
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QStringLiteral("first"));
    const DatabaseStructs::ChangeServer second =
        Server::makeOperation(Constants::doReturned, 9, 4, core->cellsLogic.cells[1], QStringLiteral("second"));
    db->queueChange(first);
    db->queueChange(second);
    ASSERT_EVENTUALLY(operations().size() == 1, 3000);

    backend.revokeTokens();
    FakeBackend::Behaviour refuse;
    refuse.status = 500;
    backend.setBehaviour(FakeBackend::pathToken, refuse);
    core->server.sync();
    ASSERT_EVENTUALLY(core->server.authStatus() != Server::authLoggedIn, 3000);
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 1, 3000);
    EXPECT_NE(core->server.authStatus(), Server::authLoggedIn);
    QTest::qWait(300); // thirty steps of the database thread
    EXPECT_EQ(operations().size(), 1);

    backend.clearBehaviour(FakeBackend::pathToken);
    core->server.authorize();
    expectOperationsDelivered(backend, {first, second});
}

// A change queued while a download runs leaves only after the chain's last
// reply was handled.
TEST_F(SyncTest, ChangeWaitsForTheDownloadUnderWay)
{
    startThenSlow(FakeBackend::pathUsers, 300, 1);
    core->server.sync();
    ASSERT_TRUE(core->server.isSyncing());
    Database::instance()->queueChange(
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QString()));
    ASSERT_EVENTUALLY(operations().size() == 1, 5000);
    const QList<FakeBackend::Request> cells = backend.requests(FakeBackend::pathCells);
    ASSERT_EQ(cells.size(), 2);
    EXPECT_GE(operations()[0].arrivalMs, cells.last().arrivalMs);
}

// A change without a path (the form of a row whose data cannot be read) is
// delivered at once with a warning: nothing is posted, its row goes and the
// next change follows.
TEST_F(SyncTest, ChangeWithAnEmptyPathCountsAsDelivered)
{
    start();
    waitApplied();
    Database* db = Database::instance();
    DatabaseStructs::ChangeServer empty;
    empty.body = QByteArray(R"({"x":1})");
    const DatabaseStructs::ChangeServer task = Server::makeTask(9, 4, 2, QStringLiteral("after it"));
    db->queueChange(empty);
    db->queueChange(task);
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0
                          && backend.requestCount(FakeBackend::pathTask) == 1,
                      5000);
    EXPECT_EQ(linesWith(QStringLiteral(R"([Server] Change with empty path, maybe bug? (body = "{"x":1}"))")),
              1);
    EXPECT_EQ(backend.requests(FakeBackend::pathTask).first().body, task.body);
    int posted = 0;
    for (const FakeBackend::Request& r : backend.requests())
        posted += r.method == "POST" && r.path != FakeBackend::pathToken
                  && !r.path.startsWith(FakeBackend::pathLog);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(db->queuedChangesTotal(), 0);
}

TEST_F(SyncTest, UnauthorisedChangeLogsInAgainAndResendsTheSameBody)
{
    backend.setTokenRequired(true);
    start();
    waitApplied();
    backend.revokeTokens();
    const DatabaseStructs::ChangeServer change =
        Server::makeTask(9, 4, 2, QStringLiteral("screen\r\n\"cracked\""));
    Database::instance()->queueChange(change);
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathTask) >= 2
                          && Database::instance()->changesCount.load() == 0,
                      10000);
    const QList<FakeBackend::Request> tasks = backend.requests(FakeBackend::pathTask);
    EXPECT_EQ(tasks.size(), 2);
    EXPECT_EQ(tasks[0].body, change.body);
    EXPECT_EQ(tasks.last().body, change.body);
    EXPECT_EQ(tasks.last().header("x-api-key"), backend.lastToken().toUtf8());
    EXPECT_EQ(backend.requestCount(FakeBackend::pathToken), 2);
    EXPECT_EQ(tasks.last().json().object().value("description").toString(), "screen\r\n\"cracked\"");
}

struct TokenReplyCase
{
    const char* name;
    const char* body;
};
class SyncLoginWithoutToken : public SyncTest, public ::testing::WithParamInterface<TokenReplyCase>
{
};

// A log-in reply without a usable token is a failed log-in, tried again;
// each try is noted in the log file, but only the first goes to the log
// server as an error.
TEST_P(SyncLoginWithoutToken, IsAFailureReportedOnce)
{
    FakeBackend::Behaviour reply;
    reply.body = QByteArray(GetParam().body);
    backend.setBehaviour(FakeBackend::pathToken, reply);
    // Before the start: its first log-in may fail while it starts.
    StationCore::instance()->server.setLoginRetryDelays(VXSystemTime::fromMSec(50),
                                                        VXSystemTime::fromMSec(100));
    start();
    const QString line = QStringLiteral("[Server] Error: log-in reply without a usable token");
    ASSERT_EVENTUALLY(linesWith(line) >= 3, 6000);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathUsers), 0);
    EXPECT_NE(core->server.authStatus(), Server::authLoggedIn);
    EXPECT_FALSE(core->server.isAuthorized());
    ASSERT_EVENTUALLY(!logRecordsReceived(backend, line).isEmpty()
                          && queuedRows(DatabaseStructs::table_server_logs) == 0,
                      5000);
    EXPECT_EQ(logRecordsReceived(backend, line), QList<int>{StationCore::lcError});
}

INSTANTIATE_TEST_SUITE_P(Table,
                         SyncLoginWithoutToken,
                         ::testing::Values(TokenReplyCase{"Empty", R"({"access_token":""})"},
                                           TokenReplyCase{"Missing", R"({"token_type":"bearer"})"},
                                           TokenReplyCase{"NotText", R"({"access_token":42})"},
                                           TokenReplyCase{"ControlCharacter",
                                                          R"({"access_token":"abc\r\nX-Other: 1"})"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Failed log-ins are tried again after 100, 200, 400, 800, 800 ms here (2 s
// doubling up to 60 s in the station); a success starts over.
TEST_F(SyncTest, LoginRetriesBackOffAndStartOverAfterASuccess)
{
    FakeBackend::Behaviour refuse;
    refuse.status = 500;
    backend.setBehaviour(FakeBackend::pathToken, refuse);
    // Before the start: its first log-in may fail while it starts.
    StationCore::instance()->server.setLoginRetryDelays(VXSystemTime::fromMSec(100),
                                                        VXSystemTime::fromMSec(800));
    start();
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathToken) >= 6, 10000);
    QList<FakeBackend::Request> tries = backend.requests(FakeBackend::pathToken);
    // Each try comes after the pause that followed the refusal of the last
    // one; timers may fire a few per cent early.
    const qint64 pauses[] = {100, 200, 400, 800, 800};
    for (int i = 0; i < 5; ++i)
        EXPECT_GE(tries[i + 1].arrivalMs - tries[i].arrivalMs, pauses[i] * 9 / 10) << "try " << i + 2;
    // The pause stops growing at its maximum.
    EXPECT_LT(tries[5].arrivalMs - tries[4].arrivalMs, 1600 * 9 / 10);

    backend.clearBehaviours();
    ASSERT_EVENTUALLY(core->server.authStatus() == Server::authLoggedIn, 3000);
    backend.setBehaviour(FakeBackend::pathToken, refuse);
    const int before = backend.requestCount(FakeBackend::pathToken);
    core->server.authorize();
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathToken) >= before + 2, 3000);
    tries = backend.requests(FakeBackend::pathToken);
    EXPECT_LT(tries[before + 1].arrivalMs - tries[before].arrivalMs, 500);
}

TEST_F(SyncTest, FailingLogRootDoesNotGrowTheQueue)
{
    FakeBackend::Behaviour down;
    down.status = 503;
    backend.setBehaviour(FakeBackend::pathLog, down);
    start();
    waitApplied();
    core->log(QStringLiteral("[Test] something went wrong"), StationCore::lcWarning);
    auto logPosts = [this] {
        int count = 0;
        for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathState))
            count += r.json().object().contains(QLatin1String("log")) ? 1 : 0;
        return count;
    };
    ASSERT_EVENTUALLY(logPosts() >= 4, 5000);
    QTest::qWait(600);
    // This warning and the start-up error about the missing lock controller.
    EXPECT_EQ(Database::instance()->logsCount.load(), 2);

    backend.clearBehaviours();
    ASSERT_EVENTUALLY(Database::instance()->logsCount.load() == 0, 5000);
    const QJsonObject body = backend.requests(FakeBackend::pathState).last().json().object();
    EXPECT_EQ(body.value("id").toInt(), 1);
    const QJsonObject line = body.value("log").toArray().first().toObject();
    EXPECT_EQ(line.value("cat").toInt(), 1);
    // The date and time of the line, to the millisecond of the local line.
    const QString msg = line.value("msg").toString();
    const QRegularExpression stamped(QStringLiteral(
        "^\\d\\d\\.\\d\\d\\.\\d{4} (\\d\\d:\\d\\d:\\d\\d\\.\\d{3} - \\[Test\\] something went wrong)$"));
    const QRegularExpressionMatch match = stamped.match(msg);
    ASSERT_TRUE(match.hasMatch()) << msg.toStdString();
    EXPECT_TRUE(logLines().contains(match.captured(1))) << msg.toStdString();
    const QDateTime at = QDateTime::fromString(msg.left(23), QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz"));
    EXPECT_LE(std::abs(at.secsTo(QDateTime::currentDateTime())), 60) << msg.toStdString();
}

TEST_F(SyncTest, HangingServerDoesNotStallTheQueue)
{
    start();
    waitApplied();
    core->server.setTransferTimeout(VXSystemTime::fromMSec(300));
    FakeBackend::Behaviour hang;
    hang.hang = true;
    hang.times = 1;
    backend.setBehaviour(FakeBackend::pathOperation, hang);
    Database::instance()->queueChange(
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QString()));
    ASSERT_EVENTUALLY(operations().size() == 2 && Database::instance()->changesCount.load() == 0, 5000);
    EXPECT_EQ(operations()[0].body, operations()[1].body);
}

// The row of an accepted change cannot be deleted (a full disk, a file
// gone read-only): the change is not taken again as the next one to send,
// the queue waits with one error line, and goes on once the delete works.
TEST_F(SyncTest, AcceptedChangeWhoseRowStaysIsNotSentAgain)
{
    start();
    waitApplied();
    Database* db = Database::instance();
    db->request(QStringLiteral("CREATE TRIGGER keep_changes BEFORE DELETE ON server_changes "
                               "BEGIN SELECT RAISE(ABORT, 'kept'); END"));
    const DatabaseStructs::ChangeServer first =
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QStringLiteral("first"));
    const DatabaseStructs::ChangeServer second =
        Server::makeOperation(Constants::doReturned, 9, 4, core->cellsLogic.cells[1], QStringLiteral("second"));
    db->queueChange(first);
    db->queueChange(second);
    ASSERT_EVENTUALLY(operations().size() == 1, 5000);
    QTest::qWait(300); // thirty steps of the database thread
    EXPECT_EQ(operations().size(), 1);
    EXPECT_EQ(queuedRows(DatabaseStructs::table_server_changes), 2);
    ASSERT_TRUE(TestSupport::logWritten());
    const QRegularExpression failed(QStringLiteral("^[0-9:.]+ - \\[Database\\] Error: can`t delete the delivered record"));
    EXPECT_EQ(logLines().filter(failed).size(), 1);

    db->request(QStringLiteral("DROP TRIGGER keep_changes"));
    // The delete is tried again about once a second.
    expectOperationsDelivered(backend, {first, second});
}

// A clear keeps the upload queues, and with them the records being sent: a
// change and a log record that keep failing go on being sent after it.
TEST_F(SyncTest, ClearWhileUploadsFailKeepsSendingThem)
{
    start();
    waitApplied();
    const quint16 port = backend.port();
    backend.stop();
    Database* db = Database::instance();
    const DatabaseStructs::ChangeServer change =
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QString());
    db->queueChange(change);
    core->log(QStringLiteral("[Test] logged before the clear"), StationCore::lcWarning);
    const QString sendChange = QStringLiteral("[Server] Send change");
    const QString sendLog = QStringLiteral("[Server] Send log");
    // Each sent and refused at least once: both are in flight or wait to be
    // sent again.
    ASSERT_EVENTUALLY(linesWith(sendChange) >= 2 && linesWith(sendLog) >= 2, 5000);

    db->clear();
    const int changesBefore = linesWith(sendChange);
    const int logsBefore = linesWith(sendLog);
    ASSERT_EVENTUALLY(linesWith(sendChange) > changesBefore && linesWith(sendLog) > logsBefore, 3000);

    ASSERT_TRUE(backend.start(port));
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0
                          && queuedRows(DatabaseStructs::table_server_logs) == 0,
                      10000);
    ASSERT_EQ(operations().size(), 1);
    EXPECT_EQ(operations()[0].body, change.body);
    EXPECT_EQ(logRecordsReceived(backend, QStringLiteral(" - [Test] logged before the clear")).size(), 1);
}

// The answer to a change comes while the database is cleared: its row is
// still deleted, so the change is not sent a second time.
TEST_F(SyncTest, ChangeAcceptedAcrossAClearIsSentOnce)
{
    startThenSlow(FakeBackend::pathOperation, 300);
    Database::instance()->queueChange(
        Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QString()));
    ASSERT_EVENTUALLY(operations().size() == 1, 3000);
    Database::instance()->clear();
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0, 5000);
    // A second send would follow within a step of the database thread.
    QTest::qWait(300);
    EXPECT_EQ(operations().size(), 1);
}

// Only a file that cannot be read is replaced by a clear. The record being
// sent went with it, and its row id now names another record: the first
// change queued after the clear.
TEST_F(SyncTest, ClearThatReplacesTheFileForgetsTheRecordInFlight)
{
    start();
    waitApplied();
    core->server.setRetryDelays(VXSystemTime::fromSec(1), VXSystemTime::fromSec(1));
    const quint16 port = backend.port();
    backend.stop();
    Database* db = Database::instance();
    db->queueChange(Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1],
                                          QStringLiteral("lost with the file")));
    ASSERT_EVENTUALLY(linesWith(QStringLiteral("[Server] Send change")) >= 1, 5000);
    // The closed port refuses at once; the next try is a second away, and
    // nothing is sent while the database is stopped and cleared.
    QTest::qWait(300);
    db->stop();
    QFile file(db->databaseFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(QByteArray(4096, 'x')), 4096);
    file.close();
    db->clear();
    ASSERT_TRUE(db->isOpen());

    const DatabaseStructs::ChangeServer next = Server::makeOperation(
        Constants::doReturned, 9, 4, core->cellsLogic.cells[1], QStringLiteral("queued after the clear"));
    db->queueChange(next);
    ASSERT_TRUE(backend.start(port));
    ASSERT_EVENTUALLY(operations().size() >= 1 && queuedRows(DatabaseStructs::table_server_changes) == 0,
                      10000);
    QTest::qWait(300);
    ASSERT_EQ(operations().size(), 1);
    EXPECT_EQ(operations()[0].body, next.body);
}

// A long outage of the log server: the queue of log records keeps the
// newest and drops the oldest, saying how many; the changes all stay.
TEST_F(SyncTest, FullLogQueueDropsTheOldestLogRecordsOnly)
{
    start();
    waitApplied();
    FakeBackend::Behaviour down;
    down.status = 503;
    backend.setBehaviour(FakeBackend::pathLog, down);
    backend.setBehaviour(FakeBackend::pathOperation, down);
    Database* db = Database::instance();
    for (int i = 0; i < 3; ++i)
        db->queueChange(
            Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1], QString()));
    const int records = 10050;
    for (int i = 1; i <= records; ++i)
        db->queueLog(Server::makeLog(StationCore::lcWarning, QStringLiteral("[Test] record %1").arg(i)));

    const QRegularExpression dropped(QStringLiteral(
        "\\[Database\\] Warning: the queue for the log server is full, (\\d+) oldest records dropped$"));
    auto warnings = [&dropped] {
        QList<int> counts;
        for (const QString& line : logLines()) {
            const QRegularExpressionMatch match = dropped.match(line);
            if (match.hasMatch())
                counts.append(match.captured(1).toInt());
        }
        return counts;
    };
    ASSERT_EVENTUALLY(warnings().size() == 1 && db->logsCount.load() <= 10000, 10000);
    const int left = queuedRows(DatabaseStructs::table_server_logs);
    EXPECT_LE(left, 10000);
    // The drop goes well below the limit: one warning, not one per record.
    EXPECT_GE(warnings()[0], 1000);
    auto kept = [](int record) {
        return Database::instance()
            ->request(QStringLiteral("SELECT count(*) AS n FROM server_logs WHERE instr(data, :text) > 0"),
                      {{QStringLiteral("text"), QStringLiteral("\"[Test] record %1\"").arg(record).toUtf8()}})
            .value(QStringLiteral("n"))
            .toInt();
    };
    for (int record : {2, 100, 500})
        EXPECT_EQ(kept(record), 0) << record;
    for (int record : {records - 8000, records - 1, records})
        EXPECT_EQ(kept(record), 1) << record;
    EXPECT_EQ(queuedRows(DatabaseStructs::table_server_changes), 3);
    QTest::qWait(1000);
    EXPECT_EQ(warnings().size(), 1);
}

// A change the back-end refuses for good holds back every change behind it.
// It stays first and is sent again; the error says so once, and again when
// the number waiting behind it changes.
TEST_F(SyncTest, RefusedChangeIsReportedOnceAndKeepsItsPlace)
{
    start();
    waitApplied();
    FakeBackend::Behaviour refuse;
    refuse.status = 422;
    backend.setBehaviour(FakeBackend::pathOperation, refuse);
    Database* db = Database::instance();
    QList<QByteArray> bodies;
    for (int op : {1, 0, 1}) {
        const DatabaseStructs::ChangeServer change =
            Server::makeOperation(Constants::DeviceOperation(op), 9, 4, core->cellsLogic.cells[1],
                                  QStringLiteral("op %1").arg(bodies.size()));
        bodies.append(change.body);
        db->queueChange(change);
    }
    const QString refused = QStringLiteral(
        "[Server] Error: change \"api/KalmireSync/CreateOperation\" refused with status 422, ");
    ASSERT_EVENTUALLY(operations().size() >= 4, 5000);
    for (const FakeBackend::Request& r : operations())
        EXPECT_EQ(r.body, bodies[0]);
    ASSERT_EVENTUALLY(
        !logRecordsReceived(backend, refused + QStringLiteral("2 records wait behind it")).isEmpty(), 5000);
    EXPECT_EQ(logRecordsReceived(backend, refused + QStringLiteral("2 records wait behind it")),
              QList<int>{StationCore::lcError});
    EXPECT_EQ(linesWith(refused), 1);

    const DatabaseStructs::ChangeServer fourth =
        Server::makeOperation(Constants::doReturned, 9, 4, core->cellsLogic.cells[1], QStringLiteral("op 3"));
    bodies.append(fourth.body);
    db->queueChange(fourth);
    ASSERT_EVENTUALLY(linesWith(refused + QStringLiteral("3 records wait behind it")) == 1, 5000);
    const int sent = operations().size();
    ASSERT_EVENTUALLY(operations().size() >= sent + 3, 5000);
    EXPECT_EQ(linesWith(refused), 2);

    backend.clearBehaviours();
    ASSERT_EVENTUALLY(queuedRows(DatabaseStructs::table_server_changes) == 0, 5000);
    QList<FakeBackend::Request> got = operations();
    while (got.size() > 1 && got[1].body == bodies[0])
        got.removeFirst();
    ASSERT_EQ(got.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(got[i].body, bodies[i]);
    EXPECT_EQ(linesWith(refused), 2);
}

TEST_F(SyncTest, StateReportAtStartAndEveryInterval)
{
    start(QStringLiteral("300 ms"));
    ASSERT_EVENTUALLY(stateReports().size() >= 1, 3000);
    const QJsonObject body = stateReports().first();
    const QJsonObject expected{{"id", 1},
                               {"name", "Hall B"},
                               {"version", "1.4.3-117"},
                               {"cells_all", 3},
                               {"cells_free", 3},
                               {"cells_locked", 0},
                               {"devices_all", 0},
                               {"devices_available", 0},
                               {"devices_charging", 0},
                               {"devices_problem", 0}};
    EXPECT_EQ(body, expected);
    ASSERT_EVENTUALLY(stateReports().size() >= 4, 3000);
}

// A new release changes the version in one place: the report names the
// release and build of the log's first line.
TEST_F(SyncTest, StateReportNamesTheVersionOfTheLog)
{
    start();
    ASSERT_EVENTUALLY(!stateReports().isEmpty(), 3000);
    const QRegularExpression versionLine(QStringLiteral(" - Version (\\S+) \\((\\d+)\\) at "));
    QRegularExpressionMatch match;
    ASSERT_EVENTUALLY((match = versionLine.match(logLines().join('\n'))).hasMatch(), 2000);
    EXPECT_EQ(stateReports().first().value("version").toString(),
              match.captured(1) + '-' + match.captured(2));
}

class SyncKeepAliveOff : public SyncTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(SyncKeepAliveOff, TurnsTheReportOffWithAWarning)
{
    start(QString::fromLatin1(GetParam()));
    waitApplied();
    // A report would be posted during start-up, long before the download.
    QTest::qWait(400);
    EXPECT_EQ(stateReports().size(), 0);
    bool warned = false;
    for (const QString& line : logLines())
        warned = warned || line.contains(QLatin1String("keep_alive_interval"));
    EXPECT_TRUE(warned);
}

INSTANTIATE_TEST_SUITE_P(Table, SyncKeepAliveOff, ::testing::Values("0 s"));

// As every key: an interval that does not read keeps its default, and one
// line says so.
TEST_F(SyncTest, UnreadableKeepAliveKeepsTheDefault)
{
    start(QStringLiteral("often"));
    ASSERT_EVENTUALLY(stateReports().size() >= 1, 3000);
    EXPECT_EQ(core->timeouts.keep_alive_interval, VXSystemTime::fromMin(1));
    // The warning's own line; its record to the log server quotes it again.
    const QString ownLine = QStringLiteral("[StationCore] [server] keep_alive_interval");
    ASSERT_EVENTUALLY(!logLines().filter(ownLine).isEmpty(), 2000);
    QStringList warnings;
    for (const QString& line : logLines().filter(ownLine))
        if (!line.contains(QLatin1String("sendPost")))
            warnings.append(line);
    ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings.first().contains(QLatin1String("is not a duration, using \"1 min\"")))
        << warnings.first().toStdString();
}

// The station as a child process for the durability test: with
// STATION_CHILD_MODE "queue" it queues three operations, says so and waits to
// be killed; with "drain" it runs until its queue is empty. Skipped when run
// on its own.
TEST(SyncChild, Station)
{
    const QByteArray mode = qgetenv("STATION_CHILD_MODE");
    if (mode.isEmpty())
        GTEST_SKIP() << "run by SyncDurability only";
    ASSERT_TRUE(QDir::setCurrent(QString::fromLocal8Bit(qgetenv("STATION_CHILD_DIR"))));
    const QString base =
        QStringLiteral("http://127.0.0.1:%1/").arg(QString::fromLatin1(qgetenv("STATION_CHILD_PORT")));
    TestSupport::writeConfig(QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n"
                                            "[cells]\n1 = board = 0, lock = 0\n"
                                            "[server]\nlogin = station\npassword = secret\n"
                                            "base_url = %1\nkeep_alive_interval = 1 h\n")
                                 .arg(base));
    StationCore* core = StationCore::instance();
    core->init();
    core->server.setRetryDelays(VXSystemTime::fromMSec(50), VXSystemTime::fromMSec(200));
    Database* db = Database::instance();
    if (mode == "queue") {
        ASSERT_EVENTUALLY(core->server.authStatus() == Server::authLoggedIn, 5000);
        for (int op : {1, 0, 1}) {
            const DatabaseStructs::ChangeServer change = Server::makeOperation(
                Constants::DeviceOperation(op), 9, 4, core->cellsLogic.cells[1], QStringLiteral("run 1"));
            db->queueChange(change);
            VXCout::line(QStringLiteral("BODY %1").arg(QString::fromUtf8(change.body.toBase64())));
        }
        ASSERT_EVENTUALLY(db->changesCount.load() == 3, 5000);
        VXCout::line(QStringLiteral("QUEUED"));
        QTest::qWait(60000);
        FAIL() << "not killed";
    }
    // The first count comes half a second after the thread's first step.
    QTest::qWait(700);
    ASSERT_EVENTUALLY(db->changesCount.load() == 0 && db->currentChange.id < 0, 10000);
    core->stop();
    core->destroy();
}

TEST(SyncDurability, QueuedOperationsSurviveAKill)
{
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    FakeBackend::Behaviour down;
    down.status = 503;
    backend.setBehaviour(FakeBackend::pathOperation, down);

    auto child = [&backend](const char* mode) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("STATION_CHILD_MODE"), QString::fromLatin1(mode));
        env.insert(QStringLiteral("STATION_CHILD_DIR"), QDir::currentPath());
        env.insert(QStringLiteral("STATION_CHILD_PORT"), QString::number(backend.port()));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_filter=SyncChild.Station")});
        return process;
    };

    std::unique_ptr<QProcess> first = child("queue");
    QByteArray output;
    ASSERT_EVENTUALLY((output += first->readAll()).contains("QUEUED"), 20000);
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathOperation) >= 1, 5000);
    ::kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));
    // Requests of the killed station may still wait in the sockets.
    QTest::qWait(300);
    const int oldConnections = backend.connectionCount();
    QList<QByteArray> bodies;
    for (const QByteArray& line : output.split('\n')) {
        const int at = line.indexOf("BODY ");
        if (at >= 0)
            bodies.append(QByteArray::fromBase64(line.mid(at + 5).trimmed()));
    }
    ASSERT_EQ(bodies.size(), 3);
    // Refused so far: nothing of it may count as delivered.
    for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathOperation))
        EXPECT_EQ(r.body, bodies[0]);

    backend.clearBehaviours();
    backend.clearRequests();
    std::unique_ptr<QProcess> second = child("drain");
    ASSERT_EVENTUALLY(second->state() == QProcess::NotRunning, 30000);
    EXPECT_EQ(second->exitCode(), 0) << second->readAll().toStdString();
    QList<FakeBackend::Request> got;
    for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathOperation)) {
        if (r.connection > oldConnections)
            got.append(r);
    }
    ASSERT_EQ(got.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(got[i].body, bodies[i]);
}
