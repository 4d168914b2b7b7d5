// The database thread and its file, read back with the sqlite3 tool.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/mount.h>
#include <unistd.h>

#include "storage/database.h"
#include "storage/storage_support.h"
#include "support/test_support.h"
#include "vexo/vx_conversions.h"

using DatabaseStructs::ChangeServer;
using DatabaseStructs::Device;
using DatabaseStructs::User;
using StorageSupport::damageLeafPage;
using StorageSupport::databaseFile;
using StorageSupport::logText;
using StorageSupport::sqlite;
using StorageSupport::sqliteLines;

namespace {
const QString file = QString::fromLatin1(databaseFile);

User makeUser(int id, const QString& login)
{
    User user;
    user.id = id;
    user.login = login;
    user.name = QStringLiteral("Name of %1").arg(login);
    user.personNumber = QStringLiteral("PN%1").arg(id);
    return user;
}

QString blobHex(const QByteArray& blob)
{
    return QString::fromLatin1(blob.toHex().toUpper());
}

int countRows(const char* table)
{
    return sqlite(file, QStringLiteral("SELECT count(*) FROM %1").arg(QString::fromLatin1(table))).toInt();
}

// The paths of the changes in the file, in row order.
QStringList changePaths()
{
    QStringList paths;
    for (const QString& hex :
         sqliteLines(file, QStringLiteral("SELECT hex(data) FROM server_changes ORDER BY id")))
        paths.append(vxqDeserialize<ChangeServer>(QByteArray::fromHex(hex.toLatin1())).path);
    return paths;
}

// The rows of a table as "id blob-in-hex", in row order.
QStringList rowsOf(const char* table)
{
    return sqliteLines(
        file, QStringLiteral("SELECT id || ' ' || hex(data) FROM %1 ORDER BY id").arg(QLatin1String(table)));
}

class DatabaseFile : public ::testing::Test
{
protected:
    void TearDown() override { database->stop(); }

    void startDatabase()
    {
        database->setDatabase(file);
        ASSERT_TRUE(database->start());
        database->init();
    }

    void queueChange(const QString& path)
    {
        ChangeServer change;
        change.path = path;
        change.body = "{}";
        database->addQuery(QStringLiteral("INSERT INTO server_changes (data) VALUES (:d)"),
                           {{QStringLiteral("d"), vxqSerialize(change)}});
    }

    Database* database = Database::instance();
};
} // namespace

TEST_F(DatabaseFile, FileReadsWithSqliteTool)
{
    startDatabase();
    User user = makeUser(7, QStringLiteral("anna"));
    user.passwordHash = QByteArray::fromHex("00ff10");
    user.isAdmin = true;
    user.updateDate = QDateTime(QDate(2025, 11, 3), QTime(8, 15, 30, 250));
    database->lock();
    database->addUser(user);
    database->unlock();
    database->stop();

    EXPECT_EQ(
        sqliteLines(file, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")),
        QStringList({"device_faults", "devices", "server_changes", "server_logs", "updates", "users"}));
    EXPECT_EQ(
        sqliteLines(file, QStringLiteral("SELECT name || ' ' || type FROM pragma_table_info('updates')")),
        QStringList({"table_index INTEGER", "updateDate datetime"}));
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT table_index || '|' || updateDate FROM updates")),
              QStringList({"0|1970-01-01T00:00:00.000", "1|1970-01-01T00:00:00.000",
                           "2|1970-01-01T00:00:00.000", "3|1970-01-01T00:00:00.000"}));
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT hex(data) FROM users WHERE id=7")),
              blobHex(vxqSerialize(user)));
}

TEST_F(DatabaseFile, OlderFileGetsNewColumnAndKeepsItsRows)
{
    sqlite(file, QStringLiteral("CREATE TABLE updates (table_index integer not null primary key);"
                                "INSERT INTO updates VALUES (2);"
                                "CREATE TABLE users (id integer not null primary key);"
                                "INSERT INTO users VALUES (11);"));
    startDatabase();
    database->stop();

    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT name FROM pragma_table_info('updates')")),
              QStringList({"table_index", "updateDate"}));
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT name FROM pragma_table_info('users')")),
              QStringList({"id", "data"}));
    // The old row keeps its place (without a time); the missing ones are made.
    EXPECT_EQ(sqliteLines(file, QStringLiteral(
                                    "SELECT table_index || '|' || ifnull(updateDate, 'null') FROM updates")),
              QStringList({"0|1970-01-01T00:00:00.000", "1|1970-01-01T00:00:00.000", "2|null",
                           "3|1970-01-01T00:00:00.000"}));
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT id FROM users")), QStringLiteral("11"));
    EXPECT_EQ(database->updateTime(2), DatabaseStructs::zeroTime());
}

TEST_F(DatabaseFile, StopWritesWhatWasQueuedJustBefore)
{
    database->setDatabase(file);
    // Each stop follows its statement at once, while the thread is most
    // likely idle: the statement must still reach the file.
    for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(database->start());
        database->addUser(makeUser(i, QStringLiteral("u%1").arg(i)));
        database->stop();
        ASSERT_EQ(countRows("users"), i);
    }
    ASSERT_TRUE(database->start());
    database->lock();
    for (int i = 11; i <= 5000; ++i)
        database->addUser(makeUser(i, QStringLiteral("u%1").arg(i)));
    database->unlock();
    database->stop();
    EXPECT_EQ(countRows("users"), 5000);
}

