#include "core/core.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScroller>
#include <QScrollerProperties>

#include "jalt/vx_chunk_stream.h"
#include "jalt/vx_file.h"
#include "readers/barcodescanner.h"
#include "readers/cryptography.h"
#include "server/server.h"
#include "storage/database.h"
#include "ui/admin_page.h"
#include "ui/cells_widget.h"
#include "ui/dialog.h"
#include "ui/station_mainwindow.h"

namespace
{
const char* const stateFileName = "station_state.bin";
const char* const configFileName = "vesk_station.conf";
} // namespace

StationCore* StationCore::instance()
{
    return Singleton<StationCore>::instance();
}

void StationCore::resetInstance()
{
    if (!Singleton<StationCore>::exists())
        return;
    instance()->destroy();
    Singleton<StationCore>::reset();
}

void StationCore::stopServerAtExit()
{
    instance()->server.stopAll();
}

StationCore::StationCore()
{
    cellsLogic.setController(&cellController);
    setIndexedTimerSingleShot(1, true);
    bindIndexedTimer(1, [this] {
        closePopups();
        Q_EMIT gotoStartRequest();
    });
    startIndexedTimerMs(3, 200, [this] { followOffscreen(); });
    startIndexedTimerMs(2, 200, [this] {
        if (isIdleForSync())
            server.maybeApplySync();
    });
    // The hub outlives the application object; the server's sockets must not.
    if (QCoreApplication::instance())
        qAddPostRoutine(stopServerAtExit);
}

StationCore::~StationCore()
{
    qRemovePostRoutine(stopServerAtExit);
    monitorThread.stopAndWait();
    // The poll and link threads log; stop them while the log writer, a later
    // member, still exists.
    cellController.stopAndWait();
    cellController.close();
}

void StationCore::init()
{
    DatabaseStructs::registerMetaTypes();
    dialog = new StationDialog();
    // Typing is activity, as on the login page: a long comment must not be
    // cut off by the time-out.
    connect(dialog->textEdit, &QPlainTextEdit::textChanged, this, [this] { restartGoToStartTimer(); });
    setQRMode(Constants::qmNone);
    log(QStringLiteral("Version %1 (%2) at 20.03.2026 18:10")
            .arg(QLatin1String(Constants::version))
            .arg(Constants::buildNumber),
        lcInfo);

    QStringList errors;
    config = VXValueTreeConversions::fromTextFile(QString::fromLatin1(configFileName), &errors);
    for (const QString& error : errors)
        log(QStringLiteral("[StationCore] %1 %2: ignored").arg(QString::fromLatin1(configFileName), error), lcWarning);
    readConfiguration();
    openReaders();
    configureServer();

    loadState();

    Database* database = Database::instance();
    database->setDatabase(QStringLiteral("vesk_station_db.dat"));
    const qint64 retryMs =
        readDuration(QStringLiteral("timeouts"), QStringLiteral("database_retry"), QStringLiteral("3 s")).toMSec();
    // Shorter, the retries while the file cannot be opened would spin a core.
    if (retryMs < DatabaseBase::minReopenIntervalMs)
        log(QStringLiteral("[StationCore] [timeouts] database_retry = %1 ms is too short, using %2 ms")
                .arg(retryMs)
                .arg(DatabaseBase::minReopenIntervalMs),
            lcWarning);
    database->setReopenInterval(int(std::min<qint64>(retryMs, std::numeric_limits<int>::max())));
    database->start();
    database->init();

    cellController.start(
        readDuration(QStringLiteral("cells"), QStringLiteral("tick_time"), QStringLiteral("10 Hz")));
    giveLogic.init();
    returnLogic.init();
    offscreenLogic.init(config);
    server.setKeepAliveInterval(timeouts.keep_alive_interval);

    if (support_offscreen) {
        monitorThread.start([this] { monitor_present.store(detectMonitor()); }, VXSystemTime::fromSec(2));
        log("Started monitor detect thread", lcInfo);
    }
    log("Started", lcInfo);
}

