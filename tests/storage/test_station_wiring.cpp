// The hub opens the database during its start and the main window's close
// stops it, writing what was queued last.

#include <QFile>

#include "core/core.h"
#include "storage/database.h"
#include "storage/storage_support.h"
#include "support/test_support.h"
#include "ui/station_mainwindow.h"

TEST(StationWiring, InitOpensDatabaseAndWindowCloseWritesLastRecord)
{
    TestSupport::writeConfig(QStringLiteral("[general]\npoint_id = 3\n"));
    StationCore* core = StationCore::instance();
    core->init();
    Database* database = Database::instance();
    ASSERT_TRUE(database->isOpen());
    EXPECT_EQ(database->databaseFileName(), QStringLiteral("vesk_station_db.dat"));

    {
        StationMainWindow window;
        DatabaseStructs::User user;
        user.id = 12;
        user.login = QStringLiteral("last");
        database->addUser(user);
        window.close();
        EXPECT_FALSE(database->isOpen());
    }
    core->destroy();
    EXPECT_EQ(
        StorageSupport::sqlite(QStringLiteral("vesk_station_db.dat"), QStringLiteral("SELECT id FROM users")),
        QStringLiteral("12"));
    EXPECT_EQ(StorageSupport::sqlite(QStringLiteral("vesk_station_db.dat"),
                                     QStringLiteral("SELECT count(*) FROM updates")),
              QStringLiteral("4"));
}
