#pragma once

#include <QWidget>

#include "ui_identify_user_page.h"

// Asks the user for a card or a personal code; the identification itself
// arrives through the hub.
class StationIdentifyUserPage : public QWidget, public Ui::StationIdentifyUserPage
{
    Q_OBJECT
public:
    explicit StationIdentifyUserPage(QWidget* parent = nullptr);

private Q_SLOTS:
    void on_buttonCancel_clicked();
};
