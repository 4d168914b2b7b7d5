// The administration page through the window: the details of a cell and
// the arrows between cells, what the buttons and the menu do to the cells,
// the lock controller and the back-end, the batches of issues and returns,
// the clear of the database, and the inactivity time-out on the way.

#include <iterator>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QScroller>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

#include "storage/storage_support.h"
#include "ui/admin_page_fixture.h"
#include "vexo/vx_conversions.h"

namespace {
const QString lockReasons =
    QStringLiteral("[lock_reasons]\nreason = Door is broken\nreason = Lock is stuck\n");
} // namespace

TEST_F(AdminPage, DetailsShowNoCellUntilOneIsChosen)
{
    openAdministration();
    StationAdminPage* p = page();
    EXPECT_EQ(p->tabWidget->currentWidget(), p->tabCellsView);
    p->tabWidget->setCurrentWidget(p->tabCellDetails);
    EXPECT_TRUE(p->groupCellDetails->title().isEmpty());
    EXPECT_FALSE(p->buttonPrevCell->isEnabled());
    EXPECT_FALSE(p->buttonNextCell->isEnabled());
    EXPECT_FALSE(p->widgetCellActions->isEnabled());
    EXPECT_FALSE(p->buttonCellGive->isEnabled());
    EXPECT_FALSE(p->buttonReportProblem->isEnabled());
    for (QLabel* label : {p->labelCellModel, p->labelCellSerial, p->labelCellPhone, p->labelCellStatus,
                          p->labelCellCharge, p->labelCellChargeTime})
        EXPECT_EQ(label->text(), QStringLiteral("[free]")) << label->objectName().toStdString();
    for (QLabel* label : {p->labelCellUser, p->labelCellDate, p->labelCellNote})
        EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
    EXPECT_EQ(p->labelCellState->text(), QStringLiteral("Actual"));

    // A cell with a device, and one without that was used last by anna.
    DatabaseStructs::Device d = device12();
    d.name = QStringLiteral("Scanner X");
    d.phone = QStringLiteral("+49 170 1234");
    d.chargeTrend = Constants::dtFall;
    putDevice(1, d);
    showCell(1);
    EXPECT_EQ(p->tabWidget->currentWidget(), p->tabCellDetails);
    EXPECT_EQ(p->groupCellDetails->title(), QStringLiteral("Cell 1"));
    EXPECT_EQ(p->labelCellModel->text(), QStringLiteral("Scanner X"));
    EXPECT_EQ(p->labelCellSerial->text(), QStringLiteral("SN-0012"));
    EXPECT_EQ(p->labelCellPhone->text(), QStringLiteral("+49 170 1234"));
    EXPECT_EQ(p->labelCellStatus->text(), QStringLiteral("Workable"));
    EXPECT_EQ(p->labelCellCharge->text(), QStringLiteral("90 % (Fall)"));
    EXPECT_TRUE(p->buttonCellGive->isEnabled());
    EXPECT_TRUE(p->buttonReportProblem->isEnabled());
    EXPECT_TRUE(p->widgetCellActions->isEnabled());
    EXPECT_FALSE(p->buttonPrevCell->isEnabled());
    EXPECT_TRUE(p->buttonNextCell->isEnabled());

    core->cellsLogic.setCellUserDevice(2, Database::instance()->userByID(4), DatabaseStructs::Device());
    core->cellsLogic.setCellLocked(2, true, QStringLiteral("Door is broken"));
    click(p->buttonNextCell);
    EXPECT_EQ(p->groupCellDetails->title(), QStringLiteral("Cell 2"));
    EXPECT_EQ(p->labelCellSerial->text(), QStringLiteral("[free]"));
    EXPECT_EQ(p->labelCellUser->text(), Database::instance()->userByID(4).name);
    EXPECT_EQ(p->labelCellDate->text(), core->cellsLogic.getCellByNumber(2).lastOperationDate.toString(
                                            QStringLiteral("dd.MM.yyyy hh:mm")));
    EXPECT_EQ(p->labelCellNote->text(), QStringLiteral("Door is broken"));
    EXPECT_EQ(p->labelCellChargeTime->text(), QStringLiteral("[free]"));
    EXPECT_FALSE(p->buttonCellGive->isEnabled());
    EXPECT_FALSE(p->buttonReportProblem->isEnabled());
    EXPECT_TRUE(p->iconCellLocked->isVisibleTo(p));
    EXPECT_EQ(p->stackedCellLock->currentWidget(), p->page_4); // "Unlock cell" offered

    // The door opens: the details follow at once.
    sim.setDoor(0, 1, true);
    ASSERT_EVENTUALLY(p->iconCellOpened->isVisibleTo(p), 3000);
}

// Cells 1, 2, 3, 5 and 8: the arrows go to the next cell there is.
TEST_F(AdminPage, ArrowsStepOverMissingNumbers)
{
    Options options;
    options.extraCells = QStringLiteral("5 = board = 0, lock = 4\n8 = board = 0, lock = 7\n");
    openAdministration(options);
    StationAdminPage* p = page();
    showCell(3);
    const auto shown = [p] { return p->currentCell.number; };
    click(p->buttonNextCell);
    EXPECT_EQ(shown(), 5);
    EXPECT_TRUE(p->buttonPrevCell->isEnabled());
    click(p->buttonNextCell);
    EXPECT_EQ(shown(), 8);
    EXPECT_EQ(p->groupCellDetails->title(), QStringLiteral("Cell 8"));
    EXPECT_FALSE(p->buttonNextCell->isEnabled());
    click(p->buttonPrevCell);
    EXPECT_EQ(shown(), 5);
    click(p->buttonPrevCell);
    EXPECT_EQ(shown(), 3);
    EXPECT_TRUE(p->buttonNextCell->isEnabled());
    EXPECT_TRUE(p->widgetCellActions->isEnabled());
}

