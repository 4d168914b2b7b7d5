#include "ui/station_mainwindow.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QLineEdit>
#include <QScroller>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

#include "core/core.h"
#include "readers/barcodescanner.h"
#include "readers/cryptography.h"
#include "storage/database.h"
#include "ui/dialog.h"
#include "ui/secret_field.h"
#include "vexo/widget_metrics.h"

namespace {
const QString css_default = QStringLiteral("*{color: normal;background-color: normal;}");
const QString css_styled = QStringLiteral(
    "*{color: white;background-color: ${main_color};}QLineEdit{color: normal;background-color: normal;}");
const QString css_buttons =
    QStringLiteral("QPushButton:enabled{color: white;background-color: "
                   "${main_color};}QPushButton:!enabled{color: white;background-color: gray;}");

// The hash is of the password's Latin-1 bytes. A character Latin-1 cannot
// hold would become "?", so that two different passwords would match
// alike: such a password matches nothing.
bool passwordMatches(const QByteArray& hash, const QString& password)
{
    const bool latin1 =
        std::all_of(password.cbegin(), password.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    return latin1 && verifyPassword(hash, password.toLatin1());
}
} // namespace

StationMainWindow::StationMainWindow(QWidget* parent)
    : EMainWindow(parent)
{
    setupUi(this);
    StationCore* core = StationCore::instance();
    lastSyncElapsedSeconds = [core] { return core->server.lastSyncElapsed().toSec(); };

    auto* monitorToggle = new QAction(this);
    monitorToggle->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    monitorToggle->setShortcutContext(Qt::ApplicationShortcut);
    connect(monitorToggle, &QAction::triggered, this,
            [core] { core->monitor_detect_enabled.store(!core->monitor_detect_enabled.load()); });
    addAction(monitorToggle);
    addAction(actionAbout);

    widgetGotoAdmin->installEventFilter(this);

    // The screen keyboard shows itself when a text field takes the focus;
    // a station configured without it keeps it switched off.
    virtualKeyboard->hide();
    if (!core->virtual_keyboard)
        virtualKeyboard->setEnabled(false);

    core->mainWindow = this;
    core->line_thickness = lineThickness(this);

    // A keyboard-wedge scanner leaves the keys to the screen keyboard while
    // it is shown.
    for (BarCodeScanner* scanner : qAsConst(core->barCodeScanners))
        scanner->setVirtualKeyboard(virtualKeyboard);

    const QString styled = core->prepareCSS(css_styled + css_buttons);
    const QString plain = core->prepareCSS(css_default + css_buttons);
    setStyleSheet(core->css_normal + styled);
    for (QWidget* w : {static_cast<QWidget*>(buttonReturnDevice), static_cast<QWidget*>(buttonGiveDevice),
                       static_cast<QWidget*>(labelUnworkable), static_cast<QWidget*>(labelTitle),
                       static_cast<QWidget*>(labelTitle_2)})
        w->setStyleSheet(core->css_big);
    labelNote->setStyleSheet(labelNote->styleSheet() + QStringLiteral("\ncolor: firebrick;"));
    labelSync->setStyleSheet(labelNote->styleSheet());
    if (core->dialog)
        core->dialog->frame->setStyleSheet(plain);

    for (QWidget* page : {static_cast<QWidget*>(pageIdentifyUser), static_cast<QWidget*>(pageIdentifyDevice),
                          static_cast<QWidget*>(pageOpenCell), static_cast<QWidget*>(pageCloseCell),
                          static_cast<QWidget*>(pageDeviceProblem)}) {
        auto* content = page->findChild<QWidget*>(QStringLiteral("widgetContent"));
        if (!content)
            continue;
        content->setAutoFillBackground(true);
        content->setStyleSheet(plain);
        for (QStackedWidget* stack : page->findChildren<QStackedWidget*>())
            for (int i = 0; i < stack->count(); ++i) {
                stack->widget(i)->setAutoFillBackground(true);
                stack->widget(i)->setStyleSheet(plain);
            }
    }

    labelTitle->setText(core->title);
    labelTitle_2->setText(core->title);

    sessionManager().setFile(QStringLiteral("session_vesk_station.conf"));
    const int startState = core->readInt(QStringLiteral("interface"), QStringLiteral("start_state"), 0);
    if (startState != 2)
        sessionManager().addEntry(objectName(), this);

    stackedMain->setCurrentIndex(Constants::asStart);

    connect(core, &StationCore::loginSuccessful, this, &StationMainWindow::loginSuccessful);
    connect(core, &StationCore::loginFailed, this, &StationMainWindow::loginFailed);
    connect(core, &StationCore::gotoStartRequest, this, &StationMainWindow::gotoStart);
    connect(core, &StationCore::cellsChanged, this, &StationMainWindow::updateStartPage);
    connect(core, &StationCore::offscreenModeChanged, this, &StationMainWindow::updateStartPage);
    connect(core, &StationCore::activeScreenRequest, this, &StationMainWindow::showScreen);
    connect(buttonReturnDevice, &QAbstractButton::clicked, this,
            &StationMainWindow::buttonReturnDevice_clicked);
    connect(buttonGiveDevice, &QAbstractButton::clicked, this, &StationMainWindow::buttonGiveDevice_clicked);

    // The counts change without a cells event too (charge by time, forced
    // ready), so the start page follows them with the workable check.
    startIndexedTimer(0, VXSystemTime::fromString(QStringLiteral("1 Hz")), [this] {
        checkWorkable();
        updateStartPage();
    });

    setIconsSize();
    if (core->dialog)
        core->dialog->assignToWindow(widgetMain);
    sessionManager().load(false);
    checkWorkable();
    updateStartPage();
}

StationMainWindow::~StationMainWindow()
{
    StationCore* core = StationCore::instance();
    // Closed without closeEvent (the hub outlives the window): the hub's
    // dialog must not die with widgetMain.
    if (core->dialog && core->dialog->parentWidget() == widgetMain)
        core->dialog->assignToWindow(nullptr);
    if (core->mainWindow == this)
        core->mainWindow = nullptr;
}

void StationMainWindow::showScreen(int screen)
{
    if (screen == Constants::asIdentifyDevice)
        pageIdentifyDevice->reset();
    stackedMain->setCurrentIndex(screen);
    if (screen == Constants::asCloseCell)
        pageCloseCell->enter();
    else if (screen == Constants::asStart)
        checkWorkable();
}

void StationMainWindow::loginSuccessful(DatabaseStructs::User user, QString password)
{
    // A card or code identifies the administrator on the login page only;
    // the same checks then run as for typed input.
    if (StationCore::instance()->activeScreen() != Constants::asAdminLogin || loginChecking)
        return;
    lineAdminLogin->setText(user.login);
    lineAdminPassword->setText(password);
    buttonAdminLogin->click();
}

void StationMainWindow::gotoStart()
{
    StationCore* core = StationCore::instance();
    stackedMain->setCurrentIndex(Constants::asStart);
    core->setQRMode(Constants::qmNone);
    core->setActiveScreen(Constants::asStart);
    core->saveState();
}

void StationMainWindow::updateStartPage()
{
    StationCore* core = StationCore::instance();
    const int freeCells = core->cellsLogic.freeCellsCount();
    const int available = core->cellsLogic.availableDevicesInCellsCount();
    buttonReturnDevice->setEnabled(freeCells > 0 && !core->offscreen);
    buttonGiveDevice->setEnabled(available > 0 && !core->offscreen);
    labelFreeCells->setText(QString::number(freeCells));
    labelFreeDevices->setText(QString::number(available));
}

void StationMainWindow::adminRequest()
{
    StationCore* core = StationCore::instance();
    lineAdminLogin->clear();
    forgetFieldText(lineAdminPassword);
    core->setQRMode(Constants::qmUser);
    core->setActiveScreen(Constants::asAdminLogin);
    core->setLineEditFocus(lineAdminLogin);
    if (!core->unsafe_admin)
        return;
    DatabaseStructs::User admin;
    for (const DatabaseStructs::User& user : Database::instance()->allUsers()) {
        if (user.isAdmin) {
            admin = user;
            break;
        }
    }
    core->setActiveScreen(Constants::asAdministration);
    pageAdministration->enter(admin);
}

void StationMainWindow::loginFailed(DatabaseStructs::User, QString)
{
    // An unknown card or login code is told as an unknown typed login is.
    if (StationCore::instance()->activeScreen() == Constants::asAdminLogin)
        checkLogin(DatabaseStructs::User());
}

void StationMainWindow::on_buttonAdminLogin_clicked()
{
    checkLogin(Database::instance()->userByLogin(lineAdminLogin->text()));
}

void StationMainWindow::checkLogin(const DatabaseStructs::User& user)
{
    if (loginChecking)
        return;
    loginChecking = true;
    StationCore* core = StationCore::instance();
    core->dialog->setTitle(tr("Login"));
    QString refusal;
    if (!user.isValid())
        refusal = tr("User not found!");
    else if (!user.isAdmin)
        refusal = tr("User is not admin!");
    else if (!passwordMatches(user.passwordHash, lineAdminPassword->text()))
        refusal = tr("Incorrect password!");
    else if (user.isBlocked)
        // Blocked at the server: no administrator access on the cabinet
        // either, whatever the credentials.
        refusal = tr("User is blocked");
    if (refusal.isEmpty()) {
        core->setActiveScreen(Constants::asAdministration);
        pageAdministration->enter(user);
    } else {
        showLoginMessage(refusal);
    }
    loginChecking = false;
}

void StationMainWindow::showLoginMessage(const QString& text)
{
    StationCore* core = StationCore::instance();
    StationDialog* dialog = core->dialog;
    core->restartGoToStartTimer();
    dialog->setString(text);
    // Ok, or another message that replaced this one (a stray scan), leaves
    // the administrator on the page; a time-out has already left it.
    if (dialog->exec() == 0 && !dialog->wasTakenOver() && core->activeScreen() == Constants::asAdminLogin)
        gotoStart();
}

void StationMainWindow::on_buttonAdminLoginCancel_clicked()
{
    gotoStart();
}

void StationMainWindow::on_lineAdminLogin_textChanged(QString s)
{
    buttonAdminLogin->setEnabled(!s.isEmpty());
    StationCore::instance()->restartGoToStartTimer();
}

void StationMainWindow::on_lineAdminPassword_textChanged(QString)
{
    StationCore::instance()->restartGoToStartTimer();
}

void StationMainWindow::checkWorkable()
{
    StationCore* core = StationCore::instance();
    stackedMainButtons->setCurrentIndex(core->isWorkable() ? 0 : 1);

    const VXVector<int> open = core->cellsLogic.openCells();
    QString note;
    if (open.size() > 3) {
        note = tr("Opened %1 cells").arg(open.size());
    } else if (!open.isEmpty()) {
        QStringList numbers;
        for (int number : open)
            numbers.append(QStringLiteral("[%1]").arg(number));
        note = tr("Opened cells: %1").arg(numbers.join(QStringLiteral(", ")));
    }
    if (core->offscreenLogic.isEnabled()) {
        if (!note.isEmpty())
            note += QLatin1Char('\n');
        note += tr("Offscreen mode");
    }
    // One blank keeps the label's height.
    labelNote->setText(note.isEmpty() ? QStringLiteral(" ") : note);

    const qint64 elapsed = lastSyncElapsedSeconds ? lastSyncElapsedSeconds() : 0;
    if (lastSyncElapsedSeconds && elapsed * 1000 >= core->server_lost_threshold.toMSec())
        labelSync->setText(tr("Last synchronization %1 minutes ago").arg(elapsed / 60));
    else
        labelSync->setText(QStringLiteral(" "));
}

void StationMainWindow::setIconsSize()
{
    StationCore::instance()->line_thickness = double(lineThickness(this));
    const QSize size = preferredIconSize(2.0, this);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (button->objectName().isEmpty())
            continue;
        button->setIconSize(size);
        button->setMinimumSize(size);
    }
    for (QTabWidget* tabs : findChildren<QTabWidget*>())
        if (!tabs->objectName().isEmpty())
            tabs->setIconSize(size);
}

