// The pages of the main road on their own, without a started station.

#include <QLabel>
#include <QTest>

#include "core/core.h"
#include "support/test_support.h"
#include "ui/admin_page.h"
#include "ui/cell_button.h"
#include "ui/cells_view.h"
#include "ui/close_cell_page.h"
#include "ui/open_cell_page.h"

namespace {
void addCell(int number, int row, int col, bool service = false)
{
    CellsLogic::Cell cell;
    cell.number = number;
    cell.row = row;
    cell.col = col;
    cell.service = service;
    StationCore::instance()->cellsLogic.cells.insert(number, cell);
}

QStringList labelSheets(const StationCellsView& view)
{
    QStringList sheets;
    for (const QLabel* label : view.findChildren<QLabel*>())
        sheets.append(label->text() + QLatin1Char('=') + label->styleSheet());
    sheets.sort();
    return sheets;
}
} // namespace

TEST(CellsView, ShowsTheNonServiceCellsAndMarksOne)
{
    addCell(1, 0, 0);
    addCell(2, 1, 0);
    addCell(3, 1, 0); // same place as 2: the layout stacks them
    addCell(7, 0, 1, true);
    StationCellsView view;
    addCell(9, 2, 0); // added later: not shown
    EXPECT_EQ(labelSheets(view), (QStringList{"1=", "2=", "3="}));

    auto* layout = view.layoutCells;
    EXPECT_EQ(layout->itemAtPosition(1, 0) != nullptr, true);

    view.highlight(2);
    EXPECT_EQ(labelSheets(view), (QStringList{"1=", "2=background-color:lightGreen;", "3="}));
    for (int none : {-1, 7, 9}) {
        view.highlight(2);
        view.highlight(none);
        EXPECT_EQ(labelSheets(view), (QStringList{"1=", "2=", "3="})) << none;
    }
}

TEST(CloseCellPage, CountdownText)
{
    StationCore::instance()->timeouts.max_return_device = VXSystemTime::fromString(QStringLiteral("2 h"));
    StationCloseCellPage page;
    EXPECT_DOUBLE_EQ(page.circleIndicator->maximum(), 7200.0);
    struct Case
    {
        double seconds;
        const char* text;
    };
    for (const Case& c : {Case{0.0, "0:00"}, Case{-5.0, "0:00"}, Case{59.9, "0:59"}, Case{61.0, "1:01"},
                          Case{3725.0, "2:05"}}) {
        page.setTime(c.seconds);
        EXPECT_EQ(page.circleIndicator->text(), QLatin1String(c.text)) << c.seconds;
        EXPECT_DOUBLE_EQ(page.circleIndicator->value(), 7200.0 - c.seconds) << c.seconds;
    }
    // No inactivity timer running: nothing left, the circle is full.
    page.enter();
    EXPECT_EQ(page.circleIndicator->text(), QStringLiteral("0:00"));
    EXPECT_DOUBLE_EQ(page.circleIndicator->fraction(), 1.0);
}

TEST(CloseCellPage, HintsNameTheUserAndTheCell)
{
    addCell(4, 0, 0);
    StationCloseCellPage page;
    DatabaseStructs::User user;
    user.name = QStringLiteral("Anna %2 Berg");
    page.setGiveTitle(user, 4);
    EXPECT_EQ(page.labelTitle->text(),
              QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" font-weight:600;\">Anna %2 "
                             "Berg</span><br/>Take device from <span style=\" font-weight:600;\">cell 4</span><br/><span "
                             "style=\" font-weight:600;\">Unplug the cable</span></p></body></html>"));
    EXPECT_EQ(page.widgetCellsView->findChild<QLabel*>()->styleSheet(), QStringLiteral("background-color:lightGreen;"));

    page.setReturnTitle(DatabaseStructs::User(), 4);
    EXPECT_TRUE(page.labelTitle->text().startsWith(
        QStringLiteral("<html><head/><body><p align=\"center\"><span style=\" font-weight:600;\"></span><br/>")));
    EXPECT_TRUE(page.labelTitle->text().contains(QStringLiteral("Place device into")));
}

TEST(OpenCellPage, WithoutIndicatorShowsTheText)
{
    struct Case
    {
        bool hide;
        bool imageShown;
    };
    for (const Case& c : {Case{false, true}, Case{true, false}}) {
        StationCore::instance()->hide_open_indicator = c.hide;
        StationOpenCellPage page;
        page.setCellNumber(12);
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
        EXPECT_EQ(page.labelTitle->text(), QStringLiteral("Open cell 12 ..."));
        EXPECT_EQ(page.imageView->isVisible(), c.imageShown) << c.hide;
        EXPECT_EQ(page.label->isVisible(), !c.imageShown) << c.hide;
        EXPECT_EQ(page.label->text(), QStringLiteral("Open cell ..."));
        // The picture turns only while it is shown.
        const QTransform before = page.imageView->transform();
        QTest::qWait(50);
        EXPECT_EQ(page.imageView->transform() != before, c.imageShown) << c.hide;
    }
}

TEST(TimeString, DropsZeroDaysAndHours)
{
    struct Case
    {
        qint64 seconds;
        const char* text;
    };
    for (const Case& c : {Case{0, "00 s"}, Case{5, "05 s"}, Case{59, "59 s"}, Case{60, "01 m 00 s"},
                          Case{65, "01 m 05 s"}, Case{3599, "59 m 59 s"}, Case{3605, "1 h 00 m 05 s"},
                          Case{86399, "23 h 59 m 59 s"}, Case{86400, "1 d 00 m 00 s"},
                          Case{90061, "1 d 1 h 01 m 01 s"}, Case{-5, "-5 s"}, Case{-65, "-5 s"}})
        EXPECT_EQ(timeString(c.seconds), QLatin1String(c.text)) << c.seconds;
}

// In device priority mode the colour runs from red (0) to green (hue 120)
// at the largest priority; a largest priority below 1 counts as 1.
TEST(CellButton, DevicePriorityColourScalesToTheLargest)
{
    CellsLogic::Cell cell;
    cell.number = 4;
    cell.address.board = 0;
    cell.device.id = 5;
    cell.device.lastCharge = 90;
    cell.deviceId = 5;
    struct Case
    {
        double priority;
        double max;
        int hue;
    };
    for (const Case& c :
         {Case{50.0, 100.0, 60}, Case{0.3, 0.4, 36}, Case{100.0, 100.0, 120}, Case{0.0, 100.0, 0}}) {
        cell.device.priority = c.priority;
        StationCellButton button(cell);
        button.setMode(cmDevicePriority);
        button.setMaxDevicePriority(c.max);
        button.setCell(cell);
        EXPECT_EQ(button.styleSheet(),
                  QStringLiteral("background-color: %1;").arg(QColor::fromHsv(c.hue, 255, 255).name()))
            << c.priority;
        EXPECT_EQ(button.labelNumber->text(), QStringLiteral(" ") + QString::number(c.priority, 'f', 2));
    }
}
