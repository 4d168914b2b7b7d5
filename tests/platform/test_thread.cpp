#include "jalt/vx_thread.h"

#include <QElapsedTimer>

#include <atomic>

#include "support/test_support.h"

namespace
{
// A worker whose turn sleeps far longer than any test may wait.
class SleepyWorker : public VXThread
{
public:
    ~SleepyWorker() override { stopAndWait(); }
    std::atomic<int> turns{0};
    std::atomic<bool> ended{false};

protected:
    void run() override
    {
        ++turns;
        sleepMs(60000);
    }
    void end() override { ended = true; }
};
} // namespace

TEST(Thread, StopCutsALongSleepShort)
{
    SleepyWorker worker;
    worker.start();
    ASSERT_EVENTUALLY(worker.turns.load() == 1, 2000);
    QElapsedTimer stopping;
    stopping.start();
    EXPECT_TRUE(worker.stopAndWait(5000));
    EXPECT_LT(stopping.elapsed(), 5000);
    EXPECT_TRUE(worker.ended.load());
    EXPECT_EQ(worker.turns.load(), 1);
}

TEST(Thread, PeriodicFunctionStopsDuringItsPeriod)
{
    VXThread thread;
    std::atomic<int> turns{0};
    thread.start([&turns] { ++turns; }, VXSystemTime::fromSec(60));
    ASSERT_EVENTUALLY(turns.load() == 1, 2000);
    EXPECT_TRUE(thread.stopAndWait(5000));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(turns.load(), 1);
}

TEST(Mutex, IsReentrant)
{
    VXMutex mutex;
    VXMutexLocker outer(&mutex);
    EXPECT_TRUE(mutex.tryLock());
    mutex.unlock();
}
