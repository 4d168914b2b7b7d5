// The kiosk's window driven end to end: the named buttons are clicked, the
// lock simulator opens and closes the doors, and the page shown is checked
// at each step.

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWindow>

#include "readers/barcodescanner.h"
#include "readers/cryptography.h"
#include "storage/database.h"
#include "support/dialog_answer.h"
#include "ui/dialog.h"
#include "ui/screens_fixture.h"
#include "virtual_card/pcscd_runner.h"
#include "virtual_card/virtual_card.h"

using TestSupport::PtyPair;

namespace {
// Picks the one device the serial search lists, SN-0020, with a tap.
void pickSn0020(StationIdentifyDevicePage* devicePage)
{
    ASSERT_EQ(devicePage->treeDevices->topLevelItemCount(), 1);
    QTreeWidgetItem* item = devicePage->treeDevices->topLevelItem(0);
    EXPECT_EQ(item->text(0), QStringLiteral("SN-0020"));
    ASSERT_EVENTUALLY(devicePage->treeDevices->visualItemRect(item).isValid(), 3000);
    QTest::mouseClick(devicePage->treeDevices->viewport(), Qt::LeftButton, {},
                      devicePage->treeDevices->visualItemRect(item).center());
}
} // namespace

TEST_F(Screens, IssueRunsThroughThePagesToSuccessful)
{
    open();
    beginWithCard(window->buttonGiveDevice);
    EXPECT_EQ(page(), Constants::asOpenCell);
    EXPECT_EQ(window->pageOpenCell->labelTitle->text(), QStringLiteral("Open cell 1 ..."));

    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    const QString hint = window->pageCloseCell->labelTitle->text();
    EXPECT_TRUE(hint.contains(QStringLiteral("Take device from"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QStringLiteral("cell 1<"))) << hint.toStdString();
    EXPECT_GT(window->pageCloseCell->circleIndicator->value(), -0.5);
    EXPECT_TRUE(window->pageCloseCell->circleIndicator->text().startsWith(QStringLiteral("0:0")));

    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssued});
    EXPECT_TRUE(screenSeen(*screens, Constants::asIdentifyUser));
    // No charged device is left: the start page says so at once.
    EXPECT_FALSE(window->buttonGiveDevice->isEnabled());
    EXPECT_EQ(window->labelFreeDevices->text(), QStringLiteral("0"));
}

TEST_F(Screens, IssueWithACardThroughPcscd)
{
    PcscdRunner pcscd;
    ASSERT_TRUE(pcscd.isReady()) << pcscd.error().toStdString();
    ASSERT_TRUE(pcscd.start()) << pcscd.error().toStdString();
    VirtualCard card(pcscd.port());
    VirtualCard::Settings settings;
    // Block 8 with anna's personnel number 89 in data bytes 8 to 11.
    settings.block8 = TestSupport::hex("A1 A2 A3 A4 A5 A6 A7 A8 00 00 00 89 B1 B2 B3 B4");
    settings.key = CardScanner::cardKey();
    card.setSettings(settings);

    Options options;
    options.cardReader = true;
    open(options);
    QTest::mouseClick(window->buttonGiveDevice, Qt::LeftButton);
    ASSERT_EQ(page(), Constants::asIdentifyUser);
    card.insert();
    ASSERT_EVENTUALLY(page() != Constants::asIdentifyUser, 10000);
    EXPECT_TRUE(page() == Constants::asOpenCell || page() == Constants::asCloseCell) << page();
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(queuedOperations(), QVector<int>{Constants::doIssued});
    EXPECT_EQ(page(), Constants::asStart);
    // The hub stops the reader; the daemon goes last.
    core->stop();
}

