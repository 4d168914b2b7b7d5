#pragma once

#include <functional>

#include <QMutex>
#include <QString>
#include <QVector>

// Named events with plain byte payloads. Handlers run on the thread that
// raises the event, so a handler must be safe there; events without a payload
// pass a null pointer and a size of 0.
class VXObject
{
public:
    using EventHandler = std::function<void(const unsigned char* data, long size)>;

    VXObject() = default;
    virtual ~VXObject() = default;
    VXObject(const VXObject&) = delete;
    VXObject& operator=(const VXObject&) = delete;

    void connect(const QString& event, EventHandler handler);
    void disconnectAll(const QString& event);

protected:
    void raise(const QString& event, const unsigned char* data = nullptr, long size = 0);

private:
    struct Connection
    {
        QString event;
        EventHandler handler;
    };
    QMutex mutex;
    QVector<Connection> connections;
};
