#include "ui/close_cell_page.h"

#include <QTime>

#include "core/core.h"

StationCloseCellPage::StationCloseCellPage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    StationCore* core = StationCore::instance();
    labelTitle->setStyleSheet(core->css_big);
    circleIndicator->setMaximum(double(core->timeouts.max_return_device.toMSec()) / 1000.0);
    startIndexedTimer(0, VXSystemTime::fromString(QStringLiteral("5 Hz")), [this] {
        if (circleIndicator->isVisible())
            setTime(remainingSeconds());
    });
}

double StationCloseCellPage::remainingSeconds()
{
    return double(StationCore::instance()->remainsGoToStartTimer()) / 1000.0;
}

void StationCloseCellPage::enter()
{
    setTime(remainingSeconds());
}

void StationCloseCellPage::setTime(double seconds)
{
    circleIndicator->setValue(circleIndicator->maximum() - seconds);
    const int ms = int(qMax(seconds, 0.0) * 1000.0);
    circleIndicator->setText(QTime(0, 0).addMSecs(ms).toString(QStringLiteral("m:ss")));
}

void StationCloseCellPage::highlight(int number)
{
    widgetCellsView->highlight(number);
}

void StationCloseCellPage::setGiveTitle(const DatabaseStructs::User& user, int number)
{
    highlight(number);
    labelTitle->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-weight:600;\">%1</span><br/>Take "
           "device from <span style=\" font-weight:600;\">cell %2</span><br/><span style=\" "
           "font-weight:600;\">Unplug the cable</span></p></body></html>")
            .arg(user.name, QString::number(number)));
}

void StationCloseCellPage::setReturnTitle(const DatabaseStructs::User& user, int number)
{
    highlight(number);
    labelTitle->setText(
        tr("<html><head/><body><p align=\"center\"><span style=\" font-weight:600;\">%1</span><br/><span "
           "style=\" font-weight:600;\">Plug the cable</span><br/>Place device into <span style=\" "
           "font-weight:600;\">cell %2</span></p></body></html>")
            .arg(user.name, QString::number(number)));
}

void StationCloseCellPage::on_buttonReportProblem_clicked()
{
    StationCore::instance()->setActiveScreen(Constants::asDeviceProblem);
}