TEST_F(AdminPage, CellTheProtocolCannotAddressSaysWhyItCannotOpen)
{
    Options options;
    options.extraCells = QStringLiteral("4 = board = 16, lock = 2\n");
    openAdministration(options);
    StationAdminPage* p = page();
    putDeviceRecord(4, 30, QStringLiteral("SN-0030"), 100);
    core->cellsLogic.cells[4].description = QStringLiteral("Door is broken");
    showCell(4);
    EXPECT_EQ(p->labelCellNote->text(),
              QStringLiteral("Cannot open: the lock controller's protocol v1.7 cannot address board 16, lock 2\n"
                             "Door is broken"));
    EXPECT_FALSE(p->buttonCellGive->isEnabled());
    EXPECT_TRUE(p->buttonReportProblem->isEnabled());
    click(p->buttonPrevCell);
    EXPECT_EQ(p->groupCellDetails->title(), QStringLiteral("Cell 3"));
    EXPECT_TRUE(p->labelCellNote->text().isEmpty());
}

TEST_F(AdminPage, SetActualClearsTheAmbiguity)
{
    openAdministration();
    CellsLogic::Cell& cell = core->cellsLogic.cells[1];
    cell.ambiguous = true;
    cell.state = CellsLogic::csReadyActualize;
    showCell(1);
    EXPECT_EQ(page()->labelCellState->text(), QStringLiteral("ReadyActualize (ambiguous)"));
    EXPECT_FALSE(core->cellsLogic.getAvailableDevice(false).isValid());
    click(page()->buttonCellActual);
    EXPECT_EQ(page()->labelCellState->text(), QStringLiteral("Actual"));
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(1).ambiguous);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).state, CellsLogic::csActual);
    EXPECT_EQ(core->cellsLogic.getAvailableDevice(false).number, 1);
}

TEST_F(AdminPage, SetChargedMakesTheDeviceAvailableForIssue)
{
    openAdministration();
    DatabaseStructs::Device flat = device12();
    flat.lastCharge = 10;
    putDevice(1, flat);
    showCell(1);
    EXPECT_EQ(page()->labelCellCharge->text(), QStringLiteral("10 % (Unknown)"));
    EXPECT_EQ(core->cellsLogic.availableDevicesInCellsCount(), 0);
    click(page()->buttonCellForceReady);
    EXPECT_EQ(page()->labelCellCharge->text(), QStringLiteral("10 % (Unknown) Mark as charged"));
    EXPECT_EQ(core->cellsLogic.availableDevicesInCellsCount(), 1);

    // A user's issue now takes it.
    click(page()->buttonBack);
    click(page()->buttonBack);
    ASSERT_EQ(Screens::page(), Constants::asStart);
    ASSERT_EVENTUALLY(window->buttonGiveDevice->isEnabled(), 3000);
    beginWithCard(window->buttonGiveDevice);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    EXPECT_EQ(openedCell(), 1);
}

TEST_F(AdminPageWithBackend, LockWithAReasonAndUnlockReachTheBackend)
{
    openWithBackend(lockReasons);
    showCell(2);
    {
        DialogAnswer cancel(core->dialog, DialogAnswer::clickCancel());
        click(page()->buttonCellLock);
        ASSERT_TRUE(cancel.answered);
        EXPECT_EQ(cancel.title, QStringLiteral("Lock reason"));
    }
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(2).isLocked);

    DialogAnswer lock(core->dialog, [this](StationDialog* d) {
        EXPECT_EQ(listed(d), (QStringList{"Door is broken", "Lock is stuck"}));
        choose(QStringLiteral("Lock is stuck"))(d);
    });
    click(page()->buttonCellLock);
    ASSERT_TRUE(lock.answered);
    const CellsLogic::Cell locked = core->cellsLogic.getCellByNumber(2);
    EXPECT_TRUE(locked.isLocked);
    EXPECT_EQ(locked.description, QStringLiteral("Lock is stuck"));
    EXPECT_EQ(page()->labelCellNote->text(), QStringLiteral("Lock is stuck"));
    EXPECT_TRUE(page()->iconCellLocked->isVisibleTo(page()));
    EXPECT_EQ(page()->stackedCellLock->currentWidget(), page()->page_4);
    EXPECT_EVENTUALLY(cellButton(2)->iconLocked->isVisibleTo(cellButton(2)), 3000);
    ASSERT_EVENTUALLY(lockRecords() == QStringList{"102:locked:Lock is stuck"}, 5000);

    click(page()->buttonCellUnlock);
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(2).isLocked);
    EXPECT_EQ(page()->stackedCellLock->currentWidget(), page()->page_3);
    ASSERT_EVENTUALLY(lockRecords() == (QStringList{"102:locked:Lock is stuck", "102:unlocked:"}), 5000);
    EXPECT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[StationCore] Cell 2 lock (Lock is stuck)")),
                      3000);
    EXPECT_EQ(messages, (QStringList{"Lock reason: ", "Lock reason: "}));
}

// Lock records name the back-end's id of the cell: without one nothing can
// change, and the administrator is told so.
TEST_F(AdminPage, LockWithoutTheServersCellIdSaysWhy)
{
    Options options;
    options.extraCells = lockReasons;
    openAdministration(options);
    core->cellsLogic.cells[2].devicePointCellId = -1;
    core->cellsLogic.cells[3].devicePointCellId = -1;
    core->cellsLogic.cells[3].isLocked = true;
    for (int number : {2, 3}) {
        showCell(number);
        DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
        click(number == 2 ? page()->buttonCellLock : page()->buttonCellUnlock);
        ASSERT_TRUE(ok.answered) << number;
        EXPECT_EQ(ok.title, number == 2 ? QStringLiteral("Lock cell") : QStringLiteral("Unlock cell"));
        EXPECT_TRUE(ok.text.contains(QStringLiteral("has not given cell %1 an ID").arg(number)))
            << ok.text.toStdString();
        EXPECT_FALSE(ok.cancelShown);
        EXPECT_EQ(core->cellsLogic.getCellByNumber(number).isLocked, number == 3);
    }
    EXPECT_TRUE(queuedChanges().isEmpty());
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_EQ(
        TestSupport::logLines()
            .filter(QStringLiteral("[StationCore] Error: can`t change lock status, uninitialized cell ID!"))
            .size(),
        2);
}

