#include "ui/cells_widget.h"

#include <QEvent>
#include <QTreeWidgetItem>

#include "cells/cells_logic.h"
#include "core/core.h"
#include "ui/cell_row.h"
#include "ui/cells_view.h"
#include "vexo/widget_metrics.h"

StationCellsWidget::StationCellsWidget(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    StationCore* core = StationCore::instance();
    setStyleSheet(core->css_normal);
    stackedWidget->setCurrentIndex(0);
    StationCore::createScroller(treeWidget->viewport());
    startIndexedTimer(0, VXSystemTime::fromMSec(200), [this] {
        if (StationCore::instance()->activeScreen() == Constants::asAdministration)
            updateButtons();
    });
}

void StationCellsWidget::setLogic(CellsLogic* cellsLogic)
{
    logic = cellsLogic;
    initialize();
    setIconsSize();
}

void StationCellsWidget::setListView(bool list)
{
    stackedWidget->setCurrentWidget(list ? pageList : pageButtons);
}

void StationCellsWidget::setCellMode(CellMode mode)
{
    for (StationCellButton* button : qAsConst(cellButtons))
        button->setMode(mode);
    updateButtons();
}

void StationCellsWidget::initialize()
{
    if (!logic)
        return;
    for (const CellsLogic::Cell& cell : logic->getCells()) {
        auto* button = new StationCellButton(cell);
        const int number = cell.number;
        connect(button, &QAbstractButton::clicked, this, [this, number] { Q_EMIT gotoCellRequest(number); });
        cellButtons.append(button);
        numbers.append(number);
        layoutCells->addWidget(button, cell.row, cell.col);
    }
    addScreenPicture(layoutCells, pageButtons, logic->screenRect());
    for (const CellsLogic::Cell& cell : logic->getCells()) {
        auto* item = new QTreeWidgetItem(treeWidget);
        auto* row = new StationCellRow(cell);
        treeWidget->setItemWidget(item, 0, row);
        cellRows.append(row);
    }
}

void StationCellsWidget::updateButtons()
{
    if (!logic)
        return;
    logic->calculateCellsPriority();
    logic->calculateDevicesPriority();
    // By the numbers they were built for: a cell gone from the logic shows
    // as a default cell until it is back.
    for (int i = 0; i < cellButtons.size(); ++i) {
        StationCellButton* button = cellButtons.at(i);
        button->setMaxCellPriority(logic->maxCellPriority());
        button->setMaxDevicePriority(logic->maxDevicePriority());
        button->setCell(logic->getCellByNumber(numbers.at(i)));
    }
    for (int i = 0; i < cellRows.size(); ++i)
        cellRows.at(i)->setCell(logic->getCellByNumber(numbers.at(i)));
}

void StationCellsWidget::setIconsSize()
{
    const QSize size = preferredIconSize(1.0, this) * 5.0;
    for (StationCellRow* row : qAsConst(cellRows))
        row->setSize(size);
}

void StationCellsWidget::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        setIconsSize();
}

void StationCellsWidget::on_treeWidget_itemClicked(QTreeWidgetItem* item, int column)
{
    Q_UNUSED(column);
    const int index = treeWidget->indexOfTopLevelItem(item);
    if (index >= 0 && index < numbers.size())
        Q_EMIT gotoCellRequest(numbers.at(index));
}
