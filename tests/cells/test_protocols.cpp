#include <atomic>
#include <vector>

#include <QMutex>

#include "cells/cellcontroller_protocol_v1_7.h"
#include "cells/cellcontroller_protocol_v4_0.h"
#include "support/test_support.h"

using TestSupport::hex;
namespace V17 = CellControllerProtocol::V_1_7;
namespace V40 = CellControllerProtocol::V_4_0;

namespace {
enum class Proto
{
    V1_7,
    V4_0,
};

// Steps the process clock by hand, so the 20 ms gap rule is exact.
struct ManualClock : VXClock::Source
{
    std::atomic<qint64> ms{1000000};
    qint64 monotonicMSec() override { return ms.load(); }
    QDateTime now() override { return QDateTime(QDate(2026, 3, 20), QTime(12, 0)).addMSecs(ms.load()); }
};

// Collects what a controller's answer handler would: the sizes announced and
// the flags applied while each announcement runs.
struct Receiver
{
    explicit Receiver(Proto p)
    {
        if (p == Proto::V1_7)
            protocol.reset(new V17::Implementation());
        else
            protocol.reset(new V40::Implementation());
        QObject::connect(protocol.get(), &CellControllerBase::applyStatesRequest, [this](int size) {
            sizes.push_back(size);
            protocol->applyStates(states);
        });
    }
    void feed(const QByteArray& bytes)
    {
        protocol->received(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    }
    QVector<bool> flags(int board) const { return states.value(board); }

    std::unique_ptr<CellControllerBase> protocol;
    std::vector<int> sizes;
    VXMap<int, VXVector<bool>> states;
};

QVector<bool> flagsOpen(std::initializer_list<int> open, bool others = false)
{
    QVector<bool> flags(32, others);
    for (int lock : open)
        flags[lock] = !others;
    return flags;
}

QByteArray withXor(QByteArray frame)
{
    uchar x = 0;
    for (char c : frame)
        x ^= uchar(c);
    frame.append(char(x));
    return frame;
}
} // namespace

// --- Commands ---------------------------------------------------------------

struct CommandCase
{
    const char* name;
    Proto protocol;
    bool open;
    int board;
    int lock;
    const char* frame; // empty: refused
};

class CommandFrames : public ::testing::TestWithParam<CommandCase>
{
};

TEST_P(CommandFrames, AreExactOrRefused)
{
    const CommandCase& c = GetParam();
    QByteArray frame;
    if (c.protocol == Proto::V1_7)
        frame = c.open ? V17::Implementation::openFrame(c.board, c.lock)
                       : V17::Implementation::queryFrame(c.board);
    else
        frame = c.open ? V40::Implementation::openFrame(c.board, c.lock)
                       : V40::Implementation::queryFrame(c.board);
    EXPECT_EQ(frame, hex(c.frame));
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    CommandFrames,
    ::testing::Values(
        CommandCase{"V17OpenBoard2Lock5", Proto::V1_7, true, 2, 5, "02 25 31 03 5B"},
        CommandCase{"V17QueryBoard3", Proto::V1_7, false, 3, 0, "02 30 30 03 65"},
        CommandCase{"V17OpenHighestAddress", Proto::V1_7, true, 15, 15, "02 FF 31 03 35"},
        CommandCase{"V17OpenBoard0Lock0", Proto::V1_7, true, 0, 0, "02 00 31 03 36"},
        // Masking board 17 to 4 bits would open board 1's door.
        CommandCase{"V17Board17Refused", Proto::V1_7, true, 17, 3, ""},
        CommandCase{"V17Board16Refused", Proto::V1_7, true, 16, 0, ""},
        CommandCase{"V17Lock16Refused", Proto::V1_7, true, 0, 16, ""},
        CommandCase{"V17NegativeBoardRefused", Proto::V1_7, true, -1, 0, ""},
        CommandCase{"V17QueryBoard16Refused", Proto::V1_7, false, 16, 0, ""},
        CommandCase{"V40OpenBoard1Lock7", Proto::V4_0, true, 1, 7, "57 4B 4C 59 09 01 82 07 84"},
        CommandCase{"V40QueryBoard2", Proto::V4_0, false, 2, 0, "57 4B 4C 59 09 02 84 00 86"},
        CommandCase{"V40OpenHighestAddress", Proto::V4_0, true, 255, 255, "57 4B 4C 59 09 FF 82 FF 82"},
        CommandCase{"V40Board256Refused", Proto::V4_0, true, 256, 0, ""},
        CommandCase{"V40Lock256Refused", Proto::V4_0, true, 0, 256, ""},
        CommandCase{"V40QueryBoard256Refused", Proto::V4_0, false, 256, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameChecksum, V17AnswerChecksumIsTheSumOfItsBytes)
{
    V17::FrameChecksum<V17::Answer> answer(0x30);
    answer.address = 0x30;
    answer.doors[0] = 0xFE;
    answer.doors[1] = 0xFD;
    answer.doors[2] = 0xFF;
    answer.doors[3] = 0xFF;
    EXPECT_FALSE(answer.checkChecksum());
    answer.setChecksum();
    EXPECT_EQ(answer.toBytes(), hex("02 30 30 FE FD FF FF 03 5E"));
    EXPECT_TRUE(answer.checkChecksum());
    EXPECT_TRUE(answer.isOpened(0));
    EXPECT_TRUE(answer.isOpened(9));
    EXPECT_FALSE(answer.isOpened(1));
    EXPECT_FALSE(answer.isOpened(-1));
    EXPECT_FALSE(answer.isOpened(32));
    EXPECT_EQ(V17::pow2(33), 2u);
}

// --- Receiving --------------------------------------------------------------

struct Chunk
{
    const char* bytes;
    int afterMs; // pause before this chunk
};

struct ReceiveCase
{
    const char* name;
    Proto protocol;
    std::vector<Chunk> chunks;
    std::vector<int> sizes; // announced answers
    int board;
    QVector<bool> flags; // of that board afterwards; empty: board unknown
};

class Receiving : public ::testing::TestWithParam<ReceiveCase>
{
};

TEST_P(Receiving, FindsExactlyTheValidAnswers)
{
    const ReceiveCase& c = GetParam();
    ManualClock clock;
    VXClock::setSource(&clock);
    {
        Receiver receiver(c.protocol);
        for (const Chunk& chunk : c.chunks) {
            clock.ms += chunk.afterMs;
            receiver.feed(hex(chunk.bytes));
        }
        EXPECT_EQ(receiver.sizes, c.sizes);
        EXPECT_EQ(receiver.flags(c.board), c.flags);
        EXPECT_LT(receiver.protocol->bufferedSize(), 255);
    }
    VXClock::setSource(nullptr);
}

const char* const v17Example = "02 30 30 FE FD FF FF 03 5E";
const char* const v40Example = "57 4B 4C 59 0D 02 84 00 00 01 01 00 82";

INSTANTIATE_TEST_SUITE_P(
    Table,
    Receiving,
    ::testing::Values(
        ReceiveCase{"V17Example", Proto::V1_7, {{v17Example, 0}}, {9}, 3, flagsOpen({0, 9})},
        ReceiveCase{"V17TwoStrayBytesFirst",
                    Proto::V1_7,
                    {{"AA 02 02 30 30 FE FD FF FF 03 5E", 0}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17BadChecksumSkipped", Proto::V1_7, {{"02 30 30 FE FD FF FF 03 5F", 0}}, {}, 3, {}},
        ReceiveCase{"V17BadChecksumThenGoodFrame",
                    Proto::V1_7,
                    {{"02 30 30 FE FD FF FF 03 5F 02 30 30 FE FD FF FF 03 5E", 0}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17SplitTenMsApart",
                    Proto::V1_7,
                    {{"02 30 30 FE", 0}, {"FD FF FF 03 5E", 10}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17SplitAtTwentyMsStillJoins",
                    Proto::V1_7,
                    {{"02 30 30 FE", 0}, {"FD FF FF 03 5E", 20}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17SplitThirtyMsApartIsDropped",
                    Proto::V1_7,
                    {{"02 30 30 FE", 0}, {"FD FF FF 03 5E", 30}},
                    {},
                    3,
                    {}},
        ReceiveCase{"V17WholeAnswerAfterGap",
                    Proto::V1_7,
                    {{"02 30 30 FE", 0}, {v17Example, 30}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17EchoBeforeAnswer",
                    Proto::V1_7,
                    {{"02 30 30 03 65", 0}, {v17Example, 2}},
                    {9},
                    3,
                    flagsOpen({0, 9})},
        ReceiveCase{"V17AllClosedBoard15",
                    Proto::V1_7,
                    {{"02 F0 31 FF FF FF FF 03 22", 0}},
                    {9},
                    15,
                    QVector<bool>(32, false)},
        ReceiveCase{"V40Example", Proto::V4_0, {{v40Example, 0}}, {13}, 2, flagsOpen({0, 3})},
        ReceiveCase{"V40StrayBytesFirst",
                    Proto::V4_0,
                    {{"00 57 4B 57 4B 4C 59 0D 02 84 00 00 01 01 00 82", 0}},
                    {13},
                    2,
                    flagsOpen({0, 3})},
        ReceiveCase{"V40SplitTenMsApart",
                    Proto::V4_0,
                    {{"57 4B 4C 59 0D 02", 0}, {"84 00 00 01 01 00 82", 10}},
                    {13},
                    2,
                    flagsOpen({0, 3})},
        ReceiveCase{"V40SplitThirtyMsApartIsDropped",
                    Proto::V4_0,
                    {{"57 4B 4C 59 0D 02", 0}, {"84 00 00 01 01 00 82", 30}},
                    {},
                    2,
                    {}},
        ReceiveCase{"V40BadChecksumThenGoodFrame",
                    Proto::V4_0,
                    {{"57 4B 4C 59 0D 02 84 00 00 01 01 00 83 57 4B 4C 59 0D 02 84 00 00 01 01 00 82", 0}},
                    {13},
                    2,
                    flagsOpen({0, 3})},
        ReceiveCase{"V40LengthNineCreatesClosedFlags",
                    Proto::V4_0,
                    {{"57 4B 4C 59 09 05 84 00 81", 0}},
                    {9},
                    5,
                    QVector<bool>(32, false)},
        // A length byte of 0 must not stall the receiver on the same header.
        ReceiveCase{"V40HeaderLengthZeroThenGoodFrame",
                    Proto::V4_0,
                    {{"57 4B 4C 59 00 02 84 00 00 57 4B 4C 59 0D 02 84 00 00 01 01 00 82", 0}},
                    {13},
                    2,
                    flagsOpen({0, 3})},
        ReceiveCase{"V40HeaderLengthFiveThenGoodFrame",
                    Proto::V4_0,
                    {{"57 4B 4C 59 05 57 4B 4C 59 0D 02 84 00 00 01 01 00 82", 0}},
                    {13},
                    2,
                    flagsOpen({0, 3})},
        ReceiveCase{"V40EchoedQueryIsAnEmptyReport",
                    Proto::V4_0,
                    {{"57 4B 4C 59 09 02 84 00 86", 0}, {v40Example, 2}},
                    {9, 13},
                    2,
                    flagsOpen({0, 3})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Answers, V40FortyLockBytesSetThe32FlagsAndIgnoreTheRest)
{
    // Locks 0..39: even locks open (byte 0), odd closed; lock bytes past the
    // 32nd must not reach the flags or beyond them.
    QByteArray frame = hex("57 4B 4C 59");
    frame.append(char(9 + 40));
    frame.append(hex("07 84 00"));
    for (int i = 0; i < 40; ++i)
        frame.append(char(i % 2));
    frame = withXor(frame);
    Receiver receiver(Proto::V4_0);
    receiver.feed(frame);
    ASSERT_EQ(receiver.sizes, std::vector<int>{49});
    QVector<bool> expected(32);
    for (int i = 0; i < 32; ++i)
        expected[i] = i % 2 == 0;
    EXPECT_EQ(receiver.flags(7), expected);
}

TEST(Answers, V40ShortAnswerKeepsFlagsBeyondItsLockBytes)
{
    Receiver receiver(Proto::V4_0);
    QByteArray allOpen = hex("57 4B 4C 59");
    allOpen.append(char(9 + 32));
    allOpen.append(hex("01 84 00"));
    allOpen.append(QByteArray(32, 0));
    receiver.feed(withXor(allOpen));
    // Four lock bytes: locks 0 and 2 closed now, 4..31 stay open.
    receiver.feed(withXor(hex("57 4B 4C 59 0D 01 84 00 01 00 01 00")));
    ASSERT_EQ(receiver.sizes, (std::vector<int>{41, 13}));
    EXPECT_EQ(receiver.flags(1), flagsOpen({0, 2}, true));
}

TEST(Answers, V17AnswerReplacesAllFlagsOfItsBoard)
{
    Receiver receiver(Proto::V1_7);
    receiver.feed(hex("02 30 30 00 00 00 00 03 65")); // every door open
    receiver.feed(hex(v17Example));
    EXPECT_EQ(receiver.flags(3), flagsOpen({0, 9}));
    EXPECT_TRUE(receiver.flags(0).isEmpty());
}

TEST(Answers, ReceivedBytesTraceListsBytesInBaseTen)
{
    const QByteArray bytes = hex("02 30 FE");
    EXPECT_EQ(CellControllerBase::bytesText(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()),
              QStringLiteral("2, 48, 254"));
}
