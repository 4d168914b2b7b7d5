#include "server/server.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QTimer>
#include <QtConcurrent>

#include "core/core.h"
#include "jalt/vx_file.h"
#include "jalt/vx_time.h"
#include "readers/cryptography.h"
#include "storage/database.h"

namespace {
// The back-end reads the keys of a request in the order they are written and
// the "refId" is a hash of the text so far, so the text is written here key
// by key instead of through QJsonObject, which sorts its keys.
class JsonObjectText
{
public:
    JsonObjectText& add(const char* key, const QJsonValue& value)
    {
        // A one-element array is the shortest way to have Qt escape a value.
        const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        // Our keys are plain ASCII names and need no escaping.
        parts.append('"' + QByteArray(key) + "\":" + array.mid(1).chopped(1));
        return *this;
    }
    QByteArray text() const { return '{' + parts.join(',') + '}'; }

    // "createDate" (now, local) and "refId" (a fresh UUID of the text so far).
    JsonObjectText& stamp()
    {
        add("createDate", VXDateTime::current().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz")));
        return add("refId", createUUID(text()));
    }

private:
    QList<QByteArray> parts;
};
} // namespace

DatabaseStructs::ChangeServer Server::makeOperation(Constants::DeviceOperation operation,
                                                    int deviceId,
                                                    int userId,
                                                    const CellsLogic::Cell& cell,
                                                    QString comment)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/CreateOperation");
    change.cell = cell.number;
    change.body = JsonObjectText()
                      .add("operation", int(operation))
                      .add("deviceId", deviceId)
                      .add("userId", userId)
                      .add("devicePointCellId", cell.devicePointCellId)
                      .add("comment", comment)
                      .stamp()
                      .text();
    return change;
}

DatabaseStructs::ChangeServer
Server::makeTask(int deviceId, int userId, int deviceFaultId, QString description)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/CreateTask");
    change.body = JsonObjectText()
                      .add("deviceId", deviceId)
                      .add("userId", userId)
                      .add("deviceFaultId", deviceFaultId)
                      .add("description", description)
                      .stamp()
                      .text();
    return change;
}

DatabaseStructs::ChangeServer Server::makeCellLockStatus(int id, bool isLocked, QString description)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/SetCellsLockStatus");
    change.body =
        '[' + JsonObjectText().add("id", id).add("isLocked", isLocked).add("description", description).text()
        + ']';
    return change;
}

namespace {
const char* const timeFormat = "yyyy-MM-dd'T'hh:mm:ss";

int jsInt(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble())
        return 0;
    const double d = v.toDouble();
    // A number that is not whole, or out of range, is no valid integer.
    if (d != std::floor(d) || d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max())
        return 0;
    return int(d);
}

bool jsBool(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isBool() && v.toBool();
}

QString jsString(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : QString();
}

// A local time written exactly "dd.MM.yyyy hh:mm:ss". Read by hand: Qt's
// format parser costs tens of microseconds a call, and a full download holds
// tens of thousands of dates.
QDateTime jsDateTime(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString())
        return QDateTime();
    const QString text = v.toString();
    static const char shape[] = "00.00.0000 00:00:00";
    if (text.size() != int(sizeof shape) - 1)
        return QDateTime();
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text[i].unicode();
        if (shape[i] == '0' ? (c < '0' || c > '9') : c != ushort(shape[i]))
            return QDateTime();
    }
    const auto number = [&text](int at, int digits) {
        int n = 0;
        for (int i = at; i < at + digits; ++i)
            n = n * 10 + (text[i].unicode() - '0');
        return n;
    };
    const QDate date(number(6, 4), number(3, 2), number(0, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return VXDateTime::fromLocal(date, time);
}

// The body as an array; ok is false when it is not one (empty, cut, other).
QJsonArray jsArray(const QByteArray& body, bool* ok)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    *ok = doc.isArray();
    return doc.array();
}

qint64 nowMs()
{
    return VXClock::monotonicMSec();
}

// Long enough to store some thousand records, short enough that a touch on
// the screen is answered at once.
constexpr qint64 sliceMs = 10;

