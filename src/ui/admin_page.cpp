#include "ui/admin_page.h"

#include "core/core.h"
#include "ui/station_mainwindow.h"

StationAdminPage::StationAdminPage(QWidget* parent)
    : QWidget(parent)
{}

void StationAdminPage::enter(const DatabaseStructs::User& user)
{
    adminUser = user;
    StationCore* core = StationCore::instance();
    // Problems reported from here name the administrator.
    if (core->mainWindow)
        core->mainWindow->pageDeviceProblem->currentUser = user;
    // Cards and codes identified the administrator on the login page; here
    // they mean nothing.
    core->setQRMode(Constants::qmNone);
}
