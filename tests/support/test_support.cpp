#include "support/test_support.h"

#include <QDir>
#include <QEvent>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/core.h"

void TestSupport::writeConfig(const QString& text)
{
    QFile file(QStringLiteral("vesk_station.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write vesk_station.conf";
    file.write(text.toUtf8());
}

QByteArray TestSupport::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool TestSupport::writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool TestSupport::startSqliteHolder(QProcess& tool, const QString& file, const QByteArray& statements)
{
    tool.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file});
    if (!tool.waitForStarted(10000))
        return false;
    tool.write(statements + "\nSELECT 'held';\n");
    QByteArray said;
    while (!said.contains("held")) {
        if (!tool.waitForReadyRead(10000))
            return false;
        said += tool.readAllStandardOutput();
    }
    return true;
}

bool TestSupport::endSqliteHolder(QProcess& tool)
{
    tool.write("COMMIT;\n.quit\n");
    tool.closeWriteChannel();
    return tool.waitForFinished(10000);
}

QByteArray TestSupport::hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray TestSupport::randomBytes(QRandomGenerator& random, int size)
{
    QByteArray bytes(size, '\0');
    for (char& b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

QStringList TestSupport::logLines()
{
    QStringList lines;
    const QDir dir(QStringLiteral("vesk_station_logs"));
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        lines += QString::fromUtf8(readFile(dir.filePath(name))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

bool TestSupport::logHas(const QString& text)
{
    for (const QString& line : logLines())
        if (line.endsWith(QStringLiteral(" - ") + text))
            return true;
    return false;
}

QStringList TestSupport::logLinesAfter(const QString& prefix)
{
    const QString marked = QStringLiteral(" - ") + prefix;
    QStringList found;
    for (const QString& line : logLines()) {
        const int at = line.indexOf(marked);
        if (at >= 0)
            found.append(line.mid(at + marked.size()));
    }
    return found;
}

bool TestSupport::logWritten(int ms)
{
    // The writer keeps the order of the lines: once a mark logged now is in
    // the file, so is everything logged before it.
    static int marks = 0;
    const QString mark = QStringLiteral("[Test] Log written up to mark %1").arg(++marks);
    StationCore::instance()->log(mark);
    return QTest::qWaitFor([&] { return logHas(mark); }, ms);
}

TestSupport::PtyPair::PtyPair()
{
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
        path = QString::fromLocal8Bit(name);
}

TestSupport::PtyPair::~PtyPair()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
}

bool TestSupport::PtyPair::write(const QByteArray& bytes) const
{
    return master >= 0 && ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

TestSupport::UnansweredPort::UnansweredPort()
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(listener, 0) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    // Connect until an attempt gets no answer: the queue is full then, and
    // stays so, as nobody accepts.
    for (int i = 0; i < 16; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (filler < 0)
            return;
        fillers.append(filler);
        if (::connect(filler, reinterpret_cast<sockaddr*>(&address), length) != 0 && errno != EINPROGRESS)
            return;
        pollfd connecting{filler, POLLOUT, 0};
        if (::poll(&connecting, 1, 200) == 0) {
            port = ntohs(address.sin_port);
            return;
        }
    }
}

TestSupport::UnansweredPort::~UnansweredPort()
{
    for (const int filler : fillers)
        ::close(filler);
    if (listener >= 0)
        ::close(listener);
}

bool TestSupport::KeyCounter::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        ++presses;
    if (event->type() == QEvent::KeyRelease)
        ++releases;
    return false;
}
