// The administration page's information and statistics tabs against a
// running station (the lock simulator, the fake back-end, a scanner on a
// pseudo-terminal), and the QR login codes made there: read by zbarimg and
// scanned back on the administrator's login, refused when they cannot carry
// the login and password, and gone once the page is left.

#include <atomic>

#include <QElapsedTimer>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>

#include "qr_oracle.h"
#include "readers/cryptography.h"
#include "ui/admin_page_fixture.h"
#include "vexo/image_view.h"
#include "vexo/state_icon.h"

namespace {
// The GUI thread's monotonic clock, put ahead while a GuiClockAhead lives;
// the station's other threads keep the real time. The page reads the uptime
// and the time since the last download on the GUI thread.
class GuiClock : public VXClock::Source
{
public:
    GuiClock() { steady.start(); }

    qint64 monotonicMSec() override
    {
        const bool gui = QThread::currentThread() == QCoreApplication::instance()->thread();
        return steady.elapsed() + offsetMs.load() + (gui ? aheadMs.load() : 0);
    }
    QDateTime now() override { return QDateTime::currentDateTime(); }

    // Ahead of the clock it replaces (which is read here) by this much.
    void putAhead(VXSystemTime ahead)
    {
        offsetMs = VXClock::monotonicMSec() - steady.elapsed();
        aheadMs = ahead.toMSec();
    }

private:
    QElapsedTimer steady;
    std::atomic<qint64> offsetMs{0};
    std::atomic<qint64> aheadMs{0};
};

// At namespace scope: the hub's threads read the clock at any time, also
// just after it is taken away again.
GuiClock guiClock;

class GuiClockAhead
{
public:
    explicit GuiClockAhead(VXSystemTime ahead)
    {
        guiClock.putAhead(ahead);
        VXClock::setSource(&guiClock);
    }
    ~GuiClockAhead()
    {
        VXClock::setSource(nullptr);
    }
};

// Collects what the program writes through Qt's message handler (the
// console), and passes it on.
class ConsoleCapture
{
public:
    ConsoleCapture()
    {
        {
            const QMutexLocker locker(&mutex);
            captured.clear();
        }
        previous = qInstallMessageHandler(&ConsoleCapture::handle);
    }
    ~ConsoleCapture() { qInstallMessageHandler(previous); }

    // A copy: the station's threads write too.
    static QStringList lines()
    {
        const QMutexLocker locker(&mutex);
        return captured;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        {
            const QMutexLocker locker(&mutex);
            captured.append(message);
        }
        previous(type, context, message);
    }
    static inline QtMessageHandler previous = nullptr;
    static inline QMutex mutex;
    static inline QStringList captured;
};

class AdminInfo : public AdminPageWithBackend
{
protected:
    void showTab(QWidget* tab)
    {
        page()->tabWidget->setCurrentWidget(tab);
        ASSERT_TRUE(tab->isVisible());
    }

    // The shown value of a state icon: "text icon".
    static QString shown(const StateIcon* icon) { return icon->text() + QLatin1Char(' ') + icon->iconPath(); }

    // Puts the login and the password into the fields and presses Generate.
    void generate(const QString& login, const QString& password)
    {
        showTab(page()->tabInformation);
        page()->lineQRLogin->setText(login);
        page()->lineQRPassword->setText(password);
        ASSERT_TRUE(page()->buttonQrGenerate->isVisible());
        QTest::mouseClick(page()->buttonQrGenerate, Qt::LeftButton);
    }

    // What zbarimg reads from a picture.
    static QByteArray decoded(const QPixmap& picture, const QString& name)
    {
        const QString path = name + QStringLiteral(".png");
        EXPECT_TRUE(picture.save(path)) << path.toStdString();
        return QrOracle::zbarDecode(path);
    }

    // No code text nor picture on the page.
    void expectNoCode() const
    {
        EXPECT_TRUE(page()->labelQRContent->text().isEmpty()) << page()->labelQRContent->text().toStdString();
        EXPECT_TRUE(page()->imageQR->pixmap().isNull());
    }

