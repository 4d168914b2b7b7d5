// The card reader through the real pcscd, its vpcd driver and our virtual
// card. Every test starts its own pcscd (one per machine: these tests hold a
// lock and never run in parallel with each other).

#include <atomic>
#include <memory>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include "core/core.h"
#include "readers/cardscanner.h"
#include "storage/database.h"
#include "support/test_support.h"
#include "virtual_card/pcscd_runner.h"
#include "virtual_card/virtual_card.h"

using TestSupport::hex;

namespace {
// Block 8 with the personnel number in data bytes 8 to 11.
QByteArray blockWithNumber(const char* numberBytes)
{
    return hex("A1 A2 A3 A4 A5 A6 A7 A8") + hex(numberBytes) + hex("B1 B2 B3 B4");
}

VirtualCard::Settings staffCard(const char* numberBytes)
{
    VirtualCard::Settings settings;
    settings.block8 = blockWithNumber(numberBytes);
    settings.key = CardScanner::cardKey();
    return settings;
}

// pcscd notices a card on its next presence poll of the driver; the reader
// thread then needs one 20 ms turn.
const int readMs = 10000;
// A span of many reader turns and presence polls, to show that nothing
// comes.
const int quietMs = 1000;

class CardReader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pcscd.isReady()) << pcscd.error().toStdString();
        ASSERT_TRUE(pcscd.start()) << pcscd.error().toStdString();
        card = std::make_unique<VirtualCard>(pcscd.port());
        scanner.setDebug(true);
    }

    void startScanner(bool enabled = true)
    {
        scanner.setEnabled(enabled);
        scanner.start(VXSystemTime::fromMSec(20));
    }

    QStringList numbers() const
    {
        QStringList all;
        for (const QList<QVariant>& call : spy)
            all.append(call.at(0).toString());
        return all;
    }

    // Destroyed in reverse: the scanner stops first, the daemon last.
    PcscdRunner pcscd;
    std::unique_ptr<VirtualCard> card;
    CardScanner scanner;
    QSignalSpy spy{&scanner, &CardScanner::personNumberReaded};
};

struct CardCase
{
    const char* name;
    VirtualCard::Settings settings;
    QString number;
};

void PrintTo(const CardCase& c, std::ostream* os)
{
    *os << c.name;
}

class CardContent : public CardReader, public ::testing::WithParamInterface<CardCase>
{
};

VirtualCard::Settings withKey(VirtualCard::Settings settings, const char* key)
{
    settings.key = hex(key);
    return settings;
}

VirtualCard::Settings refusingKeys(VirtualCard::Settings settings)
{
    settings.refuseLoadKey = true;
    return settings;
}

VirtualCard::Settings withReadReply(VirtualCard::Settings settings, const QByteArray& reply)
{
    settings.readReply = reply;
    return settings;
}
} // namespace