// Stores records from *stored on until all are or the slice is used up.
template <typename Record, typename Store>
bool storeSlice(const QVector<Record>& records, int* stored, const QElapsedTimer& slice, Store store)
{
    while (*stored < records.size()) {
        if (slice.elapsed() >= sliceMs)
            return false;
        store(records[(*stored)++]);
    }
    return true;
}

// After the last record of its table: the update time moves on, once.
bool storeUpdateTime(int index, QDateTime* time)
{
    if (time->isValid()) {
        Database::instance()->setUpdateTime(index, *time);
        *time = QDateTime();
    }
    return true;
}
} // namespace

Server::Server(QObject* parent)
    : ServerBase(parent)
{
    startIndexedTimerMs(0, 2000, [this] {
        const int state = authState.load();
        // After a failed log-in, timer 3 ends the pause; a session refused
        // by an upload logs in again at once.
        if (state == authNone || (state == authFailed && !isIndexedTimerActive(3)))
            authorize();
    });
    setIndexedTimerSingleShot(3, true);
    bindIndexedTimer(3, [this] {
        if (authState.load() == authFailed)
            authorize();
    });
    startIndexedTimerMs(1, 200, [this] { tick(); });
}

Server::~Server()
{
    stopAll();
}

void Server::stopAll()
{
    stopAllIndexedTimers();
    applying.reset();
    shutdown();
}

void Server::setSyncInterval(const VXSystemTime& interval)
{
    syncInterval = interval;
}

void Server::setRetryDelays(VXSystemTime first, VXSystemTime max)
{
    retryFirst = first;
    retryMax = max;
    changeBackoff.nextMs = logBackoff.nextMs = syncBackoff.nextMs = 0;
}

void Server::setLoginRetryDelays(VXSystemTime first, VXSystemTime max)
{
    loginRetryFirst = first;
    loginRetryMax = max;
    loginPauseMs = 0;
}

void Server::failed(Backoff& backoff)
{
    if (backoff.nextMs <= 0)
        backoff.nextMs = retryFirst.toMSec();
    backoff.until.store(nowMs() + backoff.nextMs);
    backoff.nextMs = std::min(backoff.nextMs * 2, retryMax.toMSec());
}

bool Server::waiting(const Backoff& backoff)
{
    return nowMs() < backoff.until.load();
}

void Server::succeeded(Backoff& backoff)
{
    backoff.nextMs = 0;
    backoff.until.store(0);
}

void Server::authorize()
{
    VXCout::line(QStringLiteral("authorize..."));
    setToken(QString());
    authState.store(authLoggingIn);
    const int generation = ++loginGeneration;
    QJsonObject body;
    body.insert(QStringLiteral("login"), login);
    body.insert(QStringLiteral("password"), password);
    sendPost(
        rtBase, QStringLiteral("token"), VXJSONData(body),
        [this, generation](const Reply& reply) {
            if (generation != loginGeneration)
                return;
            const QString received = readToken(reply.body);
            // Without a token nothing can be downloaded or uploaded: a failed
            // log-in, tried again, rather than a session that never works. It
            // is reported once as an error; the tries that follow are noted
            // locally, or a back-end that keeps answering so would add a log
            // record for every one.
            if (!isUsableToken(received)) {
                write(QStringLiteral("[Server] Error: log-in reply without a usable token"),
                      tokenlessReported ? StationCore::lcInfo : StationCore::lcError);
                tokenlessReported = true;
                loginFailed();
                return;
            }
            setToken(received);
            tokenlessReported = false;
            loginPauseMs = 0;
            authState.store(authLoggedIn);
            write(QStringLiteral("[Server] Received token"), StationCore::lcInfo);
            callNext([this] { Q_EMIT authorizeDone(); });
        },
        [this, generation](const Reply&) {
            if (generation == loginGeneration)
                loginFailed();
        });
}

void Server::loginFailed()
{
    authState.store(authFailed);
    // A back-end that is down or refuses the station is asked less and less
    // often, as uploads are.
    loginPauseMs =
        loginPauseMs <= 0 ? loginRetryFirst.toMSec() : std::min(loginPauseMs * 2, loginRetryMax.toMSec());
    startIndexedTimer(3, VXSystemTime::fromMSec(loginPauseMs));
}

