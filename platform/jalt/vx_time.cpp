#include "jalt/vx_time.h"

#include <atomic>
#include <cmath>
#include <ctime>
#include <limits>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

namespace {
std::atomic<VXClock::Source*> installedSource{nullptr};

qint64 systemMonotonicMSec()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
} // namespace

VXSystemTime VXSystemTime::fromString(const QString& text, bool* ok)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*(ms|s|sec|min|h|Hz)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    bool valid = match.hasMatch();
    double number = valid ? match.captured(1).toDouble(&valid) : 0.0;
    const QString unit = match.captured(2);
    double micro = 0.0;
    if (valid) {
        if (unit == QLatin1String("ms"))
            micro = number * 1e3;
        else if (unit == QLatin1String("s") || unit == QLatin1String("sec"))
            micro = number * 1e6;
        else if (unit == QLatin1String("min"))
            micro = number * 60e6;
        else if (unit == QLatin1String("h"))
            micro = number * 3600e6;
        else if (number > 0.0)
            micro = 1e6 / number;
        else
            valid = false; // "0 Hz" has no period
    }
    if (valid && !(micro < 9.0e18))
        valid = false;
    if (ok)
        *ok = valid;
    return valid ? VXSystemTime(qint64(std::llround(micro))) : VXSystemTime();
}

QString VXSystemTime::toString() const
{
    if (us % 1000 != 0)
        return QString::number(double(us) / 1000.0) + QStringLiteral(" ms");
    const qint64 ms = us / 1000;
    if (ms % 3600000 == 0 && ms != 0)
        return QString::number(ms / 3600000) + QStringLiteral(" h");
    if (ms % 60000 == 0 && ms != 0)
        return QString::number(ms / 60000) + QStringLiteral(" min");
    if (ms % 1000 == 0)
        return QString::number(ms / 1000) + QStringLiteral(" s");
    return QString::number(ms) + QStringLiteral(" ms");
}

qint64 VXClock::monotonicMSec()
{
    Source* source = installedSource.load();
    return source ? source->monotonicMSec() : systemMonotonicMSec();
}

QDateTime VXClock::now()
{
    Source* source = installedSource.load();
    return source ? source->now() : QDateTime::currentDateTime();
}

void VXClock::setSource(Source* source)
{
    installedSource.store(source);
}

VXTimeMeasurer::VXTimeMeasurer()
    : startMSec(VXClock::monotonicMSec())
{}

void VXTimeMeasurer::reset()
{
    startMSec = VXClock::monotonicMSec();
}

VXSystemTime VXTimeMeasurer::elapsed() const
{
    return VXSystemTime::fromMSec(elapsed_m());
}

qint64 VXTimeMeasurer::elapsed_m() const
{
    return VXClock::monotonicMSec() - startMSec;
}

qint64 VXTimeMeasurer::elapsed_s() const
{
    return elapsed_m() / 1000;
}

QDateTime VXDateTime::current()
{
    return VXClock::now();
}

QDateTime VXDateTime::fromLocal(const QDate& date, const QTime& time)
{
    const QDateTime chosen(date, time, Qt::LocalTime);
    if (!chosen.isValid())
        return QDateTime();
    // Is it the same wall-clock time an hour before? Then chosen is the later
    // of two occurrences. Asking the C library directly is what Qt does below
    // for these years, without building a date-time: most times are not such
    // a one, and reading a file converts thousands.
    const qint64 secs = chosen.toMSecsSinceEpoch() / 1000;
    if (secs - 3600 >= 86400 && secs <= std::numeric_limits<qint32>::max()) {
        const time_t before = time_t(secs - 3600);
        struct tm parts = {};
        if (localtime_r(&before, &parts)
            && (parts.tm_year + 1900 != date.year() || parts.tm_mon + 1 != date.month()
                || parts.tm_mday != date.day() || parts.tm_hour != time.hour() || parts.tm_min != time.minute()
                || parts.tm_sec != time.second()))
            return chosen;
    }
    const QDateTime earlier = chosen.addSecs(-3600);
    return earlier.date() == date && earlier.time() == time ? earlier : chosen;
}

void VXDateTime::pinLocalZone()
{
    static const char* const systemZone = "/etc/localtime";
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QString::fromLatin1(systemZone)))
        return;
    qputenv("TZ", QByteArray(":") + systemZone);
    tzset();
}

void vxMSleep(int ms)
{
    if (ms > 0)
        QThread::msleep(ulong(ms));
}
