#include "ui/cells_view.h"

#include <QFontInfo>
#include <QFontMetrics>
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
        // The box may get narrower than its number: the number shrinks.
        label->setMinimumSize(1, 1);
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

void StationCellsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitNumbers();
}

QSize StationCellsView::smallestBox() const
{
    QSize room;
    for (const QLabel* label : cellLabels) {
        const QSize size = label->contentsRect().size();
        room = room.isValid() ? room.boundedTo(size) : size;
    }
    return room;
}

bool StationCellsView::numbersFit(const QFont& font, const QSize& room) const
{
    const QFontMetrics metrics(font);
    for (const QLabel* label : cellLabels)
        if (metrics.horizontalAdvance(label->text()) > room.width() || metrics.height() > room.height())
            return false;
    return true;
}

void StationCellsView::fitNumbers()
{
    if (cellLabels.isEmpty())
        return;
    QFont font = this->font();
    const int full = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    font.setPixelSize(full);

    // The room goes to the numbers before the gaps between the boxes: each
    // way, the grid's spacing gives way first, down to none, and only then
    // the font shrinks (a bank of 20 columns of four-digit numbers, or of
    // 50 cells a board). Each step is laid out to measure the boxes.
    layoutCells->setHorizontalSpacing(-1);
    layoutCells->setVerticalSpacing(-1);
    layoutCells->activate();
    QSize room = smallestBox();
    for (int spacing = qMax(0, layoutCells->horizontalSpacing());
         spacing > 0 && !numbersFit(font, QSize(room.width(), QWIDGETSIZE_MAX));) {
        layoutCells->setHorizontalSpacing(--spacing);
        layoutCells->activate();
        room = smallestBox();
    }
    for (int spacing = qMax(0, layoutCells->verticalSpacing());
         spacing > 0 && !numbersFit(font, QSize(QWIDGETSIZE_MAX, room.height()));) {
        layoutCells->setVerticalSpacing(--spacing);
        layoutCells->activate();
        room = smallestBox();
    }

    int pixels = full;
    for (; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (numbersFit(font, room))
            break;
    }
    const int wanted = pixels < full ? pixels : 0;
    if (wanted == numberPixels)
        return;
    numberPixels = wanted;
    // A style sheet: the station's own sheet sets the font of every widget.
    setStyleSheet(wanted ? QStringLiteral("QLabel{font-size: %1px;}").arg(wanted) : QString());
}

void StationCellsView::highlight(int number)
{
    for (auto it = cellLabels.begin(); it != cellLabels.end(); ++it)
        it.value()->setStyleSheet(it.key() == number ? QStringLiteral("background-color:lightGreen;")
                                                     : QString());
}
