#include "readers/barcodescanner.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QtDebug>

#include "core/core.h"
#include "jalt/vx_io_device.h"

namespace {
const int packetTickMs = 20;
} // namespace

BarCodeScanner::BarCodeScanner()
{
    startIndexedTimerMs(0, packetTickMs, [this] { packetTick(); });
}

BarCodeScanner::~BarCodeScanner()
{
    close();
}

void BarCodeScanner::open(const VXString& path)
{
    close();
    hidMode = path.trimmed().toLower() == QLatin1String("hid");
    if (hidMode) {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            app->installEventFilter(this);
            filterInstalled = true;
        }
        hidBuffer.clear();
        return;
    }
    device.reset(VXIODevice::createFromFullPath(path));
    if (!device)
        return;
    // Scanners are unplugged and plugged in again while the station runs:
    // keep trying, so the scanner comes back without a restart.
    device->setReopenEnabled(true);
    device->connect(QStringLiteral("threadedReadEvent"),
                    [this](const unsigned char* data, long size) { deviceReaded(data, size); });
    if (auto* ethernet = dynamic_cast<VXEthernet*>(device.get()))
        ethernet->connect(true);
    device->startThreadedRead();
}

void BarCodeScanner::close()
{
    if (filterInstalled) {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(this);
        filterInstalled = false;
    }
    if (device) {
        device->stopAndWait();
        device.reset();
    }
}

bool BarCodeScanner::isOpened() const
{
    if (hidMode)
        return true;
    return device && device->isOpened();
}

void BarCodeScanner::setEnabled(bool on)
{
    enabled = on;
    hidBuffer.clear();
}

void BarCodeScanner::setVirtualKeyboard(QWidget* widget)
{
    keyboard = widget;
}

void BarCodeScanner::deviceReaded(const unsigned char* data, long size)
{
    if (size <= 0)
        return;
    bool kept = false;
    {
        VXMutexLocker locker(&mutex);
        dataArrived = true;
        if (!overflow && buffer.size() + size > maxPacketSize) {
            // A stuck scanner or line noise: drop the packet rather than let
            // the buffer grow; the next pause starts a clean one.
            overflow = true;
            buffer.clear();
            buffer.squeeze();
        }
        if (!overflow) {
            buffer.append(reinterpret_cast<const char*>(data), int(size));
            kept = true;
        }
    }
    // A scanned code may be a login code, which is a credential: the log
    // says that bytes came, never what they were. Bytes being dropped are
    // not logged one chunk at a time, so a stuck scanner cannot flood the log.
    if (kept)
        StationCore::instance()->log(QStringLiteral("[BarCodeScanner] Readed device (%1 bytes)").arg(size),
                                     StationCore::lcInfo);
}

void BarCodeScanner::packetTick()
{
    QByteArray packet;
    bool dropped = false;
    {
        VXMutexLocker locker(&mutex);
        if (dataArrived) {
            dataArrived = false;
            return;
        }
        dropped = overflow;
        overflow = false;
        if (buffer.isEmpty() && !dropped)
            return;
        packet = buffer;
        buffer.clear();
    }
    if (dropped) {
        StationCore::instance()->log(
            QStringLiteral("[BarCodeScanner] Packet longer than %1 bytes dropped").arg(maxPacketSize),
            StationCore::lcWarning);
        return;
    }
    StationCore::instance()->log(
        QStringLiteral("[BarCodeScanner] Readed packet (%1 bytes)").arg(packet.size()), StationCore::lcInfo);
    emitPacket(packet);
}

void BarCodeScanner::emitPacket(const QByteArray& packet)
{
    // Queued even on the main thread: receivers get the packet in a later
    // turn of the event loop, never inside the tick or the key handler.
    QMetaObject::invokeMethod(this, "dataReaded", Qt::QueuedConnection, Q_ARG(QByteArray, packet));
}

bool BarCodeScanner::keyboardShown() const
{
    // A station without an on-screen keyboard still reads its scanner.
    return keyboard && keyboard->isVisible() && keyboard->isEnabled();
}

bool BarCodeScanner::eventFilter(QObject* watched, QEvent* event)
{
    if (!enabled || keyboardShown())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyRelease)
        return true;
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!key->text().isEmpty())
        hidBuffer.append(key->text());
    if (key->key() != Qt::Key_Return)
        return true;
    qDebug() << "readed by HID:" << hidBuffer.size() << "characters";
    emitPacket(hidBuffer.toUtf8());
    hidBuffer.clear();
    return true;
}
