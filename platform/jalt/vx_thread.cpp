#include "jalt/vx_thread.h"

#include <QThread>

class VXThread::Worker : public QThread
{
public:
    explicit Worker(VXThread* owner)
        : owner(owner)
    {
    }

protected:
    void run() override { owner->loop(); }

private:
    VXThread* owner;
};

VXThread::VXThread() = default;

VXThread::~VXThread()
{
    stopAndWait();
}

void VXThread::start(VXSystemTime turnPeriod)
{
    start(nullptr, turnPeriod);
}

void VXThread::start(std::function<void()> turnFunction, VXSystemTime turnPeriod)
{
    if (isRunning())
        return;
    function = std::move(turnFunction);
    period = turnPeriod;
    stopping.store(false);
    thread = std::make_unique<Worker>(this);
    thread->start();
}

void VXThread::stop()
{
    QMutexLocker locker(&sleepMutex);
    stopping.store(true);
    sleepCondition.wakeAll();
}

bool VXThread::stopAndWait(int timeoutMs)
{
    stop();
    return waitForFinish(timeoutMs);
}

bool VXThread::waitForFinish(int timeoutMs)
{
    if (!thread)
        return true;
    if (thread.get() == QThread::currentThread())
        return false;
    return thread->wait(timeoutMs < 0 ? ULONG_MAX : ulong(timeoutMs));
}

bool VXThread::isRunning() const
{
    return thread && thread->isRunning();
}

bool VXThread::sleepMs(int ms)
{
    QMutexLocker locker(&sleepMutex);
    if (stopping.load())
        return false;
    if (ms > 0)
        sleepCondition.wait(&sleepMutex, ulong(ms));
    return !stopping.load();
}

void VXThread::loop()
{
    while (!stopping.load()) {
        const qint64 turnStart = VXClock::monotonicMSec();
        if (function)
            function();
        else
            run();
        if (period.isZero())
            continue;
        const qint64 left = period.toMSec() - (VXClock::monotonicMSec() - turnStart);
        if (left > 0 && !sleepMs(int(left)))
            break;
    }
    end();
}