struct OpenCase
{
    const char* name;
    std::function<void(CellsLogic::Cell&)> setUp;
};

class AdminPageOpen : public AdminPage, public ::testing::WithParamInterface<OpenCase>
{
};

TEST_P(AdminPageOpen, OpenCellOpensTheShownCell)
{
    openAdministration();
    GetParam().setUp(core->cellsLogic.cells[3]);
    showCell(3);
    click(page()->buttonCellOpen);
    ASSERT_EVENTUALLY(sim.isDoorOpen(0, 2), 3000);
    ASSERT_EVENTUALLY(core->cellsLogic.isCellOpened(3), 3000);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(openFrames(0) + openFrames(1), 0);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminPageOpen,
                         ::testing::Values(OpenCase{"Plain", [](CellsLogic::Cell&) {}},
                                           OpenCase{"Locked", [](CellsLogic::Cell& c) { c.isLocked = true; }},
                                           OpenCase{"Service",
                                                    [](CellsLogic::Cell& c) { c.service = true; }}),
                         [](const auto& info) { return std::string(info.param.name); });

// Five cells: 2 locked, 4 a service cell. The controller spaces the open
// commands by open_cell_min_interval.
TEST_F(AdminPage, OpenAllOpensTheUnlockedCellsOneAfterTheOther)
{
    Options options;
    options.openCellMinInterval = QStringLiteral("150 ms");
    options.extraCells = QStringLiteral("4 = board = 0, lock = 3, service = true\n5 = board = 0, lock = 4\n");
    openAdministration(options);
    core->cellsLogic.cells[2].isLocked = true;
    {
        DialogAnswer cancel(core->dialog, DialogAnswer::clickCancel());
        click(page()->buttonOpenAll);
        ASSERT_TRUE(cancel.answered);
        EXPECT_EQ(cancel.title, QStringLiteral("Open all cells"));
        EXPECT_EQ(cancel.text, QStringLiteral("This action take a long time.\nAre you sure?"));
    }
    QTest::qWait(300); // two intervals
    EXPECT_TRUE(sim.frames().isEmpty()
                || std::none_of(sim.frames().cbegin(), sim.frames().cend(),
                                [](const LockSimulator::Frame& f) { return f.open; }));

    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    click(page()->buttonOpenAll);
    ASSERT_TRUE(ok.answered);
    ASSERT_EVENTUALLY(sim.isDoorOpen(0, 0) && sim.isDoorOpen(0, 2) && sim.isDoorOpen(0, 4), 5000);
    QTest::qWait(300); // two intervals more: nothing else comes
    QVector<qint64> times;
    QVector<int> locks;
    for (const LockSimulator::Frame& f : sim.frames())
        if (f.open) {
            locks.append(f.lock);
            times.append(f.atUs);
        }
    std::sort(locks.begin(), locks.end());
    EXPECT_EQ(locks, (QVector<int>{0, 2, 4}));
    ASSERT_EQ(times.size(), 3);
    // Arrival on the simulator's side; the serial line may bunch bytes a
    // little, never by a tenth of the interval.
    for (int i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 135000) << i;
    EXPECT_FALSE(sim.isDoorOpen(0, 1));
    EXPECT_FALSE(sim.isDoorOpen(0, 3));
}

// Device 12 in cell 1, and two more devices that are gone (the back-end
// reports their cells empty) by the time the batch of three runs: one issue,
// then two runs that find no device.
TEST_F(AdminPage, BatchIssueOfThreeWithOneDeviceLeft)
{
    openAdministration();
    putDeviceRecord(2, 31, QStringLiteral("SN-0031"), 80);
    putDeviceRecord(3, 32, QStringLiteral("SN-0032"), 80);
    DialogAnswer three(core->dialog, [this](StationDialog* d) {
        EXPECT_EQ(listed(d), (QStringList{"1", "2", "3"}));
        for (int number : {2, 3})
            core->cellsLogic.setCellUserDevice(number, DatabaseStructs::User(), DatabaseStructs::Device());
        choose(QStringLiteral("3"))(d);
    });
    trigger(page()->actionBatchGive);
    ASSERT_TRUE(three.answered);
    EXPECT_EQ(three.title, QStringLiteral("Batch issue\nSelect devices count"));

    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    EXPECT_EQ(openedCell(), 1);
    EXPECT_EQ(deviceRecord(12).userId, 7);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 3, 5000);
    EXPECT_EQ(messages.mid(1), (QStringList{"Issue device: Successful", "Issue device: No free cells",
                                            "Issue device: No free cells"}));
    QTest::qWait(200);
    EXPECT_EQ(giveDone->count(), 3);
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(queuedOperations(),
              (QVector<int>{Constants::doIssued, Constants::doIssueFailed, Constants::doIssueFailed}));
    EXPECT_EQ(openFrames(1) + openFrames(2), 0);
}

TEST_F(AdminPage, BatchWithNothingToDoStartsNothing)
{
    openAdministration();
    putDevice(1, DatabaseStructs::Device());
    core->cellsLogic.cells[1].deviceId = -1;
    for (int number : {1, 2, 3})
        core->cellsLogic.cells[number].isLocked = true;
    for (QAction* action : {page()->actionBatchGive, page()->actionBatchReturn}) {
        DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
        trigger(action);
        ASSERT_TRUE(ok.answered);
        EXPECT_EQ(ok.text, QStringLiteral("No devices available!"));
        EXPECT_EQ(ok.title, action == page()->actionBatchGive ? QStringLiteral("Batch issue")
                                                              : QStringLiteral("Batch return"));
    }
    QTest::qWait(100);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_TRUE(returnDone->isEmpty());
}

