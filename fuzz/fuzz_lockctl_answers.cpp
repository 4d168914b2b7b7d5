// The lock controller's answers: the input is the byte stream on the link,
// fed to a fresh receiver of one protocol at once, one byte at a time and in
// uneven chunks with pauses. Without pauses the chunking must not change
// which answers are found nor the door flags they give; the buffer never
// holds more than one incomplete frame.

#include <memory>

#include <QByteArray>
#include <QVector>

#include "fuzz_support.h"

#if defined(FUZZ_PROTOCOL_V1_7)
#include "cells/cellcontroller_protocol_v1_7.h"
using Receiver = CellControllerProtocol::V_1_7::Implementation;
// Every 9-byte window is examined as soon as it is complete.
const int maxBuffered = 8;
#elif defined(FUZZ_PROTOCOL_V4_0)
#include "cells/cellcontroller_protocol_v4_0.h"
using Receiver = CellControllerProtocol::V_4_0::Implementation;
// A header whose frame is not complete yet: at most 254 of up to 255 bytes.
const int maxBuffered = 254;
#endif

namespace {
// Longer than the pause after which a receiver drops what it holds.
const qint64 pauseMs = 21;

// What the receiver announced: each answer's size and the flags of every
// board after it was applied.
QByteArray feed(const QByteArray& stream, int chunkSize, bool pauses)
{
    auto receiver = std::make_unique<Receiver>();
    VXMap<int, VXVector<bool>> states;
    QByteArray announced;
    QObject::connect(receiver.get(), &CellControllerBase::applyStatesRequest, [&](int size) {
        receiver->applyStates(states);
        announced += QByteArray::number(size) + ':';
        for (auto it = states.begin(); it != states.end(); ++it) {
            announced += QByteArray::number(it.key()) + '=';
            for (bool open : it.value())
                announced += open ? '1' : '0';
            announced += ' ';
        }
        announced += '\n';
    });
    int chunk = 0;
    for (int at = 0; at < stream.size(); at += chunkSize, ++chunk) {
        if (pauses && chunk % 3 == 2)
            FuzzSupport::advanceClock(pauseMs);
        const QByteArray part = stream.mid(at, chunkSize);
        receiver->received(reinterpret_cast<const uchar*>(part.constData()), part.size());
        if (receiver->bufferedSize() > maxBuffered)
            FuzzSupport::fail("the receive buffer grows past one frame",
                              QByteArray::number(receiver->bufferedSize()));
    }
    return announced;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    // The receivers ask the hub whether to trace frames.
    FuzzSupport::station();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray stream = FuzzSupport::bytes(data, size);
    if (stream.isEmpty())
        return 0;
    const QByteArray whole = feed(stream, stream.size(), false);
    const QByteArray byByte = feed(stream, 1, false);
    if (whole != byByte)
        FuzzSupport::fail("one byte at a time gives other answers than the whole stream",
                          "whole:\n" + whole + "by byte:\n" + byByte);
    feed(stream, 7, true);
    return 0;
}
