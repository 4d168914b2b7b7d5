#pragma once

#include <QString>

#include "cells/cells_logic.h"
#include "core/constants.h"
#include "server/server_base.h"
#include "storage/database_structs.h"

// The station's link to the back-end. For now it only builds the records the
// station queues for upload (operations, problem reports, cell locks); the
// log-in, the downloads and the delivery of the queues join this class later.
// The builders touch no state, so they are static and callable from anywhere
// on the GUI thread.
class Server : public ServerBase
{
    Q_OBJECT
public:
    using ServerBase::ServerBase;

    // "api/KalmireSync/CreateOperation" for the cell's number.
    static DatabaseStructs::ChangeServer makeOperation(Constants::DeviceOperation operation,
                                                       int deviceId,
                                                       int userId,
                                                       const CellsLogic::Cell& cell,
                                                       QString comment);
    // "api/KalmireSync/CreateTask", a problem report; concerns no cell.
    static DatabaseStructs::ChangeServer
    makeTask(int deviceId, int userId, int deviceFaultId, QString description);
    // "api/KalmireSync/SetCellsLockStatus"; id is the back-end's cell id.
    static DatabaseStructs::ChangeServer makeCellLockStatus(int id, bool isLocked, QString description);
};
