#pragma once

#include <ostream>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

// Waits, running the event loop, until cond holds; fails the test after ms.
#define ASSERT_EVENTUALLY(cond, ms)                                                                              \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, (ms))) << #cond
#define EXPECT_EVENTUALLY(cond, ms)                                                                              \
    EXPECT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, (ms))) << #cond

namespace TestSupport
{
// Writes "vesk_station.conf" into the working directory.
void writeConfig(const QString& text);
// Reads a file of the working directory (empty when missing).
QByteArray readFile(const QString& path);
// Writes the bytes as the whole file; false when it cannot.
bool writeFile(const QString& path, const QByteArray& bytes);
// Every line written so far to the station's log files in the working directory.
QStringList logLines();
// True when some log line ends with " - " + text (the time stamp comes first).
bool logHas(const QString& text);
// The rest of each log line whose text starts with prefix, in order.
QStringList logLinesAfter(const QString& prefix);
// Waits until the log writer has written every line logged so far; false
// after ms. A check that a line was not logged calls it first: the file is
// written by a thread of its own.
bool logWritten(int ms = 3000);
// Starts the sqlite3 tool on file and returns once it has run the
// statements: it then holds the locks they took, as another process would.
bool startSqliteHolder(QProcess& tool, const QString& file, const QByteArray& statements);
// Commits the holder's transaction and ends the tool.
bool endSqliteHolder(QProcess& tool);
// Builds bytes from hex text; blanks are ignored ("82 01 04").
QByteArray hex(const char* text);
// size bytes drawn from the generator (seed it for a repeatable test).
QByteArray randomBytes(QRandomGenerator& random, int size);

// A pseudo-terminal for a device-path scanner: the station reads `path`,
// the test writes the scanned codes to the other side.
struct PtyPair
{
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    // Writes the bytes whole; false when it cannot.
    bool write(const QByteArray& bytes) const;

    int master = -1;
    int slave = -1;
    QString path;
};

// A loopback port that drops every connection attempt without an answer, as
// a host behind a firewall that drops packets does: a listening socket whose
// queue is full of connections nobody accepts (the kernel drops the SYNs).
struct UnansweredPort
{
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

    // 0 when the port could not be set up.
    quint16 port = 0;

private:
    int listener = -1;
    QList<int> fillers;
};

// Counts the key events that reach the object it is installed on.
class KeyCounter : public QObject
{
public:
    int presses = 0;
    int releases = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
} // namespace TestSupport

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << "hex(" << b.toHex(' ').toStdString() << ')';
}
QT_END_NAMESPACE

// Rows of a table of cases print as their name (each row struct has one).
template <typename Row>
auto operator<<(std::ostream& os, const Row& row) -> decltype(static_cast<const char*>(row.name), os)
{
    return os << row.name;
}
