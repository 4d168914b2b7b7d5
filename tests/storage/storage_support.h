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
// Writes 0xff over one of the table's leaf pages, from the middle of the
// table as dbstat lists them; gives the number of rows the page held (-1
// when the table has fewer than three leaf pages or the file cannot be
// written).
int damageLeafPage(const QString& file, const char* table);
// Everything the station has logged so far in this process.
QString logText();
} // namespace StorageSupport
