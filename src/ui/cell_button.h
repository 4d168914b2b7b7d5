#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>

#include "cells/cells_logic.h"
#include "ui_cell_button.h"

// What a cell button shows: its number, or the priority of the cell or of
// the device in it.
enum CellMode : int
{
    cmNumbers = 0,
    cmCellPriority = 1,
    cmDevicePriority = 2,
};

// One cell in the administrator's grid of cells: the number (or a priority),
// icons for lock, device and open door, a background colour that tells
// whether the cell can serve, and a crimson frame round a device that is out
// of order. The grid refreshes it five times a second.
class StationCellButton : public QPushButton, public Ui::StationCellButton
{
    Q_OBJECT
public:
    explicit StationCellButton(const CellsLogic::Cell& cell);

    void setCell(const CellsLogic::Cell& cell);
    // Shown from the next setCell on.
    void setMode(CellMode mode);
    // The values that show as full green in the priority modes.
    void setMaxCellPriority(double value);
    void setMaxDevicePriority(double value);
    int number() const { return cell.number; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CellsLogic::Cell cell;
    CellMode mode = cmNumbers;
    double maxCellPriority = 100.0;
    double maxDevicePriority = 100.0;
    QColor frameColor;
    QString lastStyleSheet;
};