TEST_F(Screens, ReturnByScannedSticker)
{
    PtyPair scanner;
    ASSERT_FALSE(scanner.path.isEmpty());
    Options options;
    options.scannerDevice = scanner.path;
    open(options);
    beginWithCard(window->buttonReturnDevice);
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    ASSERT_EQ(core->qrMode(), Constants::qmDevice);

    const QByteArray sticker("SN-0020\r\n");
    ASSERT_TRUE(scanner.write(sticker));
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    EXPECT_TRUE(screenSeen(*screens, Constants::asOpenCell));
    const int cell = openedCell();
    ASSERT_GT(cell, 1);
    EXPECT_TRUE(window->pageCloseCell->labelTitle->text().contains(QStringLiteral("Place device into")));
    EXPECT_TRUE(window->pageCloseCell->labelTitle->text().contains(QStringLiteral("cell %1<").arg(cell)));

    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(cell).device.id, 20);
}

// A keyboard-wedge scanner types into the window like a keyboard; the
// screen keyboard of a station configured without it never takes the keys.
TEST_F(Screens, KeyboardWedgeScannerTypesALoginIntoTheWindow)
{
    Options options;
    options.scannerDevice = QStringLiteral("hid");
    open(options);
    ASSERT_EQ(core->barCodeScanners.size(), 1);
    QSignalSpy packets(core->barCodeScanners.first(), &BarCodeScanner::dataReaded);
    QSignalSpy logins(core, &StationCore::loginSuccessful);
    const QString code = QString::fromLatin1(qrLoginEncrypt(QStringLiteral("anna"), QStringLiteral("pw")));

    // QR mode 0 on the start page: the keys are the page's.
    ASSERT_EQ(core->qrMode(), Constants::qmNone);
    TestSupport::KeyCounter startKeys;
    window->pageStart->installEventFilter(&startKeys);
    QTest::keyClicks(window->pageStart, QStringLiteral("ab"));
    QTest::keyClick(window->pageStart, Qt::Key_Return);
    EXPECT_EQ(startKeys.presses, 3);
    EXPECT_EQ(startKeys.releases, 3);

    // QR mode 1 on the identification page: the scan is the scanner's.
    QTest::mouseClick(window->buttonGiveDevice, Qt::LeftButton);
    ASSERT_EQ(page(), Constants::asIdentifyUser);
    ASSERT_EQ(core->qrMode(), Constants::qmUser);
    TestSupport::KeyCounter userKeys;
    window->pageIdentifyUser->installEventFilter(&userKeys);
    QTest::keyClicks(window->pageIdentifyUser, code);
    QTest::keyClick(window->pageIdentifyUser, Qt::Key_Return);
    ASSERT_EVENTUALLY(logins.count() > 0, 3000);
    EXPECT_EQ(userKeys.presses, 0);
    EXPECT_EQ(userKeys.releases, 0);
    ASSERT_EQ(packets.count(), 1);
    EXPECT_EQ(packets.at(0).at(0).toByteArray(), code.toLatin1() + "\r");
    ASSERT_EQ(logins.count(), 1);
    EXPECT_EQ(logins.at(0).at(0).value<DatabaseStructs::User>().login, QStringLiteral("anna"));
    EXPECT_EQ(startKeys.presses, 3);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
}

TEST_F(Screens, ReturnBySerialSearchAndTheNextRunStartsEmpty)
{
    open();
    beginWithCard(window->buttonReturnDevice);
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    StationIdentifyDevicePage* devicePage = window->pageIdentifyDevice;
    QTest::mouseClick(devicePage->buttonDeviceInput, Qt::LeftButton);
    ASSERT_EQ(devicePage->stackedWidget->currentIndex(), 1);
    EXPECT_EQ(devicePage->treeDevices->topLevelItemCount(), 0);

    devicePage->lineSearch->setText(QStringLiteral("   "));
    EXPECT_EQ(devicePage->treeDevices->topLevelItemCount(), 0);
    // Only devices a user holds: SN-0012 stands in its cell.
    devicePage->lineSearch->setText(QStringLiteral("sn-00"));
    EXPECT_EQ(devicePage->treeDevices->topLevelItemCount(), 1);
    devicePage->lineSearch->setText(QStringLiteral("0020"));
    pickSn0020(devicePage);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(devicePage->stackedWidget->currentIndex(), 0);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    const int cell = openedCell();
    ASSERT_GT(cell, 1);
    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});

    // The search of this run was left on the list page; the next user sees
    // none of it.
    devicePage->stackedWidget->setCurrentIndex(1);
    devicePage->lineSearch->setText(QStringLiteral("0012"));
    beginWithCard(window->buttonReturnDevice);
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    EXPECT_EQ(devicePage->stackedWidget->currentIndex(), 0);
    EXPECT_TRUE(devicePage->lineSearch->text().isEmpty());
    EXPECT_EQ(devicePage->treeDevices->topLevelItemCount(), 0);
    QTest::mouseClick(devicePage->buttonCancel, Qt::LeftButton);
    ASSERT_EVENTUALLY(page() == Constants::asStart, 3000);
}

