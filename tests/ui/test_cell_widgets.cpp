// The cells as the administration page shows them: each cell's button in
// the three display modes and its row in the list, for every state a cell
// can be in, refreshed from the station's cells.

#include <QRegularExpression>
#include <QTest>

#include "storage/database.h"
#include "ui/dialog.h"
#include "ui/screens_fixture.h"

namespace {
const QString gray = QStringLiteral("background-color: #a0a0a4;"); // Qt::gray
const QString lightgreen = QStringLiteral("background-color: #90ee90;");
const QString gold = QStringLiteral("background-color: #ffd700;");
const QString orchid = QStringLiteral("background-color: #ba55d3;");

// How a button shows in a priority mode: gray, or a colour from red to green.
enum class Shade
{
    Gray,
    Coloured,
};

struct CellCase
{
    const char* name;
    // Changes cell 2 of the fixture's cabinet (empty at first).
    std::function<void(CellsLogic::Cell&)> setUp;
    QString numberText;
    QString numberSheet; // the style sheet in number mode
    bool frame;          // the crimson frame, in number mode only
    Shade cellPriority;
    Shade devicePriority;
    bool lockIcon;
    bool deviceIcon;
    const char* serial; // the row's device column
    const char* charge;
};

DatabaseStructs::Device device(int charge, Constants::DeviceStatus status)
{
    DatabaseStructs::Device d;
    d.id = 30;
    d.serial = QStringLiteral("SN-0030");
    d.lastCharge = charge;
    d.status = status;
    return d;
}

void put(CellsLogic::Cell& cell, const DatabaseStructs::Device& d)
{
    cell.device = d;
    cell.deviceId = d.id;
}

void PrintTo(const CellCase& c, std::ostream* os)
{
    *os << c.name;
}

class CellScreens : public Screens
{
protected:
    void enterAdministration()
    {
        DatabaseStructs::User admin;
        admin.id = 7;
        admin.name = QStringLiteral("Root");
        Screens::enterAdministration(admin);
    }
};

class CellWidgets : public CellScreens, public ::testing::WithParamInterface<CellCase>
{
protected:
    static void expectShade(StationCellButton* b, Shade shade, const char* mode)
    {
        const QString sheet = b->styleSheet();
        if (shade == Shade::Gray) {
            EXPECT_EQ(sheet, gray) << mode;
        } else {
            EXPECT_TRUE(sheet.startsWith(QStringLiteral("background-color: #")) && sheet != gray)
                << mode << ": " << sheet.toStdString();
        }
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^ \\d+\\.\\d\\d$")).match(b->labelNumber->text()).hasMatch())
            << mode << ": \"" << b->labelNumber->text().toStdString() << "\"";
    }
};
} // namespace

