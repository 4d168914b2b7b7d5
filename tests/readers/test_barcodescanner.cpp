// Bar-code scanners: device-path scanners over a pseudo-terminal, and
// keyboard-wedge scanners fed with key events; and how the hub builds and
// enables them.

#include <cstdlib>
#include <memory>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <fcntl.h>
#include <unistd.h>

#include "core/core.h"
#include "readers/barcodescanner.h"
#include "support/keyboard_keys.h"
#include "support/test_support.h"

namespace {
// The test holds the master side; the scanner opens the slave by path.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = QString::fromLatin1(::ptsname(master));
    }
    ~PseudoTerminal() { hangUp(); }

    bool write(const QByteArray& bytes) const
    {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    void hangUp()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    QString path;

private:
    int master = -1;
};

// A scanner behind a stable name, as udev gives one, that points at the
// pseudo-terminal plugged in at the time. Unplugging removes the name before
// hanging up, so the scanner's reopen attempts cannot reach a terminal that
// another test opened since under the same number.
class PluggableScanner
{
public:
    PluggableScanner()
        : path(QDir::current().absoluteFilePath(QStringLiteral("scanner-tty")))
    {}
    ~PluggableScanner() { unplug(); }

    bool plugIn()
    {
        tty = std::make_unique<PseudoTerminal>();
        return !tty->path.isEmpty() && QFile::link(tty->path, path);
    }
    void unplug()
    {
        QFile::remove(path);
        tty.reset();
    }
    bool write(const QByteArray& bytes) const { return tty && tty->write(bytes); }

    const QString path;

private:
    std::unique_ptr<PseudoTerminal> tty;
};

QList<QByteArray> packets(const QSignalSpy& spy)
{
    QList<QByteArray> all;
    for (const QList<QVariant>& call : spy)
        all.append(call.at(0).toByteArray());
    return all;
}

// Several packet ticks of 20 ms: long enough to show that no packet comes.
const int quietMs = 150;
// The scanner's packet timer: a tick without new bytes ends a packet.
const int packetTickMs = 20;

class DeviceScanner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The scanner logs through the hub from its read thread; the hub
        // must exist (on the main thread) first.
        StationCore::instance();
        ASSERT_FALSE(tty.path.isEmpty());
        scanner.open(tty.path);
        ASSERT_TRUE(scanner.isOpened());
    }

    PseudoTerminal tty;
    BarCodeScanner scanner;
    QSignalSpy spy{&scanner, &BarCodeScanner::dataReaded};
};

struct FramingCase
{
    const char* name;
    QList<QByteArray> bursts;
    int gapMs;
    QList<QByteArray> packets;
};

void PrintTo(const FramingCase& c, std::ostream* os)
{
    *os << c.name;
}

class PacketFraming : public DeviceScanner, public ::testing::WithParamInterface<FramingCase>
{
};
} // namespace