// A station with a keyboard of its own and a keyboard-wedge scanner: the
// serial search is typed on the keyboard while the scanner reads, and a
// sticker scanned on the same page is read as a code.
TEST_F(Screens, SerialSearchIsTypedBesideAKeyboardWedgeScanner)
{
    Options options;
    options.scannerDevice = QStringLiteral("hid");
    open(options);
    activate();
    QWindow* keys = window->windowHandle();
    beginWithCard(window->buttonReturnDevice);
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    ASSERT_EQ(core->qrMode(), Constants::qmDevice);
    StationIdentifyDevicePage* devicePage = window->pageIdentifyDevice;
    QTest::mouseClick(devicePage->buttonDeviceInput, Qt::LeftButton);
    ASSERT_TRUE(devicePage->lineSearch->hasFocus());
    ASSERT_EQ(core->qrMode(), Constants::qmDevice);
    KeyboardKeys::typeOn(keys, QStringLiteral("0020"), KeyboardKeys::personGapMs);
    EXPECT_EQ(devicePage->lineSearch->text(), QStringLiteral("0020"));
    ASSERT_EQ(devicePage->treeDevices->topLevelItemCount(), 1);
    EXPECT_EQ(devicePage->treeDevices->topLevelItem(0)->text(0), QStringLiteral("SN-0020"));

    // The sticker at a scanner's pace, the focus still in the search.
    KeyboardKeys::typeOn(keys, QStringLiteral("SN-0020"), 0);
    KeyboardKeys::pressOn(keys, Qt::Key_Return, 0);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    EXPECT_EQ(devicePage->lineSearch->text(), QStringLiteral("0020"));
    const int cell = openedCell();
    ASSERT_GT(cell, 1);
    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});
    EXPECT_EQ(core->cellsLogic.getCellByNumber(cell).device.id, 20);
}

// A kiosk has no keyboard but the screen's: the serial is typed on it and
// the device picked from the list, with the keys where the finger lands.
TEST_F(Screens, SerialSearchIsTypedOnTheScreenKeyboard)
{
    open(withScreenKeyboard());
    activate();
    VirtualKeyboard* keyboard = window->virtualKeyboard;
    EXPECT_TRUE(keyboard->isEnabled());
    EXPECT_FALSE(keyboard->isVisible());
    beginWithCard(window->buttonReturnDevice);
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    EXPECT_FALSE(keyboard->isVisible());

    StationIdentifyDevicePage* devicePage = window->pageIdentifyDevice;
    QTest::mouseClick(devicePage->buttonDeviceInput, Qt::LeftButton);
    ASSERT_TRUE(devicePage->lineSearch->hasFocus());
    ASSERT_TRUE(keyboard->isVisible());
    // The serial field asks for numbers first.
    EXPECT_EQ(keyboardPage(), QStringLiteral("numeric"));
    // Below the page, not over the field being typed into.
    QCoreApplication::processEvents();
    EXPECT_LE(window->widgetMain->geometry().bottom(), keyboard->geometry().top());
    EXPECT_TRUE(window->widgetMain->rect().contains(QRect(
        devicePage->lineSearch->mapTo(window->widgetMain, QPoint(0, 0)), devicePage->lineSearch->size())));

    tapKeys({QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("1")});
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlBackspace);
    // The letters are a page away.
    tapKeys({QStringLiteral("en"), QStringLiteral("N")});
    ASSERT_EVENTUALLY(devicePage->lineSearch->text() == QStringLiteral("002N"), 2000);
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlBackspace);
    tapKeys({QStringLiteral("123"), QStringLiteral("0")});
    ASSERT_EVENTUALLY(devicePage->lineSearch->text() == QStringLiteral("0020"), 2000);
    pickSn0020(devicePage);
    ASSERT_FALSE(HasFatalFailure());
    // The field went with its page: the keyboard follows.
    EXPECT_EVENTUALLY(!keyboard->isVisible(), 2000);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    const int cell = openedCell();
    ASSERT_GT(cell, 1);
    sim.setDoor(0, cell - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(cell).device.id, 20);
}

