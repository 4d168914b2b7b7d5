#include "ui/widget_status.h"

#include <QDateTime>

#include "core/core.h"

StationWidgetStatus::StationWidgetStatus(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    setStyleSheet(StationCore::instance()->css_small);
    labelAdmin->setText(
        tr("Version %1 (build %2)").arg(QLatin1String(Constants::version)).arg(Constants::buildNumber));
    startIndexedTimer(0, VXSystemTime::fromString(QStringLiteral("1 Hz")), [this] { updateStatus(); });
    setAdminView(false);
    updateStatus();
}

void StationWidgetStatus::setAdminView(bool admin)
{
    labelAdmin->setVisible(admin);
}

void StationWidgetStatus::updateStatus()
{
    const QDateTime now = QDateTime::currentDateTime();
    labelTime->setText(now.toString(QStringLiteral("hh:mm")));
    labelDate->setText(now.toString(QStringLiteral("dd.MM.yyyy")));
}
