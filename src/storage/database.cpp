#include "storage/database.h"

#include <algorithm>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>

#include "core/core.h"
#include "jalt/vx_file.h"
#include "jalt/vx_time.h"
#include "server/server.h"
#include "vexo/sql_query.h"
#include "vexo/vx_conversions.h"

using DatabaseStructs::Device;
using DatabaseStructs::DeviceFault;
using DatabaseStructs::User;

namespace {
const int updateIndexes = 4;
// The most log records kept for the log server; past it the oldest go, down
// to nine tenths, so that a long outage costs one warning per thousand
// records rather than one per record.
const int maxQueuedLogs = 10000;
const int trimmedQueuedLogs = maxQueuedLogs / 10 * 9;

// The depth of Database::lock() on this thread: a request under it would
// wait for the database thread, which may be waiting for the lock.
thread_local int recordLockDepth = 0;

// A full download adds thousands of records under one lock: the statement
// text is made once.
QString replaceStatement(const char* table)
{
    return QStringLiteral("INSERT OR REPLACE INTO %1 (id,data) VALUES (:id,:d)")
        .arg(QString::fromLatin1(table));
}

// The one statement that queues a change: the recount finds the changes not
// yet written by it.
const QString& changeInsertStatement()
{
    static const QString text = QStringLiteral("INSERT INTO %1 (data) VALUES (:d)")
                                    .arg(QString::fromLatin1(DatabaseStructs::table_server_changes));
    return text;
}

// Whether a statement writes a change: queued, or carried over from a
// damaged file by a clear.
bool writesChange(const QString& statement)
{
    static const QString prefix =
        QStringLiteral("INSERT INTO %1 ").arg(QString::fromLatin1(DatabaseStructs::table_server_changes));
    return statement.startsWith(prefix);
}
} // namespace

Database* Database::instance()
{
    return Singleton<Database>::instance();
}

void Database::resetInstance()
{
    if (!Singleton<Database>::exists())
        return;
    instance()->stop();
    Singleton<Database>::reset();
}

void Database::stopAtExit()
{
    instance()->stop();
}

Database::Database()
{
    // Tests and tools end without closing a window: the thread must be gone
    // before the program's statics (the SQL driver's among them) are.
    qAddPostRoutine(stopAtExit);
    setDroppableLimit(maxQueuedLogs);
}

Database::~Database()
{
    qRemovePostRoutine(stopAtExit);
    stop();
}

void Database::init()
{
    for (int i = 0; i < updateIndexes; ++i)
        addQuery(QStringLiteral("INSERT OR IGNORE INTO %1 (table_index,updateDate) VALUES (%2,:t)")
                     .arg(QString::fromLatin1(DatabaseStructs::table_updates))
                     .arg(i),
                 {{QStringLiteral("t"), DatabaseStructs::zeroTime()}});
    // Without a file (its open error is logged) the rows wait for it; the
    // times read as zeroTime, so the next download is complete.
    if (!isOpen())
        return;
    for (int i = 0; i < updateIndexes; ++i) {
        const Row row = request(QStringLiteral("SELECT updateDate FROM %1 WHERE table_index=%2")
                                    .arg(QString::fromLatin1(DatabaseStructs::table_updates))
                                    .arg(i));
        const QDateTime time = row.value(QStringLiteral("updateDate")).toDateTime();
        // A download applied while these requests waited set a newer time.
        if (time.isValid() && !updateTimes.contains(i))
            updateTimes.insert(i, time);
    }
}

QDateTime Database::updateTime(int index) const
{
    const QDateTime time = updateTimes.value(index);
    return time.isValid() ? time : DatabaseStructs::zeroTime();
}

void Database::setUpdateTime(int index, const QDateTime& time)
{
    updateTimes.insert(index, time);
    // The row may not be there yet: init() inserts it at start.
    addQuery(QStringLiteral("INSERT OR REPLACE INTO %1 (table_index,updateDate) VALUES (%2,:t)")
                 .arg(QString::fromLatin1(DatabaseStructs::table_updates))
                 .arg(index),
             {{QStringLiteral("t"), time}});
}