VXString Server::readToken(const QByteArray& body)
{
    const QJsonValue value = QJsonDocument::fromJson(body).object().value(QLatin1String("access_token"));
    return value.isString() ? value.toString() : VXString();
}

void Server::noteFailure(const Reply& reply)
{
    if (reply.status != 401)
        return;
    int expected = authLoggedIn;
    // Once per session: a log-in already under way is not started again.
    if (authState.compare_exchange_strong(expected, authFailed))
        write(QStringLiteral("[Server] Session refused, logging in again"), StationCore::lcInfo);
}

void Server::noteRefusal(const DatabaseStructs::ChangeServer& change, const Reply& reply)
{
    if (reply.status < 400 || reply.status > 499 || reply.status == 401)
        return;
    // The change stays first in its queue, sent again and again, and every
    // record behind it waits: said once, and again when that changes.
    const int behind = std::max(0, Database::instance()->queuedChangesTotal() - 1);
    const QString line =
        QStringLiteral("[Server] Error: change \"%1\" refused with status %2, %3 records wait behind it")
            .arg(change.path)
            .arg(reply.status)
            .arg(behind);
    if (line == refusalReported)
        return;
    refusalReported = line;
    write(line, StationCore::lcError);
}

void Server::tick()
{
    if (authState.load() != authLoggedIn)
        return;
    if (sinceApply.elapsed() > syncInterval)
        sync();
    if (hangWatch.elapsed() > syncInterval + VXSystemTime::fromMin(2)) {
        hangWatch.reset();
        // The replies of the chain still in flight are ignored from now on.
        ++syncGeneration;
        syncReceived.store(false);
        syncPending.store(0);
        write(QStringLiteral("[Server] Sync hangs, reset states"), StationCore::lcInfo);
    }
}

void Server::sync()
{
    if (!isAuthorized() || syncPending.load() > 0 || syncReady.load() || applying || waiting(syncBackoff))
        return;
    syncPending.store(4);
    syncReceived.store(false);
    clearReplies();
    startUsers(++syncGeneration);
}

void Server::clearReplies()
{
    usersReply.clear();
    devicesReply.clear();
    faultsReply.clear();
    cellsReply.clear();
    usersTime = QDateTime();
    devicesTime = QDateTime();
}

void Server::resetSync()
{
    ++syncGeneration;
    syncPending.store(0);
    syncReceived.store(false);
    syncReady.store(false);
    applying.reset();
    clearReplies();
}

void Server::downloadStep(int generation,
                          const QString& path,
                          std::function<void(const Reply&)> store,
                          std::function<void()> next)
{
    // A step goes on to the next whatever its outcome, unless the back-end
    // could not be reached at all: the next steps would only fail the same
    // way, back to back, and count as failed at once. Replies of an older
    // chain (a hang reset or a clear came between) are ignored.
    auto finish = [this, generation, next](bool unreachable) {
        if (unreachable && next)
            syncPending.store(1); // the chain ends with this step
        else if (next)
            next();
        oneSyncDone(generation);
    };
    sendGet(
        rtBase, path,
        [this, generation, store, finish](const Reply& reply) {
            if (generation != syncGeneration)
                return;
            store(reply);
            syncReceived.store(true);
            finish(false);
        },
        [this, generation, finish](const Reply& reply) {
            if (generation != syncGeneration)
                return;
            noteFailure(reply);
            finish(reply.unreachable);
        });
}

void Server::startUsers(int generation)
{
    const QDateTime from = Database::instance()->updateTime(1);
    const QDateTime sent = VXDateTime::current().addSecs(-5);
    downloadStep(
        generation,
        QStringLiteral("api/KalmireSync/GetAllUsers/%1").arg(from.toString(QLatin1String(timeFormat))),
        [this, sent](const Reply& reply) {
            usersReply = reply.body;
            usersTime = sent;
        },
        [this, generation] { startDevices(generation); });
}

