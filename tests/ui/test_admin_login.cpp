// The administrator login through the kiosk's window: the start page's hot
// zone, typed credentials, cards and QR login codes, and the ways back to
// the start page. The password hashes are made here by OpenSSL.

#include <functional>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "readers/barcodescanner.h"
#include "readers/cryptography.h"
#include "storage/database.h"
#include "support/dialog_answer.h"
#include "ui/dialog.h"
#include "ui/screens_fixture.h"

namespace {
const QByteArray rootPassword = "Sesame-7";

DatabaseStructs::User administrator(int id, const char* login, const char* card, bool blocked)
{
    DatabaseStructs::User user;
    user.id = id;
    user.name = QStringLiteral("Admin %1").arg(id);
    user.login = QLatin1String(login);
    user.personNumber = QLatin1String(card);
    user.passwordHash = passwordHash(rootPassword);
    user.isAdmin = true;
    user.isBlocked = blocked;
    return user;
}

class AdminLogin : public Screens
{
protected:
    // The workflows' users (anna, 4, card 89; bob, blocked) and two
    // administrators with the password "Sesame-7": root (7, card 55) and
    // the blocked locked (8, card 66).
    void openWithAdministrators(const Options& options = Options())
    {
        open(options);
        if (HasFatalFailure())
            return;
        Database* db = Database::instance();
        db->lock();
        db->addUser(administrator(7, "root", "55", false));
        db->addUser(administrator(8, "locked", "66", true));
        db->unlock();
    }

    // Presses the start page's logo where a person would to reach the login:
    // in the upper half of its right fifth.
    void pressHotZone()
    {
        ASSERT_EQ(page(), Constants::asStart);
        const QPoint spot(window->imageView->width() * 9 / 10, window->imageView->height() / 4);
        QWidget* hit = window->childAt(window->imageView->mapTo(window.get(), spot));
        ASSERT_EQ(hit, window->widgetGotoAdmin);
        QTest::mouseClick(hit, Qt::LeftButton);
    }

    void type(const QString& login, const QString& password)
    {
        QTest::keyClicks(window->lineAdminLogin, login);
        QTest::keyClicks(window->lineAdminPassword, password);
    }

    void clickLogin() { QTest::mouseClick(window->buttonAdminLogin, Qt::LeftButton); }

    int adminEntered() const { return window->pageAdministration->adminUser.id; }
};
} // namespace

TEST_F(AdminLogin, HotZoneOpensAnEmptyLoginPage)
{
    openWithAdministrators();
    activate();
    pressHotZone();
    ASSERT_EQ(page(), Constants::asAdminLogin);
    EXPECT_EQ(core->activeScreen(), Constants::asAdminLogin);
    EXPECT_EQ(core->qrMode(), Constants::qmUser);
    EXPECT_EQ(window->focusWidget(), window->lineAdminLogin);
    EXPECT_TRUE(window->lineAdminLogin->hasFocus());
    // Not configured: the screen keyboard stays away from the field.
    EXPECT_FALSE(window->virtualKeyboard->isEnabled());
    EXPECT_FALSE(window->virtualKeyboard->isVisible());
    EXPECT_TRUE(window->lineAdminLogin->text().isEmpty());
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
    EXPECT_EQ(window->lineAdminPassword->echoMode(), QLineEdit::Password);

    // No login, no check: Enter in the password field clicks a disabled
    // button.
    EXPECT_FALSE(window->buttonAdminLogin->isEnabled());
    QTest::keyClicks(window->lineAdminPassword, QString::fromLatin1(rootPassword));
    QTest::keyClick(window->lineAdminPassword, Qt::Key_Return);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(page(), Constants::asAdminLogin);

    // Enter in the login field moves on to the password; Enter there logs in.
    QTest::keyClicks(window->lineAdminLogin, QStringLiteral("root"));
    EXPECT_TRUE(window->buttonAdminLogin->isEnabled());
    QTest::keyClick(window->lineAdminLogin, Qt::Key_Return);
    EXPECT_EQ(window->focusWidget(), window->lineAdminPassword);
    QTest::keyClick(window->lineAdminPassword, Qt::Key_Return);
    EXPECT_EQ(page(), Constants::asAdministration);
    EXPECT_EQ(adminEntered(), 7);
}

