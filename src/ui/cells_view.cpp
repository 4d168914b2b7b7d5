#include "ui/cells_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QRect>

#include "core/core.h"
#include "vexo/image_view.h"

StationCellsView::StationCellsView(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    const CellsLogic& logic = StationCore::instance()->cellsLogic;
    for (const CellsLogic::Cell& cell : logic.getCells()) {
        if (cell.service)
            continue;
        auto* label = new QLabel(QString::number(cell.number), this);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Box);
        cellLabels.insert(cell.number, label);
        layoutCells->addWidget(label, cell.row, cell.col);
    }
    addScreenPicture(layoutCells, this, logic.screenRect());
}

void addScreenPicture(QGridLayout* layout, QWidget* parent, const QRect& screen)
{
    // No screen configured: nothing to place (a span of zero is no place).
    if (screen.width() <= 0 || screen.height() <= 0)
        return;
    auto* view = new ImageView(parent);
    view->setFrameShape(QFrame::NoFrame);
    view->setMinimumSize(10, 10);
    view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    view->setPixmap(QPixmap(QStringLiteral(":/icons/screen.png")));
    layout->addWidget(view, screen.top(), screen.left(), screen.height(), screen.width());
}

void StationCellsView::highlight(int number)
{
    for (auto it = cellLabels.begin(); it != cellLabels.end(); ++it)
        it.value()->setStyleSheet(it.key() == number ? QStringLiteral("background-color:lightGreen;")
                                                     : QString());
}
