#pragma once

#include <functional>

#include <QJsonArray>
#include <QJsonObject>
#include <QListWidget>
#include <QMenu>
#include <QTest>

#include "fake_backend.h"
#include "storage/database.h"
#include "support/dialog_answer.h"
#include "ui/dialog.h"
#include "ui/screens_fixture.h"

class AdminPage : public Screens
{
protected:
    // The workflows' station with the administrator root (7) in the
    // database, on the administration page.
    void openAdministration(const Options& options = Options())
    {
        open(options);
        if (HasFatalFailure())
            return;
        DatabaseStructs::User root;
        root.id = 7;
        root.name = QStringLiteral("Root");
        root.login = QStringLiteral("root");
        root.isAdmin = true;
        Database::instance()->addUser(root);
        enter();
    }

    void enter()
    {
        enterAdministration(Database::instance()->userByID(7));
        ASSERT_EQ(Screens::page(), Constants::asAdministration);
    }

    StationAdminPage* page() const { return window->pageAdministration; }

    // Clicks the cell in the grid: its details show.
    void showCell(int number)
    {
        page()->tabWidget->setCurrentWidget(page()->tabCellsView);
        StationCellButton* b = cellButton(number);
        ASSERT_NE(b, nullptr) << number;
        QTest::mouseClick(b, Qt::LeftButton);
        ASSERT_EQ(page()->currentCell.number, number);
    }

    void click(QAbstractButton* button)
    {
        ASSERT_TRUE(button->isEnabled() && button->isVisible()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // A menu entry, as the menu's button offers it.
    void trigger(QAction* action)
    {
        ASSERT_TRUE(page()->buttonMenu->menu()->actions().contains(action))
            << action->objectName().toStdString();
        ASSERT_TRUE(action->isEnabled()) << action->objectName().toStdString();
        action->trigger();
    }

    // Picks an entry of the dialog's list, then Ok; an entry the list does
    // not hold fails the test (Ok would take whatever else is current).
    static std::function<void(StationDialog*)> choose(const QString& entry)
    {
        return [entry](StationDialog* d) {
            const QList<QListWidgetItem*> found = d->listWidget->findItems(entry, Qt::MatchExactly);
            EXPECT_EQ(found.size(), 1) << entry.toStdString();
            if (found.size() == 1)
                d->listWidget->setCurrentItem(found.first());
            DialogAnswer::clickOk()(d);
        };
    }

    static QStringList listed(const StationDialog* d)
    {
        QStringList entries;
        for (int i = 0; i < d->listWidget->count(); ++i)
            entries.append(d->listWidget->item(i)->text());
        return entries;
    }

    void putDeviceRecord(int cell, int id, const QString& serial, int charge)
    {
        DatabaseStructs::Device d;
        d.id = id;
        d.serial = serial;
        d.lastCharge = charge;
        Database::instance()->addDevice(d);
        putDevice(cell, d);
    }
};

// The same station logged in to a fake back-end that knows the cabinet as
// the station does (back-end cell ids 101 to 103, device 12 in cell 1).
class AdminPageWithBackend : public AdminPage
{
protected:
    void openWithBackend(QString more = QString())
    {
        ASSERT_TRUE(backend.start());
        backend.setPointId(pointId);
        const QString date = QStringLiteral(R"("updateDate":"10.12.2026 08:00:00")");
        backend.setUsers(QStringLiteral(R"([{"id":4,"login":"anna","personNumber":"89",%1},)"
                                        R"({"id":7,"name":"Root","login":"root","isAdmin":true,%1}])")
                             .arg(date)
                             .toUtf8());
        backend.setDevices(QStringLiteral(R"([{"id":12,"serial":"SN-0012","userId":1,"lastCharge":90,%1},)"
                                          R"({"id":20,"serial":"SN-0020","userId":4,"lastCharge":40,%1}])")
                               .arg(date)
                               .toUtf8());
        backend.setCells(
            R"({"devicePointCells":[{"cellNumber":1,"id":101,"deviceId":12},)"
            R"({"cellNumber":2,"id":102,"deviceId":0},{"cellNumber":3,"id":103,"deviceId":0}]})");
        Options options = backendOptions;
        options.pointId = pointId;
        options.extraCells += QStringLiteral("[server]\nlogin = station\npassword = secret\n"
                                             "base_url = %1\nsync_interval = 1 h\n%2")
                                  .arg(backend.baseUrl(), more);
        openAdministration(options);
        if (HasFatalFailure())
            return;
        ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathCells) == 1 && !core->server.isSyncing()
                              && !core->server.isSyncReady() && !core->server.isApplying(),
                          10000);
        core->server.setRetryDelays(VXSystemTime::fromMSec(50), VXSystemTime::fromMSec(200));
    }

    // The lock records the back-end received: "id:isLocked:description".
    QStringList lockRecords() const
    {
        QStringList records;
        for (const FakeBackend::Request& request : backend.requests(FakeBackend::pathCellsLock))
            for (const QJsonValue& v : request.json().array()) {
                const QJsonObject o = v.toObject();
                records.append(QStringLiteral("%1:%2:%3")
                                   .arg(o.value("id").toInt())
                                   .arg(o.value("isLocked").toBool() ? "locked" : "unlocked",
                                        o.value("description").toString()));
            }
        return records;
    }

    FakeBackend backend;
    // The station's id at the back-end, and more of its configuration.
    int pointId = 0;
    Options backendOptions;
};
