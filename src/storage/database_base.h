#pragma once

#include <atomic>

#include <QMap>
#include <QMutex>
#include <QQueue>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariant>

#include "jalt/vx_time.h"

// The thread that owns the station's only SQLite connection. Every statement
// runs here: statements without result are queued and run in batches, one
// transaction per batch; a request's first row is waited for by its caller.
// On its idle turns the thread calls checkChanges().
//
// The thread must be stopped before the program's statics are torn down: the
// derived class stops it in its destructor, and the station stops it when the
// main window closes.
class DatabaseBase : public QThread
{
    Q_OBJECT
public:
    using Binds = QMap<QString, QVariant>;
    using Row = QMap<QString, QVariant>;

    struct Query
    {
        QString text;
        // Placeholder values by name without the colon (":t" under "t").
        Binds binds;
        // 0 for statements without result.
        int requestId = 0;
        // A log line: while too many of them wait for the file, the oldest
        // are dropped. Records never are.
        bool droppable = false;
    };

    static const char* const connectionName;

    DatabaseBase();
    ~DatabaseBase() override;

    void setDatabase(const QString& file);
    QString databaseFileName() const;
    // How long a statement waits for another process that holds the file;
    // takes effect at the next start.
    void setBusyTimeout(int ms);

    // How long the thread waits before it tries again to open a file that
    // could not be opened, or to make tables that could not be made; a
    // tenth of a second at least.
    void setReopenInterval(int ms);
    static constexpr int minReopenIntervalMs = 100;

    // Starts the thread and returns once the file is open and the tables are
    // in place (true), or after the first attempt to open it or to make its
    // tables failed (false): the thread then tries again every reopen
    // interval until it has both.
    bool start();
    // Writes the statements still queued, then ends the thread.
    void stop();
    // Empties the tables the subclass names in clearTables() and reloads.
    // The upload queues are kept. Only a file that SQLite reports as no
    // database or corrupt is replaced by a new one, and the rows of the
    // tables named in keptTables() that still read are carried into it;
    // *unkept tells how many of them could not be read (-1: an unknown
    // number). Any other failure leaves the file as it is and gives false
    // with the reason in *error.
    bool clear(QString* error = nullptr, int* unkept = nullptr);
    // True while the thread runs on an open file.
    bool isOpen() const { return ready.load(); }
    // True while the file is open, the last batch of statements was written
    // and no batch has been waiting for more than a second: a station that
    // cannot record does not work.
    bool isWritable() const;

    // Queues a statement. Statements wait, in order, until the file is open
    // and can be written.
    void addQuery(const QString& text, const Binds& binds = Binds());
    void addQuery(const Query& query);
    // Runs a statement and gives its first row by column name (empty when it
    // gave none or failed). Spins the calling thread's events while waiting.
    // Without a running database it returns an empty row at once.
    Row request(const QString& text, const Binds& binds = Binds());

    // The connection, for statements the database thread runs itself.
    QSqlDatabase database() const { return db; }
    // Only the outermost pair touches the database; false when the
    // transaction could not begin or commit.
    bool transaction();
    bool commit();

protected:
    void run() override;

    // On the database thread, once the file is open, before the loop.
    virtual void opened() {}
    // On the thread that called clear(), while the thread is stopped.
    virtual void cleared() {}
    // On the database thread, at every idle turn.
    virtual void checkChanges() = 0;
    // On the database thread, inside a transaction, when a clear restarts
    // the thread: empties what a clear resets. Gives the first failure of
    // its statements (none: an invalid error); the clear is then undone.
    virtual QSqlError clearTables() { return QSqlError(); }
    // The tables whose rows a clear carries from a damaged file into the new one.
    virtual QStringList keptTables() const { return QStringList(); }
    // What a statement that could not be written held, for the log line
    // that names it at a stop (empty: nothing worth naming). Never a secret.
    virtual QString describeUnwritten(const Query& query) const
    {
        Q_UNUSED(query);
        return QString();
    }
    // At most this many droppable statements wait in memory (0: no bound).
    void setDroppableLimit(int count) { droppableLimit = count; }
    // False refuses a request (the subclass logs why).
    virtual bool mayRequest(const QString& text)
    {
        Q_UNUSED(text);
        return true;
    }

    // The statements queued and not run yet, oldest first.
    QList<Query> pendingQueries() const;

private:
    // report false keeps a failure out of the log (a retry of a failure
    // already logged). *replaced tells that a damaged file was replaced.
    bool
    openDatabase(const QString& file, bool replaceUnreadable, bool report, QSqlError* error, bool* replaced);
    void closeDatabase();
    // Makes the tables that are missing and the columns new in the schema
    // resource, and checks that every one of them is there; false with the
    // reason when one is not.
    bool initDatabase(QSqlDatabase database, QSqlError* error);
    void checkDatabaseTable(QSqlDatabase database, const QString& table, const QString& statement);
    // Reads the rows of a table of a damaged file into statements that
    // write them, with their ids, into a new one; gives the number of rows
    // that could not be read (-1 when it cannot be told).
    int salvageRows(const QString& table, QList<Query>* rows);
    // The tables lost under the running thread: made again every reopen interval.
    void remakeTables();
    // Writes what is left and closes the file, at the end of the thread.
    void finish();
    // clearTables() in one transaction; false with the reason when it could
    // not be done (nothing is then deleted).
    bool runClear(QString* error);
    // Runs queued statements for up to limitMs (all of them when negative);
    // false when the batch could not be committed (its statements are
    // queued again in front).
    bool runBatch(qint64 limitMs);
    bool runBatchStatements(qint64 limitMs);
    // Whether the connection is still inside the batch's transaction
    // (SQLite rolls it back by itself after some failures).
    bool transactionActive();
    // Sleeps up to ms in short steps; false when interruption was requested.
    bool pause(int ms);
    void reportUnwritten();
    // The one line that counts the waiting log lines dropped since the last.
    void reportDropped();
    void runRequests();
    void rollback();
    void forgetRequest(int id);

    QString databaseFile;
    mutable QMutex queryMutex;
    QMutex requestMutex;
    QMutex connectionMutex;
    QQueue<Query> queries;
    QQueue<Query> requests;
    QMap<int, Row> results;
    QSqlDatabase db;
    int lastRequestId = 0;
    int transactionDepth = 0;
    std::atomic<bool> ready{false};
    // False from start() until the thread's first attempt to open the file.
    std::atomic<bool> attempted{false};
    std::atomic<bool> writeFailing{false};
    std::atomic<bool> clearPending{false};
    std::atomic<int> busyTimeoutMs{5000};
    std::atomic<int> reopenIntervalMs{3000};
    // When the batch under way began (steady clock, ms), 0 when none runs.
    std::atomic<qint64> batchStartedMs{0};
    int failedCommits = 0;
    // A batch met a table or column missing: the schema is made again.
    bool schemaLost = false;
    VXTimeMeasurer sinceSchemaLost;
    // Droppable statements waiting in `queries`, and those dropped since the
    // last line that counted them; under queryMutex.
    int droppableLimit = 0;
    int droppableWaiting = 0;
    int droppedWaiting = 0;
    // The outcome of the last clear, written by the thread before
    // `attempted` is set.
    bool clearDone = false;
    QString clearError;
    int clearUnkept = 0;
};
