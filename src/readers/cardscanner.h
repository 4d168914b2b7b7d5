#pragma once

#include <atomic>
#include <memory>

#include <QObject>
#include <QString>

#include "jalt/vx_thread.h"
#include "jalt/vx_types.h"

// The staff card reader: a worker thread that polls the first PC/SC reader
// of the system and, for each card newly laid on it, reads the personnel
// number from block 8 and posts it to the object's (the main) thread as
// personNumberReaded. A card that is seen but cannot be read posts an empty
// number. Only setEnabled() is called from other threads.
class CardScanner : public QObject, public VXThread
{
    Q_OBJECT
public:
    CardScanner();
    ~CardScanner() override;

    // (Re)opens the PC/SC context and picks the first reader; reader thread only.
    void open();
    // Releases the PC/SC context; reader thread only.
    void close();
    bool isOpened() const { return opened.load(); }

    void setEnabled(bool on) { enabled.store(on); }
    bool isEnabled() const { return enabled.load(); }

    // Diagnostic lines on the console (never in the station log).
    void setDebug(bool on) { debug.store(on); }

    // Key A of the sector holding block 8 of the staff cards. It is a
    // deployment secret: never log it.
    static VXByteArray cardKey();

    // The personnel number held in data bytes 8 to 11 of block 8 as packed
    // decimal digits, from the reader's answer to a block read (16 data bytes
    // and the status word 90 00). Empty for any other answer or for a
    // nibble that is no decimal digit.
    static QString personNumberFromAnswer(const VXByteArray& answer);

Q_SIGNALS:
    void personNumberReaded(QString personNumber);

protected:
    void run() override;
    void end() override;

private:
    struct PCSC;

    bool procCard();
    bool loadKey(const VXByteArray& key);
    void setBuzzer(bool on);
    VXByteArray readBlock(uchar block);
    VXByteArray exchange(const VXByteArray& command);

    // Checks a PC/SC result; a result that means the service or the reader
    // went away marks the context for reopening.
    bool check(long result);
    void debugLine(const QString& text) const;
    void postNumber(const QString& number);

    std::unique_ptr<PCSC> pcsc;
    std::atomic<bool> enabled{false};
    std::atomic<bool> debug{false};
    std::atomic<bool> opened{false};
    bool cardPresent = false;
    bool contextLost = false;
    QString readerName;
};