TEST_F(Screens, DoorThatNeverOpensShowsOpenCellError)
{
    open();
    sim.setJammed(0, 0, true);
    beginWithCard(window->buttonGiveDevice);
    EXPECT_EQ(page(), Constants::asOpenCell);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Open cell error"});
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_FALSE(screenSeen(*screens, Constants::asCloseCell));
}

TEST_F(Screens, DoorLeftOpenShowsCloseCellTimeout)
{
    Options options;
    options.maxReturnDevice = QStringLiteral("400 ms");
    open(options);
    beginWithCard(window->buttonGiveDevice);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_EQ(messages, QStringList{"Issue device: Close cell timeout"});
    EXPECT_EQ(page(), Constants::asStart);
}

TEST_F(Screens, MessageAnsweredWithOkKeepsTheCloseCellTimeOut)
{
    Options options;
    options.messageLifetime = QStringLiteral("2 s");
    options.maxReturnDevice = QStringLiteral("20 s");
    open(options);
    beginWithCard(window->buttonGiveDevice);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);

    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    core->showMessage(QStringLiteral("Note"), QStringLiteral("Mind the cable"));
    ASSERT_TRUE(ok.answered);
    EXPECT_GT(core->remainsGoToStartTimer(), 10000);
    window->pageCloseCell->enter();
    const QString left = window->pageCloseCell->circleIndicator->text();
    EXPECT_TRUE(left == QLatin1String("0:20") || left == QLatin1String("0:19")) << left.toStdString();
    EXPECT_EQ(page(), Constants::asCloseCell);
}

// A message about a bad scan belongs to the identification: the right
// card or sticker scanned while it shows moves the run on, and the message
// goes with the page, leaving the cell's number and "Report a problem" to
// the person at the open door.
struct StrayScanCase
{
    const char* name;
    bool issue;
    const char* message;
};

class ScreensStrayScan : public Screens, public ::testing::WithParamInterface<StrayScanCase>
{
};

