// Writes users into a station database without end, reporting after each
// round how many rows the file holds. The durability test kills it with
// SIGKILL and checks that every reported row survived.
//
//   storage_writer <database file>

#include <cstdio>

#include <QCoreApplication>

#include "storage/database.h"
#include "storage/database_structs.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: storage_writer <database file>\n");
        return 2;
    }
    Database* database = Database::instance();
    database->setDatabase(QString::fromLocal8Bit(argv[1]));
    if (!database->start())
        return 1;
    database->init();
    for (int round = 0;; ++round) {
        database->lock();
        for (int i = 1; i <= 50; ++i) {
            DatabaseStructs::User user;
            user.id = round * 50 + i;
            user.login = QStringLiteral("user%1").arg(user.id);
            user.name = QStringLiteral("Writer %1").arg(user.id);
            database->addUser(user);
        }
        database->unlock();
        // A request runs after the batch before it has been committed, so the
        // rows it counts are in the file.
        const DatabaseBase::Row row = database->request(QStringLiteral("SELECT count(id) AS n FROM users"));
        std::printf("committed %d\n", row.value(QStringLiteral("n")).toInt());
        std::fflush(stdout);
    }
}
