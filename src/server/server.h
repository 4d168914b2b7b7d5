#pragma once

#include <atomic>
#include <memory>

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include "cells/cells_logic.h"
#include "core/constants.h"
#include "jalt/vx_time.h"
#include "server/server_base.h"
#include "storage/database_structs.h"
#include "vexo/indexed_timer.h"

// The station's link to the back-end: the log-in, the download of users,
// devices, fault kinds and the station's cells (held until the station is
// idle, then merged), the delivery of the upload queues the database thread
// hands over one record at a time, and the periodic state report.
//
// Timers and reply handlers run on the main thread. The send statuses, the
// log-in state and the download count are atomics: the database thread reads
// them.
class Server : public ServerBase, private IndexedTimer<int>
{
    Q_OBJECT
public:
    enum SendStatus
    {
        ssIdle = 0,
        ssBusy = 1,
        ssDone = 2,
        ssFailed = 3,
    };
    enum AuthState
    {
        authNone = 0,
        authLoggingIn = 1,
        authLoggedIn = 2,
        authFailed = 3,
    };

    explicit Server(QObject* parent = nullptr);
    ~Server() override;

    void setSyncInterval(const VXSystemTime& interval);
    // The pause after a failed upload or an all-failed download: first, then
    // doubling up to max; back to first after a success.
    void setRetryDelays(VXSystemTime first, VXSystemTime max);
    // The same for the log-in (2 s doubling up to 60 s by default).
    void setLoginRetryDelays(VXSystemTime first, VXSystemTime max);

    void authorize();
    void sync();
    bool isSyncing() const { return syncPending.load() > 0; }
    bool isSyncReady() const { return syncReady.load(); }
    VXSystemTime lastSyncElapsed() const { return lastSync.elapsed(); }
    int authStatus() const { return authState.load(); }
    // Forgets the download under way and any finished one not applied yet:
    // replies still in flight are ignored (the database was cleared).
    void resetSync();

    // Applies a finished download, if one waits. Main thread, idle screen.
    // The replies are read on a worker thread and the records stored a
    // slice at a time between event-loop turns, so a large download never
    // freezes the screen; a later call, on an idle screen again, merges the
    // cells.
    void maybeApplySync();
    // From the start of an apply until its cells are merged.
    bool isApplying() const { return applying != nullptr; }

    // "api/KalmireSync/CreateOperation" for the cell's number.
    static DatabaseStructs::ChangeServer makeOperation(Constants::DeviceOperation operation,
                                                       int deviceId,
                                                       int userId,
                                                       const CellsLogic::Cell& cell,
                                                       QString comment);
    // "api/KalmireSync/CreateTask", a problem report; concerns no cell.
    static DatabaseStructs::ChangeServer
    makeTask(int deviceId, int userId, int deviceFaultId, QString description);
    // "api/KalmireSync/SetCellsLockStatus"; id is the back-end's cell id.
    static DatabaseStructs::ChangeServer makeCellLockStatus(int id, bool isLocked, QString description);
    // "station/state" with one line of category cat (1 or 2).
    static DatabaseStructs::ServerLog makeLog(int cat, const VXString& msg);

    // From the database thread: the status turns busy at once, the request
    // goes from the main thread.
    void sendChange(DatabaseStructs::ChangeServer change);
    void sendLog(DatabaseStructs::ServerLog log);
    // Busy also while a failed record waits out its pause before it is sent
    // again; the change status also while not logged in, unless the change
    // was accepted.
    int changeStatus() const;
    int logStatus() const;
    void resetChangeStatus() { changeStatusValue.store(ssIdle); }
    void resetLogStatus() { logStatusValue.store(ssIdle); }

    // Zero turns the report off (with a warning when a log root is set).
    void setKeepAliveInterval(const VXSystemTime& interval);
    void sendKeepAlive();
    static QByteArray keepAliveBody();

    // Stops the timers and drops the requests in flight; for shutdown.
    void stopAll();

    // The token of a log-in reply; empty when the reply holds none.
    static VXString readToken(const QByteArray& body);

