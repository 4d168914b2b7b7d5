#include "fuzz_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QVector>

#include "core/core.h"
#include "jalt/vx_time.h"

namespace {
struct ManualClock : VXClock::Source
{
    std::atomic<qint64> ms{1000000};
    qint64 monotonicMSec() override { return ms.load(); }
    QDateTime now() override
    {
        return QDateTime(QDate(2026, 3, 20), QTime(12, 0), Qt::LocalTime).addMSecs(ms.load());
    }
};

ManualClock manualClock;
QTemporaryDir* workDir = nullptr;
QVector<QByteArray> arguments;
QVector<char*> argumentPointers;

// libFuzzer reads its arguments after the targets have moved into their
// working directory: paths given relative to where the run started (the
// corpus, the crash files) are made absolute first, and crash files are
// written there unless told otherwise.
void absolutePaths(int* argc, char*** argv)
{
    const QDir start = QDir::current();
    const QString pathFlags[] = {QStringLiteral("-artifact_prefix="), QStringLiteral("-exact_artifact_path="),
                                 QStringLiteral("-dict=")};
    bool artifactPrefix = false;
    for (int i = 0; i < *argc; ++i) {
        QString argument = QString::fromLocal8Bit((*argv)[i]);
        if (i > 0 && !argument.startsWith(QLatin1Char('-'))) {
            argument = start.absoluteFilePath(argument);
        } else {
            for (const QString& flag : pathFlags) {
                if (argument.startsWith(flag)) {
                    // A prefix names a directory only when it ends in "/".
                    const QString path = argument.mid(flag.size());
                    argument = flag + start.absoluteFilePath(path)
                               + (path.endsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString());
                    artifactPrefix = artifactPrefix || flag == pathFlags[0] || flag == pathFlags[1];
                }
            }
        }
        arguments.append(argument.toLocal8Bit());
    }
    if (!artifactPrefix)
        arguments.append(QStringLiteral("-artifact_prefix=%1/").arg(start.absolutePath()).toLocal8Bit());
    for (QByteArray& argument : arguments)
        argumentPointers.append(argument.data());
    argumentPointers.append(nullptr);
    *argc = arguments.size();
    *argv = argumentPointers.data();
}

// Debug lines ("rcv 4.0 checksum failed") would be printed for nearly every
// input; warnings still show.
void dropDebug(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
} // namespace

void FuzzSupport::init(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "C.UTF-8");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    qputenv("no_proxy", "*");
    qInstallMessageHandler(dropDebug);
    VXClock::setSource(&manualClock);
    absolutePaths(argc, argv);

    // In memory where the machine has it: the station syncs every file it
    // saves, which on a disk would make a run a thousand times slower.
    const QString memory = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(memory).isWritable() ? memory : QDir::tempPath();
    workDir = new QTemporaryDir(base + QStringLiteral("/station-fuzz-XXXXXX"));
    if (!workDir->isValid())
        fail("cannot create a working directory");
    QDir::setCurrent(workDir->path());
    std::atexit([] {
        QDir::setCurrent(QDir::tempPath());
        delete workDir;
    });
    // The log writer cannot make its directory where a file of that name
    // stands, and then drops its lines.
    QFile blocker(QStringLiteral("vesk_station_logs"));
    if (!blocker.open(QIODevice::WriteOnly))
        fail("cannot block the log directory");

    new QCoreApplication(*argc, *argv);
}

StationCore* FuzzSupport::station()
{
    return StationCore::instance();
}

void FuzzSupport::advanceClock(qint64 ms)
{
    manualClock.ms += ms;
}

void FuzzSupport::fail(const char* what, const QByteArray& detail)
{
    std::fprintf(stderr, "FINDING: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "%s\n", detail.constData());
    std::abort();
}