void StationCore::readConfiguration()
{
    const VXValueTree reasons = config.child(QStringLiteral("lock_reasons"));
    for (const VXValueTree& reason : reasons.children())
        lock_reasons.append(reason.value().toString());

    const VXValueTree interface = config.child(QStringLiteral("interface"));
    auto css = [&interface](const char* key) {
        return QStringLiteral("*{font:%1;}").arg(interface.childValue(QString::fromLatin1(key)).toString());
    };
    css_small = css("font_small");
    css_normal = css("font_normal");
    css_big = css("font_big");
    title = interface.childValue(QStringLiteral("title")).toString();
    virtual_keyboard = readBool(QStringLiteral("interface"), QStringLiteral("virtual_keyboard"), false);
    unsafe_admin = readBool(QStringLiteral("interface"), QStringLiteral("unsafe_admin"), false);
    hide_open_indicator = !readBool(QStringLiteral("interface"), QStringLiteral("open_indicator"), true);

    const QString general = QStringLiteral("general");
    point_id = readInt(general, QStringLiteral("point_id"), 0);
    min_return_device_charge_offscreen = readInt(general, QStringLiteral("min_return_device_charge_offscreen"), 30);
    min_return_device_charge = readInt(general, QStringLiteral("min_return_device_charge"), 70);
    min_return_device_time = int(readDuration(general, QStringLiteral("min_return_device_time"), QStringLiteral("2 h")).toSec());
    // A zero length makes the priority grow without bound; the cell model caps it.
    auto ratePerHour = [](VXSystemTime length) {
        return length.isZero() ? std::numeric_limits<double>::infinity() : 100.0 / length.toHours();
    };
    cell_priority_per_hour = ratePerHour(readDuration(general, QStringLiteral("max_cell_priority_time"), QStringLiteral("24 h")));
    device_priority_per_hour = ratePerHour(readDuration(general, QStringLiteral("max_device_priority_time"), QStringLiteral("24 h")));
    reset_cell_priority_on_error = readBool(general, QStringLiteral("reset_cell_priority_on_error"), false);
    block_on_ambiguous = readBool(general, QStringLiteral("block_on_ambiguous"), false);
    block_on_open_timeout = readBool(general, QStringLiteral("block_on_open_timeout"), false);
    block_on_close_timeout = readBool(general, QStringLiteral("block_on_close_timeout"), false);
    return_device_search_only_owned = readBool(general, QStringLiteral("return_device_search_only_owned"), true);
    support_offscreen = readBool(general, QStringLiteral("support_offscreen"), false);
    log(QStringLiteral("Station ID = %1").arg(point_id), lcInfo);

    const QString t = QStringLiteral("timeouts");
    timeouts.goto_start = readDuration(t, QStringLiteral("goto_start"), QStringLiteral("120 s"));
    timeouts.open_cell_min_interval = readDuration(t, QStringLiteral("open_cell_min_interval"), QStringLiteral("500 ms"));
    timeouts.reopen_cell = readDuration(t, QStringLiteral("reopen_cell"), QStringLiteral("1 s"));
    timeouts.open_silence = readDuration(t, QStringLiteral("open_silence"), QStringLiteral("0.5 s"));
    timeouts.max_try_open_cell = readDuration(t, QStringLiteral("max_try_open_cell"), QStringLiteral("4 s"));
    timeouts.message_lifetime = readDuration(t, QStringLiteral("message_lifetime"), QStringLiteral("5 s"));
    timeouts.max_return_device = readDuration(t, QStringLiteral("max_return_device"), QStringLiteral("5 min"));
    stationLog.setSplitTime(readDuration(t, QStringLiteral("log_split_time"), QStringLiteral("8 h")));
    log("Start ...", lcInfo);

    const QString cells = QStringLiteral("cells");
    cells_log = readBool(cells, QStringLiteral("log"), false);
    const VXValueTree cellsSection = config.child(cells);
    cellController.init(
        cellsSection.childValue(QStringLiteral("protocol"), QStringLiteral("v1.7")).toString());
    cellController.open(cellsSection.childValue(QStringLiteral("address")).toString());
    timeouts.reconnect_delay = readDuration(cells, QStringLiteral("reconnect_delay"), QStringLiteral("1 s"));
    cellController.setDisconnectTimeout(
        readDuration(cells, QStringLiteral("disconnect_timeout"), QStringLiteral("5 s")));
    cellsLogic.initialize(cellsSection);
}

