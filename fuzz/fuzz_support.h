#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QtGlobal>

class StationCore;

// What the fuzz targets share. Each target calls init() from its
// LLVMFuzzerInitialize.
namespace FuzzSupport {
// A fixed environment (offscreen platform, a time zone with daylight saving,
// no debug output), an application object, a private working directory and a
// manual clock, so that an input found once behaves the same when run again.
void init(int* argc, char*** argv);
// The station's hub, made on first use. Its log lines are dropped: millions
// of runs would fill the disk.
StationCore* station();
// Moves the manual clock on.
void advanceClock(qint64 ms);
// Ends the run as a finding, with what went wrong on standard error.
[[noreturn]] void fail(const char* what, const QByteArray& detail = QByteArray());

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}
} // namespace FuzzSupport
