#include "virtual_card/virtual_card.h"

#include <cerrno>

#include <QDateTime>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Control messages of the driver: one byte long.
const char ctrlPowerOff = 0;
const char ctrlPowerOn = 1;
const char ctrlReset = 2;
const char ctrlAtr = 4;
const int sliceMs = 5;

QByteArray status(uchar sw1, uchar sw2)
{
    QByteArray sw;
    sw.append(char(sw1));
    sw.append(char(sw2));
    return sw;
}
} // namespace

VirtualCard::VirtualCard(quint16 driverPort)
    : VirtualCard(driverPort, Settings())
{}

VirtualCard::VirtualCard(quint16 driverPort, const Settings& initial)
    : port(driverPort)
    , settings(initial)
{
    thread = std::thread([this] { loop(); });
}

VirtualCard::~VirtualCard()
{
    quit.store(true);
    changed.notify_all();
    thread.join();
    closeLink();
}

void VirtualCard::setSettings(const Settings& next)
{
    std::lock_guard<std::mutex> locker(mutex);
    settings = next;
}

void VirtualCard::insert()
{
    firstAtr.store(0);
    firstCommand.store(0);
    inserted.store(true);
    changed.notify_all();
}

void VirtualCard::remove()
{
    inserted.store(false);
    std::unique_lock<std::mutex> locker(mutex);
    // Wakes the card's thread should it wait inside a frame.
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    changed.notify_all();
    changed.wait(locker, [this] { return !connected.load() || quit.load(); });
}

QList<QByteArray> VirtualCard::commands() const
{
    std::lock_guard<std::mutex> locker(mutex);
    return received;
}

void VirtualCard::clearCommands()
{
    std::lock_guard<std::mutex> locker(mutex);
    received.clear();
}

QByteArray VirtualCard::atr()
{
    // The storage-card ATR that PC/SC readers report: T=0 and T=1, card name 00 01
    // (MIFARE Classic 1K).
    return QByteArray::fromHex("3B8F8001804F0CA000000306030001000000006A");
}

QByteArray VirtualCard::answer(const QByteArray& command)
{
    std::lock_guard<std::mutex> locker(mutex);
    received.append(command);
    if (command.size() < 5 || uchar(command.at(0)) != 0xff)
        return status(0x6e, 0x00);
    const uchar ins = uchar(command.at(1));
    switch (ins) {
    case 0x00: // reader control: buzzer and lights
        return status(0x90, 0x00);
    case 0x82: // load key into the reader's key slot
        if (command.size() != 11 || uchar(command.at(4)) != 6)
            return status(0x67, 0x00);
        if (settings.refuseLoadKey)
            return status(0x63, 0x00);
        loadedKey = command.mid(5, 6);
        return status(0x90, 0x00);
    case 0x86: { // general authenticate with the loaded key
        if (command.size() != 10 || uchar(command.at(5)) != 0x01)
            return status(0x67, 0x00);
        const int block = uchar(command.at(7));
        const uchar keyType = uchar(command.at(8));
        if (keyType != 0x60 || loadedKey.isEmpty() || loadedKey != settings.key || block / 4 != 2) {
            authenticatedSector = -1;
            return status(0x63, 0x00);
        }
        authenticatedSector = block / 4;
        return status(0x90, 0x00);
    }
    case 0xb0: { // read binary: one block
        if (!settings.readReply.isEmpty())
            return settings.readReply;
        const int block = uchar(command.at(3));
        if (block / 4 != authenticatedSector)
            return status(0x69, 0x82);
        QByteArray data = block == 8 ? settings.block8.leftJustified(16, '\0', true) : QByteArray(16, '\0');
        return data + status(0x90, 0x00);
    }
    default:
        return status(0x6d, 0x00);
    }
}

void VirtualCard::loop()
{
    while (!quit.load()) {
        if (!inserted.load()) {
            if (fd >= 0)
                closeLink();
            std::unique_lock<std::mutex> locker(mutex);
            changed.wait_for(locker, std::chrono::milliseconds(20),
                             [this] { return inserted.load() || quit.load(); });
            continue;
        }
        if (fd < 0 && !connectToDriver()) {
            std::unique_lock<std::mutex> locker(mutex);
            changed.wait_for(locker, std::chrono::milliseconds(sliceMs),
                             [this] { return !inserted.load() || quit.load(); });
            continue;
        }
        if (!serveOne())
            closeLink();
    }
}

bool VirtualCard::connectToDriver()
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(handle);
        return false;
    }
    const int on = 1;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    {
        std::lock_guard<std::mutex> locker(mutex);
        fd = handle;
        loadedKey.clear();
        authenticatedSector = -1;
    }
    connected.store(true);
    return true;
}

void VirtualCard::closeLink()
{
    {
        std::lock_guard<std::mutex> locker(mutex);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        connected.store(false);
    }
    changed.notify_all();
}

bool VirtualCard::serveOne()
{
    pollfd waitFor{fd, POLLIN, 0};
    const int ready = ::poll(&waitFor, 1, sliceMs);
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    unsigned char header[2];
    if (!readExactly(reinterpret_cast<char*>(header), 2))
        return false;
    const int length = (header[0] << 8) | header[1];
    QByteArray message(length, '\0');
    if (length > 0 && !readExactly(message.data(), length))
        return false;
    if (length == 1) {
        switch (message.at(0)) {
        case ctrlPowerOff:
        case ctrlPowerOn:
        case ctrlReset: {
            std::lock_guard<std::mutex> locker(mutex);
            loadedKey.clear();
            authenticatedSector = -1;
            return true;
        }
        case ctrlAtr: {
            qint64 expected = 0;
            firstAtr.compare_exchange_strong(expected, QDateTime::currentMSecsSinceEpoch());
            return sendFrame(atr());
        }
        default:
            return true;
        }
    }
    qint64 expected = 0;
    firstCommand.compare_exchange_strong(expected, QDateTime::currentMSecsSinceEpoch());
    return sendFrame(answer(message));
}

bool VirtualCard::readExactly(char* data, int size)
{
    int done = 0;
    while (done < size) {
        // The driver writes a frame's length and its bytes separately and
        // leaves Nagle's algorithm on, so its second write waits for our
        // acknowledgement of the first: acknowledge at once rather than
        // after the 40 ms delay. Linux drops this flag again after a while,
        // so it is set before every read.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        if (quit.load() || !inserted.load())
            return false;
        const ssize_t got = ::recv(fd, data + done, size_t(size - done), 0);
        if (got == 0)
            return false;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += int(got);
    }
    return true;
}

bool VirtualCard::sendFrame(const QByteArray& data)
{
    QByteArray frame;
    frame.append(char((data.size() >> 8) & 0xff));
    frame.append(char(data.size() & 0xff));
    frame.append(data);
    const ssize_t sent = ::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL);
    return sent == frame.size();
}
