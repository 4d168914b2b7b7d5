#pragma once

#include <QApplication>

// The application object, keyed so that only one process per key runs at a
// time. The guard is an flock() on a file in the user's runtime directory
// ($XDG_RUNTIME_DIR, else the temporary directory): the kernel drops it when
// the process dies, so a crashed station can start again at once.
class QSingleApplication : public QApplication
{
    Q_OBJECT
public:
    QSingleApplication(int& argc, char** argv, const QString& key);
    ~QSingleApplication() override;

    bool isFirst() const { return first; }
    // Why the lock file could not be opened (then isFirst() is false although
    // no other instance may run), or empty.
    QString lockError() const { return error; }

private:
    int lockFd = -1;
    bool first = false;
    QString error;
};
