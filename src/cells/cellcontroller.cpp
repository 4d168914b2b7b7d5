#include "cells/cellcontroller.h"

#include "cells/cellcontroller_protocol_v1_7.h"
#include "cells/cellcontroller_protocol_v4_0.h"
#include "core/core.h"
#include "jalt/vx_io_device.h"

namespace {
StationCore* core()
{
    return StationCore::instance();
}
} // namespace

CellController::CellController()
{
    implementations.append(new CellControllerProtocol::V_1_7::Implementation());
    implementations.append(new CellControllerProtocol::V_4_0::Implementation());
    for (CellControllerBase* protocol : implementations)
        QObject::connect(
            protocol, &CellControllerBase::applyStatesRequest, this,
            [this, protocol](int size) { applyAnswer(protocol, size); }, Qt::DirectConnection);
    reconnectTimer.setSingleShot(true);
    QObject::connect(&reconnectTimer, &QTimer::timeout, this, &CellController::reconnect);
}

CellController::~CellController()
{
    // Not a word to the log here: the hub's log writer may be gone already.
    VXThread::stopAndWait();
    close();
    delete device;
    device = nullptr;
    qDeleteAll(implementations);
}

void CellController::init(const VXString& name)
{
    implementation = nullptr;
    for (CellControllerBase* protocol : implementations) {
        if (protocol->name() == name) {
            implementation = protocol;
            break;
        }
    }
    if (implementation)
        core()->log(QStringLiteral("[CellController] Use ") + name + QStringLiteral(" implementation"),
                    StationCore::lcInfo);
    else
        core()->log(QStringLiteral("[CellController] Can`t find implementation ") + name,
                    StationCore::lcError);
}

void CellController::open(const VXString& path)
{
    if (!implementation)
        return;
    close();
    VXMutexLocker locker(&deviceMutex);
    delete device;
    device = VXIODevice::createFromFullPath(path);
    const int generation = ++linkGeneration;
    for (CellControllerBase* protocol : implementations)
        protocol->setDevice(nullptr);
    if (!device) {
        core()->log(QStringLiteral("[CellController] Can`t create device ") + path, StationCore::lcError);
        return;
    }
    if (VXEthernet* ethernet = dynamic_cast<VXEthernet*>(device)) {
        ethernet->connect(QStringLiteral("connected"), [this](const unsigned char*, long) {
            ++reconnects;
            core()->log("[CellController] Connected", StationCore::lcInfo);
        });
        ethernet->connect(QStringLiteral("disconnected"),
                          [this, ethernet, generation](const unsigned char*, long) {
                              core()->log("[CellController] Disconnected", StationCore::lcWarning);
                              ethernet->setReopenEnabled(false);
                              linkLost(generation);
                          });
        core()->log(QStringLiteral("[CellController] Connect to ") + ethernet->peerAddress(),
                    StationCore::lcInfo);
        ethernet->connect(true);
    } else {
        device->setReopenEnabled(true);
        core()->log(QStringLiteral("[CellController] Open ") + device->path(), StationCore::lcInfo);
    }
    implementation->setDevice(device);
    device->startThreadedRead();
}

void CellController::close()
{
    ++linkGeneration;
    if (reconnectTimer.isActive())
        reconnectTimer.stop();
    VXMutexLocker locker(&deviceMutex);
    if (!device)
        return;
    device->stopAndWait();
    device->close();
}

bool CellController::isConnected() const
{
    // The device pointer changes only on the main thread under deviceMutex;
    // the poll thread calls this while holding that mutex.
    if (!device)
        return false;
    if (const VXEthernet* ethernet = dynamic_cast<const VXEthernet*>(device))
        return ethernet->isConnected();
    return device->isOpened();
}

void CellController::setBoards(const VXVector<int>& list)
{
    boards = list;
    boardsCount = boards.size();
    boardIndex = 0;
}

void CellController::setDisconnectTimeout(VXSystemTime timeout)
{
    diagnostics.setDisconnectTimeout(timeout);
}

void CellController::start(VXSystemTime period)
{
    QStringList names;
    for (int board : boards)
        names.append(QString::number(board));
    core()->log(QStringLiteral("[CellController] Start %1 ms, %2 boards (%3)")
                    .arg(period.toMSec())
                    .arg(boardsCount)
                    .arg(names.join(QStringLiteral(", "))),
                StationCore::lcInfo);
    VXThread::start(period);
}

void CellController::unlock(int board, int lock)
{
    VXMutexLocker locker(&queueMutex);
    for (const PendingOpen& pending : queue)
        if (pending.board == board && pending.lock == lock)
            return;
    queue.enqueue(PendingOpen{board, lock, VXClock::monotonicMSec()});
}

void CellController::cancelUnlock(int board, int lock)
{
    VXMutexLocker locker(&queueMutex);
    for (int i = queue.size() - 1; i >= 0; --i)
        if (queue.at(i).board == board && queue.at(i).lock == lock)
            queue.removeAt(i);
}

int CellController::openWrites(int board, int lock) const
{
    VXMutexLocker locker(&queueMutex);
    return writes.value(qMakePair(board, lock));
}

VXMap<int, VXVector<bool>> CellController::openStates() const
{
    VXMutexLocker locker(&statesMutex);
    return states;
}

bool CellController::isOpened(int board, int lock) const
{
    VXMutexLocker locker(&statesMutex);
    if (!states.contains(board))
        return false;
    const VXVector<bool> flags = states.value(board);
    return lock >= 0 && lock < flags.size() && flags.at(lock);
}

