#include "ui/station_mainwindow.h"

#include <QCloseEvent>
#include <QLabel>

#include "core/core.h"
#include "storage/database.h"
#include "ui/dialog.h"

StationMainWindow::StationMainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    StationCore* core = StationCore::instance();
    core->mainWindow = this;
    setWindowTitle(QStringLiteral("vesk_station"));
    auto* label = new QLabel(core->title.isEmpty() ? tr("Station") : core->title, this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(800, 600);
    if (core->dialog)
        core->dialog->assignToWindow(centralWidget());
}

StationMainWindow::~StationMainWindow()
{
    StationCore::instance()->mainWindow = nullptr;
}

void StationMainWindow::closeEvent(QCloseEvent* event)
{
    StationCore* core = StationCore::instance();
    core->stop();
    if (core->dialog)
        core->dialog->assignToWindow(nullptr);
    Database::instance()->stop();
    QMainWindow::closeEvent(event);
}
