// Reading the back-end's download replies into records.

#include "server/server.h"
#include "support/test_support.h"

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