void StationCore::configureServer()
{
    const QString server = QStringLiteral("server");
    timeouts.sync_interval = readDuration(server, QStringLiteral("sync_interval"), QStringLiteral("1 min"));
    timeouts.keep_alive_interval = readDuration(server, QStringLiteral("keep_alive_interval"), QStringLiteral("1 min"));
    server_log = readBool(server, QStringLiteral("log"), false);
    server_lost_threshold = timeouts.sync_interval + VXSystemTime::fromMin(1);

    connect(&this->server, &Server::authorizeDone, this, [this] {
        if (!first_sync_pending)
            return;
        first_sync_pending = false;
        this->server.sync();
    });
    const VXValueTree section = config.child(server);
    this->server.setCredentials(section.childValue(QStringLiteral("login")).toString(),
                                section.childValue(QStringLiteral("password")).toString());
    this->server.setBaseURL(section.childValue(QStringLiteral("base_url")).toString());
    this->server.setLogURL(section.childValue(QStringLiteral("log_url")).toString());
    {
        QMutexLocker locker(&serverLogMutex);
        serverLogKnown = true;
        if (this->server.isLogActive())
            for (const QPair<int, VXString>& early : qAsConst(earlyServerLogs))
                Database::instance()->queueLog(Server::makeLog(early.first, early.second));
        earlyServerLogs.clear();
    }
    this->server.setIgnoreSSLErrors(readBool(server, QStringLiteral("ignore_ssl_errors"), false));
    this->server.setSyncInterval(timeouts.sync_interval);
    this->server.authorize();
}

void StationCore::openReaders()
{
    // One scanner for the value of [scanner] device and one for each of its
    // children, in file order; an absent key still gives one (closed) scanner.
    const VXValueTree device = config.child(QStringLiteral("scanner")).child(QStringLiteral("device"));
    QStringList paths{device.value().toString()};
    for (const VXValueTree& child : device.children())
        paths.append(child.value().toString());
    for (const QString& path : paths) {
        auto* scanner = new BarCodeScanner();
        connect(scanner, &BarCodeScanner::dataReaded, this, &StationCore::barCodeReaded);
        scanner->open(path);
        barCodeScanners.append(scanner);
    }
    setQRMode(qrMode());

    connect(&cardScanner, &CardScanner::personNumberReaded, this, &StationCore::cardReaded);
    if (readBool(QStringLiteral("scanner"), QStringLiteral("card_reader"), true))
        cardScanner.start(VXSystemTime::fromMSec(20));
}

VXSystemTime StationCore::readDuration(const QString& section, const QString& key, const QString& fallback)
{
    const VXValueTree node = config.child(section);
    const QString text = node.childValue(key, fallback).toString();
    bool ok = false;
    const VXSystemTime value = VXSystemTime::fromString(text, &ok);
    if (ok)
        return value;
    log(QStringLiteral("[StationCore] [%1] %2 = \"%3\" is not a duration, using \"%4\"")
            .arg(section, key, text, fallback),
        lcWarning);
    return VXSystemTime::fromString(fallback);
}

bool StationCore::readBool(const QString& section, const QString& key, bool fallback)
{
    const VXValueTree node = config.child(section);
    if (!node.contains(key))
        return fallback;
    bool ok = false;
    const QString text = node.childValue(key).toString();
    const bool value = VXVariant(text).toBool(&ok);
    if (ok)
        return value;
    log(QStringLiteral("[StationCore] [%1] %2 = \"%3\" is not true or false, using %4")
            .arg(section, key, text, fallback ? QStringLiteral("true") : QStringLiteral("false")),
        lcWarning);
    return fallback;
}

int StationCore::readInt(const QString& section, const QString& key, int fallback)
{
    const VXValueTree node = config.child(section);
    if (!node.contains(key))
        return fallback;
    bool ok = false;
    const QString text = node.childValue(key).toString();
    const int value = VXVariant(text).toInt(&ok);
    if (ok)
        return value;
    // One pass: a "%1" in the value must stay as typed.
    log(QStringLiteral("[StationCore] [%1] %2 = \"%3\" is not an integer, using %4")
            .arg(section, key, text, QString::number(fallback)),
        lcWarning);
    return fallback;
}

