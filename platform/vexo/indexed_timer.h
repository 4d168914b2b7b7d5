#pragma once

#include <QTimer>

#include <functional>
#include <map>
#include <memory>

#include "jalt/vx_time.h"

// Numbered timers of an object. Each id owns one QTimer living on the thread
// that first touches it (the owner's thread, by convention the GUI thread);
// the bound function runs there.
template <typename Id> class IndexedTimer
{
public:
    IndexedTimer() = default;
    virtual ~IndexedTimer() = default;
    IndexedTimer(const IndexedTimer&) = delete;
    IndexedTimer& operator=(const IndexedTimer&) = delete;

    void bindIndexedTimer(Id id, std::function<void()> function) { entry(id).function = std::move(function); }

    void setIndexedTimerSingleShot(Id id, bool singleShot) { entry(id).timer->setSingleShot(singleShot); }

    // (Re)starts the timer of id; a running timer of that id is replaced. A
    // given function replaces the bound one.
    void startIndexedTimer(Id id, VXSystemTime interval, std::function<void()> function = nullptr)
    {
        startIndexedTimerMs(id, int(qBound<qint64>(0, interval.toMSec(), INT_MAX)), std::move(function));
    }
    void startIndexedTimerMs(Id id, int intervalMs, std::function<void()> function = nullptr)
    {
        Entry& e = entry(id);
        if (function)
            e.function = std::move(function);
        e.timer->start(intervalMs);
    }

    void stopIndexedTimer(Id id)
    {
        auto found = timers.find(id);
        if (found != timers.end())
            found->second.timer->stop();
    }

    void stopAllIndexedTimers()
    {
        for (auto& item : timers)
            item.second.timer->stop();
    }

    bool isIndexedTimerActive(Id id) const
    {
        auto found = timers.find(id);
        return found != timers.end() && found->second.timer->isActive();
    }

    // Remaining milliseconds of a running timer, 0 when it is stopped.
    int indexedTimerRemainingTime(Id id) const
    {
        auto found = timers.find(id);
        if (found == timers.end() || !found->second.timer->isActive())
            return 0;
        return qMax(0, found->second.timer->remainingTime());
    }

private:
    struct Entry
    {
        std::unique_ptr<QTimer> timer;
        std::function<void()> function;
    };

    Entry& entry(Id id)
    {
        auto found = timers.find(id);
        if (found != timers.end())
            return found->second;
        Entry& e = timers[id];
        e.timer = std::make_unique<QTimer>();
        e.timer->setTimerType(Qt::PreciseTimer);
        QTimer::connect(e.timer.get(), &QTimer::timeout, [this, id] {
            auto current = timers.find(id);
            if (current != timers.end() && current->second.function) {
                // A copy: the function may rebind or restart its own timer.
                const std::function<void()> function = current->second.function;
                function();
            }
        });
        return e;
    }

    std::map<Id, Entry> timers;
};
