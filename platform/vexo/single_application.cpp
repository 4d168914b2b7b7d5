#include "vexo/single_application.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
QString lockPath(const QString& key)
{
    QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/") + key + QStringLiteral(".lock");
}
} // namespace

QSingleApplication::QSingleApplication(int& argc, char** argv, const QString& key)
    : QApplication(argc, argv)
{
    const QString path = lockPath(key);
    lockFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        // Typically a file another user left in a shared temporary folder.
        error = QStringLiteral("cannot open the lock file \"%1\": %2")
                    .arg(path, QString::fromLocal8Bit(::strerror(errno)));
        return;
    }
    first = ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
}

QSingleApplication::~QSingleApplication()
{
    if (lockFd >= 0)
        ::close(lockFd);
}