void StationMainWindow::buttonReturnDevice_clicked()
{
    StationCore* core = StationCore::instance();
    pageIdentifyDevice->setShowAll(!core->return_device_search_only_owned);
    // Refused while the station cannot record: the page says so at once.
    if (!core->returnLogic.begin(Constants::asStart))
        checkWorkable();
}

void StationMainWindow::buttonGiveDevice_clicked()
{
    StationCore* core = StationCore::instance();
    pageIdentifyDevice->setShowAll(!core->return_device_search_only_owned);
    if (!core->giveLogic.begin(Constants::asStart))
        checkWorkable();
}

void StationMainWindow::on_stackedMain_currentChanged(int index)
{
    QTimer::singleShot(0, this, [this] { imageView_2->setFixedHeight(imageView->height()); });
    widgetStatus->setAdminView(index == Constants::asAdministration);
    // The typed password goes with the login page, whichever way it is left.
    if (index != Constants::asAdminLogin)
        forgetFieldText(lineAdminPassword);
}

bool StationMainWindow::eventFilter(QObject* object, QEvent* event)
{
    if (object == widgetGotoAdmin && event->type() == QEvent::MouseButtonPress) {
        if (!StationCore::instance()->offscreen)
            adminRequest();
        return true;
    }
    return EMainWindow::eventFilter(object, event);
}

void StationMainWindow::changeEvent(QEvent* event)
{
    EMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    else if (event->type() == QEvent::FontChange)
        setIconsSize();
}

void StationMainWindow::closeEvent(QCloseEvent* event)
{
    sessionManager().save();
    sessionManager().clear(true);
    StationCore* core = StationCore::instance();
    core->stop();
    if (core->dialog)
        core->dialog->assignToWindow(nullptr);
    Database::instance()->stop();
    for (QScroller* scroller : QScroller::activeScrollers())
        QScroller::ungrabGesture(scroller->target());
    event->accept();
}