User Database::userByID(int id) const
{
    VXMutexLocker locker(&recordMutex);
    return users.value(id);
}

Device Database::deviceByID(int id) const
{
    VXMutexLocker locker(&recordMutex);
    return devices.value(id);
}

User Database::userByPersonNumber(const QString& text) const
{
    VXMutexLocker locker(&recordMutex);
    const int id = indexFirst(usersByPersonNumber, text);
    return id < 0 ? User() : users.value(id);
}

User Database::userByLogin(const QString& text) const
{
    VXMutexLocker locker(&recordMutex);
    const int id = indexFirst(usersByLogin, text);
    return id < 0 ? User() : users.value(id);
}

Device Database::deviceBySerial(const QString& text) const
{
    VXMutexLocker locker(&recordMutex);
    const int id = indexFirst(devicesBySerial, text);
    return id < 0 ? Device() : devices.value(id);
}

VXVector<Device> Database::findDevicesBySerial(const QString& text, int max, bool onlyOwned) const
{
    VXVector<Device> found;
    VXMutexLocker locker(&recordMutex);
    for (const Device& device : devices) {
        if (max > 0 && found.size() >= max)
            break;
        if (onlyOwned && !device.isOwnByUser())
            continue;
        if (device.serial.contains(text, Qt::CaseInsensitive))
            found.append(device);
    }
    return found;
}

VXVector<User> Database::allUsers() const
{
    VXMutexLocker locker(&recordMutex);
    return users.values();
}

VXVector<Device> Database::allDevices() const
{
    VXMutexLocker locker(&recordMutex);
    return devices.values();
}

VXVector<DeviceFault> Database::allDeviceFaults() const
{
    VXMutexLocker locker(&recordMutex);
    return deviceFaults.values();
}

int Database::usersCount() const
{
    VXMutexLocker locker(&recordMutex);
    return users.size();
}

int Database::devicesCount() const
{
    VXMutexLocker locker(&recordMutex);
    return devices.size();
}

void Database::addUser(const User& user)
{
    // The caller normally holds the lock already; taking it again is cheap
    // and keeps a forgotten bracket from racing a look-up.
    VXMutexLocker locker(&recordMutex);
    putUser(user);
    static const QString text = replaceStatement(DatabaseStructs::table_users);
    addQuery(text, {{QStringLiteral("id"), user.id}, {QStringLiteral("d"), vxqSerialize(user)}});
}

void Database::addDevice(const Device& device)
{
    VXMutexLocker locker(&recordMutex);
    putDevice(device);
    static const QString text = replaceStatement(DatabaseStructs::table_devices);
    addQuery(text, {{QStringLiteral("id"), device.id}, {QStringLiteral("d"), vxqSerialize(device)}});
}

void Database::addDeviceFault(const DeviceFault& fault)
{
    VXMutexLocker locker(&recordMutex);
    putDeviceFault(fault);
    static const QString text = replaceStatement(DatabaseStructs::table_device_faults);
    addQuery(text, {{QStringLiteral("id"), fault.id}, {QStringLiteral("d"), vxqSerialize(fault)}});
}

void Database::setDeviceUser(int deviceId, int userId)
{
    VXMutexLocker locker(&recordMutex);
    const auto found = devices.find(deviceId);
    if (found != devices.end())
        found->userId = userId;
}

void Database::queueChange(const DatabaseStructs::ChangeServer& change)
{
    {
        // Counted and queued in one step, under the lock an opening thread
        // recounts under: it finds the change counted and queued, or neither.
        VXMutexLocker locker(&recordMutex);
        trackChange(change, 1);
        addQuery(changeInsertStatement(), {{QStringLiteral("d"), vxqSerialize(change)}});
    }
    if (change.hasCell())
        StationCore::instance()->cellsLogic.setCellState(change.cell, CellsLogic::csChanging);
}

void Database::queueLog(const DatabaseStructs::ServerLog& log)
{
    static const QString text = QStringLiteral("INSERT INTO %1 (data) VALUES (:d)")
                                    .arg(QString::fromLatin1(DatabaseStructs::table_server_logs));
    addQuery(Query{text, {{QStringLiteral("d"), vxqSerialize(log)}}, 0, true});
}

