#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "ui_dialog.h"

// The one modal overlay of the station: a half-transparent veil over the
// window's content with a title, one of three pages (a message, a choice from
// a list, a free text) and Ok / Cancel. exec() spins the event loop until a
// button, done() or cancel() gives a result, or until the dialog is hidden.
class StationDialog : public QWidget, public Ui::StationDialog
{
    Q_OBJECT
public:
    StationDialog();
    ~StationDialog() override;

    // nullptr detaches: exec() then returns 0 at once.
    void assignToWindow(QWidget* w);

    void setTitle(const QString& text);
    void setString(const QString& text);
    void setStringList(const QStringList& strings);
    void setTextInput();
    void setAcceptButtonText(const QString& text);

    // 1 for Ok; 0 for Cancel, cancel(), a hide meanwhile or no window.
    int exec();
    // Whether the last exec() ended because another exec() inside it took
    // the dialog over: the person answered that one, not this one.
    bool wasTakenOver() const { return takenOver; }
    void done(int code);
    void cancel() { done(0); }

    int selectedIndex() const;
    QString selectedString() const;
    QString textInputString() const;

    void resize();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private Q_SLOTS:
    void on_buttonOk_clicked();
    void on_buttonCancel_clicked();

private:
    bool isKeyForWidgetUnderVeil(QObject* object, QEvent* event) const;
    QWidget* contentFocusWidget() const;

    QWidget* window = nullptr;
    int result = -1;
    int openCalls = 0;
    // exec() calls ended so far, and whether the last one was taken over.
    int execEnds = 0;
    bool takenOver = false;
    bool redirectingKey = false;
    const QEvent* keyInDialog = nullptr;
    ulong keyInDialogTime = 0;
    QPointer<QWidget> focusBeforeOpen;
};