void Server::startDevices(int generation)
{
    const QDateTime from = Database::instance()->updateTime(2);
    const QDateTime sent = VXDateTime::current().addSecs(-5);
    downloadStep(
        generation,
        QStringLiteral("api/KalmireSync/GetDevices/%1/%2")
            .arg(StationCore::instance()->point_id)
            .arg(from.toString(QLatin1String(timeFormat))),
        [this, sent](const Reply& reply) {
            checkClock(reply);
            devicesReply = reply.body;
            devicesTime = sent;
        },
        [this, generation] { startFaults(generation); });
}

void Server::startFaults(int generation)
{
    downloadStep(
        generation, QStringLiteral("api/KalmireSync/GetAllDeviceFaults"),
        [this](const Reply& reply) { faultsReply = reply.body; },
        [this, generation] { startCells(generation); });
}

void Server::startCells(int generation)
{
    downloadStep(
        generation,
        QStringLiteral("api/KalmireSync/GetDevicePoint/%1").arg(StationCore::instance()->point_id),
        [this](const Reply& reply) { cellsReply = reply.body; }, nullptr);
}

void Server::oneSyncDone(int generation)
{
    if (generation != syncGeneration)
        return;
    if (--syncPending != 0)
        return;
    if (!syncReceived.load()) {
        // The back-end is unreachable: wait before the next chain instead
        // of asking again every tick.
        failed(syncBackoff);
        return;
    }
    succeeded(syncBackoff);
    syncReady.store(true);
    write(QStringLiteral("[Server] Sync done after %1 secs")
              .arg(QString::number(lastSync.elapsed().toUSec() / 1e6, 'g', 6)),
          StationCore::lcInfo);
    lastSync.reset();
}

void Server::checkClock(const Reply& reply)
{
    const QDateTime server =
        QDateTime::fromString(QString::fromLatin1(reply.header("Date")), Qt::RFC2822Date).toLocalTime();
    if (!server.isValid())
        return;
    const double minutes = std::abs(double(VXDateTime::current().secsTo(server)) / 60.0);
    if (minutes >= 5.0)
        write(QStringLiteral("[Server] Warning: Clock desync with server: %1 minutes!")
                  .arg(QString::number(minutes, 'g', 6)),
              StationCore::lcWarning);
}

void Server::maybeApplySync()
{
    if (applying) {
        // The cells are merged once the records are stored.
        if (applying->stored)
            finishApply();
        return;
    }
    if (!syncReady.load())
        return;
    syncReady.store(false);
    sinceApply.reset();
    hangWatch.reset();
    write(QStringLiteral("[Server] Sync apply"), StationCore::lcInfo);
    applying = std::make_unique<Apply>();
    const int serial = applying->serial = ++applySerial;
    auto* watcher = new QFutureWatcher<Download>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        // A clear or shutdown came between: the records are no longer wanted.
        if (!applying || applying->serial != serial)
            return;
        applying->download = watcher->result();
        const Download& download = applying->download;
        write(QStringLiteral("[Server] Received %1 device faults").arg(download.faults.size()),
              StationCore::lcInfo);
        write(QStringLiteral("[Server] Received %1 users").arg(download.users.size()), StationCore::lcInfo);
        write(QStringLiteral("[Server] Received %1 devices").arg(download.devices.size()),
              StationCore::lcInfo);
        applySlice();
    });
    watcher->setFuture(
        QtConcurrent::run([users = usersReply, devices = devicesReply, faults = faultsReply,
                           cells = cellsReply, usersSent = usersTime, devicesSent = devicesTime] {
            return readDownload(users, devices, faults, cells, usersSent, devicesSent);
        }));
    clearReplies();
}

