#include "vexo/session_manager.h"

#include <QMainWindow>
#include <QSettings>

namespace {
const char* const geometryKey = "geometry";
const char* const stateKey = "state";
const char* const visibleKey = "visible";
} // namespace

void SessionManager::setFile(const QString& file)
{
    path = file;
}

void SessionManager::addEntry(const QString& name, QWidget* window)
{
    if (!window)
        return;
    const QString key = name.isEmpty() ? window->objectName() : name;
    for (auto& entry : entries)
        if (entry.first == key) {
            entry.second = window;
            return;
        }
    entries.append({key, window});
}

void SessionManager::addEntry(QWidget* window)
{
    addEntry(window ? window->objectName() : QString(), window);
}

bool SessionManager::load(bool showWindows)
{
    if (path.isEmpty())
        return false;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;
    bool any = false;
    for (const auto& entry : entries) {
        QWidget* window = entry.second;
        if (!window)
            continue;
        settings.beginGroup(entry.first);
        const QByteArray geometry = settings.value(QLatin1String(geometryKey)).toByteArray();
        if (!geometry.isEmpty() && window->restoreGeometry(geometry))
            any = true;
        if (auto* main = qobject_cast<QMainWindow*>(window)) {
            const QByteArray state = settings.value(QLatin1String(stateKey)).toByteArray();
            if (!state.isEmpty())
                main->restoreState(state);
        }
        if (showWindows && settings.contains(QLatin1String(visibleKey)))
            window->setVisible(settings.value(QLatin1String(visibleKey)).toBool());
        settings.endGroup();
    }
    return any;
}

bool SessionManager::save()
{
    if (path.isEmpty())
        return false;
    QSettings settings(path, QSettings::IniFormat);
    for (const auto& entry : entries) {
        QWidget* window = entry.second;
        if (!window)
            continue;
        settings.beginGroup(entry.first);
        settings.setValue(QLatin1String(geometryKey), window->saveGeometry());
        if (auto* main = qobject_cast<QMainWindow*>(window))
            settings.setValue(QLatin1String(stateKey), main->saveState());
        settings.setValue(QLatin1String(visibleKey), window->isVisible());
        settings.endGroup();
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void SessionManager::clear(bool forgetFile)
{
    entries.clear();
    if (forgetFile)
        path.clear();
}
