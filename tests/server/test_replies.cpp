// Reading the back-end's download replies into records.

#include "jalt/vx_time.h"
#include "server/server.h"
#include "support/test_support.h"
#include "vexo/vx_conversions.h"

namespace {
Server::Download read(const char* users, const char* devices, const char* cells)
{
    const QDateTime sent = QDateTime::currentDateTime();
    return Server::readDownload(users, devices, QByteArray(), cells, sent, sent);
}
} // namespace

TEST(Replies, ValuesOutsideTheKnownOnesAreReadAsSent)
{
    const Server::Download download =
        read("[]", R"([{"id": 5, "serial": "SN-0005", "status": 7, "chargeTrend": -1}])",
             R"({"devicePointCells": [{"cellNumber": 1, "id": 101, "deviceId": 5, "lastOperation": 9}]})");
    ASSERT_EQ(download.devices.size(), 1);
    EXPECT_EQ(int(download.devices[0].status), 7);
    EXPECT_EQ(int(download.devices[0].chargeTrend), -1);
    ASSERT_EQ(download.cells.size(), 1);
    EXPECT_EQ(int(download.cells[0].lastOperation), 9);
    EXPECT_EQ(download.cells[0].deviceId, 5);
}

TEST(Replies, TimeTheClockPassesTwiceIsTheOneTheDatabaseGivesBack)
{
    // 25.10.2026 02:30 comes twice in Berlin (the tests' zone); the stored
    // record cannot tell which was meant, so the reply must mean the same.
    const char* users = R"([{"id": 3, "login": "admin", "updateDate": "25.10.2026 02:30:00"}])";
    for (const QDate& before : {QDate(2026, 7, 1), QDate(2026, 12, 1)}) {
        // What the C library picks depends on the time it converted last.
        QDateTime(before, QTime(12, 0), Qt::LocalTime).toMSecsSinceEpoch();
        const Server::Download download = read(users, "[]", "{}");
        ASSERT_EQ(download.users.size(), 1);
        const QDateTime received = download.users[0].updateDate;
        EXPECT_EQ(received.toMSecsSinceEpoch(), 1792888200000LL) << before.toString().toStdString();
        const QDateTime stored =
            vxqDeserialize<DatabaseStructs::User>(vxqSerialize(download.users[0])).updateDate;
        EXPECT_EQ(stored.toMSecsSinceEpoch(), received.toMSecsSinceEpoch())
            << before.toString().toStdString();
    }
}
