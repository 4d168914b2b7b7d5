#include <atomic>
#include <memory>

#include <QMutex>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "jalt/vx_diagnostics.h"
#include "jalt/vx_io_device.h"
#include "lock_simulator.h"
#include "support/test_support.h"

using TestSupport::hex;

namespace {
// A pseudo-terminal whose master side the test reads and writes.
struct Pty
{
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() { ::close(master); }
    QByteArray read(int want, int timeoutMs = 2000)
    {
        QByteArray got;
        char buffer[256];
        while (got.size() < want) {
            pollfd in{master, POLLIN, 0};
            if (::poll(&in, 1, timeoutMs) <= 0)
                break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, int(n));
        }
        return got;
    }
    int master = -1;
    QString slave;
};

struct Collected
{
    QMutex mutex;
    QByteArray bytes;
    std::atomic<int> connected{0};
    std::atomic<int> disconnected{0};
    QByteArray take()
    {
        QMutexLocker locker(&mutex);
        return bytes;
    }
};

void collect(VXIODevice* device, Collected* into)
{
    device->connect(QStringLiteral("threadedReadEvent"), [into](const unsigned char* data, long size) {
        QMutexLocker locker(&into->mutex);
        into->bytes.append(reinterpret_cast<const char*>(data), int(size));
    });
    device->connect(QStringLiteral("connected"), [into](const unsigned char*, long) { ++into->connected; });
    device->connect(QStringLiteral("disconnected"),
                    [into](const unsigned char*, long) { ++into->disconnected; });
}
} // namespace

struct PathCase
{
    const char* name;
    const char* path;
    const char* kind; // "serial", "tcp" or "" for none
};

class DevicePaths : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(DevicePaths, NameTheirDevice)
{
    const PathCase& c = GetParam();
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(QString::fromLatin1(c.path)));
    const QString kind = QString::fromLatin1(c.kind);
    if (kind.isEmpty()) {
        EXPECT_EQ(device, nullptr);
        return;
    }
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->path(), QString::fromLatin1(c.path));
    if (kind == QLatin1String("tcp"))
        EXPECT_NE(dynamic_cast<VXEthernet*>(device.get()), nullptr);
    else
        EXPECT_NE(dynamic_cast<VXSerialPort*>(device.get()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         DevicePaths,
                         ::testing::Values(PathCase{"SerialDefaultSpeed", "/dev/ttyUSB0", "serial"},
                                           PathCase{"SerialWithSpeed", "/dev/ttyUSB0@115200", "serial"},
                                           PathCase{"SerialUnknownSpeed", "/dev/ttyUSB0@12345", ""},
                                           PathCase{"SerialSpeedNotANumber", "/dev/ttyS0@fast", ""},
                                           PathCase{"Tcp", "tcp:127.0.0.1:4001", "tcp"},
                                           PathCase{"TcpHostName", "tcp:localhost:4001", "tcp"},
                                           PathCase{"TcpBracketedIpv6", "tcp:[::1]:4001", "tcp"},
                                           PathCase{"TcpWithoutPort", "tcp:127.0.0.1", ""},
                                           PathCase{"TcpPortZero", "tcp:127.0.0.1:0", ""},
                                           PathCase{"TcpPortTooLarge", "tcp:127.0.0.1:65536", ""},
                                           PathCase{"Empty", "", ""},
                                           PathCase{"Relative", "ttyUSB0", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPort, CarriesControlBytesUnchangedInRawMode)
{
    // 0x03 is ^C, 0x0A a line end, 0x11/0x13 XON/XOFF, 0x0D a carriage
    // return: a cooked terminal would eat or change each of them.
    Pty pty;
    Collected got;
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(pty.slave + QStringLiteral("@9600")));
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->isOpened());
    collect(device.get(), &got);
    device->startThreadedRead();

    const QByteArray bytes = hex("02 03 0A 11 13 0D 7F 1A 00 FF");
    ASSERT_EQ(device->write(bytes), bytes.size());
    EXPECT_EQ(pty.read(bytes.size()), bytes);

    ASSERT_EQ(::write(pty.master, bytes.constData(), size_t(bytes.size())), bytes.size());
    ASSERT_EVENTUALLY(got.take().size() >= bytes.size(), 2000);
    EXPECT_EQ(got.take(), bytes);
}

TEST(SerialPort, WriteAfterCloseIsANoOp)
{
    Pty pty;
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(pty.slave));
    ASSERT_NE(device, nullptr);
    device->startThreadedRead();
    device->close();
    // A descriptor opened now may get the number the port had.
    const int reused = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(device->write(hex("02 25 31 03 5B")), -1);
    EXPECT_FALSE(device->isOpened());
    EXPECT_EQ(pty.read(1, 100), QByteArray());
    ::close(reused);
}

