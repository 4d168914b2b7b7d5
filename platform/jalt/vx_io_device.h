#pragma once

#include <atomic>
#include <thread>

#include <QByteArray>
#include <QMutex>
#include <QString>

#include "jalt/vx_object.h"

// A byte link to a peripheral: a serial port or a TCP connection, made from a
// device path. Received bytes are raised as the event "threadedReadEvent"
// (data, size) on the device's own read thread once startThreadedRead() was
// called.
//
// Device paths:
//   /dev/ttyUSB0          serial port at 9600 baud, 8 data bits, no parity
//   /dev/ttyUSB0@115200   the same at another speed
//   tcp:host:port         TCP client (a VXEthernet); "[::1]" style hosts too
//
// Serial ports are set to raw mode: the lock controller's frames carry bytes
// (0x03, 0x0A, 0x11, 0x13) that a cooked terminal would turn into signals,
// line endings or flow control.
//
// All operations may be called from any thread. write() and close() share one
// lock on the descriptor, so a write after close() is a no-op and never
// reaches a closed (or by then reused) descriptor.
class VXIODevice : public VXObject
{
public:
    // The device the path names, or none when the path cannot name a device
    // (unknown syntax, a bad port or speed). A serial port that cannot be
    // opened yet still gives a device: with reopening enabled it keeps trying,
    // so an adapter plugged in later is found.
    static VXIODevice* createFromFullPath(const QString& path);

    ~VXIODevice() override;

    QString path() const { return fullPath; }
    virtual bool isOpened() const;

    // Writes all bytes or gives up after a short wait for the link; returns
    // the number of bytes written, -1 when the link is down or closed.
    long write(const void* data, long size);
    long write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }

    // With reopening enabled, a serial port that failed or went away is
    // opened again, and a lost TCP link is connected again, every
    // retryIntervalMs.
    void setReopenEnabled(bool enabled);
    bool isReopenEnabled() const { return reopenEnabled.load(); }

    void startThreadedRead();
    // Stops the read thread and waits for it; the link stays as it is.
    void stopAndWait();
    // Stops reading and closes the link for good.
    void close();
    bool isClosed() const { return closed.load(); }

    static const int retryIntervalMs = 200;

protected:
    explicit VXIODevice(const QString& path);

    // Opens the link and returns a non-blocking descriptor, or -1. Runs on
    // the read thread; a long attempt must give up once wakeDescriptor() is
    // readable.
    virtual int openLink() = 0;
    // Whether the read thread should try to open the link now.
    virtual bool wantsOpen() const = 0;
    virtual void linkOpened() {}
    virtual void linkFailed() {}
    virtual void linkLost() {}

    void setDescriptor(int descriptor);
    int wakeDescriptor() const { return wakeFd; }
    void wake();
    bool isStopping() const { return stopping.load(); }

private:
    void readLoop();
    void dropLink();
    void waitForWake(int ms);
    void drainWake();

    const QString fullPath;
    mutable QMutex fdMutex;
    int fd = -1;
    int wakeFd = -1;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<bool> closed{false};
    std::atomic<bool> reopenEnabled{false};
};

// A serial port in raw mode.
class VXSerialPort : public VXIODevice
{
public:
    VXSerialPort(const QString& path, const QString& devicePath, int speed);
    ~VXSerialPort() override;

    QString devicePath() const { return device; }

    // The termios speed constant of a baud rate, 0 for an unknown rate.
    static unsigned speedConstant(int baud);

protected:
    int openLink() override;
    bool wantsOpen() const override;

private:
    const QString device;
    const int speed;
};

// A TCP client link. connect(true) makes one attempt on the read thread; a
// successful one raises "connected", a failed attempt and a lost link raise
// "disconnected" (a refused first connection is therefore handled like a
// lost link).
class VXEthernet : public VXIODevice
{
public:
    VXEthernet(const QString& path, const QString& host, quint16 port);
    ~VXEthernet() override;

    void connect(bool enable);
    bool isConnected() const { return isOpened(); }
    QString peerAddress() const;

    using VXObject::connect;

    static const int connectTimeoutMs = 3000;

protected:
    int openLink() override;
    bool wantsOpen() const override;
    void linkOpened() override;
    void linkFailed() override;
    void linkLost() override;

private:
    const QString host;
    const quint16 port;
    std::atomic<bool> connectRequested{false};
};
