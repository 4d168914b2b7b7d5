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

// SQLite's primary result codes of a statement that fails by itself
// (malformed, a constraint, a value out of range): running it again fails
// again, so it is dropped. Any other code is a failure of the file (busy,
// locked, full, read-only, an I/O error, ...): the statement may succeed
// later. A failure without code comes from the driver's own checks of the
// statement (a bind that does not match).
bool failsByItself(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    static const QVector<int> ownFailures = {
        0, 1 /* ERROR */, 18 /* TOOBIG */, 19 /* CONSTRAINT */, 20 /* MISMATCH */, 21 /* MISUSE */,
        25 /* RANGE */};
    return ownFailures.contains(code);
}

// A file SQLite cannot read as a database: nothing in it can be saved.
bool isUnreadable(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 11 /* CORRUPT */ || code == 26 /* NOTADB */;
}

// The table a statement writes or reads, for its error line.
QString tableOf(const QString& statement)
{
    static const QRegularExpression name(QStringLiteral("\\b(?:INTO|FROM|UPDATE)\\s+(\\w+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = name.match(statement);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("?");
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

void DatabaseBase::setReopenInterval(int ms)
{
    reopenIntervalMs.store(ms);
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
        attempted.store(false);
        QThread::start(QThread::InheritPriority);
    }
    while (!attempted.load() && !isFinished())
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

bool DatabaseBase::clear(QString* error)
{
    log(QStringLiteral("[DatabaseBase] Clear ..."), StationCore::lcInfo);
    stop();
    clearPending.store(true);
    clearDone = false;
    clearError.clear();
    // Should the clear fail, the load of the file as it is fills the
    // records again.
    cleared();
    start();
    if (!clearDone) {
        log(QStringLiteral("[DatabaseBase] Clear error, nothing deleted: %1").arg(clearError),
            StationCore::lcError);
        if (error)
            *error = clearError;
        return false;
    }
    log(QStringLiteral("[DatabaseBase] Clear done"), StationCore::lcInfo);
    return true;
}

void DatabaseBase::addQuery(const QString& text, const Binds& binds)
{
    addQuery(Query{text, binds, 0});
}

void DatabaseBase::addQuery(const Query& query)
{
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
    bool clearing = clearPending.exchange(false);
    int failedOpens = 0;
    for (;;) {
        QSqlError error;
        if (openDatabase(file, clearing, failedOpens == 0, &error))
            break;
        closeDatabase();
        ++failedOpens;
        if (clearing) {
            clearError = error.text();
            clearing = false;
        }
        attempted.store(true);
        if (!pause(reopenIntervalMs.load())) {
            reportUnwritten();
            return;
        }
    }
    if (failedOpens > 0)
        log(QStringLiteral("[DatabaseBase] Opened %1 after %2 failed attempts").arg(file).arg(failedOpens),
            StationCore::lcInfo);
    {
        QMutexLocker locker(&connectionMutex);
        initDatabase(db);
        if (clearing)
            clearDone = runClear(&clearError);
    }
    writeFailing.store(false);
    failedCommits = 0;
    ready.store(true);
    attempted.store(true);
    // What was queued while the file was not open comes first: the load then
    // finds it in the file, and no older row overwrites a newer record.
    runBatch(-1);
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
            pause(failedBatchPauseMs);
            continue;
        }
        if (!noRequests)
            runRequests();
    }

    // What was queued before stop() still reaches the file.
    runBatch(-1);
    runRequests();
    reportUnwritten();
    ready.store(false);
    closeDatabase();
}

bool DatabaseBase::runClear(QString* error)
{
    if (!transaction()) {
        *error = db.lastError().text();
        return false;
    }
    const QSqlError failed = clearTables();
    if (!failed.isValid() && commit())
        return true;
    *error = failed.isValid() ? failed.text() : db.lastError().text();
    rollback();
    return false;
}

bool DatabaseBase::pause(int ms)
{
    VXTimeMeasurer measurer;
    while (!isInterruptionRequested()) {
        if (measurer.elapsed_m() >= ms)
            return true;
        QThread::msleep(idleSleepMs);
    }
    return false;
}

void DatabaseBase::reportUnwritten()
{
    int left = 0;
    {
        QMutexLocker locker(&queryMutex);
        left = queries.size();
    }
    if (left > 0)
        log(QStringLiteral("[DatabaseBase] Stopped with %1 statements not written").arg(left),
            StationCore::lcInfo);
}

bool DatabaseBase::runBatch(qint64 limitMs)
{
    QMutexLocker locker(&connectionMutex);
    {
        QMutexLocker queued(&queryMutex);
        if (queries.isEmpty())
            return true;
    }
    QVector<Query> taken;
    QSqlError failure;
    if (transaction()) {
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
            if (!error.isValid()) {
                taken.append(query);
                continue;
            }
            if (!failsByItself(error)) {
                // The file failed: the batch is rolled back and kept whole,
                // this statement with it.
                taken.append(query);
                failure = error;
                break;
            }
            // A log row that fails by itself would fail again with its own
            // error line: that one stays local.
            const QString table = tableOf(query.text);
            log(QStringLiteral("[DatabaseBase] Statement on %1 dropped: %2").arg(table, error.text()),
                table == QLatin1String("server_logs") ? StationCore::lcInfo : StationCore::lcError);
            // SQLite may have rolled back the batch by itself: what ran before
            // is gone, and what follows would run outside any transaction.
            if (!transactionActive()) {
                failure = error;
                break;
            }
        }
        if (!failure.isValid() && commit()) {
            if (failedCommits > 0)
                log(QStringLiteral("[DatabaseBase] Batch written after %1 failed attempts")
                        .arg(failedCommits),
                    StationCore::lcInfo);
            failedCommits = 0;
            writeFailing.store(false);
            return true;
        }
        if (!failure.isValid())
            failure = db.lastError();
        rollback();
    } else {
        failure = db.lastError();
    }
    {
        // Back in front, in their order: nothing is lost and nothing overtakes them.
        QMutexLocker queued(&queryMutex);
        for (int i = taken.size() - 1; i >= 0; --i)
            queries.prepend(taken.at(i));
    }
    writeFailing.store(true);
    // One line per run of failures: each line of a higher category queues a
    // log row, and the rows wait behind this batch.
    if (failedCommits++ == 0)
        log(QStringLiteral("[DatabaseBase] Batch error, %1 statements kept for the next batch: %2")
                .arg(taken.size())
                .arg(failure.text()),
            StationCore::lcError);
    return false;
}

