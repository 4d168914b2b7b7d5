#include "ui/admin_page.h"

#include <algorithm>
#include <exception>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QMenu>
#include <QMetaEnum>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTime>
#include <QTimer>

#include "core/constants.h"
#include "core/core.h"
#include "jalt/jalt_version.h"
#include "readers/cryptography.h"
#include "server/server.h"
#include "storage/database.h"
#include "ui/cells_widget.h"
#include "ui/dialog.h"
#include "ui/qr_code_generator.h"
#include "ui/secret_field.h"
#include "ui/station_mainwindow.h"
#include "vexo/cursor_overrider.h"
#include "vexo/vexo_version.h"

namespace {
// A radio button answers only a press on its indicator or its text; on the
// touch screen the whole button is the target.
class WholeButtonPress : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto* button = static_cast<QAbstractButton*>(object);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // Down: the press hit the button's own area, which handles it.
        if (mouse->button() != Qt::LeftButton || button->isDown() || !button->rect().contains(mouse->pos()))
            return false;
        button->click();
        return true;
    }
};

StationCore* core()
{
    return StationCore::instance();
}

CellsLogic& cellsLogic()
{
    return StationCore::instance()->cellsLogic;
}

// "1:02:03"; the hours go on past a day.
QString clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Whether a login code carries the text unchanged: it holds Latin-1 bytes,
// and the station reads the login up to the line feed and the password up to
// the zero byte.
bool fitsLoginCode(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() <= 0xff && c != QLatin1Char('\n') && c != QChar(0);
    });
}
} // namespace

QString timeString(qint64 seconds)
{
    QString text = QStringLiteral("%1 s").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    qint64 t = seconds / 60;
    if (t < 1)
        return text;
    text.prepend(QStringLiteral("%1 m ").arg(t % 60, 2, 10, QLatin1Char('0')));
    t /= 60;
    const qint64 hours = t % 24;
    const qint64 days = t / 24;
    if (hours > 0)
        text.prepend(QStringLiteral("%1 h ").arg(hours));
    if (days < 1)
        return text;
    return text.prepend(QStringLiteral("%1 d ").arg(days));
}

StationAdminPage::StationAdminPage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    tabWidget->setCurrentIndex(0);
    stackedCellsView->setCurrentIndex(0);
    stackedCellLock->setCurrentIndex(0);

    auto* modes = new QButtonGroup(this);
    modes->addButton(radioShowNumbers, cmNumbers);
    modes->addButton(radioShowCellPriority, cmCellPriority);
    modes->addButton(radioShowDevicePriority, cmDevicePriority);
    auto* wholeButton = new WholeButtonPress(this);
    for (QAbstractButton* radio : modes->buttons())
        radio->installEventFilter(wholeButton);
    connect(modes, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            widgetCells->setCellMode(CellMode(id));
    });

    const auto separator = [this] {
        auto* action = new QAction(this);
        action->setSeparator(true);
        return action;
    };
    // A menu of the page's own, so that its opening counts as activity.
    auto* menu = new QMenu(buttonMenu);
    menu->addAction(actionSync_with_server);
    menu->addAction(actionClear_database);
    menu->addAction(separator());
    menu->addAction(actionBatchReturn);
    menu->addAction(actionBatchGive);
    menu->addAction(separator());
    menu->addAction(actionQuit);
    buttonMenu->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, [this] { restartTimeout(); });

    labelVersionJALT->setText(QLatin1String(JALT::version));
    labelVersionVEXO->setText(QLatin1String(VEXO::version));
    labelVersionQt->setText(QStringLiteral(QT_VERSION_STR));
    labelVersionStation->setText(QLatin1String(Constants::version));
    stateCellsController->setState(1);

    // Scrolling is looking for a cell: every scroll of either view, either
    // way, counts as activity.
    for (QAbstractScrollArea* view : {static_cast<QAbstractScrollArea*>(widgetCells->treeWidget),
                                      static_cast<QAbstractScrollArea*>(widgetCells->scrollCells)})
        for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
            connect(bar, &QScrollBar::valueChanged, this, [this] { restartTimeout(); });
    connect(lineQRLogin, &QLineEdit::textChanged, this, [this] { restartTimeout(); });
    connect(lineQRPassword, &QLineEdit::textChanged, this, [this] { restartTimeout(); });
    // Whoever comes next must not find a user's password here.
    connect(core(), &StationCore::activeScreenRequest, this, [this](int screen) {
        if (screen != Constants::asAdministration)
            clearQrCode();
    });

    setListView(false);

    const QMetaEnum states = QMetaEnum::fromType<CellsLogic::CellState>();
    for (int i = 0; i < states.keyCount(); ++i)
        stateNames.insert(states.value(i), QString::fromLatin1(states.key(i)).mid(2));

    CellsLogic& cells = cellsLogic();
    widgetCells->setLogic(&cells);

    connect(&cells, &CellsLogic::cellChanged, this, [this](int number) {
        if (number == currentCell.number) {
            currentCell = cellsLogic().getCellByNumber(number);
            updateCurrentCell();
        }
        buttonReturnDevice->setEnabled(cellsLogic().freeCellsCount() >= 1);
    });
    connect(core(), &StationCore::cellsChanged, this, [this] {
        if (!currentCell.isValid())
            return;
        currentCell = cellsLogic().getCellByNumber(currentCell.number);
        updateCurrentCell();
    });
    // Queued: a step begins once the run before it has ended completely.
    connect(
        &core()->giveLogic, &StationLogicBase::done, this, [this] { batchGiveStep(); }, Qt::QueuedConnection);
    connect(
        &core()->returnLogic, &StationLogicBase::done, this, [this] { batchReturnStep(); },
        Qt::QueuedConnection);

    startIndexedTimer(0, VXSystemTime::fromMSec(500), [this] {
        const int remains = core()->remainsGoToStartTimer() / 1000;
        labelTimeRemains->setText(QTime(0, 0).addSecs(remains).toString(QStringLiteral("m:ss")));
    });
    startIndexedTimer(1, VXSystemTime::fromSec(1), [this] {
        if (tabInformation->isVisible())
            updateInfo();
        if (tabStatistics->isVisible())
            updateStat();
        if (tabCellDetails->isVisible())
            updateCurrentCell();
    });

    // After the connections by name: a button's own action comes first, then
    // the time-out starts again.
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::clicked, this, [this] { restartTimeout(); });
}