Server::Download Server::readDownload(QByteArray users,
                                      QByteArray devices,
                                      QByteArray faults,
                                      QByteArray cells,
                                      QDateTime usersTime,
                                      QDateTime devicesTime)
{
    Download download;
    bool ok = false;
    for (const QJsonValue& value : jsArray(faults, &ok)) {
        const QJsonObject o = value.toObject();
        DatabaseStructs::DeviceFault fault;
        fault.id = jsInt(o, "id");
        fault.name = jsString(o, "name");
        fault.description = jsString(o, "description");
        fault.updateDate = jsDateTime(o, "updateDate");
        download.faults.append(fault);
    }
    for (const QJsonValue& value : jsArray(users, &ok)) {
        const QJsonObject o = value.toObject();
        DatabaseStructs::User user;
        user.id = jsInt(o, "id");
        user.name = jsString(o, "name");
        user.login = jsString(o, "login");
        user.passwordHash = QByteArray::fromBase64(jsString(o, "passwordHash").toLatin1());
        user.personNumber = jsString(o, "personNumber");
        user.isAdmin = jsBool(o, "isAdmin");
        user.isBlocked = jsBool(o, "isBlocked");
        user.updateDate = jsDateTime(o, "updateDate");
        user.roleUpdateDate = jsDateTime(o, "roleUpdateDate");
        download.users.append(user);
    }
    // Only data that arrived whole moves the time on: a cut reply is asked
    // for again from the same time.
    if (ok)
        download.usersTime = usersTime;
    for (const QJsonValue& value : jsArray(devices, &ok)) {
        const QJsonObject o = value.toObject();
        DatabaseStructs::Device device;
        device.id = jsInt(o, "id");
        device.name = jsString(o, "name");
        device.phone = jsString(o, "phone");
        device.serial = jsString(o, "serial");
        device.status = Constants::DeviceStatus(jsInt(o, "status"));
        device.userId = jsInt(o, "userId");
        device.lastCharge = jsInt(o, "lastCharge");
        device.updateDate = jsDateTime(o, "updateDate");
        device.chargeTrend = Constants::DeviceChargeTrend(jsInt(o, "chargeTrend"));
        device.lastChargeDate = jsDateTime(o, "lastChargeDate");
        download.devices.append(device);
    }
    if (ok)
        download.devicesTime = devicesTime;
    const QJsonArray cellArray =
        QJsonDocument::fromJson(cells).object().value(QLatin1String("devicePointCells")).toArray();
    for (const QJsonValue& value : cellArray) {
        const QJsonObject o = value.toObject();
        ServerCell cell;
        cell.cellNumber = jsInt(o, "cellNumber");
        cell.id = jsInt(o, "id");
        cell.deviceId = jsInt(o, "deviceId");
        cell.isLocked = jsBool(o, "isLocked");
        cell.description = jsString(o, "description");
        cell.lastOperation = Constants::DeviceOperation(jsInt(o, "lastOperation"));
        cell.lastOperationUserId = jsInt(o, "lastOperationUserId");
        cell.lastOperationDate = jsDateTime(o, "lastOperationDate");
        cell.updateDate = jsDateTime(o, "updateDate");
        download.cells.append(cell);
    }
    return download;
}

void Server::applySlice()
{
    QElapsedTimer slice;
    slice.start();
    Database* database = Database::instance();
    database->lock();
    applying->stored = applyDeviceFaults(slice) && applyUsers(slice) && applyDevices(slice);
    database->unlock();
    // Once all are stored, the hub's next call on an idle screen merges the
    // cells. A timer, not a posted call, so other timers get their turn.
    if (!applying->stored) {
        const int serial = applying->serial;
        QTimer::singleShot(1, this, [this, serial] {
            if (applying && applying->serial == serial)
                applySlice();
        });
    }
}

bool Server::applyDeviceFaults(const QElapsedTimer& slice)
{
    return storeSlice(
        applying->download.faults, &applying->faultsStored, slice,
        [](const DatabaseStructs::DeviceFault& fault) { Database::instance()->addDeviceFault(fault); });
}

bool Server::applyUsers(const QElapsedTimer& slice)
{
    return storeSlice(applying->download.users, &applying->usersStored, slice,
                      [](const DatabaseStructs::User& user) { Database::instance()->addUser(user); })
           && storeUpdateTime(1, &applying->download.usersTime);
}

bool Server::applyDevices(const QElapsedTimer& slice)
{
    return storeSlice(applying->download.devices, &applying->devicesStored, slice,
                      [](const DatabaseStructs::Device& device) { Database::instance()->addDevice(device); })
           && storeUpdateTime(2, &applying->download.devicesTime);
}