// A folder in the file's place: the station cannot record until it is gone.
// What was queued before the start and while the file could not be opened
// waits, in order, and the retries are not logged again.
TEST_F(DatabaseFile, StatementsWaitInOrderUntilTheFileOpens)
{
    ASSERT_TRUE(QDir().mkdir(file));
    database->setReopenInterval(20);
    database->setDatabase(file);
    queueChange(QStringLiteral("api/before-start"));
    database->addUser(makeUser(3, QStringLiteral("early")));
    EXPECT_FALSE(database->start());
    EXPECT_FALSE(database->isOpen());
    EXPECT_FALSE(database->isWritable());
    database->init();
    queueChange(QStringLiteral("api/waiting"));
    database->addUser(makeUser(1, QStringLiteral("later")));
    EXPECT_TRUE(database->request(QStringLiteral("SELECT 1 AS one")).isEmpty());
    QTest::qWait(200);
    EXPECT_EQ(logText().count(QStringLiteral("[DatabaseBase] Open error: ")), 1);

    ASSERT_TRUE(QDir().rmdir(file));
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    EXPECT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Opened %1 after ").arg(file)), 5000);
    EXPECT_EQ(database->request(QStringLiteral("SELECT 1 AS one")).value(QStringLiteral("one")).toInt(), 1);
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"1", "3"}));
    EXPECT_EQ(changePaths(), QStringList({"api/before-start", "api/waiting"}));
    EXPECT_EQ(countRows("updates"), 4);
}

TEST_F(DatabaseFile, KilledProcessKeepsEveryCommittedRow)
{
    QDir().mkpath(QStringLiteral("writer"));
    const QString path = QDir::current().absoluteFilePath(file);
    QProcess writer;
    writer.setWorkingDirectory(QStringLiteral("writer"));
    writer.setProcessChannelMode(QProcess::SeparateChannels);
    writer.start(QStringLiteral(STORAGE_WRITER), {path});
    ASSERT_TRUE(writer.waitForStarted(10000));

    int committed = 0;
    QByteArray pending;
    while (committed < 1000) {
        ASSERT_TRUE(writer.waitForReadyRead(20000)) << "writer stopped reporting at " << committed;
        pending += writer.readAllStandardOutput();
        int end = -1;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("committed "))
                committed = line.mid(10).toInt();
        }
    }
    // SIGKILL, while the writer goes on queuing and committing.
    writer.kill();
    ASSERT_TRUE(writer.waitForFinished(10000));
    ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit);

    EXPECT_EQ(sqlite(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    EXPECT_GE(countRows("users"), committed);
    // The record as the writer makes it.
    User last;
    last.id = committed;
    last.login = QStringLiteral("user%1").arg(committed);
    last.name = QStringLiteral("Writer %1").arg(committed);
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT hex(data) FROM users WHERE id=%1").arg(committed)),
              blobHex(vxqSerialize(last)));
}

// A reader in another process keeps the file from being written for longer
// than the busy timeout: the batch fails, is logged and is written later.
TEST_F(DatabaseFile, BusyFileDelaysWritesButLosesNone)
{
    database->setBusyTimeout(50);
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);

    QProcess reader;
    ASSERT_TRUE(TestSupport::startSqliteHolder(reader, file, "BEGIN;\nSELECT count(*) FROM updates;"));

    database->lock();
    for (int i = 1; i <= 3; ++i)
        database->addUser(makeUser(i, QStringLiteral("u%1").arg(i)));
    database->unlock();
    ASSERT_EVENTUALLY(logText().contains(
                          QStringLiteral("[DatabaseBase] Batch error, 3 statements kept for the next batch")),
                      10000);

    ASSERT_TRUE(TestSupport::endSqliteHolder(reader));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch written after")), 10000);
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"1", "2", "3"}));
}

TEST_F(DatabaseFile, UnopenablePathLogsAndNothingWaits)
{
    database->setDatabase(QStringLiteral("no_such_directory/") + file);
    EXPECT_FALSE(database->start());
    EXPECT_FALSE(database->isOpen());
    database->init();
    EXPECT_TRUE(database->request(QStringLiteral("SELECT 1 AS one")).isEmpty());
    database->addUser(makeUser(4, QStringLiteral("mem")));
    EXPECT_TRUE(database->userByID(4).isValid());
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Open error: ")), 5000);
    // The writer thread may still hold the later line.
    EXPECT_EVENTUALLY(
        logText().contains(QStringLiteral("[DatabaseBase] No database for request: SELECT 1 AS one")), 5000);
}

namespace {
// A way to make SQLite fail the station's writes, set and lifted through
// requests (they run while the batch is held back).
struct FileFailure
{
    const char* name;
    const char* set;
    const char* lift;
};

class DatabaseFileFailure : public DatabaseFile, public ::testing::WithParamInterface<FileFailure>
{
};
} // namespace

