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

int StorageSupport::damageLeafPage(const QString& file, const char* table)
{
    const QStringList leaves = sqliteLines(
        file, QStringLiteral("SELECT pageno || ' ' || ncell FROM dbstat WHERE name='%1' AND pagetype='leaf' "
                             "ORDER BY pageno")
                  .arg(QLatin1String(table)));
    if (leaves.size() < 3)
        return -1;
    const QStringList chosen = leaves.at(leaves.size() / 2).split(QLatin1Char(' '));
    const int pageSize = sqlite(file, QStringLiteral("PRAGMA page_size")).toInt();
    QFile part(file);
    if (!part.open(QIODevice::ReadWrite) || !part.seek(qint64(chosen.at(0).toInt() - 1) * pageSize)
        || part.write(QByteArray(pageSize, '\xff')) != pageSize)
        return -1;
    return chosen.at(1).toInt();
}

QString StorageSupport::logText()
{
    QFile file(StationCore::instance()->stationLog.currentFileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
