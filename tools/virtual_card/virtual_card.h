#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QList>

// A contactless staff card for the vpcd reader driver of pcscd: it connects
// to the driver's TCP port (that is laying it on the reader), answers the
// reader's pseudo-commands for MIFARE Classic (buzzer, load key,
// authenticate, read block) from its settings, and disconnects when it is
// taken away. It runs on a thread of its own, so it answers while the test's
// main thread waits in an event loop.
class VirtualCard
{
public:
    struct Settings
    {
        // Block 8, the first block of sector 2; 16 bytes.
        QByteArray block8 = QByteArray(16, '\0');
        // Key A of sector 2; authentication succeeds only with this key.
        QByteArray key = QByteArray(6, '\xff');
        // The reader refuses to load any key (answers 63 00).
        bool refuseLoadKey = false;
        // When not empty: the whole answer to every block read, status word
        // included, in place of the block's bytes and 90 00.
        QByteArray readReply;
    };

    explicit VirtualCard(quint16 port);
    VirtualCard(quint16 port, const Settings& settings);
    ~VirtualCard();
    VirtualCard(const VirtualCard&) = delete;
    VirtualCard& operator=(const VirtualCard&) = delete;

    void setSettings(const Settings& settings);

    // Lays the card on the reader: connects to the driver, and connects again
    // whenever the link drops (a restarted pcscd) while the card lies there.
    void insert();
    // Takes the card away; returns once the link to the driver is closed.
    void remove();
    bool isInserted() const { return inserted.load(); }
    // Whether the driver is connected to the card right now.
    bool isConnected() const { return connected.load(); }

    // Commands received since the last clearCommands(), in order.
    QList<QByteArray> commands() const;
    void clearCommands();
    // Milliseconds (QDateTime::currentMSecsSinceEpoch) of the driver's first
    // request for the answer to reset since the last insert(): when the
    // driver noticed the card.
    qint64 firstAtrMSec() const { return firstAtr.load(); }
    // The same for the first command (after power-up): when a reader
    // program started talking to the card.
    qint64 firstCommandMSec() const { return firstCommand.load(); }

    // The answer to reset of a MIFARE Classic 1K card behind a PC/SC reader.
    static QByteArray atr();
    // The answer to one command, from the settings and the state of a session
    // (exposed so the answers can be checked without a reader).
    QByteArray answer(const QByteArray& command);

private:
    void loop();
    bool connectToDriver();
    void closeLink();
    bool serveOne();
    bool readExactly(char* data, int size);
    bool sendFrame(const QByteArray& data);

    const quint16 port;
    mutable std::mutex mutex;
    std::condition_variable changed;
    Settings settings;
    QList<QByteArray> received;
    QByteArray loadedKey;
    int authenticatedSector = -1;
    std::atomic<bool> inserted{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> quit{false};
    std::atomic<qint64> firstAtr{0};
    std::atomic<qint64> firstCommand{0};
    int fd = -1;
    std::thread thread;
};
