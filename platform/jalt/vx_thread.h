#pragma once

#include <QMutex>
#include <QRecursiveMutex>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

#include "jalt/vx_time.h"

class QThread;

// Re-entrant: the thread holding it may lock it again.
class VXMutex : public QRecursiveMutex
{
};
using VXMutexLocker = QMutexLocker;

// A worker thread that calls run() (or the given function) once per turn.
// With a period the turns start that far apart; without one they follow each
// other at once. Every sleep of the thread is cut short by stop(), so a
// stopping thread finishes within one turn. A class that overrides run() must
// call stopAndWait() in its own destructor: by the time this base destructor
// runs, the derived part is gone.
class VXThread
{
public:
    VXThread();
    virtual ~VXThread();
    VXThread(const VXThread&) = delete;
    VXThread& operator=(const VXThread&) = delete;

    void start(VXSystemTime period = VXSystemTime());
    void start(std::function<void()> function, VXSystemTime period = VXSystemTime());

    // Asks the thread to stop after the current turn; returns at once.
    void stop();
    // stop() and waitForFinish(); past the timeout the thread is left running.
    bool stopAndWait(int timeoutMs = -1);
    bool waitForFinish(int timeoutMs = -1);

    bool isRunning() const;
    bool isStopping() const { return stopping.load(); }

    // Sleeps on the worker thread; returns false at once when asked to stop.
    bool sleepMs(int ms);

protected:
    virtual void run() {}
    // Called once on the worker thread after its last turn.
    virtual void end() {}

private:
    class Worker;
    void loop();

    std::unique_ptr<QThread> thread;
    std::function<void()> function;
    VXSystemTime period;
    std::atomic<bool> stopping{false};
    QMutex sleepMutex;
    QWaitCondition sleepCondition;
};
