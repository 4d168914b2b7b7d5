#include "ui/dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOption>
#include <QThread>

StationDialog::StationDialog()
{
    setupUi(this);
    widget->setAutoFillBackground(true);
    frame->setAutoFillBackground(true);
    hide();
}

StationDialog::~StationDialog()
{
    if (openCalls > 0)
        qApp->removeEventFilter(this);
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
        resize();
    }
}

void StationDialog::setTitle(const QString& text)
{
    labelTitle->setText(text);
}

void StationDialog::setString(const QString& text)
{
    labelString->setText(text);
    stackedWidgetContent->setCurrentWidget(pageMessage);
}

void StationDialog::setStringList(const QStringList& strings)
{
    listWidget->clear();
    for (const QString& text : strings) {
        auto* item = new QListWidgetItem(text, listWidget);
        item->setTextAlignment(Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (listWidget->count() == 1)
            listWidget->setCurrentItem(item);
    }
    stackedWidgetContent->setCurrentWidget(pageList);
    listWidget->setFocus();
}

void StationDialog::setTextInput()
{
    stackedWidgetContent->setCurrentWidget(pageLineInput);
    textEdit->clear();
    textEdit->setFocus();
}

void StationDialog::setAcceptButtonText(const QString& text)
{
    buttonOk->setText(text);
}

int StationDialog::exec()
{
    takenOver = false;
    if (!window)
        return 0;
    result = -1;
    const int endsBefore = execEnds;
    if (openCalls++ == 0) {
        focusBeforeOpen = QApplication::focusWidget();
        // Keys typed while the veil is up belong to the dialog, never to the
        // page under it; the filter on the application sees them first.
        qApp->installEventFilter(this);
    }
    show();
    raise();
    if (QWidget* target = contentFocusWidget())
        target->setFocus(Qt::OtherFocusReason);

    // Our own hidden flag, not isVisible(): the window may not be shown yet
    // (a message at start-up, a test), and the dialog is still open then.
    bool hiddenMeanwhile = false;
    while (result < 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (isHidden()) {
            // Hidden by someone else (a return to the start page, a nested
            // exec that ended): give up the wait.
            hiddenMeanwhile = true;
            break;
        }
        QThread::msleep(5);
    }
    hide();
    takenOver = hiddenMeanwhile && execEnds != endsBefore;
    ++execEnds;

    if (--openCalls == 0) {
        qApp->removeEventFilter(this);
        if (focusBeforeOpen && focusBeforeOpen->isVisible())
            focusBeforeOpen->setFocus(Qt::OtherFocusReason);
        focusBeforeOpen = nullptr;
    }
    return hiddenMeanwhile ? 0 : result;
}

void StationDialog::done(int code)
{
    result = code;
}

int StationDialog::selectedIndex() const
{
    return listWidget->currentRow();
}

QString StationDialog::selectedString() const
{
    const QListWidgetItem* item = listWidget->currentItem();
    return item ? item->text() : QString();
}

QString StationDialog::textInputString() const
{
    return textEdit->toPlainText();
}

void StationDialog::resize()
{
    if (window)
        setGeometry(window->rect());
}

void StationDialog::on_buttonOk_clicked()
{
    done(1);
}

void StationDialog::on_buttonCancel_clicked()
{
    cancel();
}

bool StationDialog::eventFilter(QObject* object, QEvent* event)
{
    if (object == window && event->type() == QEvent::Resize)
        resize();
    if (openCalls > 0 && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        && (object == this || isAncestorOf(qobject_cast<QWidget*>(object)))) {
        // Remembered so that the same key, passed on to the window when the
        // dialog leaves it unhandled, is told from one aimed at the window.
        keyInDialog = event;
        keyInDialogTime = static_cast<QKeyEvent*>(event)->timestamp();
    }
    if (isKeyForWidgetUnderVeil(object, event)) {
        auto* target = static_cast<QWidget*>(object);
        const bool passedOnFromDialog = event == keyInDialog
                                        && static_cast<QKeyEvent*>(event)->timestamp() == keyInDialogTime
                                        && target->isAncestorOf(this);
        // A key sent on from here, or one the dialog left unhandled, stops:
        // the page under the veil must not act on it.
        if (redirectingKey || passedOnFromDialog)
            return true;
        QWidget* content = contentFocusWidget();
        if (!content)
            return true;
        content->setFocus(Qt::OtherFocusReason);
        const auto* key = static_cast<QKeyEvent*>(event);
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(),
                       key->nativeVirtualKey(), key->nativeModifiers(), key->text(), key->isAutoRepeat(),
                       key->count());
        redirectingKey = true;
        QCoreApplication::sendEvent(content, &copy);
        redirectingKey = false;
        return true;
    }
    return QWidget::eventFilter(object, event);
}

void StationDialog::paintEvent(QPaintEvent*)
{
    // A QWidget subclass draws its style sheet's background (the veil) only
    // when asked to.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

bool StationDialog::isKeyForWidgetUnderVeil(QObject* object, QEvent* event) const
{
    if (openCalls == 0 || isHidden())
        return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    if (!object->isWidgetType())
        return false;
    auto* target = static_cast<QWidget*>(object);
    // Only widgets of the window the veil lies on; other top-level windows
    // (the on-screen keyboard in a window of its own) keep their keys.
    return target != this && !isAncestorOf(target) && target->window() == QWidget::window();
}

QWidget* StationDialog::contentFocusWidget() const
{
    QWidget* page = stackedWidgetContent->currentWidget();
    if (page == pageList)
        return listWidget;
    if (page == pageLineInput)
        return textEdit;
    return buttonOk->isVisible() ? static_cast<QWidget*>(buttonOk) : buttonCancel;
}