    // One cell of the back-end's cells reply, as the merge takes it.
    struct ServerCell
    {
        int cellNumber = 0;
        int id = 0;
        int deviceId = 0;
        bool isLocked = false;
        QString description;
        Constants::DeviceOperation lastOperation = Constants::doReturned;
        int lastOperationUserId = 0;
        QDateTime lastOperationDate;
        QDateTime updateDate;
    };
    // The records of a finished download, read from the reply bodies off
    // the main thread.
    struct Download
    {
        QVector<DatabaseStructs::DeviceFault> faults;
        QVector<DatabaseStructs::User> users;
        QVector<DatabaseStructs::Device> devices;
        QVector<ServerCell> cells;
        // The update times the users and devices answer; invalid when the
        // body did not parse whole, so the same data is asked for again.
        QDateTime usersTime;
        QDateTime devicesTime;
    };
    // Pure and thread-safe: missing keys and values of another type read as
    // their defaults.
    static Download readDownload(QByteArray users,
                                 QByteArray devices,
                                 QByteArray faults,
                                 QByteArray cells,
                                 QDateTime usersTime,
                                 QDateTime devicesTime);

Q_SIGNALS:
    void authorizeDone();

private:
    struct Backoff
    {
        std::atomic<qint64> until{0}; // VXClock ms before which nothing is retried
        qint64 nextMs = 0;
    };

    void tick();
    // Forgets the reply bodies of the chain and their update times.
    void clearReplies();
    // An apply under way: its records, once read, and how many of each are
    // stored.
    struct Apply
    {
        int serial = 0;
        Download download;
        int faultsStored = 0;
        int usersStored = 0;
        int devicesStored = 0;
        bool stored = false;
    };
    // Stores records under the record lock until the slice's time is up, then
    // lets the event loop run.
    void applySlice();
    // Each goes on from where the last slice stopped; true once all are stored.
    bool applyDeviceFaults(const QElapsedTimer& slice);
    bool applyUsers(const QElapsedTimer& slice);
    bool applyDevices(const QElapsedTimer& slice);
    void applyCells();
    void finishApply();
    // One GET of the download chain: store keeps a good reply, next starts
    // the following step.
    void downloadStep(int generation,
                      const QString& path,
                      std::function<void(const Reply&)> store,
                      std::function<void()> next);
    void startUsers(int generation);
    void startDevices(int generation);
    void startFaults(int generation);
    void startCells(int generation);
    void oneSyncDone(int generation);
    void checkClock(const Reply& reply);
    // A 401 from the API root means the session ended: log in again.
    void noteFailure(const Reply& reply);
    // Sets the log-in state failed and starts the pause before the next try.
    void loginFailed();
    // Reports a change the back-end refuses for good (a 4xx other than 401).
    void noteRefusal(const DatabaseStructs::ChangeServer& change, const Reply& reply);
    void failed(Backoff& backoff);
    static bool waiting(const Backoff& backoff);
    void succeeded(Backoff& backoff);

    std::atomic<int> changeStatusValue{ssIdle};
    std::atomic<int> logStatusValue{ssIdle};
    std::atomic<int> authState{authNone};
    std::atomic<int> syncPending{0};
    std::atomic<bool> syncReceived{false};
    std::atomic<bool> syncReady{false};
    VXSystemTime syncInterval;
    VXTimeMeasurer lastSync;
    VXTimeMeasurer sinceApply;
    VXTimeMeasurer hangWatch;
    QByteArray usersReply;
    QByteArray devicesReply;
    QByteArray faultsReply;
    QByteArray cellsReply;
    // The update times the replies answer; stored only once applied.
    QDateTime usersTime;
    QDateTime devicesTime;
    // Counts the download chains; a reply of an older chain is ignored.
    int syncGeneration = 0;
    std::unique_ptr<Apply> applying;
    // Counts the applies; a worker's result for an older one is dropped.
    int applySerial = 0;
    int loginGeneration = 0;
    VXSystemTime loginRetryFirst = VXSystemTime::fromSec(2);
    VXSystemTime loginRetryMax = VXSystemTime::fromSec(60);
    qint64 loginPauseMs = 0;
    // Whether the failed log-ins since the last success already reported a
    // reply without a usable token as an error.
    bool tokenlessReported = false;
    // The last refusal reported, until the change is accepted.
    QString refusalReported;
    VXSystemTime retryFirst = VXSystemTime::fromSec(1);
    VXSystemTime retryMax = VXSystemTime::fromSec(60);
    Backoff changeBackoff;
    Backoff logBackoff;
    Backoff syncBackoff;
};
