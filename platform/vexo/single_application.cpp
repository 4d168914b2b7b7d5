#include "vexo/single_application.h"

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
    const QByteArray path = QFile::encodeName(lockPath(key));
    lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    first = lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
}

QSingleApplication::~QSingleApplication()
{
    if (lockFd >= 0)
        ::close(lockFd);
}
