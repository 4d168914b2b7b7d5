// The shared main of every test program: a fixed environment (offscreen
// platform, a time zone other than UTC, silent sound), a QApplication, and a
// private temporary working directory, entered before anything can create the
// station's hub (whose log writer opens its file in the working directory).

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

namespace
{
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
    const int result = RUN_ALL_TESTS();
    QDir::setCurrent(QDir::tempPath());
    return result;
}
