// The program itself, started as a child process in the test's working
// directory.

#include <csignal>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include "core/constants.h"
#include "fake_backend.h"
#include "lock_simulator.h"
#include "readers/cryptography.h"
#include "support/test_support.h"

using TestSupport::logHas;
using TestSupport::writeFile;

namespace
{
QProcessEnvironment stationEnvironment(const QString& platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return env;
}

bool startStation(QProcess& station, const QString& dir, const QProcessEnvironment& env)
{
    QDir().mkpath(dir);
    station.setWorkingDirectory(dir);
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::MergedChannels);
    station.start(QStringLiteral(STATION_PROGRAM), QStringList());
    return station.waitForStarted(5000);
}

bool startStation(QProcess& station,
                  const QString& dir,
                  const QString& platform = QStringLiteral("offscreen"))
{
    return startStation(station, dir, stationEnvironment(platform));
}

bool logOf(const QString& dir, const QString& text)
{
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir);
    const bool found = logHas(text);
    QDir::setCurrent(here);
    return found;
}

// The rest of each log line of the station in dir whose text starts with
// prefix, in order.
QStringList logAfter(const QString& dir, const QString& prefix)
{
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir);
    const QStringList found = TestSupport::logLinesAfter(prefix);
    QDir::setCurrent(here);
    return found;
}

// A private X server, for the one window a test must answer by key.
class XServer
{
public:
    XServer()
    {
        server.setProcessChannelMode(QProcess::SeparateChannels);
        server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                              QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1024x768x24")});
        if (server.waitForStarted(5000) && server.waitForReadyRead(10000))
            display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    }
    ~XServer()
    {
        server.terminate();
        server.waitForFinished(5000);
    }
    QString display;

private:
    QProcess server;
};

int xdotool(const QString& display, const QStringList& arguments, QByteArray* out = nullptr)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(15000))
        return -1;
    if (out)
        *out = tool.readAllStandardOutput();
    return tool.exitCode();
}

// Starts the station in dir on the X server and answers the box titled
// "Station" that it shows with Return; true once the station has ended.
bool answerStationBox(const XServer& x, QProcess& station, const QString& dir, QProcessEnvironment env)
{
    QDir().mkpath(dir);
    station.setWorkingDirectory(dir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), x.display);
    station.setProcessEnvironment(env);
    station.start(QStringLiteral(STATION_PROGRAM), QStringList());
    if (!station.waitForStarted(5000))
        return false;
    QByteArray window;
    if (xdotool(x.display,
                {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), QStringLiteral("^Station$")},
                &window)
        != 0)
        return false;
    const QString id = QString::fromLatin1(window.split('\n').first().trimmed());
    if (id.isEmpty())
        return false;
    const bool finished = QTest::qWaitFor(
        [&] {
            xdotool(x.display, {QStringLiteral("windowfocus"), id});
            xdotool(x.display, {QStringLiteral("key"), QStringLiteral("Return")});
            return station.waitForFinished(500);
        },
        15000);
    if (!finished)
        station.kill();
    return finished;
}
} // namespace

TEST(Program, StartsLogsAndStopsInOrderOnTermination)
{
    const QString dir = QDir::current().filePath(QStringLiteral("station"));
    QDir().mkpath(dir);
    QFile config(dir + QStringLiteral("/vesk_station.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[general]\npoint_id = 31\n");
    config.close();

    QProcess station;
    ASSERT_TRUE(startStation(station, dir));
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("Started")), 15000);
    EXPECT_TRUE(logOf(dir, QStringLiteral("Version 1.4.3 (117) at 20.03.2026 18:10")));
    EXPECT_TRUE(logOf(dir, QStringLiteral("Station ID = 31")));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/station_state.bin")));

    ::kill(pid_t(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(15000)) << station.readAll().toStdString();
    EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.exitCode(), 0);
    EXPECT_TRUE(logOf(dir, QStringLiteral("Stop ...")));
    EXPECT_TRUE(logOf(dir, QStringLiteral("Stopped")));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("/station_state.bin")));
}

