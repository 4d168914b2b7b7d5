#include "lock_simulator.h"

#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {
unsigned char sum(const char* data, int n)
{
    unsigned char s = 0;
    for (int i = 0; i < n; ++i)
        s = static_cast<unsigned char>(s + static_cast<unsigned char>(data[i]));
    return s;
}

unsigned char xorOf(const char* data, int n)
{
    unsigned char s = 0;
    for (int i = 0; i < n; ++i)
        s ^= static_cast<unsigned char>(data[i]);
    return s;
}

void makeRaw(int fd)
{
    termios tio;
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
}
} // namespace

LockSimulator::LockSimulator(Protocol p)
    : protocol(p)
    , wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{}

LockSimulator::~LockSimulator()
{
    stopping.store(true);
    wake();
    if (thread.joinable())
        thread.join();
    closeClient();
    for (int fd : {masterFd, holdFd, listenFd, wakeFd})
        if (fd >= 0)
            ::close(fd);
}

qint64 LockSimulator::nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString LockSimulator::listenPty()
{
    if (thread.joinable())
        return QString();
    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0 || ::grantpt(masterFd) != 0 || ::unlockpt(masterFd) != 0)
        return QString();
    const char* name = ::ptsname(masterFd);
    if (!name)
        return QString();
    holdFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (holdFd < 0)
        return QString();
    makeRaw(holdFd);
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    clientFd = masterFd;
    {
        QMutexLocker locker(&mutex);
        path = QString::fromLocal8Bit(name);
    }
    thread = std::thread([this] { loop(); });
    return devicePath();
}

QString LockSimulator::listenTcp(quint16 port)
{
    if (thread.joinable())
        return QString();
    tcpPort = port;
    if (!openListener())
        return QString();
    listening.store(true);
    {
        QMutexLocker locker(&mutex);
        path = QStringLiteral("tcp:127.0.0.1:%1").arg(tcpPort);
    }
    thread = std::thread([this] { loop(); });
    return devicePath();
}

bool LockSimulator::openListener()
{
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd < 0)
        return false;
    const int one = 1;
    ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(tcpPort);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listenFd, 4) != 0) {
        ::close(listenFd);
        listenFd = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    tcpPort = ntohs(address.sin_port);
    return true;
}

QString LockSimulator::devicePath() const
{
    QMutexLocker locker(&mutex);
    return path;
}

void LockSimulator::setAccepting(bool accepting)
{
    wantAccepting.store(accepting);
    wake();
    for (int waited = 0; listening.load() != accepting && waited < 2000 && thread.joinable(); ++waited)
        ::usleep(1000);
}

void LockSimulator::dropClient()
{
    wantDrop.store(true);
    wake();
}

void LockSimulator::setDoor(int board, int lock, bool open)
{
    if (lock < 0 || lock > 31)
        return;
    QMutexLocker locker(&mutex);
    if (open)
        doors[board] |= quint32(1) << lock;
    else
        doors[board] &= ~(quint32(1) << lock);
}

void LockSimulator::closeAll()
{
    QMutexLocker locker(&mutex);
    doors.clear();
}

bool LockSimulator::isDoorOpen(int board, int lock) const
{
    if (lock < 0 || lock > 31)
        return false;
    QMutexLocker locker(&mutex);
    return (doors.value(board) >> lock) & 1;
}

void LockSimulator::setJammed(int board, int lock, bool jam)
{
    if (lock < 0 || lock > 31)
        return;
    QMutexLocker locker(&mutex);
    if (jam)
        jammed[board] |= quint32(1) << lock;
    else
        jammed[board] &= ~(quint32(1) << lock);
}

void LockSimulator::dropAnswers(int count)
{
    QMutexLocker locker(&mutex);
    toDrop = count;
}

void LockSimulator::garbleAnswers(int count)
{
    QMutexLocker locker(&mutex);
    toGarble = count;
}

void LockSimulator::setEcho(bool on)
{
    QMutexLocker locker(&mutex);
    echo = on;
}

void LockSimulator::setLocksPerAnswer(int count)
{
    QMutexLocker locker(&mutex);
    locksPerAnswer = qBound(0, count, 246);
}

void LockSimulator::setStalled(bool stalled)
{
    if (masterFd < 0)
        return;
    // The line's settings are shared by both ends. With IXON on, a STOP byte
    // from this end stops the station's output; turning IXON off starts it
    // again.
    termios tio;
    if (::tcgetattr(masterFd, &tio) != 0)
        return;
    if (stalled)
        tio.c_iflag |= IXON;
    else
        tio.c_iflag &= ~tcflag_t(IXON);
    ::tcsetattr(masterFd, TCSANOW, &tio);
    if (stalled) {
        const char stop = 0x13;
        [[maybe_unused]] const ssize_t n = ::write(masterFd, &stop, 1);
    }
}

QVector<LockSimulator::Frame> LockSimulator::frames() const
{
    QMutexLocker locker(&mutex);
    return received;
}

void LockSimulator::clearFrames()
{
    QMutexLocker locker(&mutex);
    received.clear();
}

void LockSimulator::setFrameCallback(std::function<void(const Frame&)> callback)
{
    QMutexLocker locker(&mutex);
    frameCallback = std::move(callback);
}