struct TypedCase
{
    const char* name;
    QString login;
    QString password;
    const char* message; // nullptr: the administration page opens
};

class AdminLoginTyped : public AdminLogin, public ::testing::WithParamInterface<TypedCase>
{
};

TEST_P(AdminLoginTyped, ChecksLoginAdministratorPasswordAndBlock)
{
    const TypedCase& c = GetParam();
    openWithAdministrators();
    // Latin-1 has no euro sign: as Latin-1 bytes "Pa\u20acs" would be "Pa?s".
    DatabaseStructs::User euro = administrator(9, "euro", "99", false);
    euro.passwordHash = passwordHash("Pa?s");
    Database::instance()->addUser(euro);
    pressHotZone();
    ASSERT_EQ(page(), Constants::asAdminLogin);
    window->lineAdminLogin->setText(c.login);
    window->lineAdminPassword->setText(c.password);

    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    clickLogin();
    if (!c.message) {
        EXPECT_FALSE(ok.answered);
        EXPECT_EQ(page(), Constants::asAdministration);
        EXPECT_EQ(adminEntered(), Database::instance()->userByLogin(c.login).id);
        EXPECT_EQ(window->pageDeviceProblem->currentUser.login, c.login);
        EXPECT_EQ(core->qrMode(), Constants::qmNone);
    } else {
        EXPECT_EQ(messages, QStringList{QStringLiteral("Login: ") + QLatin1String(c.message)});
        EXPECT_EQ(page(), Constants::asAdminLogin);
        EXPECT_EQ(adminEntered(), -1);
        EXPECT_EQ(window->lineAdminLogin->text(), c.login);
        EXPECT_EQ(window->lineAdminPassword->text(), c.password);
        QTest::mouseClick(window->buttonAdminLoginCancel, Qt::LeftButton);
        EXPECT_EQ(page(), Constants::asStart);
    }
    // The password goes with the page.
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
    expectNowhere(c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AdminLoginTyped,
    ::testing::Values(TypedCase{"RightPassword", "root", "Sesame-7", nullptr},
                      TypedCase{"UnknownLogin", "rooth", "Sesame-7", "User not found!"},
                      TypedCase{"NotAnAdministrator", "anna", "Sesame-7", "User is not admin!"},
                      TypedCase{"WrongPassword", "root", "Sesame-8", "Incorrect password!"},
                      TypedCase{"LoginIsCaseSensitive", "Root", "Sesame-7", "User not found!"},
                      TypedCase{"BlockedAdministrator", "locked", "Sesame-7", "User is blocked"},
                      TypedCase{"BlockedWithWrongPassword", "locked", "Sesame-8", "Incorrect password!"},
                      TypedCase{"CharacterOutsideLatin1", "euro", QStringLiteral("Pa\u20acs"),
                                "Incorrect password!"},
                      TypedCase{"QuestionMarkItself", "euro", "Pa?s", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdminLogin, CardFillsTheLoginAndThePasswordDecides)
{
    openWithAdministrators();
    // Identification on another screen leaves the login page alone.
    Q_EMIT core->loginSuccessful(Database::instance()->userByID(7), QString::fromLatin1(rootPassword));
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_TRUE(window->lineAdminLogin->text().isEmpty());

    pressHotZone();
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    core->cardReaded(QStringLiteral("55"));
    EXPECT_EQ(messages, QStringList{"Login: Incorrect password!"});
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
    EXPECT_EQ(page(), Constants::asAdminLogin);
}

TEST_F(AdminLogin, QrLoginCodeOpensTheAdministrationUnlessBlocked)
{
    openWithAdministrators();
    pressHotZone();
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    core->barCodeReaded(qrLoginEncrypt(QStringLiteral("locked"), QString::fromLatin1(rootPassword)));
    EXPECT_EQ(messages, QStringList{"Login: User is blocked"});
    EXPECT_EQ(page(), Constants::asAdminLogin);

    core->barCodeReaded(qrLoginEncrypt(QStringLiteral("root"), QString::fromLatin1(rootPassword)));
    EXPECT_EQ(page(), Constants::asAdministration);
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
}

// While a failed check's message is up, a card, a code or the Enter key
// start no second check inside it.
TEST_F(AdminLogin, InputDuringTheMessageRunsNoCheck)
{
    openWithAdministrators();
    pressHotZone();
    type(QStringLiteral("root"), QStringLiteral("wrong"));
    DialogAnswer ok(core->dialog, [this](StationDialog* dialog) {
        core->cardReaded(QStringLiteral("55"));
        core->barCodeReaded(qrLoginEncrypt(QStringLiteral("root"), QString::fromLatin1(rootPassword)));
        QTest::keyClick(window->lineAdminPassword, Qt::Key_Return);
        DialogAnswer::clickOk()(dialog);
    });
    clickLogin();
    ASSERT_TRUE(ok.answered);
    EXPECT_EQ(messages, QStringList{"Login: Incorrect password!"});
    EXPECT_EQ(page(), Constants::asAdminLogin);
    EXPECT_EQ(adminEntered(), -1);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    EXPECT_EQ(window->lineAdminPassword->text(), QStringLiteral("wrong"));
}

// A scan that is no login code, while a failed check's message shows,
// replaces it with its own; Ok on that leaves the administrator on the
// login page, as Ok on the first would.
TEST_F(AdminLogin, StrayCodeDuringTheMessageKeepsTheLoginPage)
{
    openWithAdministrators();
    pressHotZone();
    type(QStringLiteral("root"), QStringLiteral("wrong"));
    QString replacedBy;
    DialogAnswer stray(core->dialog, [this, &replacedBy](StationDialog*) {
        DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
        core->barCodeReaded(QByteArray("no login code\r"));
        EXPECT_TRUE(ok.answered);
        replacedBy = ok.title + QStringLiteral(": ") + ok.text;
    });
    clickLogin();
    ASSERT_TRUE(stray.answered);
    EXPECT_EQ(stray.text, QStringLiteral("Incorrect password!"));
    EXPECT_EQ(replacedBy, QStringLiteral("User scan: Invalid code!"));
    EXPECT_EQ(page(), Constants::asAdminLogin);
    EXPECT_EQ(core->qrMode(), Constants::qmUser);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    EXPECT_EQ(window->lineAdminPassword->text(), QStringLiteral("wrong"));
    EXPECT_GT(core->remainsGoToStartTimer(), 0);

    window->lineAdminPassword->setText(QString::fromLatin1(rootPassword));
    clickLogin();
    EXPECT_EQ(page(), Constants::asAdministration);
    EXPECT_EQ(adminEntered(), 7);
}

// A card or login code that names nobody is told as a typed unknown login
// is; the fields stay as they were.
struct UnknownCase
{
    const char* name;
    std::function<void(StationCore*)> identify;
};

class AdminLoginUnknown : public AdminLogin, public ::testing::WithParamInterface<UnknownCase>
{
};

TEST_P(AdminLoginUnknown, SaysUserNotFound)
{
    openWithAdministrators();
    pressHotZone();
    type(QStringLiteral("root"), QStringLiteral("half"));
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    GetParam().identify(core);
    ASSERT_TRUE(ok.answered);
    EXPECT_EQ(messages, QStringList{"Login: User not found!"});
    EXPECT_EQ(page(), Constants::asAdminLogin);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    EXPECT_EQ(window->lineAdminPassword->text(), QStringLiteral("half"));
    EXPECT_EQ(adminEntered(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AdminLoginUnknown,
    ::testing::Values(UnknownCase{"Card", [](StationCore* c) { c->cardReaded(QStringLiteral("12345")); }},
                      UnknownCase{"LoginCode",
                                  [](StationCore* c) {
                                      c->barCodeReaded(
                                          qrLoginEncrypt(QStringLiteral("nobody"), QStringLiteral("pw")));
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdminLogin, CancelGoesBackToTheStartPage)
{
    openWithAdministrators();
    pressHotZone();
    type(QStringLiteral("root"), QStringLiteral("wrong"));
    QTest::mouseClick(window->buttonAdminLoginCancel, Qt::LeftButton);
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());

    // Cancel on a message leaves the login page too; the next entry starts
    // with empty fields.
    pressHotZone();
    EXPECT_TRUE(window->lineAdminLogin->text().isEmpty());
    type(QStringLiteral("root"), QStringLiteral("wrong"));
    DialogAnswer cancel(core->dialog, DialogAnswer::clickCancel());
    clickLogin();
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(cancel.text, QStringLiteral("Incorrect password!"));
    EXPECT_EQ(page(), Constants::asStart);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
}

TEST_F(AdminLogin, IdleLoginPageReturnsToTheStart)
{
    Options options;
    options.gotoStart = QStringLiteral("300 ms");
    openWithAdministrators(options);
    pressHotZone();
    type(QStringLiteral("root"), QStringLiteral("half"));
    ASSERT_EVENTUALLY(page() == Constants::asStart, 3000);
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(core->qrMode(), Constants::qmNone);
    EXPECT_TRUE(window->lineAdminPassword->text().isEmpty());
}

// With unsafe_admin the hot zone leads straight to the administration, for
// the first administrator or, without one, for nobody.
class AdminLoginUnsafe : public AdminLogin, public ::testing::WithParamInterface<bool>
{
};

TEST_P(AdminLoginUnsafe, EntersWithoutPassword)
{
    const bool withAdministrators = GetParam();
    Options options;
    options.extraCells = QStringLiteral("[interface]\nunsafe_admin = true\n");
    if (withAdministrators)
        openWithAdministrators(options);
    else
        open(options);
    pressHotZone();
    EXPECT_EQ(page(), Constants::asAdministration);
    EXPECT_EQ(adminEntered(), withAdministrators ? 7 : -1);
    EXPECT_TRUE(messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, AdminLoginUnsafe, ::testing::Values(true, false), [](const auto& info) {
    return std::string(info.param ? "FirstAdministrator" : "NoAdministrator");
});

// A station with a keyboard-wedge scanner, on the administrator's login.
class AdminLoginWithWedge : public AdminLogin
{
protected:
    // The login page reached through the hot zone, the focus in the login.
    void openLoginPage(bool screenKeyboard)
    {
        Options options = screenKeyboard ? withScreenKeyboard() : Options();
        options.scannerDevice = QStringLiteral("hid");
        openWithAdministrators(options);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(core->barCodeScanners.size(), 1);
        packets = std::make_unique<QSignalSpy>(core->barCodeScanners.first(), &BarCodeScanner::dataReaded);
        activate();
        ASSERT_FALSE(HasFatalFailure());
        pressHotZone();
        ASSERT_EQ(page(), Constants::asAdminLogin);
        ASSERT_EQ(core->qrMode(), Constants::qmUser);
        ASSERT_TRUE(window->lineAdminLogin->hasFocus());
        ASSERT_EQ(window->virtualKeyboard->isVisible(), screenKeyboard);
    }

    std::unique_ptr<QSignalSpy> packets;
};

// The screen keyboard on the login page, with a keyboard-wedge scanner
// beside it: in QR mode 1 the scanner reads while the keyboard is hidden and
// leaves the keys alone while it shows.
class AdminLoginOnScreen : public AdminLoginWithWedge
{
protected:
    void SetUp() override { openLoginPage(true); }
};

TEST_F(AdminLoginOnScreen, LoginAndPasswordAreTypedOnTheKeys)
{
    // A login opens on the Latin letters with a capital first; shift takes
    // it back.
    EXPECT_EQ(keyboardPage(), QStringLiteral("latin"));
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlShift);
    tapKeys({QStringLiteral("r"), QStringLiteral("o"), QStringLiteral("o"), QStringLiteral("t")});
    ASSERT_EVENTUALLY(window->lineAdminLogin->text() == QStringLiteral("root"), 2000);
    EXPECT_TRUE(window->buttonAdminLogin->isEnabled());
    // Return moves on to the password, which opens in small letters.
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlReturn);
    ASSERT_EVENTUALLY(window->lineAdminPassword->hasFocus(), 2000);
    EXPECT_TRUE(window->virtualKeyboard->isVisible());
    EXPECT_EQ(keyboardPage(), QStringLiteral("latin"));
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlShift);
    tapKeys({QStringLiteral("S"), QStringLiteral("e"), QStringLiteral("s"), QStringLiteral("a"),
             QStringLiteral("m"), QStringLiteral("e"), QStringLiteral("123"), QStringLiteral("-"),
             QStringLiteral("7")});
    ASSERT_EVENTUALLY(window->lineAdminPassword->text() == QString::fromLatin1(rootPassword), 2000);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    // Return on the password logs in.
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlReturn);
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 2000);
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(packets->count(), 0);
    EXPECT_EVENTUALLY(!window->virtualKeyboard->isVisible(), 2000);
    expectNowhere(QString::fromLatin1(rootPassword));
}

TEST_F(AdminLoginOnScreen, ScannerReadsOnlyWhileTheKeyboardIsHidden)
{
    // Shown: the scanner's keys are typing, into the field.
    QTest::keyClicks(window->lineAdminLogin, QStringLiteral("ab"));
    QTest::keyClick(window->lineAdminLogin, Qt::Key_Return);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("ab"));
    EXPECT_TRUE(window->lineAdminPassword->hasFocus());
    window->lineAdminLogin->setFocus();
    ASSERT_TRUE(window->virtualKeyboard->isVisible());

    // Hidden by its own key, the focus still in the field: a scan is a
    // packet, and a login code a login.
    tapKeyOfRole(VirtualKeyboardLayoutPage::rlHide);
    ASSERT_EVENTUALLY(!window->virtualKeyboard->isVisible(), 2000);
    ASSERT_TRUE(window->lineAdminLogin->hasFocus());
    const QString code =
        QString::fromLatin1(qrLoginEncrypt(QStringLiteral("root"), QString::fromLatin1(rootPassword)));
    QTest::keyClicks(window->lineAdminLogin, code);
    QTest::keyClick(window->lineAdminLogin, Qt::Key_Return);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("ab"));
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 3000);
    ASSERT_EQ(packets->count(), 1);
    EXPECT_EQ(packets->at(0).at(0).toByteArray(), code.toLatin1() + "\r");
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(messages.isEmpty());
}

