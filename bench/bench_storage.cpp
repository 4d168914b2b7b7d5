// Figures of the local store: the load of a full file into memory at start,
// a full user download applied under one lock (time until the caller goes on,
// and until every row is in the file), and look-ups at 10,000 users.
//
// Runs in a temporary working directory (the station writes its log and
// database files there).

#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "jalt/vx_time.h"
#include "storage/database.h"
#include "vexo/vx_conversions.h"

using DatabaseStructs::Device;
using DatabaseStructs::DeviceFault;
using DatabaseStructs::User;

namespace {
const int userCount = 10000;
const int deviceCount = 3000;
const int faultCount = 50;

User makeUser(int id, int round = 0)
{
    User user;
    user.id = id;
    user.name = QStringLiteral("Employee %1 of round %2").arg(id).arg(round);
    user.login = QStringLiteral("login%1").arg(id);
    user.personNumber = QStringLiteral("%1").arg(100000 + id);
    user.passwordHash = QByteArray(32, char(id));
    // Every record a date of its own, over a year (both clock changes).
    user.updateDate = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).addSecs(qint64(id) * 3181);
    user.roleUpdateDate = user.updateDate.addSecs(-86400);
    return user;
}

Device makeDevice(int id)
{
    Device device;
    device.id = id;
    device.name = QStringLiteral("Scanner %1").arg(id);
    device.phone = QStringLiteral("+49 30 %1").arg(5550000 + id);
    device.serial = QStringLiteral("SN-%1").arg(id, 6, 10, QLatin1Char('0'));
    device.userId = id % 3 == 0 ? 100 + id : -1;
    device.lastCharge = id % 100;
    device.updateDate = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).addSecs(qint64(id) * 10007);
    return device;
}

Database* database()
{
    return Database::instance();
}

// Waits for the queued notification that ends the load.
void waitForLoad()
{
    QEventLoop loop;
    QObject::connect(database(), &Database::devicesChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
}

// Once per run: a file with the full data set.
void fillFile()
{
    static bool filled = false;
    if (filled)
        return;
    filled = true;
    database()->setDatabase(QStringLiteral("vesk_station_db.dat"));
    database()->start();
    database()->init();
    database()->lock();
    for (int i = 1; i <= userCount; ++i)
        database()->addUser(makeUser(i));
    for (int i = 1; i <= deviceCount; ++i)
        database()->addDevice(makeDevice(i));
    for (int i = 1; i <= faultCount; ++i) {
        DeviceFault fault;
        fault.id = i;
        fault.name = QStringLiteral("Fault %1").arg(i);
        fault.description = QStringLiteral("What fault %1 looks like").arg(i);
        database()->addDeviceFault(fault);
    }
    database()->unlock();
    database()->stop();
}

void emptyMaps()
{
    database()->lock();
    database()->users.clear();
    database()->devices.clear();
    database()->deviceFaults.clear();
    database()->unlock();
}

// File to maps: start() returns once the file is open; the load ends with
// the queued notification.
void BM_LoadAtStart(benchmark::State& state)
{
    fillFile();
    for (auto _ : state) {
        state.PauseTiming();
        database()->stop();
        emptyMaps();
        state.ResumeTiming();
        database()->start();
        waitForLoad();
    }
    if (database()->usersCount() != userCount || database()->devicesCount() != deviceCount
        || database()->allDeviceFaults().size() != faultCount)
        state.SkipWithError("load incomplete");
    state.counters["users"] = database()->usersCount();
    state.counters["devices"] = database()->devicesCount();
}
BENCHMARK(BM_LoadAtStart)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// A full user download applied under one lock. "return_ms" is what the GUI
// thread spends; "in_file_ms" runs until the last row, and with it every row
// before it, is in the file.
void BM_AddUsersUnderOneLock(benchmark::State& state)
{
    fillFile();
    if (!database()->isOpen()) {
        database()->start();
        waitForLoad();
    }
    double returnMs = 0;
    double inFileMs = 0;
    int round = 0;
    for (auto _ : state) {
        ++round;
        state.PauseTiming();
        QVector<User> download;
        download.reserve(userCount);
        for (int i = 1; i <= userCount; ++i)
            download.append(makeUser(i, round));
        state.ResumeTiming();
        VXTimeMeasurer measurer;
        const auto begin = std::chrono::steady_clock::now();
        database()->lock();
        for (const User& user : download)
            database()->addUser(user);
        database()->unlock();
        returnMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        const QString expected = makeUser(userCount, round).name;
        for (;;) {
            const DatabaseBase::Row row =
                database()->request(QStringLiteral("SELECT data FROM users WHERE id=%1").arg(userCount));
            if (vxqDeserialize<User>(row.value(QStringLiteral("data")).toByteArray()).name == expected)
                break;
            if (measurer.elapsed_m() > 30000) {
                state.SkipWithError("rows did not reach the file");
                return;
            }
            vxMSleep(1);
        }
        inFileMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    }
    state.counters["return_ms"] = returnMs / double(state.iterations());
    state.counters["in_file_ms"] = inFileMs / double(state.iterations());
}
BENCHMARK(BM_AddUsersUnderOneLock)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Look-ups answer from memory; the data set is in the maps already.
void fillMemory()
{
    static bool filled = false;
    if (filled)
        return;
    filled = true;
    database()->lock();
    for (int i = 1; i <= userCount; ++i)
        database()->addUser(makeUser(i));
    for (int i = 1; i <= deviceCount; ++i)
        database()->addDevice(makeDevice(i));
    database()->unlock();
}

template <typename Lookup> void runLookups(benchmark::State& state, const QStringList& keys, Lookup lookup)
{
    fillMemory();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(keys.at(i)));
        i = (i + 1) % keys.size();
    }
}