TEST_P(PacketFraming, EndsAPacketAtTheFirstSilentTick)
{
    const FramingCase& c = GetParam();
    QElapsedTimer sinceLast;
    qint64 longestGapMs = 0;
    for (int i = 0; i < c.bursts.size(); ++i) {
        // The packet ticks keep running during the gaps.
        if (i > 0) {
            QTest::qWait(c.gapMs);
            longestGapMs = qMax(longestGapMs, sinceLast.elapsed());
        }
        ASSERT_TRUE(tty.write(c.bursts.at(i)));
        sinceLast.start();
    }
    // Bursts that are meant to join must come within a packet tick.
    if (c.gapMs < packetTickMs && longestGapMs >= packetTickMs)
        GTEST_SKIP() << "the machine held the writer back " << longestGapMs << " ms between two bursts";
    ASSERT_EVENTUALLY(spy.count() >= c.packets.size(), 2000);
    QTest::qWait(quietMs);
    EXPECT_EQ(packets(spy), c.packets);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    PacketFraming,
    ::testing::Values(
        // Bytes passed on as they came, terminators included.
        FramingCase{"BurstsWithinATickJoin", {"abc", "def\r\n"}, 3, {"abcdef\r\n"}},
        // Ticks fall inside the stream but each finds new bytes.
        FramingCase{
            "SteadyTrickleJoins", {"ab", "cd", "ef", "gh", "ij", "kl", "mn", "op"}, 5, {"abcdefghijklmnop"}},
        FramingCase{"BurstsSixtyMsApartSplit", {"abc", "def\r\n"}, 60, {"abc", "def\r\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceScanner, DeliversPacketsWhetherEnabledOrNot)
{
    scanner.setEnabled(false);
    ASSERT_TRUE(tty.write("code"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"code"});
}

TEST_F(DeviceScanner, ReopensAfterClose)
{
    scanner.close();
    EXPECT_FALSE(scanner.isOpened());
    scanner.open(tty.path);
    ASSERT_TRUE(scanner.isOpened());
    ASSERT_TRUE(tty.write("again"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"again"});
}

TEST_F(DeviceScanner, TakesASpeedAfterThePath)
{
    scanner.open(tty.path + QStringLiteral("@115200"));
    ASSERT_TRUE(scanner.isOpened());
    ASSERT_TRUE(tty.write("fast"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"fast"});
}

namespace {
class ReplugScanner : public ::testing::Test
{
protected:
    void SetUp() override { StationCore::instance(); }

    PluggableScanner plug;
    BarCodeScanner scanner;
    QSignalSpy spy{&scanner, &BarCodeScanner::dataReaded};
};
} // namespace

TEST_F(ReplugScanner, IsClosedWhileUnpluggedAndComesBack)
{
    ASSERT_TRUE(plug.plugIn());
    scanner.open(plug.path);
    ASSERT_TRUE(scanner.isOpened());
    ASSERT_TRUE(plug.write("first"));
    ASSERT_EVENTUALLY(spy.count() == 1, 2000);

    plug.unplug();
    ASSERT_EVENTUALLY(!scanner.isOpened(), 2000);
    QTest::qWait(quietMs);
    EXPECT_FALSE(scanner.isOpened());
    EXPECT_EQ(spy.count(), 1);

    ASSERT_TRUE(plug.plugIn());
    ASSERT_EVENTUALLY(scanner.isOpened(), 2000);
    ASSERT_TRUE(plug.write("second"));
    ASSERT_EVENTUALLY(spy.count() == 2, 2000);
    EXPECT_EQ(packets(spy), (QList<QByteArray>{"first", "second"}));
}

TEST_F(ReplugScanner, MissingAtOpenIsFoundWhenPluggedIn)
{
    scanner.open(plug.path);
    EXPECT_FALSE(scanner.isOpened());
    ASSERT_TRUE(plug.plugIn());
    ASSERT_EVENTUALLY(scanner.isOpened(), 2000);
    ASSERT_TRUE(plug.write("late"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"late"});
}

TEST_F(DeviceScanner, DropsAPacketLongerThanTheBufferAndRecovers)
{
    // A scanner stuck sending: more than the buffer holds without a pause.
    const QByteArray flood(BarCodeScanner::maxPacketSize + 1000, 'x');
    for (int sent = 0; sent < flood.size(); sent += 500)
        ASSERT_TRUE(tty.write(flood.mid(sent, 500)));
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 0);

    ASSERT_TRUE(tty.write("next"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    QTest::qWait(quietMs);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"next"});
}

TEST_F(DeviceScanner, LogsThatACodeWasReadButNotTheCode)
{
    ASSERT_TRUE(tty.write("U2VjcmV0TG9naW5Db2Rl"));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    const QString logFile = StationCore::instance()->stationLog.currentFileName();
    ASSERT_EVENTUALLY(TestSupport::readFile(logFile).contains("[BarCodeScanner] Readed packet"), 2000);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(TestSupport::readFile(logFile).contains("U2VjcmV0TG9naW5Db2Rl"));
}

TEST(BarCodeScannerPath, UnusablePathsStayClosed)
{
    StationCore::instance();
    for (const QString& path : {QString(), QStringLiteral("/nonexistent/ttyACM9"), QStringLiteral("ttyACM0"),
                                QStringLiteral("/dev/ttyACM0@12345")}) {
        BarCodeScanner scanner;
        scanner.open(path);
        EXPECT_FALSE(scanner.isOpened()) << path.toStdString();
    }
}

TEST(BarCodeScannerPath, NetworkPathConnectsAndDelivers)
{
    StationCore::instance();
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    BarCodeScanner scanner;
    QSignalSpy spy{&scanner, &BarCodeScanner::dataReaded};
    scanner.open(QStringLiteral("tcp:127.0.0.1:%1").arg(server.serverPort()));
    ASSERT_TRUE(server.waitForNewConnection(3000));
    QTcpSocket* peer = server.nextPendingConnection();
    ASSERT_NE(peer, nullptr);
    ASSERT_EVENTUALLY(scanner.isOpened(), 2000);
    peer->write("net\r\n");
    ASSERT_TRUE(peer->waitForBytesWritten(2000));
    ASSERT_EVENTUALLY(spy.count() > 0, 2000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"net\r\n"});
}

namespace {
using TestSupport::KeyCounter;

class KeyboardWedge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scanner.open(QStringLiteral(" HID "));
        scanner.setVirtualKeyboard(&keyboard);
        scanner.setEnabled(true);
        edit.installEventFilter(&counter);
    }

    QWidget keyboard;
    QLineEdit edit;
    KeyCounter counter;
    BarCodeScanner scanner;
    QSignalSpy spy{&scanner, &BarCodeScanner::dataReaded};
};
} // namespace