StationAdminPage::~StationAdminPage() = default;

void StationAdminPage::enter(const DatabaseStructs::User& user)
{
    adminUser = user;
    qDebug() << "admin as" << user.name << user.id;
    StationCore* hub = core();
    if (hub->mainWindow) {
        // Problems reported from here name the administrator.
        hub->mainWindow->pageDeviceProblem->currentUser = user;
        // A return from here may take any device, not only the user's own.
        hub->mainWindow->pageIdentifyDevice->setShowAll(true);
    }
    batchGiveCount = -1;
    batchReturnCount = -1;
    tabWidget->setCurrentIndex(0);
    // Cards and codes identified the administrator on the login page; here
    // they mean nothing.
    hub->setQRMode(Constants::qmNone);
    setListView(false);
    // Otherwise it would wait for the first change of a cell.
    buttonReturnDevice->setEnabled(cellsLogic().freeCellsCount() >= 1);
    setCell(CellsLogic::Cell());
    updateInfo();
    updateStat();
}

void StationAdminPage::setListView(bool list)
{
    widgetCells->setListView(list);
    // The button offered switches to the other view.
    stackedCellsView->setCurrentIndex(list ? 1 : 0);
}

void StationAdminPage::setCell(const CellsLogic::Cell& cell)
{
    currentCell = cell;
    if (cell.isValid()) {
        // Enabled while there is a cell to step to: the arrows skip numbers
        // without a cell.
        buttonPrevCell->setEnabled(neighbourCell(-1) >= 0);
        buttonNextCell->setEnabled(neighbourCell(+1) >= 0);
        groupCellDetails->setTitle(tr("Cell %1").arg(cell.number));
    } else {
        groupCellDetails->setTitle(QString());
        buttonPrevCell->setEnabled(false);
        buttonNextCell->setEnabled(false);
    }
    widgetCellActions->setEnabled(cell.isValid());
    updateCurrentCell();
    restartTimeout();
}

void StationAdminPage::showCellByNumber(int number)
{
    setCell(cellsLogic().getCellByNumber(number));
}

