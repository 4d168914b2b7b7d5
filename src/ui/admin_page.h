#pragma once

#include <QWidget>

#include "storage/database_structs.h"

// The administration screen. Its content comes with the administration
// work; until then it is an empty page that knows who entered it.
class StationAdminPage : public QWidget
{
    Q_OBJECT
public:
    explicit StationAdminPage(QWidget* parent = nullptr);

    // Called by the window once it shows this screen for an administrator.
    void enter(const DatabaseStructs::User& user);

    DatabaseStructs::User adminUser;
};
