#pragma once

#include <QWidget>

#include "jalt/vx_map.h"
#include "ui_cells_view.h"

class QGridLayout;
class QLabel;
class QRect;

// Puts the picture of the station's screen into a grid of cells, over the
// screen's place (in grid units); nothing when no screen is configured.
void addScreenPicture(QGridLayout* layout, QWidget* parent, const QRect& screen);

// A read-only miniature of the cabinet: one boxed number per cell where the
// cell sits, and the screen's picture where the screen sits. Built once from
// the cells known at construction. The numbers shrink to fit their boxes
// rather than widen the page (a bank of many columns), once the gaps between
// the boxes have given their room.
class StationCellsView : public QWidget, public Ui::StationCellsView
{
    Q_OBJECT
public:
    explicit StationCellsView(QWidget* parent = nullptr);

    // Marks one cell; a number without a cell clears every mark.
    void highlight(int number);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitNumbers();
    // The smallest room a box leaves its number, as the boxes are placed now.
    QSize smallestBox() const;
    // Whether every number shows whole in that room at that font.
    bool numbersFit(const QFont& font, const QSize& room) const;

    VXMap<int, QLabel*> cellLabels;
    // The numbers' font size in pixels when smaller than the view's; 0: the view's.
    int numberPixels = 0;
};