// A station with a keyboard of its own beside a keyboard-wedge scanner and
// no screen keyboard: the keys typed by a person reach the login page's
// fields, a code typed at a scanner's pace is read as a code.
class AdminLoginOwnKeyboard : public AdminLoginWithWedge
{
protected:
    void SetUp() override { openLoginPage(false); }

    QWindow* keys() const { return window->windowHandle(); }
};

TEST_F(AdminLoginOwnKeyboard, TypedLoginAndPasswordLogIn)
{
    DialogAnswer ok(core->dialog, DialogAnswer::clickOk());
    KeyboardKeys::typeOn(keys(), QStringLiteral("root"), KeyboardKeys::personGapMs);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    KeyboardKeys::pressOn(keys(), Qt::Key_Return, KeyboardKeys::personGapMs);
    ASSERT_TRUE(window->lineAdminPassword->hasFocus());
    KeyboardKeys::typeOn(keys(), QString::fromLatin1(rootPassword), KeyboardKeys::personGapMs);
    EXPECT_EQ(window->lineAdminPassword->text(), QString::fromLatin1(rootPassword));
    KeyboardKeys::pressOn(keys(), Qt::Key_Return, KeyboardKeys::personGapMs);
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 2000);
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_FALSE(ok.answered) << ok.text.toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(packets->count(), 0);
}

