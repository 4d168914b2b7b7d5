// Reading the back-end's download replies into records.

#include <functional>

#include <QVariant>

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

namespace {
// The four downloads as the back-end writes them: every key of each record,
// values that differ from the defaults and from each other, so that a key
// read under a wrong name or into another field shows.
const char* const usersReply = R"([
  {"id": 4, "name": "Anna Berg", "login": "anna", "passwordHash": "AAEC/w==", "personNumber": "0089",
   "isAdmin": true, "isBlocked": false, "updateDate": "14.03.2026 09:05:07",
   "roleUpdateDate": "02.01.2026 18:30:00"},
  {"id": 7, "name": "Olaf Lind", "login": "olaf", "passwordHash": "", "personNumber": "0112",
   "isAdmin": false, "isBlocked": true, "updateDate": "15.03.2026 07:00:00",
   "roleUpdateDate": "03.01.2026 06:15:00"}
])";
const char* const devicesReply = R"([
  {"id": 12, "name": "Scanner 12", "phone": "+49 30 1234567", "serial": "SN-0012", "status": 1,
   "userId": 4, "lastCharge": 85, "updateDate": "15.03.2026 10:00:00", "chargeTrend": 3,
   "lastChargeDate": "15.03.2026 09:45:30"},
  {"id": 20, "name": "Scanner 20", "phone": "", "serial": "SN-0020", "status": 0, "userId": null,
   "lastCharge": 40, "updateDate": "15.03.2026 10:00:01", "chargeTrend": 1,
   "lastChargeDate": "15.03.2026 09:00:00"}
])";
const char* const faultsReply = R"([
  {"id": 3, "name": "Cracked screen", "description": "The glass is broken", "updateDate": "01.02.2026 08:00:00"}
])";
const char* const cellsReply = R"({"devicePointCells": [
  {"cellNumber": 1, "id": 101, "deviceId": 12, "isLocked": true, "description": "Broken hinge",
   "lastOperation": 1, "lastOperationUserId": 4, "lastOperationDate": "16.03.2026 11:22:33",
   "updateDate": "16.03.2026 11:22:40"},
  {"cellNumber": 2, "id": 102, "deviceId": 0, "isLocked": false, "description": "",
   "lastOperation": 0, "lastOperationUserId": 7, "lastOperationDate": "16.03.2026 12:00:00",
   "updateDate": "16.03.2026 12:00:05"}
]})";

QDateTime local(int day, int month, int hour, int minute, int second)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

struct FieldCase
{
    const char* name;
    std::function<QVariant(const Server::Download&)> field;
    QVariant expected;
};
void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << c.name;
}
class DownloadFields : public ::testing::TestWithParam<FieldCase>
{
};
} // namespace

TEST_P(DownloadFields, LandInTheirRecords)
{
    const QDateTime sent = QDateTime::currentDateTime();
    const Server::Download download =
        Server::readDownload(usersReply, devicesReply, faultsReply, cellsReply, sent, sent);
    ASSERT_EQ(download.users.size(), 2);
    ASSERT_EQ(download.devices.size(), 2);
    ASSERT_EQ(download.faults.size(), 1);
    ASSERT_EQ(download.cells.size(), 2);
    const QVariant got = GetParam().field(download);
    EXPECT_EQ(got, GetParam().expected) << got.toString().toStdString();
}