void Database::trackChange(const DatabaseStructs::ChangeServer& change, int delta)
{
    VXMutexLocker locker(&recordMutex);
    queuedTotal += delta;
    if (change.hasCell())
        queuedByCell[change.cell] += delta;
    if (change.path == QLatin1String("api/KalmireSync/SetCellsLockStatus")) {
        const QJsonArray array = QJsonDocument::fromJson(change.body).array();
        for (const QJsonValue& value : array) {
            const QJsonValue id = value.toObject().value(QLatin1String("id"));
            if (id.isDouble())
                queuedLocks[id.toInt()] += delta;
        }
    }
}

void Database::trackQueuedChanges()
{
    // The thread opens the file while changes may already be queued for it:
    // they are counted from the file and from the statements not written
    // yet, under the lock queueChange counts and queues under, so each is
    // counted once whenever it came.
    VXMutexLocker locker(&recordMutex);
    queuedTotal = 0;
    queuedByCell.clear();
    queuedLocks.clear();
    const QVector<QSqlRecord> rows = VEXO::SQLQuery::exec(
        QStringLiteral("SELECT data FROM %1").arg(QString::fromLatin1(DatabaseStructs::table_server_changes)),
        VEXO::SQLQuery::Binds(), database());
    for (const QSqlRecord& row : rows)
        trackChange(vxqDeserialize<DatabaseStructs::ChangeServer>(row.value(0).toByteArray()), 1);
    for (const Query& query : pendingQueries()) {
        if (query.text == changeInsertStatement())
            trackChange(vxqDeserialize<DatabaseStructs::ChangeServer>(
                            query.binds.value(QStringLiteral("d")).toByteArray()),
                        1);
    }
}

int Database::queuedChangesTotal() const
{
    VXMutexLocker locker(&recordMutex);
    return queuedTotal;
}

int Database::queuedChangesFor(int cell) const
{
    VXMutexLocker locker(&recordMutex);
    return queuedByCell.value(cell);
}

bool Database::hasQueuedLock(int serverCellId) const
{
    VXMutexLocker locker(&recordMutex);
    return queuedLocks.value(serverCellId) > 0;
}

void Database::lock()
{
    recordMutex.lock();
    ++recordLockDepth;
}

void Database::unlock()
{
    --recordLockDepth;
    recordMutex.unlock();
}

bool Database::mayRequest(const QString& text)
{
    if (recordLockDepth == 0)
        return true;
    StationCore::instance()->log(
        QStringLiteral("[Database] Request refused while the record lock is held: %1").arg(text),
        StationCore::lcError);
    return false;
}

void Database::putUser(const User& user)
{
    const auto old = users.find(user.id);
    if (old != users.end()) {
        indexRemove(usersByLogin, old->login, user.id);
        indexRemove(usersByPersonNumber, old->personNumber, user.id);
    }
    users.insert(user.id, user);
    indexInsert(usersByLogin, user.login, user.id);
    indexInsert(usersByPersonNumber, user.personNumber, user.id);
}

void Database::putDevice(const Device& device)
{
    const auto old = devices.find(device.id);
    if (old != devices.end())
        indexRemove(devicesBySerial, old->serial, device.id);
    devices.insert(device.id, device);
    indexInsert(devicesBySerial, device.serial, device.id);
}

void Database::putDeviceFault(const DeviceFault& fault)
{
    deviceFaults.insert(fault.id, fault);
}

void Database::indexInsert(Index& index, const QString& key, int id)
{
    if (key.isEmpty())
        return;
    QVector<int>& ids = index[key];
    const auto at = std::lower_bound(ids.begin(), ids.end(), id);
    if (at == ids.end() || *at != id)
        ids.insert(at, id);
}

void Database::indexRemove(Index& index, const QString& key, int id)
{
    const auto found = index.find(key);
    if (found == index.end())
        return;
    found->removeOne(id);
    if (found->isEmpty())
        index.erase(found);
}