// Cells 2 and 3 are free: two returns, each asking for the device on the
// identification screen, one by its sticker, one found by its serial.
TEST_F(AdminPage, BatchReturnOfTwoAsksForEachDevice)
{
    openAdministration();
    DatabaseStructs::Device d21;
    d21.id = 21;
    d21.serial = QStringLiteral("SN-0021");
    d21.userId = 4;
    Database::instance()->addDevice(d21);
    {
        DialogAnswer cancel(core->dialog, DialogAnswer::clickCancel());
        trigger(page()->actionBatchReturn);
        ASSERT_TRUE(cancel.answered);
    }
    DialogAnswer two(core->dialog, [](StationDialog* d) {
        EXPECT_EQ(listed(d), (QStringList{"1", "2"}));
        choose(QStringLiteral("2"))(d);
    });
    trigger(page()->actionBatchReturn);
    ASSERT_TRUE(two.answered);

    ASSERT_EVENTUALLY(Screens::page() == Constants::asIdentifyDevice, 3000);
    EXPECT_EQ(core->qrMode(), Constants::qmDevice);
    core->barCodeReaded(QByteArray("SN-0020\r"));
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    const int first = openedCell();
    ASSERT_GT(first, 1);
    sim.setDoor(0, first - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);

    ASSERT_EVENTUALLY(Screens::page() == Constants::asIdentifyDevice, 3000);
    StationIdentifyDevicePage* identify = window->pageIdentifyDevice;
    click(identify->buttonDeviceInput);
    QTest::keyClicks(identify->lineSearch, QStringLiteral("0021"));
    ASSERT_EVENTUALLY(identify->treeDevices->topLevelItemCount() == 1, 3000);
    QTreeWidgetItem* item = identify->treeDevices->topLevelItem(0);
    QTest::mouseClick(identify->treeDevices->viewport(), Qt::LeftButton, {},
                      identify->treeDevices->visualItemRect(item).center());
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    const int second = openedCell();
    ASSERT_GT(second, 1);
    EXPECT_NE(second, first);
    sim.setDoor(0, second - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 2, 3000);

    QTest::qWait(200);
    EXPECT_FALSE(core->returnLogic.isActive());
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(queuedOperations(), (QVector<int>{Constants::doReturned, Constants::doReturned}));
    for (const QueuedChange& change : queuedChanges())
        EXPECT_EQ(change.body.object().value("userId").toInt(), 7);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(first).deviceId, 20);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(second).deviceId, 21);
}

// Nobody at the cabinet any more: the station goes to the start screen and
// stays there, and the rest of the batch does not run.
TEST_F(AdminPage, TimeOutOnTheIdentificationScreenEndsABatchReturn)
{
    Options options;
    options.gotoStart = QStringLiteral("400 ms");
    openAdministration(options);
    DialogAnswer two(core->dialog, choose(QStringLiteral("2")));
    trigger(page()->actionBatchReturn);
    ASSERT_TRUE(two.answered);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asIdentifyDevice, 3000);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    QTest::qWait(1200); // three time-outs
    EXPECT_EQ(Screens::page(), Constants::asStart);
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_FALSE(core->returnLogic.isActive());
    EXPECT_EQ(returnDone->count(), 1);
    EXPECT_EQ(page()->batchReturnCount, -1);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
}

TEST_F(AdminPage, TimeOutWithTheDoorOpenEndsABatchIssue)
{
    Options options;
    options.maxReturnDevice = QStringLiteral("400 ms");
    openAdministration(options);
    DatabaseStructs::Device second = device12();
    second.id = 33;
    second.serial = QStringLiteral("SN-0033");
    second.lastCharge = 50;
    Database::instance()->addDevice(second);
    putDevice(3, second);
    DialogAnswer two(core->dialog, choose(QStringLiteral("2")));
    trigger(page()->actionBatchGive);
    ASSERT_TRUE(two.answered);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    const int first = openedCell();
    ASSERT_TRUE(first == 1 || first == 3) << first;
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    QTest::qWait(600); // more than one time-out
    EXPECT_EQ(Screens::page(), Constants::asStart);
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_EQ(openFrames(first == 1 ? 2 : 0), 0);
    EXPECT_EQ(queuedOperations(), (QVector<int>{Constants::doIssued, Constants::doCloseTimeout}));
}

TEST_F(AdminPage, IssueFromTheDetailsOpensThatCellForTheAdministrator)
{
    openAdministration();
    putDeviceRecord(3, 34, QStringLiteral("SN-0034"), 60);
    showCell(3);
    click(page()->buttonCellGive);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    EXPECT_EQ(openedCell(), 3);
    EXPECT_EQ(deviceRecord(34).userId, 7);
    sim.setDoor(0, 2, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asAdministration, 3000);
    // The page shows the same tab and cell, now empty.
    EXPECT_EQ(page()->tabWidget->currentWidget(), page()->tabCellDetails);
    EXPECT_EQ(page()->groupCellDetails->title(), QStringLiteral("Cell 3"));
    EXPECT_EQ(page()->labelCellSerial->text(), QStringLiteral("[free]"));
    EXPECT_EQ(page()->labelCellUser->text(), QStringLiteral("Root"));
}

// The page's ways to begin a run for the administrator, each pressed while
// every write fails: the administrator is told, and nothing of a run begins.
namespace {
class AdminPageRefused;
struct NoRunCase
{
    const char* name;
    void (*press)(AdminPageRefused&);
};

class AdminPageRefused : public AdminPage, public ::testing::WithParamInterface<NoRunCase>
{
public:
    // For the table's rows, which reach the fixture from outside.
    void showCellOf(int number) { showCell(number); }
    void clickOn(QAbstractButton* button) { click(button); }
    StationAdminPage* adminPage() const { return page(); }
};

void PrintTo(const NoRunCase& c, std::ostream* os)
{
    *os << c.name;
}

const QString refusal = QStringLiteral("Administration: The database cannot record now: no run begins.");
} // namespace