using Download = Server::Download;
INSTANTIATE_TEST_SUITE_P(
    Table,
    DownloadFields,
    ::testing::Values(
        FieldCase{"UserId", [](const Download& d) { return QVariant(d.users[0].id); }, 4},
        FieldCase{"UserName", [](const Download& d) { return QVariant(d.users[0].name); }, "Anna Berg"},
        FieldCase{"UserLogin", [](const Download& d) { return QVariant(d.users[1].login); }, "olaf"},
        // Base64 text, decoded to the bytes of the hash.
        FieldCase{"UserPasswordHash", [](const Download& d) { return QVariant(d.users[0].passwordHash); },
                  QByteArray("\x00\x01\x02\xff", 4)},
        FieldCase{"UserPersonNumber", [](const Download& d) { return QVariant(d.users[1].personNumber); },
                  "0112"},
        FieldCase{"UserIsAdmin", [](const Download& d) { return QVariant(d.users[0].isAdmin); }, true},
        FieldCase{"AdminIsNotBlocked", [](const Download& d) { return QVariant(d.users[0].isBlocked); },
                  false},
        FieldCase{"UserIsBlocked", [](const Download& d) { return QVariant(d.users[1].isBlocked); }, true},
        FieldCase{"BlockedUserIsNoAdmin", [](const Download& d) { return QVariant(d.users[1].isAdmin); },
                  false},
        FieldCase{"UserUpdateDate", [](const Download& d) { return QVariant(d.users[0].updateDate); },
                  local(14, 3, 9, 5, 7)},
        FieldCase{"UserRoleUpdateDate", [](const Download& d) { return QVariant(d.users[0].roleUpdateDate); },
                  local(2, 1, 18, 30, 0)},
        FieldCase{"DeviceId", [](const Download& d) { return QVariant(d.devices[0].id); }, 12},
        FieldCase{"DeviceName", [](const Download& d) { return QVariant(d.devices[0].name); }, "Scanner 12"},
        FieldCase{"DevicePhone", [](const Download& d) { return QVariant(d.devices[0].phone); },
                  "+49 30 1234567"},
        FieldCase{"DeviceSerial", [](const Download& d) { return QVariant(d.devices[1].serial); }, "SN-0020"},
        FieldCase{"DeviceStatus", [](const Download& d) { return QVariant(int(d.devices[0].status)); },
                  int(Constants::dsInRepair)},
        FieldCase{"DeviceUserId", [](const Download& d) { return QVariant(d.devices[0].userId); }, 4},
        FieldCase{"DeviceWithNullUserId", [](const Download& d) { return QVariant(d.devices[1].userId); }, 0},
        FieldCase{"DeviceLastCharge", [](const Download& d) { return QVariant(d.devices[0].lastCharge); },
                  85},
        FieldCase{"DeviceUpdateDate", [](const Download& d) { return QVariant(d.devices[0].updateDate); },
                  local(15, 3, 10, 0, 0)},
        FieldCase{"DeviceChargeTrend",
                  [](const Download& d) { return QVariant(int(d.devices[0].chargeTrend)); },
                  int(Constants::dtFall)},
        FieldCase{"DeviceLastChargeDate",
                  [](const Download& d) { return QVariant(d.devices[0].lastChargeDate); },
                  local(15, 3, 9, 45, 30)},
        FieldCase{"FaultId", [](const Download& d) { return QVariant(d.faults[0].id); }, 3},
        FieldCase{"FaultName", [](const Download& d) { return QVariant(d.faults[0].name); },
                  "Cracked screen"},
        FieldCase{"FaultDescription", [](const Download& d) { return QVariant(d.faults[0].description); },
                  "The glass is broken"},
        FieldCase{"FaultUpdateDate", [](const Download& d) { return QVariant(d.faults[0].updateDate); },
                  local(1, 2, 8, 0, 0)},
        FieldCase{"CellNumber", [](const Download& d) { return QVariant(d.cells[1].cellNumber); }, 2},
        FieldCase{"CellId", [](const Download& d) { return QVariant(d.cells[0].id); }, 101},
        FieldCase{"CellDeviceId", [](const Download& d) { return QVariant(d.cells[0].deviceId); }, 12},
        FieldCase{"EmptyCellDeviceId", [](const Download& d) { return QVariant(d.cells[1].deviceId); }, 0},
        FieldCase{"CellIsLocked", [](const Download& d) { return QVariant(d.cells[0].isLocked); }, true},
        FieldCase{"CellDescription", [](const Download& d) { return QVariant(d.cells[0].description); },
                  "Broken hinge"},
        FieldCase{"CellLastOperation",
                  [](const Download& d) { return QVariant(int(d.cells[0].lastOperation)); },
                  int(Constants::doIssued)},
        FieldCase{"CellLastOperationUserId",
                  [](const Download& d) { return QVariant(d.cells[1].lastOperationUserId); }, 7},
        FieldCase{"CellLastOperationDate",
                  [](const Download& d) { return QVariant(d.cells[0].lastOperationDate); },
                  local(16, 3, 11, 22, 33)},
        FieldCase{"CellUpdateDate", [](const Download& d) { return QVariant(d.cells[0].updateDate); },
                  local(16, 3, 11, 22, 40)}),
    [](const auto& info) { return std::string(info.param.name); });
