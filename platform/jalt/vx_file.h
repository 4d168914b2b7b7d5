#pragma once

#include <QByteArray>
#include <QString>

namespace VXFile
{
// The whole file, or empty bytes when it is missing or unreadable.
QByteArray readAll(const QString& path);
// Replaces the file atomically: the bytes go to a temporary file that is
// renamed over the old one only once every byte is on disk. On failure the
// old file is left as it was and *error says why.
bool writeAll(const QString& path, const QByteArray& bytes, QString* error = nullptr);
} // namespace VXFile

namespace VXDir
{
// Creates the directory with its parents; true when it exists afterwards.
bool make(const QString& path);
} // namespace VXDir

namespace VXCout
{
// One line to the console (standard output), whole even when several threads write.
void line(const QString& text);
} // namespace VXCout

// Uniform random numbers in [low, high] and [low, high).
int randomi(int low, int high);
double randomd(double low, double high);
