#pragma once

// Values shared by the station's subsystems and the back-end. Each has a fixed
// underlying type: stored records and the back-end's replies may carry any
// integer, which must stay a defined value of the enumeration.
namespace Constants
{
// The program's release and build, as the log, the status bar and the state
// report name them.
constexpr const char* version = "1.4.3";
constexpr int buildNumber = 117;

// The screen shown; equal to the page index of the main window's stack.
enum ActiveScreen : int
{
    asStart = 0,
    asAdminLogin = 1,
    asAdministration = 2,
    asIdentifyUser = 3,
    asIdentifyDevice = 4,
    asOpenCell = 5,
    asCloseCell = 6,
    asDeviceProblem = 7,
};

// Which identification input is accepted now.
enum QRMode : int
{
    qmNone = 0,
    qmUser = 1,
    qmDevice = 2,
};

enum DeviceStatus : int
{
    dsWorkable = 0,
    dsInRepair = 1,
    dsArchived = 2,
};

enum DeviceChargeTrend : int
{
    dtUnknown = 0,
    dtStable = 1,
    dtRaise = 2,
    dtFall = 3,
};

enum DeviceTaskStatus : int
{
    tsCreated = 0,
    tsInWork = 1,
    tsClosed = 2,
};

enum DeviceValueType : int
{
    vtBattery = 0,
    vtCoordinates = 1,
};

// Operation codes sent to the server.
enum DeviceOperation : int
{
    doNone = -1,
    doReturned = 0,
    doIssued = 1,
    doIssueFailed = 2,
    doReturnFailed = 3,
    doCloseTimeout = 4,
};
} // namespace Constants
