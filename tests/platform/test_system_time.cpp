#include <limits>

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

INSTANTIATE_TEST_SUITE_P(
    Table, Durations,
    ::testing::Values(DurationCase{"Seconds", "120 s", true, 120000000}, DurationCase{"Millis", "500 ms", true, 500000},
                      DurationCase{"FractionalSeconds", "0.5 s", true, 500000},
                      DurationCase{"Minutes", "5 min", true, 300000000},
                      DurationCase{"Hours", "2 h", true, 7200000000LL},
                      DurationCase{"Day", "24 h", true, 86400000000LL},
                      DurationCase{"Frequency", "10 Hz", true, 100000}, DurationCase{"ThreeHz", "3 Hz", true, 333333},
                      DurationCase{"NoBlank", "20ms", true, 20000}, DurationCase{"Blanks", "  1 s  ", true, 1000000},
                      DurationCase{"ZeroSeconds", "0 s", true, 0}, DurationCase{"ZeroHz", "0 Hz", false, 0},
                      DurationCase{"Word", "banana", false, 0}, DurationCase{"NoUnit", "120", false, 0},
                      DurationCase{"Negative", "-5 s", false, 0}, DurationCase{"Empty", "", false, 0},
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

namespace
{
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
