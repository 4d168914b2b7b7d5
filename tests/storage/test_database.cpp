// The in-memory tables: look-ups, order, and the load from the file.

#include <functional>

#include <QSignalSpy>
#include <QThread>

#include "storage/database.h"
#include "storage/storage_support.h"
#include "support/test_support.h"
#include "vexo/vx_conversions.h"

using DatabaseStructs::Device;
using DatabaseStructs::User;

namespace {
User makeUser(int id, const QString& login, const QString& personNumber)
{
    User user;
    user.id = id;
    user.login = login;
    user.personNumber = personNumber;
    user.name = QStringLiteral("User %1").arg(id);
    return user;
}

Device makeDevice(int id, const QString& serial, int userId)
{
    Device device;
    device.id = id;
    device.serial = serial;
    device.userId = userId;
    return device;
}

QVector<int> idsOf(const QVector<User>& users)
{
    QVector<int> ids;
    for (const User& user : users)
        ids.append(user.id);
    return ids;
}

QVector<int> idsOf(const QVector<Device>& devices)
{
    QVector<int> ids;
    for (const Device& device : devices)
        ids.append(device.id);
    return ids;
}

// Records are added out of id order, so "first" can only mean the lowest id.
void fillDatabase(Database* database)
{
    database->lock();
    database->addUser(makeUser(7, QStringLiteral("boris"), QStringLiteral("1001")));
    database->addUser(makeUser(3, QStringLiteral("boris"), QStringLiteral("1002")));
    database->addUser(makeUser(5, QStringLiteral("Clara"), QString()));
    database->addUser(makeUser(6, QString(), QStringLiteral("1003")));
    database->addUser(makeUser(8, QStringLiteral("dora"), QStringLiteral("1001")));
    database->addDevice(makeDevice(10, QStringLiteral("SN-AB-001"), 25));
    database->addDevice(makeDevice(11, QStringLiteral("sn-ab-002"), -1));
    database->addDevice(makeDevice(12, QStringLiteral("SN-CD-003"), 1));
    database->addDevice(makeDevice(13, QStringLiteral("XX-AB-004"), 0));
    database->addDevice(makeDevice(14, QStringLiteral("SN-AB-005"), 2));
    database->addDevice(makeDevice(15, QString(), 30));
    database->addDevice(makeDevice(9, QStringLiteral("SN-AB-001"), 40));
    database->unlock();
}

struct LookupCase
{
    const char* name;
    std::function<QVector<int>(Database*)> lookup;
    QVector<int> ids;
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.name;
}

QVector<int> user(const User& u)
{
    return u.isValid() ? QVector<int>{u.id} : QVector<int>{};
}
QVector<int> device(const Device& d)
{
    return d.isValid() ? QVector<int>{d.id} : QVector<int>{};
}

class Lookup : public ::testing::TestWithParam<LookupCase>
{
};
} // namespace

