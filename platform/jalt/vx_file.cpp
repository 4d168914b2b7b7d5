#include "jalt/vx_file.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cstdio>

QByteArray VXFile::readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool VXFile::writeAll(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in the count instead of hiding
    // in a buffer that commit() would not check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        file.commit();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool VXDir::make(const QString& path)
{
    return QDir().mkpath(path);
}

void VXCout::line(const QString& text)
{
    static QMutex mutex;
    const QByteArray bytes = text.toUtf8() + '\n';
    QMutexLocker locker(&mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int randomi(int low, int high)
{
    if (high <= low)
        return low;
    const quint64 span = quint64(qint64(high) - qint64(low)) + 1; // up to 2^32: no 32-bit wrap
    return int(qint64(low) + qint64(QRandomGenerator::global()->generate64() % span));
}

double randomd(double low, double high)
{
    if (high <= low)
        return low;
    return low + QRandomGenerator::global()->generateDouble() * (high - low);
}
