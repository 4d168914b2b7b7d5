#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The one modal overlay of the station: a veil over the window with a title,
// a message and Ok / Cancel. exec() spins the event loop until a button,
// cancel() or a hide ends it.
class StationDialog : public QWidget
{
    Q_OBJECT
public:
    StationDialog();

    void assignToWindow(QWidget* w);
    void setTitle(const QString& text);
    void setString(const QString& text);
    void setAcceptButtonText(const QString& text);

    // 1 for Ok, 0 for Cancel, cancel(), a hide meanwhile or no window.
    int exec();
    void done(int code);
    void cancel() { done(0); }

    QLabel* labelTitle;
    QLabel* labelString;
    QPushButton* buttonOk;
    QPushButton* buttonCancel;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void fitWindow();

    QWidget* window = nullptr;
    int result = -1;
};
