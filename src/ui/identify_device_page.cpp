#include "ui/identify_device_page.h"

#include <QSignalBlocker>

#include "core/core.h"
#include "storage/database.h"
#include "vexo/widget_metrics.h"

StationIdentifyDevicePage::StationIdentifyDevicePage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    labelTitle->setStyleSheet(StationCore::instance()->css_big);
    stackedWidget->setCurrentIndex(0);
}

void StationIdentifyDevicePage::reset()
{
    stackedWidget->setCurrentIndex(0);
    const QSignalBlocker blocker(lineSearch);
    lineSearch->clear();
    treeDevices->clear();
}

void StationIdentifyDevicePage::on_buttonCancel_clicked()
{
    Q_EMIT StationCore::instance()->cancelLogicsRequest();
}

void StationIdentifyDevicePage::on_buttonDeviceInput_clicked()
{
    stackedWidget->setCurrentIndex(1);
    lineSearch->clear();
    StationCore::instance()->setLineEditFocus(lineSearch);
    on_lineSearch_textChanged(QString());
}

void StationIdentifyDevicePage::on_buttonBack_clicked()
{
    stackedWidget->setCurrentIndex(0);
}

void StationIdentifyDevicePage::on_lineSearch_textChanged(QString text)
{
    StationCore::instance()->restartGoToStartTimer();
    text = text.trimmed();
    treeDevices->clear();
    if (text.isEmpty())
        return;
    const QSize hint = preferredIconSize(2.0, this);
    for (const DatabaseStructs::Device& device :
         Database::instance()->findDevicesBySerial(text, 16, !showAll)) {
        auto* item = new QTreeWidgetItem(treeDevices);
        item->setData(0, Qt::UserRole, QVariant::fromValue(device));
        item->setText(0, device.serial);
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setSizeHint(0, hint);
    }
}

void StationIdentifyDevicePage::on_treeDevices_itemClicked(QTreeWidgetItem* item, int)
{
    if (!item)
        return;
    const auto device = item->data(0, Qt::UserRole).value<DatabaseStructs::Device>();
    stackedWidget->setCurrentIndex(0);
    Q_EMIT StationCore::instance()->deviceDetected(device);
}