// The file fails inside a batch: the whole batch is rolled back and kept,
// and written once, in order, when writing works again. Which statements
// share a batch is the thread's affair; a change written in part and then
// again would show as a second row.
TEST_P(DatabaseFileFailure, KeepsTheWholeBatchAndWritesItOnce)
{
    database->setBusyTimeout(50);
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);
    const QString pages =
        database->request(QStringLiteral("PRAGMA page_count")).value(QStringLiteral("page_count")).toString();
    ASSERT_FALSE(pages.isEmpty());
    database->request(QString::fromLatin1(GetParam().set).arg(pages));

    queueChange(QStringLiteral("api/first"));
    ChangeServer big;
    big.path = QStringLiteral("api/big");
    big.body = QByteArray(64 * 1024, 'b');
    database->addQuery(QStringLiteral("INSERT INTO server_changes (data) VALUES (:d)"),
                       {{QStringLiteral("d"), vxqSerialize(big)}});
    database->addUser(makeUser(2, QStringLiteral("u2")));
    queueChange(QStringLiteral("api/after"));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch error, ")), 5000);
    EXPECT_FALSE(database->isWritable());
    QTest::qWait(300);
    // Asked through the station's own connection: the file is busy with its retries.
    auto count = [this](const char* what) {
        return database->request(QStringLiteral("SELECT count(*) AS n FROM %1").arg(QLatin1String(what)))
            .value(QStringLiteral("n"))
            .toInt();
    };
    EXPECT_EQ(count("users"), 0);
    EXPECT_LE(count("server_changes"), 1);
    EXPECT_EQ(logText().count(QStringLiteral("[DatabaseBase] Batch error")), 1);

    database->request(QString::fromLatin1(GetParam().lift));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch written after")), 5000);
    EXPECT_TRUE(database->isWritable());
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"2"}));
    EXPECT_EQ(changePaths(), QStringList({"api/first", "api/big", "api/after"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DatabaseFileFailure,
    ::testing::Values(FileFailure{"Full", "PRAGMA max_page_count = %1", "PRAGMA max_page_count = 1000000"},
                      FileFailure{"ReadOnly", "PRAGMA query_only = 1 -- %1", "PRAGMA query_only = 0"}),
    [](const ::testing::TestParamInfo<FileFailure>& info) { return std::string(info.param.name); });

namespace {
struct OwnFailure
{
    const char* name;
    const char* statement;
};

class DatabaseOwnFailure : public DatabaseFile, public ::testing::WithParamInterface<OwnFailure>
{
};
} // namespace

// A statement that fails by itself is dropped with a line naming its table;
// the rest of its batch is written once, also when SQLite rolled the batch
// back on the failure.
TEST_P(DatabaseOwnFailure, IsDroppedAndTheRestWrittenOnce)
{
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);
    // Held back until all of them are queued, so that they share a batch.
    database->request(QStringLiteral("PRAGMA query_only = 1"));
    database->addUser(makeUser(1, QStringLiteral("u1")));
    database->addQuery(QString::fromLatin1(GetParam().statement));
    queueChange(QStringLiteral("api/after"));
    database->addUser(makeUser(2, QStringLiteral("u2")));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch error")), 5000);
    database->request(QStringLiteral("PRAGMA query_only = 0"));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Statement on users dropped: ")),
                      5000);
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    QTest::qWait(300);
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"1", "2"}));
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT hex(data) FROM users WHERE id=1")),
              blobHex(vxqSerialize(makeUser(1, QStringLiteral("u1")))));
    EXPECT_EQ(countRows("server_changes"), 1);
    EXPECT_EQ(logText().count(QStringLiteral("[DatabaseBase] Statement on users dropped: ")), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DatabaseOwnFailure,
    ::testing::Values(OwnFailure{"Constraint", "INSERT INTO users (id,data) VALUES (1,x'00')"},
                      OwnFailure{"ConstraintRollingBack",
                                 "INSERT OR ROLLBACK INTO users (id,data) VALUES (1,x'00')"},
                      OwnFailure{"Malformed", "INSERT INTO users (id,data) VALUES (1,x'00',2)"}),
    [](const ::testing::TestParamInfo<OwnFailure>& info) { return std::string(info.param.name); });

// Another process holds a pending write on a file that lacks the tables
// when the station first starts: the tables cannot be made. The station
// records nothing meanwhile, drops nothing, and makes them once it can.
TEST_F(DatabaseFile, TablesThatCannotBeMadeKeepEveryStatementUntilTheyAre)
{
    sqlite(file, QStringLiteral("CREATE TABLE other (x)"));
    QProcess holder;
    ASSERT_TRUE(
        TestSupport::startSqliteHolder(holder, file, "BEGIN IMMEDIATE;\nINSERT INTO other VALUES (1);"));
    database->setBusyTimeout(50);
    database->setReopenInterval(20);
    database->setDatabase(file);
    EXPECT_FALSE(database->start());
    database->init();
    database->addUser(makeUser(1, QStringLiteral("first")));
    queueChange(QStringLiteral("api/waiting"));
    database->addUser(makeUser(2, QStringLiteral("second")));
    QTest::qWait(400);
    EXPECT_FALSE(database->isOpen());
    EXPECT_FALSE(database->isWritable());

    ASSERT_TRUE(TestSupport::endSqliteHolder(holder));
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"1", "2"}));
    EXPECT_EQ(countRows("server_changes"), 1);
    EXPECT_EQ(countRows("updates"), 4);
    EXPECT_EQ(logText().count(QStringLiteral("[DatabaseBase] Schema error: ")), 1);
    EXPECT_FALSE(logText().contains(QStringLiteral(" dropped: ")));
}