void StationCore::stop()
{
    log("Stop ...", lcInfo);
    monitorThread.stop();
    cellController.close();
    for (BarCodeScanner* scanner : qAsConst(barCodeScanners))
        scanner->close();
    saveState();
    cardScanner.stopAndWait();
    server.stopAll();
    monitorThread.waitForFinish();
    log("Stopped", lcInfo);
}

void StationCore::destroy()
{
    delete dialog;
    dialog = nullptr;
    qDeleteAll(barCodeScanners);
    barCodeScanners.clear();
}

void StationCore::saveState()
{
    VXChunkStream stream;
    stream.addRaw(1, cellsLogic.save());
    QString error;
    if (!VXFile::writeAll(QString::fromLatin1(stateFileName), stream.data(), &error))
        log(QStringLiteral("[StationCore] Can't write %1: %2").arg(QString::fromLatin1(stateFileName), error), lcError);
}

void StationCore::loadState()
{
    VXChunkStream stream;
    stream.read(VXFile::readAll(QString::fromLatin1(stateFileName)));
    cellsLogic.load(stream.chunk(1));
}

void StationCore::log(const VXString& text, LogCategory category)
{
    const QDateTime at = VXDateTime::current();
    const VXString line = stationLog.enqueue(text, at);
    VXCout::line(line);
    // Warnings and errors also go to the log server; the transport keeps its
    // own failures about that server local, so this cannot feed itself. A
    // record may wait in the queue for hours: it carries the time of its line.
    if (category == lcInfo)
        return;
    const VXString record =
        at.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz")) + QStringLiteral(" - ") + text;
    QMutexLocker locker(&serverLogMutex);
    if (!serverLogKnown)
        earlyServerLogs.append({int(category), record});
    else if (server.isLogActive())
        Database::instance()->queueLog(Server::makeLog(int(category), record));
}

void StationCore::log(const char* text, LogCategory category)
{
    log(QString::fromUtf8(text), category);
}

bool StationCore::isIdleForSync() const
{
    return (!dialog || dialog->isHidden())
           && (active_screen == Constants::asStart || active_screen == Constants::asAdministration);
}

void StationCore::goToStart()
{
    setActiveScreen(Constants::asStart);
}

void StationCore::setActiveScreen(Constants::ActiveScreen screen)
{
    if (screen == active_screen)
        return;
    const auto previous = Constants::ActiveScreen(active_screen);
    active_screen = screen;
    // What was opened on the screen left belongs to that screen (and to its
    // person): the next screen starts without it.
    closePopups();
    if (screen == Constants::asDeviceProblem && mainWindow)
        mainWindow->pageDeviceProblem->enter(previous);
    else if (screen == Constants::asAdministration && mainWindow)
        mainWindow->pageAdministration->widgetCells->updateButtons();
    if (screen == Constants::asStart) {
        stopGoToStartTimer();
        Q_EMIT gotoStartRequest();
    } else if (screen == Constants::asCloseCell) {
        restartGoToStartTimer(timeouts.max_return_device);
        if (mainWindow)
            mainWindow->pageCloseCell->enter();
    } else {
        restartGoToStartTimer(timeouts.goto_start);
    }
    Q_EMIT activeScreenRequest(screen);
    if (screen == Constants::asStart || screen == Constants::asAdministration)
        Q_EMIT logicsTimeoutRequest();
}

void StationCore::closePopups()
{
    if (dialog)
        dialog->cancel();
    // Menus are windows of their own, outside the dialog's veil. A popup
    // that stays on close ends the loop.
    for (QWidget* popup = QApplication::activePopupWidget(); popup;) {
        popup->close();
        QWidget* next = QApplication::activePopupWidget();
        popup = next == popup ? nullptr : next;
    }
}

void StationCore::setQRMode(Constants::QRMode mode)
{
    qr_mode.store(mode);
    // Off-screen, identification by card or code is always possible.
    const bool scannersOn = mode != Constants::qmNone || offscreen;
    for (BarCodeScanner* scanner : qAsConst(barCodeScanners))
        scanner->setEnabled(scannersOn);
    cardScanner.setEnabled(mode == Constants::qmUser || offscreen);
}

bool StationCore::isScannerOpened() const
{
    for (const BarCodeScanner* scanner : barCodeScanners)
        if (scanner->isOpened())
            return true;
    return false;
}