TEST_F(AdminLoginOwnKeyboard, CodeAtAScannersPaceLogsIn)
{
    // Half a login typed first stays the person's.
    KeyboardKeys::typeOn(keys(), QStringLiteral("ro"), KeyboardKeys::personGapMs);
    const QString code =
        QString::fromLatin1(qrLoginEncrypt(QStringLiteral("root"), QString::fromLatin1(rootPassword)));
    KeyboardKeys::typeOn(keys(), code, 0);
    KeyboardKeys::pressOn(keys(), Qt::Key_Return, 0);
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 3000);
    ASSERT_EQ(packets->count(), 1);
    EXPECT_EQ(packets->at(0).at(0).toByteArray(), code.toLatin1() + "\r");
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

namespace {
// Stamps of key events start here in the tests that stamp their own keys.
const unsigned long firstStampMs = 100000;
} // namespace

// A person's last character and a quick Return make a burst, but one far
// shorter than any code the station reads: both are the person's.
TEST_F(AdminLoginOwnKeyboard, LastCharacterAndAQuickReturnAreTyping)
{
    const int personMs = KeyboardKeys::personGapMs;
    unsigned long stamp = KeyboardKeys::typeStampedOn(keys(), QStringLiteral("root"), firstStampMs, personMs);
    KeyboardKeys::pressStampedOn(keys(), Qt::Key_Return, stamp);
    stamp += personMs;
    ASSERT_TRUE(window->lineAdminPassword->hasFocus());
    const QString password = QString::fromLatin1(rootPassword);
    stamp = KeyboardKeys::typeStampedOn(keys(), password.chopped(1), stamp, personMs);
    stamp = KeyboardKeys::typeStampedOn(keys(), password.right(1), stamp, 5);
    KeyboardKeys::pressStampedOn(keys(), Qt::Key_Return, stamp);
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 2000)
        << ", messages: " << messages.join('\n').toStdString();
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(packets->count(), 0);
}

