#include "readers/barcodescanner.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
#include <QtDebug>

#include "core/core.h"
#include "jalt/vx_io_device.h"

namespace {
const int packetTickMs = 20;
// Timer 0 cuts device packets; timer 1 ends a burst of held keys.
const int burstTimer = 1;
} // namespace

BarCodeScanner::BarCodeScanner()
{
    startIndexedTimerMs(0, packetTickMs, [this] { packetTick(); });
    setIndexedTimerSingleShot(burstTimer, true);
    bindIndexedTimer(burstTimer, [this] { burstMayHaveEnded(); });
    keyClock.start();
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
    dropHeld();
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
    // A partial code must not turn up as typing on the next screen.
    dropHeld();
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
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || event == replayed)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // The release of a scanned key is the scanner's even once capture ended.
    if (type == QEvent::KeyRelease && scannedKeys.removeOne(key->key()))
        return true;
    // A key let through is seen again on its way from the window to the
    // focused widget; it passes again, as nothing is held by then.
    return enabled && !keyboardShown() && takeKey(watched, key);
}

bool BarCodeScanner::takeKey(QObject* watched, QKeyEvent* key)
{
    if (key->type() == QEvent::KeyRelease) {
        if (held.empty())
            return false;
        hold(watched, key);
        return true;
    }
    // Window system events carry their time; keys sent within the program
    // are timed as they arrive.
    const qint64 now = key->timestamp() ? qint64(key->timestamp()) : keyClock.elapsed();
    const qint64 gap = now - lastPressMs;
    lastPressMs = now;
    ++presses;
    if (!held.empty() && (gap < 0 || gap >= hidKeyGapMs))
        replayHeld();
    if (key->key() == Qt::Key_Return) {
        // A Return of its own is the person's, and so is one after fewer
        // quick keys than any code has; one that ends a longer burst, a scan.
        if (held.empty())
            return false;
        if (hidBuffer.size() < hidShortestScan) {
            replayHeld();
            return false;
        }
        endScan(key);
        return true;
    }
    hold(watched, key);
    if (!key->text().isEmpty())
        hidBuffer.append(key->text());
    startIndexedTimerMs(burstTimer, hidKeyGapMs);
    return true;
}

QObject* BarCodeScanner::receiverOf(QObject* watched, const QKeyEvent* key) const
{
    // A release belongs where its press went, wherever the focus is now.
    if (key->type() == QEvent::KeyRelease)
        for (auto k = held.rbegin(); k != held.rend(); ++k)
            if (k->event->type() == QEvent::KeyPress && k->event->key() == key->key())
                return k->receiver;
    // A key from the window system comes to the window first, which passes
    // it on as below: it is meant for the widget that has the focus now, not
    // for whatever has it once the key is sent on.
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window)
        return watched;
    if (QWidget* grabber = QWidget::keyboardGrabber())
        return grabber;
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    QObject* focus = window->focusObject();
    return focus ? focus : window;
}

namespace {
bool isShown(const QObject* receiver)
{
    if (auto* widget = qobject_cast<const QWidget*>(receiver))
        return widget->isVisible();
    if (auto* window = qobject_cast<const QWindow*>(receiver))
        return window->isVisible();
    return false;
}
} // namespace

void BarCodeScanner::hold(QObject* watched, const QKeyEvent* key)
{
    QObject* receiver = receiverOf(watched, key);
    held.push_back({receiver, std::make_unique<QKeyEvent>(*key), isShown(receiver)});
}

void BarCodeScanner::endScan(const QKeyEvent* returnKey)
{
    // The scanner's releases follow its presses; those still to come are
    // swallowed as they arrive.
    for (const HeldKey& k : held) {
        if (k.event->type() == QEvent::KeyPress)
            scannedKeys.append(k.event->key());
        else
            scannedKeys.removeOne(k.event->key());
    }
    scannedKeys.append(returnKey->key());
    hidBuffer.append(returnKey->text());
    qDebug() << "readed by HID:" << hidBuffer.size() << "characters";
    emitPacket(hidBuffer.toUtf8());
    dropHeld();
}

void BarCodeScanner::burstMayHaveEnded()
{
    // The timer runs by the wall clock, the keys by their own stamps. On a
    // thread that was busy, the overdue timer runs before the keys that
    // waited meanwhile, in the same turn of the event loop: look again once
    // they are in. A key that came meanwhile has decided by its stamp.
    const quint64 seen = presses;
    QMetaObject::invokeMethod(
        this,
        [this, seen] {
            if (presses == seen && !held.empty())
                replayHeld();
        },
        Qt::QueuedConnection);
}

void BarCodeScanner::replayHeld()
{
    stopIndexedTimer(burstTimer);
    std::vector<HeldKey> keys;
    keys.swap(held);
    hidBuffer.clear();
    // A key sent on may open a dialog whose own loop reads further keys:
    // only this very event passes the filter unexamined. A widget hidden
    // since belongs to a screen the station has left: a key typed there is
    // typed nowhere, not into the next screen's field.
    for (const HeldKey& k : keys) {
        if (!k.receiver || (k.shown && !isShown(k.receiver)))
            continue;
        const QKeyEvent* outer = replayed;
        replayed = k.event.get();
        QCoreApplication::sendEvent(k.receiver, k.event.get());
        replayed = outer;
    }
}

void BarCodeScanner::dropHeld()
{
    stopIndexedTimer(burstTimer);
    held.clear();
    hidBuffer.clear();
}
