#pragma once

#include <QList>
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
class StationCellsWidget : public QWidget, public Ui::StationCellsWidget, private IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationCellsWidget(QWidget* parent = nullptr);

    // Once: builds a button and a row per cell of the logic.
    void setLogic(CellsLogic* cellsLogic);
    void setListView(bool list);
    void setCellMode(CellMode mode);
    // Recomputes the priorities and shows every cell as it is now.
    void updateButtons();
    void initialize();
    void setIconsSize();

    const QList<StationCellButton*>& buttons() const { return cellButtons; }
    const QList<StationCellRow*>& rows() const { return cellRows; }

Q_SIGNALS:
    void gotoCellRequest(int number);

protected:
    void changeEvent(QEvent* event) override;

private Q_SLOTS:
    void on_treeWidget_itemClicked(QTreeWidgetItem* item, int column);

private:
    CellsLogic* logic = nullptr;
    QList<StationCellButton*> cellButtons;
    QList<StationCellRow*> cellRows;
    // The cell numbers the buttons and rows were built for, in their order.
    QList<int> numbers;
};
