#pragma once

#include <functional>
#include <limits>

#include <QDateTime>
#include <QString>

// A duration with microsecond resolution. Configuration texts read as
// "<number> <unit>" with the units ms, s, min, h, or Hz (whose period is taken).
class VXSystemTime
{
public:
    constexpr VXSystemTime() = default;

    // Spans beyond what microseconds can count (some 292,000 years, the
    // distance to a date from a damaged file) are cut to the longest one.
    static constexpr VXSystemTime fromUSec(qint64 us) { return VXSystemTime(us); }
    static constexpr VXSystemTime fromMSec(qint64 ms) { return VXSystemTime(scaled(ms, 1000)); }
    static constexpr VXSystemTime fromSec(qint64 s) { return VXSystemTime(scaled(s, 1000000)); }
    static constexpr VXSystemTime fromMin(qint64 m) { return VXSystemTime(scaled(m, 60000000)); }

    // Parses "120 s", "500 ms", "0.5 s", "5 min", "2 h", "10 Hz". Gives a zero
    // duration and sets *ok to false for anything else, including "0 Hz".
    static VXSystemTime fromString(const QString& text, bool* ok = nullptr);
    QString toString() const;

    constexpr qint64 toUSec() const { return us; }
    constexpr qint64 toMSec() const { return us / 1000; }
    constexpr qint64 toSec() const { return us / 1000000; }
    constexpr double toHours() const { return double(us) / 3.6e9; }
    constexpr bool isZero() const { return us == 0; }

    constexpr VXSystemTime operator+(VXSystemTime o) const { return VXSystemTime(us + o.us); }
    constexpr VXSystemTime operator-(VXSystemTime o) const { return VXSystemTime(us - o.us); }
    constexpr VXSystemTime operator/(qint64 d) const { return VXSystemTime(us / d); }
    constexpr bool operator==(VXSystemTime o) const { return us == o.us; }
    constexpr bool operator!=(VXSystemTime o) const { return us != o.us; }
    constexpr bool operator<(VXSystemTime o) const { return us < o.us; }
    constexpr bool operator<=(VXSystemTime o) const { return us <= o.us; }
    constexpr bool operator>(VXSystemTime o) const { return us > o.us; }
    constexpr bool operator>=(VXSystemTime o) const { return us >= o.us; }

private:
    constexpr explicit VXSystemTime(qint64 micro)
        : us(micro)
    {}
    static constexpr qint64 scaled(qint64 value, qint64 factor)
    {
        constexpr qint64 most = std::numeric_limits<qint64>::max();
        constexpr qint64 least = std::numeric_limits<qint64>::min();
        return value > most / factor ? most : value < least / factor ? least : value * factor;
    }
    qint64 us = 0;
};

// The one time source of the process: a monotonic millisecond counter and the
// wall clock. Tests may install a manual source to step time without waiting.
class VXClock
{
public:
    struct Source
    {
        virtual ~Source() = default;
        virtual qint64 monotonicMSec() = 0;
        virtual QDateTime now() = 0;
    };

    static qint64 monotonicMSec();
    static QDateTime now();
    // Installs a source (not owned); nullptr restores the system clock.
    static void setSource(Source* source);
};

// Time elapsed since construction or the last reset, on the monotonic clock.
class VXTimeMeasurer
{
public:
    VXTimeMeasurer();
    void reset();
    VXSystemTime elapsed() const;
    qint64 elapsed_m() const;
    qint64 elapsed_s() const;

private:
    qint64 startMSec;
};

namespace VXDateTime {
QDateTime current();
// The local date-time of that date and wall-clock time; invalid for a time
// the clock skips. A time the clock passes twice (when it is set back) is
// always its first occurrence: left to the C library, the choice would depend
// on the conversions made before.
QDateTime fromLocal(const QDate& date, const QTime& time);
// With TZ unset, the C library looks at the system's zone file again for
// every local time it converts, one system call each. A program calls this
// first thing in main, before any thread starts: TZ then names that file, so
// it is read once, and every conversion gives the same result as before. A TZ
// of the environment is left as it is. A change of the system's zone takes
// effect at the next start.
void pinLocalZone();
} // namespace VXDateTime

void vxMSleep(int ms);
