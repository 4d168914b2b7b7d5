#pragma once

#include <QMutex>

#include "jalt/vx_time.h"

// Statistics of a polled link, fed with every packet received. The quality
// rates how recently the peer answered, against the disconnect timeout:
//   1 unknown  nothing received yet
//   2 failure  nothing for the whole disconnect timeout
//   3 bad      the last packet is more than half the timeout old
//   4 average  more than a quarter of the timeout old
//   5 good     received within a quarter of the timeout
class VXDiagnostics
{
public:
    enum Quality
    {
        qUnknown = 1,
        qFailure = 2,
        qBad = 3,
        qAverage = 4,
        qGood = 5,
    };

    struct State
    {
        int quality = qUnknown;
        qint64 packets = 0;
        qint64 bytes = 0;
        qint64 sinceLastMs = -1; // -1: nothing received yet
    };

    void setDisconnectTimeout(VXSystemTime timeout);
    void received(long size);
    State state() const;

private:
    mutable QMutex mutex;
    VXSystemTime disconnectTimeout = VXSystemTime::fromSec(5);
    qint64 packets = 0;
    qint64 bytes = 0;
    qint64 lastMs = 0;
};
