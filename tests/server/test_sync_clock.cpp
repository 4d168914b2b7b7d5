// The server's time-driven checks: the watch that gives up on a download
// chain after the sync interval plus two minutes, and the comparison of the
// back-end's "Date" header with the station's clock. Both run on a manual
// clock, so minutes pass in a step and the compared times are exact.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include "core/core.h"
#include "fake_backend.h"
#include "jalt/vx_time.h"
#include "server/server.h"
#include "server/sync_fixture.h"
#include "storage/database.h"
#include "support/test_support.h"

namespace {
const QString hangLine = QStringLiteral("[Server] Sync hangs, reset states");

// The monotonic counter and the wall clock move only when the test says so.
// The hub's threads read it as well.
class ManualClock : public VXClock::Source
{
public:
    qint64 monotonicMSec() override { return ms.load(); }
    QDateTime now() override { return QDateTime::fromMSecsSinceEpoch(startEpochMs.load() + ms.load()); }
    void advance(VXSystemTime by) { ms += by.toMSec(); }
    // Not at construction: the time zone is set by the test main.
    void reset()
    {
        ms = 0;
        startEpochMs = start().toMSecsSinceEpoch();
    }
    // Local (Europe/Berlin under the test main, UTC+1 on that day).
    static QDateTime start() { return QDateTime(QDate(2026, 3, 20), QTime(12, 0)); }

private:
    std::atomic<qint64> startEpochMs{0};
    std::atomic<qint64> ms{0};
};

// At namespace scope: the hub is a static that outlives every fixture.
ManualClock manualClock;

// The sync fixture on the manual clock from before the hub exists (the
// server's measurers start at its construction). The server's own lines are
// also kept here, in order and at once: the log file is written by another
// thread.
class SyncClockTest : public SyncTest
{
protected:
    void SetUp() override
    {
        manualClock.reset();
        VXClock::setSource(&manualClock);
        SyncTest::SetUp();
    }
    void TearDown() override
    {
        if (core)
            core->server.setLogSink(nullptr);
        SyncTest::TearDown();
        VXClock::setSource(nullptr);
    }

    void start()
    {
        StationCore::instance()->server.setLogSink([this](const VXString& text, int category) {
            serverLog.append(text);
            onServerLine(text);
            StationCore::instance()->log(text, StationCore::LogCategory(category));
        });
        SyncTest::start();
    }

    int count(const QString& line) const { return serverLog.count(line); }
    // The cells are merged last: their count closes an apply.
    int applied() const
    {
        int lines = 0;
        for (const QString& line : serverLog)
            lines += line.startsWith(QLatin1String("[Server] Cells stat  after:")) ? 1 : 0;
        return lines;
    }
    QStringList clockWarnings() const
    {
        QStringList warnings;
        for (const QString& line : serverLog)
            if (line.startsWith(QLatin1String("[Server] Warning: Clock desync")))
                warnings.append(line);
        return warnings;
    }

    // The hang watch acts once more than this has passed since the last apply:
    // the sync interval of the configuration plus two minutes.
    static constexpr VXSystemTime hangLimit = VXSystemTime::fromMin(1) + VXSystemTime::fromMin(2);
    // The period of the server's timer that runs the watch.
    static constexpr VXSystemTime tick = VXSystemTime::fromMSec(200);

    QStringList serverLog;
    std::function<void(const QString&)> onServerLine = [](const QString&) {};
};

bool userKnown(int id)
{
    return Database::instance()->userByID(id).isValid();
}
} // namespace

