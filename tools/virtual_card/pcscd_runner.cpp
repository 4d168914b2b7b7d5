#include "virtual_card/pcscd_runner.h"

#include <cerrno>
#include <csignal>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <winscard.h>

namespace {
const char* const lockPath = "/tmp/station-pcscd.lock";
const char* const pidPath = "/run/pcscd/pcscd.pid";
const char* const driverPath = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
// Long enough for the tests of another build queued on the same lock.
const int lockTimeoutMs = 240000;

// pcscd ends with the process that started it, also when that process is
// killed (a test past its time limit): an orphaned daemon would hold the
// machine's one pcscd socket and fail every later test.
class DaemonProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }
};

quint16 freeLoopbackPort()
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), size) == 0
        && ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(handle);
    return port;
}

pid_t runningDaemon()
{
    QFile file(QString::fromLatin1(pidPath));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const pid_t pid = pid_t(file.readAll().trimmed().toLongLong(&ok));
    if (!ok || pid <= 0)
        return 0;
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return 0;
    return pid;
}
} // namespace

PcscdRunner::PcscdRunner()
{
    const int handle = ::open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (handle < 0) {
        lastError = QStringLiteral("cannot open %1").arg(QString::fromLatin1(lockPath));
        return;
    }
    QElapsedTimer waited;
    waited.start();
    while (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        if (waited.elapsed() > lockTimeoutMs) {
            ::close(handle);
            lastError = QStringLiteral("another user of pcscd holds %1").arg(QString::fromLatin1(lockPath));
            return;
        }
        QThread::msleep(20);
    }
    lockFd = handle;
    // A daemon of a previous holder is still shutting down, or one that
    // nobody of ours started runs: wait for it, but never take it over.
    if (!waitForNoDaemon(10000)) {
        ::close(lockFd);
        lockFd = -1;
        lastError = QStringLiteral("a pcscd (pid %1) that is not ours keeps running").arg(runningDaemon());
        return;
    }
    driverPort = freeLoopbackPort();
    configDir = QDir::current().absoluteFilePath(QStringLiteral("pcscd-readers"));
}

PcscdRunner::~PcscdRunner()
{
    stop();
    if (lockFd >= 0)
        ::close(lockFd);
}

bool PcscdRunner::start()
{
    if (!isReady())
        return false;
    if (daemon)
        return true;
    if (!QFile::exists(QString::fromLatin1(driverPath))) {
        lastError =
            QStringLiteral("the vpcd driver %1 is not installed").arg(QString::fromLatin1(driverPath));
        return false;
    }
    // The port was free when chosen but may be taken before the driver binds
    // it: then the daemon lists no reader, and another port is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            driverPort = freeLoopbackPort();
        if (startOnce())
            return true;
        stop();
        if (!lastError.startsWith(QLatin1String("pcscd lists no reader")))
            return false;
    }
    return false;
}

bool PcscdRunner::startOnce()
{
    QDir().mkpath(configDir);
    QFile conf(configDir + QStringLiteral("/vpcd"));
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        lastError = QStringLiteral("cannot write %1").arg(conf.fileName());
        return false;
    }
    // "/dev/null:<port>" makes the driver listen on that port for a card.
    conf.write(QStringLiteral("FRIENDLYNAME \"Virtual PCD\"\n"
                              "DEVICENAME   /dev/null:%1\n"
                              "LIBPATH      %2\n"
                              "CHANNELID    %1\n")
                   .arg(driverPort)
                   .arg(QString::fromLatin1(driverPath))
                   .toLatin1());
    conf.close();

    const QString logPath = QDir::current().absoluteFilePath(QStringLiteral("pcscd.log"));
    QFile::remove(logPath);
    daemon = std::make_unique<DaemonProcess>();
    daemon->setProgram(QStringLiteral("pcscd"));
    daemon->setArguments({QStringLiteral("-f"), QStringLiteral("-c"), configDir});
    daemon->setProcessChannelMode(QProcess::MergedChannels);
    daemon->setStandardOutputFile(logPath);
    daemon->start();
    if (!daemon->waitForStarted(5000)) {
        lastError = QStringLiteral("pcscd does not start: %1").arg(daemon->errorString());
        daemon.reset();
        return false;
    }
    if (!waitForReader(5000)) {
        QFile log(logPath);
        log.open(QIODevice::ReadOnly);
        lastError = QStringLiteral("pcscd lists no reader on port %1; its output: %2")
                        .arg(driverPort)
                        .arg(QString::fromLocal8Bit(log.readAll().right(2000)));
        return false;
    }
    return true;
}

void PcscdRunner::stop()
{
    if (!daemon)
        return;
    daemon->terminate();
    if (!daemon->waitForFinished(5000)) {
        daemon->kill();
        daemon->waitForFinished(2000);
    }
    daemon.reset();
    waitForNoDaemon(5000);
}

bool PcscdRunner::restart()
{
    stop();
    return start();
}

bool PcscdRunner::waitForNoDaemon(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    // A socket file left by a daemon that died is cleaned up by the next one.
    while (runningDaemon() != 0) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

bool PcscdRunner::waitForReader(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (daemon->state() == QProcess::NotRunning)
            return false;
        SCARDCONTEXT context = 0;
        if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS) {
            DWORD length = 0;
            const LONG listed = SCardListReaders(context, nullptr, nullptr, &length);
            SCardReleaseContext(context);
            if (listed == SCARD_S_SUCCESS && length > 1)
                return true;
        }
        QThread::msleep(10);
    }
    return false;
}
