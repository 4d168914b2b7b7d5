#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>

// A lock controller of our own for tests and the demo: it listens on a
// pseudo-terminal or on loopback TCP, speaks protocol v1.7 or v4.0, keeps 32
// door bits per board, opens a door on command (unless the door is jammed),
// answers every command with the board's door states and records each frame
// it received with its arrival time. Answers can be dropped or garbled.
// All operations are thread-safe; the link runs on the simulator's thread.
class LockSimulator
{
public:
    enum class Protocol
    {
        V1_7,
        V4_0,
    };

    struct Frame
    {
        QByteArray bytes;
        bool open = false; // an open command; otherwise a query
        int board = 0;
        int lock = 0;
        qint64 atUs = 0; // arrival, on nowUs()'s clock
    };

    explicit LockSimulator(Protocol protocol);
    ~LockSimulator();
    LockSimulator(const LockSimulator&) = delete;
    LockSimulator& operator=(const LockSimulator&) = delete;

    // Start listening; each gives the station's device path, empty on failure.
    QString listenPty();
    QString listenTcp(quint16 port = 0);
    QString devicePath() const;

    // TCP: stop accepting (the port refuses connections) or accept again on
    // the same port, returning once that holds; drop the connected station.
    void setAccepting(bool accepting);
    void dropClient();
    int connectionsAccepted() const { return accepted.load(); }

    void setDoor(int board, int lock, bool open);
    void closeAll();
    bool isDoorOpen(int board, int lock) const;
    void setJammed(int board, int lock, bool jammed);
    // The next count answers are not sent / sent with a wrong checksum.
    void dropAnswers(int count);
    void garbleAnswers(int count);
    // Repeat every received command before the answer, as an RS-485 adapter
    // without echo suppression does.
    void setEcho(bool echo);
    // Lock bytes in a v4.0 answer (32 by default).
    void setLocksPerAnswer(int count);
    // Pseudo-terminal only: hold the station's output with flow control, as
    // a line that stops taking bytes while it stays open; the station's
    // writes then fail or stop short. Released by false.
    void setStalled(bool stalled);

    QVector<Frame> frames() const;
    void clearFrames();
    // Called on the simulator's thread for each frame received.
    void setFrameCallback(std::function<void(const Frame&)> callback);

    static qint64 nowUs();
    // The answer frame of a board with these door bits (bit set = open).
    static QByteArray
    answerFrame(Protocol protocol, int board, unsigned char command, quint32 openBits, int locks = 32);

private:
    void loop();
    void wake();
    bool openListener();
    void parse();
    void handle(const Frame& frame);
    void send(const QByteArray& bytes);
    void closeClient();

    const Protocol protocol;
    mutable QMutex mutex;
    QMap<int, quint32> doors;  // board -> open bits
    QMap<int, quint32> jammed; // board -> jammed bits
    QVector<Frame> received;
    std::function<void(const Frame&)> frameCallback;
    int toDrop = 0;
    int toGarble = 0;
    bool echo = false;
    int locksPerAnswer = 32;
    QString path;
    quint16 tcpPort = 0;

    // Simulator thread only, besides set-up.
    QByteArray input;
    int masterFd = -1; // pty master
    int holdFd = -1;   // our own slave descriptor: keeps the pty alive between station opens
    int listenFd = -1;
    int clientFd = -1; // TCP client, or the pty master
    int wakeFd = -1;
    std::atomic<bool> wantAccepting{true};
    std::atomic<bool> listening{false};
    std::atomic<bool> wantDrop{false};
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::thread thread;
};