    // An administrator with that login and password (id 9).
    static void addAdministrator(const QString& login, const QString& password)
    {
        DatabaseStructs::User user;
        user.id = 9;
        user.name = QStringLiteral("Badge Holder");
        user.login = login;
        user.passwordHash = passwordHash(password.toLatin1());
        user.isAdmin = true;
        Database::instance()->addUser(user);
    }
};
} // namespace

// Three cells, device 12 in cell 1, a scanner and the back-end's login: the
// tab shows what the station knows and follows it once a second.
TEST_F(AdminInfo, InfoShowsTheRunningStation)
{
    TestSupport::PtyPair scanner;
    backendOptions.scannerDevice = scanner.path;
    backendOptions.extraCells = QStringLiteral("disconnect_timeout = 2 s\n");
    // Longer than the test: the inactivity time-out would hide the tab.
    backendOptions.gotoStart = QStringLiteral("60 s");
    pointId = 42;
    openWithBackend();
    StationAdminPage* p = page();
    showTab(p->tabInformation);

    EXPECT_EQ(p->labelVersionJALT->text(), QStringLiteral("5.6.1"));
    EXPECT_EQ(p->labelVersionVEXO->text(), QStringLiteral("2.32.2"));
    EXPECT_EQ(p->labelVersionQt->text(), QString::fromLatin1(qVersion()));
    EXPECT_EQ(p->labelVersionStation->text(), QStringLiteral("1.4.3"));
    EXPECT_EQ(p->labelStationID->text(), QStringLiteral("42"));
    EXPECT_EQ(p->labelCellsTotal->text(), QStringLiteral("3"));
    EXPECT_EQ(p->labelCellsOpened->text(), QStringLiteral("0"));
    EXPECT_EQ(p->labelCellsLocked->text(), QStringLiteral("0"));
    EXPECT_EQ(p->labelCellsDevices->text(), QStringLiteral("1"));
    EXPECT_EQ(p->labelCellsAvailableDevices->text(), QStringLiteral("1"));
    EXPECT_EQ(shown(p->stateCellsController), QStringLiteral("Good :/icons/led_on.png"));
    EXPECT_EQ(shown(p->stateBarcode), QStringLiteral("Opened :/icons/led_on.png"));
    EXPECT_EQ(shown(p->stateServer), QStringLiteral("Yes :/icons/led_on.png"));
    Database* db = Database::instance();
    ASSERT_GT(db->usersCount(), 0);
    EXPECT_EQ(p->labelUsersCount->text(), QString::number(db->usersCount()));
    EXPECT_EQ(p->labelDevicesCount->text(), QString::number(db->devicesCount()));
    // The download has just ended.
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^0:00:0\\d$")).match(p->labelLastSyncElapsed->text()).hasMatch())
        << p->labelLastSyncElapsed->text().toStdString();

    // A door opens, a cell is locked, a user comes, and the back-end is
    // down for the lock's record: the tab follows.
    FakeBackend::Behaviour down;
    down.status = 503;
    backend.setBehaviour(QString(), down);
    sim.setDoor(0, 1, true);
    ASSERT_TRUE(
        core->setCellBlocked(core->cellsLogic.getCellByNumber(3), true, QStringLiteral("Door is broken")));
    DatabaseStructs::User carl;
    carl.id = 30;
    carl.login = QStringLiteral("carl");
    db->addUser(carl);
    EXPECT_EVENTUALLY(p->labelCellsOpened->text() == QStringLiteral("1"), 3000);
    EXPECT_EVENTUALLY(p->labelCellsLocked->text() == QStringLiteral("1"), 3000);
    EXPECT_EVENTUALLY(p->labelUsersCount->text() == QString::number(db->usersCount()), 3000);
    EXPECT_EVENTUALLY(db->changesCount.load() >= 1
                          && p->labelQueuedChanges->text() == QString::number(db->changesCount.load()),
                      5000);
    EXPECT_EQ(p->labelQueuedLogs->text(), QString::number(db->logsCount.load()));

    // The controller stops answering: past the disconnect time-out the link
    // has failed.
    sim.dropAnswers(1000000);
    EXPECT_EVENTUALLY(shown(p->stateCellsController) == QStringLiteral("Failure :/icons/led_off.png"), 5000);
    sim.dropAnswers(0);
    EXPECT_EVENTUALLY(shown(p->stateCellsController) == QStringLiteral("Good :/icons/led_on.png"), 5000);

    // Ninety seconds after the start; a day, an hour and ten seconds after
    // the last download (the hours go on past the day there).
    core->uptime.reset();
    {
        const GuiClockAhead later(VXSystemTime::fromSec(90));
        p->updateInfo();
    }
    EXPECT_EQ(p->labelUptime->text(), QStringLiteral("0 d  0:01:30"));
    // Again: a loaded machine may have let a second pass since.
    core->uptime.reset();
    {
        const GuiClockAhead later(VXSystemTime::fromSec(90000));
        p->updateInfo();
    }
    EXPECT_EQ(p->labelUptime->text(), QStringLiteral("1 d  1:00:00"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^25:0[01]:\\d\\d$"))
                    .match(p->labelLastSyncElapsed->text())
                    .hasMatch())
        << p->labelLastSyncElapsed->text().toStdString();
}

// Neither a scanner nor a back-end: closed and not authorized.
TEST_F(AdminInfo, InfoShowsWhatIsMissing)
{
    openAdministration();
    showTab(page()->tabInformation);
    EXPECT_EQ(shown(page()->stateBarcode), QStringLiteral("Closed :/icons/led_off.png"));
    EXPECT_EQ(shown(page()->stateServer), QStringLiteral("No :/icons/led_off.png"));
    EXPECT_EQ(page()->labelStationID->text(), QStringLiteral("0"));
    EXPECT_EQ(page()->labelQueuedChanges->text(), QStringLiteral("0"));
    // The link's qualities as the form names them.
    const char* const qualities[] = {"Unknown :/icons/led_gray.png", "Failure :/icons/led_off.png",
                                     "Bad :/icons/led_3.png", "Average :/icons/led_3.png",
                                     "Good :/icons/led_on.png"};
    for (int quality = 1; quality <= 5; ++quality) {
        page()->stateCellsController->setState(quality);
        EXPECT_EQ(shown(page()->stateCellsController), QLatin1String(qualities[quality - 1])) << quality;
    }
}

// The controller's counters grow with every poll; the page shows them
// while the tab shows, and from the moment it shows.
TEST_F(AdminInfo, StatisticsChangeOnlyWhileShown)
{
    Options options;
    options.gotoStart = QStringLiteral("60 s");
    openAdministration(options);
    StationAdminPage* p = page();
    const CellController& controller = core->cellController;
    const CellsLogic& cells = core->cellsLogic;
    const auto counters = [&] {
        return QVector<int>{
            controller.counterReconnects(), controller.counterRequests(), controller.counterAnswers(),
            controller.counterCommands(),   core->counterDeviceTaken(),   core->counterDeviceReturned(),
            cells.counterOpenAll(),         cells.counterOpenOk(),        cells.counterOpenFail(),
            cells.counterCloseAll(),        cells.counterCloseOk(),       cells.counterCloseFail()};
    };
    const auto labels = [p] {
        QVector<int> values;
        for (QLabel* label :
             {p->labelStatCellsReconnects, p->labelStatCellsRequests, p->labelStatCellsAnswers,
              p->labelStatCellsCommands, p->labelStatDevicesTaken, p->labelStatDevicesReturned,
              p->labelStatLogicOpenAll, p->labelStatLogicOpenOk, p->labelStatLogicOpenFail,
              p->labelStatLogicCloseAll, p->labelStatLogicCloseOk, p->labelStatLogicCloseFail})
            values.append(label->text().toInt());
        return values;
    };
    // The administrator takes the device of cell 1 from its details; the
    // polls go on meanwhile.
    const QVector<int> atEnter = labels();
    QTest::mouseClick(cellButton(1), Qt::LeftButton);
    ASSERT_EQ(p->tabWidget->currentWidget(), p->tabCellDetails);
    QTest::mouseClick(p->buttonCellGive, Qt::LeftButton);
    ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1 && Screens::page() == Constants::asAdministration, 3000);
    ASSERT_EQ(core->counterDeviceTaken(), 1);
    QTest::qWait(1200);
    ASSERT_GT(controller.counterRequests(), atEnter[1]);
    EXPECT_EQ(labels(), atEnter);

    const QVector<int> before = counters();
    showTab(p->tabStatistics);
    const QVector<int> shownNow = labels();
    const QVector<int> after = counters();
    for (int i = 0; i < before.size(); ++i) {
        EXPECT_LE(before[i], shownNow[i]) << i;
        EXPECT_LE(shownNow[i], after[i]) << i;
    }
    for (QLabel* label : {p->labelStatDevicesTaken, p->labelStatLogicOpenAll, p->labelStatLogicOpenOk,
                          p->labelStatLogicCloseAll, p->labelStatLogicCloseOk})
        EXPECT_EQ(label->text(), QStringLiteral("1")) << label->objectName().toStdString();
    EXPECT_EQ(p->labelStatLogicOpenFail->text(), QStringLiteral("0"));
    // Shown, the counts follow every second.
    EXPECT_EVENTUALLY(p->labelStatCellsRequests->text().toInt() > after[1], 2500);
}

