#pragma once

#include "workflows/logic_base.h"

// Issues a charged device to the identified user: opens the best cell that
// holds an available, charged device, records the issue when the door opens
// and waits for it to close. The hub's giveLogic.
class StationGiveDeviceLogic : public StationLogicBase
{
    Q_OBJECT
public:
    // Opens the cell for the run's user; an invalid cell ends the run with
    // "No free cells". The administration page calls it with a cell of its
    // choice after setUser.
    void giveDevice(const CellsLogic::Cell& cell);

protected:
    void logicBegin() override;
    void userAccepted() override;
    void deviceAccepted() override;
    void closeCellTimeout() override;
    void closeCellDone() override;
    void openCellTimeout() override;
    void openCellDone() override;
};
