#pragma once

#include <QFile>
#include <QMutex>
#include <QTextStream>

#include <atomic>

#include "jalt/vx_thread.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"

// The log writer: callers format and queue lines; the writer thread appends
// them to the current file in "vesk_station_logs" and starts a new file every
// split period. Never logs itself (it is a member of the hub).
class StationLog : public VXThread
{
public:
    StationLog();
    ~StationLog() override;

    // Formats the local line ("hh:mm:ss.zzz - text", the time of the line
    // being at) and queues it while a file is open; returns the line either
    // way.
    VXString enqueue(const VXString& text, const QDateTime& at = VXDateTime::current());
    void setSplitTime(VXSystemTime period);

    QString currentFileName() const;

protected:
    void run() override;
    void end() override;

private:
    void newFile();
    void writeQueued();

    mutable QMutex mutex;
    QFile file;
    QTextStream stream;
    VXTimeMeasurer sinceSplit;
    std::atomic<qint64> splitUs;
    const VXString directory;
    VXQueue<VXString> queue;
    int index = -1;
    std::atomic<bool> fileOpen{false};
    QString fileName;
};
