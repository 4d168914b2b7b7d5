#include "jalt/vx_chunk_stream.h"
#include "support/test_support.h"

using TestSupport::hex;

struct VIntCase
{
    const char* name;
    quint32 value;
    const char* bytes;
};
class ChunkVInt : public ::testing::TestWithParam<VIntCase>
{
};

TEST_P(ChunkVInt, EncodesSevenBitsPerByteLowGroupFirst)
{
    const VIntCase& c = GetParam();
    QByteArray out;
    VXChunkStream::writeVInt(out, c.value);
    EXPECT_EQ(out, hex(c.bytes));
    int pos = 0;
    quint32 back = 0;
    ASSERT_TRUE(VXChunkStream::readVInt(out, pos, back));
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(pos, out.size());
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ChunkVInt,
                         ::testing::Values(VIntCase{"Zero", 0, "00"},
                                           VIntCase{"OneByteMax", 127, "7f"},
                                           VIntCase{"TwoBytesMin", 128, "8001"},
                                           VIntCase{"Byte300", 300, "ac02"},
                                           VIntCase{"Max32", 0xffffffffu, "ffffffff0f"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadVIntCase
{
    const char* name;
    const char* bytes;
};
class ChunkBadVInt : public ::testing::TestWithParam<BadVIntCase>
{
};

TEST_P(ChunkBadVInt, IsRefusedWithoutMovingThePosition)
{
    const QByteArray in = hex(GetParam().bytes);
    int pos = 0;
    quint32 value = 42;
    EXPECT_FALSE(VXChunkStream::readVInt(in, pos, value));
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(value, 42u);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ChunkBadVInt,
                         ::testing::Values(BadVIntCase{"Empty", ""},
                                           BadVIntCase{"Truncated", "8080"},
                                           BadVIntCase{"SixBytes", "808080808001"},
                                           BadVIntCase{"Over32Bits", "ffffffff1f"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChunkStream, WritesHeaderThenIdLengthAndValue)
{
    VXChunkStream stream;
    stream.add(1, qint32(0x01020304));
    stream.add(200, true);
    stream.add(3, QStringLiteral("Aé"));
    EXPECT_EQ(stream.data(), hex("82"
                                 "01 04 04030201"
                                 "c801 01 01"
                                 "03 08 02000000 4100 e900"));
}

TEST(ChunkStream, ReadsChunksAndKeepsDefaultsForAbsentOrShortOnes)
{
    VXChunkStream stream;
    ASSERT_TRUE(stream.read(hex("82 01 04 2a000000 02 02 0100 07 01 01")));
    qint32 answer = 0;
    qint32 shortInt = -5;
    qint32 absent = 77;
    bool flag = false;
    EXPECT_TRUE(stream.get(1, answer));
    EXPECT_FALSE(stream.get(2, shortInt)); // two bytes cannot hold an int
    EXPECT_FALSE(stream.get(9, absent));
    EXPECT_TRUE(stream.get(7, flag));
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(shortInt, -5);
    EXPECT_EQ(absent, 77);
    EXPECT_TRUE(flag);
}

struct DamagedCase
{
    const char* name;
    const char* bytes;
    int chunksKept;
};
class ChunkDamaged : public ::testing::TestWithParam<DamagedCase>
{
};

TEST_P(ChunkDamaged, StopsAtTheDamageAndKeepsWhatCameBefore)
{
    VXChunkStream stream;
    EXPECT_FALSE(stream.read(hex(GetParam().bytes)));
    EXPECT_EQ(stream.ids().size(), GetParam().chunksKept);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ChunkDamaged,
                         ::testing::Values(DamagedCase{"Empty", "", 0},
                                           DamagedCase{"WrongVersion", "81 01 01 00", 0},
                                           DamagedCase{"LengthPastEnd", "82 01 01 00 02 09 0000", 1},
                                           DamagedCase{"HugeLength", "82 01 ffffffff0f 00", 0},
                                           DamagedCase{"OverlongId", "82 8080808080800101", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoundedCase
{
    const char* name;
    const char* bytes;
};
class BinaryBounded : public ::testing::TestWithParam<BoundedCase>
{
};

TEST_P(BinaryBounded, StringAndBytesReadsNeverPassTheEnd)
{
    const QByteArray data = hex(GetParam().bytes);
    QString text = QStringLiteral("kept");
    QByteArray bytes = "kept";
    VXByteStream forText(data);
    forText >> text;
    VXByteStream forBytes(data);
    forBytes >> bytes;
    EXPECT_FALSE(forText.ok());
    EXPECT_FALSE(forBytes.ok());
    EXPECT_EQ(text, QStringLiteral("kept"));
    EXPECT_EQ(bytes, QByteArray("kept"));
}

INSTANTIATE_TEST_SUITE_P(Table,
                         BinaryBounded,
                         ::testing::Values(BoundedCase{"NegativeCount", "ffffffff"},
                                           BoundedCase{"CountBeyondData", "10000000 4100"},
                                           BoundedCase{"HugeCount", "ffffff7f"},
                                           BoundedCase{"ShortPrefix", "0100"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A stored string is the text itself, but for each surrogate without its
// partner, which becomes "?": valid UTF-16, saved again unchanged.
struct StringCase
{
    const char* name;
    QString text;
    QString stored;
};
class BinaryStrings : public ::testing::TestWithParam<StringCase>
{
};

TEST_P(BinaryStrings, KeepTheTextAndReplaceLoneSurrogates)
{
    const StringCase& c = GetParam();
    QByteArray expected;
    VXByteStream prefix(&expected);
    prefix << qint32(c.stored.size());
    for (const QChar ch : c.stored)
        expected += char(ch.unicode() & 0xff) + QByteArray(1, char(ch.unicode() >> 8));
    QByteArray bytes;
    VXByteStream out(&bytes);
    out << c.text;
    EXPECT_EQ(bytes.toHex(), expected.toHex());
    VXByteStream in(bytes);
    QString back;
    in >> back;
    EXPECT_TRUE(in.ok());
    EXPECT_EQ(back, c.stored);
    QByteArray again;
    VXByteStream saved(&again);
    saved << back;
    EXPECT_EQ(again.toHex(), bytes.toHex());
}

const QString smiley = QStringLiteral("\U0001F600");
INSTANTIATE_TEST_SUITE_P(
    Table,
    BinaryStrings,
    ::testing::Values(
        StringCase{"Empty", QString(), QString()},
        StringCase{"Plain", QStringLiteral("Employee 7"), QStringLiteral("Employee 7")},
        StringCase{"Umlaut", QStringLiteral("Jürgen"), QStringLiteral("Jürgen")},
        StringCase{"SurrogatePair", QStringLiteral("a") + smiley + QStringLiteral("b"),
                   QStringLiteral("a") + smiley + QStringLiteral("b")},
        StringCase{"UnpairedHigh", QStringLiteral("a") + QChar(0xd83d) + QStringLiteral("b"),
                   QStringLiteral("a?b")},
        StringCase{"UnpairedLow", QString(QChar(0xde00)), QStringLiteral("?")},
        StringCase{"HighBeforeAPair", QString(QChar(0xd83d)) + smiley, QStringLiteral("?") + smiley},
        StringCase{"HighAtTheEnd", QStringLiteral("ab") + QChar(0xd83d), QStringLiteral("ab?")},
        // A trip through UTF-8 would drop the first mark and end the text at
        // the NUL; each save would take more away.
        StringCase{"LeadingByteOrderMarks", QString(QChar(0xfeff)) + QChar(0xfeff) + QStringLiteral("abc"),
                   QString(QChar(0xfeff)) + QChar(0xfeff) + QStringLiteral("abc")},
        StringCase{"Nul", QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"),
                   QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")}),
    [](const auto& info) { return std::string(info.param.name); });

// A nested record is read within its own length: bytes after it never
// complete a chunk cut short inside it.
TEST(ChunkStream, NestedRecordEndsAtItsOwnLength)
{
    for (const char* nested : {"82 01 04 2a00", "82 01 84"}) {
        SCOPED_TRACE(nested);
        const QByteArray inner = hex(nested);
        QByteArray bytes;
        VXByteStream out(&bytes);
        out << inner;
        bytes += hex("01 0000 00");
        VXByteStream in(bytes);
        VXChunkStream stream;
        ASSERT_TRUE(stream.readFrom(in));
        EXPECT_TRUE(stream.ids().isEmpty());
        qint32 value = 7;
        EXPECT_FALSE(stream.get(1, value));
        EXPECT_EQ(value, 7);
        EXPECT_EQ(in.remaining(), 4);
    }
}

TEST(BinaryStream, VectorCountBeyondDataFailsWithoutAllocating)
{
    QVector<qint32> values{1, 2};
    VXByteStream stream(hex("ffffff7f 01000000"));
    stream >> values;
    EXPECT_FALSE(stream.ok());
    EXPECT_EQ(values, (QVector<qint32>{1, 2}));
}

TEST(BinaryStream, DateRoundTripKeepsMillisecondsAndUnsetStaysUnset)
{
    const QDateTime when(QDate(2026, 3, 20), QTime(18, 10, 5, 42), Qt::LocalTime);
    QByteArray bytes;
    VXByteStream out(&bytes);
    out << when << QDateTime();
    EXPECT_EQ(bytes.mid(0, 28), hex("ea070000 03000000 14000000 12000000 0a000000 05000000 2a000000"));
    EXPECT_EQ(bytes.mid(28), hex("00000000 00000000 00000000 ffffffff ffffffff ffffffff ffffffff"));
    VXByteStream in(bytes);
    QDateTime first;
    QDateTime second = QDateTime::currentDateTime();
    in >> first >> second;
    EXPECT_EQ(first, when);
    EXPECT_EQ(first.timeSpec(), Qt::LocalTime);
    EXPECT_FALSE(second.isValid());
}

TEST(BinaryStream, TimeTheClockPassesTwiceReadsAsItsFirstOccurrence)
{
    // 2026-10-25 02:30 comes twice in the tests' zone (Berlin): at 00:30 and
    // at 01:30 UTC. The stored parts cannot tell the two apart.
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(1792888200000LL);
    const QDateTime second = first.addSecs(3600);
    ASSERT_EQ(first.time(), QTime(2, 30));
    ASSERT_EQ(second.time(), QTime(2, 30));
    QByteArray bytes;
    VXByteStream out(&bytes);
    out << first << second;
    // The C library resolves such a time by what it converted last: once
    // after a winter time, once after a summer time.
    for (const QDate& before : {QDate(2026, 12, 1), QDate(2026, 7, 1)}) {
        QDateTime(before, QTime(12, 0), Qt::LocalTime).toMSecsSinceEpoch();
        VXByteStream in(bytes);
        QDateTime readFirst;
        QDateTime readSecond;
        in >> readFirst >> readSecond;
        EXPECT_EQ(readFirst.toMSecsSinceEpoch(), first.toMSecsSinceEpoch())
            << before.toString().toStdString();
        EXPECT_EQ(readSecond.toMSecsSinceEpoch(), first.toMSecsSinceEpoch())
            << before.toString().toStdString();
    }
}

TEST(BinaryStream, TimeTheClockSkipsReadsUnset)
{
    QByteArray bytes;
    VXByteStream out(&bytes);
    // 2026-03-29 02:30 does not exist in Berlin: the clock goes from 02:00 to 03:00.
    out << qint32(2026) << qint32(3) << qint32(29) << qint32(2) << qint32(30) << qint32(0) << qint32(0);
    VXByteStream in(bytes);
    QDateTime read = QDateTime::currentDateTime();
    in >> read;
    EXPECT_TRUE(in.ok());
    EXPECT_FALSE(read.isValid());
}