struct CodeSizeCase
{
    const char* name;
    QString login;
    QString password;
    QByteArray plain;
    int base64Length;
    int symbolSize; // modules a side: version 2 holds 26 bytes at level M, 4 holds 62
};

class AdminInfoCodeSize : public AdminInfo, public ::testing::WithParamInterface<CodeSizeCase>
{
};

// The code of a login and a password: the plain bytes in one or more cipher
// blocks, their Base64 text on the page and in the picture, which has a
// quiet zone four modules wide and eight pixels a module.
TEST_P(AdminInfoCodeSize, CodeCarriesTheLoginAndPassword)
{
    const CodeSizeCase& c = GetParam();
    openAdministration();
    generate(c.login, c.password);
    const QString text = page()->labelQRContent->text();
    ASSERT_EQ(text.size(), c.base64Length) << text.toStdString();
    const QByteArray cipher = QByteArray::fromBase64(text.toLatin1());
    EXPECT_EQ(cipher.size(), (c.plain.size() / 16 + 1) * 16);
    EXPECT_EQ(qrCodeDecrypt(cipher), c.plain);
    const QPixmap picture = page()->imageQR->pixmap();
    EXPECT_EQ(picture.size(), QSize(c.symbolSize + 8, c.symbolSize + 8) * 8);
    EXPECT_EQ(decoded(picture, QStringLiteral("code")), text.toLatin1());
    // As the screen shows it, scaled to its room.
    EXPECT_EQ(decoded(page()->imageQR->grab(), QStringLiteral("screen")), text.toLatin1());
    EXPECT_TRUE(messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminInfoCodeSize,
                         ::testing::Values(CodeSizeCase{"FourLetterLoginOneLetterPassword", "anna", "x",
                                                        QByteArray("anna\nx\0", 7), 24, 25},
                                           CodeSizeCase{"EmptyPassword", "anna", "",
                                                        QByteArray("anna\n\0", 6), 24, 25},
                                           CodeSizeCase{"TwoBlocks", "aberg", "Winter-2027",
                                                        QByteArray("aberg\nWinter-2027\0", 18), 44, 33}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ScanBackCase
{
    const char* name;
    QString login;
    QString password;
};

class AdminInfoScanBack : public AdminInfo, public ::testing::WithParamInterface<ScanBackCase>
{
};

// What zbarimg reads from the page's code, scanned on the administrator's
// login, logs that administrator in.
TEST_P(AdminInfoScanBack, CodeLogsItsAdministratorIn)
{
    const ScanBackCase& c = GetParam();
    openAdministration();
    addAdministrator(c.login, c.password);
    generate(c.login, c.password);
    const QByteArray read = decoded(page()->imageQR->pixmap(), QStringLiteral("badge"));
    ASSERT_EQ(read, page()->labelQRContent->text().toLatin1());

    QTest::mouseClick(page()->buttonBack, Qt::LeftButton);
    QTest::mouseClick(page()->buttonBack, Qt::LeftButton);
    ASSERT_EQ(Screens::page(), Constants::asStart);
    window->adminRequest();
    ASSERT_EQ(Screens::page(), Constants::asAdminLogin);
    ASSERT_EQ(core->qrMode(), Constants::qmUser);
    core->barCodeReaded(read + "\r");
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(page()->adminUser.id, 9);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminInfoScanBack,
                         ::testing::Values(ScanBackCase{"Ascii", "badge", "Sesame-7"},
                                           ScanBackCase{"AccentedLatin1", QStringLiteral("jos\u00e9"),
                                                        QStringLiteral("caf\u00e9 cr\u00e8me")}),
                         [](const auto& info) { return std::string(info.param.name); });

// More than a symbol holds: the page says so, shows no code, and makes the
// next one.
TEST_F(AdminInfo, TooLongForACodeSaysSoAndThePageGoesOn)
{
    openAdministration();
    generate(QStringLiteral("anna"), QStringLiteral("x"));
    ASSERT_FALSE(page()->imageQR->pixmap().isNull());
    {
        DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
        generate(QString(1800, QLatin1Char('a')), QStringLiteral("x"));
        ASSERT_TRUE(ok.answered);
        EXPECT_EQ(ok.title, QStringLiteral("QR for login"));
        EXPECT_EQ(ok.text, QStringLiteral("The login and the password are too long for a QR code."));
        EXPECT_FALSE(ok.cancelShown);
    }
    expectNoCode();
    EXPECT_EQ(Screens::page(), Constants::asAdministration);
    EXPECT_EQ(page()->tabWidget->currentWidget(), page()->tabInformation);

    generate(QStringLiteral("anna"), QStringLiteral("x"));
    EXPECT_EQ(page()->labelQRContent->text().size(), 24);
    EXPECT_EQ(decoded(page()->imageQR->pixmap(), QStringLiteral("next")),
              page()->labelQRContent->text().toLatin1());
    EXPECT_EQ(messages.size(), 1);
}

struct RefusedCase
{
    const char* name;
    QString login;
    QString password;
    const char* message; // how the notice begins
};

class AdminInfoRefused : public AdminInfo, public ::testing::WithParamInterface<RefusedCase>
{
};

// As Latin-1 bytes such a character would be "?", a line feed or a zero
// byte would end the login or the password early, and the station trims
// the code it reads: the code would carry another login or password than
// the one typed, or none.
TEST_P(AdminInfoRefused, WhatACodeCannotCarryIsRefused)
{
    const RefusedCase& c = GetParam();
    openAdministration();
    generate(QStringLiteral("anna"), QStringLiteral("x"));
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    generate(c.login, c.password);
    ASSERT_TRUE(ok.answered);
    EXPECT_EQ(ok.title, QStringLiteral("QR for login"));
    EXPECT_TRUE(ok.text.startsWith(QLatin1String(c.message))) << ok.text.toStdString();
    expectNoCode();
    EXPECT_EQ(page()->lineQRLogin->text(), c.login);
    EXPECT_EQ(page()->lineQRPassword->text(), c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AdminInfoRefused,
    ::testing::Values(RefusedCase{"EuroSignInPassword", "anna", QStringLiteral("Pa\u20acs"),
                                  "The password holds a character"},
                      RefusedCase{"CyrillicLogin", QStringLiteral("\u0430\u043d\u043d\u0430"), "x",
                                  "The login holds a character"},
                      RefusedCase{"LineFeedInPassword", "anna", "pa\nss", "The password holds a character"},
                      RefusedCase{"ZeroInLogin", QString::fromLatin1("an\0na", 5), "x",
                                  "The login holds a character"},
                      RefusedCase{"EmptyLogin", "", "x", "A QR login code needs a login."},
                      RefusedCase{"EmptyLoginAndPassword", "", "", "A QR login code needs a login."},
                      RefusedCase{"BlankBeforeLogin", " anna", "x", "The login starts or ends with a blank"},
                      RefusedCase{"TabAfterLogin", "anna\t", "x", "The login starts or ends with a blank"}),
    [](const auto& info) { return std::string(info.param.name); });

// The code text is the password to anyone with the station's key: neither
// goes to the console, the log files or a record for the back-end.
TEST_F(AdminInfo, NeitherThePasswordNorTheCodeIsLogged)
{
    openWithBackend();
    const QString password = QStringLiteral("Quartz-Lamp-93");
    QString code;
    {
        const ConsoleCapture console;
        generate(QStringLiteral("anna"), password);
        code = page()->labelQRContent->text();
        ASSERT_EQ(code.size(), 44);
        QTest::mouseClick(page()->buttonBack, Qt::LeftButton);
        QTest::mouseClick(page()->buttonBack, Qt::LeftButton);
        ASSERT_EQ(Screens::page(), Constants::asStart);
        QStringList made = ConsoleCapture::lines().filter(QStringLiteral("qr for"));
        EXPECT_EQ(made.size(), 1);
        for (const QString& line : ConsoleCapture::lines()) {
            EXPECT_FALSE(line.contains(password)) << line.toStdString();
            EXPECT_FALSE(line.contains(code)) << line.toStdString();
        }
    }
    expectNowhere(password);
    expectNowhere(code);
}

struct LeaveCase
{
    const char* name;
    std::function<void(AdminInfo*, StationAdminPage*)> leave;
    int screen;
};

class AdminInfoLeave : public AdminInfo, public ::testing::WithParamInterface<LeaveCase>
{
public:
    void leaveThePage() { GetParam().leave(this, page()); }
    void waitForStart()
    {
        // Typing restarts the inactivity time-out, as a click does.
        ASSERT_EVENTUALLY(core->remainsGoToStartTimer() < 700, 3000);
        QTest::keyClicks(page()->lineQRPassword, QStringLiteral("!"));
        EXPECT_GT(core->remainsGoToStartTimer(), 1000);
        ASSERT_EVENTUALLY(Screens::page() == Constants::asStart, 3000);
    }
    void issueFromDetails()
    {
        page()->tabWidget->setCurrentWidget(page()->tabCellsView);
        QTest::mouseClick(cellButton(1), Qt::LeftButton);
        QTest::mouseClick(page()->buttonCellGive, Qt::LeftButton);
        ASSERT_EVENTUALLY(Screens::page() == Constants::asCloseCell, 3000);
    }
};

// However the page is left, the next one at the cabinet finds neither the
// login and password nor the code.
TEST_P(AdminInfoLeave, LeavingThePageTakesTheCodeAlong)
{
    Options options;
    options.gotoStart = QStringLiteral("1500 ms");
    openAdministration(options);
    // Typed, so that the fields keep an undo history.
    showTab(page()->tabInformation);
    QTest::keyClicks(page()->lineQRLogin, QStringLiteral("anna"));
    QTest::keyClicks(page()->lineQRPassword, QStringLiteral("Quartz-Lamp-93"));
    QTest::mouseClick(page()->buttonQrGenerate, Qt::LeftButton);
    ASSERT_FALSE(page()->labelQRContent->text().isEmpty());
    leaveThePage();
    EXPECT_EQ(Screens::page(), GetParam().screen);
    for (QLineEdit* field : {page()->lineQRLogin, page()->lineQRPassword}) {
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
        // Nor does an undo bring them back.
        field->undo();
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
    }
    expectNoCode();
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminInfoLeave,
                         ::testing::Values(LeaveCase{"Back",
                                                     [](AdminInfo*, StationAdminPage* p) {
                                                         QTest::mouseClick(p->buttonBack, Qt::LeftButton);
                                                         QTest::mouseClick(p->buttonBack, Qt::LeftButton);
                                                     },
                                                     Constants::asStart},
                                           LeaveCase{"InactivityTimeOut",
                                                     [](AdminInfo* t, StationAdminPage*) {
                                                         static_cast<AdminInfoLeave*>(t)->waitForStart();
                                                     },
                                                     Constants::asStart},
                                           LeaveCase{"IssueOfACellsDevice",
                                                     [](AdminInfo* t, StationAdminPage*) {
                                                         static_cast<AdminInfoLeave*>(t)->issueFromDetails();
                                                     },
                                                     Constants::asCloseCell}),
                         [](const auto& info) { return std::string(info.param.name); });