QByteArray
LockSimulator::answerFrame(Protocol protocol, int board, unsigned char command, quint32 openBits, int locks)
{
    QByteArray frame;
    if (protocol == Protocol::V1_7) {
        frame.append(char(0x02));
        frame.append(char((board & 0x0F) << 4));
        frame.append(char(command));
        for (int i = 0; i < 4; ++i)
            frame.append(char(~(openBits >> (8 * i)) & 0xFF)); // a set bit is a closed door
        frame.append(char(0x03));
        frame.append(char(sum(frame.constData(), frame.size())));
        return frame;
    }
    frame.append("WKLY", 4);
    frame.append(char(9 + locks));
    frame.append(char(board & 0xFF));
    frame.append(char(command));
    frame.append(char(0));
    for (int i = 0; i < locks; ++i)
        frame.append(char(i < 32 && ((openBits >> i) & 1) ? 0 : 1));
    frame.append(char(xorOf(frame.constData(), frame.size())));
    return frame;
}

void LockSimulator::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void LockSimulator::closeClient()
{
    if (clientFd >= 0 && clientFd != masterFd)
        ::close(clientFd);
    if (clientFd != masterFd)
        clientFd = -1;
    input.clear();
}

void LockSimulator::loop()
{
    char buffer[4096];
    while (!stopping.load()) {
        if (masterFd < 0) {
            // A drop asked for before the client is accepted waits for it:
            // the station may see its connect succeed before this loop does.
            if (clientFd >= 0 && wantDrop.exchange(false))
                closeClient();
            const bool accepting = wantAccepting.load();
            if (!accepting && listenFd >= 0) {
                ::close(listenFd);
                listenFd = -1;
            } else if (accepting && listenFd < 0) {
                openListener();
            }
            listening.store(listenFd >= 0);
        }
        pollfd fds[3];
        int n = 0;
        fds[n++] = {wakeFd, POLLIN, 0};
        const int clientIndex = clientFd >= 0 ? n : -1;
        if (clientFd >= 0)
            fds[n++] = {clientFd, POLLIN, 0};
        const int listenIndex = listenFd >= 0 ? n : -1;
        if (listenFd >= 0)
            fds[n++] = {listenFd, POLLIN, 0};
        if (::poll(fds, nfds_t(n), 200) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd, &count, sizeof count);
        }
        if (listenIndex >= 0 && (fds[listenIndex].revents & POLLIN)) {
            const int s = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (s >= 0) {
                // The newest connection wins, as with a controller that
                // serves one client.
                closeClient();
                const int one = 1;
                ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                clientFd = s;
                ++accepted;
            }
        }
        if (clientIndex >= 0 && fds[clientIndex].revents) {
            const ssize_t got = ::read(clientFd, buffer, sizeof buffer);
            if (got > 0) {
                input.append(buffer, int(got));
                parse();
            } else if (got == 0 && clientFd != masterFd) {
                closeClient();
            }
        }
    }
}

void LockSimulator::parse()
{
    const qint64 at = nowUs();
    int pos = 0;
    const int frameSize = protocol == Protocol::V1_7 ? 5 : 9;
    while (input.size() - pos >= frameSize) {
        const char* f = input.constData() + pos;
        Frame frame;
        bool valid = false;
        if (protocol == Protocol::V1_7) {
            valid = f[0] == 0x02 && f[3] == 0x03 && static_cast<unsigned char>(f[4]) == sum(f, 4);
            if (valid) {
                const unsigned char address = static_cast<unsigned char>(f[1]);
                frame.board = address >> 4;
                frame.lock = address & 0x0F;
                frame.open = static_cast<unsigned char>(f[2]) == 0x31;
            }
        } else {
            valid = std::memcmp(f, "WKLY", 4) == 0 && f[4] == 9
                    && static_cast<unsigned char>(f[8]) == xorOf(f, 8);
            if (valid) {
                frame.board = static_cast<unsigned char>(f[5]);
                frame.lock = static_cast<unsigned char>(f[7]);
                frame.open = static_cast<unsigned char>(f[6]) == 0x82;
            }
        }
        if (!valid) {
            ++pos;
            continue;
        }
        frame.bytes = QByteArray(f, frameSize);
        frame.atUs = at;
        if (!frame.open)
            frame.lock = 0;
        pos += frameSize;
        handle(frame);
    }
    input.remove(0, pos);
}

void LockSimulator::handle(const Frame& frame)
{
    QByteArray answer;
    bool sendEcho = false;
    std::function<void(const Frame&)> callback;
    {
        QMutexLocker locker(&mutex);
        received.append(frame);
        callback = frameCallback;
        if (frame.open && frame.lock < 32 && !((jammed.value(frame.board) >> frame.lock) & 1))
            doors[frame.board] |= quint32(1) << frame.lock;
        answer = answerFrame(protocol, frame.board,
                             static_cast<unsigned char>(frame.bytes.at(protocol == Protocol::V1_7 ? 2 : 6)),
                             doors.value(frame.board), locksPerAnswer);
        sendEcho = echo;
        if (toDrop > 0) {
            --toDrop;
            answer.clear();
        } else if (toGarble > 0) {
            --toGarble;
            answer[answer.size() - 1] = char(answer.at(answer.size() - 1) ^ 0x5A);
        }
    }
    if (callback)
        callback(frame);
    if (sendEcho)
        send(frame.bytes);
    if (!answer.isEmpty())
        send(answer);
}

void LockSimulator::send(const QByteArray& bytes)
{
    int done = 0;
    while (clientFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(clientFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else {
            pollfd out{clientFd, POLLOUT, 0};
            if (::poll(&out, 1, 200) <= 0)
                return;
        }
    }
}
