#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include "jalt/vx_thread.h"
#include "jalt/vx_types.h"
#include "vexo/indexed_timer.h"

class QKeyEvent;
class QWidget;
class VXIODevice;

// One QR/bar-code scanner, delivering one packet per scanned code as
// dataReaded on the main thread. The path "hid" selects a keyboard-wedge
// scanner (key events of the whole application, a packet ends at Return;
// keys typed at a person's pace are left to the focused widget); any other
// path names a device read on its own thread, where a packet ends
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
    // A keyboard-wedge scanner types a whole code within a few milliseconds a
    // key; a person's keys come tens of milliseconds apart. Keys whose time
    // stamps are closer than this are one burst, and a burst ended by Return
    // is a scan when it holds at least hidShortestScan characters.
    static const int hidKeyGapMs = 30;
    // The shortest code the station reads: device stickers hold at least
    // this many characters, a login code far more. Fewer quick keys and a
    // Return are a person's (the last of a password and Return at once).
    static const int hidShortestScan = 4;

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
    bool takeKey(QObject* watched, QKeyEvent* key);
    QObject* receiverOf(QObject* watched, const QKeyEvent* key) const;
    void hold(QObject* watched, const QKeyEvent* key);
    void endScan(const QKeyEvent* returnKey);
    void burstMayHaveEnded();
    void replayHeld();
    void dropHeld();

    // A key held back until the burst it begins turns out to be a person's
    // typing (then it is sent on to the widget that had the focus when it
    // was typed) or a scan (then dropped).
    struct HeldKey
    {
        QPointer<QObject> receiver;
        std::unique_ptr<QKeyEvent> event;
        // Whether the receiver was shown when the key was typed.
        bool shown;
    };

    bool hidMode = false;
    bool enabled = false;
    bool filterInstalled = false;
    VXMutex mutex;
    bool dataArrived = false;
    bool overflow = false;
    VXByteArray buffer;
    QString hidBuffer;
    std::vector<HeldKey> held;
    // Keys pressed within a scan whose release is still to come.
    QList<int> scannedKeys;
    QElapsedTimer keyClock;
    qint64 lastPressMs = 0;
    // Counts the key presses taken, so that a later look can tell whether
    // any came meanwhile.
    quint64 presses = 0;
    const QKeyEvent* replayed = nullptr;
    QPointer<QWidget> keyboard;
    std::unique_ptr<VXIODevice> device;
};
