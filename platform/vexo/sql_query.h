#pragma once

#include <functional>

#include <QMap>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVector>

class QSqlDatabase;
class QSqlQuery;

namespace VEXO {
// One SQL statement on a given connection. Each entry of binds is bound to
// the placeholder made of a colon and the entry's key (":d" for "d").
class SQLQuery
{
public:
    using Binds = QMap<QString, QVariant>;
    using FailHandler = std::function<void(const QString& text, const Binds& binds, const QSqlError& error)>;

    // Runs the statement and gives its rows (at most maxRows when that is not
    // negative). A failure gives no rows, is passed to the fail handler and,
    // when error is given, stored there; otherwise *error is cleared.
    static QVector<QSqlRecord> exec(const QString& text,
                                    const Binds& binds,
                                    const QSqlDatabase& database,
                                    QSqlError* error = nullptr,
                                    int maxRows = -1);
    // Runs the statement and hands each row to onRow as it is read, without
    // keeping it; false on failure (passed to the fail handler as above).
    static bool forEach(const QString& text,
                        const Binds& binds,
                        const QSqlDatabase& database,
                        const std::function<void(const QSqlQuery& row)>& onRow);
    // Deletes the rows of table that match condition; false on failure.
    static bool remove(const QString& table, const QString& condition, const QSqlDatabase& database);
    // The one handler of failing statements for the whole process.
    static void setFailHandler(FailHandler handler);
};
} // namespace VEXO
