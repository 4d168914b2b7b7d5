#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>

#include "support/test_support.h"

namespace {
// Every ":/icons/..." path written in the program's sources and forms.
QSet<QString> iconPathsInSources()
{
    QSet<QString> paths;
    const QRegularExpression pattern(QStringLiteral(":/icons/[A-Za-z0-9_.-]+"));
    for (const char* folder : {"src", "platform"}) {
        QDirIterator it(QStringLiteral(STATION_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            auto matches = pattern.globalMatch(text);
            while (matches.hasNext())
                paths.insert(matches.next().captured(0));
        }
    }
    return paths;
}
} // namespace

TEST(Icons, EveryPathInTheSourcesLoads)
{
    const QSet<QString> paths = iconPathsInSources();
    // The dialog's own buttons at least: an empty set means the scan broke.
    ASSERT_TRUE(paths.contains(QStringLiteral(":/icons/dialog-ok-apply.png")));
    for (const QString& path : paths)
        EXPECT_FALSE(QPixmap(path).isNull()) << path.toStdString();
}

TEST(Icons, EveryCompiledInIconLoads)
{
    // Files only: a library linked into the program may add its own
    // folder under ":/icons" (fingerkit's "widgets").
    QDirIterator it(QStringLiteral(":/icons"), QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        ++count;
        const QPixmap pixmap(path);
        EXPECT_FALSE(pixmap.isNull()) << path.toStdString();
        EXPECT_LE(pixmap.width(), 600) << path.toStdString();
    }
    EXPECT_GT(count, 0);
    for (const char* name : {"logo.png", "logo-wb.png", "splash.png"})
        EXPECT_FALSE(QPixmap(QStringLiteral(":/icons/") + QLatin1String(name)).isNull()) << name;
}
