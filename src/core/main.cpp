#include <csignal>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QThread>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/core.h"
#include "jalt/vx_time.h"
#include "ui/station_mainwindow.h"
#include "vexo/application_setup.h"
#include "vexo/single_application.h"

namespace {
const char* const applicationKey = "vesk-station-kiosk-7f3a";

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

// SIGTERM (a system shutdown) and SIGINT close the window like a person
// would, so the services stop in order and the state file is saved. The
// handler only writes a byte; the event loop does the rest.
void closeOnTerminationSignals(QWidget* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

QPixmap scaledSplash(const QPixmap& image)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || image.isNull() || screen->size().isNull())
        return image;
    const QSize size = screen->size();
    const double widthRatio = double(image.width()) / double(size.width());
    const double heightRatio = double(image.height()) / double(size.height());
    if (widthRatio >= heightRatio)
        return image.scaledToWidth(size.width() / 2, Qt::SmoothTransformation);
    return image.scaledToHeight(size.height() / 2, Qt::SmoothTransformation);
}
} // namespace

int main(int argc, char* argv[])
{
    // Before any thread: local dates are converted by the thousand at start.
    VXDateTime::pinLocalZone();

    // A termination request while the station starts waits for the window
    // that stops it in order; every thread started from here on inherits
    // the mask, so the request reaches this thread once it unblocks it.
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGTERM);
    sigaddset(&termination, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &termination, nullptr);

    // The guard comes before the hub: a second instance must not open a log
    // file or touch the database and the lock controller.
    QSingleApplication app(argc, argv, QString::fromLatin1(applicationKey));
    if (!app.lockError().isEmpty()) {
        // No other station is known to run: say what keeps this one from
        // starting, in its log as on the screen.
        const QString text =
            QStringLiteral("The station cannot check for another station: %1").arg(app.lockError());
        StationCore::instance()->log(text, StationCore::lcError);
        QMessageBox::critical(nullptr, QStringLiteral("Station"), text, QMessageBox::Ok);
        return 1;
    }
    if (!app.isFirst()) {
        QMessageBox::critical(nullptr, QStringLiteral("Station"),
                              QStringLiteral("Another station is running!"), QMessageBox::Ok);
        return 0;
    }

    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/logo.png")));
    QCoreApplication::setApplicationName(QString::fromLocal8Bit("vesk_station"));
    QCoreApplication::setOrganizationName(QString::fromLocal8Bit("ВЕСК"));
    QCoreApplication::setApplicationVersion(QLatin1String(Constants::version));

    QSplashScreen splash(scaledSplash(QPixmap(QStringLiteral(":/icons/splash.png"))));
    splash.show();
    QCoreApplication::processEvents();

    enableHighDPI();
    VEXO::loadTranslations(QString());

    StationCore* core = StationCore::instance();
    core->init();

    StationMainWindow window;
    closeOnTerminationSignals(&window);
    ::pthread_sigmask(SIG_UNBLOCK, &termination, nullptr);
    const int startState = core->config.child(QStringLiteral("interface"))
                               .childValue(QStringLiteral("start_state"), "0")
                               .toInt();
    if (startState == 1)
        window.showMaximized();
    else if (startState == 2)
        window.showFullScreen();
    else
        window.show();

    splash.close();
    const int result = app.exec();

    core->destroy();
    QThread::msleep(50);
    return result;
}
