#pragma once

#include <QDateTime>
#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>

#include "core/constants.h"
#include "jalt/vx_binary_stream.h"
#include "jalt/vx_map.h"
#include "jalt/vx_time.h"
#include "jalt/vx_types.h"
#include "storage/database_structs.h"
#include "vexo/indexed_timer.h"

class CellController;
class VXValueTree;

// The station's table of cells: configured from [cells], restored from the
// state file, kept up to date from the lock controller's door reports and the
// database, and asked which cell to open next. Lives on the main thread.
class CellsLogic : public QObject, private IndexedTimer<int>
{
    Q_OBJECT
public:
    struct Address
    {
        int board = -1;
        int lock = 0;
        bool isValid() const { return board >= 0; }
    };

    // Stored as an integer in the state file; any value read back is defined
    // (the ageing resets one outside the range).
    enum CellState : int
    {
        csActual = 0,
        csChanging = 1,
        csChanged = 2,
        csReadyActualize = 3,
    };
    Q_ENUM(CellState)

    struct Cell
    {
        Address address;
        int number = -1;
        bool opened = false;
        int row = -1;
        int col = -1;
        bool service = false;
        int devicePointCellId = -1;
        int deviceId = -1; // below 1: none
        int priorityBase = 0;
        bool isLocked = false;
        QString description;
        Constants::DeviceOperation lastOperation = Constants::doNone;
        int lastOperationUserId = -1;
        QDateTime lastOperationDate;
        QDateTime updateDate;
        QDateTime priorityTime;
        QDateTime deviceTouchTime;
        QDateTime lastChange;
        CellState state = csActual;
        bool ambiguous = false;
        bool forceReady = false;
        // Run-time only, never stored.
        DatabaseStructs::User user;
        DatabaseStructs::Device device;
        bool lastOpened = false;
        bool openKnown = false;
        // openKnown was set by the station's own open command and the board
        // has not reported the door since; the controller had written
        // openWritesAtMark open commands of the lock at that moment.
        bool openMarked = false;
        int openWritesAtMark = 0;
        double priority = 0.0;
        // False when the lock controller's protocol cannot carry the cell's
        // board or lock: its door can never be opened.
        bool addressable = true;

        bool isValid() const { return number >= 0 && address.isValid(); }
        bool isAmbiguous() const { return ambiguous; }
        bool isFree() const;
        bool isAvailableDevice() const;
        bool isDeviceCharged() const;

        qint64 deviceChargeTime_s() const;
        VXSystemTime lastChangeElapsed() const;
        VXSystemTime deviceTouchElapsed() const;

        void setState(CellState s);
        void procState(const QDateTime& now);
        void prepare();
        void applyConfigCell(const Cell& configured);
        void setAmbiguous(bool flag);
    };

    CellsLogic();
    ~CellsLogic() override;

    void setController(CellController* cellController);
    void initialize(const VXValueTree& cellsSection);
    VXByteArray save() const;
    void load(const VXByteArray& bytes);
    void loadFromDatabase();

    void setCellState(int number, CellState state);
    const VXMap<int, Cell>& getCells() const { return cells; }
    int cellsCount() const { return cells.size(); }
    Cell getCellByNumber(int number) const { return cells.value(number); }
    QRect screenRect() const { return screen; }
    bool isCellFirst(int number) const { return number <= firstCell; }
    bool isCellLast(int number) const { return number >= lastCell; }
    bool isCellOpened(int number) const;

    void calculateCellsPriority();
    void calculateDevicesPriority();
    double maxCellPriority() const { return maxCellPriorityValue; }
    double maxDevicePriority() const { return maxDevicePriorityValue; }
    Cell getFreeCell();
    Cell getAvailableDevice(bool any);
    bool setCellUserDevice(int number, const DatabaseStructs::User& user, const DatabaseStructs::Device& device);
    void setCellAmbiguous(int number, bool flag);
    void setCellLocked(int number, bool locked, const QString& description);
    void setCellForceReady(int number, bool flag);
    void touchCell(const Cell& cell);
    void openCell(const Cell& cell, bool touch);
    // Forgets the cell's open commands still waiting for the controller;
    // when none of them went out, the door's first report is its starting
    // state again.
    void cancelOpen(const Cell& cell);
    void openAll();

    int freeCellsCount() const;
    int lockedCellsCount() const;
    VXVector<int> openCells() const;
    int devicesInCellsCount() const;
    int devicesCharging() const;
    int availableDevicesInCellsCount() const;
    int problemDevicesInCellsCount() const;

    // Every open attempt ends as a success or a failure.
    int counterOpenAll() const { return openOk.load() + openFail.load(); }
    int counterOpenOk() const { return openOk.load(); }
    int counterOpenFail() const { return openFail.load(); }
    int counterCloseAll() const { return closeAll.load(); }
    int counterCloseOk() const { return closeOk.load(); }
    int counterCloseFail() const { return closeFail.load(); }
    void counterIncOpenOk() { ++openOk; }
    void counterIncOpenFail() { ++openFail; }
    void counterIncCloseAll() { ++closeAll; }
    void counterIncCloseOk() { ++closeOk; }
    void counterIncCloseFail() { ++closeFail; }

    // Edited in place by the server synchronisation.
    VXMap<int, Cell> cells;

Q_SIGNALS:
    void cellOpened(int number);
    void cellClosed(int number);
    void cellChanged(int number);

private:
    void sampleDoors();
    void ageStates();
    void refreshUsers();
    void refreshDevices();

    CellController* controller = nullptr;
    QRect screen;
    std::atomic<int> openOk{0};
    std::atomic<int> openFail{0};
    std::atomic<int> closeAll{0};
    std::atomic<int> closeOk{0};
    std::atomic<int> closeFail{0};
    double maxCellPriorityValue = 100.0;
    double maxDevicePriorityValue = 100.0;
    int firstCell = 0;
    int lastCell = 0;
};

VXByteStream& operator<<(VXByteStream& s, const CellsLogic::Address& a);
VXByteStream& operator>>(VXByteStream& s, CellsLogic::Address& a);
VXByteStream& operator<<(VXByteStream& s, const CellsLogic::Cell& c);
VXByteStream& operator>>(VXByteStream& s, CellsLogic::Cell& c);