void StationAdminPage::updateCurrentCell()
{
    const CellsLogic::Cell& cell = currentCell;
    const DatabaseStructs::Device& device = cell.device;
    const bool hasDevice = device.isValid();
    const QString free = tr("[free]");
    labelCellModel->setText(hasDevice ? device.name : free);
    labelCellSerial->setText(hasDevice ? device.serial : free);
    labelCellPhone->setText(hasDevice ? device.phone : free);
    labelCellStatus->setText(hasDevice ? StationCore::trEnum(device.status) : free);
    labelCellUser->setText(cell.user.name);
    labelCellDate->setText(cell.lastOperationDate.toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    labelCellCharge->setText(hasDevice
                                 ? QStringLiteral("%1 % (%2)%3")
                                       .arg(device.lastCharge)
                                       .arg(StationCore::trEnum(device.chargeTrend),
                                            cell.forceReady ? QStringLiteral(" Mark as charged") : QString())
                                 : free);
    labelCellChargeTime->setText(hasDevice ? timeString(cell.deviceChargeTime_s()) : free);
    // A door the lock controller cannot be told to open says so first.
    QStringList note;
    if (cell.isValid() && !cell.addressable)
        note << tr("Cannot open: the lock controller's protocol %1 cannot address board %2, lock %3")
                    .arg(core()->cellController.protocolName())
                    .arg(cell.address.board)
                    .arg(cell.address.lock);
    if (!cell.description.isEmpty())
        note << cell.description;
    labelCellNote->setText(note.join(QLatin1Char('\n')));
    labelCellState->setText(stateNames.value(cell.state, QStringLiteral("?"))
                            + (cell.isAmbiguous() ? QStringLiteral(" (ambiguous)") : QString()));

    iconCellLocked->setVisible(cell.isLocked);
    iconCellOpened->setVisible(cell.opened);
    iconCellDevice->setVisible(hasDevice);
    buttonCellGive->setEnabled(hasDevice && cell.addressable);
    buttonReportProblem->setEnabled(hasDevice);
    stackedCellLock->setCurrentIndex(cell.isLocked ? 1 : 0);
}

void StationAdminPage::updateInfo()
{
    StationCore* hub = core();
    const VXMap<int, CellsLogic::Cell>& cells = cellsLogic().getCells();
    int opened = 0;
    int locked = 0;
    int devices = 0;
    for (const CellsLogic::Cell& cell : cells) {
        opened += cell.opened ? 1 : 0;
        locked += cell.isLocked ? 1 : 0;
        devices += cell.device.isValid() ? 1 : 0;
    }
    labelStationID->setText(QString::number(hub->point_id));
    labelCellsTotal->setText(QString::number(cells.size()));
    labelCellsOpened->setText(QString::number(opened));
    labelCellsLocked->setText(QString::number(locked));
    labelCellsDevices->setText(QString::number(devices));
    labelCellsAvailableDevices->setText(QString::number(cellsLogic().availableDevicesInCellsCount()));

    stateCellsController->setState(hub->cellController.receiveQuality());
    stateBarcode->setState(hub->isScannerOpened() ? 1 : 0);
    stateServer->setState(hub->server.isAuthorized() ? 1 : 0);

    Database* db = Database::instance();
    labelUsersCount->setText(QString::number(db->usersCount()));
    labelDevicesCount->setText(QString::number(db->devicesCount()));
    labelQueuedChanges->setText(QString::number(db->changesCount.load()));
    labelQueuedLogs->setText(QString::number(db->logsCount.load()));

    labelLastSyncElapsed->setText(clockText(hub->server.lastSyncElapsed().toSec()));
    constexpr qint64 day = 86400;
    const qint64 up = hub->uptime.elapsed_s();
    labelUptime->setText(QStringLiteral("%1 d  %2").arg(up / day).arg(clockText(up % day)));
}

void StationAdminPage::updateStat()
{
    const CellController& controller = core()->cellController;
    const CellsLogic& cells = cellsLogic();
    const std::pair<QLabel*, int> counters[] = {
        {labelStatCellsReconnects, controller.counterReconnects()},
        {labelStatCellsRequests, controller.counterRequests()},
        {labelStatCellsAnswers, controller.counterAnswers()},
        {labelStatCellsCommands, controller.counterCommands()},
        {labelStatDevicesTaken, core()->counterDeviceTaken()},
        {labelStatDevicesReturned, core()->counterDeviceReturned()},
        {labelStatLogicOpenAll, cells.counterOpenAll()},
        {labelStatLogicOpenOk, cells.counterOpenOk()},
        {labelStatLogicOpenFail, cells.counterOpenFail()},
        {labelStatLogicCloseAll, cells.counterCloseAll()},
        {labelStatLogicCloseOk, cells.counterCloseOk()},
        {labelStatLogicCloseFail, cells.counterCloseFail()},
    };
    for (const auto& [label, value] : counters)
        label->setText(QString::number(value));
}

// The code carries the password for anyone with the station's key: its text
// goes to the screen only, never to a log.
void StationAdminPage::on_buttonQrGenerate_clicked()
{
    // A code left from before would pass for the new one.
    labelQRContent->clear();
    imageQR->setPixmap(QPixmap());
    const QString title = tr("QR for login");
    const QString login = lineQRLogin->text();
    const QString password = lineQRPassword->text();
    const bool loginFits = fitsLoginCode(login);
    if (!loginFits || !fitsLoginCode(password)) {
        showNotice(title, loginFits
                              ? tr("The password holds a character that a QR login code cannot carry "
                                   "(one outside Latin-1, such as \u20ac or a Cyrillic letter).")
                              : tr("The login holds a character that a QR login code cannot carry "
                                   "(one outside Latin-1, such as \u20ac or a Cyrillic letter)."));
        return;
    }
    // The station trims a code as it reads it: blanks around the login would
    // be lost, and an empty one would leave the password's first blanks or
    // the whole code to the trimming.
    if (login.isEmpty() || login.trimmed() != login) {
        showNotice(title, login.isEmpty() ? tr("A QR login code needs a login.")
                                          : tr("The login starts or ends with a blank, which a QR login "
                                               "code cannot carry."));
        return;
    }
    const QByteArray text = qrLoginEncrypt(login, password);
    QImage image;
    try {
        image = qrCodeCreate(text, 8);
    } catch (const std::exception&) {
        showNotice(title, tr("The login and the password are too long for a QR code."));
        return;
    }
    labelQRContent->setText(QString::fromLatin1(text));
    qDebug() << "qr for a login code of" << text.size() << "characters";
    imageQR->setImage(image, false);
}

void StationAdminPage::clearQrCode()
{
    forgetFieldText(lineQRLogin);
    forgetFieldText(lineQRPassword);
    labelQRContent->clear();
    imageQR->setPixmap(QPixmap());
}

void StationAdminPage::restartTimeout()
{
    // Only here: a button that has just left this screen (Back, Issue
    // device) must not arm the time-out of the screen it went to, and
    // neither must the page's own set-up while it is not shown.
    if (administrationShows())
        core()->restartGoToStartTimer();
}

void StationAdminPage::showNotice(const QString& title, const QString& text)
{
    StationDialog* dialog = core()->dialog;
    if (!dialog)
        return;
    restartTimeout();
    dialog->setTitle(title);
    dialog->setString(text);
    dialog->buttonCancel->hide();
    dialog->exec();
    dialog->buttonCancel->show();
}

bool StationAdminPage::confirm(const QString& title, const QString& text)
{
    // The question gets the whole time-out, not what the click left of it.
    restartTimeout();
    StationDialog* dialog = core()->dialog;
    if (!dialog)
        return false;
    dialog->setTitle(title);
    dialog->setString(text);
    return dialog->exec() == 1;
}

int StationAdminPage::neighbourCell(int step) const
{
    const VXMap<int, CellsLogic::Cell>& cells = cellsLogic().getCells();
    int found = -1;
    // In ascending number order.
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        if (!it.value().isValid())
            continue;
        if (step < 0 && it.key() < currentCell.number)
            found = it.key();
        else if (step > 0 && it.key() > currentCell.number)
            return it.key();
    }
    return found;
}

