#pragma once

#include <atomic>

#include <QMutex>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVector>

#include "cells/cellcontroller.h"
#include "cells/cells_logic.h"
#include "core/constants.h"
#include "core/log.h"
#include "core/singleton.h"
#include "jalt/vx_thread.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"
#include "jalt/vx_value_tree.h"
#include "readers/cardscanner.h"
#include "server/server.h"
#include "storage/database_structs.h"
#include "vexo/indexed_timer.h"
#include "workflows/logic_give_device.h"
#include "workflows/logic_offscreen.h"
#include "workflows/logic_return_device.h"

class BarCodeScanner;
class QLineEdit;
class StationDialog;
class StationMainWindow;

// The hub: owns the station's services, holds the configuration, knows the
// screen shown and routes identification input. One per process, on the main
// thread; log() may be called from any thread.
class StationCore : public QObject, public IndexedTimer<int>
{
    Q_OBJECT
public:
    enum LogCategory
    {
        lcInfo = 0,
        lcWarning = 1,
        lcError = 2,
    };

    struct Timeouts
    {
        VXSystemTime goto_start;
        VXSystemTime open_cell_min_interval;
        VXSystemTime reopen_cell;
        VXSystemTime open_silence;
        VXSystemTime max_try_open_cell;
        VXSystemTime message_lifetime;
        VXSystemTime max_return_device;
        VXSystemTime reconnect_delay;
        VXSystemTime sync_interval;
        VXSystemTime keep_alive_interval;
    };

    static StationCore* instance();
    // Ends the process's hub (its dialog, scanners and threads with it); the
    // next instance() builds a fresh one. Test programs run many cases in
    // one process and reset between them.
    static void resetInstance();

    void init();
    void stop();
    void destroy();

    void saveState();
    void loadState();

    void log(const VXString& text, LogCategory category = lcInfo);
    void log(const char* text, LogCategory category = lcInfo);

    int activeScreen() const { return active_screen; }
    // Downloaded data is merged only while nobody is at work on the screen:
    // the start or administration page, no dialog.
    bool isIdleForSync() const;
    void goToStart();
    void setActiveScreen(Constants::ActiveScreen screen);
    void setQRMode(Constants::QRMode mode);
    Constants::QRMode qrMode() const { return Constants::QRMode(qr_mode.load()); }

    void restartGoToStartTimer(VXSystemTime period);
    // With goto_start.
    void restartGoToStartTimer();
    int remainsGoToStartTimer() const;
    void stopGoToStartTimer();

    void showMessage(const QString& title, const QString& text);
    // False when nothing changed: the cell is invalid or has no id from the
    // server, whose lock records name that id.
    bool setCellBlocked(const CellsLogic::Cell& cell, bool lock, const QString& reason);

    void counterIncDeviceTaken() { ++devices_taken; }
    void counterIncDeviceReturned() { ++devices_returned; }
    int counterDeviceTaken() const { return devices_taken.load(); }
    int counterDeviceReturned() const { return devices_returned.load(); }

    bool isMonitorPresents() const { return monitor_present.load(); }
    // Whether any bar-code scanner is open (part of the station's workable check).
    bool isScannerOpened() const;
    // Whether a run may begin: a scanner is open, the lock controller
    // answers and the database records.
    bool isWorkable() const;
    bool detectMonitor();

    QString prepareCSS(const QString& css) const;
    void setLineEditFocus(QLineEdit* edit);
    static void createScroller(QObject* object);

    static QString trEnumP(Constants::DeviceStatus value);
    static QString trEnumP(Constants::DeviceChargeTrend value);
    static QString trEnumP(Constants::DeviceTaskStatus value);
    static QString trEnumP(Constants::DeviceValueType value);
    template <typename E> static QString trEnum(E value) { return trEnumP(value); }

    // Configuration readers that warn about a value that does not parse and
    // keep the default instead.
    VXSystemTime readDuration(const QString& section, const QString& key, const QString& fallback);
    bool readBool(const QString& section, const QString& key, bool fallback);
    int readInt(const QString& section, const QString& key, int fallback);

    VXValueTree config;
    CellController cellController;
    VXVector<BarCodeScanner*> barCodeScanners;
    CardScanner cardScanner;
    Server server;
    CellsLogic cellsLogic;
    StationDialog* dialog = nullptr;
    StationGiveDeviceLogic giveLogic;
    StationReturnDeviceLogic returnLogic;
    StationOffScreenLogic offscreenLogic;
    QStringList lock_reasons;
    QString css_small;
    QString css_normal;
    QString css_big;
    QString title;
    StationMainWindow* mainWindow = nullptr;
    VXSystemTime server_lost_threshold;
    VXTimeMeasurer uptime;
    StationLog stationLog;

    int point_id = 0;
    int min_return_device_charge = 70;
    int min_return_device_charge_offscreen = 30;
    int min_return_device_time = 7200;
    double line_thickness = 4.0;
    double cell_priority_per_hour = 1.0;
    double device_priority_per_hour = 1.0;

    bool server_log = false;
    bool cells_log = false;
    bool first_sync_pending = true;
    bool virtual_keyboard = false;
    bool unsafe_admin = false;
    bool reset_cell_priority_on_error = false;
    bool block_on_ambiguous = false;
    bool block_on_open_timeout = false;
    bool block_on_close_timeout = false;
    bool hide_open_indicator = false;
    bool return_device_search_only_owned = true;
    bool support_offscreen = false;
    bool offscreen = false;

    Timeouts timeouts;

    // Read by the monitor thread, toggled from the window.
    std::atomic<bool> monitor_detect_enabled{true};
    std::atomic<int> qr_mode{Constants::qmNone};
    std::atomic<int> devices_taken{0};
    std::atomic<int> devices_returned{0};
    std::atomic<bool> monitor_present{true};

    int active_screen = Constants::asStart;

    VXThread monitorThread;

private:
    // Warnings and errors logged before the log server's address is read
    // wait here (category and record text); then they go to its queue, in
    // order, ahead of later lines, under the station's id read meanwhile.
    QMutex serverLogMutex;
    bool serverLogKnown = false;
    QVector<QPair<int, VXString>> earlyServerLogs;

Q_SIGNALS:
    void gotoStartRequest();
    void logicsTimeoutRequest();
    void cancelLogicsRequest();
    void loginSuccessful(DatabaseStructs::User user, QString password);
    void loginFailed(DatabaseStructs::User user, QString password);
    void deviceDetected(DatabaseStructs::Device device);
    void activeScreenRequest(int screen);
    void cellsChanged();
    void offscreenModeChanged();

public Q_SLOTS:
    void barCodeReaded(QByteArray data);
    void cardReaded(QString personNumber);

private:
    friend class Singleton<StationCore>;
    StationCore();
    ~StationCore() override;
    static void stopServerAtExit();

    void readConfiguration();
    void configureServer();
    void qrLoginReaded(const QString& login, const QString& password);
    void qrDeviceReaded(const QString& serial);
    // A user identified by card or login code without a screen: an unknown
    // one hears the error prompt.
    void offscreenUserReaded(const DatabaseStructs::User& user);
    bool takesOffscreenInput() const;
    void openReaders();
    void followOffscreen();
    // Cancels the shared dialog and closes every popup window (menus).
    void closePopups();
    // Reads the output of "xrandr --listmonitors"; false when it shows no monitor.
    static bool monitorsInOutput(const QByteArray& output);
};
