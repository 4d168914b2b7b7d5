#include "storage/database_base.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "core/core.h"
#include "jalt/vx_time.h"
#include "vexo/qvx_config.h"
#include "vexo/sql_query.h"

const char* const DatabaseBase::connectionName = "vesk_station";

namespace {
const char* const schemaResource = ":/sql_tables.conf";
const int idleSleepMs = 10;
const qint64 batchLimitMs = 100;
// After a batch that could not be committed: the next attempt waits this
// long, so a lasting failure (a full disk) does not spin the thread.
const int failedBatchPauseMs = 100;

void log(const QString& text, StationCore::LogCategory category)
{
    StationCore::instance()->log(text, category);
}

// The waits of start() and request() poll: as short a sleep as the system gives.
void minSleep()
{
    QThread::usleep(100);
}

// Another connection holds the file: the statement may succeed later.
bool isBusy(const QSqlError& error)
{
    if (error.type() == QSqlError::NoError)
        return false;
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}
} // namespace

DatabaseBase::DatabaseBase()
{
    // Bound values are left out: they may hold password hashes.
    VEXO::SQLQuery::setFailHandler([](const QString& text, const Binds&, const QSqlError& error) {
        qDebug().noquote().nospace() << "Sql error: query = \"" << text << "\"," << error;
    });
}

DatabaseBase::~DatabaseBase() = default;

void DatabaseBase::setDatabase(const QString& file)
{
    QMutexLocker locker(&queryMutex);
    databaseFile = file;
}

QString DatabaseBase::databaseFileName() const
{
    QMutexLocker locker(&queryMutex);
    return databaseFile;
}

void DatabaseBase::setBusyTimeout(int ms)
{
    busyTimeoutMs.store(ms);
}

bool DatabaseBase::start()
{
    if (QThread::currentThread() == this)
        return ready.load();
    if (!isRunning()) {
        // The hub belongs to the GUI thread: it must exist before this thread
        // can log through it.
        StationCore::instance();
        ready.store(false);
        QThread::start(QThread::InheritPriority);
    }
    // The thread either opens the file or ends: never wait past that.
    while (!ready.load() && !isFinished())
        minSleep();
    return ready.load();
}

void DatabaseBase::stop()
{
    if (QThread::currentThread() == this) {
        requestInterruption();
        return;
    }
    if (!isRunning())
        return;
    requestInterruption();
    if (!wait(30000)) {
        terminate();
        wait();
        ready.store(false);
        transactionDepth = 0;
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QString::fromLatin1(connectionName));
    }
}

void DatabaseBase::clear()
{
    log(QStringLiteral("[DatabaseBase] Clear ..."), StationCore::lcInfo);
    stop();
    clearPending.store(true);
    cleared();
    if (start())
        log(QStringLiteral("[DatabaseBase] Clear done"), StationCore::lcInfo);
}

void DatabaseBase::addQuery(const QString& text, const Binds& binds)
{
    addQuery(Query{text, binds, 0});
}

void DatabaseBase::addQuery(const Query& query)
{
    if (!started.load())
        return;
    QMutexLocker locker(&queryMutex);
    queries.enqueue(Query{query.text, query.binds, 0});
}

QList<DatabaseBase::Query> DatabaseBase::pendingQueries() const
{
    QMutexLocker locker(&queryMutex);
    return queries;
}

