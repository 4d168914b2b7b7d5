// Figures of the back-end link against a fake back-end on its own thread:
// a full download (10,000 users, 3,000 devices, 50 fault kinds, 200 cells)
// from sync() until it is applied, with the longest stall of the main
// thread meanwhile; the drain of 1,000 queued operations; and one loopback
// round trip, which with the database thread's idle tick sets the floor of
// one-at-a-time delivery.
//
// Runs in a temporary working directory (the station writes its log,
// database and state files there).

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "core/core.h"
#include "fake_backend.h"
#include "jalt/vx_file.h"
#include "jalt/vx_time.h"
#include "server/server.h"
#include "storage/database.h"

namespace {
FakeBackendThread* backendThread = nullptr;

QByteArray json(const QJsonDocument& doc)
{
    return doc.toJson(QJsonDocument::Compact);
}

void loadFixtures(FakeBackend& backend)
{
    QJsonArray users;
    for (int id = 1; id <= 10000; ++id)
        users.append(QJsonObject{{"id", id},
                                 {"name", QStringLiteral("Employee %1").arg(id)},
                                 {"login", QStringLiteral("login%1").arg(id)},
                                 {"passwordHash", QString::fromLatin1(QByteArray(32, char(id)).toBase64())},
                                 {"personNumber", QString::number(100000 + id)},
                                 {"isAdmin", id % 100 == 0},
                                 {"updateDate", "01.03.2026 10:00:00"}});
    QJsonArray devices;
    for (int id = 1; id <= 3000; ++id)
        devices.append(QJsonObject{{"id", id},
                                   {"name", QStringLiteral("Handheld %1").arg(id)},
                                   {"serial", QStringLiteral("SN%1").arg(id, 6, 10, QLatin1Char('0'))},
                                   {"status", 0},
                                   {"userId", id % 7 == 0 ? id : 0},
                                   {"lastCharge", id % 100},
                                   {"updateDate", "01.03.2026 10:00:00"}});
    QJsonArray faults;
    for (int id = 1; id <= 50; ++id)
        faults.append(QJsonObject{{"id", id}, {"name", QStringLiteral("Fault %1").arg(id)}});
    QJsonArray cells;
    for (int n = 1; n <= 200; ++n)
        cells.append(QJsonObject{{"cellNumber", n},
                                 {"id", 1000 + n},
                                 {"deviceId", n * 10},
                                 {"lastOperation", 0},
                                 {"lastOperationUserId", n},
                                 {"lastOperationDate", "01.03.2026 10:00:00"}});
    backend.setUsers(json(QJsonDocument(users)));
    backend.setDevices(json(QJsonDocument(devices)));
    backend.setFaults(json(QJsonDocument(faults)));
    backend.setCells(json(QJsonDocument(QJsonObject{{"devicePointCells", cells}})));
}

StationCore* startStation()
{
    QString config = QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n[cells]\n");
    for (int n = 1; n <= 200; ++n)
        config += QStringLiteral("%1 = board = %2, lock = %3\n").arg(n).arg((n - 1) / 10).arg((n - 1) % 10);
    config += QStringLiteral("[server]\nlogin = station\npassword = secret\nbase_url = %1\nlog_url = %2\n"
                             "keep_alive_interval = 1 h\nsync_interval = 1 h\n")
                  .arg(backendThread->backend().baseUrl(), backendThread->backend().logUrl());
    VXFile::writeAll(QStringLiteral("vesk_station.conf"), config.toUtf8());
    StationCore* core = StationCore::instance();
    core->init();
    // The hub's own apply waits for an idle screen; the benchmark applies.
    core->active_screen = Constants::asAdminLogin;
    QElapsedTimer wait;
    wait.start();
    while (core->server.authStatus() != Server::authLoggedIn && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return core;
}

StationCore* station()
{
    static StationCore* core = startStation();
    return core;
}

// Longest gap between the turns of a 1 ms timer while fn runs the loop.
class StallMeter
{
public:
    StallMeter()
    {
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        timer.start();
        clock.start();
    }
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        if (last > 0)
            longest = std::max(longest, now - last);
        last = now;
    }
    double longestMs() const { return longest / 1e6; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

void BM_FullDownloadApplied(benchmark::State& state)
{
    StationCore* core = station();
    double longest = 0;
    for (auto _ : state) {
        StallMeter meter;
        QElapsedTimer timer;
        timer.start();
        core->server.sync();
        while (!core->server.isSyncReady())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // The merge of the cells waits for an idle screen.
        core->active_screen = Constants::asStart;
        core->server.maybeApplySync();
        while (core->server.isApplying())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        core->active_screen = Constants::asAdminLogin;
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        longest = std::max(longest, meter.longestMs());
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["users"] = Database::instance()->usersCount();
}
BENCHMARK(BM_FullDownloadApplied)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UploadDrain(benchmark::State& state)
{
    station();
    Database* db = Database::instance();
    const int count = 1000;
    for (auto _ : state) {
        state.PauseTiming();
        backendThread->backend().clearRequests();
        for (int i = 0; i < count; ++i)
            db->queueChange(Server::makeTask(i, 4, 1, QStringLiteral("bench")));
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        while (backendThread->backend().requestCount(FakeBackend::pathTask) < count
               || db->currentChange.id >= 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_UploadDrain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_LoopbackRoundTrip(benchmark::State& state)
{
    StationCore* core = station();
    const QByteArray body = Server::makeTask(1, 4, 1, QStringLiteral("bench")).body;
    for (auto _ : state) {
        bool done = false;
        core->server.sendPost(
            ServerBase::rtBase, FakeBackend::pathTask, body,
            [&done](const ServerBase::Reply&) { done = true; },
            [&done](const ServerBase::Reply&) { done = true; });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}
BENCHMARK(BM_LoopbackRoundTrip)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    // As the program does.
    VXDateTime::pinLocalZone();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir workDir(QDir::tempPath() + QStringLiteral("/station-bench-XXXXXX"));
    if (!workDir.isValid())
        return 2;
    QDir::setCurrent(workDir.path());
    FakeBackendThread backend;
    if (!backend.start())
        return 2;
    backendThread = &backend;
    loadFixtures(backend.backend());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StationCore::instance()->stop();
    StationCore::instance()->destroy();
    Database::instance()->stop();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
