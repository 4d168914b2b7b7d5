#pragma once

#include "workflows/logic_base.h"

// Takes a device back from the identified user: asks for the device (its
// sticker or a pick on the identify-device page), opens the best free cell,
// records the return when the door opens and waits for it to close. The
// hub's returnLogic.
class StationReturnDeviceLogic : public StationLogicBase
{
    Q_OBJECT
protected:
    void logicBegin() override;
    void userAccepted() override;
    void deviceAccepted() override;
    void closeCellTimeout() override;
    void closeCellDone() override;
    void openCellTimeout() override;
    void openCellDone() override;
};