DatabaseBase::Row DatabaseBase::request(const QString& text, const Binds& binds)
{
    if (QThread::currentThread() == this) {
        log(QStringLiteral("[DatabaseBase] Request on the database thread refused: %1").arg(text),
            StationCore::lcError);
        return Row();
    }
    if (!mayRequest(text))
        return Row();
    if (!ready.load() || !isRunning()) {
        log(QStringLiteral("[DatabaseBase] No database for request: %1").arg(text), StationCore::lcWarning);
        return Row();
    }
    int id = 0;
    {
        QMutexLocker locker(&requestMutex);
        id = ++lastRequestId;
        requests.enqueue(Query{text, binds, id});
    }
    for (bool running = true;;) {
        {
            QMutexLocker locker(&requestMutex);
            const auto found = results.find(id);
            if (found != results.end()) {
                const Row row = found.value();
                results.erase(found);
                return row;
            }
        }
        // The thread answers every request it has taken before it ends, so a
        // last look at the results follows the end.
        if (!running) {
            forgetRequest(id);
            log(QStringLiteral("[DatabaseBase] Database stopped before request: %1").arg(text),
                StationCore::lcWarning);
            return Row();
        }
        running = isRunning();
        minSleep();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void DatabaseBase::forgetRequest(int id)
{
    QMutexLocker locker(&requestMutex);
    results.remove(id);
    for (auto it = requests.begin(); it != requests.end(); ++it) {
        if (it->requestId == id) {
            requests.erase(it);
            break;
        }
    }
}

bool DatabaseBase::transaction()
{
    if (++transactionDepth > 1)
        return true;
    if (db.transaction())
        return true;
    transactionDepth = 0;
    return false;
}

bool DatabaseBase::commit()
{
    if (transactionDepth <= 0)
        return false;
    if (--transactionDepth > 0)
        return true;
    return db.commit();
}

void DatabaseBase::rollback()
{
    transactionDepth = 0;
    db.rollback();
}

void DatabaseBase::run()
{
    const QString file = databaseFileName();
    const bool clearing = clearPending.exchange(false);
    if (!openDatabase(file, clearing)) {
        closeDatabase();
        return;
    }
    {
        QMutexLocker locker(&connectionMutex);
        initDatabase(db);
        if (clearing) {
            if (!transaction()) {
                log(QStringLiteral("[DatabaseBase] Clear error: %1").arg(db.lastError().text()),
                    StationCore::lcInfo);
            } else {
                clearTables();
                if (!commit()) {
                    log(QStringLiteral("[DatabaseBase] Clear error: %1").arg(db.lastError().text()),
                        StationCore::lcInfo);
                    rollback();
                }
            }
        }
    }
    started.store(true);
    ready.store(true);
    opened();

    while (!isInterruptionRequested()) {
        bool noQueries = false;
        bool noRequests = false;
        {
            QMutexLocker locker(&queryMutex);
            noQueries = queries.isEmpty();
        }
        {
            QMutexLocker locker(&requestMutex);
            noRequests = requests.isEmpty();
        }
        if (noQueries && noRequests) {
            QThread::msleep(idleSleepMs);
            checkChanges();
            continue;
        }
        if (!noQueries && !runBatch(batchLimitMs)) {
            runRequests();
            QThread::msleep(failedBatchPauseMs);
            continue;
        }
        if (!noRequests)
            runRequests();
    }

    // What was queued before stop() still reaches the file.
    runBatch(-1);
    runRequests();
    {
        QMutexLocker locker(&queryMutex);
        if (!queries.isEmpty())
            log(QStringLiteral("[DatabaseBase] Stopped with %1 statements not written").arg(queries.size()),
                StationCore::lcInfo);
    }
    ready.store(false);
    closeDatabase();
}

bool DatabaseBase::runBatch(qint64 limitMs)
{
    QMutexLocker locker(&connectionMutex);
    {
        QMutexLocker queued(&queryMutex);
        if (queries.isEmpty())
            return true;
    }
    // Failures are logged in category 0 only: a higher one queues a log row,
    // which would fail the same way.
    if (!transaction()) {
        if (failedCommits++ == 0)
            log(QStringLiteral("[DatabaseBase] Batch error: %1").arg(db.lastError().text()),
                StationCore::lcInfo);
        return false;
    }
    QVector<Query> taken;
    QString failure;
    VXTimeMeasurer measurer;
    while (limitMs < 0 || measurer.elapsed_m() < limitMs) {
        Query query;
        {
            QMutexLocker queued(&queryMutex);
            if (queries.isEmpty())
                break;
            query = queries.dequeue();
        }
        QSqlError error;
        VEXO::SQLQuery::exec(query.text, query.binds, db, &error, 0);
        taken.append(query);
        if (isBusy(error)) {
            failure = error.text();
            break;
        }
    }
    if (failure.isEmpty() && commit()) {
        if (failedCommits > 0)
            log(QStringLiteral("[DatabaseBase] Batch written after %1 failed attempts").arg(failedCommits),
                StationCore::lcInfo);
        failedCommits = 0;
        return true;
    }
    if (failure.isEmpty())
        failure = db.lastError().text();
    rollback();
    {
        // Back in front, in their order: nothing is lost and nothing overtakes them.
        QMutexLocker queued(&queryMutex);
        for (int i = taken.size() - 1; i >= 0; --i)
            queries.prepend(taken.at(i));
    }
    if (failedCommits++ == 0)
        log(QStringLiteral("[DatabaseBase] Batch error, %1 statements kept for the next batch: %2")
                .arg(taken.size())
                .arg(failure),
            StationCore::lcInfo);
    return false;
}

void DatabaseBase::runRequests()
{
    for (;;) {
        Query query;
        {
            QMutexLocker locker(&requestMutex);
            if (requests.isEmpty())
                return;
            query = requests.dequeue();
        }
        const QVector<QSqlRecord> rows = VEXO::SQLQuery::exec(query.text, query.binds, db, nullptr, 1);
        Row row;
        if (!rows.isEmpty()) {
            const QSqlRecord& record = rows.first();
            for (int i = 0; i < record.count(); ++i)
                row.insert(record.fieldName(i), record.value(i));
        }
        QMutexLocker locker(&requestMutex);
        results.insert(query.requestId, row);
    }
}

bool DatabaseBase::openDatabase(const QString& file, bool replaceUnreadable)
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(connectionName));
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs.load()));

    // SQLite opens any file; one that is no database shows at the first read.
    auto tryOpen = [this](QString* error) {
        if (!db.open()) {
            *error = db.lastError().text();
            return false;
        }
        {
            QSqlQuery probe(db);
            if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                return true;
            *error = probe.lastError().text();
        }
        db.close();
        return false;
    };

    QString error;
    if (tryOpen(&error))
        return true;
    if (replaceUnreadable) {
        // Only when clearing: the administrator asked for a fresh database,
        // and this file holds nothing that can be read.
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(file + QString::fromLatin1(suffix));
        log(QStringLiteral("[DatabaseBase] Unreadable %1 replaced: %2").arg(file, error),
            StationCore::lcInfo);
        if (tryOpen(&error))
            return true;
    }
    log(QStringLiteral("[DatabaseBase] Open error: %1").arg(error), StationCore::lcError);
    return false;
}

