#include "ui/open_cell_page.h"

#include "core/core.h"

StationOpenCellPage::StationOpenCellPage(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    StationCore* core = StationCore::instance();
    label->hide();
    label->setStyleSheet(QStringLiteral("*{ color: normal; background-color: normal; }") + core->css_big);
    labelTitle->setStyleSheet(core->css_big);
    // A full turn every two seconds; idle while the page is not shown.
    startIndexedTimer(0, VXSystemTime::fromString(QStringLiteral("60 Hz")), [this] {
        if (imageView->isVisible())
            imageView->rotate(3);
    });
    if (core->hide_open_indicator)
        hideIndicator();
}

void StationOpenCellPage::setCellNumber(int number)
{
    labelTitle->setText(tr("Open cell %1 ...").arg(number));
}

void StationOpenCellPage::hideIndicator()
{
    imageView->hide();
    label->show();
}
