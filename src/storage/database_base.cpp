#include "storage/database_base.h"

#include <algorithm>
#include <chrono>

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
// A batch that waits longer (on another process's lock, up to the busy
// time-out) makes the station not workable before it fails.
const qint64 slowBatchMs = 1000;
// A clear probes the rows of a damaged stretch of a queue one by one; past
// this many ids the stretch is not told row by row.
const qint64 maxProbedIds = 1000000;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

// A table or column the statement needs is not in the file: the schema
// could not be made, or another program changed it. The statement is not at
// fault and waits until the tables are made again.
bool showsSchemaMissing(const QSqlError& error)
{
    const QString text = error.databaseText();
    return text.contains(QLatin1String("no such table")) || text.contains(QLatin1String("no such column"))
           || text.contains(QLatin1String("has no column named"));
}

// A file SQLite cannot read as a database: a clear replaces it.
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
    reopenIntervalMs.store(std::max(ms, minReopenIntervalMs));
}

bool DatabaseBase::isWritable() const
{
    if (!ready.load() || writeFailing.load())
        return false;
    const qint64 since = batchStartedMs.load();
    return since == 0 || steadyMs() - since <= slowBatchMs;
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

bool DatabaseBase::clear(QString* error, int* unkept)
{
    log(QStringLiteral("[DatabaseBase] Clear ..."), StationCore::lcInfo);
    stop();
    clearPending.store(true);
    clearDone = false;
    clearError.clear();
    clearUnkept = 0;
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
    if (unkept)
        *unkept = clearUnkept;
    if (clearUnkept > 0)
        log(QStringLiteral(
                "[DatabaseBase] Clear done, %1 unsent records of the damaged file could not be read")
                .arg(clearUnkept),
            StationCore::lcError);
    else if (clearUnkept < 0)
        log(QStringLiteral("[DatabaseBase] Clear done, unsent records of the damaged file could not be read, "
                           "how many cannot be told"),
            StationCore::lcError);
    else
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
    queries.enqueue(Query{query.text, query.binds, 0, query.droppable});
    if (!query.droppable || ++droppableWaiting <= droppableLimit || droppableLimit <= 0)
        return;
    // The oldest log line goes; it waits near the front.
    for (auto it = queries.begin(); it != queries.end(); ++it) {
        if (it->droppable) {
            queries.erase(it);
            --droppableWaiting;
            ++droppedWaiting;
            break;
        }
    }
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
    // A damaged file already replaced: the clear is done once its tables are made.
    bool replacedForClear = false;
    int failedAttempts = 0;
    for (;;) {
        QSqlError error;
        bool replaced = false;
        bool ok = openDatabase(file, clearing && !replacedForClear, failedAttempts == 0, &error, &replaced);
        replacedForClear = replacedForClear || replaced;
        if (ok) {
            QMutexLocker locker(&connectionMutex);
            ok = initDatabase(db, &error);
            if (!ok && failedAttempts == 0)
                log(QStringLiteral("[DatabaseBase] Schema error: %1").arg(error.text()),
                    StationCore::lcError);
            if (ok && clearing) {
                const bool done = runClear(&clearError);
                // The clear's caller has its answer already when the new
                // file's tables came late.
                if (!attempted.load())
                    clearDone = done || replacedForClear;
                clearing = false;
            }
        }
        if (ok)
            break;
        closeDatabase();
        ++failedAttempts;
        if (clearing && !attempted.load()) {
            // Nothing was deleted, unless the damaged file is gone: then
            // the new one gets its tables and what it keeps once it can.
            clearDone = replacedForClear;
            if (replacedForClear)
                clearError.clear();
            else
                clearError = error.text();
            clearing = replacedForClear;
        }
        attempted.store(true);
        if (!pause(reopenIntervalMs.load())) {
            reportUnwritten();
            return;
        }
    }
    if (failedAttempts > 0)
        log(QStringLiteral("[DatabaseBase] Opened %1 after %2 failed attempts").arg(file).arg(failedAttempts),
            StationCore::lcInfo);
    writeFailing.store(false);
    failedCommits = 0;
    schemaLost = false;
    ready.store(true);
    attempted.store(true);
    // What was queued while the file was not open is written before the
    // tables are loaded: the load then finds it in the file, and no older
    // row overwrites a newer record.
    while (!runBatch(-1)) {
        runRequests();
        remakeTables();
        pause(failedBatchPauseMs);
        if (isInterruptionRequested()) {
            finish();
            return;
        }
    }
    reportDropped();
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
            remakeTables();
            pause(failedBatchPauseMs);
            continue;
        }
        if (!noQueries)
            reportDropped();
        if (!noRequests)
            runRequests();
    }
    finish();
}