void DatabaseBase::closeDatabase()
{
    transactionDepth = 0;
    if (db.isValid())
        db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QString::fromLatin1(connectionName));
}

void DatabaseBase::initDatabase(QSqlDatabase database)
{
    if (!database.isOpen())
        return;
    transaction();
    const QStringList existing = database.tables(QSql::Tables);
    const QVXConfig config(QString::fromLatin1(schemaResource), true);
    if (!config.isOpen())
        qDebug() << "Schema resource missing:" << schemaResource;
    const QVXConfig::Entry schema = config.getValue(QString::fromLatin1(connectionName));
    for (const QVXConfig::Entry& table : schema.children()) {
        if (existing.contains(table.name(), Qt::CaseSensitive)) {
            checkDatabaseTable(database, table.name(), table.value());
            continue;
        }
        QSqlQuery create(database);
        if (!create.exec(table.value()))
            qDebug() << "Can't create table" << table.name() << create.lastError();
    }
    if (!commit()) {
        qDebug() << "Can't commit the schema:" << database.lastError();
        rollback();
    }
}

void DatabaseBase::checkDatabaseTable(QSqlDatabase database, const QString& table, const QString& statement)
{
    const int open = statement.indexOf(QLatin1Char('('));
    const int close = statement.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close <= open)
        return;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QSqlRecord columns = database.record(table);
    const QStringList parts = statement.mid(open + 1, close - open - 1).split(QLatin1Char(','));
    for (const QString& raw : parts) {
        const QString part = raw.trimmed();
        if (part.isEmpty() || columns.contains(part.section(blanks, 0, 0)))
            continue;
        // A key or a definition SQLite cannot add fails here; the table then
        // stays as it is.
        QSqlQuery alter(database);
        alter.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, part));
    }
}
