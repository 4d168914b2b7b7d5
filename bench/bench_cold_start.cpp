// Cold start: from starting a process until the start page is shown with the
// file's 10,000 users and 3,000 devices loaded, for cabinets of several
// sizes. Each iteration starts this program again as a child that goes
// through the entry point's steps (style, splash, hub, main window) on the
// offscreen platform and says "shown" once the window is exposed on the start
// page and the load has reached the maps; the parent's clock runs from the
// start of the child to that line. The child also tells its peak and current
// resident memory and how long the main window took to build. The rest
// benchmarks let a started child show a screen, time that first display
// until every widget of it is shown and painted, and count its CPU time
// while it sits there.
//
//   bench_cold_start [--cells=0,40,200]   the measurements, per cell count
//   bench_cold_start --child DIR          one start in DIR (used by the above)
//   bench_cold_start --rest DIR SCREEN MS one start, then CPU time on SCREEN
//   bench_cold_start --fill DIR           writes the data set into DIR

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/core.h"
#include "jalt/vx_file.h"
#include "jalt/vx_time.h"
#include "storage/database.h"
#include "ui/admin_page.h"
#include "ui/cell_button.h"
#include "ui/station_mainwindow.h"
#include "vexo/application_setup.h"

namespace {
const int userCount = 10000;
const int deviceCount = 3000;
QString program;
// One working directory with the data set per cell count.
QMap<int, QString> workDirs;
QList<int> cellCounts{0, 40, 200};

// Ten locks per board; each board is a column of the grid.
void writeConfig(const QString& dir, int cells)
{
    QString config = QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n[cells]\n");
    for (int n = 1; n <= cells; ++n)
        config += QStringLiteral("%1 = board = %2, lock = %3\n").arg(n).arg((n - 1) / 10).arg((n - 1) % 10);
    VXFile::writeAll(dir + QStringLiteral("/vesk_station.conf"), config.toUtf8());
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void say(const QByteArray& line)
{
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line.constData(), size_t(line.size()));
}

int fill(const QString& dir)
{
    QDir::setCurrent(dir);
    Database* db = Database::instance();
    db->setDatabase(QStringLiteral("vesk_station_db.dat"));
    if (!db->start())
        return 1;
    db->init();
    const QDateTime base(QDate(2026, 3, 1), QTime(10, 0));
    db->lock();
    for (int id = 1; id <= userCount; ++id) {
        DatabaseStructs::User user;
        user.id = id;
        user.name = QStringLiteral("Employee %1").arg(id);
        user.login = QStringLiteral("login%1").arg(id);
        user.personNumber = QString::number(100000 + id);
        user.passwordHash = QByteArray(32, char(id));
        user.updateDate = base.addSecs(qint64(id) * 3181);
        user.roleUpdateDate = user.updateDate.addSecs(-86400);
        db->addUser(user);
    }
    for (int id = 1; id <= deviceCount; ++id) {
        DatabaseStructs::Device device;
        device.id = id;
        device.name = QStringLiteral("Handheld %1").arg(id);
        device.serial = QStringLiteral("SN%1").arg(id, 6, 10, QLatin1Char('0'));
        device.userId = id % 7 == 0 ? id : 0;
        device.lastCharge = id % 100;
        device.updateDate = base.addSecs(qint64(id) * 10007);
        db->addDevice(device);
    }
    db->unlock();
    db->stop();
    return db->usersCount() == userCount ? 0 : 1;
}

// The entry point's steps, without the single-instance guard. With a
// screen, the child then shows that screen and reports its CPU time over
// restMs instead of exiting at the start page.
int child(int argc, char** argv, const QString& dir, int screen = -1, int restMs = 0)
{
    VXDateTime::pinLocalZone();
    QApplication app(argc, argv);
    QDir::setCurrent(dir);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.png")));
    QSplashScreen splash(QPixmap(QStringLiteral(":/icons/splash.png")));
    splash.show();
    QCoreApplication::processEvents();
    enableHighDPI();
    VEXO::loadTranslations(QString());
    StationCore::instance()->init();
    QElapsedTimer construction;
    construction.start();
    StationMainWindow window;
    const qint64 constructionNs = construction.nsecsElapsed();
    window.show();
    splash.close();
    const Database* db = Database::instance();
    QElapsedTimer limit;
    limit.start();
    while (limit.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (window.windowHandle() && window.windowHandle()->isExposed()
            && window.stackedMain->currentIndex() == Constants::asStart && db->usersCount() == userCount
            && db->devicesCount() == deviceCount) {
            // The page with the loaded data painted once.
            window.repaint();
            if (screen < 0) {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                say(QStringLiteral("shown %1 %2 %3\n")
                        .arg(usage.ru_maxrss)
                        .arg(residentKiB())
                        .arg(constructionNs)
                        .toLatin1());
                ::_exit(0);
            }
            break;
        }
    }
    if (screen < 0 || limit.elapsed() >= 30000)
        return 1;
    // How long the screen takes to show and paint the first time.
    QElapsedTimer entry;
    entry.start();
    StationCore::instance()->setActiveScreen(Constants::ActiveScreen(screen));
    if (screen == Constants::asAdministration)
        window.pageAdministration->enter(DatabaseStructs::User());
    // Widgets added to a shown page show at the next turn of the event loop
    // (the cells tab's buttons are made when the grid first shows): the
    // first display lasts until every one is shown, laid out and painted.
    const QList<StationCellButton*> buttons = window.findChildren<StationCellButton*>();
    while (!std::all_of(buttons.cbegin(), buttons.cend(), [](const QWidget* w) { return w->isVisible(); })
           && entry.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window.repaint();
    const qint64 entryNs = entry.nsecsElapsed();
    // Settle (first paint of the page, work left for later), then count.
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1000);
    if (window.stackedMain->currentIndex() != screen)
        return 1;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer rest;
    rest.start();
    runFor(restMs);
    const double share = (cpuSeconds() - cpuBefore) / (rest.nsecsElapsed() / 1e9);
    say(QStringLiteral("rest %1 %2 %3\n").arg(share, 0, 'f', 5).arg(residentKiB()).arg(entryNs).toLatin1());
    ::_exit(0);
}

QProcess* startChild(const QStringList& arguments)
{
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->start(program, arguments);
    return process;
}

// Waits for the child's line that starts with word; its fields after it.
QList<QByteArray> readReport(QProcess* process, const QByteArray& word)
{
    QByteArray out;
    while (process->waitForReadyRead(60000)) {
        out += process->readAll();
        const int at = out.indexOf(word + ' ');
        if (at >= 0 && out.indexOf('\n', at) > at)
            return out.mid(at, out.indexOf('\n', at) - at).split(' ').mid(1);
    }
    return {};
}

void BM_ColdStartToStartPage(benchmark::State& state)
{
    const int cells = int(state.range(0));
    double peakKiB = 0.0;
    double residentAtStart = 0.0;
    double constructionMs = 0.0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QScopedPointer<QProcess> process(startChild({QStringLiteral("--child"), workDirs.value(cells)}));
        const QList<QByteArray> report = readReport(process.data(), "shown");
        const double seconds = timer.nsecsElapsed() / 1e9;
        process->waitForFinished(10000);
        if (report.size() != 3) {
            state.SkipWithError("the child did not show the start page");
            return;
        }
        peakKiB = std::max(peakKiB, report.at(0).toDouble());
        residentAtStart = std::max(residentAtStart, report.at(1).toDouble());
        constructionMs += report.at(2).toDouble() / 1e6;
        state.SetIterationTime(seconds);
    }
    state.counters["peak_MB"] = peakKiB / 1024.0;
    state.counters["rss_MB"] = residentAtStart / 1024.0;
    state.counters["window_ms"] = constructionMs / double(state.iterations());
}