void Server::finishApply()
{
    Database* database = Database::instance();
    database->lock();
    applyCells();
    database->unlock();
    applying.reset();
    Q_EMIT database->devicesChanged();
    Q_EMIT database->usersChanged();
    StationCore::instance()->saveState();
    Q_EMIT StationCore::instance()->cellsChanged();
}

void Server::applyCells()
{
    const QVector<ServerCell>& received = applying->download.cells;
    CellsLogic& logic = StationCore::instance()->cellsLogic;
    Database* database = Database::instance();
    write(QStringLiteral("[Server] Received %1 cells").arg(received.size()), StationCore::lcInfo);
    write(QStringLiteral("[Server] Cells stat before: %1 free, %2 devices, %3 available")
              .arg(logic.freeCellsCount())
              .arg(logic.devicesInCellsCount())
              .arg(logic.availableDevicesInCellsCount()),
          StationCore::lcInfo);
    const double graceMs = double(syncInterval.toMSec()) / 2.0;
    for (const ServerCell& from : received) {
        const int number = from.cellNumber;
        auto found = logic.cells.find(number);
        if (found == logic.cells.end()) {
            write(QStringLiteral("[Server] Warning: no cell with number %1 in config!").arg(number),
                  StationCore::lcInfo);
            continue;
        }
        CellsLogic::Cell& cell = found.value();
        bool take = true;
        if (cell.state == CellsLogic::csChanging || cell.state == CellsLogic::csChanged)
            take = false;
        if (cell.isAmbiguous() && double(cell.lastChangeElapsed().toMSec()) < graceMs)
            take = false;
        const int before = cell.deviceId;
        if (take) {
            cell.deviceId = from.deviceId;
            cell.setState(CellsLogic::csActual);
            cell.setAmbiguous(false);
        } else {
            write(QStringLiteral("[Server] Info: Ignore device replacement in cell %1, timeout = %2 s")
                      .arg(number)
                      .arg(QString::number(cell.lastChangeElapsed().toUSec() / 1e6, 'f', 1)),
                  StationCore::lcInfo);
        }
        if (cell.deviceId != before)
            cell.forceReady = false;
        cell.devicePointCellId = from.id;
        cell.priorityBase = 0;
        // A lock change of ours the back-end has not accepted yet is newer
        // than what it sends.
        if (!database->hasQueuedLock(cell.devicePointCellId)) {
            cell.isLocked = from.isLocked;
            cell.description = from.description;
        }
        cell.lastOperation = from.lastOperation;
        cell.lastOperationUserId = from.lastOperationUserId;
        cell.lastOperationDate = from.lastOperationDate;
        cell.updateDate = from.updateDate;
        cell.device = database->devices.value(cell.deviceId, DatabaseStructs::Device());
        cell.user = database->users.value(cell.lastOperationUserId, DatabaseStructs::User());
        if (!cell.priorityTime.isValid())
            cell.priorityTime = cell.lastOperationDate;
    }
    write(QStringLiteral("[Server] Cells stat  after: %1 free, %2 devices, %3 available")
              .arg(logic.freeCellsCount())
              .arg(logic.devicesInCellsCount())
              .arg(logic.availableDevicesInCellsCount()),
          StationCore::lcInfo);
}

DatabaseStructs::ServerLog Server::makeLog(int cat, const VXString& msg)
{
    QJsonObject line;
    line.insert(QStringLiteral("cat"), cat);
    line.insert(QStringLiteral("msg"), msg);
    QJsonObject body;
    body.insert(QStringLiteral("id"), StationCore::instance()->point_id);
    body.insert(QStringLiteral("log"), QJsonArray{line});
    DatabaseStructs::ServerLog log;
    log.path = QStringLiteral("station/state");
    log.body = VXJSONData(body);
    return log;
}

int Server::changeStatus() const
{
    const int status = changeStatusValue.load();
    // An accepted change is deleted whatever the log-in: kept while logged
    // out, a crash would send it again.
    if (status == ssDone)
        return status;
    if (authState.load() != authLoggedIn)
        return ssBusy;
    return status == ssFailed && waiting(changeBackoff) ? int(ssBusy) : status;
}

