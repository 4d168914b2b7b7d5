#pragma once

#include <QHash>
#include <QList>
#include <QRect>
#include <QWidget>

#include "ui/cell_button.h"
#include "ui_cells_widget.h"
#include "vexo/indexed_timer.h"

class CellsLogic;
class StationCellRow;
class QTreeWidgetItem;

// The administrator's overview of every cell: a grid of cell buttons laid
// out like the cabinet, with the station's screen where it sits, or a list
// of cell rows. Refreshes itself five times a second while the
// administration screen shows; a click on a cell asks for its details.
// The buttons and the rows are made when their view first shows (or is
// asked for), so a big cabinet costs nothing at start.
class StationCellsWidget : public QWidget, public Ui::StationCellsWidget, private IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationCellsWidget(QWidget* parent = nullptr);

    // Once: takes the cells of the logic that get a button and a row each.
    void setLogic(CellsLogic* cellsLogic);
    void setListView(bool list);
    void setCellMode(CellMode mode);
    // Recomputes the priorities and shows every cell as it is now.
    void updateButtons();
    void initialize();
    void setIconsSize();

    // In the cells' order; made now if their view has not shown yet.
    const QList<StationCellButton*>& buttons();
    const QList<StationCellRow*>& rows();

Q_SIGNALS:
    void gotoCellRequest(int number);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private Q_SLOTS:
    void on_treeWidget_itemClicked(QTreeWidgetItem* item, int column);

private:
    struct Place
    {
        int number;
        int row;
        int col;
    };

    bool buildButtons();
    bool buildRows();
    // Makes the widgets of the view that shows, then shows the cells.
    void buildShownView();
    // The grid is never narrower than its numbers need whole, beside the
    // three icons: past the room it scrolls.
    void fitGrid();

    CellsLogic* logic = nullptr;
    CellMode cellMode = cmNumbers;
    // The cells known to setLogic, in number order, and the screen's place.
    QList<Place> places;
    QRect screen;
    // The columns and rows that hold a cell or the screen's picture: the
    // others take no room (boards numbered from 1 leave column 0 empty).
    int usedColumns = 0;
    int usedRows = 0;
    bool buttonsBuilt = false;
    bool rowsBuilt = false;
    QList<StationCellButton*> cellButtons;
    QList<StationCellRow*> cellRows;
    // The width each text of the buttons' numbers needs, by text.
    QHash<QString, int> numberWidths;
};
