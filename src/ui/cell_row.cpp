#include "ui/cell_row.h"

StationCellRow::StationCellRow(const CellsLogic::Cell& c)
    : QWidget(nullptr)
{
    setupUi(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setCell(c);
}

void StationCellRow::setCell(const CellsLogic::Cell& c)
{
    cell = c;
    labelNumber->setText(QString::number(cell.number));
    const bool device = cell.device.isValid();
    iconLocked->setVisible(cell.isLocked);
    iconOpened->setVisible(cell.opened);
    iconDevice->setVisible(device);
    iconCharge->setVisible(device);
    if (device) {
        labelDeviceSerial->setText(cell.device.serial);
        labelDeviceCharge->setText(QStringLiteral("%1 %").arg(cell.device.lastCharge));
    } else {
        labelDeviceSerial->setText(tr("[free]"));
        labelDeviceCharge->clear();
    }
    labelLastOperationUser->setText(cell.user.isValid() ? cell.user.name : tr("[no usage]"));
    labelLastOperationDate->setText(cell.lastOperationDate.toString(QStringLiteral("dd.MM hh:mm")));
}

void StationCellRow::setSize(QSize size)
{
    widgetLeft->setMinimumWidth(size.width());
    setFixedHeight(size.height());
}
