#pragma once

#include <functional>

#include "storage/database_structs.h"
#include "ui_station_mainwindow.h"
#include "vexo/emainwindow.h"
#include "vexo/indexed_timer.h"

// The kiosk's one window: the status bar over a stack of pages whose index is
// the screen the hub shows. Keeps the start page up to date and, when closed,
// stops the station's services in order.
class StationMainWindow : public EMainWindow, public Ui::StationMainWindow, public IndexedTimer<int>
{
    Q_OBJECT
public:
    explicit StationMainWindow(QWidget* parent = nullptr);
    ~StationMainWindow() override;

    void loginSuccessful(DatabaseStructs::User user, QString password);
    void loginFailed(DatabaseStructs::User user, QString password);
    void gotoStart();
    void updateStartPage();
    void adminRequest();
    void checkWorkable();
    void setIconsSize();

    // Seconds since the last synchronisation with the server (the server's
    // own measure; replaceable so the note can be shown at any age).
    std::function<qint64()> lastSyncElapsedSeconds;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private Q_SLOTS:
    void buttonReturnDevice_clicked();
    void buttonGiveDevice_clicked();
    void on_buttonAdminLoginCancel_clicked();
    void on_buttonAdminLogin_clicked();
    void on_stackedMain_currentChanged(int index);
    void on_lineAdminLogin_textChanged(QString s);
    void on_lineAdminPassword_textChanged(QString s);

private:
    void showScreen(int screen);
    // The checks of the login page for that user (invalid: unknown).
    void checkLogin(const DatabaseStructs::User& user);
    // Shows a failed login check; Cancel goes back to the start page.
    void showLoginMessage(const QString& text);

    // A login check is under way, its message possibly showing: a card, a
    // code or keys arriving meanwhile must not start another one inside it.
    bool loginChecking = false;
};