bool StationCore::isWorkable() const
{
    return isScannerOpened() && cellController.receiveQuality() >= 3 && Database::instance()->isWritable();
}

void StationCore::restartGoToStartTimer(VXSystemTime period)
{
    startIndexedTimer(1, period);
}

void StationCore::restartGoToStartTimer()
{
    restartGoToStartTimer(timeouts.goto_start);
}

int StationCore::remainsGoToStartTimer() const
{
    return indexedTimerRemainingTime(1);
}

void StationCore::stopGoToStartTimer()
{
    stopIndexedTimer(1);
}

void StationCore::showMessage(const QString& messageTitle, const QString& text)
{
    if (!dialog)
        return;
    restartGoToStartTimer(timeouts.message_lifetime);
    dialog->setTitle(messageTitle);
    dialog->setString(text);
    dialog->buttonCancel->hide();
    dialog->exec();
    dialog->buttonCancel->show();
    // Answered before its lifetime ran out: the screen goes on with its own
    // inactivity time-out instead of leaving when the message would have.
    if (isIndexedTimerActive(1)) {
        if (active_screen == Constants::asStart)
            stopGoToStartTimer();
        else if (active_screen == Constants::asCloseCell)
            restartGoToStartTimer(timeouts.max_return_device);
        else
            restartGoToStartTimer(timeouts.goto_start);
    }
}

bool StationCore::setCellBlocked(const CellsLogic::Cell& cell, bool lock, const QString& reason)
{
    if (!cell.isValid() || cell.devicePointCellId < 0) {
        log("[StationCore] Error: can`t change lock status, uninitialized cell ID!", lcError);
        return false;
    }
    cellsLogic.setCellLocked(cell.number, lock, reason);
    log(QStringLiteral("[StationCore] Cell %1 %2 (%3)")
            .arg(cell.number)
            .arg(lock ? QStringLiteral("lock") : QStringLiteral("unlock"), reason),
        lcWarning);
    Database::instance()->queueChange(Server::makeCellLockStatus(cell.devicePointCellId, lock, reason));
    return true;
}

bool StationCore::detectMonitor()
{
    if (!monitor_detect_enabled.load())
        return false;
    FILE* pipe = ::popen("xrandr --listmonitors 2>/dev/null", "r");
    if (!pipe)
        return monitor_present.load();
    QByteArray output;
    char block[256];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, pipe)) > 0)
        output.append(block, int(got));
    const int status = ::pclose(pipe);
    // No display, or no xrandr: nothing is known, so the mode stays as it is.
    if (status != 0)
        return monitor_present.load();
    return monitorsInOutput(output);
}

bool StationCore::monitorsInOutput(const QByteArray& output)
{
    const QList<QByteArray> lines = output.split('\n');
    if (lines.size() < 2)
        return false;
    const QByteArray first = lines.first();
    if (!first.startsWith("Monitors:"))
        return false;
    bool ok = false;
    const int count = first.mid(9).trimmed().toInt(&ok);
    return ok && count >= 1;
}

void StationCore::followOffscreen()
{
    if (!support_offscreen)
        return;
    const bool off = !isMonitorPresents();
    if (off == offscreen)
        return;
    log(off ? "Monitor disconnected, enter offscreen mode" : "Monitor connected, leave offscreen mode", lcInfo);
    offscreen = off;
    offscreenLogic.setEnabled(offscreen);
    setQRMode(qrMode());
    Q_EMIT offscreenModeChanged();
}

QString StationCore::prepareCSS(const QString& css) const
{
    QString result = css;
    return result.replace(QStringLiteral("${main_color}"), QStringLiteral("rgb(0, 151, 199)"));
}

void StationCore::setLineEditFocus(QLineEdit* edit)
{
    if (!edit)
        return;
    edit->setFocus();
    if (virtual_keyboard)
        QCoreApplication::postEvent(edit, new QEvent(QEvent::Type(199)));
}