// ---- menu -------------------------------------------------------------------

bool StationAdminPage::administrationShows()
{
    return core()->activeScreen() == Constants::asAdministration;
}

// The menu's entries check it: the menu may have been left open, and whoever
// comes next must not quit the station.

void StationAdminPage::on_actionSync_with_server_triggered()
{
    if (!administrationShows())
        return;
    restartTimeout();
    core()->server.sync();
}

void StationAdminPage::on_actionClear_database_triggered()
{
    if (!administrationShows())
        return;
    if (!confirm(tr("Clear database"),
                 tr("This action remove current database and download it from server.\n"
                    "Operations, cell locks, problem reports and log records not yet sent to the "
                    "server are kept and sent; of a damaged file, those that can still be read, "
                    "and you are told how many could not.\nContinue?")))
        return;
    QString error;
    int unkept = 0;
    bool done = false;
    {
        const VEXO::CursorOverrider wait{QCursor(Qt::WaitCursor)};
        done = Database::instance()->clear(&error, &unkept);
        widgetCells->updateButtons();
        if (done)
            core()->server.sync();
    }
    if (!done)
        core()->showMessage(tr("Clear database"),
                            tr("The database could not be cleared, nothing was deleted:\n%1").arg(error));
    else if (unkept > 0)
        core()->showMessage(tr("Clear database"),
                            unkept == 1 ? tr("The database file was damaged and has been replaced. 1 unsent "
                                             "record could not be read and is lost.")
                                        : tr("The database file was damaged and has been replaced. %1 unsent "
                                             "records could not be read and are lost.")
                                              .arg(unkept));
    else if (unkept < 0)
        core()->showMessage(tr("Clear database"),
                            tr("The database file was damaged and has been replaced. Some unsent records "
                               "could not be read and are lost; how many cannot be told."));
    restartTimeout();
}

