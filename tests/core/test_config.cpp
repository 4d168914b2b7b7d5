#include <cmath>

#include "core/core.h"
#include "support/test_support.h"

using TestSupport::logHas;
using TestSupport::writeConfig;

namespace
{
StationCore* startWith(const QString& config)
{
    if (!config.isNull())
        writeConfig(config);
    StationCore* core = StationCore::instance();
    core->init();
    return core;
}
} // namespace

TEST(Config, AbsentFileGivesTheDefaults)
{
    StationCore* core = startWith(QString());
    EXPECT_EQ(core->point_id, 0);
    EXPECT_FALSE(core->support_offscreen);
    EXPECT_TRUE(core->return_device_search_only_owned);
    EXPECT_FALSE(core->hide_open_indicator);
    EXPECT_EQ(core->min_return_device_charge, 70);
    EXPECT_EQ(core->min_return_device_charge_offscreen, 30);
    EXPECT_EQ(core->min_return_device_time, 7200);
    EXPECT_DOUBLE_EQ(core->cell_priority_per_hour, 100.0 / 24.0);
    EXPECT_EQ(core->css_big, QStringLiteral("*{font:;}"));
    const StationCore::Timeouts& t = core->timeouts;
    EXPECT_EQ(t.goto_start, VXSystemTime::fromSec(120));
    EXPECT_EQ(t.open_cell_min_interval, VXSystemTime::fromMSec(500));
    EXPECT_EQ(t.reopen_cell, VXSystemTime::fromSec(1));
    EXPECT_EQ(t.open_silence, VXSystemTime::fromMSec(500));
    EXPECT_EQ(t.max_try_open_cell, VXSystemTime::fromSec(4));
    EXPECT_EQ(t.message_lifetime, VXSystemTime::fromSec(5));
    EXPECT_EQ(t.max_return_device, VXSystemTime::fromMin(5));
    EXPECT_EQ(t.reconnect_delay, VXSystemTime::fromSec(1));
    EXPECT_EQ(t.sync_interval, VXSystemTime::fromMin(1));
    EXPECT_EQ(t.keep_alive_interval, VXSystemTime::fromMin(1));
    EXPECT_EQ(core->server_lost_threshold, VXSystemTime::fromMin(2));
    ASSERT_EVENTUALLY(logHas(QStringLiteral("Station ID = 0")), 2000);
}

TEST(Config, ValuesReachTheHub)
{
    StationCore* core = startWith(QStringLiteral("[interface]\n"
                                                 "font_big = bold 28px \"DejaVu Sans\"\n"
                                                 "title = Hall 3\n"
                                                 "open_indicator = false\n"
                                                 "[general]\n"
                                                 "point_id = 42\n"
                                                 "max_cell_priority_time = 12 h\n"
                                                 "min_return_device_time = 90 min\n"
                                                 "[server]\n"
                                                 "sync_interval = 2 min\n"
                                                 "[lock_reasons]\n"
                                                 "reason = Broken door\n"
                                                 "reason =\n"
                                                 "reason = Dirty\n"));
    EXPECT_EQ(core->css_big, QStringLiteral("*{font:bold 28px \"DejaVu Sans\";}"));
    EXPECT_EQ(core->title, QStringLiteral("Hall 3"));
    EXPECT_TRUE(core->hide_open_indicator);
    EXPECT_EQ(core->point_id, 42);
    EXPECT_DOUBLE_EQ(core->cell_priority_per_hour, 100.0 / 12.0);
    EXPECT_EQ(core->min_return_device_time, 5400);
    EXPECT_EQ(core->server_lost_threshold, VXSystemTime::fromMin(3));
    EXPECT_EQ(core->lock_reasons, (QStringList{QStringLiteral("Broken door"), QString(), QStringLiteral("Dirty")}));
    ASSERT_EVENTUALLY(logHas(QStringLiteral("Station ID = 42")), 2000);
}

TEST(Config, ValueThatDoesNotParseKeepsTheDefaultAndWarns)
{
    StationCore* core = startWith(QStringLiteral("[timeouts]\n"
                                                 "goto_start = banana\n"
                                                 "reopen_cell = 0 Hz\n"
                                                 "database_retry = 0 s\n"
                                                 "[general]\n"
                                                 "point_id = twelve\n"
                                                 "min_return_device_charge = 50%1\n"
                                                 "block_on_ambiguous = perhaps\n"));
    EXPECT_EQ(core->timeouts.goto_start, VXSystemTime::fromSec(120));
    EXPECT_EQ(core->timeouts.reopen_cell, VXSystemTime::fromSec(1));
    EXPECT_EQ(core->point_id, 0);
    EXPECT_FALSE(core->block_on_ambiguous);
    // The log file is written by its own thread; the last of the lines.
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[StationCore] [timeouts] reopen_cell = \"0 Hz\" is not a duration, using \"1 s\"")),
                      2000);
    EXPECT_TRUE(logHas(QStringLiteral(
        "[StationCore] [timeouts] goto_start = \"banana\" is not a duration, using \"120 s\"")));
    EXPECT_TRUE(logHas(QStringLiteral("[StationCore] [general] point_id = \"twelve\" is not an integer, using 0")));
    // Read later, with the database's set-up.
    EXPECT_EVENTUALLY(logHas(QStringLiteral("[StationCore] [timeouts] database_retry = 0 ms is too short, using 100 ms")),
                      2000);
    EXPECT_TRUE(logHas(QStringLiteral(
        "[StationCore] [general] min_return_device_charge = \"50%1\" is not an integer, using 70")));
}

TEST(Config, ZeroPriorityTimeGivesAnInfiniteRateNotNaN)
{
    StationCore* core = startWith(QStringLiteral("[general]\nmax_device_priority_time = 0 s\n"));
    EXPECT_TRUE(std::isinf(core->device_priority_per_hour));
    EXPECT_FALSE(std::isnan(core->device_priority_per_hour));
}

TEST(Config, UnreadableLinesAreLoggedWithTheirNumber)
{
    startWith(QStringLiteral("[general]\n= 5\npoint_id = 3\n"));
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[StationCore] vesk_station.conf line 2: a value without a key: ignored")),
                      2000);
}
