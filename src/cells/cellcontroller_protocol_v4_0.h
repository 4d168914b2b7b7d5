#pragma once

#include "cells/cellcontroller_base.h"

namespace CellControllerProtocol {
namespace V_4_0 {
// XOR of n bytes.
uchar plainChecksum(const uchar* data, int n);

const uchar cmdOpen = 0x82;
const uchar cmdQuery = 0x84;
const int headerSize = 9;
const int maxBoard = 255;
const int maxLock = 255;

#pragma pack(push, 1)
// "WKLY", frame length, board, command, lock, checksum. An answer starts with
// the same header; its lock bytes follow from byte 8 and the checksum moves to
// the end of the frame.
struct Command
{
    explicit Command(uchar cmd = 0)
        : command(cmd)
    {}
    char magic[4] = {'W', 'K', 'L', 'Y'};
    uchar length = headerSize;
    uchar board = 0;
    uchar command = 0;
    uchar lock = 0;
    uchar checksum = 0;
};
#pragma pack(pop)
using Answer = Command;

static_assert(sizeof(Command) == 9, "v4.0 header is 9 bytes");

struct FrameChecksum : Command
{
    using Command::Command;
    const uchar* bytes() const { return reinterpret_cast<const uchar*>(static_cast<const Command*>(this)); }
    uchar calcChecksum() const { return plainChecksum(bytes(), headerSize - 1); }
    void setChecksum() { checksum = calcChecksum(); }
    VXByteArray toBytes() const { return VXByteArray(reinterpret_cast<const char*>(bytes()), headerSize); }
};

class Implementation : public CellControllerBase
{
    Q_OBJECT
public:
    explicit Implementation(QObject* parent = nullptr);

    VXString name() const override { return QStringLiteral("v4.0"); }
    bool canAddress(int board, int lock) const override;
    bool openLock(int board, int lock) override;
    bool queryBoard(int board) override;
    void applyStates(VXMap<int, VXVector<bool>>& states) override;
    void received(const uchar* data, long size) override;

    static VXByteArray openFrame(int board, int lock);
    static VXByteArray queryFrame(int board);

private:
    VXByteArray data;
    int board = 0;
};
} // namespace V_4_0
} // namespace CellControllerProtocol
