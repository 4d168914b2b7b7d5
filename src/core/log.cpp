#include "core/log.h"

#include <QDir>

#include "jalt/vx_file.h"

StationLog::StationLog()
    : splitUs(VXSystemTime::fromMin(8 * 60).toUSec())
    , directory(QStringLiteral("vesk_station_logs"))
{
    stream.setCodec("UTF-8");
    VXDir::make(directory);
    newFile();
    start();
}

StationLog::~StationLog()
{
    stopAndWait();
}

VXString StationLog::enqueue(const VXString& text, const QDateTime& at)
{
    const VXString line = at.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral(" - ") + text;
    if (fileOpen.load()) {
        QMutexLocker locker(&mutex);
        queue.enqueue(line);
    }
    return line;
}

void StationLog::setSplitTime(VXSystemTime period)
{
    splitUs.store(period.toUSec());
}

QString StationLog::currentFileName() const
{
    QMutexLocker locker(&mutex);
    return fileName;
}

void StationLog::newFile()
{
    ++index;
    const QString name = VXDateTime::current().toString(QStringLiteral("yyyy_MM_dd__hh_mm_ss__p"))
                         + QString::number(index) + QStringLiteral(".txt");
    stream.flush();
    file.close();
    file.setFileName(QDir(directory).filePath(name));
    // Appending: a restart within the same second finds a file of that name
    // and must not write over its lines.
    const bool opened = file.open(QIODevice::ReadWrite | QIODevice::Append);
    stream.setDevice(opened ? &file : nullptr);
    fileOpen.store(opened);
    QMutexLocker locker(&mutex);
    fileName = opened ? file.fileName() : QString();
}

void StationLog::run()
{
    const qint64 split = splitUs.load();
    if (split > 0 && sinceSplit.elapsed().toUSec() >= split) {
        sinceSplit.reset();
        newFile();
    }
    {
        QMutexLocker locker(&mutex);
        if (queue.isEmpty()) {
            locker.unlock();
            sleepMs(20);
            return;
        }
    }
    writeQueued();
}

void StationLog::end()
{
    // Lines queued up to the stop are still written.
    fileOpen.store(false);
    writeQueued();
    file.close();
}

void StationLog::writeQueued()
{
    for (;;) {
        VXString line;
        {
            QMutexLocker locker(&mutex);
            if (queue.isEmpty())
                break;
            line = queue.dequeue();
        }
        // The disk write happens outside the lock: producers never wait for it.
        if (stream.device())
            stream << line << '\n';
    }
    stream.flush();
}