TEST_P(CellWidgets, ShowTheCellsStateInEveryMode)
{
    const CellCase& c = GetParam();
    open();
    CellsLogic::Cell& cell = core->cellsLogic.cells[2];
    c.setUp(cell);
    enterAdministration();
    StationAdminPage* page = window->pageAdministration;
    StationCellButton* b = cellButton(2);
    ASSERT_NE(b, nullptr);

    // Each mode shows at once, not at the next refresh.
    QTest::mouseClick(page->radioShowCellPriority, Qt::LeftButton);
    expectShade(b, c.cellPriority, "cell priority");
    EXPECT_FALSE(framed(b));
    QTest::mouseClick(page->radioShowDevicePriority, Qt::LeftButton);
    expectShade(b, c.devicePriority, "device priority");
    EXPECT_FALSE(framed(b));
    QTest::mouseClick(page->radioShowNumbers, Qt::LeftButton);
    EXPECT_EQ(b->labelNumber->text(), c.numberText);
    EXPECT_EQ(b->styleSheet(), c.numberSheet);
    EXPECT_EQ(framed(b), c.frame);
    EXPECT_EQ(b->iconLocked->isVisibleTo(b), c.lockIcon);
    EXPECT_EQ(b->iconDevice->isVisibleTo(b), c.deviceIcon);
    EXPECT_FALSE(b->iconOpened->isVisibleTo(b));

    StationCellRow* r = cellRow(2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->labelNumber->text(), QStringLiteral("2"));
    EXPECT_EQ(r->labelDeviceSerial->text(), QLatin1String(c.serial));
    EXPECT_EQ(r->labelDeviceCharge->text(), QLatin1String(c.charge));
    EXPECT_EQ(r->iconLocked->isVisibleTo(r), c.lockIcon);
    EXPECT_EQ(r->iconDevice->isVisibleTo(r), c.deviceIcon);
    EXPECT_EQ(r->iconCharge->isVisibleTo(r), c.deviceIcon);
    EXPECT_EQ(r->labelLastOperationUser->text(), QStringLiteral("[no usage]"));
    EXPECT_TRUE(r->labelLastOperationDate->text().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    CellWidgets,
    ::testing::Values(
        CellCase{"Free", [](CellsLogic::Cell&) {}, " 2", "", false, Shade::Coloured, Shade::Gray, false, false,
                 "[free]", ""},
        CellCase{"AvailableDevice", [](CellsLogic::Cell& c) { put(c, device(90, Constants::dsWorkable)); }, " 2",
                 lightgreen, false, Shade::Gray, Shade::Coloured, false, true, "SN-0030", "90 %"},
        CellCase{"NotCharged", [](CellsLogic::Cell& c) { put(c, device(10, Constants::dsWorkable)); }, " 2", gold,
                 false, Shade::Gray, Shade::Gray, false, true, "SN-0030", "10 %"},
        CellCase{"ChargedByForce",
                 [](CellsLogic::Cell& c) {
                     put(c, device(10, Constants::dsWorkable));
                     c.forceReady = true;
                 },
                 " 2", lightgreen, false, Shade::Gray, Shade::Coloured, false, true, "SN-0030", "10 %"},
        CellCase{"InRepairCharging", [](CellsLogic::Cell& c) { put(c, device(10, Constants::dsInRepair)); }, " 2",
                 gold, true, Shade::Gray, Shade::Gray, false, true, "SN-0030", "10 %"},
        CellCase{"InRepairCharged", [](CellsLogic::Cell& c) { put(c, device(90, Constants::dsInRepair)); }, " 2",
                 "", true, Shade::Gray, Shade::Gray, false, true, "SN-0030", "90 %"},
        CellCase{"Ambiguous",
                 [](CellsLogic::Cell& c) {
                     put(c, device(90, Constants::dsWorkable));
                     c.ambiguous = true;
                 },
                 " 2", orchid, false, Shade::Gray, Shade::Gray, false, true, "SN-0030", "90 %"},
        CellCase{"Service", [](CellsLogic::Cell& c) { c.service = true; }, " 2 s", "", false, Shade::Gray,
                 Shade::Gray, false, false, "[free]", ""},
        CellCase{"ServiceWithChargingDevice",
                 [](CellsLogic::Cell& c) {
                     c.service = true;
                     put(c, device(10, Constants::dsWorkable));
                 },
                 " 2 s", gold, false, Shade::Gray, Shade::Gray, false, true, "SN-0030", "10 %"},
        CellCase{"Locked", [](CellsLogic::Cell& c) { c.isLocked = true; }, " 2", "", false, Shade::Gray,
                 Shade::Gray, true, false, "[free]", ""},
        CellCase{"LockedWithChargedDevice",
                 [](CellsLogic::Cell& c) {
                     c.isLocked = true;
                     put(c, device(90, Constants::dsWorkable));
                 },
                 " 2", "", false, Shade::Gray, Shade::Gray, true, true, "SN-0030", "90 %"},
        // A change waiting for the server does not change what the cell offers.
        CellCase{"Changing",
                 [](CellsLogic::Cell& c) {
                     put(c, device(90, Constants::dsWorkable));
                     c.state = CellsLogic::csChanging;
                 },
                 " 2", lightgreen, false, Shade::Gray, Shade::Coloured, false, true, "SN-0030", "90 %"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
class CellWidgetsFollow : public CellScreens
{
};
} // namespace

// The grid refreshes only while the administration shows; entering it
// shows every cell as it is at once, and a refresh follows door, user and
// device.
TEST_F(CellWidgetsFollow, TheCellsAsTheyAre)
{
    open();
    enterAdministration();
    StationCellButton* b = cellButton(3);
    StationCellRow* r = cellRow(3);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(r, nullptr);
    core->goToStart();
    put(core->cellsLogic.cells[3], device(90, Constants::dsWorkable));
    QTest::qWait(500); // two and a half refresh periods
    EXPECT_EQ(b->styleSheet(), QString());
    EXPECT_EQ(r->labelDeviceSerial->text(), QStringLiteral("[free]"));
    enterAdministration();
    EXPECT_EQ(b->styleSheet(), lightgreen);
    EXPECT_EQ(r->labelDeviceSerial->text(), QStringLiteral("SN-0030"));

    sim.setDoor(0, 2, true);
    ASSERT_EVENTUALLY(b->iconOpened->isVisibleTo(b) && r->iconOpened->isVisibleTo(r), 3000);

    // The device is taken: icons and charge go, the last user stays.
    DatabaseStructs::User anna = Database::instance()->userByID(4);
    anna.name = QStringLiteral("Anna");
    core->cellsLogic.setCellUserDevice(3, anna, DatabaseStructs::Device());
    ASSERT_EVENTUALLY(!r->iconDevice->isVisibleTo(r), 3000);
    EXPECT_FALSE(r->iconCharge->isVisibleTo(r));
    EXPECT_TRUE(r->labelDeviceCharge->text().isEmpty());
    EXPECT_EQ(r->labelLastOperationUser->text(), QStringLiteral("Anna"));
    EXPECT_EQ(r->labelLastOperationDate->text(),
              core->cellsLogic.getCellByNumber(3).lastOperationDate.toString(QStringLiteral("dd.MM hh:mm")));
    EXPECT_FALSE(b->iconDevice->isVisibleTo(b));
    EXPECT_EQ(b->styleSheet(), QString());
}

// A click on a cell, in the grid or in the list, shows its details.
TEST_F(CellWidgetsFollow, AClickOnACellShowsItsDetails)
{
    open();
    enterAdministration();
    StationAdminPage* page = window->pageAdministration;
    QTest::mouseClick(cellButton(3), Qt::LeftButton);
    EXPECT_EQ(page->tabWidget->currentWidget(), page->tabCellDetails);
    EXPECT_EQ(page->groupCellDetails->title(), QStringLiteral("Cell 3"));

    QTest::mouseClick(page->buttonBack, Qt::LeftButton);
    EXPECT_EQ(page->tabWidget->currentWidget(), page->tabCellsView);
    QTest::mouseClick(page->buttonListView, Qt::LeftButton);
    QTreeWidget* tree = page->widgetCells->treeWidget;
    ASSERT_EQ(page->widgetCells->stackedWidget->currentWidget(), page->widgetCells->pageList);
    EXPECT_EQ(page->stackedCellsView->currentIndex(), 1); // "Table view" offered
    QTreeWidgetItem* item = tree->topLevelItem(1);
    ASSERT_EVENTUALLY(tree->visualItemRect(item).isValid(), 3000);
    // On the row's own widget, where a finger lands; the row passes it on.
    QTest::mouseClick(cellRow(2), Qt::LeftButton);
    EXPECT_EQ(page->groupCellDetails->title(), QStringLiteral("Cell 2"));
    EXPECT_EQ(page->tabWidget->currentWidget(), page->tabCellDetails);
}

namespace {
// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};
} // namespace

// The buttons come with the grid and the rows with the list, each when its
// view first shows: the window alone makes none.
TEST_F(CellWidgetsFollow, TheCellWidgetsComeWithTheirView)
{
    open();
    EXPECT_TRUE(window->findChildren<StationCellButton*>().isEmpty());
    EXPECT_TRUE(window->findChildren<StationCellRow*>().isEmpty());
    enterAdministration();
    EXPECT_EQ(window->findChildren<StationCellButton*>().size(), 3);
    EXPECT_TRUE(window->findChildren<StationCellRow*>().isEmpty());
    QTest::mouseClick(window->pageAdministration->buttonListView, Qt::LeftButton);
    EXPECT_EQ(window->findChildren<StationCellRow*>().size(), 3);
}

// The grid refreshes five times a second; a cell that stays as it is is
// not painted again, one that changes is.
TEST_F(CellWidgetsFollow, OnlyAChangedCellIsPaintedAgain)
{
    open();
    enterAdministration();
    StationCellButton* still = cellButton(2);
    StationCellButton* changed = cellButton(3);
    ASSERT_NE(still, nullptr);
    ASSERT_NE(changed, nullptr);
    QTest::qWait(300); // the first paint of the page and a refresh
    PaintCounter stillPaints(still);
    PaintCounter changedPaints(changed);
    QTest::qWait(600); // three refreshes
    EXPECT_EQ(stillPaints.count, 0);
    EXPECT_EQ(changedPaints.count, 0);
    put(core->cellsLogic.cells[3], device(90, Constants::dsInRepair));
    ASSERT_EVENTUALLY(changedPaints.count > 0, 3000);
    EXPECT_TRUE(framed(changed));
    QTest::qWait(400);
    EXPECT_EQ(stillPaints.count, 0);
}
