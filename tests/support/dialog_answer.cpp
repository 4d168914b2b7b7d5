#include "support/dialog_answer.h"

#include <QPushButton>
#include <QTest>

#include "ui/dialog.h"

DialogAnswer::DialogAnswer(StationDialog* dialog, std::function<void(StationDialog*)> act)
{
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, this, [this, dialog, act] {
        if (answered || dialog->isHidden() || !dialog->parentWidget())
            return;
        answered = true;
        timer.stop();
        title = dialog->labelTitle->text();
        text = dialog->labelString->text();
        page = dialog->stackedWidgetContent->currentIndex();
        cancelShown = !dialog->buttonCancel->isHidden();
        act(dialog);
    });
    timer.start();
}

std::function<void(StationDialog*)> DialogAnswer::clickOk()
{
    return [](StationDialog* d) { QTest::mouseClick(d->buttonOk, Qt::LeftButton); };
}

std::function<void(StationDialog*)> DialogAnswer::clickCancel()
{
    return [](StationDialog* d) { QTest::mouseClick(d->buttonCancel, Qt::LeftButton); };
}
