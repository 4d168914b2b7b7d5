// The program itself, started as a child process in the test's working
// directory.

#include <csignal>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include "fake_backend.h"
#include "support/test_support.h"

using TestSupport::logHas;

namespace
{
QProcessEnvironment stationEnvironment(const QString& platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return env;
}

bool startStation(QProcess& station, const QString& dir, const QString& platform = QStringLiteral("offscreen"))
{
    QDir().mkpath(dir);
    station.setWorkingDirectory(dir);
    station.setProcessEnvironment(stationEnvironment(platform));
    station.setProcessChannelMode(QProcess::MergedChannels);
    station.start(QStringLiteral(STATION_PROGRAM), QStringList());
    return station.waitForStarted(5000);
}

bool logOf(const QString& dir, const QString& text)
{
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir);
    const bool found = logHas(text);
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
    QDir().mkpath(secondDir);
    second.setWorkingDirectory(secondDir);
    QProcessEnvironment env = stationEnvironment(QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), x.display);
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(STATION_PROGRAM), QStringList());
    ASSERT_TRUE(second.waitForStarted(5000));

    // The box is titled "Station"; answer it with Return.
    QByteArray window;
    ASSERT_EQ(xdotool(x.display, {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--name"), QStringLiteral("^Station$")},
                      &window),
              0);
    const QString id = QString::fromLatin1(window.split('\n').first().trimmed());
    ASSERT_FALSE(id.isEmpty());
    const bool finished = QTest::qWaitFor(
        [&] {
            xdotool(x.display, {QStringLiteral("windowfocus"), id});
            xdotool(x.display, {QStringLiteral("key"), QStringLiteral("Return")});
            return second.waitForFinished(500);
        },
        15000);
    if (!finished)
        second.kill();
    ASSERT_TRUE(finished);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QDir(secondDir).exists(QStringLiteral("vesk_station_logs")));
    EXPECT_TRUE(QDir(secondDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    ::kill(pid_t(first.processId()), SIGTERM);
    EXPECT_TRUE(first.waitForFinished(15000));
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