TEST_P(AdminPageRefused, WhileWritesFailBeginsNoRun)
{
    openAdministration();
    failWrites();
    // Read for longer than a message's lifetime before Ok: the notice stays
    // meanwhile, and so does the administrator.
    bool stayed = false;
    DialogAnswer read(core->dialog, [this, &stayed](StationDialog* dialog) {
        QTest::qWait(200);
        stayed = dialog->isVisible() && Screens::page() == Constants::asAdministration;
        QTest::mouseClick(dialog->buttonOk, Qt::LeftButton);
    });
    GetParam().press(*this);
    if (HasFatalFailure())
        return;
    ASSERT_EVENTUALLY(read.answered, 3000);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(messages, QStringList{refusal});
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_FALSE(core->returnLogic.isActive());
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_FALSE(screenSeen(*screens, Constants::asIdentifyUser));
    EXPECT_FALSE(screenSeen(*screens, Constants::asIdentifyDevice));
    EXPECT_EQ(openFramesOfAllLocks(), 0);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(1).deviceId, 12);
    EXPECT_EQ(refusalsLogged(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminPageRefused,
                         ::testing::Values(NoRunCase{"IssueFromTheDetails",
                                                     [](AdminPageRefused& f) {
                                                         f.showCellOf(1);
                                                         f.clickOn(f.adminPage()->buttonCellGive);
                                                     }},
                                           NoRunCase{"Return",
                                                     [](AdminPageRefused& f) {
                                                         f.clickOn(f.adminPage()->buttonReturnDevice);
                                                     }}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first step of a batch is refused: the batch ends there, with one
// message. The administrator answers it and stays on the page; the batch's
// later steps neither run nor tell, not even after the next issue begun
// there once the station writes again.
TEST_F(AdminPage, BatchIssueEndsAtTheRefusal)
{
    Options options;
    options.messageLifetime = QStringLiteral("5 s");
    openAdministration(options);
    putDeviceRecord(2, 31, QStringLiteral("SN-0031"), 80);
    putDeviceRecord(3, 32, QStringLiteral("SN-0032"), 80);
    failWrites();
    {
        DialogAnswer three(core->dialog, choose(QStringLiteral("3")));
        trigger(page()->actionBatchGive);
        ASSERT_TRUE(three.answered);
    }
    {
        DialogAnswer refused(core->dialog, DialogAnswer::clickOk());
        ASSERT_EVENTUALLY(refused.answered, 3000);
        EXPECT_EQ(refused.title + QStringLiteral(": ") + refused.text, refusal);
    }
    QTest::qWait(200); // what two more steps would take
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_EQ(openFramesOfAllLocks(), 0);
    EXPECT_EQ(refusalsLogged(), 1);

    allowWrites();
    showCell(3);
    DialogAnswer successful(core->dialog, DialogAnswer::clickOk());
    click(page()->buttonCellGive);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    EXPECT_EQ(openedCell(), 3);
    sim.setDoor(0, 2, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    ASSERT_EVENTUALLY(successful.answered, 3000);
    EXPECT_EQ(successful.text, QStringLiteral("Successful"));
    ASSERT_EVENTUALLY(Screens::page() == Constants::asAdministration, 3000);
    QTest::qWait(200); // what a batch step after it would take
    EXPECT_EQ(giveDone->count(), 1);
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_EQ(openFrames(0) + openFrames(1), 0);
    EXPECT_EQ(messages.size(), 3);
}

TEST_F(AdminPage, AProblemReportedHereNamesTheAdministrator)
{
    openAdministration();
    DatabaseStructs::DeviceFault fault;
    fault.id = 5;
    fault.name = QStringLiteral("Screen broken");
    Database::instance()->addDeviceFault(fault);
    showCell(1);
    click(page()->buttonReportProblem);
    ASSERT_EQ(Screens::page(), Constants::asDeviceProblem);
    QTreeWidget* tree = window->pageDeviceProblem->treeWidget;
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    tree->setCurrentItem(tree->topLevelItem(0));
    click(window->pageDeviceProblem->buttonSelect);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    const QVector<QueuedChange> changes = queuedChanges();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].path, QStringLiteral("api/KalmireSync/CreateTask"));
    EXPECT_EQ(changes[0].body.object().value("userId").toInt(), 7);
    EXPECT_EQ(changes[0].body.object().value("deviceId").toInt(), 12);
    EXPECT_EQ(page()->labelCellStatus->text(), QStringLiteral("In repair"));
    EXPECT_TRUE(framed(cellButton(1)));
}

// Three lock changes wait while the back-end is down; the clear keeps
// them, and once the back-end is back they arrive, once each and in order,
// and the station downloads users, devices and cells from the start.
// Another process holds the file's write lock past the busy time-out: the
// clear fails, the administrator is told so, and nothing is deleted.
TEST_F(AdminPage, ClearOfALockedDatabaseSaysSoAndDeletesNothing)
{
    openAdministration();
    Database* db = Database::instance();
    db->setBusyTimeout(50);
    core->setCellBlocked(core->cellsLogic.cells[2], true, QStringLiteral("Door is broken"));
    ASSERT_EVENTUALLY(queuedChanges().size() == 1, 3000);

    QProcess holder;
    ASSERT_TRUE(
        TestSupport::startSqliteHolder(holder, QStringLiteral("vesk_station_db.dat"), "BEGIN EXCLUSIVE;"));
    DialogAnswer confirm(core->dialog, DialogAnswer::clickOk());
    trigger(page()->actionClear_database);
    ASSERT_TRUE(confirm.answered);
    ASSERT_EVENTUALLY(!messages.filter(QStringLiteral("could not be cleared")).isEmpty(), 3000);
    EXPECT_TRUE(messages.filter(QStringLiteral("could not be cleared"))
                    .first()
                    .startsWith(QStringLiteral(
                        "Clear database: The database could not be cleared, nothing was deleted:\n")))
        << messages.join('\n').toStdString();

    ASSERT_TRUE(TestSupport::endSqliteHolder(holder));
    ASSERT_EVENTUALLY(db->isWritable(), 5000);
    EXPECT_EVENTUALLY(db->userByID(4).isValid(), 3000);
    EXPECT_EQ(queuedChanges().size(), 1);
}

// A damaged page amid the changes that wait for the back-end: the clear
// replaces the file, carries the rest over and tells the administrator how
// many could not be read.
TEST_F(AdminPage, ClearOfADamagedFileSaysHowManyUnsentRecordsAreLost)
{
    openAdministration();
    Database* db = Database::instance();
    for (int i = 1; i <= 300; ++i) {
        DatabaseStructs::ChangeServer change;
        change.path = QStringLiteral("api/change-%1").arg(i);
        change.body = QByteArray(300, 'c');
        db->addQuery(QStringLiteral("INSERT INTO server_changes (data) VALUES (:d)"),
                     {{QStringLiteral("d"), vxqSerialize(change)}});
    }
    db->stop();
    const QString file = QString::fromLatin1(StorageSupport::databaseFile);
    const int lost = StorageSupport::damageLeafPage(file, "server_changes");
    ASSERT_GT(lost, 0);
    ASSERT_TRUE(db->start());

    DialogAnswer confirm(core->dialog, DialogAnswer::clickOk());
    trigger(page()->actionClear_database);
    ASSERT_TRUE(confirm.answered);
    ASSERT_EVENTUALLY(!messages.filter(QStringLiteral("could not be read")).isEmpty(), 5000);
    EXPECT_EQ(messages.filter(QStringLiteral("could not be read")).first(),
              QStringLiteral("Clear database: The database file was damaged and has been replaced. %1 unsent "
                             "records could not be read and are lost.")
                  .arg(lost));
    ASSERT_EVENTUALLY(db->isWritable(), 5000);
    EXPECT_EQ(
        db->request(QStringLiteral("SELECT count(*) AS n FROM server_changes")).value(QStringLiteral("n")),
        300 - lost);
}

TEST_F(AdminPageWithBackend, ClearDatabaseKeepsTheChangesThatWaitForTheServer)
{
    openWithBackend(lockReasons);
    const int usersBefore = backend.requestCount(FakeBackend::pathUsers);
    FakeBackend::Behaviour down;
    down.status = 503;
    backend.setBehaviour(QString(), down);

    for (int number : {2, 3}) {
        showCell(number);
        DialogAnswer lock(core->dialog, choose(QStringLiteral("Door is broken")));
        click(page()->buttonCellLock);
        ASSERT_TRUE(lock.answered);
        if (number == 2)
            click(page()->buttonCellUnlock);
    }
    ASSERT_EVENTUALLY(queuedChanges().size() == 3, 3000);
    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathCellsLock) >= 1, 5000); // refused

    DialogAnswer clear(core->dialog, DialogAnswer::clickOk());
    trigger(page()->actionClear_database);
    ASSERT_TRUE(clear.answered);
    EXPECT_EQ(clear.title, QStringLiteral("Clear database"));
    EXPECT_TRUE(clear.text.contains(QStringLiteral("download it from server"))) << clear.text.toStdString();
    EXPECT_TRUE(clear.text.contains(QStringLiteral("not yet sent to the server are kept")))
        << clear.text.toStdString();
    EXPECT_FALSE(Database::instance()->userByID(4).isValid());
    EXPECT_EQ(Database::instance()->devicesCount(), 0);
    EXPECT_EQ(queuedChanges().size(), 3);

    const int refused = backend.requestCount(FakeBackend::pathCellsLock);
    backend.clearBehaviours();
    ASSERT_EVENTUALLY(queuedChanges().isEmpty(), 10000);
    QStringList delivered;
    for (const FakeBackend::Request& request : backend.requests(FakeBackend::pathCellsLock).mid(refused)) {
        const QJsonObject o = request.json().array().first().toObject();
        delivered.append(QStringLiteral("%1:%2")
                             .arg(o.value("id").toInt())
                             .arg(o.value("isLocked").toBool() ? "true" : "false"));
    }
    EXPECT_EQ(delivered, (QStringList{"102:true", "102:false", "103:true"}));

    // The clear's own download met the back-end down; the next one fetches
    // everything from the start.
    ASSERT_EVENTUALLY(
        (page()->actionSync_with_server->trigger(), Database::instance()->userByID(4).isValid()), 10000);
    const QList<FakeBackend::Request> users = backend.requests(FakeBackend::pathUsers);
    ASSERT_GT(users.size(), usersBefore);
    EXPECT_TRUE(users.last().path.endsWith(QStringLiteral("1970-01-01T00:00:00")))
        << users.last().path.toStdString();
    EXPECT_TRUE(backend.requests(FakeBackend::pathDevices)
                    .last()
                    .path.endsWith(QStringLiteral("1970-01-01T00:00:00")));
    EXPECT_GT(backend.requestCount(FakeBackend::pathCells), 1);
    ASSERT_EVENTUALLY(Database::instance()->deviceByID(20).isValid(), 5000);
    QTest::qWait(300);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathCellsLock) - refused, 3);
}

