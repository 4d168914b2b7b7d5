#include "storage/database_structs.h"

#include "jalt/vx_chunk_stream.h"
#include "support/test_support.h"
#include "vexo/vx_conversions.h"

using namespace DatabaseStructs;
using TestSupport::hex;

namespace
{
const QDateTime stamp(QDate(2026, 3, 20), QTime(18, 10, 5, 42), Qt::LocalTime);

User sampleUser()
{
    User u;
    u.id = 17;
    u.name = QStringLiteral("Ётр Øyvind 山田");
    u.login = QStringLiteral("yamada");
    u.passwordHash = QByteArray("\x00\xff\x10", 3);
    u.personNumber = QStringLiteral("123456");
    u.isAdmin = true;
    u.isBlocked = true;
    u.updateDate = stamp;
    return u; // roleUpdateDate stays unset
}

// The blob of a record: 4-byte length, then the chunk data.
QByteArray blob(const QByteArray& chunkData)
{
    QByteArray out;
    VXByteStream s(&out);
    s << chunkData;
    return out;
}
} // namespace

TEST(Records, UserRoundTripKeepsEveryField)
{
    const User u = sampleUser();
    const User back = vxqDeserialize<User>(vxqSerialize(u));
    EXPECT_EQ(back, u);
    EXPECT_FALSE(back.roleUpdateDate.isValid());
    EXPECT_EQ(back.updateDate.time().msec(), 42);
}

TEST(Records, DeviceRoundTripDropsTheComputedPriority)
{
    Device d;
    d.id = 5;
    d.name = QStringLiteral("Терминал");
    d.phone = QStringLiteral("+49 30 1234");
    d.serial = QStringLiteral("SN-0001");
    d.status = Constants::dsInRepair;
    d.userId = 2;
    d.lastCharge = 87;
    d.chargeTrend = Constants::dtFall;
    d.lastChargeDate = stamp;
    d.priority = 55.5;
    const Device back = vxqDeserialize<Device>(vxqSerialize(d));
    EXPECT_EQ(back.priority, 0.0);
    d.priority = 0.0;
    EXPECT_EQ(back, d);
    EXPECT_TRUE(back.isOwnByUser());
}

TEST(Records, StatusAndTrendOutsideTheKnownValuesReadBackAsStored)
{
    // A newer back-end may send values this station does not know yet.
    const QByteArray chunks = hex("82 01 04 05000000 05 04 07000000 08 04 ffffffff");
    const Device back = vxqDeserialize<Device>(blob(chunks));
    EXPECT_EQ(int(back.status), 7);
    EXPECT_EQ(int(back.chargeTrend), -1);
    EXPECT_EQ(vxqSerialize(back), vxqSerialize(vxqDeserialize<Device>(vxqSerialize(back))));
}

TEST(Records, FaultChangeAndLogRoundTrip)
{
    DeviceFault f;
    f.id = 3;
    f.name = QStringLiteral("Экран");
    f.description = QStringLiteral("Cracked «screen»");
    f.updateDate = stamp;
    EXPECT_EQ(vxqDeserialize<DeviceFault>(vxqSerialize(f)), f);

    ChangeServer c;
    c.id = 9; // the row id is not stored
    c.path = QStringLiteral("api/KalmireSync/CreateOperation");
    c.body = QByteArray("{\"a\":\"\xc3\xa9\"}\x00\xff", 13);
    c.cell = 4;
    const ChangeServer cBack = vxqDeserialize<ChangeServer>(vxqSerialize(c));
    EXPECT_EQ(cBack.id, -1);
    EXPECT_EQ(cBack.path, c.path);
    EXPECT_EQ(cBack.body, c.body);
    EXPECT_EQ(cBack.cell, 4);

    ServerLog l;
    l.path = QStringLiteral("log");
    l.body = QByteArray("\x00\xff", 2);
    const ServerLog lBack = vxqDeserialize<ServerLog>(vxqSerialize(l));
    EXPECT_EQ(lBack.path, l.path);
    EXPECT_EQ(lBack.body, l.body);
}