TEST_P(ScreensStrayScan, MessageClosesWhenTheRunMovesOn)
{
    const StrayScanCase& c = GetParam();
    Options options;
    options.messageLifetime = QStringLiteral("20 s");
    options.maxReturnDevice = QStringLiteral("3 s");
    open(options);
    if (c.issue) {
        QTest::mouseClick(window->buttonGiveDevice, Qt::LeftButton);
        ASSERT_EQ(page(), Constants::asIdentifyUser);
    } else {
        beginWithCard(window->buttonReturnDevice);
        ASSERT_EQ(page(), Constants::asIdentifyDevice);
    }
    // Left unanswered: the right input comes while the message shows.
    DialogAnswer during(core->dialog, [this, &c](StationDialog*) {
        if (c.issue)
            core->cardReaded(QStringLiteral("89"));
        else
            core->barCodeReaded(QByteArray("SN-0020\r"));
    });
    core->barCodeReaded(c.issue ? QByteArray("no login code\r") : QByteArray("SN-9999\r"));
    ASSERT_TRUE(during.answered);
    EXPECT_EQ(during.title + QStringLiteral(": ") + during.text, QLatin1String(c.message));
    EXPECT_TRUE(core->dialog->isHidden());
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    EXPECT_TRUE(core->dialog->isHidden());
    const int cell = openedCell();
    ASSERT_GT(cell, 0);

    QTest::mouseClick(window->pageCloseCell->buttonReportProblem, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asDeviceProblem);
    QTest::mouseClick(window->pageDeviceProblem->buttonCancel, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asCloseCell);
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    sim.setDoor(0, cell - 1, false);
    QSignalSpy& done = c.issue ? *giveDone : *returnDone;
    ASSERT_EVENTUALLY(done.count() == 1, 3000);
    EXPECT_TRUE(done.at(0).at(0).toBool());
    EXPECT_EQ(messages, (QStringList{QLatin1String(c.message), "Issue device: Successful"}));
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ScreensStrayScan,
                         ::testing::Values(StrayScanCase{"NoLoginCode", true, "User scan: Invalid code!"},
                                           StrayScanCase{"UnknownSticker", false,
                                                         "Device scan: Device not found!"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Screens, StartButtonsFollowTheCountsAndOffscreen)
{
    open();
    EXPECT_TRUE(window->buttonReturnDevice->isEnabled());
    EXPECT_TRUE(window->buttonGiveDevice->isEnabled());
    EXPECT_EQ(window->labelFreeCells->text(), QStringLiteral("2"));
    EXPECT_EQ(window->labelFreeDevices->text(), QStringLiteral("1"));

    // The hot zone leads to the administrator login, except off-screen,
    // where it swallows the press.
    QTest::mouseClick(window->widgetGotoAdmin, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asAdminLogin);
    QTest::mouseClick(window->buttonAdminLoginCancel, Qt::LeftButton);
    ASSERT_EQ(page(), Constants::asStart);
    core->offscreen = true;
    window->updateStartPage();
    EXPECT_FALSE(window->buttonReturnDevice->isEnabled());
    EXPECT_FALSE(window->buttonGiveDevice->isEnabled());
    QTest::mouseClick(window->widgetGotoAdmin, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asStart);
    core->offscreen = false;

    // Flat device: nothing to issue. Forced ready later, with no cells
    // event: the once-a-second check brings the button back.
    core->cellsLogic.cells[1].device.lastCharge = 10;
    core->cellsLogic.cells[1].lastOperationDate = QDateTime::currentDateTime();
    window->updateStartPage();
    ASSERT_FALSE(window->buttonGiveDevice->isEnabled());
    core->cellsLogic.cells[1].forceReady = true;
    ASSERT_EVENTUALLY(window->buttonGiveDevice->isEnabled(), 3000);
    EXPECT_EQ(window->labelFreeDevices->text(), QStringLiteral("1"));
}

// The monitor goes and comes back, as its detection finds it: off-screen
// the start buttons are off and the note says so; back on the screen they
// start runs again.
TEST_F(Screens, MonitorComingBackBringsTheStartButtonsBack)
{
    Options options;
    options.supportOffscreen = true;
    open(options);
    ASSERT_TRUE(window->buttonGiveDevice->isEnabled());
    core->monitor_detect_enabled.store(false);
    core->monitor_present.store(false);
    ASSERT_EVENTUALLY(!window->buttonGiveDevice->isEnabled(), 3000);
    EXPECT_FALSE(window->buttonReturnDevice->isEnabled());
    EXPECT_TRUE(core->offscreenLogic.isEnabled());
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral("Offscreen mode"));

    core->monitor_detect_enabled.store(true);
    core->monitor_present.store(true);
    ASSERT_EVENTUALLY(window->buttonGiveDevice->isEnabled(), 3000);
    EXPECT_TRUE(window->buttonReturnDevice->isEnabled());
    EXPECT_FALSE(core->offscreenLogic.isEnabled());
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral(" "));
    beginWithCard(window->buttonGiveDevice);
    EXPECT_EQ(page(), Constants::asOpenCell);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(page(), Constants::asStart);
}

TEST_F(Screens, WorkableNeedsAnOpenScanner)
{
    open();
    window->checkWorkable();
    EXPECT_EQ(window->stackedMainButtons->currentIndex(), 1);
    EXPECT_EQ(window->labelUnworkable->text(), QStringLiteral("Station is not working"));
}

