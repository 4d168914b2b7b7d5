#pragma once

#include <QLineEdit>
#include <QSignalBlocker>
#include <QString>

// Empties a field that held a login or a password. setText() also drops the
// field's undo history, which clear() would keep for the next person at the
// screen. No signal: emptying a field is no activity that restarts the
// inactivity timer.
inline void forgetFieldText(QLineEdit* edit)
{
    const QSignalBlocker blocker(edit);
    edit->setText(QString());
}
