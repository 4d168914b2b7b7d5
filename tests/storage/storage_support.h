#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Helpers of the storage tests: the sqlite3 command-line tool as an
// independent reader of the station's file, and the station's log.
namespace StorageSupport {
const char* const databaseFile = "vesk_station_db.dat";

// Runs sqlite3 on the file with the statements; gives its standard output
// with the trailing line break removed. A failing tool fails the test.
QString sqlite(const QString& file, const QString& statements);
// The output lines of sqlite().
QStringList sqliteLines(const QString& file, const QString& statements);
// Everything the station has logged so far in this process.
QString logText();
} // namespace StorageSupport