TEST(Records, UserBlobMatchesTheHandBuiltLayout)
{
    User u;
    u.id = 2;
    u.name = QStringLiteral("Aé");
    u.passwordHash = QByteArray("\x00\xff", 2);
    u.isAdmin = true;
    const QByteArray unset = hex("00000000 00000000 00000000 ffffffff ffffffff ffffffff ffffffff");
    const QByteArray chunks = hex("82"
                                  "01 04 02000000"               // id
                                  "02 08 02000000 4100 e900"     // name
                                  "03 04 00000000"               // login
                                  "04 06 02000000 00ff"          // passwordHash
                                  "05 04 00000000"               // personNumber
                                  "06 01 01"                     // isAdmin
                                  "07 01 00")                    // isBlocked
                              + hex("08 1c") + unset + hex("09 1c") + unset;
    EXPECT_EQ(vxqSerialize(u), blob(chunks));
    EXPECT_EQ(vxqDeserialize<User>(blob(chunks)), u);
}

namespace {
// The hand-built fixtures below follow the stored layout byte by byte: 0x82,
// then per field its chunk id, the value's length and the value (integers
// little-endian, strings a character count and UTF-16 characters, byte arrays
// a length and the bytes, dates seven integers).
const QByteArray stampBytes = hex("ea070000 03000000 14000000 12000000 0a000000 05000000 2a000000");
const QByteArray unsetBytes = hex("00000000 00000000 00000000 ffffffff ffffffff ffffffff ffffffff");

// Written as the fixture, and the fixture reads back as expected.
template <typename Record>
void expectStoredAs(const Record& record, const QByteArray& chunks, const Record& readBack)
{
    EXPECT_EQ(vxqSerialize(record), blob(chunks));
    EXPECT_TRUE(vxqDeserialize<Record>(blob(chunks)) == readBack);
}
} // namespace

TEST(Records, DeviceBlobMatchesTheHandBuiltLayout)
{
    Device d;
    d.id = 5;
    d.name = QStringLiteral("Té");
    d.phone = QStringLiteral("+4");
    d.serial = QStringLiteral("S1");
    d.status = Constants::dsInRepair;
    d.userId = -1;
    d.lastCharge = 87;
    d.chargeTrend = Constants::dtFall;
    d.lastChargeDate = stamp;
    d.priority = 55.5; // computed at run time, never stored
    const QByteArray chunks = hex("82"
                                  "01 04 05000000"           // id
                                  "02 08 02000000 5400 e900" // name
                                  "03 08 02000000 2b00 3400" // phone
                                  "04 08 02000000 5300 3100" // serial
                                  "05 04 01000000"           // status
                                  "06 04 ffffffff"           // userId
                                  "07 04 57000000"           // lastCharge
                                  "08 04 03000000")          // chargeTrend
                              + hex("09 1c") + unsetBytes + hex("0a 1c") + stampBytes;
    Device back = d;
    back.priority = 0.0;
    expectStoredAs(d, chunks, back);
}

TEST(Records, DeviceFaultBlobMatchesTheHandBuiltLayout)
{
    DeviceFault f;
    f.id = 3;
    f.name = QStringLiteral("Экран");
    f.updateDate = stamp;
    const QByteArray chunks = hex("82"
                                  "01 04 03000000"                          // id
                                  "02 0e 05000000 2d04 3a04 4004 3004 3d04" // name
                                  "03 04 00000000")                         // description
                              + hex("04 1c") + stampBytes;
    expectStoredAs(f, chunks, f);
}

TEST(Records, ChangeBlobMatchesTheHandBuiltLayout)
{
    ChangeServer c;
    c.id = 9; // the row id: not stored
    c.path = QStringLiteral("api/X");
    c.body = QByteArray(130, 'x'); // a chunk longer than 127 bytes: two-byte length
    c.cell = 4;
    const QByteArray chunks = hex("82"
                                  "01 0e 05000000 6100 7000 6900 2f00 5800" // path
                                  "02 8601 82000000")                       // body
                              + c.body + hex("03 04 04000000");             // cell
    ChangeServer back = c;
    back.id = -1;
    expectStoredAs(c, chunks, back);
}

