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
