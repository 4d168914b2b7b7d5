#include "vexo/indexed_timer.h"

#include "support/test_support.h"

namespace
{
struct Owner : IndexedTimer<int>
{
};
} // namespace

TEST(IndexedTimer, RestartReplacesTheRunningTimerOfThatId)
{
    Owner owner;
    int fired = 0;
    owner.setIndexedTimerSingleShot(1, true);
    owner.startIndexedTimerMs(1, 20, [&fired] { ++fired; });
    owner.startIndexedTimerMs(1, 60000);
    EXPECT_GT(owner.indexedTimerRemainingTime(1), 50000);
    QTest::qWait(80); // the replaced 20 ms start must not fire
    EXPECT_EQ(fired, 0);
    owner.startIndexedTimerMs(1, 10);
    ASSERT_EVENTUALLY(fired == 1, 2000);
    EXPECT_FALSE(owner.isIndexedTimerActive(1));
    EXPECT_EQ(owner.indexedTimerRemainingTime(1), 0);
}

TEST(IndexedTimer, StopAllStopsEveryId)
{
    Owner owner;
    int fired = 0;
    owner.startIndexedTimerMs(1, 10, [&fired] { ++fired; });
    owner.startIndexedTimerMs(2, 10, [&fired] { ++fired; });
    owner.stopAllIndexedTimers();
    QTest::qWait(50); // several periods: nothing may fire
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(owner.isIndexedTimerActive(2));
}