void StationAdminPage::on_actionQuit_triggered()
{
    if (!administrationShows())
        return;
    QApplication::closeAllWindows();
}

void StationAdminPage::on_actionBatchReturn_triggered()
{
    if (!administrationShows())
        return;
    startBatch(tr("Batch return"), cellsLogic().freeCellsCount(), batchReturnCount,
               &StationAdminPage::batchReturnStep);
}

void StationAdminPage::on_actionBatchGive_triggered()
{
    if (!administrationShows())
        return;
    startBatch(tr("Batch issue"), cellsLogic().devicesInCellsCount(), batchGiveCount,
               &StationAdminPage::batchGiveStep);
}

void StationAdminPage::startBatch(const QString& title,
                                  int max,
                                  int& counter,
                                  void (StationAdminPage::*step)())
{
    const int count = askBatchDevices(title, max);
    if (count <= 0)
        return;
    counter = count;
    // The first step comes the way the later ones do, from the event loop.
    QMetaObject::invokeMethod(
        this, [this, step] { (this->*step)(); }, Qt::QueuedConnection);
}

int StationAdminPage::askBatchDevices(const QString& title, int max)
{
    restartTimeout();
    QStringList entries;
    for (int i = 1; i <= max; ++i)
        entries.append(QString::number(i));
    if (entries.isEmpty()) {
        showNotice(title, tr("No devices available!"));
        return -1;
    }
    StationDialog* dialog = core()->dialog;
    if (!dialog)
        return -1;
    dialog->setTitle(title + QLatin1Char('\n') + tr("Select devices count"));
    dialog->setStringList(entries);
    if (dialog->exec() != 1)
        return -1;
    bool ok = false;
    const int count = dialog->selectedString().toInt(&ok);
    return ok ? count : -1;
}

// ---- batches ----------------------------------------------------------------

bool StationAdminPage::batchGoesOn(const char* name)
{
    if (administrationShows())
        return true;
    core()->log(
        QStringLiteral("[StationAdminPage] %1 ended: the administration was left").arg(QLatin1String(name)),
        StationCore::lcInfo);
    batchGiveCount = -1;
    batchReturnCount = -1;
    return false;
}

void StationAdminPage::batchGiveStep()
{
    if (batchGiveCount < 0)
        return;
    if (--batchGiveCount < 0 || !batchGoesOn("Batch issue"))
        return;
    // Any cell with a device: the administrator empties the cabinet.
    if (StationGiveDeviceLogic* give = beginGive())
        give->giveDevice(cellsLogic().getAvailableDevice(true));
}

void StationAdminPage::batchReturnStep()
{
    if (batchReturnCount < 0)
        return;
    if (--batchReturnCount < 0 || !batchGoesOn("Batch return"))
        return;
    beginReturn();
}

bool StationAdminPage::beginRun(StationLogicBase& logic)
{
    if (logic.begin(Constants::asAdministration))
        return true;
    // The database cannot record: no run, and no batch goes on without it.
    batchGiveCount = -1;
    batchReturnCount = -1;
    // A notice of the page: the administrator stays here to read it.
    showNotice(tr("Administration"), tr("The database cannot record now: no run begins."));
    return false;
}

StationGiveDeviceLogic* StationAdminPage::beginGive()
{
    StationGiveDeviceLogic& give = core()->giveLogic;
    if (!beginRun(give))
        return nullptr;
    give.setUser(adminUser);
    return &give;
}

void StationAdminPage::beginReturn()
{
    if (!beginRun(core()->returnLogic))
        return;
    Q_EMIT core()->loginSuccessful(adminUser, QString());
}

// ---- buttons ----------------------------------------------------------------

void StationAdminPage::on_buttonBack_clicked()
{
    if (tabWidget->currentIndex() != 0)
        tabWidget->setCurrentIndex(0);
    else
        core()->goToStart();
}

