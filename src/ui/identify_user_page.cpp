#include "ui/identify_user_page.h"

#include "core/core.h"

StationIdentifyUserPage::StationIdentifyUserPage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    labelTitle->setStyleSheet(StationCore::instance()->css_big);
}

void StationIdentifyUserPage::on_buttonCancel_clicked()
{
    Q_EMIT StationCore::instance()->cancelLogicsRequest();
}
