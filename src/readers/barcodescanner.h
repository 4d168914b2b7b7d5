#pragma once

#include <memory>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include "jalt/vx_thread.h"
#include "jalt/vx_types.h"
#include "vexo/indexed_timer.h"

class QWidget;
class VXIODevice;

// One QR/bar-code scanner, delivering one packet per scanned code as
// dataReaded on the main thread. The path "hid" selects a keyboard-wedge
// scanner (key events of the whole application, a packet ends at Return);
// any other path names a device read on its own thread, where a packet ends
// at the first 20 ms tick that brings no new bytes. A device that is missing
// or goes away is opened again when it (re)appears; isOpened() is false
// while it is away.
class BarCodeScanner : public QObject, private IndexedTimer<int>
{
    Q_OBJECT
public:
    // Longer than any QR code can hold; a device that keeps sending without
    // a pause beyond this has its bytes thrown away instead of kept.
    static const int maxPacketSize = 4096;

    BarCodeScanner();
    ~BarCodeScanner() override;

    void open(const VXString& path);
    void close();
    bool isOpened() const;

    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    // The on-screen keyboard: while it is shown and enabled, keys are left to
    // it. Without one (null, or a widget since deleted) the keyboard counts
    // as hidden and a keyboard-wedge scanner captures while enabled.
    void setVirtualKeyboard(QWidget* keyboard);

    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    void dataReaded(QByteArray data);

private:
    void deviceReaded(const unsigned char* data, long size);
    void packetTick();
    void emitPacket(const QByteArray& packet);
    bool keyboardShown() const;

    bool hidMode = false;
    bool enabled = false;
    bool filterInstalled = false;
    VXMutex mutex;
    bool dataArrived = false;
    bool overflow = false;
    VXByteArray buffer;
    QString hidBuffer;
    QPointer<QWidget> keyboard;
    std::unique_ptr<VXIODevice> device;
};