// CPU share of a core while the station sits on a screen with nothing
// happening, its resident memory there, and how long the screen took to
// show the first time.
void restOn(benchmark::State& state, Constants::ActiveScreen screen)
{
    const int cells = int(state.range(0));
    double share = 0.0;
    double resident = 0.0;
    double entryMs = 0.0;
    for (auto _ : state) {
        QScopedPointer<QProcess> process(startChild({QStringLiteral("--rest"), workDirs.value(cells),
                                                     QString::number(int(screen)), QStringLiteral("10000")}));
        const QList<QByteArray> report = readReport(process.data(), "rest");
        process->waitForFinished(10000);
        if (report.size() != 3) {
            state.SkipWithError("the child did not reach the screen");
            return;
        }
        share = report.at(0).toDouble();
        resident = report.at(1).toDouble();
        entryMs = report.at(2).toDouble() / 1e6;
    }
    state.counters["cpu_%"] = share * 100.0;
    state.counters["rss_MB"] = resident / 1024.0;
    state.counters["enter_ms"] = entryMs;
}

void BM_RestAdminCellsTab(benchmark::State& state)
{
    restOn(state, Constants::asAdministration);
}

void BM_RestStartPage(benchmark::State& state)
{
    restOn(state, Constants::asStart);
}

void cellArguments(benchmark::internal::Benchmark* bench)
{
    for (int cells : qAsConst(cellCounts))
        bench->Arg(cells);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 5 && qstrcmp(argv[1], "--rest") == 0)
        return child(argc, argv, QString::fromLocal8Bit(argv[2]), atoi(argv[3]), atoi(argv[4]));
    if (argc == 3 && qstrcmp(argv[1], "--fill") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]));
    }

    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (qstrncmp(argv[i], "--cells=", 8) != 0)
            continue;
        cellCounts.clear();
        for (const QByteArray& count : QByteArray(argv[i] + 8).split(','))
            cellCounts.append(count.toInt());
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        break;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/station-bench-XXXXXX"));
    if (!dir.isValid())
        return 2;
    program = QCoreApplication::applicationFilePath();
    for (int cells : qAsConst(cellCounts)) {
        const QString workDir = dir.path() + QStringLiteral("/cells-%1").arg(cells);
        if (!QDir().mkpath(workDir))
            return 2;
        writeConfig(workDir, cells);
        if (QProcess::execute(program, {QStringLiteral("--fill"), workDir}) != 0)
            return 2;
        workDirs.insert(cells, workDir);
    }
    benchmark::RegisterBenchmark("BM_ColdStartToStartPage", BM_ColdStartToStartPage)
        ->Apply(cellArguments)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10);
    benchmark::RegisterBenchmark("BM_RestAdminCellsTab", BM_RestAdminCellsTab)
        ->Apply(cellArguments)
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_RestStartPage", BM_RestStartPage)
        ->Apply(cellArguments)
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