// A key still held back when the person taps the next field belongs to the
// field it was typed into.
TEST_F(AdminLoginOwnKeyboard, KeyHeldBackGoesToTheFieldItWasTypedInto)
{
    const int personMs = KeyboardKeys::personGapMs;
    const unsigned long stamp =
        KeyboardKeys::typeStampedOn(keys(), QStringLiteral("root"), firstStampMs, personMs);
    QTest::mouseClick(window->lineAdminPassword, Qt::LeftButton);
    ASSERT_TRUE(window->lineAdminPassword->hasFocus());
    KeyboardKeys::typeStampedOn(keys(), QStringLiteral("S"), stamp, personMs);
    ASSERT_EVENTUALLY(!window->lineAdminPassword->text().isEmpty(), 2000);
    EXPECT_EQ(window->lineAdminLogin->text(), QStringLiteral("root"));
    EXPECT_EQ(window->lineAdminPassword->text(), QStringLiteral("S"));
    EXPECT_EQ(packets->count(), 0);
}

// The main thread busy in the middle of a scan (a large grid shown, a
// download applied): the keys the scanner typed meanwhile wait in the queue,
// stamped at its pace, and the timers that fell due meanwhile run first in
// the turn the thread comes back in, as the window system's event
// dispatchers order them. A timer due just after the scanner's own delivers
// the keys that waited.
struct BusyCase
{
    const char* name;
    int busyMs;
};

