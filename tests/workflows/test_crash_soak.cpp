// The upload queue under crashes: the program itself drains a queue of
// operations to a fake back-end on loopback and is killed with SIGKILL at
// random moments, then started again, until the queue is empty.
//
// After every kill the sqlite3 tool checks the file and reads what is still
// queued. Nothing may be lost; the order holds; a record reaches the back-end
// twice only when the kill came between its acceptance and the deletion of
// its row (its row is then still first in the queue), and then with the
// same body, "refId" included.
//
// STATION_SOAK_KILLS sets the number of kills (default 10) and
// STATION_SOAK_SEED the seed of the moments (default: a new one, printed).

#include <csignal>
#include <cstdio>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "fake_backend.h"
#include "server/server.h"
#include "storage/database.h"
#include "storage/storage_support.h"
#include "support/test_support.h"
#include "vexo/vx_conversions.h"

using StorageSupport::databaseFile;
using StorageSupport::sqlite;
using StorageSupport::sqliteLines;

namespace {
QString refIdOf(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object().value(QLatin1String("refId")).toString();
}

// The bodies of the rows still queued, in row order, read by the tool.
QList<QByteArray> queuedBodies(const QString& file)
{
    QList<QByteArray> bodies;
    for (const QString& line :
         sqliteLines(file, QStringLiteral("SELECT hex(data) FROM server_changes ORDER BY id;")))
        bodies.append(
            vxqDeserialize<DatabaseStructs::ChangeServer>(QByteArray::fromHex(line.toLatin1())).body);
    return bodies;
}

class CrashSoak : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(backendThread.start());
        dir = QDir::current().filePath(QStringLiteral("station"));
        ASSERT_TRUE(QDir().mkpath(dir));
        file = dir + QLatin1Char('/') + QLatin1String(databaseFile);
        ASSERT_TRUE(TestSupport::writeFile(
            dir + QStringLiteral("/vesk_station.conf"),
            QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n"
                           "[server]\nlogin = station\npassword = secret\nbase_url = %1\n"
                           "sync_interval = 1 h\nkeep_alive_interval = 1 h\n")
                .arg(backend().baseUrl())
                .toUtf8()));
    }
    void TearDown() override
    {
        if (station.state() != QProcess::NotRunning) {
            station.kill();
            station.waitForFinished(10000);
        }
    }

    FakeBackend& backend() { return backendThread.backend(); }
    QList<QByteArray> delivered()
    {
        QList<QByteArray> bodies;
        for (const FakeBackend::Request& r : backendThread.backend().requests(FakeBackend::pathOperation))
            bodies.append(r.body);
        return bodies;
    }

    // Queues the operations in the file, through the station's own store.
    void queue(int count)
    {
        Database* db = Database::instance();
        db->setDatabase(file);
        ASSERT_TRUE(db->start());
        for (int i = 0; i < count; ++i) {
            const DatabaseStructs::ChangeServer change = Server::makeOperation(
                Constants::doIssued, 1000 + i, 4, CellsLogic::Cell(), QStringLiteral("soak %1").arg(i));
            expected.append(change.body);
            db->queueChange(change);
        }
        db->stop();
        Database::resetInstance();
    }

    void startStation()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        station.setProcessEnvironment(env);
        station.setWorkingDirectory(dir);
        station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        station.setStandardOutputFile(QProcess::nullDevice());
        station.start(QStringLiteral(STATION_PROGRAM), QStringList());
        ASSERT_TRUE(station.waitForStarted(10000));
    }

    // Waits until the back-end has taken every request the dead child had
    // sent: the count holds still for a while.
    int settledCount()
    {
        int count = backend().requestCount(FakeBackend::pathOperation);
        for (int still = 0; still < 5;) {
            QTest::qWait(20);
            const int now = backend().requestCount(FakeBackend::pathOperation);
            still = now == count ? still + 1 : 0;
            count = now;
        }
        return count;
    }

    FakeBackendThread backendThread;
    QString dir;
    QString file;
    QProcess station;
    QList<QByteArray> expected;
};
} // namespace