int Database::indexFirst(const Index& index, const QString& key)
{
    if (key.isEmpty())
        return -1;
    const auto found = index.constFind(key);
    return found == index.constEnd() || found->isEmpty() ? -1 : found->first();
}

template <typename Record>
int Database::loadTable(const char* table,
                        const VXMap<int, Record>& loaded,
                        void (Database::*put)(const Record&))
{
    const QString name = QString::fromLatin1(table);
    int count = 0;
    int idColumn = -1;
    int dataColumn = -1;
    // Row by row, as the rows are read: a full table is never copied whole.
    VEXO::SQLQuery::forEach(
        QStringLiteral("SELECT * FROM %1").arg(name), VEXO::SQLQuery::Binds(), database(),
        [&](const QSqlQuery& row) {
            if (dataColumn < 0) {
                const QSqlRecord columns = row.record();
                idColumn = columns.indexOf(QStringLiteral("id"));
                dataColumn = columns.indexOf(QStringLiteral("data"));
            }
            const Record record = vxqDeserialize<Record>(row.value(dataColumn).toByteArray());
            if (!record.isValid()) {
                // Stored under its default id it would turn up in every list.
                StationCore::instance()->log(QStringLiteral("[Database] Unreadable row %1 of %2 skipped")
                                                 .arg(row.value(idColumn).toString(), name),
                                             StationCore::lcWarning);
                return;
            }
            // Changed in memory while the file could not be read: the
            // change has been written since, or waits to be.
            if (loaded.contains(record.id))
                return;
            (this->*put)(record);
            ++count;
        });
    return count;
}

void Database::opened()
{
    {
        VXMutexLocker locker(&recordMutex);
        VXTimeMeasurer measurer;
        loadTable<User>(DatabaseStructs::table_users, users, &Database::putUser);
        VXCout::line(QStringLiteral("users -> %1 ms, %2").arg(measurer.elapsed_m()).arg(users.size()));
        measurer.reset();
        loadTable<Device>(DatabaseStructs::table_devices, devices, &Database::putDevice);
        VXCout::line(QStringLiteral("device -> %1 ms, %2").arg(measurer.elapsed_m()).arg(devices.size()));
        measurer.reset();
        loadTable<DeviceFault>(DatabaseStructs::table_device_faults, deviceFaults, &Database::putDeviceFault);
        VXCout::line(
            QStringLiteral("device_fault -> %1 ms, %2").arg(measurer.elapsed_m()).arg(deviceFaults.size()));
    }
    trackQueuedChanges();
    forgetLostRecords();
    QMetaObject::invokeMethod(
        this,
        [this] {
            Q_EMIT usersChanged();
            Q_EMIT devicesChanged();
        },
        Qt::QueuedConnection);
}

void Database::cleared()
{
    {
        VXMutexLocker locker(&recordMutex);
        users.clear();
        devices.clear();
        deviceFaults.clear();
        usersByLogin.clear();
        usersByPersonNumber.clear();
        devicesBySerial.clear();
        updateTimes.clear();
        // The records in flight stay: the clear keeps the upload queues, and
        // an answer that comes meanwhile still deletes their rows.
    }
    // A download under way would bring back what was just cleared, with the
    // update times of before.
    StationCore::instance()->server.resetSync();
    Q_EMIT usersChanged();
    Q_EMIT devicesChanged();
}

QSqlError Database::clearTables()
{
    // A statement may fail while the file opens and reads (another process
    // holds a write lock): the clear then deletes nothing.
    const QSqlDatabase connection = database();
    const VEXO::SQLQuery::Binds none;
    QSqlError error;
    for (const char* table : {DatabaseStructs::table_users, DatabaseStructs::table_devices,
                              DatabaseStructs::table_device_faults, DatabaseStructs::table_updates}) {
        VEXO::SQLQuery::exec(QStringLiteral("DELETE FROM %1").arg(QString::fromLatin1(table)), none,
                             connection, &error);
        if (error.isValid())
            return error;
    }
    // The rows are made again here, as the first start made them, so that
    // update times set after the clear reach the file.
    for (int i = 0; i < updateIndexes; ++i) {
        VEXO::SQLQuery::exec(QStringLiteral("INSERT INTO %1 (table_index,updateDate) VALUES (%2,:t)")
                                 .arg(QString::fromLatin1(DatabaseStructs::table_updates))
                                 .arg(i),
                             {{QStringLiteral("t"), DatabaseStructs::zeroTime()}}, connection, &error);
        if (error.isValid())
            return error;
    }
    return error;
}