TEST(SerialPort, MissingDeviceIsRetriedWhileReopenIsEnabled)
{
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(QStringLiteral("/nonexistent/tty")));
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->isOpened());
    EXPECT_EQ(device->write(hex("02")), -1);
    device->setReopenEnabled(true);
    device->startThreadedRead();
    device->close(); // must return promptly from the retry wait
    EXPECT_FALSE(device->isOpened());
}

TEST(Ethernet, ConnectsSendsAndReceives)
{
    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString path = sim.listenTcp();
    ASSERT_FALSE(path.isEmpty());
    Collected got;
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(path));
    auto* ethernet = dynamic_cast<VXEthernet*>(device.get());
    ASSERT_NE(ethernet, nullptr);
    collect(device.get(), &got);
    device->startThreadedRead();
    EXPECT_FALSE(ethernet->isConnected());
    ethernet->connect(true);
    ASSERT_EVENTUALLY(got.connected.load() == 1, 3000);
    EXPECT_TRUE(ethernet->isConnected());

    sim.setDoor(3, 0, true);
    sim.setDoor(3, 9, true);
    ASSERT_EQ(device->write(hex("02 30 30 03 65")), 5);
    ASSERT_EVENTUALLY(got.take().size() >= 9, 2000);
    EXPECT_EQ(got.take(), hex("02 30 30 FE FD FF FF 03 5E"));
    EXPECT_EQ(got.disconnected.load(), 0);
}

TEST(Ethernet, RefusedAndLostLinksRaiseDisconnected)
{
    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString path = sim.listenTcp();
    sim.setAccepting(false);
    Collected got;
    std::unique_ptr<VXIODevice> device(VXIODevice::createFromFullPath(path));
    auto* ethernet = dynamic_cast<VXEthernet*>(device.get());
    collect(device.get(), &got);
    device->startThreadedRead();
    ethernet->connect(true);
    ASSERT_EVENTUALLY(got.disconnected.load() == 1, 3000);
    EXPECT_EQ(got.connected.load(), 0);

    sim.setAccepting(true);
    ethernet->connect(true);
    ASSERT_EVENTUALLY(got.connected.load() == 1, 3000);
    sim.dropClient();
    ASSERT_EVENTUALLY(got.disconnected.load() == 2, 3000);
    EXPECT_FALSE(ethernet->isConnected());
    EXPECT_EQ(device->write(hex("02")), -1);
}

TEST(Diagnostics, QualityFollowsTheAgeOfTheLastPacket)
{
    struct Clock : VXClock::Source
    {
        std::atomic<qint64> ms{5000};
        qint64 monotonicMSec() override { return ms.load(); }
        QDateTime now() override { return QDateTime::currentDateTime(); }
    } clock;
    VXClock::setSource(&clock);
    VXDiagnostics diagnostics;
    diagnostics.setDisconnectTimeout(VXSystemTime::fromMSec(1000));
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qUnknown);
    diagnostics.received(9);
    diagnostics.received(13);
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qGood);
    EXPECT_EQ(diagnostics.state().packets, 2);
    EXPECT_EQ(diagnostics.state().bytes, 22);
    clock.ms += 251;
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qAverage);
    clock.ms += 250;
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qBad);
    clock.ms += 499;
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qFailure);
    diagnostics.received(9);
    EXPECT_EQ(diagnostics.state().quality, VXDiagnostics::qGood);
    VXClock::setSource(nullptr);
}
