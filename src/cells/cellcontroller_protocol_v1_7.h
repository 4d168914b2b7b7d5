#pragma once

#include "cells/cellcontroller_base.h"

namespace CellControllerProtocol {
namespace V_1_7 {
// Sum of n bytes modulo 256.
uchar plainChecksum(const uchar* data, int n);
inline quint32 pow2(int n)
{
    return quint32(1) << (n & 31);
}

const uchar frameStart = 0x02;
const uchar frameEnd = 0x03;
const uchar cmdQuery = 0x30;
const uchar cmdOpen = 0x31;
// Board and lock share one byte, a nibble each.
const int maxBoard = 15;
const int maxLock = 15;

#pragma pack(push, 1)
// 02, board << 4 | lock, command, 03, checksum.
struct Command
{
    explicit Command(uchar cmd = 0)
        : command(cmd)
    {}
    uchar start = frameStart;
    uchar address = 0;
    uchar command = 0;
    uchar end = frameEnd;
    uchar checksum = 0;
};

// 02, board << 4, command, four bytes of door bits (a clear bit is an open
// door), 03, checksum.
struct Answer
{
    explicit Answer(uchar cmd = 0)
        : command(cmd)
    {}
    int board() const { return address >> 4; }
    bool isOpened(int lock) const;
    void applyStates(VXMap<int, VXVector<bool>>& states) const;

    uchar start = frameStart;
    uchar address = 0;
    uchar command = 0;
    uchar doors[4] = {0, 0, 0, 0};
    uchar end = frameEnd;
    uchar checksum = 0;
};
#pragma pack(pop)

static_assert(sizeof(Command) == 5, "v1.7 command is 5 bytes");
static_assert(sizeof(Answer) == 9, "v1.7 answer is 9 bytes");

// The checksum of a frame is its last byte, over all bytes before it.
template <typename Frame> struct FrameChecksum : Frame
{
    using Frame::Frame;
    const uchar* bytes() const { return reinterpret_cast<const uchar*>(static_cast<const Frame*>(this)); }
    uchar calcChecksum() const { return plainChecksum(bytes(), int(sizeof(Frame)) - 1); }
    void setChecksum() { this->checksum = calcChecksum(); }
    bool checkChecksum() const { return this->checksum == calcChecksum(); }
    VXByteArray toBytes() const
    {
        return VXByteArray(reinterpret_cast<const char*>(bytes()), int(sizeof(Frame)));
    }
};

class Implementation : public CellControllerBase
{
    Q_OBJECT
public:
    explicit Implementation(QObject* parent = nullptr);

    VXString name() const override { return QStringLiteral("v1.7"); }
    bool canAddress(int board, int lock) const override;
    bool openLock(int board, int lock) override;
    bool queryBoard(int board) override;
    void applyStates(VXMap<int, VXVector<bool>>& states) override;
    void received(const uchar* data, long size) override;

    // The frames the commands write; empty for what cannot be addressed.
    static VXByteArray openFrame(int board, int lock);
    static VXByteArray queryFrame(int board);

private:
    Answer answer;
};
} // namespace V_1_7
} // namespace CellControllerProtocol