TEST(Records, LogBlobMatchesTheHandBuiltLayout)
{
    ServerLog l;
    l.id = 2; // the row id: not stored
    l.path = QStringLiteral("station/state");
    l.body = QByteArray("{}");
    const QByteArray chunks =
        hex("82"
            "01 1e 0d000000 7300 7400 6100 7400 6900 6f00 6e00 2f00 7300 7400 6100 7400 6500"
            "02 06 02000000 7b7d");
    ServerLog back = l;
    back.id = -1;
    expectStoredAs(l, chunks, back);
}

TEST(Records, UnknownChunkIsSkippedAndAbsentChunkKeepsItsDefault)
{
    // id, an unknown chunk 12 between, then isAdmin; no chunk 7 (isBlocked).
    const QByteArray chunks = hex("82 01 04 07000000 0c 03 aabbcc 06 01 01");
    const User u = vxqDeserialize<User>(blob(chunks));
    EXPECT_EQ(u.id, 7);
    EXPECT_TRUE(u.isAdmin);
    EXPECT_FALSE(u.isBlocked);
}

struct MalformedCase
{
    const char* name;
    QByteArray bytes;
    int id;       // expected id afterwards
    QString text; // expected name afterwards
};
class RecordsMalformed : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(RecordsMalformed, DecodeWithinBoundsKeepingDefaults)
{
    const User u = vxqDeserialize<User>(GetParam().bytes);
    EXPECT_EQ(u.id, GetParam().id);
    EXPECT_EQ(u.name, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordsMalformed,
    ::testing::Values(
        MalformedCase{"Empty", QByteArray(), -1, QString()},
        MalformedCase{"NegativeLength", hex("ffffffff 82 01 04 05000000"), -1, QString()},
        MalformedCase{"LengthBeyondBlob", hex("ffffff7f 82 01 04 05000000"), -1, QString()},
        MalformedCase{"ShorterThanFourBytes", hex("03000000 82 0101"), -1, QString()},
        MalformedCase{"TruncatedVInt", blob(hex("82 01 04 05000000 ff")), 5, QString()},
        MalformedCase{"OverlongVInt", blob(hex("82 01 04 05000000 8080808080808001 00")), 5, QString()},
        MalformedCase{"StringCountBeyondChunk", blob(hex("82 01 04 05000000 02 06 ffffff0f 4100")), 5, QString()},
        MalformedCase{"ChunkTooShortForInt", blob(hex("82 01 02 0500 02 06 01000000 4200")), -1,
                      QStringLiteral("B")},
        MalformedCase{"ChunkLengthPastEnd", blob(hex("82 01 04 05000000 02 7f 01000000")), 5, QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Records, Predicates)
{
    Device d;
    for (const auto& [holder, owned] : {std::pair{-1, false}, {0, false}, {1, false}, {2, true}}) {
        d.userId = holder;
        EXPECT_EQ(d.isOwnByUser(), owned) << holder;
    }
    ChangeServer c;
    EXPECT_FALSE(c.isValid());
    EXPECT_FALSE(c.hasCell());
    c.id = 0;
    c.cell = 0;
    EXPECT_TRUE(c.isValid());
    EXPECT_TRUE(c.hasCell());
    User u;
    EXPECT_FALSE(u.isValid());
    u.id = 1;
    EXPECT_TRUE(u.isValid());
}

TEST(Records, ZeroTimeIsTheLocalEpoch)
{
    EXPECT_EQ(zeroTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")), QStringLiteral("1970-01-01T00:00:00.000"));
    EXPECT_EQ(zeroTime().timeSpec(), Qt::LocalTime);
}
