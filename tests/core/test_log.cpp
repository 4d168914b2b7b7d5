#include <QDir>
#include <QRegularExpression>

#include "core/core.h"
#include "support/test_support.h"

using TestSupport::logLines;

TEST(Log, LineIsTimeBlankHyphenBlankText)
{
    StationCore::instance()->log(QStringLiteral("[Test] Grüße"), StationCore::lcInfo);
    ASSERT_EVENTUALLY(!logLines().isEmpty(), 2000);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} - \\[Test\\] Grüße$"))
                    .match(logLines().last())
                    .hasMatch())
        << logLines().last().toStdString();
}

TEST(Log, FileNameCarriesDateTimeAndIndex)
{
    const QString name = StationCore::instance()->stationLog.currentFileName();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("vesk_station_logs/\\d{4}_\\d\\d_\\d\\d__\\d\\d_\\d\\d_\\d\\d__p0\\.txt$"))
                    .match(name)
                    .hasMatch())
        << name.toStdString();
}

TEST(Log, SplitsIntoANewFileWithTheNextIndex)
{
    StationLog& log = StationCore::instance()->stationLog;
    StationCore::instance()->log("first file");
    log.setSplitTime(VXSystemTime::fromMSec(50));
    ASSERT_EVENTUALLY(log.currentFileName().endsWith(QStringLiteral("__p2.txt")), 3000);
    log.setSplitTime(VXSystemTime::fromMin(60));
    StationCore::instance()->log("later file");
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("later file")), 2000);
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("first file")));
    EXPECT_GE(QDir(QStringLiteral("vesk_station_logs")).entryList(QDir::Files).size(), 2);
}

namespace
{
struct FrozenClock : VXClock::Source
{
    qint64 ms = 0;
    qint64 monotonicMSec() override { return ms; }
    QDateTime now() override { return QDateTime(QDate(2026, 3, 20), QTime(18, 10, 5)); }
};
} // namespace

TEST(Log, RestartWithinTheSameSecondAppendsToTheEarlierFile)
{
    FrozenClock clock;
    VXClock::setSource(&clock);
    for (const char* text : {"line of the first run", "line of the second run"}) {
        StationLog writer;
        writer.enqueue(QString::fromLatin1(text));
        writer.stopAndWait();
    }
    VXClock::setSource(nullptr);
    const QByteArray file = TestSupport::readFile(QStringLiteral("vesk_station_logs/2026_03_20__18_10_05__p0.txt"));
    EXPECT_TRUE(file.contains("18:10:05.000 - line of the first run\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("18:10:05.000 - line of the second run\n")) << file.toStdString();
}

TEST(Log, LinesQueuedAtStopAreWritten)
{
    StationLog writer;
    for (int i = 0; i < 500; ++i)
        writer.enqueue(QStringLiteral("burst %1").arg(i));
    writer.stopAndWait();
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("burst 499")));
}