TEST_F(CrashSoak, KilledStationLosesNothingAndRepeatsOnlyTheAcceptedRecord)
{
    const int kills = qEnvironmentVariableIsSet("STATION_SOAK_KILLS")
                          ? qEnvironmentVariableIntValue("STATION_SOAK_KILLS")
                          : 10;
    const quint32 seed = qEnvironmentVariableIsSet("STATION_SOAK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("STATION_SOAK_SEED"))
                             : QRandomGenerator::global()->generate();
    std::printf("[soak] %d kills, seed %u (STATION_SOAK_SEED)\n", kills, seed);
    QRandomGenerator random(seed);
    const int records = 30 * kills + 50;
    ASSERT_NO_FATAL_FAILURE(queue(records));
    ASSERT_EQ(queuedBodies(file).size(), records);

    int deliveredDistinct = 0; // expected[0..deliveredDistinct) have reached the back-end
    int duplicates = 0;
    int boundary = 0;            // requests seen before the current run
    bool repeatExpected = false; // the last record before the kill is still queued
    qint64 window = 1500;        // kills fall within this time after a start
    for (int kill = 0; kill <= kills; ++kill) {
        SCOPED_TRACE(kill);
        ASSERT_NO_FATAL_FAILURE(startStation());
        QElapsedTimer sinceStart;
        sinceStart.start();
        if (kill == kills) {
            // The last run drains the rest.
            ASSERT_EVENTUALLY(
                settledCount() >= boundary + records - deliveredDistinct + (repeatExpected ? 1 : 0)
                    && sqlite(file, QStringLiteral("SELECT count(*) FROM server_changes;")) == "0",
                120000);
            ::kill(pid_t(station.processId()), SIGTERM);
            ASSERT_TRUE(station.waitForFinished(20000));
        } else {
            const qint64 moment = qint64(random.bounded(quint32(window)));
            while (sinceStart.elapsed() < moment && station.state() == QProcess::Running)
                QTest::qWait(5);
            ASSERT_EQ(station.state(), QProcess::Running) << "the station ended by itself";
            ::kill(pid_t(station.processId()), SIGKILL);
            ASSERT_TRUE(station.waitForFinished(10000));
            if (kill == 0 && backend().requestCount(FakeBackend::pathOperation) == 0)
                window += 1000; // a slow start (sanitizers): let later kills reach the drain
        }
        EXPECT_EQ(sqlite(file, QStringLiteral("PRAGMA integrity_check;")), "ok");

        // What this run delivered, in order.
        const QList<QByteArray> all = delivered();
        const int count = settledCount();
        const QList<QByteArray> run = all.mid(boundary, count - boundary);
        int next = deliveredDistinct;
        for (int i = 0; i < run.size(); ++i) {
            if (i == 0 && repeatExpected && run[0] == expected[next - 1]) {
                ++duplicates; // the record accepted before the kill, sent again
                continue;
            }
            ASSERT_LT(next, records) << "more than was queued";
            ASSERT_EQ(refIdOf(run[i]), refIdOf(expected[next])) << "out of order at request " << boundary + i;
            ASSERT_EQ(run[i], expected[next]);
            ++next;
        }
        if (repeatExpected && !run.isEmpty()) {
            EXPECT_EQ(run[0], expected[deliveredDistinct - 1])
                << "the accepted record still queued was not sent first";
        }
        deliveredDistinct = next;
        boundary = count;

        // What is left: the records not delivered, and at most the one
        // delivered last, whose row the kill kept from being deleted.
        const QList<QByteArray> left = queuedBodies(file);
        const int from = records - left.size();
        repeatExpected = from == deliveredDistinct - 1;
        ASSERT_TRUE(from == deliveredDistinct || repeatExpected)
            << left.size() << " rows left after " << deliveredDistinct << " of " << records << " delivered";
        ASSERT_EQ(left, expected.mid(from));
    }

    const int lost = records - deliveredDistinct;
    std::printf(
        "[soak] kills %d, records %d, delivered %d, lost %d, duplicated %d (each after a kill between "
        "acceptance and deletion), integrity_check ok after every kill\n",
        kills, records, deliveredDistinct, lost, duplicates);
    EXPECT_EQ(lost, 0);
}
