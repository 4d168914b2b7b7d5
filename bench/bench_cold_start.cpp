// Cold start: from starting a process until the start page is shown with the
// file's 10,000 users and 3,000 devices loaded. Each iteration starts this
// program again as a child that goes through the entry point's steps (style,
// splash, hub, main window) on the offscreen platform and says "shown" once
// the window is exposed on the start page and the load has reached the
// maps; the parent's clock runs from the start of the child to that line.
//
//   bench_cold_start                  the measurement
//   bench_cold_start --child DIR      one start in DIR (used by the above)
//   bench_cold_start --fill DIR       writes the data set into DIR

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QWindow>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "core/core.h"
#include "jalt/vx_file.h"
#include "jalt/vx_time.h"
#include "storage/database.h"
#include "ui/station_mainwindow.h"
#include "vexo/application_setup.h"

namespace {
const int userCount = 10000;
const int deviceCount = 3000;
QString workDir;
QString program;

void writeConfig(const QString& dir)
{
    QString config = QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n[cells]\n");
    for (int n = 1; n <= 40; ++n)
        config += QStringLiteral("%1 = board = %2, lock = %3\n").arg(n).arg((n - 1) / 10).arg((n - 1) % 10);
    VXFile::writeAll(dir + QStringLiteral("/vesk_station.conf"), config.toUtf8());
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

// The entry point's steps, without the single-instance guard.
int child(int argc, char** argv, const QString& dir)
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
    StationMainWindow window;
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
            [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, "shown\n", 6);
            ::_exit(0);
        }
    }
    return 1;
}

void BM_ColdStartToStartPage(benchmark::State& state)
{
    for (auto _ : state) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(program, {QStringLiteral("--child"), workDir});
        bool shown = false;
        while (!shown && process.waitForReadyRead(30000))
            shown = process.readAll().contains("shown");
        const double seconds = timer.nsecsElapsed() / 1e9;
        process.waitForFinished(10000);
        if (!shown) {
            state.SkipWithError("the child did not show the start page");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_ColdStartToStartPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], "--fill") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return fill(QString::fromLocal8Bit(argv[2]));
    }

    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/station-bench-XXXXXX"));
    if (!dir.isValid())
        return 2;
    workDir = dir.path();
    program = QCoreApplication::applicationFilePath();
    writeConfig(workDir);
    if (QProcess::execute(program, {QStringLiteral("--fill"), workDir}) != 0)
        return 2;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
