#include <limits>

#include <QDateTime>

#include "jalt/vx_time.h"
#include "support/test_support.h"

struct DurationCase
{
    const char* name;
    const char* text;
    bool ok;
    qint64 us;
};
class Durations : public ::testing::TestWithParam<DurationCase>
{
};

TEST_P(Durations, ParseToMicroseconds)
{
    const DurationCase& c = GetParam();
    bool ok = !c.ok;
    const VXSystemTime t = VXSystemTime::fromString(QString::fromUtf8(c.text), &ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(t.toUSec(), c.us);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         Durations,
                         ::testing::Values(DurationCase{"Seconds", "120 s", true, 120000000},
                                           DurationCase{"Millis", "500 ms", true, 500000},
                                           DurationCase{"FractionalSeconds", "0.5 s", true, 500000},
                                           DurationCase{"Minutes", "5 min", true, 300000000},
                                           DurationCase{"Hours", "2 h", true, 7200000000LL},
                                           DurationCase{"Day", "24 h", true, 86400000000LL},
                                           DurationCase{"Frequency", "10 Hz", true, 100000},
                                           DurationCase{"ThreeHz", "3 Hz", true, 333333},
                                           DurationCase{"NoBlank", "20ms", true, 20000},
                                           DurationCase{"Blanks", "  1 s  ", true, 1000000},
                                           DurationCase{"ZeroSeconds", "0 s", true, 0},
                                           DurationCase{"ZeroHz", "0 Hz", false, 0},
                                           DurationCase{"Word", "banana", false, 0},
                                           DurationCase{"NoUnit", "120", false, 0},
                                           DurationCase{"Negative", "-5 s", false, 0},
                                           DurationCase{"Empty", "", false, 0},
                                           DurationCase{"UnknownUnit", "3 days", false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SystemTime, ConvertsToHoursForPriorityRates)
{
    EXPECT_DOUBLE_EQ(VXSystemTime::fromString(QStringLiteral("12 h")).toHours(), 12.0);
    EXPECT_DOUBLE_EQ(VXSystemTime::fromString(QStringLiteral("30 min")).toHours(), 0.5);
}

TEST(SystemTime, SpansBeyondTheMicrosecondRangeAreCutToTheLongest)
{
    const qint64 most = std::numeric_limits<qint64>::max();
    const qint64 least = std::numeric_limits<qint64>::min();
    EXPECT_EQ(VXSystemTime::fromMSec(most / 1000).toUSec(), most / 1000 * 1000);
    EXPECT_EQ(VXSystemTime::fromMSec(most / 1000 + 1).toUSec(), most);
    EXPECT_EQ(VXSystemTime::fromMSec(least / 1000 - 1).toUSec(), least);
    EXPECT_EQ(VXSystemTime::fromSec(most / 1000).toUSec(), most);
    EXPECT_EQ(VXSystemTime::fromMin(least / 1000).toUSec(), least);
    EXPECT_EQ(VXSystemTime::fromMin(-3).toUSec(), -180000000);
}

namespace {
struct ManualClock : VXClock::Source
{
    qint64 ms = 1000;
    qint64 monotonicMSec() override { return ms; }
    QDateTime now() override { return QDateTime(QDate(2026, 3, 20), QTime(18, 10)).addMSecs(ms); }
};
} // namespace

TEST(TimeMeasurer, FollowsAnInstalledClock)
{
    ManualClock clock;
    VXClock::setSource(&clock);
    VXTimeMeasurer measurer;
    clock.ms += 2500;
    EXPECT_EQ(measurer.elapsed_m(), 2500);
    EXPECT_EQ(measurer.elapsed_s(), 2);
    EXPECT_EQ(VXDateTime::current(), QDateTime(QDate(2026, 3, 20), QTime(18, 10, 3, 500)));
    VXClock::setSource(nullptr);
}

// A local wall-clock time reads as its first occurrence; one the clock
// skips reads unset. Qt's own conversions are the oracle, over the days of
// both clock changes (in the tests' zone, Berlin) and times before 1970 and
// past 2038.
TEST(LocalTime, ReadsAsQtReadsItAndTakesTheFirstOccurrence)
{
    auto oracle = [](const QDate& date, const QTime& time) {
        const QDateTime chosen(date, time, Qt::LocalTime);
        if (!chosen.isValid())
            return QDateTime();
        const QDateTime earlier = chosen.addSecs(-3600);
        return earlier.date() == date && earlier.time() == time ? earlier : chosen;
    };
    QList<QDateTime> walls;
    for (const QDate& day : {QDate(2026, 3, 29), QDate(2026, 10, 25), QDate(2026, 6, 1)}) {
        for (int minute = 0; minute < 24 * 60; minute += 5) {
            const QTime time(minute / 60, minute % 60);
            walls.append(QDateTime(day, time, Qt::UTC));
            walls.append(QDateTime(day, time.addSecs(59).addMSecs(999), Qt::UTC));
        }
    }
    for (const QDateTime& odd : {QDateTime(QDate(1969, 12, 31), QTime(23, 30), Qt::UTC),
                                 QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC),
                                 QDateTime(QDate(1970, 1, 1), QTime(1, 30), Qt::UTC),
                                 QDateTime(QDate(1970, 1, 2), QTime(2, 0), Qt::UTC),
                                 QDateTime(QDate(2038, 1, 19), QTime(4, 14, 7), Qt::UTC),
                                 QDateTime(QDate(2038, 1, 19), QTime(5, 0), Qt::UTC),
                                 QDateTime(QDate(2100, 10, 31), QTime(2, 30), Qt::UTC),
                                 QDateTime(QDate(1900, 1, 1), QTime(12, 0), Qt::UTC)})
        walls.append(odd);
    int twice = 0;
    int skipped = 0;
    for (const QDateTime& wall : walls) {
        SCOPED_TRACE(wall.toString(Qt::ISODateWithMs).toStdString());
        const QDateTime expected = oracle(wall.date(), wall.time());
        // The C library picks between two occurrences by what it converted
        // last: a winter time makes it pick the second.
        QDateTime(QDate(2026, 12, 1), QTime(12, 0), Qt::LocalTime).toMSecsSinceEpoch();
        const QDateTime read = VXDateTime::fromLocal(wall.date(), wall.time());
        ASSERT_EQ(read.isValid(), expected.isValid());
        if (!expected.isValid()) {
            ++skipped;
            continue;
        }
        EXPECT_EQ(read.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
        EXPECT_EQ(read.date(), wall.date());
        EXPECT_EQ(read.time(), wall.time());
        EXPECT_EQ(read.timeSpec(), Qt::LocalTime);
        twice += read.addSecs(3600).time() == wall.time() ? 1 : 0;
    }
    // The table holds both kinds of odd times.
    EXPECT_EQ(skipped, 24);
    EXPECT_EQ(twice, 24);
}
