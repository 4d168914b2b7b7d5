#pragma once

#include <QObject>

#include "jalt/vx_map.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"

class VXIODevice;

// One wire protocol of the lock controller: builds and writes the open and
// query commands (on the poll thread) and reassembles answers from the
// received bytes (on the link's read thread). A valid answer is announced by
// applyStatesRequest, during which applyStates() sees that answer.
class CellControllerBase : public QObject
{
    Q_OBJECT
public:
    explicit CellControllerBase(QObject* parent = nullptr);
    ~CellControllerBase() override;

    virtual VXString name() const = 0;
    // Whether the protocol's frames can carry this board and lock at all.
    virtual bool canAddress(int board, int lock) const = 0;
    // Both give true when the command went out. A board or lock the protocol
    // cannot address is refused with an error line and never written: masking
    // it would open another board's door.
    virtual bool openLock(int board, int lock) = 0;
    virtual bool queryBoard(int board) = 0;
    virtual void applyStates(VXMap<int, VXVector<bool>>& states) = 0;
    virtual void received(const uchar* data, long size) = 0;

    void setDevice(VXIODevice* link);

    // Bytes kept for the next chunk: at most one incomplete frame.
    int bufferedSize() const { return buffer.size(); }

    // The received-bytes trace: the bytes in base 10, separated by ", ".
    static VXString bytesText(const uchar* data, long size);

Q_SIGNALS:
    void applyStatesRequest(int rec_size);

protected:
    bool writeFrame(const VXByteArray& frame, const VXString& traceLine);
    // The error line for a refused command; for queries it is written once
    // per board, since a misconfigured board would repeat it every tick.
    void refuseOpen(int board, int lock);
    void refuseQuery(int board);
    static void trace(const VXString& line);
    // Starts a new buffer when the previous chunk came more than 20 ms ago;
    // true when the old bytes were dropped.
    bool restartAfterGap();

    VXIODevice* device = nullptr;
    VXByteArray buffer;
    VXTimeMeasurer gapTimer;

private:
    QVector<int> refusedQueries;
};
