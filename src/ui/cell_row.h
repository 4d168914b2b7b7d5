#pragma once

#include <QSize>
#include <QWidget>

#include "cells/cells_logic.h"
#include "ui_cell_row.h"

// One line of the administrator's list of cells: the number, the state
// icons, the device's serial and charge, and who used the cell last and when.
class StationCellRow : public QWidget, public Ui::StationCellRow
{
    Q_OBJECT
public:
    explicit StationCellRow(const CellsLogic::Cell& cell);

    void setCell(const CellsLogic::Cell& cell);
    // The width of the number column and the row's height.
    void setSize(QSize size);
    int number() const { return cell.number; }

private:
    CellsLogic::Cell cell;
};