void DatabaseBase::finish()
{
    // What was queued before stop() still reaches the file.
    runBatch(-1);
    runRequests();
    reportUnwritten();
    ready.store(false);
    closeDatabase();
}

void DatabaseBase::remakeTables()
{
    // The batch is tried again meanwhile, and the requests answered.
    if (!schemaLost || sinceSchemaLost.elapsed_m() < reopenIntervalMs.load())
        return;
    sinceSchemaLost.reset();
    QMutexLocker locker(&connectionMutex);
    QSqlError error;
    if (initDatabase(db, &error)) {
        schemaLost = false;
        log(QStringLiteral("[DatabaseBase] Tables made again"), StationCore::lcInfo);
    }
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
    reportDropped();
    QList<Query> left;
    {
        QMutexLocker locker(&queryMutex);
        left = queries;
    }
    if (left.isEmpty())
        return;
    // They are lost with the process: the log is where an operator can
    // still find the changes the back-end never got.
    for (const Query& query : left) {
        const QString what = describeUnwritten(query);
        if (!what.isEmpty())
            log(QStringLiteral("[DatabaseBase] Error: not written: %1").arg(what), StationCore::lcError);
    }
    log(QStringLiteral("[DatabaseBase] Stopped with %1 statements not written").arg(left.size()),
        StationCore::lcError);
}

void DatabaseBase::reportDropped()
{
    int dropped = 0;
    {
        QMutexLocker locker(&queryMutex);
        std::swap(dropped, droppedWaiting);
    }
    if (dropped > 0)
        log(QStringLiteral("[DatabaseBase] Warning: %1 waiting log lines dropped, the oldest first: the file "
                           "could not be written")
                .arg(dropped),
            StationCore::lcWarning);
}

bool DatabaseBase::runBatch(qint64 limitMs)
{
    QMutexLocker locker(&connectionMutex);
    {
        QMutexLocker queued(&queryMutex);
        if (queries.isEmpty())
            return true;
    }
    batchStartedMs.store(steadyMs());
    const bool written = runBatchStatements(limitMs);
    batchStartedMs.store(0);
    return written;
}