TEST_F(Screens, WorkableWithScannerAndController)
{
    PtyPair scanner;
    Options options;
    options.scannerDevice = scanner.path;
    open(options);
    ASSERT_EVENTUALLY(core->cellController.receiveQuality() >= 3, 3000);
    window->checkWorkable();
    EXPECT_EQ(window->stackedMainButtons->currentIndex(), 0);
}

// A station that cannot record does not work: while its file cannot be
// opened, and while its writes fail.
TEST_F(Screens, NotWorkingWhileTheDatabaseCannotRecord)
{
    PtyPair scanner;
    Options options;
    options.scannerDevice = scanner.path;
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("vesk_station_db.dat")));
    open(options);
    ASSERT_EVENTUALLY(core->cellController.receiveQuality() >= 3, 3000);
    window->checkWorkable();
    EXPECT_EQ(window->stackedMainButtons->currentIndex(), 1);
    EXPECT_EQ(window->labelUnworkable->text(), QStringLiteral("Station is not working"));

    ASSERT_TRUE(QDir().rmdir(QStringLiteral("vesk_station_db.dat")));
    // The page follows by itself.
    ASSERT_EVENTUALLY(window->stackedMainButtons->currentIndex() == 0, 5000);

    Database* db = Database::instance();
    db->request(QStringLiteral("PRAGMA query_only = 1"));
    db->addQuery(QStringLiteral("INSERT INTO server_logs (data) VALUES (x'00')"));
    ASSERT_EVENTUALLY(window->stackedMainButtons->currentIndex() == 1, 5000);
    db->request(QStringLiteral("PRAGMA query_only = 0"));
    ASSERT_EVENTUALLY(window->stackedMainButtons->currentIndex() == 0, 5000);
}