void StationAdminPage::on_buttonListView_clicked()
{
    setListView(true);
}

void StationAdminPage::on_buttonTableView_clicked()
{
    setListView(false);
}

// The arrows step over numbers that have no cell.
void StationAdminPage::on_buttonPrevCell_clicked()
{
    const int number = neighbourCell(-1);
    if (number >= 0)
        showCellByNumber(number);
}

void StationAdminPage::on_buttonNextCell_clicked()
{
    const int number = neighbourCell(+1);
    if (number >= 0)
        showCellByNumber(number);
}

void StationAdminPage::on_buttonCellOpen_clicked()
{
    if (currentCell.address.isValid())
        cellsLogic().openCell(currentCell, true);
}

void StationAdminPage::on_buttonCellLock_clicked()
{
    // The choice gets the whole time-out, not what the click left of it.
    restartTimeout();
    if (!currentCell.isValid())
        return;
    QString reason;
    // Without an id from the server no reason is asked: the lock cannot
    // change anyway, and changeLock says why.
    if (currentCell.devicePointCellId >= 0) {
        StationDialog* dialog = core()->dialog;
        if (!dialog)
            return;
        dialog->setTitle(tr("Lock reason"));
        dialog->setStringList(core()->lock_reasons);
        if (dialog->exec() != 1)
            return;
        reason = dialog->selectedString();
    }
    changeLock(true, reason);
}

void StationAdminPage::on_buttonCellUnlock_clicked()
{
    if (currentCell.isValid())
        changeLock(false, QString());
}

void StationAdminPage::changeLock(bool lock, const QString& reason)
{
    if (core()->setCellBlocked(currentCell, lock, reason))
        return;
    showNotice(lock ? tr("Lock cell") : tr("Unlock cell"),
               tr("The server has not given cell %1 an ID yet: its lock cannot change.\n"
                  "Sync with server and try again.")
                   .arg(currentCell.number));
}

void StationAdminPage::on_buttonCellActual_clicked()
{
    if (!currentCell.isValid())
        return;
    const int number = currentCell.number;
    CellsLogic& cells = cellsLogic();
    cells.setCellState(number, CellsLogic::csActual);
    cells.setCellAmbiguous(number, false);
    Q_EMIT cells.cellChanged(number);
}

void StationAdminPage::on_buttonCellForceReady_clicked()
{
    if (!currentCell.isValid())
        return;
    const int number = currentCell.number;
    CellsLogic& cells = cellsLogic();
    cells.setCellForceReady(number, true);
    Q_EMIT cells.cellChanged(number);
}

void StationAdminPage::on_buttonCellGive_clicked()
{
    // Once the click is over: its restart of the time-out comes first.
    QTimer::singleShot(0, this, [this] {
        if (!administrationShows())
            return;
        if (StationGiveDeviceLogic* give = beginGive())
            give->giveDevice(cellsLogic().getCellByNumber(currentCell.number));
    });
}

void StationAdminPage::on_buttonReportProblem_clicked()
{
    StationCore* hub = core();
    if (!hub->mainWindow || !currentCell.device.isValid())
        return;
    StationDeviceProblemPage* problems = hub->mainWindow->pageDeviceProblem;
    problems->currentDevice = currentCell.device;
    problems->reset();
    hub->setActiveScreen(Constants::asDeviceProblem);
}

void StationAdminPage::on_buttonReturnDevice_clicked()
{
    beginReturn();
}

void StationAdminPage::on_buttonOpenAll_clicked()
{
    if (confirm(tr("Open all cells"), tr("This action take a long time.\nAre you sure?")))
        cellsLogic().openAll();
}

void StationAdminPage::on_widgetCells_gotoCellRequest(int number)
{
    tabWidget->setCurrentIndex(1);
    showCellByNumber(number);
}

void StationAdminPage::on_tabWidget_currentChanged(int index)
{
    // The page needs only the height of the tab it shows: with the screen
    // keyboard up, the information tab's fields would otherwise push the
    // window past the screen for the taller cell details.
    for (int i = 0; i < tabWidget->count(); ++i) {
        QWidget* tab = tabWidget->widget(i);
        QSizePolicy policy = tab->sizePolicy();
        policy.setVerticalPolicy(i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored);
        tab->setSizePolicy(policy);
    }
    restartTimeout();
    if (tabInformation->isVisible())
        updateInfo();
    if (tabStatistics->isVisible())
        updateStat();
}