TEST_F(SyncClockTest, WaitingDownloadIsReportedEveryHangPeriodAndKept)
{
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    core = StationCore::instance();
    core->active_screen = Constants::asAdminLogin; // holds the finished download back
    start();
    ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
    ASSERT_EQ(backend.requestCount(FakeBackend::pathUsers), 1);

    // Exactly the limit is not yet a hang. Three ticks show that nothing
    // happens.
    manualClock.advance(hangLimit);
    QTest::qWait(3 * tick.toMSec());
    EXPECT_EQ(count(hangLine), 0);

    manualClock.advance(VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(count(hangLine) == 1, 3000);
    // Once per period, not once per tick.
    QTest::qWait(3 * tick.toMSec());
    EXPECT_EQ(count(hangLine), 1);

    manualClock.advance(hangLimit + VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(count(hangLine) == 2, 3000);

    // The finished download still waits and still blocks the next one.
    EXPECT_EQ(backend.requestCount(FakeBackend::pathUsers), 1);
    EXPECT_TRUE(core->server.isSyncReady());
    EXPECT_FALSE(userKnown(4));

    // Back on the start screen it is applied, and the next sync is due one
    // interval after that.
    core->active_screen = Constants::asStart;
    ASSERT_EVENTUALLY(applied() == 1, 3000);
    EXPECT_TRUE(userKnown(4));
    EXPECT_FALSE(core->server.isSyncReady());
    manualClock.advance(VXSystemTime::fromMin(1) + VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathUsers) == 2, 3000);
    ASSERT_EVENTUALLY(applied() == 2, 5000);
    EXPECT_EQ(count(hangLine), 2);
}

// The back-end down for an hour of the station's clock while operations are
// made every minute: nothing is lost, no kind of request is repeated more
// than once a second, and once the back-end is back the queue goes out in
// the order it was made.
TEST_F(SyncClockTest, HourLongOutageLosesNothingAndAsksAtMostOnceASecond)
{
    start();
    waitApplied();
    core->server.setRetryDelays(VXSystemTime::fromSec(1), VXSystemTime::fromSec(60));
    // Every request the station sends, with the station's time and its kind.
    struct Sent
    {
        qint64 ms;
        QString kind;
    };
    QList<Sent> sent;
    const QRegularExpression trace(QStringLiteral("^\\[ServerBase\\] send(Get|Post): path: \"([^\"]*)\""));
    onServerLine = [&](const QString& line) {
        const QRegularExpressionMatch match = trace.match(line);
        if (!match.hasMatch())
            return;
        const QString path = match.captured(2);
        const QString kind = path == QLatin1String("token")               ? QStringLiteral("log-in")
                             : match.captured(1) == QLatin1String("Get")  ? QStringLiteral("download")
                             : path.startsWith(QLatin1String("station/")) ? QStringLiteral("log")
                                                                          : QStringLiteral("change");
        sent.append({VXClock::monotonicMSec(), kind});
    };
    const quint16 port = backend.port();
    backend.stop();
    const qint64 down = VXClock::monotonicMSec();

    QList<QByteArray> made;
    Database* db = Database::instance();
    // Short steps while the retries are close together, longer ones later.
    for (qint64 at = 0; at < 3600 * 1000;) {
        if (at % 60000 == 0) {
            const DatabaseStructs::ChangeServer change =
                Server::makeOperation(Constants::doIssued, 9, 4, core->cellsLogic.cells[1],
                                      QStringLiteral("minute %1").arg(at / 60000));
            made.append(change.body);
            db->queueChange(change);
        }
        const qint64 step = at < 180000 ? 100 : 5000;
        manualClock.advance(VXSystemTime::fromMSec(step));
        at += step;
        QTest::qWait(at < 180000 ? 3 : 12);
    }
    const qint64 up = VXClock::monotonicMSec();
    QTest::qWait(100);
    EXPECT_EQ(operations().size(), 0);
    EXPECT_EQ(db->queuedChangesTotal(), 60);

    QMap<QString, qint64> last;
    QMap<QString, int> perKind;
    for (const Sent& request : sent) {
        if (request.ms < down || request.ms > up)
            continue;
        ++perKind[request.kind];
        if (last.contains(request.kind)) {
            EXPECT_GE(request.ms - last.value(request.kind), 1000)
                << request.kind.toStdString() << " at " << request.ms - down << " ms";
        }
        last[request.kind] = request.ms;
    }
    int total = 0;
    for (int n : perKind)
        total += n;
    QMap<qint64, int> perSecond;
    for (const Sent& request : sent) {
        if (request.ms >= down && request.ms <= up)
            ++perSecond[(request.ms - down) / 1000];
    }
    int busiest = 0;
    for (int n : perSecond)
        busiest = std::max(busiest, n);
    std::printf("[outage] most requests in one second: %d; in the hour: %d (", busiest, total);
    for (auto it = perKind.cbegin(); it != perKind.cend(); ++it)
        std::printf("%s%s %d", it == perKind.cbegin() ? "" : ", ", qPrintable(it.key()), it.value());
    std::printf(")\n");
    EXPECT_LE(total, 3600);
    EXPECT_GE(perKind.value(QStringLiteral("change")), 1);

    // Back: the next try comes within the longest pause, and the queue drains.
    ASSERT_TRUE(backend.start(port));
    manualClock.advance(VXSystemTime::fromSec(61));
    ASSERT_EVENTUALLY(operations().size() >= 60 && db->queuedChangesTotal() == 0, 20000);
    QList<QByteArray> received;
    for (const FakeBackend::Request& request : operations())
        received.append(request.body);
    EXPECT_EQ(received, made);
}

TEST_F(SyncClockTest, LateReplyOfAChainGivenUpIsIgnored)
{
    start();
    ASSERT_EVENTUALLY(applied() == 1, 10000);

    // The users reply of the next chain is held back; it names a user only
    // that reply has.
    const int delayMs = 1000;
    FakeBackend::Behaviour slow;
    slow.delayMs = delayMs;
    slow.times = 1;
    backend.setBehaviour(FakeBackend::pathUsers, slow);
    backend.setUsers(R"([{"id":4,"login":"anna"}])");
    backend.clearRequests();
    QElapsedTimer sinceHeldRequest;
    QObject scope; // ends the connection before the timer goes
    QObject::connect(&backend, &FakeBackend::requestReceived, &scope,
                     [&sinceHeldRequest](const FakeBackend::Request& request) {
                         if (request.path.startsWith(FakeBackend::pathUsers) && !sinceHeldRequest.isValid())
                             sinceHeldRequest.start();
                     });
    qint64 resetAfterMs = -1;
    onServerLine = [&](const QString& line) {
        if (line == hangLine && resetAfterMs < 0)
            resetAfterMs = sinceHeldRequest.elapsed();
    };

    core->server.sync();
    // The fake answers on this thread, so once the request is seen its body
    // is fixed; later chains get another user.
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathUsers) == 1, 3000);
    backend.setUsers(R"([{"id":5,"login":"bob"}])");
    manualClock.advance(hangLimit + VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(count(hangLine) == 1, 3000);
    ASSERT_LT(resetAfterMs, delayMs) << "the reset came after the held reply was due: nothing shown";

    // A new chain starts at once, without waiting for the old reply.
    ASSERT_EVENTUALLY(applied() == 2, 5000);
    EXPECT_TRUE(userKnown(5));
    EXPECT_EQ(backend.requestCount(FakeBackend::pathUsers), 2);
    // Nothing marks the handling of the late reply: wait until it is well due.
    QTest::qWait(int(std::max<qint64>(0, delayMs + 500 - sinceHeldRequest.elapsed())));

    // It neither went on with its chain (one devices request: the new
    // chain's) nor was applied.
    EXPECT_EQ(backend.requestCount(FakeBackend::pathDevices), 1);
    EXPECT_FALSE(userKnown(4));
    EXPECT_FALSE(core->server.isSyncing());
    EXPECT_FALSE(core->server.isSyncReady());
    EXPECT_EQ(applied(), 2);

    // And sync goes on as usual.
    manualClock.advance(VXSystemTime::fromMin(1) + VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(applied() == 3, 5000);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathDevices), 2);
    EXPECT_FALSE(userKnown(4));
    EXPECT_EQ(count(hangLine), 1);
}