TEST(Program, SecondInstanceSaysSoAndTouchesNothing)
{
    XServer x;
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb did not start";
    const QString firstDir = QDir::current().filePath(QStringLiteral("first"));
    const QString secondDir = QDir::current().filePath(QStringLiteral("second"));
    QProcess first;
    ASSERT_TRUE(startStation(first, firstDir));
    ASSERT_EVENTUALLY(logOf(firstDir, QStringLiteral("Started")), 15000);

    QProcess second;
    ASSERT_TRUE(answerStationBox(x, second, secondDir, QProcessEnvironment::systemEnvironment()));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QDir(secondDir).exists(QStringLiteral("vesk_station_logs")));
    EXPECT_TRUE(QDir(secondDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    ::kill(pid_t(first.processId()), SIGTERM);
    EXPECT_TRUE(first.waitForFinished(15000));
}

// A lock file the station cannot open (one another user left in a shared
// temporary folder) tells nothing of another station: the station names it
// in its log and its message and does not start.
TEST(Program, LockFileThatCannotBeOpenedIsNamed)
{
    XServer x;
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb did not start";
    const QString runtime = QDir::current().filePath(QStringLiteral("runtime"));
    // A directory in the file's place: no user, root included, opens it.
    ASSERT_TRUE(QDir().mkpath(runtime + QStringLiteral("/vesk-station-kiosk-7f3a.lock")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    const QString dir = QDir::current().filePath(QStringLiteral("station"));
    QProcess station;
    ASSERT_TRUE(answerStationBox(x, station, dir, env));
    EXPECT_EQ(station.exitCode(), 1);
    EXPECT_EQ(logAfter(dir, QStringLiteral("The station cannot check for another station: ")),
              QStringList{QStringLiteral("cannot open the lock file \"%1/vesk-station-kiosk-7f3a.lock\": "
                                         "Is a directory")
                              .arg(runtime)});
    EXPECT_FALSE(logOf(dir, QStringLiteral("Started")));
}

// What one run learns of its cells comes back in the next, through
// "station_state.bin": the second run downloads nothing.
TEST(Program, CellsComeBackFromTheStateFileOfTheLastRun)
{
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    backend.setDevices(R"([{"id":12,"serial":"SN-0012","userId":1,"lastCharge":90}])");
    backend.setCells(
        R"({"devicePointCells":[{"cellNumber":1,"id":101,"deviceId":12},)"
        R"({"cellNumber":2,"id":102,"deviceId":0,"isLocked":true,"description":"Door is broken"},)"
        R"({"cellNumber":3,"id":103,"deviceId":0}]})");
    const QString dir = QDir::current().filePath(QStringLiteral("runs"));
    QDir().mkpath(dir);
    QFile config(dir + QStringLiteral("/vesk_station.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n"
                                "[cells]\n1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                                "3 = board = 0, lock = 2\n"
                                "[server]\nlogin = station\npassword = secret\nbase_url = %1\nlog_url = %2\n"
                                "sync_interval = 1 h\nkeep_alive_interval = 200 ms\n")
                     .arg(backend.baseUrl(), backend.logUrl())
                     .toUtf8());
    config.close();

    QProcess first;
    ASSERT_TRUE(startStation(first, dir));
    ASSERT_EVENTUALLY(
        logOf(dir, QStringLiteral("[Server] Cells stat  after: 1 free, 1 devices, 1 available")), 15000);
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(15000)) << first.readAll().toStdString();
    EXPECT_EQ(first.exitCode(), 0);

    FakeBackend::Behaviour down;
    down.status = 500;
    backend.setBehaviour(QStringLiteral("api/KalmireSync/Get"), down);
    backend.clearRequests();
    QProcess second;
    ASSERT_TRUE(startStation(second, dir));
    const QJsonObject expected{{"cells_all", 3},      {"cells_free", 1},        {"cells_locked", 1},
                               {"devices_all", 1},    {"devices_available", 1}, {"devices_charging", 0},
                               {"devices_problem", 0}};
    auto lastReport = [&backend, &expected] {
        const QList<FakeBackend::Request> reports = backend.requests(FakeBackend::pathState);
        QJsonObject counts;
        if (!reports.isEmpty())
            for (const QString& key : expected.keys())
                counts.insert(key, reports.last().json().object().value(key));
        return counts;
    };
    // It asks for its cells and is refused; the device's record comes from the
    // database file a moment after start.
    EXPECT_EVENTUALLY(backend.requestCount(FakeBackend::pathCells) >= 1, 15000);
    EXPECT_EVENTUALLY(lastReport() == expected, 15000)
        << QJsonDocument(lastReport()).toJson(QJsonDocument::Compact).toStdString();
    ::kill(pid_t(second.processId()), SIGTERM);
    EXPECT_TRUE(second.waitForFinished(15000));
}

// A folder in the database file's place: the station works on nothing and
// loses nothing. Once the folder is gone it opens the file, and the lines
// logged meanwhile, from before its start on, reach the log server in order.
TEST(Program, WithoutItsDatabaseFileWaitsAndThenSendsEveryLine)
{
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    const QString dir = QDir::current().filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/vesk_station_db.dat")));
    writeFile(
        dir + QStringLiteral("/vesk_station.conf"),
        QStringLiteral("[general]\npoint_id = 7\n[timeouts]\ngoto_start = soon\ndatabase_retry = 100 ms\n"
                       "[scanner]\ncard_reader = false\n[server]\nlog_url = %1\nkeep_alive_interval = 1 h\n")
            .arg(backend.logUrl())
            .toUtf8());

    QProcess station;
    ASSERT_TRUE(startStation(station, dir));
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("Started")), 15000);
    QTest::qWait(300);
    EXPECT_EQ(logAfter(dir, QStringLiteral("[DatabaseBase] Open error: ")).size(), 1);
    auto sentLines = [&backend] {
        QStringList lines;
        for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathState))
            for (const QJsonValue& line : r.json().object().value(QStringLiteral("log")).toArray())
                lines.append(line.toObject()
                                 .value(QStringLiteral("msg"))
                                 .toString()
                                 .section(QStringLiteral(" - "), 1));
        return lines;
    };
    EXPECT_TRUE(sentLines().isEmpty());

    ASSERT_TRUE(QDir(dir).rmdir(QStringLiteral("vesk_station_db.dat")));
    ASSERT_EVENTUALLY(
        !logAfter(dir, QStringLiteral("[DatabaseBase] Opened vesk_station_db.dat after ")).isEmpty(), 15000);
    const QStringList expected{
        QStringLiteral("[StationCore] [timeouts] goto_start = \"soon\" is not a duration, using \"120 s\""),
        QStringLiteral("[CellController] Can`t create device "),
    };
    EXPECT_EVENTUALLY(sentLines().mid(0, 2) == expected, 15000) << sentLines().join('\n').toStdString();
    EXPECT_EVENTUALLY(sentLines().filter(QStringLiteral("[DatabaseBase] Open error: ")).size() == 1, 15000);
    ::kill(pid_t(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(15000));
    EXPECT_EQ(station.exitCode(), 0);
}

