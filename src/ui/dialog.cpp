#include "ui/dialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

StationDialog::StationDialog()
{
    setObjectName(QStringLiteral("StationDialog"));
    setStyleSheet(QStringLiteral("background-color: rgba(64,64,64,128);"));
    auto* outer = new QVBoxLayout(this);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAutoFillBackground(true);
    outer->addStretch(1);
    outer->addWidget(frame, 3);
    outer->addStretch(1);
    auto* layout = new QVBoxLayout(frame);
    labelTitle = new QLabel(frame);
    labelTitle->setObjectName(QStringLiteral("labelTitle"));
    labelTitle->setAlignment(Qt::AlignCenter);
    labelTitle->setStyleSheet(QStringLiteral("font:bold;"));
    labelString = new QLabel(frame);
    labelString->setObjectName(QStringLiteral("labelString"));
    labelString->setAlignment(Qt::AlignCenter);
    labelString->setWordWrap(true);
    buttonOk = new QPushButton(tr("Ok"), frame);
    buttonOk->setObjectName(QStringLiteral("buttonOk"));
    buttonCancel = new QPushButton(tr("Cancel"), frame);
    buttonCancel->setObjectName(QStringLiteral("buttonCancel"));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(buttonOk);
    buttons->addWidget(buttonCancel);
    layout->addWidget(labelTitle);
    layout->addWidget(labelString, 1);
    layout->addLayout(buttons);
    connect(buttonOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(buttonCancel, &QPushButton::clicked, this, [this] { cancel(); });
    hide();
}

void StationDialog::assignToWindow(QWidget* w)
{
    if (window)
        window->removeEventFilter(this);
    window = w;
    hide();
    setParent(w);
    if (w) {
        w->installEventFilter(this);
        fitWindow();
    }
}

void StationDialog::setTitle(const QString& text)
{
    labelTitle->setText(text);
}

void StationDialog::setString(const QString& text)
{
    labelString->setText(text);
}

void StationDialog::setAcceptButtonText(const QString& text)
{
    buttonOk->setText(text);
}

int StationDialog::exec()
{
    if (!window)
        return 0;
    result = -1;
    show();
    raise();
    while (result < 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // Hidden by someone else (a nested exec ended): give up the wait.
        if (isHidden())
            return 0;
        QThread::msleep(5);
    }
    hide();
    return result;
}

void StationDialog::done(int code)
{
    result = code;
}

bool StationDialog::eventFilter(QObject* object, QEvent* event)
{
    if (object == window && event->type() == QEvent::Resize)
        fitWindow();
    return QWidget::eventFilter(object, event);
}

void StationDialog::fitWindow()
{
    if (window)
        setGeometry(window->rect());
}