namespace {
// The start page's two buttons, each with the run it begins.
struct StartButtonCase
{
    const char* name;
    QPushButton* (*button)(const StationMainWindow&);
    const StationLogicBase& (*logic)(const StationCore&);
};

void PrintTo(const StartButtonCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScreensStartButton : public Screens, public ::testing::WithParamInterface<StartButtonCase>
{
protected:
    QPushButton* button() const { return GetParam().button(*window); }
    const StationLogicBase& logic() const { return GetParam().logic(*core); }

    // Nothing of a run: the start screen, no identification, no door.
    void expectNoRun()
    {
        EXPECT_EQ(page(), Constants::asStart);
        EXPECT_EQ(core->activeScreen(), Constants::asStart);
        EXPECT_FALSE(logic().isActive());
        EXPECT_EQ(core->qrMode(), Constants::qmNone);
        EXPECT_EQ(openFramesOfAllLocks(), 0);
        EXPECT_EQ(refusalsLogged(), 1);
    }

    PtyPair scanner;
};
} // namespace

// The button is pressed right after the station found it cannot write, and
// before the page's own refresh could tell: the page says so at once.
TEST_P(ScreensStartButton, BeginsNoRunWhileWritesFail)
{
    Options options;
    options.scannerDevice = scanner.path;
    open(options);
    ASSERT_EVENTUALLY(core->cellController.receiveQuality() >= 3, 3000);
    window->checkWorkable();
    ASSERT_EQ(window->stackedMainButtons->currentIndex(), 0);
    // Only the button may change the page now.
    window->stopIndexedTimer(0);

    failWrites();
    ASSERT_EQ(window->stackedMainButtons->currentIndex(), 0);
    QTest::mouseClick(button(), Qt::LeftButton);
    EXPECT_EQ(window->stackedMainButtons->currentIndex(), 1);
    EXPECT_EQ(window->labelUnworkable->text(), QStringLiteral("Station is not working"));
    expectNoRun();

    allowWrites();
    window->startIndexedTimerMs(0, 1000);
    ASSERT_EVENTUALLY(window->stackedMainButtons->currentIndex() == 0, 5000);
    QTest::mouseClick(button(), Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asIdentifyUser);
    EXPECT_TRUE(logic().isActive());
}

// The file cannot be opened at all: the page says so from the start, and
// a press that comes anyway (the handler reached as the click reaches it)
// begins nothing.
TEST_P(ScreensStartButton, BeginsNoRunWhileTheFileCannotBeOpened)
{
    Options options;
    options.scannerDevice = scanner.path;
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("vesk_station_db.dat")));
    open(options);
    ASSERT_EVENTUALLY(core->cellController.receiveQuality() >= 3, 3000);
    ASSERT_FALSE(Database::instance()->isWritable());
    Q_EMIT button()->clicked();
    EXPECT_EQ(window->stackedMainButtons->currentIndex(), 1);
    EXPECT_EQ(window->labelUnworkable->text(), QStringLiteral("Station is not working"));
    expectNoRun();
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    ScreensStartButton,
    ::testing::Values(
        StartButtonCase{"Issue", [](const StationMainWindow& w) { return w.buttonGiveDevice; },
                        [](const StationCore& c) -> const StationLogicBase& { return c.giveLogic; }},
        StartButtonCase{"Return", [](const StationMainWindow& w) { return w.buttonReturnDevice; },
                        [](const StationCore& c) -> const StationLogicBase& { return c.returnLogic; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Screens, NotesOnOpenCellsOffscreenAndSync)
{
    Options options;
    options.extraCells = QStringLiteral("12 = board = 0, lock = 11\n");
    open(options);
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral(" "));
    EXPECT_EQ(window->labelSync->text(), QStringLiteral(" "));

    sim.setDoor(0, 2, true);
    sim.setDoor(0, 11, true);
    ASSERT_EVENTUALLY(core->cellsLogic.openCells().size() == 2, 3000);
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral("Opened cells: [3], [12]"));

    sim.setDoor(0, 0, true);
    sim.setDoor(0, 1, true);
    ASSERT_EVENTUALLY(core->cellsLogic.openCells().size() == 4, 3000);
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral("Opened 4 cells"));

    core->offscreenLogic.setEnabled(true);
    window->checkWorkable();
    EXPECT_EQ(window->labelNote->text(), QStringLiteral("Opened 4 cells\nOffscreen mode"));
    core->offscreenLogic.setEnabled(false);

    struct SyncCase
    {
        qint64 elapsed;
        const char* text;
    };
    core->server_lost_threshold = VXSystemTime::fromMin(2);
    for (const SyncCase& c : {SyncCase{119, " "}, SyncCase{120, "Last synchronization 2 minutes ago"},
                              SyncCase{179, "Last synchronization 2 minutes ago"},
                              SyncCase{600, "Last synchronization 10 minutes ago"}}) {
        window->lastSyncElapsedSeconds = [&c] { return c.elapsed; };
        window->checkWorkable();
        EXPECT_EQ(window->labelSync->text(), QLatin1String(c.text)) << c.elapsed;
    }
}

TEST_F(Screens, StatusBarShowsTheVersionOnlyForTheAdministrator)
{
    open();
    EXPECT_FALSE(window->widgetStatus->labelAdmin->isVisible());
    core->setActiveScreen(Constants::asAdministration);
    EXPECT_TRUE(window->widgetStatus->labelAdmin->isVisible());
    EXPECT_EQ(window->widgetStatus->labelAdmin->text(), QStringLiteral("Version 1.4.3 (build 117)"));
    core->setActiveScreen(Constants::asIdentifyUser);
    EXPECT_FALSE(window->widgetStatus->labelAdmin->isVisible());

    const QString before = QTime::currentTime().toString(QStringLiteral("hh:mm"));
    window->widgetStatus->updateStatus();
    const QString after = QTime::currentTime().toString(QStringLiteral("hh:mm"));
    const QString shown = window->widgetStatus->labelTime->text();
    EXPECT_TRUE(shown == before || shown == after) << shown.toStdString();
    EXPECT_EQ(window->widgetStatus->labelDate->text().size(), 10);
}

