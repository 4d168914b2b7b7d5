#include "jalt/vx_io_device.h"

#include <cerrno>
#include <cstring>

#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {
const int writeWaitMs = 500;

bool parsePort(const QString& text, quint16* port)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 1 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}
} // namespace

VXIODevice* VXIODevice::createFromFullPath(const QString& path)
{
    if (path.startsWith(QLatin1String("tcp:"))) {
        const QString rest = path.mid(4);
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0)
            return nullptr;
        QString host = rest.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        quint16 port = 0;
        if (host.isEmpty() || !parsePort(rest.mid(colon + 1), &port))
            return nullptr;
        return new VXEthernet(path, host, port);
    }
    if (path.startsWith(QLatin1Char('/'))) {
        QString device = path;
        int speed = 9600;
        const int at = path.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) {
            bool ok = false;
            speed = path.mid(at + 1).toInt(&ok, 10);
            if (!ok || VXSerialPort::speedConstant(speed) == 0)
                return nullptr;
            device = path.left(at);
        }
        if (device.size() < 2)
            return nullptr;
        return new VXSerialPort(path, device, speed);
    }
    return nullptr;
}

VXIODevice::VXIODevice(const QString& path)
    : fullPath(path)
    , wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{}

VXIODevice::~VXIODevice()
{
    // Derived destructors have closed the link already (the read thread calls
    // their overrides); this is for a device whose thread never started.
    close();
    if (wakeFd >= 0)
        ::close(wakeFd);
}

bool VXIODevice::isOpened() const
{
    QMutexLocker locker(&fdMutex);
    return fd >= 0 && !closed.load();
}

long VXIODevice::write(const void* data, long size)
{
    QMutexLocker locker(&fdMutex);
    if (fd < 0 || closed.load())
        return -1;
    const char* bytes = static_cast<const char*>(data);
    long done = 0;
    QElapsedTimer waited;
    waited.start();
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        const qint64 left = writeWaitMs - waited.elapsed();
        if (left <= 0)
            break;
        pollfd out{fd, POLLOUT, 0};
        ::poll(&out, 1, int(left));
    }
    return done;
}

void VXIODevice::setReopenEnabled(bool enabled)
{
    reopenEnabled.store(enabled);
    wake();
}

void VXIODevice::startThreadedRead()
{
    if (closed.load() || reader.joinable())
        return;
    stopping.store(false);
    reader = std::thread([this] { readLoop(); });
}

void VXIODevice::stopAndWait()
{
    stopping.store(true);
    wake();
    if (reader.joinable() && reader.get_id() != std::this_thread::get_id())
        reader.join();
}