class AdminLoginBusyScan : public AdminLoginOwnKeyboard, public ::testing::WithParamInterface<BusyCase>
{
};

TEST_P(AdminLoginBusyScan, CodeIsOnePacketThatReachesNoField)
{
    const int scannerMs = 2;
    const QString code =
        QString::fromLatin1(qrLoginEncrypt(QStringLiteral("root"), QString::fromLatin1(rootPassword)));
    const int half = code.size() / 2;
    QStringList loginTexts;
    QObject::connect(window->lineAdminLogin, &QLineEdit::textChanged,
                     [&loginTexts](const QString& text) { loginTexts.append(text); });
    unsigned long stamp = KeyboardKeys::typeStampedOn(keys(), code.left(half), firstStampMs, scannerMs);
    QTimer waited;
    waited.setSingleShot(true);
    waited.setTimerType(Qt::PreciseTimer);
    QObject::connect(&waited, &QTimer::timeout, [&] {
        stamp = KeyboardKeys::typeStampedOn(keys(), code.mid(half), stamp, scannerMs);
        KeyboardKeys::pressStampedOn(keys(), Qt::Key_Return, stamp);
    });
    waited.start(BarCodeScanner::hidKeyGapMs + 10);
    QThread::msleep(static_cast<unsigned long>(GetParam().busyMs));
    ASSERT_EVENTUALLY(page() == Constants::asAdministration, 3000)
        << ", messages: " << messages.join('\n').toStdString()
        << ", login field: " << window->lineAdminLogin->text().toStdString();
    // Only the login that the code named, never a part of the code.
    EXPECT_EQ(loginTexts, QStringList{QStringLiteral("root")});
    ASSERT_EQ(packets->count(), 1);
    EXPECT_EQ(packets->at(0).at(0).toByteArray(), code.toLatin1() + "\r");
    EXPECT_EQ(adminEntered(), 7);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table,
                         AdminLoginBusyScan,
                         ::testing::Values(BusyCase{"Busy50ms", 50}, BusyCase{"Busy500ms", 500}),
                         [](const auto& info) { return std::string(info.param.name); });