TEST_F(Screens, CtrlOAnywhereFlipsTheMonitorDetection)
{
    open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(core->monitor_detect_enabled.load());
    QTest::keyClick(window->pageStart, Qt::Key_O, Qt::ControlModifier);
    EXPECT_FALSE(core->monitor_detect_enabled.load());
    QTest::keyClick(window->pageStart, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(core->monitor_detect_enabled.load());
}

TEST_F(Screens, ClosingSavesTheLayoutAndStopsTheStation)
{
    open();
    EXPECT_EQ(window->sessionManager().entryCount(), 1);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(QFile::exists(QStringLiteral("session_vesk_station.conf")));
    EXPECT_EQ(core->dialog->parent(), nullptr);
    EXPECT_EQ(window->sessionManager().entryCount(), 0);
    ASSERT_EVENTUALLY(!core->cellController.isConnected(), 3000);
}

// Pictures of every screen of the main road, for a person to look at:
// written to the build tree's gallery folder.
class ScreenGallery : public Screens
{
protected:
    void shoot(const char* name)
    {
        QCoreApplication::processEvents();
        const QString dir = QStringLiteral(STATION_GALLERY_DIR);
        ASSERT_TRUE(QDir().mkpath(dir));
        const QString path = dir + QStringLiteral("/screen-") + QLatin1String(name) + QStringLiteral(".png");
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }

    Options galleryOptions(const QString& scanner)
    {
        Options options;
        options.scannerDevice = scanner;
        options.maxReturnDevice = QStringLiteral("2 min");
        options.maxTryOpenCell = QStringLiteral("5 s");
        options.extraCells = QStringLiteral("screen = 1,0,1,3\n"
                                            "4 = board = 0, lock = 3, row = 0, col = 2\n"
                                            "5 = board = 0, lock = 4, row = 1, col = 2\n"
                                            "6 = board = 0, lock = 5, row = 2, col = 2\n");
        return options;
    }
};

TEST_F(ScreenGallery, StartPages)
{
    PtyPair scanner;
    open(galleryOptions(scanner.path));
    window->resize(600, 896);
    ASSERT_EVENTUALLY(core->cellController.receiveQuality() >= 3, 3000);
    window->checkWorkable();
    ASSERT_EQ(window->stackedMainButtons->currentIndex(), 0);
    sim.setDoor(0, 2, true);
    ASSERT_EVENTUALLY(core->cellsLogic.openCells().size() == 1, 3000);
    window->checkWorkable();
    shoot("start");

    core->offscreen = true;
    window->updateStartPage();
    window->checkWorkable();
    shoot("start-offscreen");
    core->offscreen = false;

    for (BarCodeScanner* s : core->barCodeScanners)
        s->close();
    window->lastSyncElapsedSeconds = [] { return qint64(3600); };
    window->checkWorkable();
    ASSERT_EQ(window->stackedMainButtons->currentIndex(), 1);
    shoot("start-not-working");
}

TEST_F(ScreenGallery, RunPages)
{
    PtyPair scanner;
    open(galleryOptions(scanner.path));
    window->resize(600, 896);
    QTest::mouseClick(window->buttonReturnDevice, Qt::LeftButton);
    ASSERT_EQ(page(), Constants::asIdentifyUser);
    shoot("identify-user");

    core->cardReaded(QStringLiteral("89"));
    ASSERT_EQ(page(), Constants::asIdentifyDevice);
    shoot("identify-device");
    QTest::mouseClick(window->pageIdentifyDevice->buttonDeviceInput, Qt::LeftButton);
    window->pageIdentifyDevice->lineSearch->setText(QStringLiteral("SN"));
    shoot("identify-device-search");

    QTest::mouseClick(window->pageIdentifyDevice->buttonBack, Qt::LeftButton);
    DatabaseStructs::Device device = deviceRecord(20);
    sim.setJammed(0, 1, true);
    Q_EMIT core->deviceDetected(device);
    ASSERT_EQ(page(), Constants::asOpenCell);
    shoot("open-cell");

    sim.setJammed(0, 1, false);
    ASSERT_EVENTUALLY(page() == Constants::asCloseCell, 3000);
    shoot("close-cell");
}