void VXIODevice::close()
{
    closed.store(true);
    stopAndWait();
    QMutexLocker locker(&fdMutex);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void VXIODevice::setDescriptor(int descriptor)
{
    QMutexLocker locker(&fdMutex);
    if (fd >= 0)
        ::close(fd);
    fd = descriptor;
}

void VXIODevice::wake()
{
    if (wakeFd < 0)
        return;
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void VXIODevice::drainWake()
{
    quint64 count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
}

void VXIODevice::waitForWake(int ms)
{
    pollfd wakeup{wakeFd, POLLIN, 0};
    if (::poll(&wakeup, 1, ms) > 0)
        drainWake();
}

void VXIODevice::dropLink()
{
    QMutexLocker locker(&fdMutex);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void VXIODevice::readLoop()
{
    unsigned char buffer[4096];
    while (!stopping.load()) {
        int current = -1;
        {
            QMutexLocker locker(&fdMutex);
            current = fd;
        }
        if (current < 0) {
            if (!wantsOpen()) {
                waitForWake(retryIntervalMs);
                continue;
            }
            const int opened = openLink();
            if (stopping.load()) {
                if (opened >= 0)
                    ::close(opened);
                break;
            }
            if (opened >= 0) {
                setDescriptor(opened);
                linkOpened();
            } else {
                linkFailed();
                waitForWake(retryIntervalMs);
            }
            continue;
        }
        pollfd fds[2] = {{current, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN)
            drainWake();
        if (stopping.load())
            break;
        if (fds[0].revents == 0)
            continue;
        const ssize_t n = ::read(current, buffer, sizeof buffer);
        if (n > 0) {
            raise(QStringLiteral("threadedReadEvent"), buffer, long(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            dropLink();
            linkLost();
            // A hung-up serial port reports readiness at once; pause before
            // the reopen attempt.
            waitForWake(retryIntervalMs);
        }
    }
}

// ---------------------------------------------------------------------------

VXSerialPort::VXSerialPort(const QString& path, const QString& devicePath, int baud)
    : VXIODevice(path)
    , device(devicePath)
    , speed(baud)
{
    const int opened = openLink();
    if (opened >= 0)
        setDescriptor(opened);
}

VXSerialPort::~VXSerialPort()
{
    close();
}

unsigned VXSerialPort::speedConstant(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return 0;
    }
}

int VXSerialPort::openLink()
{
    const int descriptor =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    termios tio;
    if (::tcgetattr(descriptor, &tio) != 0) {
        ::close(descriptor);
        return -1;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t rate = speedConstant(speed);
    ::cfsetispeed(&tio, rate);
    ::cfsetospeed(&tio, rate);
    if (::tcsetattr(descriptor, TCSANOW, &tio) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

bool VXSerialPort::wantsOpen() const
{
    return isReopenEnabled() && !isClosed();
}

// ---------------------------------------------------------------------------

VXEthernet::VXEthernet(const QString& path, const QString& peerHost, quint16 peerPort)
    : VXIODevice(path)
    , host(peerHost)
    , port(peerPort)
{}

VXEthernet::~VXEthernet()
{
    close();
}

void VXEthernet::connect(bool enable)
{
    connectRequested.store(enable);
    wake();
}

QString VXEthernet::peerAddress() const
{
    if (host.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

bool VXEthernet::wantsOpen() const
{
    return connectRequested.load() && !isClosed();
}

int VXEthernet::openLink()
{
    connectRequested.store(false);
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return -1;
    int result = -1;
    for (addrinfo* candidate = found; candidate && result < 0 && !isStopping();
         candidate = candidate->ai_next) {
        const int s = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                               candidate->ai_protocol);
        if (s < 0)
            continue;
        int done = ::connect(s, candidate->ai_addr, candidate->ai_addrlen);
        if (done != 0 && errno == EINPROGRESS) {
            pollfd fds[2] = {{s, POLLOUT, 0}, {wakeDescriptor(), POLLIN, 0}};
            QElapsedTimer waited;
            waited.start();
            done = -1;
            while (!isStopping() && waited.elapsed() < connectTimeoutMs) {
                fds[1].revents = 0;
                if (::poll(fds, 2, int(connectTimeoutMs - waited.elapsed())) <= 0)
                    continue;
                if (fds[0].revents) {
                    int error = 0;
                    socklen_t length = sizeof error;
                    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length);
                    done = error == 0 ? 0 : -1;
                    break;
                }
                // A wake-up (reopen switched, a connect request) must not
                // cut the attempt short unless the thread is stopping.
                quint64 count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wakeDescriptor(), &count, sizeof count);
            }
        }
        if (done == 0) {
            const int one = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            result = s;
        } else {
            ::close(s);
        }
    }
    ::freeaddrinfo(found);
    return result;
}

void VXEthernet::linkOpened()
{
    raise(QStringLiteral("connected"));
}

void VXEthernet::linkFailed()
{
    raise(QStringLiteral("disconnected"));
    if (isReopenEnabled())
        connectRequested.store(true);
}

void VXEthernet::linkLost()
{
    raise(QStringLiteral("disconnected"));
    if (isReopenEnabled())
        connectRequested.store(true);
}