QStringList Database::keptTables() const
{
    return {QString::fromLatin1(DatabaseStructs::table_server_changes),
            QString::fromLatin1(DatabaseStructs::table_server_logs)};
}

QString Database::describeUnwritten(const Query& query) const
{
    // Only the changes: users, devices and fault kinds come again with the
    // next download, and a user's row holds a password hash.
    if (!writesChange(query.text))
        return QString();
    const DatabaseStructs::ChangeServer change =
        vxqDeserialize<DatabaseStructs::ChangeServer>(query.binds.value(QStringLiteral("d")).toByteArray());
    return change.path + QLatin1Char(' ') + QString::fromUtf8(change.body);
}

namespace {
int countRows(const char* table, const QSqlDatabase& connection)
{
    const QVector<QSqlRecord> rows =
        VEXO::SQLQuery::exec(QStringLiteral("SELECT count(id) FROM %1").arg(QString::fromLatin1(table)),
                             VEXO::SQLQuery::Binds(), connection);
    return rows.isEmpty() ? 0 : rows.first().value(0).toInt();
}

bool rowExists(const char* table, int id, const QSqlDatabase& connection)
{
    return !VEXO::SQLQuery::exec(
                QStringLiteral("SELECT id FROM %1 WHERE id=%2").arg(QString::fromLatin1(table)).arg(id),
                VEXO::SQLQuery::Binds(), connection)
                .isEmpty();
}

template <typename Record> Record oldestRow(const char* table, const QSqlDatabase& connection)
{
    const QVector<QSqlRecord> rows = VEXO::SQLQuery::exec(
        QStringLiteral("SELECT * FROM %1 ORDER BY id LIMIT 1").arg(QString::fromLatin1(table)),
        VEXO::SQLQuery::Binds(), connection);
    if (rows.isEmpty())
        return Record();
    // An unreadable blob gives an empty path: delivered at once, so deleted.
    Record record = vxqDeserialize<Record>(rows.first().value(QStringLiteral("data")).toByteArray());
    record.id = rows.first().value(QStringLiteral("id")).toInt();
    return record;
}
} // namespace

void Database::forgetLostRecords()
{
    // A record in flight names its row by id. Only a file that could not be
    // read and was replaced has lost the row, and a row of the new file with
    // that id would be another record.
    const QSqlDatabase connection = database();
    VXMutexLocker locker(&recordMutex);
    if (currentChange.isValid()
        && !rowExists(DatabaseStructs::table_server_changes, currentChange.id, connection))
        currentChange = DatabaseStructs::ChangeServer();
    if (currentLog.isValid() && !rowExists(DatabaseStructs::table_server_logs, currentLog.id, connection))
        currentLog = DatabaseStructs::ServerLog();
}

int Database::dropOldestLogs(int queued)
{
    const QSqlDatabase connection = database();
    const QString table = QString::fromLatin1(DatabaseStructs::table_server_logs);
    int inFlight = -1;
    {
        VXMutexLocker locker(&recordMutex);
        inFlight = currentLog.id;
    }
    // Only log records: the operations, tasks and locks are the cabinet's own
    // records and wait, however long, in their own table.
    VEXO::SQLQuery::remove(table,
                           QStringLiteral("id IN (SELECT id FROM %1 WHERE id<>%2 ORDER BY id LIMIT %3)")
                               .arg(table)
                               .arg(inFlight)
                               .arg(queued - trimmedQueuedLogs),
                           connection);
    const int left = countRows(DatabaseStructs::table_server_logs, connection);
    if (left < queued)
        StationCore::instance()->log(
            QStringLiteral(
                "[Database] Warning: the queue for the log server is full, %1 oldest records dropped")
                .arg(queued - left),
            StationCore::lcWarning);
    return left;
}