QStringList keys(const QString& pattern, int count, int base = 0)
{
    QStringList result;
    for (int i = 0; i < 1000; ++i)
        result.append(pattern.arg(base + 1 + (i * 7919) % count));
    return result;
}

void BM_UserByLogin(benchmark::State& state)
{
    runLookups(state, keys(QStringLiteral("login%1"), userCount),
               [](const QString& key) { return database()->userByLogin(key).id; });
}
BENCHMARK(BM_UserByLogin);

void BM_UserByPersonNumber(benchmark::State& state)
{
    runLookups(state, keys(QStringLiteral("%1"), userCount, 100000),
               [](const QString& key) { return database()->userByPersonNumber(key).id; });
}
BENCHMARK(BM_UserByPersonNumber);

void BM_UserByLoginMiss(benchmark::State& state)
{
    runLookups(state, keys(QStringLiteral("nobody%1"), userCount),
               [](const QString& key) { return database()->userByLogin(key).id; });
}
BENCHMARK(BM_UserByLoginMiss);

void BM_UserByID(benchmark::State& state)
{
    fillMemory();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(database()->userByID(1 + (i * 7919) % userCount).id);
        ++i;
    }
}
BENCHMARK(BM_UserByID);

void BM_DeviceBySerial(benchmark::State& state)
{
    QStringList serials;
    for (int i = 0; i < 1000; ++i)
        serials.append(QStringLiteral("SN-%1").arg(1 + (i * 7919) % deviceCount, 6, 10, QLatin1Char('0')));
    runLookups(state, serials, [](const QString& key) { return database()->deviceBySerial(key).id; });
}
BENCHMARK(BM_DeviceBySerial);

// The identify-device page's search: a scan, stopped at 16 matches.
void BM_FindDevicesBySerial16(benchmark::State& state)
{
    runLookups(state, {QStringLiteral("sn-00"), QStringLiteral("999"), QStringLiteral("x")},
               [](const QString& key) { return database()->findDevicesBySerial(key, 16, false).size(); });
}
BENCHMARK(BM_FindDevicesBySerial16);
} // namespace

int main(int argc, char** argv)
{
    // As the program does.
    VXDateTime::pinLocalZone();
    QCoreApplication app(argc, argv);
    QTemporaryDir workDir(QDir::tempPath() + QStringLiteral("/station-bench-XXXXXX"));
    if (!workDir.isValid())
        return 2;
    QDir::setCurrent(workDir.path());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    database()->stop();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