// A table gone from under the running station (another program dropped it):
// its statements are not the statements' fault. They wait until the table
// is made again and are then written.
TEST_F(DatabaseFile, TableGoneWhileRunningIsMadeAgainAndNothingIsDropped)
{
    database->setReopenInterval(20);
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);
    sqlite(file, QStringLiteral("DROP TABLE users"));
    database->addUser(makeUser(1, QStringLiteral("u1")));
    database->addUser(makeUser(2, QStringLiteral("u2")));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch written after")), 5000);
    database->stop();
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT id FROM users")), QStringList({"1", "2"}));
    EXPECT_FALSE(logText().contains(QStringLiteral(" dropped: ")));
}

// A write that waits on another process's lock for longer than a second
// already makes the station not workable, before the busy time-out ends it.
TEST_F(DatabaseFile, BatchWaitingPastASecondMakesTheStationNotWorkable)
{
    database->setBusyTimeout(30000);
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);
    ASSERT_TRUE(database->isWritable());
    QProcess holder;
    ASSERT_TRUE(TestSupport::startSqliteHolder(
        holder, file, "BEGIN IMMEDIATE;\nINSERT INTO server_logs (data) VALUES (x'01');"));
    database->addUser(makeUser(1, QStringLiteral("waits")));
    EXPECT_EVENTUALLY(!database->isWritable(), 10000);
    EXPECT_FALSE(logText().contains(QStringLiteral("[DatabaseBase] Batch error")));

    ASSERT_TRUE(TestSupport::endSqliteHolder(holder));
    ASSERT_EVENTUALLY(database->isWritable(), 10000);
    database->stop();
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT id FROM users")), QStringLiteral("1"));
}

// What a stop cannot write is lost: each change is named in the log, so
// that an operator can still find what the back-end never got.
TEST_F(DatabaseFile, StopWhileWritesFailNamesEveryUnwrittenChange)
{
    startDatabase();
    ASSERT_EVENTUALLY(countRows("updates") == 4, 5000);
    database->request(QStringLiteral("PRAGMA query_only = 1"));
    queueChange(QStringLiteral("api/first"));
    database->addUser(makeUser(1, QStringLiteral("u1")));
    queueChange(QStringLiteral("api/second"));
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch error")), 5000);
    database->stop();
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_EQ(TestSupport::logLinesAfter(QStringLiteral("[DatabaseBase] Error: not written: ")),
              QStringList({"api/first {}", "api/second {}"}));
    EXPECT_EQ(TestSupport::logLinesAfter(QStringLiteral("[DatabaseBase] Stopped with ")),
              QStringList({"3 statements not written"}));
}

// While the file cannot be opened, log lines wait in memory only as many as
// the file's own queue keeps; the oldest go, records never do.
TEST_F(DatabaseFile, LogLinesWaitingForTheFileAreBoundedAndRecordsAreNot)
{
    ASSERT_TRUE(QDir().mkdir(file));
    database->setReopenInterval(20);
    database->setDatabase(file);
    EXPECT_FALSE(database->start());
    database->addUser(makeUser(1, QStringLiteral("kept")));
    const int lines = 10050;
    for (int i = 1; i <= lines; ++i) {
        DatabaseStructs::ServerLog line;
        line.path = QStringLiteral("api/log");
        line.body = QByteArray::number(i);
        database->queueLog(line);
        if (i == 5)
            queueChange(QStringLiteral("api/among-the-lines"));
    }
    ASSERT_TRUE(QDir().rmdir(file));
    ASSERT_EVENTUALLY(database->isWritable(), 10000);
    database->stop();
    EXPECT_EQ(countRows("server_logs"), 10000);
    const QString first =
        sqlite(file, QStringLiteral("SELECT hex(data) FROM server_logs ORDER BY id LIMIT 1"));
    EXPECT_EQ(vxqDeserialize<DatabaseStructs::ServerLog>(QByteArray::fromHex(first.toLatin1())).body,
              QByteArray("51"));
    EXPECT_EQ(countRows("server_changes"), 1);
    EXPECT_EQ(countRows("users"), 1);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_EQ(TestSupport::logLinesAfter(QStringLiteral("[DatabaseBase] Warning: ")),
              QStringList({"50 waiting log lines dropped, the oldest first: the file could not be written"}));
}

// An interval of nothing between the attempts to open the file would spin
// the thread: it waits a tenth of a second at least.
TEST_F(DatabaseFile, ReopenIntervalUnderATenthOfASecondTakesATenth)
{
    ASSERT_TRUE(QDir().mkdir(file));
    database->setReopenInterval(0);
    database->setDatabase(file);
    EXPECT_FALSE(database->start());
    QTest::qWait(500);
    ASSERT_TRUE(QDir().rmdir(file));
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    ASSERT_TRUE(TestSupport::logWritten());
    const QStringList opened =
        TestSupport::logLinesAfter(QStringLiteral("[DatabaseBase] Opened %1 after ").arg(file));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_LE(opened.first().section(QLatin1Char(' '), 0, 0).toInt(), 8) << opened.first().toStdString();
}

