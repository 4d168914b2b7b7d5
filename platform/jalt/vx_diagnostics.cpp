#include "jalt/vx_diagnostics.h"

void VXDiagnostics::setDisconnectTimeout(VXSystemTime timeout)
{
    QMutexLocker locker(&mutex);
    disconnectTimeout = timeout;
}

void VXDiagnostics::received(long size)
{
    QMutexLocker locker(&mutex);
    ++packets;
    bytes += size > 0 ? size : 0;
    lastMs = VXClock::monotonicMSec();
}

VXDiagnostics::State VXDiagnostics::state() const
{
    QMutexLocker locker(&mutex);
    State result;
    result.packets = packets;
    result.bytes = bytes;
    if (packets == 0)
        return result;
    const qint64 age = VXClock::monotonicMSec() - lastMs;
    const qint64 timeout = disconnectTimeout.toMSec();
    result.sinceLastMs = age;
    if (age >= timeout)
        result.quality = qFailure;
    else if (age * 2 > timeout)
        result.quality = qBad;
    else if (age * 4 > timeout)
        result.quality = qAverage;
    else
        result.quality = qGood;
    return result;
}