TEST_P(CardContent, GivesThePersonnelNumberOnce)
{
    const CardCase& c = GetParam();
    card->setSettings(c.settings);
    startScanner();
    card->insert();
    ASSERT_EVENTUALLY(spy.count() > 0, readMs);
    EXPECT_EQ(numbers(), QStringList{c.number});
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    CardContent,
    ::testing::Values(
        CardCase{"PackedDigits", staffCard("00 12 34 56"), QStringLiteral("123456")},
        // Leading zeros are decimal digits, not an octal prefix.
        CardCase{"LeadingZeros", staffCard("00 00 00 89"), QStringLiteral("89")},
        CardCase{"SingleDigit", staffCard("00 00 00 07"), QStringLiteral("7")},
        CardCase{"EightDigits", staffCard("99 99 99 99"), QStringLiteral("99999999")},
        CardCase{"HexNibble", staffCard("00 12 3A 56"), QString()},
        CardCase{"WrongKeyOnCard", withKey(staffCard("00 12 34 56"), "01 02 03 04 05 06"), QString()},
        CardCase{"ReaderRefusesKey", refusingKeys(staffCard("00 12 34 56")), QString()},
        CardCase{"ReadFails", withReadReply(staffCard("00 12 34 56"), hex("69 82")), QString()},
        // Eight bytes and a status word hold no number; never a made-up "0".
        CardCase{"ShortRead", withReadReply(staffCard("00"), hex("00 00 00 00 00 00 00 00 90 00")),
                 QString()},
        CardCase{"ReadWithErrorStatus",
                 withReadReply(staffCard("00"), blockWithNumber("00 12 34 56") + hex("63 00")), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CardReader, SendsBuzzerKeyAuthenticationAndReadOfBlockEight)
{
    card->setSettings(staffCard("00 12 34 56"));
    startScanner();
    card->insert();
    ASSERT_EVENTUALLY(spy.count() > 0, readMs);
    QList<QByteArray> seen = card->commands();
    ASSERT_EQ(seen.size(), 4);
    // The key is a deployment secret: compared, never printed.
    EXPECT_TRUE(seen.at(1) == hex("FF 82 00 00 06") + CardScanner::cardKey()) << "load key into slot 0";
    seen[1] = "load key";
    const QList<QByteArray> expected{hex("FF 00 52 FF 00"), "load key", hex("FF 86 00 00 05 01 00 08 60 00"),
                                     hex("FF B0 00 08 10")};
    EXPECT_EQ(seen, expected);
}

TEST_F(CardReader, DeliversOnTheMainThread)
{
    card->setSettings(staffCard("00 12 34 56"));
    // A direct connection runs on the thread that emits: the signal itself
    // must come from the main thread, whatever receivers ask for.
    std::atomic<QThread*> receivedOn{nullptr};
    QObject::connect(
        &scanner, &CardScanner::personNumberReaded, &scanner,
        [&receivedOn] { receivedOn = QThread::currentThread(); }, Qt::DirectConnection);
    startScanner();
    card->insert();
    ASSERT_EVENTUALLY(receivedOn.load() != nullptr, readMs);
    EXPECT_EQ(receivedOn.load(), QCoreApplication::instance()->thread());
}

TEST_F(CardReader, DisabledReadsNothingUntilEnabled)
{
    card->setSettings(staffCard("00 12 34 56"));
    startScanner(false);
    card->insert();
    ASSERT_EVENTUALLY(card->firstAtrMSec() != 0, readMs);
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(card->commands().isEmpty());

    // The card was never seen while disabled, so it counts as new now.
    scanner.setEnabled(true);
    ASSERT_EVENTUALLY(spy.count() > 0, readMs);
    EXPECT_EQ(numbers(), QStringList{QStringLiteral("123456")});
}

TEST_F(CardReader, ReadsAgainOnlyAfterRemoveAndReinsert)
{
    card->setSettings(staffCard("00 12 34 56"));
    startScanner();
    card->insert();
    ASSERT_EVENTUALLY(spy.count() > 0, readMs);
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 1) << "a card held on the reader is read once";

    card->remove();
    QTest::qWait(quietMs);
    EXPECT_EQ(spy.count(), 1) << "taking the card away gives no number";

    card->setSettings(staffCard("00 00 00 89"));
    card->insert();
    ASSERT_EVENTUALLY(spy.count() > 1, readMs);
    EXPECT_EQ(numbers(), (QStringList{QStringLiteral("123456"), QStringLiteral("89")}));
}

TEST_F(CardReader, SurvivesAPcscdRestart)
{
    card->setSettings(staffCard("00 12 34 56"));
    startScanner();
    card->insert();
    ASSERT_EVENTUALLY(spy.count() > 0, readMs);

    card->remove();
    ASSERT_TRUE(pcscd.restart()) << pcscd.error().toStdString();
    card->setSettings(staffCard("00 00 00 89"));
    card->insert();
    // The old context is dead; the reader opens a new one, at the latest
    // after its retry wait.
    ASSERT_EVENTUALLY(spy.count() > 1, 30000);
    EXPECT_EQ(numbers(), (QStringList{QStringLiteral("123456"), QStringLiteral("89")}));
}

TEST_F(CardReader, StopsPromptlyDuringTheRetryWait)
{
    pcscd.stop();
    startScanner();
    // Let the thread fail to open and enter its five-second wait.
    QTest::qWait(200);
    EXPECT_FALSE(scanner.isOpened());
    QElapsedTimer stopping;
    stopping.start();
    EXPECT_TRUE(scanner.stopAndWait(2000));
    EXPECT_LT(stopping.elapsed(), 2000);
}

TEST_F(CardReader, HubStartsTheReaderAndEnablesItForUserIdentification)
{
    TestSupport::writeConfig(QStringLiteral("[scanner]\ncard_reader = true\n"));
    StationCore* core = StationCore::instance();
    core->init();
    ASSERT_TRUE(core->cardScanner.isRunning());
    QSignalSpy hubSpy(&core->cardScanner, &CardScanner::personNumberReaded);

    card->setSettings(staffCard("00 12 34 56"));
    card->insert();
    ASSERT_EVENTUALLY(core->cardScanner.isOpened() && card->firstAtrMSec() != 0, readMs);
    QTest::qWait(quietMs);
    EXPECT_EQ(hubSpy.count(), 0) << "QR mode 0 leaves the card reader off";

    core->setQRMode(Constants::qmUser);
    ASSERT_EVENTUALLY(hubSpy.count() > 0, readMs);
    EXPECT_EQ(hubSpy.at(0).at(0).toString(), QStringLiteral("123456"));

    core->stop();
    EXPECT_FALSE(core->cardScanner.isRunning());
    core->destroy();
}

TEST_F(CardReader, HubRoutesAKnownCardToLoginAndAnUnknownToFailure)
{
    TestSupport::writeConfig(QStringLiteral("[scanner]\ncard_reader = true\n"));
    StationCore* core = StationCore::instance();
    core->init();
    DatabaseStructs::User staff;
    staff.id = 8;
    staff.login = QStringLiteral("anna");
    staff.personNumber = QStringLiteral("123456");
    Database::instance()->lock();
    Database::instance()->addUser(staff);
    Database::instance()->unlock();
    QSignalSpy success(core, &StationCore::loginSuccessful);
    QSignalSpy failure(core, &StationCore::loginFailed);
    core->setQRMode(Constants::qmUser);

    card->setSettings(staffCard("00 12 34 56"));
    card->insert();
    ASSERT_EVENTUALLY(success.count() == 1, readMs);
    EXPECT_EQ(success.at(0).at(0).value<DatabaseStructs::User>().id, 8);
    EXPECT_EQ(success.at(0).at(1).toString(), QString());

    card->remove();
    card->setSettings(staffCard("00 65 43 21"));
    card->insert();
    ASSERT_EVENTUALLY(failure.count() == 1, readMs);
    EXPECT_FALSE(failure.at(0).at(0).value<DatabaseStructs::User>().isValid());
    core->stop();
    core->destroy();
}
