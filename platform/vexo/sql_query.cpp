#include "vexo/sql_query.h"

#include <QMutex>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
QMutex handlerMutex;
VEXO::SQLQuery::FailHandler& failHandler()
{
    static VEXO::SQLQuery::FailHandler handler;
    return handler;
}

void reportFailure(const QString& text, const VEXO::SQLQuery::Binds& binds, const QSqlError& error)
{
    VEXO::SQLQuery::FailHandler handler;
    {
        QMutexLocker locker(&handlerMutex);
        handler = failHandler();
    }
    if (handler)
        handler(text, binds, error);
}
// Prepares, binds and runs the statement, forward only; a failure goes to
// the handler and, when given, to *error (which is cleared otherwise).
bool run(QSqlQuery& query, const QString& text, const VEXO::SQLQuery::Binds& binds, QSqlError* error)
{
    query.setForwardOnly(true);
    bool ok = query.prepare(text);
    if (ok) {
        for (auto it = binds.constBegin(); it != binds.constEnd(); ++it)
            query.bindValue(QLatin1Char(':') + it.key(), it.value());
        ok = query.exec();
    }
    const QSqlError failure = ok ? QSqlError() : query.lastError();
    if (error)
        *error = failure;
    if (!ok)
        reportFailure(text, binds, failure);
    return ok;
}
} // namespace

QVector<QSqlRecord> VEXO::SQLQuery::exec(
    const QString& text, const Binds& binds, const QSqlDatabase& database, QSqlError* error, int maxRows)
{
    QVector<QSqlRecord> rows;
    QSqlQuery query(database);
    if (!run(query, text, binds, error))
        return rows;
    while ((maxRows < 0 || rows.size() < maxRows) && query.next())
        rows.append(query.record());
    // Ends the statement at once: an unfinished one would keep the
    // transaction from committing.
    query.finish();
    return rows;
}

bool VEXO::SQLQuery::forEach(const QString& text,
                             const Binds& binds,
                             const QSqlDatabase& database,
                             const std::function<void(const QSqlQuery& row)>& onRow)
{
    QSqlQuery query(database);
    if (!run(query, text, binds, nullptr))
        return false;
    while (query.next())
        onRow(query);
    query.finish();
    return true;
}

bool VEXO::SQLQuery::remove(const QString& table, const QString& condition, const QSqlDatabase& database)
{
    QSqlError error;
    exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, condition), Binds(), database, &error);
    return !error.isValid();
}

void VEXO::SQLQuery::setFailHandler(FailHandler handler)
{
    QMutexLocker locker(&handlerMutex);
    failHandler() = std::move(handler);
}