bool DatabaseBase::transactionActive()
{
    // BEGIN fails inside a transaction; outside one it starts one, which is
    // ended again at once.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("BEGIN")))
        return true;
    probe.exec(QStringLiteral("ROLLBACK"));
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

bool DatabaseBase::openDatabase(const QString& file, bool replaceUnreadable, bool report, QSqlError* error)
{
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(connectionName));
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs.load()));

    // SQLite opens any file; one that is no database shows at the first read.
    // A clear looks deeper: a file whose schema reads may still have corrupt
    // tables, whose deletes then fail.
    auto tryOpen = [this](QSqlError* error, bool deep) {
        if (!db.open()) {
            *error = db.lastError();
            return false;
        }
        {
            QSqlQuery probe(db);
            if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
                if (!deep)
                    return true;
                if (probe.exec(QStringLiteral("PRAGMA quick_check(1)"))) {
                    const QString verdict = probe.next() ? probe.value(0).toString() : QString();
                    if (verdict == QLatin1String("ok"))
                        return true;
                    *error = QSqlError(QStringLiteral("database disk image is malformed"), verdict,
                                       QSqlError::StatementError, QStringLiteral("11"));
                } else {
                    *error = probe.lastError();
                }
            } else {
                *error = probe.lastError();
            }
        }
        db.close();
        return false;
    };

    if (tryOpen(error, replaceUnreadable))
        return true;
    // Only when clearing: the administrator asked for a fresh database, and
    // this file holds nothing that can be read. A file that is busy, locked
    // or cannot be reached now may hold the upload queues, or be another
    // process's live journal.
    if (replaceUnreadable && isUnreadable(*error)) {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(file + QString::fromLatin1(suffix));
        log(QStringLiteral("[DatabaseBase] Unreadable %1 replaced: %2").arg(file, error->text()),
            StationCore::lcInfo);
        if (tryOpen(error, false))
            return true;
    }
    if (report)
        log(QStringLiteral("[DatabaseBase] Open error: %1").arg(error->text()), StationCore::lcError);
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
