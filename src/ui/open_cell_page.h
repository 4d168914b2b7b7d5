#pragma once

#include <QWidget>

#include "ui_open_cell_page.h"
#include "vexo/indexed_timer.h"

// Shown while a cell is being opened: the cell's number and a spinning
// progress picture (or a plain text where the picture is not wanted).
class StationOpenCellPage : public QWidget, public Ui::StationOpenCellPage, public IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationOpenCellPage(QWidget* parent = nullptr);

    void setCellNumber(int number);
    void hideIndicator();
};
