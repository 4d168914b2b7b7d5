#include "cells/cellcontroller_protocol_v1_7.h"

#include <cstring>

namespace CellControllerProtocol {
namespace V_1_7 {
uchar plainChecksum(const uchar* data, int n)
{
    uchar sum = 0;
    for (int i = 0; i < n; ++i)
        sum = uchar(sum + data[i]);
    return sum;
}

bool Answer::isOpened(int lock) const
{
    if (lock < 0 || lock > 31)
        return false;
    return (doors[lock / 8] & pow2(lock % 8)) == 0;
}

void Answer::applyStates(VXMap<int, VXVector<bool>>& states) const
{
    VXVector<bool>& flags = states[board()];
    flags.resize(32);
    for (int i = 0; i < 32; ++i)
        flags[i] = isOpened(i);
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
    FrameChecksum<Command> frame(cmdOpen);
    frame.address = uchar(board << 4 | lock);
    frame.setChecksum();
    return frame.toBytes();
}

VXByteArray Implementation::queryFrame(int board)
{
    if (board < 0 || board > maxBoard)
        return VXByteArray();
    FrameChecksum<Command> frame(cmdQuery);
    frame.address = uchar(board << 4);
    frame.setChecksum();
    return frame.toBytes();
}

bool Implementation::openLock(int board, int lock)
{
    if (!device)
        return false;
    const VXByteArray frame = openFrame(board, lock);
    if (frame.isEmpty()) {
        refuseOpen(board, lock);
        return false;
    }
    return writeFrame(frame, QStringLiteral("[CellController] open board %1  lock %2").arg(board).arg(lock));
}

bool Implementation::queryBoard(int board)
{
    if (!device)
        return false;
    const VXByteArray frame = queryFrame(board);
    if (frame.isEmpty()) {
        refuseQuery(board);
        return false;
    }
    return writeFrame(frame, QStringLiteral("[CellController] query board %1").arg(board));
}

void Implementation::applyStates(VXMap<int, VXVector<bool>>& states)
{
    trace(QStringLiteral("[CellController] states for %1").arg(answer.board()));
    answer.applyStates(states);
}

void Implementation::received(const uchar* data, long size)
{
    restartAfterGap();
    if (size > 0)
        buffer.append(reinterpret_cast<const char*>(data), int(size));
    // Slide a 9-byte window one byte at a time until start byte and checksum
    // agree: that is how the receiver finds frame boundaries after noise.
    const int frameSize = int(sizeof(Answer));
    const uchar* bytes = reinterpret_cast<const uchar*>(buffer.constData());
    int pos = 0;
    while (buffer.size() - pos >= frameSize) {
        const uchar* window = bytes + pos;
        if (window[0] == frameStart && window[frameSize - 1] == plainChecksum(window, frameSize - 1)) {
            std::memcpy(&answer, window, size_t(frameSize));
            Q_EMIT applyStatesRequest(frameSize);
            pos += frameSize;
        } else {
            ++pos;
        }
    }
    buffer.remove(0, pos);
}
} // namespace V_1_7
} // namespace CellControllerProtocol