void StationCore::createScroller(QObject* object)
{
    QScroller::grabGesture(object, QScroller::LeftMouseButtonGesture);
    QScroller* scroller = QScroller::scroller(object);
    QScrollerProperties properties = scroller->scrollerProperties();
    properties.setScrollMetric(QScrollerProperties::OvershootScrollDistanceFactor, 0.1);
    properties.setScrollMetric(QScrollerProperties::DecelerationFactor, 0.25);
    properties.setScrollMetric(QScrollerProperties::MaximumVelocity, 2.0);
    scroller->setScrollerProperties(properties);
}

QString StationCore::trEnumP(Constants::DeviceStatus value)
{
    switch (value) {
    case Constants::dsWorkable:
        return tr("Workable");
    case Constants::dsInRepair:
        return tr("In repair");
    case Constants::dsArchived:
        return tr("Archived");
    }
    return QString();
}

QString StationCore::trEnumP(Constants::DeviceChargeTrend value)
{
    switch (value) {
    case Constants::dtUnknown:
        return tr("Unknown");
    case Constants::dtStable:
        return tr("Stable");
    case Constants::dtRaise:
        return tr("Raise");
    case Constants::dtFall:
        return tr("Fall");
    }
    return QString();
}

QString StationCore::trEnumP(Constants::DeviceTaskStatus value)
{
    switch (value) {
    case Constants::tsCreated:
        return tr("Created");
    case Constants::tsInWork:
        return tr("In work");
    case Constants::tsClosed:
        return tr("Closed");
    }
    return QString();
}

QString StationCore::trEnumP(Constants::DeviceValueType value)
{
    switch (value) {
    case Constants::vtBattery:
        return tr("Battery");
    case Constants::vtCoordinates:
        return tr("Coordinates");
    }
    return QString();
}

void StationCore::barCodeReaded(QByteArray data)
{
    data = data.trimmed();
    if (data.isEmpty())
        return;
    const QPair<QString, QString> login = qrLoginDecrypt(data);
    const QString text = QString::fromLatin1(data).trimmed();
    if (offscreen) {
        if (!takesOffscreenInput())
            return;
        if (login.first.isEmpty()) {
            offscreenLogic.deviceDetected(Database::instance()->deviceBySerial(text));
            return;
        }
        // The password is not looked at, as on the screen.
        offscreenUserReaded(Database::instance()->userByLogin(login.first));
        return;
    }
    switch (qrMode()) {
    case Constants::qmUser:
        if (!login.first.isEmpty()) {
            qrLoginReaded(login.first, login.second);
        } else {
            log(tr("[QRScanner] Invalid code"), lcWarning);
            showMessage(tr("User scan"), tr("Invalid code!"));
        }
        break;
    case Constants::qmDevice:
        qrDeviceReaded(text);
        break;
    case Constants::qmNone:
        break;
    }
}

void StationCore::qrLoginReaded(const QString& login, const QString& password)
{
    const DatabaseStructs::User user = Database::instance()->userByLogin(login);
    if (user.isValid())
        Q_EMIT loginSuccessful(user, password);
    else
        Q_EMIT loginFailed(user, password);
}

void StationCore::qrDeviceReaded(const QString& serial)
{
    const DatabaseStructs::Device device = Database::instance()->deviceBySerial(serial);
    if (device.isValid())
        Q_EMIT deviceDetected(device);
    else
        showMessage(tr("Device scan"), tr("Device not found!"));
}

bool StationCore::takesOffscreenInput() const
{
    // Without a screen, input counts only on the start screen: a run that
    // goes on has its user (and device) already, also one whose closing
    // message still shows there.
    return active_screen == Constants::asStart && !giveLogic.isActive() && !returnLogic.isActive();
}

void StationCore::offscreenUserReaded(const DatabaseStructs::User& user)
{
    if (user.isValid())
        offscreenLogic.loginSuccessful(user);
    else
        offscreenLogic.playAudio(StationOffScreenLogic::atError);
}

void StationCore::cardReaded(QString personNumber)
{
    const DatabaseStructs::User user =
        personNumber.isEmpty() ? DatabaseStructs::User() : Database::instance()->userByPersonNumber(personNumber);
    if (offscreen) {
        if (takesOffscreenInput())
            offscreenUserReaded(user);
        return;
    }
    if (qrMode() != Constants::qmUser)
        return;
    if (user.isValid())
        Q_EMIT loginSuccessful(user, QString());
    else
        Q_EMIT loginFailed(user, QString());
}