// An action with a confirmation: the dialog gets the whole inactivity
// time-out, and when it is cancelled or the time-out hides it nothing
// changes.
struct ConfirmCase
{
    const char* name;
    bool cancel; // else the time-out hides the dialog
    std::function<void(StationAdminPage*)> act;
};

class AdminPageConfirm : public AdminPage, public ::testing::WithParamInterface<ConfirmCase>
{
};

TEST_P(AdminPageConfirm, GetsTheWholeTimeOutAndChangesNothingUnlessAccepted)
{
    const ConfirmCase& c = GetParam();
    Options options;
    options.gotoStart = QStringLiteral("800 ms");
    options.extraCells = lockReasons;
    openAdministration(options);
    showCell(2);
    ASSERT_EVENTUALLY(core->remainsGoToStartTimer() < 400, 3000);
    int remains = -1;
    DialogAnswer answer(core->dialog, [&](StationDialog* d) {
        remains = core->remainsGoToStartTimer();
        if (c.cancel)
            DialogAnswer::clickCancel()(d);
    });
    c.act(page());
    ASSERT_TRUE(answer.answered);
    EXPECT_GT(remains, 600);
    if (!c.cancel) {
        EXPECT_EQ(Screens::page(), Constants::asStart);
    } else {
        EXPECT_EQ(Screens::page(), Constants::asAdministration);
        // The time-out counts again from the cancel.
        EXPECT_GT(core->remainsGoToStartTimer(), 600);
    }
    QTest::qWait(200);
    EXPECT_FALSE(core->cellsLogic.getCellByNumber(2).isLocked);
    EXPECT_TRUE(Database::instance()->userByID(4).isValid());
    EXPECT_TRUE(std::none_of(sim.frames().cbegin(), sim.frames().cend(),
                             [](const LockSimulator::Frame& f) { return f.open; }));
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_TRUE(queuedChanges().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AdminPageConfirm,
    ::testing::ValuesIn([] {
        const std::pair<const char*, std::function<void(StationAdminPage*)>> actions[] = {
            {"OpenAll", [](StationAdminPage* p) { QTest::mouseClick(p->buttonOpenAll, Qt::LeftButton); }},
            {"Lock", [](StationAdminPage* p) { QTest::mouseClick(p->buttonCellLock, Qt::LeftButton); }},
            {"ClearDatabase", [](StationAdminPage* p) { p->actionClear_database->trigger(); }},
            {"BatchIssue", [](StationAdminPage* p) { p->actionBatchGive->trigger(); }},
            {"BatchReturn", [](StationAdminPage* p) { p->actionBatchReturn->trigger(); }},
        };
        std::vector<ConfirmCase> cases;
        // The rows keep pointers into the names: no growth may move them.
        static std::vector<std::string> names;
        names.reserve(std::size(actions) * 2);
        for (const auto& [name, act] : actions)
            for (bool cancel : {true, false}) {
                names.push_back(std::string(name) + (cancel ? "Cancelled" : "TimedOut"));
                cases.push_back(ConfirmCase{names.back().c_str(), cancel, act});
            }
        return cases;
    }()),
    [](const auto& info) { return std::string(info.param.name); });

// The buttons restart the time-out only while the administration shows:
// Back leaves the start screen without one.
TEST_F(AdminPage, BackGoesToTheFirstTabThenToTheStart)
{
    openAdministration();
    showCell(1);
    click(page()->buttonBack);
    EXPECT_EQ(page()->tabWidget->currentWidget(), page()->tabCellsView);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_GT(core->remainsGoToStartTimer(), 0);
    click(page()->buttonBack);
    EXPECT_EQ(Screens::page(), Constants::asStart);
    EXPECT_EQ(core->remainsGoToStartTimer(), 0);
}

// The menu of the three dots is a window of its own, over the page: one an
// administrator opened and left goes with the time-out, and whoever comes
// next can reach none of its entries.
class AdminPageMenu : public AdminPage
{
protected:
    void SetUp() override { previousHandler = qInstallMessageHandler(&AdminPageMenu::dropPopupNotes); }
    void TearDown() override
    {
        AdminPage::TearDown();
        qInstallMessageHandler(previousHandler);
    }

    // Presses the three dots as a finger does, once the test waits: the
    // menu then runs its own event loop until it closes. A menu still open
    // after watchdogMs is closed here and counted, so that a fault fails
    // the test instead of hanging it.
    void pressMenuSoon(int watchdogMs)
    {
        QTimer::singleShot(0, page(), [this] { QTest::mousePress(page()->buttonMenu, Qt::LeftButton); });
        QTimer::singleShot(watchdogMs, page(), [this] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                leftOpen = true;
                popup->close();
            }
        });
    }

    QMenu* menu() const { return page()->buttonMenu->menu(); }

    bool leftOpen = false;

