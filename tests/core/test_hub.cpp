#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>

#include "core/core.h"
#include "support/test_support.h"
#include "ui/dialog.h"

using Constants::ActiveScreen;

namespace
{
StationCore* startedHub(const QString& config = QString())
{
    if (!config.isEmpty())
        TestSupport::writeConfig(config);
    StationCore* core = StationCore::instance();
    core->init();
    return core;
}

// A window for the hub's messages. The hub owns its dialog: the window hands
// it back before it goes, as the main window does.
class MessageWindow : public QWidget
{
public:
    explicit MessageWindow(StationCore* hub)
        : core(hub)
    {
        core->dialog->assignToWindow(this);
    }
    ~MessageWindow() override { core->dialog->assignToWindow(nullptr); }

private:
    StationCore* core;
};
} // namespace

TEST(Hub, SameScreenAgainDoesNothing)
{
    StationCore* core = startedHub();
    QSignalSpy screens(core, &StationCore::activeScreenRequest);
    QSignalSpy toStart(core, &StationCore::gotoStartRequest);
    core->setActiveScreen(Constants::asStart);
    EXPECT_EQ(screens.count(), 0);
    EXPECT_EQ(toStart.count(), 0);
    EXPECT_EQ(core->remainsGoToStartTimer(), 0);
}

TEST(Hub, StartScreenCancelsTheDialogThenSignalsInOrder)
{
    StationCore* core = startedHub();
    MessageWindow window(core);
    core->setActiveScreen(Constants::asIdentifyUser);
    EXPECT_GT(core->remainsGoToStartTimer(), 0);

    QStringList order;
    QObject::connect(core, &StationCore::gotoStartRequest, [&] { order << QStringLiteral("gotoStart"); });
    QObject::connect(core, &StationCore::activeScreenRequest,
                     [&](int s) { order << QStringLiteral("screen %1").arg(s); });
    QObject::connect(core, &StationCore::logicsTimeoutRequest, [&] { order << QStringLiteral("logicsTimeout"); });
    int shown = -1;
    QTimer::singleShot(0, [&] {
        // Inside the message's own loop: the start screen must close it.
        core->setActiveScreen(Constants::asStart);
    });
    core->showMessage(QStringLiteral("Title"), QStringLiteral("Text"));
    shown = core->dialog->isVisible();
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(order, (QStringList{QStringLiteral("gotoStart"), QStringLiteral("screen 0"),
                                  QStringLiteral("logicsTimeout")}));
    EXPECT_EQ(core->remainsGoToStartTimer(), 0);
    EXPECT_EQ(core->activeScreen(), int(Constants::asStart));
}

struct ArmCase
{
    const char* name;
    ActiveScreen screen;
    int expectedMs; // inactivity time-out armed on entering the screen
    bool logicsTimeout;
};
class HubScreens : public ::testing::TestWithParam<ArmCase>
{
};

TEST_P(HubScreens, ArmTheInactivityTimeout)
{
    StationCore* core = startedHub(QStringLiteral("[timeouts]\ngoto_start = 40 s\nmax_return_device = 90 s\n"));
    QSignalSpy screens(core, &StationCore::activeScreenRequest);
    QSignalSpy logics(core, &StationCore::logicsTimeoutRequest);
    core->setActiveScreen(GetParam().screen);
    ASSERT_EQ(screens.count(), 1);
    EXPECT_EQ(screens.first().first().toInt(), int(GetParam().screen));
    EXPECT_EQ(logics.count(), GetParam().logicsTimeout ? 1 : 0);
    EXPECT_LE(core->remainsGoToStartTimer(), GetParam().expectedMs);
    EXPECT_GT(core->remainsGoToStartTimer(), GetParam().expectedMs - 5000);
}