TEST_P(Lookup, FindsExpectedRecords)
{
    Database* database = Database::instance();
    fillDatabase(database);
    EXPECT_EQ(GetParam().lookup(database), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    Lookup,
    ::testing::Values(
        LookupCase{"ById", [](Database* d) { return user(d->userByID(3)); }, {3}},
        LookupCase{"ByMissingId", [](Database* d) { return user(d->userByID(99)); }, {}},
        LookupCase{"DeviceById", [](Database* d) { return device(d->deviceByID(12)); }, {12}},
        LookupCase{"LoginLowestIdWins", [](Database* d) { return user(d->userByLogin("boris")); }, {3}},
        LookupCase{"LoginIsCaseSensitive", [](Database* d) { return user(d->userByLogin("Boris")); }, {}},
        LookupCase{"LoginExactCase", [](Database* d) { return user(d->userByLogin("Clara")); }, {5}},
        LookupCase{"LoginLowerCaseMisses", [](Database* d) { return user(d->userByLogin("clara")); }, {}},
        LookupCase{"LoginPrefixMisses", [](Database* d) { return user(d->userByLogin("bor")); }, {}},
        LookupCase{"EmptyLoginFindsNothing", [](Database* d) { return user(d->userByLogin("")); }, {}},
        LookupCase{
            "PersonNumberLowestIdWins", [](Database* d) { return user(d->userByPersonNumber("1001")); }, {7}},
        LookupCase{
            "PersonNumberPrefixMisses", [](Database* d) { return user(d->userByPersonNumber("100")); }, {}},
        LookupCase{
            "EmptyPersonNumberFindsNothing", [](Database* d) { return user(d->userByPersonNumber("")); }, {}},
        LookupCase{
            "SerialLowestIdWins", [](Database* d) { return device(d->deviceBySerial("SN-AB-001")); }, {9}},
        LookupCase{
            "SerialIsCaseSensitive", [](Database* d) { return device(d->deviceBySerial("sn-ab-001")); }, {}},
        LookupCase{"EmptySerialFindsNothing", [](Database* d) { return device(d->deviceBySerial("")); }, {}},
        LookupCase{"SearchIgnoresCase",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("ab", 0, false)); },
                   {9, 10, 11, 13, 14}},
        LookupCase{"SearchStopsAtMax",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("AB", 2, false)); },
                   {9, 10}},
        LookupCase{"SearchNegativeMaxIsNoLimit",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("AB", -1, false)); },
                   {9, 10, 11, 13, 14}},
        LookupCase{"SearchOnlyOwnedLeavesOutHolders01AndNone",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("ab", 0, true)); },
                   {9, 10, 14}},
        LookupCase{"SearchOnlyOwnedCountsTowardMaxAfterFilter",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("", 3, true)); },
                   {9, 10, 14}},
        LookupCase{"SearchEmptyTextGivesFirstMax",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("", 3, false)); },
                   {9, 10, 11}},
        LookupCase{"SearchEmptyTextNoMaxGivesAll",
                   [](Database* d) { return idsOf(d->findDevicesBySerial("", 0, false)); },
                   {9, 10, 11, 12, 13, 14, 15}},
        LookupCase{
            "SearchNoMatch", [](Database* d) { return idsOf(d->findDevicesBySerial("zz", 0, false)); }, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Database, ListsKeepFirstInsertionOrderAndIndexesFollowReplacement)
{
    Database* database = Database::instance();
    fillDatabase(database);
    EXPECT_EQ(idsOf(database->allUsers()), QVector<int>({7, 3, 5, 6, 8}));
    EXPECT_EQ(idsOf(database->allDevices()), QVector<int>({10, 11, 12, 13, 14, 15, 9}));

    database->lock();
    database->addUser(makeUser(3, QStringLiteral("zoe"), QStringLiteral("2002")));
    database->addUser(makeUser(1, QStringLiteral("first"), QStringLiteral("1001")));
    database->addDevice(makeDevice(9, QStringLiteral("SN-NEW"), 40));
    database->unlock();

    // A replaced record keeps its place; a new one goes last, whatever its id.
    EXPECT_EQ(idsOf(database->allUsers()), QVector<int>({7, 3, 5, 6, 8, 1}));
    EXPECT_EQ(database->userByID(3).login, QStringLiteral("zoe"));
    EXPECT_EQ(database->userByLogin(QStringLiteral("boris")).id, 7);
    EXPECT_EQ(database->userByLogin(QStringLiteral("zoe")).id, 3);
    EXPECT_FALSE(database->userByPersonNumber(QStringLiteral("1002")).isValid());
    EXPECT_EQ(database->userByPersonNumber(QStringLiteral("1001")).id, 1);
    EXPECT_EQ(database->deviceBySerial(QStringLiteral("SN-AB-001")).id, 10);
    EXPECT_EQ(database->deviceBySerial(QStringLiteral("SN-NEW")).id, 9);
    EXPECT_EQ(database->usersCount(), 6);
    EXPECT_EQ(database->devicesCount(), 7);
}

TEST(Database, LoadsFileSkipsUnreadableRowsAndNotifiesGuiThread)
{
    const QString file = QString::fromLatin1(StorageSupport::databaseFile);
    const User u9 = makeUser(9, QStringLiteral("nine"), QStringLiteral("900"));
    const User u2 = makeUser(2, QStringLiteral("two"), QStringLiteral("200"));
    const Device d4 = makeDevice(4, QStringLiteral("SN4"), 2);
    auto hex = [](const QByteArray& blob) { return QString::fromLatin1(blob.toHex()); };
    StorageSupport::sqlite(
        file, QStringLiteral("CREATE TABLE users (id integer not null primary key, data blob);"
                             "CREATE TABLE devices (id integer not null primary key, data blob);"
                             "INSERT INTO users VALUES (9, x'%1'), (2, x'%2'), (5, x'0102'), (6, NULL);"
                             "INSERT INTO devices VALUES (4, x'%3');")
                  .arg(hex(vxqSerialize(u9)), hex(vxqSerialize(u2)), hex(vxqSerialize(d4))));

    Database* database = Database::instance();
    QVector<QThread*> notified;
    QObject::connect(database, &Database::usersChanged,
                     [&notified] { notified.append(QThread::currentThread()); });
    QSignalSpy devicesChanged(database, &Database::devicesChanged);
    database->setDatabase(file);
    ASSERT_TRUE(database->start());

    ASSERT_TRUE(devicesChanged.count() > 0 || devicesChanged.wait(5000));
    EXPECT_EQ(notified, QVector<QThread*>({QThread::currentThread()}));
    EXPECT_EQ(idsOf(database->allUsers()), QVector<int>({2, 9}));
    EXPECT_EQ(database->userByID(9), u9);
    EXPECT_EQ(database->userByLogin(QStringLiteral("two")).id, 2);
    EXPECT_EQ(database->deviceBySerial(QStringLiteral("SN4")), d4);
    EXPECT_FALSE(database->userByID(-1).isValid());
    EXPECT_EQ(database->usersCount(), 2);
    database->stop();
    // The rows are read in id order: once the line of row 6 is in the file,
    // so is that of row 5 (the log has a writer thread of its own).
    ASSERT_EVENTUALLY(
        StorageSupport::logText().contains(QStringLiteral("[Database] Unreadable row 6 of users skipped")),
        5000);
    EXPECT_TRUE(
        StorageSupport::logText().contains(QStringLiteral("[Database] Unreadable row 5 of users skipped")));
}