private:
    // The offscreen platform tells of every popup that it cannot raise it
    // or grab the keyboard for it; only those notes are dropped.
    static void dropPopupNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message == QLatin1String("This plugin does not support raise()")
            || message == QLatin1String("This plugin does not support grabbing the keyboard"))
            return;
        previousHandler(type, context, message);
    }
    static QtMessageHandler previousHandler;
};
QtMessageHandler AdminPageMenu::previousHandler = nullptr;

TEST_F(AdminPageMenu, LeftOpenItClosesWithTheTimeOutAndItsEntriesDoNothingAfterwards)
{
    Options options;
    options.gotoStart = QStringLiteral("300 ms");
    openAdministration(options);
    ASSERT_NE(menu(), nullptr);
    bool shown = false;
    QObject::connect(menu(), &QMenu::aboutToShow, window.get(), [&shown] { shown = true; });
    pressMenuSoon(3000);
    ASSERT_EVENTUALLY(shown && Screens::page() == Constants::asStart, 5000);
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(menu()->isVisible());

    // The next person: not one entry acts from the start screen (a
    // confirmation would wait there with no time-out).
    for (QAction* action : {page()->actionClear_database, page()->actionBatchGive, page()->actionBatchReturn,
                            page()->actionQuit}) {
        DialogAnswer none(core->dialog, DialogAnswer::clickCancel());
        action->trigger();
        EXPECT_FALSE(none.answered) << action->objectName().toStdString();
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Screens::page(), Constants::asStart);
    EXPECT_EQ(core->remainsGoToStartTimer(), 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(page()->batchGiveCount, -1);
    EXPECT_EQ(page()->batchReturnCount, -1);
}

TEST_F(AdminPageMenu, OpeningItRestartsTheTimeOut)
{
    Options options;
    options.gotoStart = QStringLiteral("800 ms");
    openAdministration(options);
    ASSERT_EVENTUALLY(core->remainsGoToStartTimer() < 400, 3000);
    int remainsAtOpen = -1;
    // After the page's own connection: the page has acted by then.
    QObject::connect(menu(), &QMenu::aboutToShow, window.get(),
                     [this, &remainsAtOpen] { remainsAtOpen = core->remainsGoToStartTimer(); });
    pressMenuSoon(3000);
    ASSERT_EVENTUALLY(remainsAtOpen >= 0 && Screens::page() == Constants::asStart, 5000);
    EXPECT_GT(remainsAtOpen, 600);
    EXPECT_FALSE(leftOpen);
}

namespace {
// Two hundred cells more, in 25 rows of 8 below the first three: the grid
// is wider and taller than the page and scrolls both ways, the list
// downwards (its rows take the page's width).
class AdminPageScrolling : public AdminPage
{
protected:
    void openWithBigGrid(const QString& gotoStart = QStringLiteral("5 s"))
    {
        Options options;
        options.gotoStart = gotoStart;
        for (int i = 0; i < 200; ++i)
            options.extraCells += QStringLiteral("%1 = board = %2, lock = %3, row = %4, col = %5\n")
                                      .arg(4 + i)
                                      .arg(1 + i / 16)
                                      .arg(i % 16)
                                      .arg(3 + i / 8)
                                      .arg(i % 8);
        openAdministration(options);
        if (HasFatalFailure())
            return;
        ASSERT_EVENTUALLY(cellButton(4) && cellButton(4)->isVisible(), 3000);
    }

    QWidget* gridViewport() const { return page()->widgetCells->scrollCells->viewport(); }
    QWidget* listViewport() const { return page()->widgetCells->treeWidget->viewport(); }

    // A finger put down at from (in the viewport) and moved by distance
    // through the window at a finger's pace, held until the content has
    // followed it on bar (the scroller moves it at its own ticks), then
    // lifted; returns once the scrolling has come to rest.
    void drag(QWidget* viewport, QPoint from, QPoint distance, const QScrollBar* bar)
    {
        QWindow* handle = window->windowHandle();
        const QPoint start = viewport->mapTo(window.get(), from);
        const int before = bar->value();
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(handle, start + distance * step / 10, 10);
        [[maybe_unused]] const bool followed = QTest::qWaitFor([&] { return bar->value() != before; }, 2000);
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + distance);
        ASSERT_EVENTUALLY(QScroller::scroller(viewport)->state() == QScroller::Inactive, 5000);
    }

    // A cell button whose middle shows in the grid's viewport.
    StationCellButton* shownButton() const
    {
        for (StationCellButton* b : page()->widgetCells->buttons()) {
            const QPoint middle = b->mapTo(gridViewport(), b->rect().center());
            if (b->isVisible() && gridViewport()->rect().contains(middle))
                return b;
        }
        return nullptr;
    }

    QPoint middleIn(QWidget* viewport, QWidget* w) const { return w->mapTo(viewport, w->rect().center()); }
};
} // namespace