TEST_F(KeyboardWedge, ReturnEndsThePacketAndKeysAreSwallowed)
{
    EXPECT_TRUE(scanner.isOpened());
    QTest::keyClicks(&edit, QStringLiteral("Ab1x"));
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EVENTUALLY(spy.count() > 0, 1000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"Ab1x\r"});
    EXPECT_TRUE(edit.text().isEmpty());
    EXPECT_EQ(counter.presses, 0);
    EXPECT_EQ(counter.releases, 0);
}

TEST_F(KeyboardWedge, KeypadEnterDoesNotEndThePacket)
{
    QTest::keyClicks(&edit, QStringLiteral("abcd"));
    QTest::keyClick(&edit, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EVENTUALLY(spy.count() > 0, 1000);
    const QByteArray packet = spy.at(0).at(0).toByteArray();
    EXPECT_TRUE(packet.startsWith("abcd")) << packet.toStdString();
    EXPECT_TRUE(packet.endsWith("\r")) << packet.toStdString();
    EXPECT_EQ(packets(spy).size(), 1);

    // Without a Return after it, the burst is typing: it goes to the field.
    QTest::keyClicks(&edit, QStringLiteral("cd"));
    QTest::keyClick(&edit, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(edit.text(), QStringLiteral("cd"));
}

namespace {
// Keys a person types: tens of milliseconds apart, where a scanner leaves
// a few at most.
void typeLikeAPerson(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QTest::keyClick(widget, c.toLatin1());
        QTest::qWait(3 * BarCodeScanner::hidKeyGapMs);
    }
}
} // namespace

TEST_F(KeyboardWedge, KeysAtAPersonsPaceReachTheField)
{
    typeLikeAPerson(&edit, QStringLiteral("ab1"));
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(edit.text(), QStringLiteral("ab1"));
    // Presses and releases, the Return's too, in the order typed.
    EXPECT_EQ(counter.presses, 4);
    EXPECT_EQ(counter.releases, 4);
}

TEST_F(KeyboardWedge, ScanAfterTypingIsReadAndTheTypingKept)
{
    typeLikeAPerson(&edit, QStringLiteral("ab"));
    QTest::keyClicks(&edit, QStringLiteral("code"));
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EVENTUALLY(spy.count() > 0, 1000);
    typeLikeAPerson(&edit, QStringLiteral("c"));
    EXPECT_EQ(packets(spy), QList<QByteArray>{"code\r"});
    EXPECT_EQ(edit.text(), QStringLiteral("abc"));
    // The scan's keys and its Return reach the field neither pressed nor
    // released.
    EXPECT_EQ(counter.presses, 3);
    EXPECT_EQ(counter.releases, 3);
}

// Two quick keys of a person (a rolled pair) are a burst too; without a
// Return they reach the field as typed.
TEST_F(KeyboardWedge, QuickKeysWithoutReturnReachTheFieldInOrder)
{
    QTest::keyClicks(&edit, QStringLiteral("th"));
    typeLikeAPerson(&edit, QStringLiteral("e"));
    EXPECT_EQ(edit.text(), QStringLiteral("the"));
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(KeyboardWedge, KeyHeldBackGoesToAReceiverStillThere)
{
    auto other = std::make_unique<QLineEdit>();
    QTest::keyClick(other.get(), 'x');
    other.reset();
    typeLikeAPerson(&edit, QStringLiteral("y"));
    EXPECT_EQ(edit.text(), QStringLiteral("y"));
}

TEST_F(KeyboardWedge, SetEnabledThrowsAwayAPartialCode)
{
    QTest::keyClicks(&edit, QStringLiteral("partial"));
    scanner.setEnabled(true);
    QTest::keyClicks(&edit, QStringLiteral("code"));
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EVENTUALLY(spy.count() > 0, 1000);
    EXPECT_EQ(packets(spy), QList<QByteArray>{"code\r"});
}

TEST_F(KeyboardWedge, CloseRemovesTheFilter)
{
    scanner.close();
    QTest::keyClicks(&edit, QStringLiteral("ab"));
    EXPECT_EQ(edit.text(), QStringLiteral("ab"));
}

namespace {
struct BurstCase
{
    const char* name;
    int length;
};

void PrintTo(const BurstCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeyboardWedgeBurst : public KeyboardWedge, public ::testing::WithParamInterface<BurstCase>
{
};
} // namespace

// A quick burst ended by Return is a scan only when it is as long as the
// shortest code the station reads; a shorter one is a person's last keys
// and a Return, and reaches the field, in order.
TEST_P(KeyboardWedgeBurst, IsAScanFromTheShortestCodeOn)
{
    const BurstCase& c = GetParam();
    const QString burst = QStringLiteral("abcdefgh").left(c.length);
    const unsigned long stamp = KeyboardKeys::typeStampedOn(&edit, burst, 100000, 2);
    KeyboardKeys::pressStampedOn(&edit, Qt::Key_Return, stamp);
    if (c.length >= BarCodeScanner::hidShortestScan) {
        ASSERT_EVENTUALLY(spy.count() > 0, 1000);
        EXPECT_EQ(packets(spy), QList<QByteArray>{burst.toLatin1() + "\r"});
        EXPECT_TRUE(edit.text().isEmpty());
        EXPECT_EQ(counter.presses, 0);
    } else {
        QTest::qWait(quietMs);
        EXPECT_EQ(spy.count(), 0);
        EXPECT_EQ(edit.text(), burst);
        EXPECT_EQ(counter.presses, c.length + 1);
        EXPECT_EQ(counter.releases, c.length + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table,
                         KeyboardWedgeBurst,
                         ::testing::Values(BurstCase{"OneKey", 1},
                                           BurstCase{"OneShort", BarCodeScanner::hidShortestScan - 1},
                                           BurstCase{"Shortest", BarCodeScanner::hidShortestScan}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
// A window of two screens, each with a field, the first one shown: keys
// come to it from the window system.
class KeyboardWedgeScreens : public KeyboardWedge
{
protected:
    void SetUp() override
    {
        KeyboardWedge::SetUp();
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(screens);
        for (QLineEdit* field : {first, second}) {
            auto* screen = new QWidget;
            (new QVBoxLayout(screen))->addWidget(field);
            screens->addWidget(screen);
        }
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        first->setFocus();
        ASSERT_TRUE(first->hasFocus());
    }

    QWidget window;
    QStackedWidget* screens = new QStackedWidget;
    QLineEdit* first = new QLineEdit;
    QLineEdit* second = new QLineEdit;
};
} // namespace

// A key held back when the station moves on to its next screen (a card was
// read) belonged to the screen left: it reaches no field of the next one.
TEST_F(KeyboardWedgeScreens, KeyHeldBackWhenTheScreenIsLeftReachesNoField)
{
    QWindow* keys = window.windowHandle();
    const int personMs = KeyboardKeys::personGapMs;
    unsigned long stamp = KeyboardKeys::typeStampedOn(keys, QStringLiteral("ab"), 100000, personMs);
    screens->setCurrentIndex(1);
    second->setFocus();
    ASSERT_TRUE(second->hasFocus());
    KeyboardKeys::typeStampedOn(keys, QStringLiteral("c"), stamp, personMs);
    ASSERT_EVENTUALLY(!second->text().isEmpty(), 1000);
    EXPECT_EQ(second->text(), QStringLiteral("c"));
    EXPECT_EQ(first->text(), QStringLiteral("a"));
    EXPECT_EQ(spy.count(), 0);
}

namespace {
enum class OnScreenKeyboard
{
    None,
    Hidden,
    Shown,
    ShownButDisabled,
    Deleted,
};

struct CaptureCase
{
    const char* name;
    bool enabled;
    OnScreenKeyboard keyboard;
    bool captures;
};

void PrintTo(const CaptureCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeyboardWedgeCapture : public KeyboardWedge, public ::testing::WithParamInterface<CaptureCase>
{
};
} // namespace

// Keys are the scanner's while it is enabled and no on-screen keyboard takes
// them: a missing, hidden, disabled or deleted keyboard counts as hidden.
TEST_P(KeyboardWedgeCapture, TakesTheKeysOnlyWhileEnabledAndTheKeyboardIsHidden)
{
    const CaptureCase& c = GetParam();
    scanner.setEnabled(c.enabled);
    auto gone = std::make_unique<QWidget>();
    switch (c.keyboard) {
    case OnScreenKeyboard::None:
        scanner.setVirtualKeyboard(nullptr);
        break;
    case OnScreenKeyboard::Hidden:
        break;
    case OnScreenKeyboard::Shown:
        keyboard.show();
        break;
    case OnScreenKeyboard::ShownButDisabled:
        keyboard.setEnabled(false);
        keyboard.show();
        break;
    case OnScreenKeyboard::Deleted:
        gone->show();
        scanner.setVirtualKeyboard(gone.get());
        gone.reset();
        break;
    }
    QTest::keyClicks(&edit, QStringLiteral("abcd"));
    QTest::keyClick(&edit, Qt::Key_Return);
    if (c.captures) {
        ASSERT_EVENTUALLY(spy.count() > 0, 1000);
        EXPECT_EQ(packets(spy), QList<QByteArray>{"abcd\r"});
        EXPECT_TRUE(edit.text().isEmpty());
        EXPECT_EQ(counter.releases, 0);
    } else {
        QTest::qWait(quietMs);
        EXPECT_EQ(spy.count(), 0);
        EXPECT_EQ(edit.text(), QStringLiteral("abcd"));
        EXPECT_EQ(counter.releases, 5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    KeyboardWedgeCapture,
    ::testing::Values(CaptureCase{"ScannerDisabled", false, OnScreenKeyboard::Hidden, false},
                      CaptureCase{"KeyboardShown", true, OnScreenKeyboard::Shown, false},
                      CaptureCase{"NoKeyboard", true, OnScreenKeyboard::None, true},
                      CaptureCase{"KeyboardHidden", true, OnScreenKeyboard::Hidden, true},
                      CaptureCase{"KeyboardShownButDisabled", true, OnScreenKeyboard::ShownButDisabled, true},
                      CaptureCase{"KeyboardDeleted", true, OnScreenKeyboard::Deleted, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScannerHub, BuildsOneScannerPerConfiguredDevice)
{
    PseudoTerminal tty;
    TestSupport::writeConfig(QStringLiteral("[scanner]\n"
                                            "card_reader = false\n"
                                            "device = hid {\n"
                                            "device = %1\n"
                                            "device = /nonexistent/ttyACM9\n"
                                            "}\n")
                                 .arg(tty.path));
    StationCore* core = StationCore::instance();
    core->init();
    ASSERT_EQ(core->barCodeScanners.size(), 3);
    EXPECT_TRUE(core->barCodeScanners.at(0)->isOpened());
    EXPECT_TRUE(core->barCodeScanners.at(1)->isOpened());
    EXPECT_FALSE(core->barCodeScanners.at(2)->isOpened());
    EXPECT_TRUE(core->isScannerOpened());
    EXPECT_FALSE(core->cardScanner.isRunning());
    // The keyboard-wedge scanner takes the keys while identification is on...
    core->setQRMode(Constants::qmDevice);
    QLineEdit edit;
    QSignalSpy packets(core->barCodeScanners.at(0), &BarCodeScanner::dataReaded);
    QTest::keyClicks(&edit, QStringLiteral("abcd"));
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EVENTUALLY(packets.count() > 0, 1000);
    EXPECT_TRUE(edit.text().isEmpty());

    // ...and none once the station has stopped; the device is closed.
    core->stop();
    QTest::keyClicks(&edit, QStringLiteral("cd"));
    EXPECT_EQ(edit.text(), QStringLiteral("cd"));
    EXPECT_FALSE(core->barCodeScanners.at(1)->isOpened());
    core->destroy();
    EXPECT_TRUE(core->barCodeScanners.isEmpty());
}

TEST(ScannerHub, WithoutConfigurationOneClosedScanner)
{
    StationCore* core = StationCore::instance();
    core->init();
    ASSERT_EQ(core->barCodeScanners.size(), 1);
    EXPECT_FALSE(core->isScannerOpened());
    EXPECT_TRUE(core->cardScanner.isRunning());
    core->stop();
    EXPECT_FALSE(core->cardScanner.isRunning());
    core->destroy();
}

namespace {
struct ModeCase
{
    const char* name;
    Constants::QRMode mode;
    bool offscreen;
    bool scanners;
    bool card;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class QRModeEnabling : public ::testing::TestWithParam<ModeCase>
{
};
} // namespace

TEST_P(QRModeEnabling, EnablesTheReadersOfTheMode)
{
    const ModeCase& c = GetParam();
    TestSupport::writeConfig(
        QStringLiteral("[scanner]\ncard_reader = false\ndevice = hid {\ndevice = hid\n}\n"));
    StationCore* core = StationCore::instance();
    core->init();
    core->offscreen = c.offscreen;
    core->setQRMode(c.mode);
    for (BarCodeScanner* scanner : core->barCodeScanners)
        EXPECT_EQ(scanner->isEnabled(), c.scanners);
    EXPECT_EQ(core->cardScanner.isEnabled(), c.card);
    core->stop();
    core->destroy();
}

INSTANTIATE_TEST_SUITE_P(Table,
                         QRModeEnabling,
                         ::testing::Values(ModeCase{"None", Constants::qmNone, false, false, false},
                                           ModeCase{"User", Constants::qmUser, false, true, true},
                                           ModeCase{"Device", Constants::qmDevice, false, true, false},
                                           ModeCase{"OffscreenNone", Constants::qmNone, true, true, true},
                                           ModeCase{"OffscreenDevice", Constants::qmDevice, true, true,
                                                    true}),
                         [](const auto& info) { return std::string(info.param.name); });
