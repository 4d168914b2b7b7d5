#pragma once

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QWidget>

// Keeps the layout of a program's windows across runs: for each registered
// window its geometry (position, size, maximised or full screen) and, for a
// main window, the state of its tool bars and docks, in an INI file under the
// window's name.
class SessionManager
{
public:
    void setFile(const QString& path);
    QString file() const { return path; }

    // Registers a window under a name (its object name when none is given).
    void addEntry(const QString& name, QWidget* window);
    void addEntry(QWidget* window);
    int entryCount() const { return entries.size(); }

    // Restores the layout of every registered window found in the file. With
    // showWindows the windows are also shown or hidden as they were saved;
    // without it their visibility is left to the program. False when the file
    // cannot be read or holds nothing for the windows.
    bool load(bool showWindows);
    // Writes the layout of every registered window that still exists.
    bool save();
    // Forgets every window; with forgetFile also the file, so a later save()
    // (one after the windows are gone) writes nothing.
    void clear(bool forgetFile);

private:
    QString path;
    QList<QPair<QString, QPointer<QWidget>>> entries;
};