bool DatabaseBase::runBatchStatements(qint64 limitMs)
{
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
                if (query.droppable)
                    --droppableWaiting;
            }
            QSqlError error;
            VEXO::SQLQuery::exec(query.text, query.binds, db, &error, 0);
            if (!error.isValid()) {
                taken.append(query);
                continue;
            }
            if (!failsByItself(error) || showsSchemaMissing(error)) {
                // The file failed, or lacks the table: the batch is rolled
                // back and kept whole, this statement with it.
                taken.append(query);
                failure = error;
                if (showsSchemaMissing(error) && !schemaLost) {
                    schemaLost = true;
                    sinceSchemaLost.reset();
                }
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
            // Writable before it is said: whoever reads the line finds the station workable.
            writeFailing.store(false);
            if (failedCommits > 0)
                log(QStringLiteral("[DatabaseBase] Batch written after %1 failed attempts")
                        .arg(failedCommits),
                    StationCore::lcInfo);
            failedCommits = 0;
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
        for (int i = taken.size() - 1; i >= 0; --i) {
            queries.prepend(taken.at(i));
            if (taken.at(i).droppable)
                ++droppableWaiting;
        }
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

bool DatabaseBase::openDatabase(
    const QString& file, bool replaceUnreadable, bool report, QSqlError* error, bool* replaced)
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
        // The upload queues are the cabinet's own records: what still reads
        // of them goes into the new file, with its row ids, before anything
        // queued since.
        QList<Query> carried;
        int unreadable = 0;
        if (db.open()) {
            for (const QString& table : keptTables()) {
                const int lost = salvageRows(table, &carried);
                unreadable = lost < 0 || unreadable < 0 ? -1 : unreadable + lost;
            }
            db.close();
        } else {
            unreadable = -1;
        }
        if (!attempted.load())
            clearUnkept = unreadable;
        {
            QMutexLocker queued(&queryMutex);
            for (int i = carried.size() - 1; i >= 0; --i)
                queries.prepend(carried.at(i));
        }
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(file + QString::fromLatin1(suffix));
        *replaced = true;
        log(QStringLiteral("[DatabaseBase] Unreadable %1 replaced, %2 unsent rows carried over: %3")
                .arg(file)
                .arg(carried.size())
                .arg(error->text()),
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

namespace {
// The tables of the file, or false with the reason.
bool listTables(QSqlDatabase database, QStringList* tables, QSqlError* error)
{
    QSqlQuery list(database);
    if (!list.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
        *error = list.lastError();
        return false;
    }
    while (list.next())
        tables->append(list.value(0).toString());
    if (list.lastError().isValid()) {
        *error = list.lastError();
        return false;
    }
    return true;
}

// The definitions between the parentheses of "create table NAME (...)", trimmed.
QStringList columnDefinitions(const QString& statement)
{
    const int open = statement.indexOf(QLatin1Char('('));
    const int close = statement.lastIndexOf(QLatin1Char(')'));
    QStringList parts;
    if (open < 0 || close <= open)
        return parts;
    for (const QString& raw : statement.mid(open + 1, close - open - 1).split(QLatin1Char(','))) {
        const QString part = raw.trimmed();
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts;
}

// The name a column definition begins with.
QString columnName(const QString& definition)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return definition.section(blanks, 0, 0);
}

// The columns such a statement defines and a file must have. A key column
// cannot be added to an existing table: it is not asked for.
QStringList definedColumns(const QString& statement)
{
    static const QStringList constraints = {QStringLiteral("primary"), QStringLiteral("unique"),
                                            QStringLiteral("check"), QStringLiteral("foreign"),
                                            QStringLiteral("constraint")};
    QStringList columns;
    for (const QString& part : columnDefinitions(statement)) {
        const QString name = columnName(part);
        if (!constraints.contains(name.toLower())
            && !part.contains(QLatin1String("primary key"), Qt::CaseInsensitive))
            columns.append(name);
    }
    return columns;
}

// Whether the file has every table of the schema with every column it
// defines; false with the reason when not.
bool schemaComplete(QSqlDatabase database, const QVXConfig::Entry& schema, QSqlError* error)
{
    QStringList existing;
    if (!listTables(database, &existing, error))
        return false;
    for (const QVXConfig::Entry& table : schema.children()) {
        if (!existing.contains(table.name(), Qt::CaseSensitive)) {
            *error = QSqlError(QStringLiteral("no such table: %1").arg(table.name()), QString(),
                               QSqlError::StatementError);
            return false;
        }
        QSqlQuery info(database);
        if (!info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table.name()))) {
            *error = info.lastError();
            return false;
        }
        QStringList columns;
        while (info.next())
            columns.append(info.value(1).toString());
        for (const QString& column : definedColumns(table.value())) {
            if (!columns.contains(column, Qt::CaseInsensitive)) {
                *error = QSqlError(QStringLiteral("no such column: %1.%2").arg(table.name(), column),
                                   QString(), QSqlError::StatementError);
                return false;
            }
        }
    }
    return true;
}
} // namespace