int Server::logStatus() const
{
    const int status = logStatusValue.load();
    return status == ssFailed && waiting(logBackoff) ? int(ssBusy) : status;
}

void Server::sendChange(DatabaseStructs::ChangeServer change)
{
    changeStatusValue.store(ssBusy);
    callNext([this, change] {
        if (change.path.isEmpty()) {
            write(QStringLiteral("[Server] Change with empty path, maybe bug? (body = \"%1\")")
                      .arg(QString::fromUtf8(change.body)),
                  StationCore::lcWarning);
            changeStatusValue.store(ssDone);
            return;
        }
        write(QStringLiteral("[Server] Send change \"%1\"").arg(change.path), StationCore::lcInfo);
        const bool logRoot = change.path.startsWith(QLatin1String("station/"));
        sendPost(
            logRoot ? rtLog : rtBase, change.path, change.body,
            [this, change](const Reply&) {
                succeeded(changeBackoff);
                refusalReported.clear();
                // The cell waits for the back-end's word on every change of
                // it; the one just accepted still counts until it is deleted.
                if (change.hasCell() && Database::instance()->queuedChangesFor(change.cell) <= 1)
                    StationCore::instance()->cellsLogic.setCellState(change.cell, CellsLogic::csChanged);
                changeStatusValue.store(ssDone);
            },
            [this, logRoot, change](const Reply& reply) {
                if (!logRoot)
                    noteFailure(reply);
                noteRefusal(change, reply);
                failed(changeBackoff);
                changeStatusValue.store(ssFailed);
            });
    });
}

void Server::sendLog(DatabaseStructs::ServerLog log)
{
    logStatusValue.store(ssBusy);
    callNext([this, log] {
        if (log.path.isEmpty()) {
            logStatusValue.store(ssDone);
            return;
        }
        write(QStringLiteral("[Server] Send log \"%1\"").arg(log.path), StationCore::lcInfo);
        sendPost(
            rtLog, log.path, log.body,
            [this](const Reply&) {
                succeeded(logBackoff);
                logStatusValue.store(ssDone);
            },
            [this](const Reply&) {
                failed(logBackoff);
                logStatusValue.store(ssFailed);
            });
    });
}

void Server::setKeepAliveInterval(const VXSystemTime& interval)
{
    if (!isLogActive()) {
        stopIndexedTimer(2);
        return;
    }
    if (interval.toMSec() <= 0) {
        // A zero period would post back to back.
        stopIndexedTimer(2);
        write(QStringLiteral("[Server] Warning: keep_alive_interval is zero, no state reports"),
              StationCore::lcWarning);
        return;
    }
    startIndexedTimer(2, interval, [this] { sendKeepAlive(); });
    sendKeepAlive();
}

QByteArray Server::keepAliveBody()
{
    StationCore* core = StationCore::instance();
    const CellsLogic& logic = core->cellsLogic;
    QJsonObject body;
    body.insert(QStringLiteral("id"), core->point_id);
    body.insert(QStringLiteral("name"), core->title);
    body.insert(QStringLiteral("version"),
                QStringLiteral("%1-%2").arg(QLatin1String(Constants::version)).arg(Constants::buildNumber));
    body.insert(QStringLiteral("cells_all"), logic.cellsCount());
    body.insert(QStringLiteral("cells_free"), logic.freeCellsCount());
    body.insert(QStringLiteral("cells_locked"), logic.lockedCellsCount());
    body.insert(QStringLiteral("devices_all"), logic.devicesInCellsCount());
    body.insert(QStringLiteral("devices_available"), logic.availableDevicesInCellsCount());
    body.insert(QStringLiteral("devices_charging"), logic.devicesCharging());
    body.insert(QStringLiteral("devices_problem"), logic.problemDevicesInCellsCount());
    return VXJSONData(body);
}

void Server::sendKeepAlive()
{
    sendPost(rtLog, QStringLiteral("station/state"), keepAliveBody(), nullptr, nullptr);
}