// The next chain starts only at the tick after the reset; a reply of the old
// chain may come in between, when nothing newer has replaced its generation.
TEST_F(SyncClockTest, ReplyBetweenTheResetAndTheNextChainIsIgnored)
{
    start();
    ASSERT_EVENTUALLY(applied() == 1, 10000);

    FakeBackend::Behaviour hang;
    hang.hang = true;
    hang.times = 1;
    backend.setBehaviour(FakeBackend::pathUsers, hang);
    backend.clearRequests();
    // Right at the reset the back-end drops the held connection and comes
    // back: the access manager sends the request again at once and the old
    // chain gets its answer well within the tick.
    const quint16 port = backend.port();
    bool restarted = false;
    onServerLine = [&](const QString& line) {
        if (line == hangLine && !restarted) {
            backend.stop();
            restarted = backend.start(port);
        }
    };

    core->server.sync();
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathUsers) == 1, 3000);
    manualClock.advance(hangLimit + VXSystemTime::fromMSec(1));
    ASSERT_EVENTUALLY(count(hangLine) == 1, 3000);
    ASSERT_TRUE(restarted);

    ASSERT_EVENTUALLY(applied() == 2, 5000);
    // Every later step once: the new chain's.
    EXPECT_EQ(backend.requestCount(FakeBackend::pathDevices), 1);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathFaults), 1);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathCells), 1);
    EXPECT_FALSE(core->server.isSyncing());
}

struct ClockCase
{
    const char* name;
    qint64 offsetSecs;       // of the back-end's "Date" against the station's clock
    const char* dateText;    // instead of the offset: this header text
    int devicesStatus;       // non-zero: the devices download fails with it
    const char* warningText; // the expected line; nullptr: none
};

namespace {
class SyncClockCheck : public SyncClockTest, public ::testing::WithParamInterface<ClockCase>
{
};

QByteArray rfc2822(const QDateTime& time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}
} // namespace