void Database::checkChanges()
{
    Server& server = StationCore::instance()->server;
    // Changes leave only while logged in and no download runs; an accepted
    // one reads done even when logged out, and its row goes at once.
    const bool maySendChanges = !server.isSyncing() && server.authStatus() == Server::authLoggedIn;
    const int changeStatus = server.changeStatus();
    const int logStatus = server.logStatus();
    const QSqlDatabase connection = database();

    if (!countWatchStarted) {
        countWatchStarted = true;
        countWatch.reset();
    }
    if (countWatch.elapsed_m() >= 500) {
        countWatch.reset();
        changesCount.store(countRows(DatabaseStructs::table_server_changes, connection));
        int logs = countRows(DatabaseStructs::table_server_logs, connection);
        if (logs > maxQueuedLogs)
            logs = dropOldestLogs(logs);
        logsCount.store(logs);
    }

    uploadStep<DatabaseStructs::ChangeServer>(
        changeStatus, maySendChanges, DatabaseStructs::table_server_changes, currentChange,
        [&server](const DatabaseStructs::ChangeServer& change) { server.sendChange(change); },
        [&server] { server.resetChangeStatus(); },
        [this](const DatabaseStructs::ChangeServer& change) { trackChange(change, -1); },
        changeDeleteFailing);
    if (!server.isLogActive())
        return;
    // Log records go out while a download runs too.
    uploadStep<DatabaseStructs::ServerLog>(
        logStatus, true, DatabaseStructs::table_server_logs, currentLog,
        [&server](const DatabaseStructs::ServerLog& log) { server.sendLog(log); },
        [&server] { server.resetLogStatus(); }, [](const DatabaseStructs::ServerLog&) {}, logDeleteFailing);
}

template <typename Record>
void Database::uploadStep(int status,
                          bool maySend,
                          const char* table,
                          Record& current,
                          const std::function<void(const Record&)>& send,
                          const std::function<void()>& reset,
                          const std::function<void(const Record&)>& deleted,
                          int& deleteFailing)
{
    const QSqlDatabase connection = database();
    // An accepted record is deleted and the next one sent in the same step:
    // one idle turn of this thread per record, in row order. A record is
    // only taken once the one before it is gone from the file, so a crash
    // between the two sends the accepted one again, never skips one.
    auto sendNext = [&] {
        if (!maySend)
            return;
        const Record next = oldestRow<Record>(table, connection);
        {
            VXMutexLocker locker(&recordMutex);
            current = next;
        }
        if (next.isValid())
            send(next);
        else
            reset(); // nothing queued: the next step looks again
    };
    switch (status) {
    case Server::ssIdle:
        sendNext();
        break;
    case Server::ssFailed: {
        Record again;
        {
            VXMutexLocker locker(&recordMutex);
            again = current;
        }
        if (!again.isValid())
            reset(); // nothing to send again: the next step fetches
        else if (maySend)
            send(again);
        break;
    }
    case Server::ssDone: {
        {
            VXMutexLocker locker(&recordMutex);
            if (current.isValid()) {
                // After a failed delete, tried again about once a second.
                if (deleteFailing > 0 && ++deleteFailing % 100 != 0)
                    break;
                if (!VEXO::SQLQuery::remove(QString::fromLatin1(table),
                                            QStringLiteral("id='%1'").arg(current.id), connection)) {
                    // Still accepted: taking the next record now would take
                    // this one again and deliver it once more.
                    if (deleteFailing == 0) {
                        deleteFailing = 1;
                        StationCore::instance()->log(
                            QStringLiteral("[Database] Error: can`t delete the delivered record %1 of %2, "
                                           "the queue waits")
                                .arg(current.id)
                                .arg(QLatin1String(table)),
                            StationCore::lcError);
                    }
                    break;
                }
                deleteFailing = 0;
                deleted(current);
                current = Record();
            }
        }
        reset();
        sendNext();
        break;
    }
    default:
        break;
    }
}
