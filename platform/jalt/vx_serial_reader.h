#pragma once

#include <atomic>
#include <functional>

#include <QByteArray>
#include <QString>

#include "jalt/vx_thread.h"

// A character device (serial port, pseudo-terminal) opened by path in raw
// mode, read on a thread of its own. Each chunk of bytes is handed to the
// read handler on that thread. When the device hangs up or fails, reading
// stops and isOpened() turns false; nothing is retried.
class VXSerialReader : private VXThread
{
public:
    using ReadHandler = std::function<void(const char* data, int size)>;

    VXSerialReader() = default;
    ~VXSerialReader() override;

    // Opens the path (unchanged: no trimming) without making it the
    // controlling terminal; false when it cannot be opened.
    bool open(const QString& path);
    bool isOpened() const { return fd.load() >= 0 && !failed.load(); }

    // The handler must be set before startThreadedRead().
    void setReadHandler(ReadHandler handler) { readHandler = std::move(handler); }
    void startThreadedRead();
    // Stops the read thread, waits for it and closes the device.
    void stopAndWait();

private:
    void run() override;

    std::atomic<int> fd{-1};
    std::atomic<bool> failed{false};
    ReadHandler readHandler;
};