// The manual clock stands still during the download, and the header has
// whole seconds, so each offset is compared exactly.
TEST_P(SyncClockCheck, WarnsOnceFromFiveMinutesOff)
{
    const ClockCase& c = GetParam();
    // Every download carries the header; only the devices reply is checked.
    FakeBackend::Behaviour dated;
    const QByteArray date =
        c.dateText ? QByteArray(c.dateText) : rfc2822(ManualClock::start().addSecs(c.offsetSecs));
    dated.headers.append(qMakePair(QByteArray("Date"), date));
    backend.setBehaviour(QStringLiteral("api/"), dated);
    if (c.devicesStatus != 0) {
        FakeBackend::Behaviour failing = dated;
        failing.status = c.devicesStatus;
        backend.setBehaviour(FakeBackend::pathDevices, failing);
    }
    start();
    ASSERT_EVENTUALLY(applied() == 1, 10000);
    ASSERT_EQ(backend.requests(FakeBackend::pathDevices).size(), 1);

    if (c.warningText)
        EXPECT_EQ(clockWarnings(), QStringList{QString::fromLatin1(c.warningText)}) << date.constData();
    else
        EXPECT_EQ(clockWarnings(), QStringList()) << date.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    SyncClockCheck,
    // The station's zone is an hour east of UTC: a mix-up of local and UTC
    // times would warn of sixty minutes in step.
    ::testing::Values(ClockCase{"InStep", 0, nullptr, 0, nullptr},
                      ClockCase{"AheadFourMinutesFiftyNine", 299, nullptr, 0, nullptr},
                      ClockCase{"AheadFiveMinutes", 300, nullptr, 0,
                                "[Server] Warning: Clock desync with server: 5 minutes!"},
                      ClockCase{"AheadFiveMinutesOneSecond", 301, nullptr, 0,
                                "[Server] Warning: Clock desync with server: 5.01667 minutes!"},
                      ClockCase{"BehindFourMinutesFiftyNine", -299, nullptr, 0, nullptr},
                      ClockCase{"BehindFiveMinutes", -300, nullptr, 0,
                                "[Server] Warning: Clock desync with server: 5 minutes!"},
                      ClockCase{"BehindTwoHours", -7200, nullptr, 0,
                                "[Server] Warning: Clock desync with server: 120 minutes!"},
                      ClockCase{"NumericZoneInStep", 0, "Fri, 20 Mar 2026 12:00:00 +0100", 0, nullptr},
                      ClockCase{"NumericZoneFiveMinutesAhead", 0, "Fri, 20 Mar 2026 13:05:00 +0200", 0,
                                "[Server] Warning: Clock desync with server: 5 minutes!"},
                      ClockCase{"Garbled", 0, "yesterday at noon", 0, nullptr},
                      ClockCase{"Empty", 0, "", 0, nullptr},
                      ClockCase{"FailedDevicesDownloadIsNotChecked", 3600, nullptr, 500, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Without the manual clock, against the back-end's own clock offset. The
// header has whole seconds and is made before the station reads its clock, so
// the difference the station takes lies up to a second (plus the loopback
// time) beyond the offset: an offset an hour off gives 60 or 60.0167 minutes,
// where a boundary offset such as five minutes would give either outcome.
TEST(SyncClockOffset, BackendClockOffsetReachesTheCheck)
{
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    backend.setClockOffset(-3600);
    QStringList warnings;
    StationCore* core = StationCore::instance();
    core->server.setLogSink([&warnings](const VXString& text, int category) {
        if (text.startsWith(QLatin1String("[Server] Warning: Clock desync")))
            warnings.append(text);
        StationCore::instance()->log(text, StationCore::LogCategory(category));
    });
    TestSupport::writeConfig(QStringLiteral("[general]\npoint_id = 1\n[scanner]\ncard_reader = false\n"
                                            "[cells]\n1 = board = 0, lock = 0\n"
                                            "[server]\nlogin = station\npassword = secret\n"
                                            "base_url = %1\nkeep_alive_interval = 1 h\n")
                                 .arg(backend.baseUrl()));
    core->init();
    EXPECT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[Server] Sync apply")), 10000);
    core->server.setLogSink(nullptr);
    core->stop();
    core->destroy();

    ASSERT_EQ(warnings.size(), 1) << warnings.join(QLatin1Char('\n')).toStdString();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("desync with server: ([0-9.]+) minutes!$")).match(warnings[0]);
    ASSERT_TRUE(match.hasMatch()) << warnings[0].toStdString();
    const double minutes = match.captured(1).toDouble();
    EXPECT_GE(minutes, 60.0);
    EXPECT_LT(minutes, 60.1);
}
