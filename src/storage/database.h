#pragma once

#include <atomic>
#include <functional>

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

#include "core/singleton.h"
#include "jalt/vx_map.h"
#include "jalt/vx_thread.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"
#include "storage/database_base.h"
#include "storage/database_structs.h"

// The station's store of users, devices and device fault kinds: all of them
// in memory, loaded from the file when the database thread starts, written
// back through its statement queue. Look-ups copy records out under the
// record mutex; callers never hold references into the maps.
//
// The maps are public for readers that hold the record lock. They are
// written through addUser, addDevice, addDeviceFault and setDeviceUser only:
// those keep the look-up indexes in step.
class Database : public DatabaseBase
{
    Q_OBJECT
public:
    static Database* instance();
    // Stops the database thread and ends the process's database; the next
    // instance() builds a fresh one (test programs reset between cases).
    static void resetInstance();

    // Creates the rows of the update times that are missing and reads them.
    // On the GUI thread, after start().
    void init();
    // The stored time of the table index, zeroTime() when there is none.
    QDateTime updateTime(int index) const;
    void setUpdateTime(int index, const QDateTime& time);

    DatabaseStructs::User userByID(int id) const;
    DatabaseStructs::Device deviceByID(int id) const;
    // Exact, case-sensitive matches; the lowest id wins. An empty text finds
    // nothing, even when a record has that field empty.
    DatabaseStructs::User userByPersonNumber(const QString& text) const;
    DatabaseStructs::User userByLogin(const QString& text) const;
    DatabaseStructs::Device deviceBySerial(const QString& text) const;
    // Devices whose serial contains text, ignoring case, in ascending id; at
    // most max of them when max > 0.
    VXVector<DatabaseStructs::Device> findDevicesBySerial(const QString& text, int max, bool onlyOwned) const;

    // In first-insertion order.
    VXVector<DatabaseStructs::User> allUsers() const;
    VXVector<DatabaseStructs::Device> allDevices() const;
    VXVector<DatabaseStructs::DeviceFault> allDeviceFaults() const;
    int usersCount() const;
    int devicesCount() const;

    void addUser(const DatabaseStructs::User& user);
    void addDevice(const DatabaseStructs::Device& device);
    void addDeviceFault(const DatabaseStructs::DeviceFault& fault);
    // In memory only; a later addDevice stores it.
    void setDeviceUser(int deviceId, int userId);

    // Upload queues: the record waits in its table until the server link has
    // delivered it. A change of a cell marks that cell as changing at once.
    // queueChange on the GUI thread (it touches the cell model); queueLog on
    // any thread.
    void queueChange(const DatabaseStructs::ChangeServer& change);
    void queueLog(const DatabaseStructs::ServerLog& log);
    // Changes still queued (the one in flight counts): all of them, and
    // those of that cell number.
    int queuedChangesTotal() const;
    int queuedChangesFor(int cell) const;
    // Whether a lock change of that back-end cell id is still queued.
    bool hasQueuedLock(int serverCellId) const;

    // The record mutex, for changes of several records in one go. Re-entrant.
    // No request() while it is held: the database thread takes it too.
    void lock();
    void unlock();

    mutable VXMutex recordMutex;
    VXMap<int, DatabaseStructs::User> users;
    VXMap<int, DatabaseStructs::Device> devices;
    VXMap<int, DatabaseStructs::DeviceFault> deviceFaults;
    VXMap<int, QDateTime> updateTimes;

    // The records in flight (invalid when none is) and the rows waiting, at
    // most half a second old; for display.
    DatabaseStructs::ChangeServer currentChange;
    DatabaseStructs::ServerLog currentLog;
    std::atomic<int> changesCount{0};
    std::atomic<int> logsCount{0};

Q_SIGNALS:
    void usersChanged();
    void devicesChanged();

protected:
    void opened() override;
    void cleared() override;
    void checkChanges() override;
    QSqlError clearTables() override;
    QStringList keptTables() const override;
    QString describeUnwritten(const Query& query) const override;
    bool mayRequest(const QString& text) override;

private:
    friend class Singleton<Database>;
    Database();
    ~Database() override;
    static void stopAtExit();

    // Ids of the records with one key value, ascending.
    using Index = QHash<QString, QVector<int>>;
    static void indexInsert(Index& index, const QString& key, int id);
    static void indexRemove(Index& index, const QString& key, int id);
    static int indexFirst(const Index& index, const QString& key);

    void putUser(const DatabaseStructs::User& user);
    void putDevice(const DatabaseStructs::Device& device);
    // Adds the file's rows of a table to the map, but for the records the
    // map holds already: those are as new as the file's, or newer.
    template <typename Record>
    int loadTable(const char* table, const VXMap<int, Record>& loaded, void (Database::*put)(const Record&));
    void putDeviceFault(const DatabaseStructs::DeviceFault& fault);

    // One step of an upload queue by the status of its record in flight:
    // send it (again), or delete it once accepted and send the next.
    // maySend false holds the queue (a download runs, or not logged in) but
    // still deletes an accepted record. deleteFailing counts the steps since
    // the delete of an accepted record failed (0: none did).
    template <typename Record>
    void uploadStep(int status,
                    bool maySend,
                    const char* table,
                    Record& current,
                    const std::function<void(const Record&)>& send,
                    const std::function<void()>& reset,
                    const std::function<void(const Record&)>& deleted,
                    int& deleteFailing);

    // Counts the queued changes by cell number and by locked back-end cell.
    void trackChange(const DatabaseStructs::ChangeServer& change, int delta);
    void trackQueuedChanges();
    // Forgets a record in flight whose row the file no longer has.
    void forgetLostRecords();
    // Drops the oldest log records of a full queue (never the one in flight);
    // gives the rows left.
    int dropOldestLogs(int queued);
    int queuedTotal = 0;
    QHash<int, int> queuedByCell;
    QHash<int, int> queuedLocks;
    VXTimeMeasurer countWatch;
    bool countWatchStarted = false;
    // Database thread only: the deleteFailing of each upload queue.
    int changeDeleteFailing = 0;
    int logDeleteFailing = 0;

    Index usersByLogin;
    Index usersByPersonNumber;
    Index devicesBySerial;
};