// Without a monitor: a stand-in for xrandr on PATH reports none. Users take
// and return devices by login code and sticker alone, guided by the prompts
// the project's own script speaks; when the monitor is back, the screen is.
TEST(Program, WithoutAMonitorIssuesAndReturnsByCodeAndSticker)
{
    const QString dir = QDir::current().filePath(QStringLiteral("cabinet"));
    const QString bin = QDir::current().filePath(QStringLiteral("bin"));
    QDir().mkpath(dir);
    QDir().mkpath(bin);
    const QString xrandr = bin + QStringLiteral("/xrandr");
    ASSERT_TRUE(writeFile(
        xrandr, QStringLiteral("#!/bin/sh\n[ \"$1\" = --listmonitors ] || exit 9\n"
                               "if [ -e '%1/monitor' ]; then\n"
                               "  printf 'Monitors: 1\\n 0: +*HDMI-1 1920/510x1080/290+0+0  HDMI-1\\n'\n"
                               "else\n  printf 'Monitors: 0\\n'\nfi\n")
                    .arg(bin)
                    .toUtf8()));
    QFile::setPermissions(xrandr, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess prompts;
    prompts.setProcessChannelMode(QProcess::MergedChannels);
    prompts.start(QStringLiteral("bash"),
                  {QStringLiteral(STATION_SOURCE_DIR "/scripts/make_prompts.sh"), dir});
    ASSERT_TRUE(prompts.waitForFinished(60000));
    ASSERT_EQ(prompts.exitCode(), 0) << prompts.readAll().toStdString();
    for (const char* name : {"audio_initial.wav", "audio_give.wav", "audio_return.wav",
                             "audio_login_first.wav", "audio_error.wav"})
        ASSERT_GT(QFileInfo(dir + QLatin1Char('/') + QLatin1String(name)).size(), 10000) << name;

    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString lockPath = sim.listenPty();
    ASSERT_FALSE(lockPath.isEmpty());
    TestSupport::PtyPair scanner;
    ASSERT_FALSE(scanner.path.isEmpty());
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    backend.setUsers(R"([{"id":4,"name":"Anna","login":"anna","personNumber":"89"}])");
    backend.setDevices(R"([{"id":12,"serial":"SN-0012","userId":null,"lastCharge":90}])");
    backend.setCells(R"({"devicePointCells":[{"cellNumber":1,"id":101,"deviceId":12},)"
                     R"({"cellNumber":2,"id":102,"deviceId":0},{"cellNumber":3,"id":103,"deviceId":0}]})");
    ASSERT_TRUE(
        writeFile(dir + QStringLiteral("/vesk_station.conf"),
                  QStringLiteral("[general]\npoint_id = 1\nsupport_offscreen = true\n"
                                 "[timeouts]\nopen_cell_min_interval = 10 ms\nopen_silence = 10 ms\n"
                                 "message_lifetime = 300 ms\n"
                                 "[scanner]\ndevice = %1\ncard_reader = false\n"
                                 "[cells]\naddress = %2\ntick_time = 100 Hz\n1 = board = 0, lock = 0\n"
                                 "2 = board = 0, lock = 1\n3 = board = 0, lock = 2\n"
                                 "[server]\nlogin = station\npassword = secret\nbase_url = %3\nlog_url = %4\n"
                                 "sync_interval = 1 h\n")
                      .arg(scanner.path, lockPath, backend.baseUrl(), backend.logUrl())
                      .toUtf8()));

    QProcessEnvironment env = stationEnvironment(QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    QProcess station;
    ASSERT_TRUE(startStation(station, dir, env));
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("Monitor disconnected, enter offscreen mode")), 15000);
    ASSERT_EVENTUALLY(
        logOf(dir, QStringLiteral("[Server] Cells stat  after: 2 free, 1 devices, 1 available")), 15000);

    // One input and the prompt it plays. An input that comes while the last
    // prompt still plays is dropped (and logged so): it is given again.
    const QByteArray code = qrLoginEncrypt(QStringLiteral("anna"), QStringLiteral("any")) + "\r\n";
    const QString ignored = QStringLiteral("[OffScreenLogic] A prompt is playing, input ignored");
    auto hear = [&](const QByteArray& input, const QString& prompt) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int played = int(logAfter(dir, QStringLiteral("[OffScreenLogic] Play ")).count(prompt));
            const int dropped = int(logAfter(dir, ignored).size());
            if (!scanner.write(input))
                return false;
            if (!QTest::qWaitFor(
                    [&] {
                        return logAfter(dir, QStringLiteral("[OffScreenLogic] Play ")).count(prompt) > played
                               || logAfter(dir, ignored).size() > dropped;
                    },
                    5000))
                return false;
            if (logAfter(dir, QStringLiteral("[OffScreenLogic] Play ")).count(prompt) > played)
                return true;
            QTest::qWait(100); // the prompt still plays
        }
        return false;
    };
    auto operations = [&backend](int operation) {
        int count = 0;
        for (const FakeBackend::Request& request : backend.requests(FakeBackend::pathOperation)) {
            const QJsonObject body = request.json().object();
            if (body.value(QStringLiteral("operation")).toInt(-1) == operation
                && body.value(QStringLiteral("deviceId")).toInt() == 12
                && body.value(QStringLiteral("userId")).toInt() == 4)
                ++count;
        }
        return count;
    };

    // The sticker first: identify first. The code twice: a device.
    ASSERT_TRUE(hear("SN-0012\r\n", QStringLiteral("login_first")));
    ASSERT_TRUE(hear(code, QStringLiteral("initial")));
    ASSERT_TRUE(hear(code, QStringLiteral("give")));
    ASSERT_EVENTUALLY(sim.isDoorOpen(0, 0), 5000);
    ASSERT_EVENTUALLY(operations(int(Constants::doIssued)) == 1, 10000);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("[OffScreenLogic] Issue done")), 5000);

    // The code and then the device's sticker: it goes back into a free cell.
    sim.clearFrames();
    ASSERT_TRUE(hear(code, QStringLiteral("initial")));
    ASSERT_TRUE(hear("SN-0012\r\n", QStringLiteral("return")));
    int lock = -1;
    ASSERT_EVENTUALLY(
        [&] {
            for (const LockSimulator::Frame& frame : sim.frames())
                if (frame.open)
                    lock = frame.lock;
            return lock >= 0 && sim.isDoorOpen(0, lock);
        }(),
        5000);
    ASSERT_EVENTUALLY(operations(int(Constants::doReturned)) == 1, 10000);
    sim.setDoor(0, lock, false);
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("[OffScreenLogic] Return done")), 5000);
    EXPECT_EQ(logAfter(dir, QStringLiteral("[OffScreenLogic] Play ")),
              (QStringList{"login_first", "initial", "give", "initial", "return"}));
    EXPECT_TRUE(logAfter(dir, QStringLiteral("[OffScreenLogic] Can't play")).isEmpty());
    EXPECT_TRUE(logAfter(dir, QStringLiteral("[OffScreenLogic] Prompt file")).isEmpty());

    // The monitor is back: the station leaves off-screen mode.
    ASSERT_TRUE(writeFile(bin + QStringLiteral("/monitor"), QByteArray()));
    ASSERT_EVENTUALLY(logOf(dir, QStringLiteral("Monitor connected, leave offscreen mode")), 15000);

    ::kill(pid_t(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(15000)) << station.readAll().toStdString();
    EXPECT_EQ(station.exitCode(), 0);
}