void CellController::setQueryBoard(int board)
{
    queryBoard.store(board);
}

void CellController::resetQueryBoard()
{
    queryBoard.store(-1);
}

int CellController::receiveQuality() const
{
    return diagnostics.state().quality;
}

VXDiagnostics::State CellController::diagnosticsState() const
{
    return diagnostics.state();
}

bool CellController::canAddress(int board, int lock) const
{
    return !implementation || implementation->canAddress(board, lock);
}

VXString CellController::protocolName() const
{
    return implementation ? implementation->name() : VXString();
}

void CellController::applyAnswer(CellControllerBase* protocol, int size)
{
    diagnostics.received(size);
    VXMutexLocker locker(&statesMutex);
    ++answers;
    protocol->applyStates(states);
}

void CellController::linkLost(int generation)
{
    // On the link's read thread: the timer lives on the main thread.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != linkGeneration.load() || !device || device->isClosed())
                return;
            reconnectTimer.start(int(core()->timeouts.reconnect_delay.toMSec()));
        },
        Qt::QueuedConnection);
}

void CellController::reconnect()
{
    VXEthernet* ethernet = dynamic_cast<VXEthernet*>(device);
    if (!ethernet || ethernet->isClosed())
        return;
    core()->log("[CellController] Reconnect ...", StationCore::lcInfo);
    ethernet->setReopenEnabled(true);
    ethernet->connect(true);
}

void CellController::dropStaleCommands(qint64 nowMs)
{
    // A workflow gives up on a door after max_try_open_cell and records the
    // failure; opening that door once the link is back would leave a cell
    // open that nobody waits for. A workflow still waiting queues its
    // command again.
    const qint64 limitMs = core()->timeouts.max_try_open_cell.toMSec();
    VXMutexLocker locker(&queueMutex);
    for (int i = queue.size() - 1; i >= 0; --i) {
        const PendingOpen pending = queue.at(i);
        const qint64 waitedMs = nowMs - qMax(pending.queuedAtMs, downSinceMs);
        if (waitedMs <= limitMs)
            continue;
        queue.removeAt(i);
        core()->log(QStringLiteral("[CellController] Drop open board %1  lock %2: waited %3 ms for the link")
                        .arg(pending.board)
                        .arg(pending.lock)
                        .arg(waitedMs),
                    StationCore::lcWarning);
    }
}

bool CellController::keepFailedOpen(const PendingOpen& pending, qint64 nowMs)
{
    // A write lost with the link goes out once it is back (dropStaleCommands
    // decides after the outage). A write that failed or was cut short while
    // the link still looks up, a stalled line, is tried again after the
    // command interval, until a workflow would have given up on the door.
    if (!isConnected())
        return true;
    const qint64 waitedMs = nowMs - pending.queuedAtMs;
    if (waitedMs > core()->timeouts.max_try_open_cell.toMSec()) {
        core()->log(QStringLiteral("[CellController] Drop open board %1  lock %2: not written for %3 ms")
                        .arg(pending.board)
                        .arg(pending.lock)
                        .arg(waitedMs),
                    StationCore::lcWarning);
        return false;
    }
    core()->log(QStringLiteral("[CellController] Open board %1  lock %2 not written, sending again")
                    .arg(pending.board)
                    .arg(pending.lock),
                StationCore::lcWarning);
    commandTimer.reset();
    return true;
}

void CellController::run()
{
    VXMutexLocker deviceLocker(&deviceMutex);
    const qint64 nowMs = VXClock::monotonicMSec();
    if (!implementation || !isConnected()) {
        if (downSinceMs < 0)
            downSinceMs = nowMs;
        return;
    }
    if (downSinceMs >= 0) {
        dropStaleCommands(nowMs);
        downSinceMs = -1;
    }

    const StationCore::Timeouts& timeouts = core()->timeouts;
    if (commandTimer.elapsed() >= timeouts.open_cell_min_interval) {
        // The command stays queued while it is written: a cancel meanwhile
        // removes it, a repeat is not queued twice, and a failed write
        // leaves it in place.
        bool have = false;
        PendingOpen pending;
        {
            VXMutexLocker queueLocker(&queueMutex);
            if (!queue.isEmpty()) {
                pending = queue.head();
                have = true;
                // Counted before the write: a cancel while the frame goes
                // out must take the lock as possibly opened.
                ++writes[qMakePair(pending.board, pending.lock)];
            }
        }
        if (have) {
            const bool sent = implementation->openLock(pending.board, pending.lock);
            if (!sent) {
                // Nothing or a piece of a frame went out: the lock opened
                // nothing.
                VXMutexLocker queueLocker(&queueMutex);
                --writes[qMakePair(pending.board, pending.lock)];
            }
            // A refused address is dropped (the protocol logged it).
            const bool refused = !sent && !implementation->canAddress(pending.board, pending.lock);
            if (sent || refused || !keepFailedOpen(pending, nowMs))
                cancelUnlock(pending.board, pending.lock);
            if (sent) {
                ++commands;
                commandTimer.reset();
                queryTimer.reset();
            }
            if (!refused)
                return;
        }
    }

    if (queryTimer.elapsed() < timeouts.open_silence)
        return;
    int board = queryBoard.load();
    if (board < 0) {
        if (boardsCount < 1)
            return;
        boardIndex = (boardIndex + 1) % boardsCount;
        if (boardIndex < 0 || boardIndex >= boards.size())
            return;
        board = boards.at(boardIndex);
    }
    if (implementation->queryBoard(board))
        ++requests;
}
