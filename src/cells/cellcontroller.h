#pragma once

#include <atomic>

#include <QObject>
#include <QPair>
#include <QTimer>

#include "jalt/vx_diagnostics.h"
#include "jalt/vx_map.h"
#include "jalt/vx_thread.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"

class CellControllerBase;
class VXIODevice;

// Drives the lock controller: owns the link, sends queued open commands and
// polls the boards for their door states on its own thread, and keeps the
// last reported states for the main thread.
class CellController : public QObject, public VXThread
{
    Q_OBJECT
public:
    CellController();
    ~CellController() override;

    void init(const VXString& name);
    void open(const VXString& path);
    void close();
    bool isConnected() const;

    void setBoards(const VXVector<int>& list);
    void setDisconnectTimeout(VXSystemTime timeout);
    void start(VXSystemTime period);

    void unlock(int board, int lock);
    // Drops the open commands of a lock that have not been sent yet.
    void cancelUnlock(int board, int lock);
    // Open commands of the lock written to the link so far, one being
    // written included: while the count stands still, the lock has been
    // given no command of the station's to carry out.
    int openWrites(int board, int lock) const;
    VXMap<int, VXVector<bool>> openStates() const;
    bool isOpened(int board, int lock) const;

    void setQueryBoard(int board);
    void resetQueryBoard();

    int receiveQuality() const;
    VXDiagnostics::State diagnosticsState() const;
    // True without a protocol: nothing is refused before one is chosen.
    bool canAddress(int board, int lock) const;
    // The chosen protocol's name, empty without one.
    VXString protocolName() const;

    int counterReconnects() const { return reconnects.load(); }
    int counterRequests() const { return requests.load(); }
    int counterCommands() const { return commands.load(); }
    int counterAnswers() const { return answers.load(); }

protected:
    void run() override;

private:
    struct PendingOpen
    {
        int board = 0;
        int lock = 0;
        qint64 queuedAtMs = 0;
    };

    void applyAnswer(CellControllerBase* protocol, int size);
    void linkLost(int generation);
    void reconnect();
    void dropStaleCommands(qint64 nowMs);
    // After a failed write: whether the command stays queued.
    bool keepFailedOpen(const PendingOpen& pending, qint64 nowMs);

    VXIODevice* device = nullptr;
    int boardsCount = 4;
    int boardIndex = -1;
    mutable VXMutex statesMutex;
    mutable VXMutex queueMutex;
    // Held by each poll step and while the link is replaced or closed, so the
    // poll thread never writes to a device that is going away.
    mutable VXMutex deviceMutex;
    VXMap<int, VXVector<bool>> states;
    VXQueue<PendingOpen> queue;
    // Under queueMutex: (board, lock) -> open commands written.
    VXMap<QPair<int, int>, int> writes;
    VXVector<int> boards;
    CellControllerBase* implementation = nullptr;
    VXVector<CellControllerBase*> implementations;
    VXTimeMeasurer commandTimer;
    VXTimeMeasurer queryTimer;
    VXDiagnostics diagnostics;
    QTimer reconnectTimer;
    // Bumped by every open and close: a reconnect posted for an older link
    // is ignored.
    std::atomic<int> linkGeneration{0};
    // Poll thread only: when the link was first seen down, -1 while it is up.
    qint64 downSinceMs = -1;

    std::atomic<int> queryBoard{-1};
    std::atomic<int> reconnects{0};
    std::atomic<int> requests{0};
    std::atomic<int> commands{0};
    std::atomic<int> answers{0};
};
