#pragma once

#include <QMainWindow>

#include "vexo/session_manager.h"

// Base of a program's main window: owns the window's session manager. A
// derived window passes its eventFilter and changeEvent on to this base.
class EMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit EMainWindow(QWidget* parent = nullptr);
    ~EMainWindow() override;

    SessionManager& sessionManager() { return session; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    SessionManager session;
};
