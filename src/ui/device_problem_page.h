#pragma once

#include <QSet>
#include <QWidget>

#include "core/constants.h"
#include "storage/database_structs.h"
#include "ui_device_problem_page.h"

// Screen 7: what is wrong with the device at hand, picked from the fault
// kinds the back-end knows, with a comment if the user wants. A report goes
// to the back-end as a task and marks the device in repair at once. Each
// fault kind is offered once per visit of a device: reset() starts a visit.
class StationDeviceProblemPage : public QWidget, public Ui::StationDeviceProblemPage
{
    Q_OBJECT
public:
    explicit StationDeviceProblemPage(QWidget* parent = nullptr);

    // Lists the fault kinds not yet reported; Cancel and a report go back
    // to the previous screen.
    void enter(Constants::ActiveScreen previous);
    void reset();
    void queueTask(QString comment);

    // Who reports, and on which device: set by the run that opened the cell.
    DatabaseStructs::User currentUser;
    DatabaseStructs::Device currentDevice;

private Q_SLOTS:
    void on_treeWidget_itemSelectionChanged();
    void on_buttonSelect_clicked();
    void on_buttonSelectWithComment_clicked();
    void on_buttonCancel_clicked();

private:
    Constants::ActiveScreen returnScreen = Constants::asStart;
    QSet<int> reported;
};
