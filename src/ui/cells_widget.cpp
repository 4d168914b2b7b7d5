#include "ui/cells_widget.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QSet>
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
    // Both views scroll under a finger: on the touch screen a scroll bar's
    // few pixels are no way to reach the cells of a big cabinet.
    StationCore::createScroller(treeWidget->viewport());
    StationCore::createScroller(scrollCells->viewport());
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
    if (isVisible())
        buildShownView();
}

void StationCellsWidget::setCellMode(CellMode mode)
{
    cellMode = mode;
    for (StationCellButton* button : qAsConst(cellButtons))
        button->setMode(mode);
    updateButtons();
}

void StationCellsWidget::initialize()
{
    if (!logic)
        return;
    QSet<int> columns;
    QSet<int> rows;
    for (const CellsLogic::Cell& cell : logic->getCells()) {
        places.append({cell.number, cell.row, cell.col});
        columns.insert(cell.col);
        rows.insert(cell.row);
    }
    screen = logic->screenRect();
    // The picture stands where cells would: its columns and rows need room
    // as theirs do.
    if (screen.width() > 0 && screen.height() > 0) {
        for (int col = screen.left(); col <= screen.right(); ++col)
            columns.insert(col);
        for (int row = screen.top(); row <= screen.bottom(); ++row)
            rows.insert(row);
    }
    usedColumns = columns.size();
    usedRows = rows.size();
    if (isVisible())
        buildShownView();
}

const QList<StationCellButton*>& StationCellsWidget::buttons()
{
    if (buildButtons())
        updateButtons();
    return cellButtons;
}

const QList<StationCellRow*>& StationCellsWidget::rows()
{
    if (buildRows())
        updateButtons();
    return cellRows;
}

bool StationCellsWidget::buildButtons()
{
    if (!logic || buttonsBuilt)
        return false;
    buttonsBuilt = true;
    for (const Place& place : qAsConst(places)) {
        auto* button = new StationCellButton(logic->getCellByNumber(place.number));
        button->setMode(cellMode);
        const int number = place.number;
        connect(button, &QAbstractButton::clicked, this, [this, number] { Q_EMIT gotoCellRequest(number); });
        cellButtons.append(button);
        layoutCells->addWidget(button, place.row, place.col);
    }
    addScreenPicture(layoutCells, widgetGrid, screen);
    return true;
}

bool StationCellsWidget::buildRows()
{
    if (!logic || rowsBuilt)
        return false;
    rowsBuilt = true;
    for (const Place& place : qAsConst(places)) {
        auto* item = new QTreeWidgetItem(treeWidget);
        auto* row = new StationCellRow(logic->getCellByNumber(place.number));
        treeWidget->setItemWidget(item, 0, row);
        cellRows.append(row);
    }
    setIconsSize();
    return true;
}

void StationCellsWidget::buildShownView()
{
    const bool built = stackedWidget->currentWidget() == pageList ? buildRows() : buildButtons();
    if (built)
        updateButtons();
}

void StationCellsWidget::updateButtons()
{
    if (!logic)
        return;
    logic->calculateCellsPriority();
    logic->calculateDevicesPriority();
    // By the numbers they were made for: a cell gone from the logic shows
    // as a default cell until it is back.
    for (int i = 0; i < cellButtons.size(); ++i) {
        StationCellButton* button = cellButtons.at(i);
        button->setMaxCellPriority(logic->maxCellPriority());
        button->setMaxDevicePriority(logic->maxDevicePriority());
        button->setCell(logic->getCellByNumber(places.at(i).number));
    }
    for (int i = 0; i < cellRows.size(); ++i)
        cellRows.at(i)->setCell(logic->getCellByNumber(places.at(i).number));
    fitGrid();
}

void StationCellsWidget::fitGrid()
{
    if (cellButtons.isEmpty())
        return;
    // Runs at every refresh: a text is measured once. The priorities keep
    // making new texts; the old ones go now and then.
    if (numberWidths.size() > 4 * cellButtons.size())
        numberWidths.clear();
    QSize cell;
    for (StationCellButton* button : qAsConst(cellButtons)) {
        QLabel* label = button->labelNumber;
        auto width = numberWidths.constFind(label->text());
        if (width == numberWidths.cend()) {
            label->ensurePolished();
            width =
                numberWidths.insert(label->text(), qMax(label->fontMetrics().horizontalAdvance(label->text()),
                                                        label->sizeHint().width()));
        }
        cell = cell.expandedTo(QSize(width.value(), label->sizeHint().height()));
    }
    // Every button as wide as the widest number and all three icons.
    const StationCellButton* first = cellButtons.first();
    const QMargins margins = first->layout()->contentsMargins();
    const int spacing = first->layout()->spacing();
    for (const IconedLabel* icon : {first->iconLocked, first->iconDevice, first->iconOpened}) {
        const QSize hint = icon->sizeHint();
        cell = QSize(cell.width() + spacing + hint.width(), qMax(cell.height(), hint.height()));
    }
    cell = cell.grownBy(margins);
    const int columns = usedColumns;
    const int rows = usedRows;
    const QSize grid(columns * cell.width() + (columns - 1) * qMax(0, layoutCells->horizontalSpacing()),
                     rows * cell.height() + (rows - 1) * qMax(0, layoutCells->verticalSpacing()));
    if (widgetGrid->minimumSize() != grid)
        widgetGrid->setMinimumSize(grid);
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
    if (event->type() == QEvent::FontChange) {
        numberWidths.clear();
        setIconsSize();
        fitGrid();
    }
}

void StationCellsWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    buildShownView();
}

void StationCellsWidget::on_treeWidget_itemClicked(QTreeWidgetItem* item, int column)
{
    Q_UNUSED(column);
    const int index = treeWidget->indexOfTopLevelItem(item);
    if (index >= 0 && index < places.size())
        Q_EMIT gotoCellRequest(places.at(index).number);
}
