#include "cells/cellcontroller_protocol_v4_0.h"

#include <cstring>

#include <QtDebug>

namespace CellControllerProtocol {
namespace V_4_0 {
uchar plainChecksum(const uchar* data, int n)
{
    uchar sum = 0;
    for (int i = 0; i < n; ++i)
        sum ^= data[i];
    return sum;
}

Implementation::Implementation(QObject* parent)
    : CellControllerBase(parent)
{}

namespace {
bool addressable(int board, int lock)
{
    return board >= 0 && board <= maxBoard && lock >= 0 && lock <= maxLock;
}
} // namespace

bool Implementation::canAddress(int board, int lock) const
{
    return addressable(board, lock);
}

VXByteArray Implementation::openFrame(int board, int lock)
{
    if (!addressable(board, lock))
        return VXByteArray();
    FrameChecksum frame(cmdOpen);
    frame.board = uchar(board);
    frame.lock = uchar(lock);
    frame.setChecksum();
    return frame.toBytes();
}

VXByteArray Implementation::queryFrame(int board)
{
    if (board < 0 || board > maxBoard)
        return VXByteArray();
    FrameChecksum frame(cmdQuery);
    frame.board = uchar(board);
    frame.setChecksum();
    return frame.toBytes();
}

bool Implementation::openLock(int lockBoard, int lock)
{
    if (!device)
        return false;
    const VXByteArray frame = openFrame(lockBoard, lock);
    if (frame.isEmpty()) {
        refuseOpen(lockBoard, lock);
        return false;
    }
    return writeFrame(frame,
                      QStringLiteral("[CellController] open board %1  lock %2").arg(lockBoard).arg(lock));
}

bool Implementation::queryBoard(int queried)
{
    if (!device)
        return false;
    const VXByteArray frame = queryFrame(queried);
    if (frame.isEmpty()) {
        refuseQuery(queried);
        return false;
    }
    return writeFrame(frame, QStringLiteral("[CellController] query board %1").arg(queried));
}

void Implementation::applyStates(VXMap<int, VXVector<bool>>& states)
{
    trace(QStringLiteral("[CellController] states for %1").arg(board));
    VXVector<bool>& flags = states[board];
    flags.resize(32);
    const int n = qMin(data.size(), 32);
    for (int i = 0; i < n; ++i)
        flags[i] = data.at(i) == 0;
}

void Implementation::received(const uchar* chunk, long size)
{
    if (restartAfterGap()) {
        board = 0;
        data.clear();
    }
    if (size > 0)
        buffer.append(reinterpret_cast<const char*>(chunk), int(size));
    const uchar* bytes = reinterpret_cast<const uchar*>(buffer.constData());
    int pos = 0;
    while (buffer.size() - pos >= headerSize) {
        const uchar* frame = bytes + pos;
        if (std::memcmp(frame, "WKLY", 4) != 0) {
            ++pos;
            continue;
        }
        const int length = frame[4];
        // A length that cannot hold the header is no frame start: step over
        // one byte and look for the next "WKLY" (taking the length at its word
        // would never advance for 0).
        if (length < headerSize) {
            ++pos;
            continue;
        }
        if (buffer.size() - pos < length)
            break;
        if (plainChecksum(frame, length - 1) == frame[length - 1]) {
            board = frame[5];
            data = VXByteArray(reinterpret_cast<const char*>(frame + 8), length - headerSize);
            Q_EMIT applyStatesRequest(length);
        } else {
            qDebug("rcv 4.0 checksum failed");
        }
        pos += length;
    }
    buffer.remove(0, pos);
}
} // namespace V_4_0
} // namespace CellControllerProtocol
