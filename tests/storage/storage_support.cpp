#include "storage/storage_support.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include "core/core.h"

QString StorageSupport::sqlite(const QString& file, const QString& statements)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, statements});
    if (!tool.waitForFinished(20000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        ADD_FAILURE() << "sqlite3 failed on " << statements.toStdString() << ": "
                      << tool.readAllStandardError().toStdString();
        return QString();
    }
    QString out = QString::fromUtf8(tool.readAllStandardOutput());
    while (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    return out;
}

QStringList StorageSupport::sqliteLines(const QString& file, const QString& statements)
{
    const QString out = sqlite(file, statements);
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

QString StorageSupport::logText()
{
    QFile file(StationCore::instance()->stationLog.currentFileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
