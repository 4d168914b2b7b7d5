#include "ui/device_problem_page.h"

#include <QScrollBar>

#include "core/core.h"
#include "server/server.h"
#include "storage/database.h"
#include "ui/dialog.h"
#include "vexo/widget_metrics.h"

StationDeviceProblemPage::StationDeviceProblemPage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    StationCore* core = StationCore::instance();
    labelTitle->setStyleSheet(core->css_big);
    treeWidget->setStyleSheet(core->css_normal);
    connect(treeWidget->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [] { StationCore::instance()->restartGoToStartTimer(); });
    StationCore::createScroller(treeWidget->viewport());
}

void StationDeviceProblemPage::enter(Constants::ActiveScreen previous)
{
    returnScreen = previous;
    treeWidget->clear();
    const QSize rowSize = preferredIconSize(2.0, this);
    for (const DatabaseStructs::DeviceFault& fault : Database::instance()->allDeviceFaults()) {
        if (reported.contains(fault.id))
            continue;
        auto* item = new QTreeWidgetItem(treeWidget);
        item->setText(0, fault.name);
        item->setData(0, Qt::UserRole, QVariant::fromValue(fault));
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setSizeHint(0, rowSize);
    }
    buttonSelect->setEnabled(false);
    buttonSelectWithComment->setEnabled(false);
}

void StationDeviceProblemPage::reset()
{
    reported.clear();
}

void StationDeviceProblemPage::queueTask(QString comment)
{
    const QTreeWidgetItem* item = treeWidget->currentItem();
    if (!item)
        return;
    const auto fault = item->data(0, Qt::UserRole).value<DatabaseStructs::DeviceFault>();
    if (!fault.isValid() || !currentDevice.isValid())
        return;
    reported.insert(fault.id);

    Database* db = Database::instance();
    db->queueChange(Server::makeTask(currentDevice.id, currentUser.id, fault.id, comment));
    // The copy taken when the cell opened may be older than the record: the
    // run itself has set the holder since. Only the status changes here.
    db->lock();
    const DatabaseStructs::Device stored = db->deviceByID(currentDevice.id);
    if (stored.isValid())
        currentDevice = stored;
    currentDevice.status = Constants::dsInRepair;
    db->addDevice(currentDevice);
    db->unlock();
    Q_EMIT db->devicesChanged();
    StationCore::instance()->setActiveScreen(returnScreen);
}

void StationDeviceProblemPage::on_treeWidget_itemSelectionChanged()
{
    const bool chosen = treeWidget->currentItem() != nullptr;
    buttonSelect->setEnabled(chosen);
    buttonSelectWithComment->setEnabled(chosen);
}

void StationDeviceProblemPage::on_buttonSelect_clicked()
{
    queueTask(QString());
}

void StationDeviceProblemPage::on_buttonSelectWithComment_clicked()
{
    StationDialog* dialog = StationCore::instance()->dialog;
    dialog->setTitle(tr("Describe problem"));
    dialog->setTextInput();
    if (dialog->exec() == 1)
        queueTask(dialog->textInputString());
}

void StationDeviceProblemPage::on_buttonCancel_clicked()
{
    StationCore::instance()->setActiveScreen(returnScreen);
}
