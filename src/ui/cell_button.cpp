#include "ui/cell_button.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "core/core.h"

namespace {
// Red for 0 up to green (hue 120) for max; a maximum below 1 counts as 1.
QColor priorityColor(double value, double max)
{
    const double scale = std::max(1.0, std::trunc(max));
    const int hue = std::clamp(int(std::trunc(120.0 * value / scale)), 0, 120);
    return QColor::fromHsv(hue, 255, 255, 255);
}
} // namespace

StationCellButton::StationCellButton(const CellsLogic::Cell& c)
    : QPushButton(nullptr)
{
    setupUi(this);
    // The number is what the administrator looks for: in the big font.
    labelNumber->setStyleSheet(QStringLiteral("*{background-color: transparent;}")
                               + StationCore::instance()->css_big);
    setMinimumSize(10, 10);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setCell(c);
}

void StationCellButton::setMode(CellMode m)
{
    mode = m;
}

void StationCellButton::setMaxCellPriority(double value)
{
    maxCellPriority = value;
}

void StationCellButton::setMaxDevicePriority(double value)
{
    maxDevicePriority = value;
}

void StationCellButton::setCell(const CellsLogic::Cell& c)
{
    cell = c;
    double value = -2.0;
    double max = 100.0;
    switch (mode) {
    case cmNumbers:
        labelNumber->setText(
            QStringLiteral(" %1%2").arg(cell.number).arg(cell.service ? QStringLiteral(" s") : QString()));
        break;
    case cmCellPriority:
        value = cell.priority;
        max = maxCellPriority;
        break;
    case cmDevicePriority:
        value = cell.device.priority;
        max = maxDevicePriority;
        break;
    }
    if (value > -1.0)
        labelNumber->setText(QStringLiteral(" ") + QString::number(value, 'f', 2));

    iconLocked->setVisible(cell.isLocked);
    iconDevice->setVisible(cell.device.isValid());
    iconOpened->setVisible(cell.opened);

    const QColor previousFrame = frameColor;
    frameColor = QColor();
    QColor background;
    if (mode == cmNumbers) {
        if (cell.isAmbiguous())
            background = QColorConstants::Svg::mediumorchid;
        else if (cell.isAvailableDevice() && cell.isDeviceCharged())
            background = QColorConstants::Svg::lightgreen;
        else if (cell.device.isValid() && !cell.isDeviceCharged())
            background = QColorConstants::Svg::gold;
        if (cell.device.isValid() && cell.device.status != Constants::dsWorkable)
            frameColor = QColorConstants::Svg::crimson;
    } else {
        const bool serves =
            mode == cmCellPriority ? cell.isFree() : cell.isAvailableDevice() && cell.isDeviceCharged();
        background = serves ? priorityColor(value, max) : QColor(Qt::gray);
    }

    // Setting a style sheet re-polishes the button: only when it changes.
    const QString sheet =
        background.isValid() ? QStringLiteral("background-color: %1;").arg(background.name()) : QString();
    if (sheet != lastStyleSheet) {
        setStyleSheet(sheet);
        lastStyleSheet = sheet;
    }
    // The label, the icons and the style sheet repaint what they change;
    // the frame is the button's own. The grid refreshes every button five
    // times a second: a cell that stays as it is costs no painting.
    if (frameColor != previousFrame)
        update();
}

void StationCellButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (!frameColor.isValid())
        return;
    QPainter painter(this);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(frameColor, 2.0 * StationCore::instance()->line_thickness, Qt::SolidLine,
                        Qt::SquareCap, Qt::BevelJoin));
    painter.drawRect(rect());
}
