#include "jalt/vx_object.h"

void VXObject::connect(const QString& event, EventHandler handler)
{
    QMutexLocker locker(&mutex);
    connections.append(Connection{event, std::move(handler)});
}

void VXObject::disconnectAll(const QString& event)
{
    QMutexLocker locker(&mutex);
    for (int i = connections.size() - 1; i >= 0; --i)
        if (connections.at(i).event == event)
            connections.remove(i);
}

void VXObject::raise(const QString& event, const unsigned char* data, long size)
{
    // Handlers run outside the lock: one may connect or raise in turn.
    QVector<EventHandler> handlers;
    {
        QMutexLocker locker(&mutex);
        for (const Connection& connection : connections)
            if (connection.event == event)
                handlers.append(connection.handler);
    }
    for (const EventHandler& handler : handlers)
        handler(data, size);
}