TEST_F(DatabaseFile, FileThatIsNoDatabaseIsKeptAtStartAndReplacedByClear)
{
    const QByteArray junk(4096, 'x');
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        QFile part(file + QString::fromLatin1(suffix));
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
        part.write(junk);
    }
    database->setDatabase(file);
    EXPECT_FALSE(database->start());
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Open error: ")), 5000);
    // Nobody asked for it to go: the file stays for whoever can rescue it.
    EXPECT_EQ(TestSupport::readFile(file), junk);

    database->clear();
    EXPECT_TRUE(database->isOpen());
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        EXPECT_FALSE(QFile::exists(file + QString::fromLatin1(suffix))) << suffix;
    database->addUser(makeUser(5, QStringLiteral("after")));
    database->stop();
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table'")),
              QStringLiteral("6"));
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT id FROM users")), QStringLiteral("5"));
    EXPECT_EQ(countRows("updates"), 4);
}

namespace {
// A small file system of its own (a tmpfs, so only where the tests may
// mount one), which a filler file fills to the last byte.
struct SmallDisk
{
    SmallDisk()
    {
        QDir().mkpath(dir);
        mounted = ::mount("tmpfs", qPrintable(dir), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(qPrintable(dir), MNT_DETACH);
    }
    bool fill()
    {
        QFile filler(dir + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'f');
        while (filler.write(block) == block.size()) {
        }
        return true;
    }
    bool free() { return QFile::remove(dir + QStringLiteral("/filler")); }

    const QString dir = QDir::current().absoluteFilePath(QStringLiteral("small-disk"));
    bool mounted = false;
};
} // namespace

// The disk is full when a clear makes the file anew: the clear is done (the
// damaged file is gone), and what is recorded meanwhile waits until the
// tables can be made, as at a first start.
TEST_F(DatabaseFile, ClearOntoAFullDiskKeepsWhatWaitsUntilTheTablesAreMade)
{
    SmallDisk disk;
    if (!disk.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << strerror(errno);
    const QString path = disk.dir + QLatin1Char('/') + file;
    ASSERT_TRUE(TestSupport::writeFile(path, QByteArray(4096, 'x')));
    ASSERT_TRUE(disk.fill());
    database->setReopenInterval(20);
    database->setDatabase(path);
    EXPECT_FALSE(database->start());

    QString error;
    EXPECT_TRUE(database->clear(&error)) << error.toStdString();
    database->addUser(makeUser(5, QStringLiteral("after")));
    queueChange(QStringLiteral("api/after"));
    QTest::qWait(300);
    EXPECT_FALSE(database->isWritable());
    EXPECT_EQ(logText().count(QStringLiteral("[DatabaseBase] Schema error: ")), 1);

    ASSERT_TRUE(disk.free());
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    database->stop();
    EXPECT_EQ(sqlite(path, QStringLiteral("SELECT id FROM users")), QStringLiteral("5"));
    EXPECT_EQ(sqlite(path, QStringLiteral("SELECT count(*) FROM server_changes")), QStringLiteral("1"));
    EXPECT_EQ(sqlite(path, QStringLiteral("SELECT count(*) FROM updates")), QStringLiteral("4"));
    EXPECT_FALSE(logText().contains(QStringLiteral(" dropped: ")));
}

// The schema reads, the table behind it does not: the station starts on
// what it can read, and a clear replaces the file, as it would one that is
// no database at all.
TEST_F(DatabaseFile, FileWithACorruptTableIsReplacedByClear)
{
    startDatabase();
    database->lock();
    for (int i = 1; i <= 2000; ++i)
        database->addUser(makeUser(i, QStringLiteral("u%1").arg(i)));
    database->unlock();
    database->stop();
    ASSERT_EQ(countRows("users"), 2000);
    {
        // Pages past the schema's, amid the users' rows.
        QFile part(file);
        ASSERT_TRUE(part.open(QIODevice::ReadWrite));
        ASSERT_GT(part.size(), 30 * 4096);
        part.seek(5 * 4096);
        part.write(QByteArray(20 * 4096, '\xff'));
    }
    EXPECT_TRUE(database->start());

    QString error;
    EXPECT_TRUE(database->clear(&error)) << error.toStdString();
    EXPECT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Unreadable ")), 5000);
    EXPECT_TRUE(database->isWritable());
    database->addUser(makeUser(5, QStringLiteral("after")));
    database->stop();
    EXPECT_EQ(sqlite(file, QStringLiteral("PRAGMA quick_check")), QStringLiteral("ok"));
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT id FROM users")), QStringLiteral("5"));
    EXPECT_EQ(countRows("updates"), 4);
}

TEST_F(DatabaseFile, ClearKeepsUploadQueuesAndEmptiesTheRest)
{
    startDatabase();
    database->lock();
    database->addUser(makeUser(1, QStringLiteral("a")));
    Device device;
    device.id = 20;
    device.serial = QStringLiteral("SN20");
    database->addDevice(device);
    DatabaseStructs::DeviceFault fault;
    fault.id = 3;
    fault.name = QStringLiteral("Broken screen");
    database->addDeviceFault(fault);
    database->unlock();
    database->setUpdateTime(1, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    queueChange(QStringLiteral("api/one"));
    queueChange(QStringLiteral("api/two"));
    database->addQuery(QStringLiteral("DELETE FROM server_changes WHERE id=1"));
    // Queued right before the clear: not yet in the file.
    queueChange(QStringLiteral("api/three"));
    database->addQuery(QStringLiteral("INSERT INTO server_logs (data) VALUES (x'00')"));

    QSignalSpy usersChanged(database, &Database::usersChanged);
    database->clear();
    EXPECT_GE(usersChanged.count(), 1);
    EXPECT_EQ(database->usersCount(), 0);
    EXPECT_EQ(database->devicesCount(), 0);
    EXPECT_TRUE(database->allDeviceFaults().isEmpty());
    EXPECT_EQ(database->updateTime(1), DatabaseStructs::zeroTime());

    const QDateTime later(QDate(2026, 2, 3), QTime(4, 5, 6, 7));
    database->setUpdateTime(2, later);
    queueChange(QStringLiteral("api/four"));
    database->stop();

    EXPECT_EQ(countRows("users"), 0);
    EXPECT_EQ(countRows("devices"), 0);
    EXPECT_EQ(countRows("device_faults"), 0);
    EXPECT_EQ(sqliteLines(file, QStringLiteral("SELECT table_index || '|' || updateDate FROM updates")),
              QStringList({"0|1970-01-01T00:00:00.000", "1|1970-01-01T00:00:00.000",
                           "2|2026-02-03T04:05:06.007", "3|1970-01-01T00:00:00.000"}));
    // Row ids go on where they were: a delivery in flight names the right row.
    const QStringList changes =
        sqliteLines(file, QStringLiteral("SELECT id || '|' || hex(data) FROM server_changes"));
    QStringList paths;
    for (const QString& line : changes) {
        const QStringList parts = line.split(QLatin1Char('|'));
        ASSERT_EQ(parts.size(), 2);
        paths.append(parts[0] + QLatin1Char(' ')
                     + vxqDeserialize<ChangeServer>(QByteArray::fromHex(parts[1].toLatin1())).path);
    }
    EXPECT_EQ(paths, QStringList({"2 api/two", "3 api/three", "4 api/four"}));
    EXPECT_EQ(countRows("server_logs"), 1);
}

// A damaged page in the users' table: the clear replaces the file, and the
// rows of the upload queues, which still read, come into the new file with
// their ids and blobs (their refIds with them), in order.
TEST_F(DatabaseFile, ClearOfADamagedFileCarriesTheUnsentRowsOver)
{
    startDatabase();
    for (const char* path : {"api/one", "api/two", "api/three"})
        queueChange(QString::fromLatin1(path));
    for (int i = 1; i <= 2; ++i)
        database->addQuery(QStringLiteral("INSERT INTO server_logs (data) VALUES (:d)"),
                           {{QStringLiteral("d"), QByteArray::number(i)}});
    database->lock();
    for (int i = 1; i <= 2000; ++i)
        database->addUser(makeUser(i, QStringLiteral("u%1").arg(i)));
    database->unlock();
    database->stop();
    const QStringList changes = rowsOf("server_changes");
    const QStringList logs = rowsOf("server_logs");
    ASSERT_EQ(changes.size(), 3);
    ASSERT_EQ(logs.size(), 2);
    ASSERT_GT(damageLeafPage(file, "users"), 0);
    EXPECT_TRUE(database->start());

    QString error;
    int unkept = -2;
    EXPECT_TRUE(database->clear(&error, &unkept)) << error.toStdString();
    EXPECT_EQ(unkept, 0);
    EXPECT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Unreadable ")), 5000);
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    database->stop();
    EXPECT_EQ(sqlite(file, QStringLiteral("PRAGMA quick_check")), QStringLiteral("ok"));
    EXPECT_EQ(countRows("users"), 0);
    EXPECT_EQ(countRows("updates"), 4);
    EXPECT_EQ(rowsOf("server_changes"), changes);
    EXPECT_EQ(rowsOf("server_logs"), logs);
}

// A damaged page amid the queued changes: every row around it is carried
// over, and the rows it held are counted for the administrator.
TEST_F(DatabaseFile, ClearCountsTheUnsentRowsItCouldNotRead)
{
    startDatabase();
    for (int i = 1; i <= 300; ++i) {
        ChangeServer change;
        change.path = QStringLiteral("api/change-%1").arg(i);
        change.body = QByteArray(300, 'c');
        database->addQuery(QStringLiteral("INSERT INTO server_changes (data) VALUES (:d)"),
                           {{QStringLiteral("d"), vxqSerialize(change)}});
    }
    database->stop();
    const QStringList changes = rowsOf("server_changes");
    ASSERT_EQ(changes.size(), 300);
    const int onThePage = damageLeafPage(file, "server_changes");
    ASSERT_GT(onThePage, 0);
    EXPECT_TRUE(database->start());

    QString error;
    int unkept = -2;
    EXPECT_TRUE(database->clear(&error, &unkept)) << error.toStdString();
    EXPECT_EQ(unkept, onThePage);
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    database->stop();
    // The rows kept are the old ones but for one run of them: the page's.
    const QStringList kept = rowsOf("server_changes");
    ASSERT_EQ(kept.size(), 300 - onThePage);
    int from = 0;
    while (from < kept.size() && kept.at(from) == changes.at(from))
        ++from;
    for (int i = from; i < kept.size(); ++i)
        EXPECT_EQ(kept.at(i), changes.at(i + onThePage)) << i;
    EXPECT_EVENTUALLY(
        logText().contains(QStringLiteral("[DatabaseBase] Clear done, %1 unsent records of the damaged file "
                                          "could not be read")
                               .arg(onThePage)),
        5000);
}

// The file cannot be opened at the start, and a download blocks a user in
// memory meanwhile. Then the file opens while another process holds a
// pending write, so that what waited cannot be written yet: the file's
// older row must not come back over the blocked user, then or later.
TEST_F(DatabaseFile, ReopenedFileNeverLoadsAnOlderRowOverANewerRecord)
{
    const QString real = QStringLiteral("real.dat");
    database->setDatabase(real);
    ASSERT_TRUE(database->start());
    database->addUser(makeUser(1, QStringLiteral("anna")));
    database->stop();
    Database::resetInstance();
    database = Database::instance();
    ASSERT_EQ(sqlite(real, QStringLiteral("SELECT count(*) FROM users")), QStringLiteral("1"));

    ASSERT_EQ(::symlink("missing/real.dat", databaseFile), 0);
    QProcess holder;
    ASSERT_TRUE(TestSupport::startSqliteHolder(
        holder, real, "BEGIN IMMEDIATE;\nINSERT INTO server_logs (data) VALUES (x'01');"));
    database->setBusyTimeout(50);
    database->setReopenInterval(20);
    database->setDatabase(file);
    EXPECT_FALSE(database->start());
    User blocked = makeUser(1, QStringLiteral("anna"));
    blocked.isBlocked = true;
    database->lock();
    database->addUser(blocked);
    database->unlock();

    ASSERT_EQ(::symlink("real.dat", "next-link"), 0);
    ASSERT_EQ(::rename("next-link", databaseFile), 0);
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Opened %1 after ").arg(file)), 5000);
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Batch error")), 5000);
    QTest::qWait(300);
    EXPECT_TRUE(database->userByID(1).isBlocked);
    EXPECT_FALSE(database->isWritable());

    ASSERT_TRUE(TestSupport::endSqliteHolder(holder));
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    ASSERT_EVENTUALLY(database->request(QStringLiteral("SELECT 1 AS one")).value(QStringLiteral("one")) == 1,
                      5000);
    QTest::qWait(300);
    EXPECT_TRUE(database->userByID(1).isBlocked);
    database->stop();
    EXPECT_EQ(sqlite(real, QStringLiteral("SELECT hex(data) FROM users WHERE id=1")),
              blobHex(vxqSerialize(blocked)));
}

namespace {
// How another process holds the file: an exclusive lock keeps the station
// from even reading it; a pending write (a reserved lock) lets it read and
// open the file, and only its deletes fail.
struct FileHolder
{
    const char* name;
    const char* statements;
};

class DatabaseFileHeld : public DatabaseFile, public ::testing::WithParamInterface<FileHolder>
{
};
} // namespace

// Another process holds the file's lock past the busy time-out: the clear
// fails, says why, and deletes nothing; the station works on once the lock
// is gone.
TEST_P(DatabaseFileHeld, ClearFailsAndDeletesNothing)
{
    database->setBusyTimeout(50);
    database->setReopenInterval(20);
    startDatabase();
    database->addUser(makeUser(1, QStringLiteral("kept")));
    queueChange(QStringLiteral("api/kept"));
    // Asked through the station: the tool would meet the file locked by its writes.
    ASSERT_EVENTUALLY(database->request(QStringLiteral("SELECT count(*) AS n FROM server_changes"))
                              .value(QStringLiteral("n"))
                              .toInt()
                          == 1,
                      5000);

    QProcess holder;
    ASSERT_TRUE(TestSupport::startSqliteHolder(holder, file, GetParam().statements));

    QString error;
    EXPECT_FALSE(database->clear(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EVENTUALLY(logText().contains(QStringLiteral("[DatabaseBase] Clear error, nothing deleted: ")),
                      5000);
    EXPECT_TRUE(QFile::exists(file + QStringLiteral("-journal")));

    ASSERT_TRUE(TestSupport::endSqliteHolder(holder));
    ASSERT_EVENTUALLY(database->isWritable(), 5000);
    EXPECT_EVENTUALLY(database->userByID(1).isValid(), 5000);
    database->stop();
    EXPECT_EQ(sqlite(file, QStringLiteral("SELECT id FROM users")), QStringLiteral("1"));
    EXPECT_EQ(countRows("server_changes"), 1);
    EXPECT_EQ(countRows("server_logs"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DatabaseFileHeld,
    ::testing::Values(
        FileHolder{"Exclusive", "BEGIN EXCLUSIVE;\nINSERT INTO server_logs (data) VALUES (x'01');"},
        FileHolder{"PendingWrite", "BEGIN IMMEDIATE;\nINSERT INTO server_logs (data) VALUES (x'01');"}),
    [](const ::testing::TestParamInfo<FileHolder>& info) { return std::string(info.param.name); });

TEST_F(DatabaseFile, SetDeviceUserChangesMemoryOnly)
{
    startDatabase();
    Device device;
    device.id = 8;
    device.serial = QStringLiteral("SN8");
    device.userId = 25;
    database->lock();
    database->addDevice(device);
    database->unlock();
    database->setDeviceUser(8, 0);
    database->setDeviceUser(99, 5);
    EXPECT_EQ(database->deviceByID(8).userId, 0);
    EXPECT_FALSE(database->deviceByID(99).isValid());
    database->stop();
    const QString stored = sqlite(file, QStringLiteral("SELECT hex(data) FROM devices WHERE id=8"));
    EXPECT_EQ(vxqDeserialize<Device>(QByteArray::fromHex(stored.toLatin1())).userId, 25);
}

TEST_F(DatabaseFile, UpdateTimesReadBackAfterRestart)
{
    startDatabase();
    for (int index : {0, 1, 2, 3, 17})
        EXPECT_EQ(database->updateTime(index), DatabaseStructs::zeroTime()) << index;
    const QDateTime time(QDate(2026, 3, 20), QTime(18, 10, 5, 123));
    database->setUpdateTime(1, time);
    EXPECT_EQ(database->updateTime(1), time);
    database->stop();
    database->updateTimes.clear();
    startDatabase();
    EXPECT_EQ(database->updateTime(1), time);
    EXPECT_EQ(database->updateTime(2), DatabaseStructs::zeroTime());
}

// At start the update times are read while requests spin the event loop,
// in which a download may already be applied: its times stay, in memory and
// in the file.
TEST_F(DatabaseFile, UpdateTimeSetBeforeTheStartReadsItsRowStays)
{
    database->setDatabase(file);
    ASSERT_TRUE(database->start());
    const QDateTime time(QDate(2026, 11, 2), QTime(9, 30, 0));
    database->setUpdateTime(1, time);
    database->init();
    EXPECT_EQ(database->updateTime(1), time);
    EXPECT_EQ(database->updateTime(2), DatabaseStructs::zeroTime());
    database->stop();
    database->updateTimes.clear();
    startDatabase();
    EXPECT_EQ(database->updateTime(1), time);
}

namespace {
struct RequestCase
{
    const char* name;
    const char* text;
    DatabaseBase::Row row;
};

void PrintTo(const RequestCase& c, std::ostream* os)
{
    *os << c.name;
}
class DatabaseRequest : public DatabaseFile, public ::testing::WithParamInterface<RequestCase>
{
};
} // namespace

TEST_P(DatabaseRequest, GivesFirstRowByColumnName)
{
    startDatabase();
    EXPECT_EQ(database->request(QString::fromLatin1(GetParam().text)), GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    DatabaseRequest,
    ::testing::Values(
        RequestCase{"OneRow", "SELECT 1 AS one, 'x' AS two", {{"one", 1}, {"two", "x"}}},
        RequestCase{"FirstOfSeveral",
                    "SELECT table_index FROM updates ORDER BY table_index DESC",
                    {{"table_index", 3}}},
        RequestCase{"NoRow", "SELECT table_index FROM updates WHERE table_index=9", {}},
        RequestCase{"FailingStatement", "SELECT nothing FROM nowhere", {}},
        RequestCase{"StatementWithoutRows", "UPDATE updates SET updateDate=NULL WHERE table_index=9", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DatabaseFile, RequestRunsQueuedCallsWhileWaiting)
{
    startDatabase();
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    const DatabaseBase::Row row = database->request(QStringLiteral("SELECT 1 AS one"));
    EXPECT_TRUE(ran);
    EXPECT_EQ(row.value(QStringLiteral("one")).toInt(), 1);
}

TEST_F(DatabaseFile, RequestUnderRecordLockIsRefused)
{
    startDatabase();
    database->lock();
    database->lock();
    EXPECT_TRUE(database->request(QStringLiteral("SELECT 1 AS one")).isEmpty());
    database->unlock();
    EXPECT_TRUE(database->request(QStringLiteral("SELECT 2 AS two")).isEmpty());
    database->unlock();
    EXPECT_EQ(database->request(QStringLiteral("SELECT 3 AS three")).value(QStringLiteral("three")).toInt(),
              3);
    ASSERT_EVENTUALLY(logText().contains(QStringLiteral(
                          "[Database] Request refused while the record lock is held: SELECT 1 AS one")),
                      5000);
}

TEST_F(DatabaseFile, RequestAfterStopReturnsAtOnce)
{
    startDatabase();
    database->stop();
    EXPECT_TRUE(database->request(QStringLiteral("SELECT 1 AS one")).isEmpty());
    ASSERT_EVENTUALLY(
        logText().contains(QStringLiteral("[DatabaseBase] No database for request: SELECT 1 AS one")), 5000);
}