INSTANTIATE_TEST_SUITE_P(Table, HubScreens,
                         ::testing::Values(ArmCase{"IdentifyUser", Constants::asIdentifyUser, 40000, false},
                                           ArmCase{"OpenCell", Constants::asOpenCell, 40000, false},
                                           ArmCase{"CloseCell", Constants::asCloseCell, 90000, false},
                                           ArmCase{"Administration", Constants::asAdministration, 40000, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Hub, UnansweredMessageClosesAfterItsLifetimeAndGoesToStart)
{
    StationCore* core = startedHub(QStringLiteral("[timeouts]\nmessage_lifetime = 50 ms\n"));
    MessageWindow window(core);
    QSignalSpy toStart(core, &StationCore::gotoStartRequest);
    core->showMessage(QStringLiteral("User scan"), QStringLiteral("Invalid code!"));
    EXPECT_EQ(toStart.count(), 1);
    EXPECT_FALSE(core->dialog->buttonCancel->isHidden());
}

TEST(Hub, MessageWithoutAWindowReturnsAtOnce)
{
    StationCore* core = startedHub(QStringLiteral("[timeouts]\nmessage_lifetime = 60 s\n"));
    core->showMessage(QStringLiteral("Title"), QStringLiteral("Text"));
    EXPECT_FALSE(core->dialog->isVisible());
}

TEST(Hub, HelpersPrepareStyleAndTranslateEnums)
{
    StationCore* core = StationCore::instance();
    EXPECT_EQ(core->prepareCSS(QStringLiteral("a{color:${main_color}} b{color:${MAIN_COLOR}}")),
              QStringLiteral("a{color:rgb(0, 151, 199)} b{color:${MAIN_COLOR}}"));
    EXPECT_EQ(StationCore::trEnum(Constants::dsInRepair), QStringLiteral("In repair"));
    EXPECT_EQ(StationCore::trEnum(Constants::dtFall), QStringLiteral("Fall"));
    EXPECT_EQ(StationCore::trEnum(Constants::tsInWork), QStringLiteral("In work"));
    EXPECT_EQ(StationCore::trEnum(Constants::vtCoordinates), QStringLiteral("Coordinates"));
    EXPECT_EQ(StationCore::trEnum(Constants::DeviceStatus(7)), QString());
}

// A stand-in for xrandr on PATH, printing the given output with the given status.
struct XrandrCase
{
    const char* name;
    const char* output;
    int status;
    bool before; // monitor state before the detection
    bool expected;
};
class MonitorDetection : public ::testing::TestWithParam<XrandrCase>
{
};

TEST_P(MonitorDetection, ReadsTheCountOfXrandr)
{
    const XrandrCase& c = GetParam();
    QDir().mkpath(QStringLiteral("bin"));
    QFile::remove(QStringLiteral("bin/xrandr"));
    QFile script(QStringLiteral("bin/xrandr"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\n[ \"$1\" = --listmonitors ] || exit 9\nprintf '") + c.output + "'\nexit "
                 + QByteArray::number(c.status) + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QDir::currentPath().toLocal8Bit() + "/bin:" + path);
    StationCore* core = StationCore::instance();
    core->monitor_present.store(c.before);
    const bool found = core->detectMonitor();
    qputenv("PATH", path);
    EXPECT_EQ(found, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MonitorDetection,
    ::testing::Values(XrandrCase{"NoMonitor", "Monitors: 0\\n\\n", 0, true, false},
                      XrandrCase{"TwoMonitors", "Monitors: 2\\n 0: +*HDMI-1 1920/510x1080/290+0+0  HDMI-1\\n", 0, false,
                                 true},
                      XrandrCase{"OneLineOnly", "Monitors: 1", 0, true, false},
                      XrandrCase{"EmptyOutput", "", 0, true, false},
                      XrandrCase{"OtherFirstLine", "Screen 0: minimum 8\\nMonitors: 1\\n", 0, true, false},
                      XrandrCase{"NotANumber", "Monitors: x\\n\\n", 0, true, false},
                      XrandrCase{"NoDisplayKeepsMonitor", "Can't open display\\n", 1, true, true},
                      XrandrCase{"NoDisplayKeepsOffscreen", "Can't open display\\n", 1, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonitorDetectionMissing, XrandrNotInstalledKeepsThePreviousState)
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    StationCore* core = StationCore::instance();
    core->monitor_present.store(true);
    EXPECT_TRUE(core->detectMonitor());
    qputenv("PATH", path);
}

TEST(MonitorDetectionDisabled, ReportsNoMonitor)
{
    StationCore* core = StationCore::instance();
    core->monitor_detect_enabled.store(false);
    EXPECT_FALSE(core->detectMonitor());
}