bool DatabaseBase::initDatabase(QSqlDatabase database, QSqlError* error)
{
    if (!database.isOpen()) {
        *error = QSqlError(QStringLiteral("the file is not open"), QString(), QSqlError::ConnectionError);
        return false;
    }
    const QVXConfig config(QString::fromLatin1(schemaResource), true);
    if (!config.isOpen()) {
        *error = QSqlError(QStringLiteral("schema resource %1 missing").arg(QLatin1String(schemaResource)),
                           QString(), QSqlError::UnknownError);
        return false;
    }
    if (!transaction()) {
        *error = database.lastError();
        return false;
    }
    QStringList existing;
    if (!listTables(database, &existing, error)) {
        rollback();
        return false;
    }
    const QVXConfig::Entry schema = config.getValue(QString::fromLatin1(connectionName));
    for (const QVXConfig::Entry& table : schema.children()) {
        if (existing.contains(table.name(), Qt::CaseSensitive)) {
            checkDatabaseTable(database, table.name(), table.value());
            continue;
        }
        QSqlQuery create(database);
        if (!create.exec(table.value())) {
            *error = create.lastError();
            rollback();
            return false;
        }
    }
    if (!commit()) {
        *error = database.lastError();
        rollback();
        return false;
    }
    return schemaComplete(database, schema, error);
}

int DatabaseBase::salvageRows(const QString& table, QList<Query>* rows)
{
    const QString insert = QStringLiteral("INSERT INTO %1 (id,data) VALUES (:id,:d)").arg(table);
    // Reads rows in the order the statement gives them until one fails;
    // false when one did (or the statement could not run at all).
    auto read = [&](const QString& text, QList<Query>* into, bool* ran) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        *ran = query.exec(text);
        if (!*ran)
            return false;
        while (query.next())
            into->append(Query{
                insert, {{QStringLiteral("id"), query.value(0)}, {QStringLiteral("d"), query.value(1)}}, 0});
        return !query.lastError().isValid();
    };
    auto idOf = [](const Query& query) { return query.binds.value(QStringLiteral("id")).toLongLong(); };

    bool ran = false;
    QList<Query> low;
    if (read(QStringLiteral("SELECT id, data FROM %1 ORDER BY id").arg(table), &low, &ran)) {
        rows->append(low);
        return 0;
    }
    if (!ran) {
        // A table the damaged file does not have holds nothing to keep.
        QStringList tables;
        QSqlError error;
        return listTables(db, &tables, &error) && !tables.contains(table) ? 0 : -1;
    }
    // A damaged stretch: the rows beyond it are read from the end backwards,
    // and the ids between are asked for one by one. The queue's ids follow
    // each other, so an id that cannot be read was a row.
    const QString beyond = low.isEmpty() ? QString() : QStringLiteral(" WHERE id > %1").arg(idOf(low.last()));
    QList<Query> high;
    read(QStringLiteral("SELECT id, data FROM %1%2 ORDER BY id DESC").arg(table, beyond), &high, &ran);
    std::reverse(high.begin(), high.end());
    int unreadable = 0;
    QList<Query> middle;
    if (low.isEmpty() || high.isEmpty() || idOf(high.first()) - idOf(low.last()) > maxProbedIds) {
        // The damage reaches an end of the table: how far cannot be told.
        unreadable = -1;
    } else {
        for (qint64 id = idOf(low.last()) + 1; id < idOf(high.first()); ++id) {
            QList<Query> one;
            if (!read(QStringLiteral("SELECT id, data FROM %1 WHERE id = %2").arg(table).arg(id), &one, &ran))
                ++unreadable;
            middle.append(one);
        }
    }
    rows->append(low);
    rows->append(middle);
    rows->append(high);
    return unreadable;
}

void DatabaseBase::checkDatabaseTable(QSqlDatabase database, const QString& table, const QString& statement)
{
    const QSqlRecord columns = database.record(table);
    for (const QString& part : columnDefinitions(statement)) {
        if (columns.contains(columnName(part)))
            continue;
        // A key or a definition SQLite cannot add fails here; the table then
        // stays as it is.
        QSqlQuery alter(database);
        alter.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, part));
    }
}