// A finger drags the grid either way, also when it lands on a cell, and
// that cell is not pressed; a tap presses the cell under it.
TEST_F(AdminPageScrolling, DraggingScrollsTheGridAndATapPressesACell)
{
    openWithBigGrid();
    QScrollArea* area = page()->widgetCells->scrollCells;
    ASSERT_GT(area->verticalScrollBar()->maximum(), 0);
    ASSERT_GT(area->horizontalScrollBar()->maximum(), 0);
    QSignalSpy asked(page()->widgetCells, &StationCellsWidget::gotoCellRequest);
    const struct
    {
        const char* name;
        QPoint distance;
        QScrollBar* bar;
    } drags[] = {{"up", QPoint(0, -200), area->verticalScrollBar()},
                 {"left", QPoint(-200, 0), area->horizontalScrollBar()}};
    for (const auto& d : drags) {
        StationCellButton* under = shownButton();
        ASSERT_NE(under, nullptr) << d.name;
        const int before = d.bar->value();
        drag(gridViewport(), middleIn(gridViewport(), under), d.distance, d.bar);
        if (HasFatalFailure())
            return;
        EXPECT_GT(d.bar->value(), before) << d.name;
        EXPECT_FALSE(under->isDown()) << d.name;
    }
    EXPECT_EQ(asked.count(), 0);
    EXPECT_EQ(page()->tabWidget->currentWidget(), page()->tabCellsView);

    StationCellButton* tapped = shownButton();
    ASSERT_NE(tapped, nullptr);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      tapped->mapTo(window.get(), tapped->rect().center()));
    ASSERT_EVENTUALLY(asked.count() == 1, 3000);
    EXPECT_EQ(asked.first().first().toInt(), tapped->number());
    EXPECT_EQ(page()->tabWidget->currentWidget(), page()->tabCellDetails);
    EXPECT_EQ(page()->currentCell.number, tapped->number());
}

namespace {
struct ScrollCase
{
    const char* name;
    bool list;
    Qt::Orientation orientation;
};

void PrintTo(const ScrollCase& c, std::ostream* os)
{
    *os << c.name;
}

class AdminPageScrollingRestarts : public AdminPageScrolling, public ::testing::WithParamInterface<ScrollCase>
{
};
} // namespace

// An administrator who looks for a cell by scrolling is not sent to the
// start page: every scroll restarts the inactivity time-out.
TEST_P(AdminPageScrollingRestarts, TheTimeOut)
{
    openWithBigGrid(QStringLiteral("2 s"));
    QWidget* viewport = gridViewport();
    QAbstractScrollArea* area = page()->widgetCells->scrollCells;
    QPoint from;
    if (GetParam().list) {
        click(page()->buttonListView);
        area = page()->widgetCells->treeWidget;
        viewport = listViewport();
        ASSERT_EVENTUALLY(cellRow(4) && cellRow(4)->isVisible(), 3000);
        from = middleIn(viewport, cellRow(4));
    } else {
        StationCellButton* under = shownButton();
        ASSERT_NE(under, nullptr);
        from = middleIn(viewport, under);
    }
    const bool vertical = GetParam().orientation == Qt::Vertical;
    QScrollBar* bar = vertical ? area->verticalScrollBar() : area->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EVENTUALLY(core->remainsGoToStartTimer() < 1500, 3000);
    const int before = core->remainsGoToStartTimer();
    int atScroll = -1;
    // After the page's own connection: the page has acted by then.
    QObject::connect(bar, &QScrollBar::valueChanged, window.get(), [this, &atScroll] {
        if (atScroll < 0)
            atScroll = core->remainsGoToStartTimer();
    });
    drag(viewport, from, vertical ? QPoint(0, -100) : QPoint(-100, 0), bar);
    ASSERT_GE(atScroll, 0) << "no scroll";
    EXPECT_GT(atScroll, before + 250);
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(page()->currentCell.number, -1);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminPageScrollingRestarts,
                         ::testing::Values(ScrollCase{"GridVertical", false, Qt::Vertical},
                                           ScrollCase{"GridHorizontal", false, Qt::Horizontal},
                                           ScrollCase{"ListVertical", true, Qt::Vertical}),
                         [](const auto& info) { return std::string(info.param.name); });
