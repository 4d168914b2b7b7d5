// The shared main of every test program: a fixed environment (offscreen
// platform, a time zone other than UTC, silent sound), a QApplication, and for
// each case a fresh working directory, entered before anything can create the
// station's hub (whose log writer opens its file in the working directory).
// Between cases the hub and the database are ended, so a case run with the
// others in one process starts as it does alone under ctest.

#include <cstdio>
#include <ctime>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "core/core.h"
#include "jalt/vx_time.h"
#include "storage/database.h"

namespace
{
class FreshStationPerCase : public ::testing::EmptyTestEventListener
{
public:
    explicit FreshStationPerCase(const QString& root)
        : root(root)
    {}

    void OnTestStart(const ::testing::TestInfo&) override
    {
        caseDir = std::make_unique<QTemporaryDir>(root + QStringLiteral("/case-XXXXXX"));
        caseDir->setAutoRemove(qEnvironmentVariableIsEmpty("STATION_KEEP_TMP"));
        if (!caseDir->isValid() || !QDir::setCurrent(caseDir->path()))
            ADD_FAILURE() << "cannot enter a working directory under " << root.toStdString();
    }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        // The database thread logs through the hub: it stops first. The
        // hub's teardown may reach for the database again.
        Database::resetInstance();
        StationCore::resetInstance();
        Database::resetInstance();
        // A case that failed before putting the system clock back.
        VXClock::setSource(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDir::setCurrent(root);
        caseDir.reset();
    }

private:
    const QString root;
    std::unique_ptr<QTemporaryDir> caseDir;
};

// Qt warnings such as "No matching signal for on_..." mean a broken
// connection by name: they fail the running test.
void failOnWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const QByteArray text = message.toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
    // The offscreen platform says this of every shown window; it means nothing.
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        ADD_FAILURE() << "Qt warning: " << text.constData();
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "C.UTF-8");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    qputenv("QT_GSTREAMER_PLAYBIN_AUDIOSINK", "fakesink");
    qputenv("no_proxy", "*");
    ::testing::InitGoogleTest(&argc, argv);

    QTemporaryDir workDir(QDir::tempPath() + QStringLiteral("/station-test-XXXXXX"));
    if (!workDir.isValid()) {
        std::fprintf(stderr, "cannot create a working directory\n");
        return 2;
    }
    workDir.setAutoRemove(qEnvironmentVariableIsEmpty("STATION_KEEP_TMP"));
    if (!workDir.autoRemove())
        std::fprintf(stderr, "working directory kept: %s\n", qPrintable(workDir.path()));
    // A private runtime directory: the single-instance lock of each test's
    // station is its own.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(workDir.path()));
    QDir::setCurrent(workDir.path());

    QApplication app(argc, argv);
    qInstallMessageHandler(failOnWarning);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStationPerCase(workDir.path()));
    const int result = RUN_ALL_TESTS();
    QDir::setCurrent(QDir::tempPath());
    return result;
}
