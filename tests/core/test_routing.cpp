#include <QSignalSpy>
#include <QTimer>
#include <QWidget>

#include "core/core.h"
#include "readers/cryptography.h"
#include "storage/database.h"
#include "support/test_support.h"
#include "ui/dialog.h"

namespace
{
// A started hub with one user and one device in the database, and a window
// for its messages.
class Routing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::writeConfig(QStringLiteral("[timeouts]\nmessage_lifetime = 30 ms\n[scanner]\ncard_reader = false\n"));
        core->init();
        core->dialog->assignToWindow(&window);
        DatabaseStructs::User user;
        user.id = 4;
        user.login = QStringLiteral("anna");
        user.personNumber = QStringLiteral("89");
        DatabaseStructs::Device device;
        device.id = 12;
        device.serial = QStringLiteral("SN-0012");
        Database* db = Database::instance();
        db->lock();
        db->addUser(user);
        db->addDevice(device);
        db->unlock();
    }
    void TearDown() override
    {
        core->stop();
        core->destroy();
    }

    // Whatever message the input showed (the dialog closes by itself).
    QString messageOf(const std::function<void()>& input)
    {
        QString shown;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!core->dialog->isHidden())
                shown = core->dialog->labelTitle->text() + QStringLiteral(": ") + core->dialog->labelString->text();
        });
        probe.start(5);
        input();
        return shown;
    }

    StationCore* core = StationCore::instance();
    QWidget window;
    QSignalSpy success{core, &StationCore::loginSuccessful};
    QSignalSpy failure{core, &StationCore::loginFailed};
    QSignalSpy device{core, &StationCore::deviceDetected};
};
} // namespace

TEST_F(Routing, LoginCodeInUserModeLogsTheUserIn)
{
    core->setQRMode(Constants::qmUser);
    core->barCodeReaded(qrLoginEncrypt(QStringLiteral("anna"), QStringLiteral("pa ss")) + "\r");
    ASSERT_EQ(success.count(), 1);
    EXPECT_EQ(success.at(0).at(0).value<DatabaseStructs::User>().id, 4);
    EXPECT_EQ(success.at(0).at(1).toString(), QStringLiteral("pa ss"));
}

TEST_F(Routing, LoginCodeOfAnUnknownLoginFails)
{
    core->setQRMode(Constants::qmUser);
    core->barCodeReaded(qrLoginEncrypt(QStringLiteral("Anna"), QStringLiteral("x")));
    ASSERT_EQ(failure.count(), 1);
    EXPECT_EQ(success.count(), 0);
}

struct InvalidCodeCase
{
    const char* name;
    QByteArray code;
};
class RoutingInvalidCodes : public Routing, public ::testing::WithParamInterface<InvalidCodeCase>
{
};

TEST_P(RoutingInvalidCodes, InUserModeSayInvalidCode)
{
    core->setQRMode(Constants::qmUser);
    const QString shown = messageOf([&] { core->barCodeReaded(GetParam().code); });
    EXPECT_EQ(shown, QStringLiteral("User scan: Invalid code!"));
    EXPECT_EQ(success.count() + failure.count(), 0);
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[QRScanner] Invalid code")), 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoutingInvalidCodes,
    ::testing::Values(InvalidCodeCase{"DeviceSticker", QByteArray("SN-0012")},
                      InvalidCodeCase{"NoLineFeed", qrCodeEncrypt(QByteArray("anna")).toBase64()},
                      InvalidCodeCase{"NotBase64Blocks", QByteArray("!!!!")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Routing, DeviceModeLooksTheTrimmedTextUpBySerial)
{
    core->setQRMode(Constants::qmDevice);
    core->barCodeReaded(QByteArray("  SN-0012\r\n"));
    ASSERT_EQ(device.count(), 1);
    EXPECT_EQ(device.at(0).at(0).value<DatabaseStructs::Device>().id, 12);
    const QString shown = messageOf([&] { core->barCodeReaded(QByteArray("sn-0012")); });
    EXPECT_EQ(shown, QStringLiteral("Device scan: Device not found!"));
    EXPECT_EQ(device.count(), 1);
}

TEST_F(Routing, ModeNoneIgnoresScansAndCards)
{
    core->setQRMode(Constants::qmNone);
    const QString shown = messageOf([&] {
        core->barCodeReaded(qrLoginEncrypt(QStringLiteral("anna"), QStringLiteral("x")));
        core->barCodeReaded(QByteArray("SN-0012"));
        core->cardReaded(QStringLiteral("89"));
    });
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(success.count() + failure.count() + device.count(), 0);
}

struct CardCase
{
    const char* name;
    Constants::QRMode mode;
    const char* number;
    int successes;
    int failures;
};
class RoutingCards : public Routing, public ::testing::WithParamInterface<CardCase>
{
};

TEST_P(RoutingCards, GoToLoginOnlyInUserMode)
{
    core->setQRMode(GetParam().mode);
    core->cardReaded(QString::fromLatin1(GetParam().number));
    EXPECT_EQ(success.count(), GetParam().successes);
    EXPECT_EQ(failure.count(), GetParam().failures);
}

INSTANTIATE_TEST_SUITE_P(Table, RoutingCards,
                         ::testing::Values(CardCase{"Known", Constants::qmUser, "89", 1, 0},
                                           CardCase{"Unknown", Constants::qmUser, "90", 0, 1},
                                           CardCase{"UnreadableCard", Constants::qmUser, "", 0, 1},
                                           CardCase{"DeviceMode", Constants::qmDevice, "89", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Routing, EmptyNumberNeverMatchesAUserWithoutOne)
{
    DatabaseStructs::User noCard;
    noCard.id = 2;
    noCard.login = QStringLiteral("nocard");
    Database::instance()->lock();
    Database::instance()->addUser(noCard);
    Database::instance()->unlock();
    core->setQRMode(Constants::qmUser);
    core->cardReaded(QString());
    EXPECT_EQ(success.count(), 0);
    EXPECT_EQ(failure.count(), 1);
}
