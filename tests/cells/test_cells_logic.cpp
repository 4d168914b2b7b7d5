#include <cmath>
#include <limits>

#include <QSet>
#include <QSignalSpy>

#include "cells/cells_logic.h"
#include "core/core.h"
#include "jalt/vx_chunk_stream.h"
#include "jalt/vx_value_tree.h"
#include "lock_simulator.h"
#include "storage/database.h"
#include "support/test_support.h"

using Cell = CellsLogic::Cell;
using TestSupport::hex;

namespace
{
VXValueTree cellsSection(const QString& entries)
{
    return VXValueTreeConversions::fromText(QStringLiteral("[cells]\n") + entries).child(QStringLiteral("cells"));
}

DatabaseStructs::Device device(int id, int charge, Constants::DeviceStatus status = Constants::dsWorkable)
{
    DatabaseStructs::Device d;
    d.id = id;
    d.serial = QStringLiteral("SN%1").arg(id);
    d.lastCharge = charge;
    d.status = status;
    return d;
}

// A cell holding a device the database knows.
void putDevice(CellsLogic& logic, int number, const DatabaseStructs::Device& d)
{
    logic.cells[number].deviceId = d.id;
    logic.cells[number].device = d;
}

QDateTime hoursAgo(double hours)
{
    return QDateTime::currentDateTime().addMSecs(-qint64(hours * 3600 * 1000));
}
} // namespace

struct EntryCase
{
    const char* name;
    const char* entry;
    bool stored;
    int number, board, lock, row, col;
    bool service;
};
class CellEntries : public ::testing::TestWithParam<EntryCase>
{
};

TEST_P(CellEntries, BuildTheCellTable)
{
    const EntryCase& c = GetParam();
    CellsLogic logic;
    logic.initialize(cellsSection(QString::fromUtf8(c.entry)));
    ASSERT_EQ(logic.cellsCount(), c.stored ? 1 : 0);
    if (!c.stored)
        return;
    const Cell cell = logic.getCells().values().first();
    EXPECT_EQ(cell.number, c.number);
    EXPECT_EQ(cell.address.board, c.board);
    EXPECT_EQ(cell.address.lock, c.lock);
    EXPECT_EQ(cell.row, c.row);
    EXPECT_EQ(cell.col, c.col);
    EXPECT_EQ(cell.service, c.service);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CellEntries,
    ::testing::Values(
        EntryCase{"Full", "7 = board = 1, lock = 2, row = 0, col = 3, service = true\n", true, 7, 1, 2, 0, 3, true},
        EntryCase{"RowAndColFromAddress", "7 = board = 1, lock = 2\n", true, 7, 1, 2, 2, 1, false},
        EntryCase{"NegativeRowTakesLock", "3 = board = 4, lock = 5, row = -1, col = -2\n", true, 3, 4, 5, 5, 4, false},
        EntryCase{"MissingBoardIsZero", "9 = lock = 6\n", true, 9, 0, 6, 6, 0, false},
        EntryCase{"MissingLockIsZero", "2 = board = 3\n", true, 2, 3, 0, 0, 3, false},
        EntryCase{"NegativeBoardDropped", "4 = board = -1, lock = 1\n", false, 0, 0, 0, 0, 0, false},
        EntryCase{"NegativeNumberDropped", "-4 = board = 1, lock = 1\n", false, 0, 0, 0, 0, 0, false},
        EntryCase{"NonIntegerNameIgnored", "4a = board = 1, lock = 1\n", false, 0, 0, 0, 0, 0, false},
        EntryCase{"ControllerKeysIgnored", "log = true\nprotocol = v4.0\naddress = tcp:127.0.0.1:9\n", false, 0, 0,
                  0, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ScreenCase
{
    const char* name;
    const char* value;
    QRect rect;
};
class ScreenEntry : public ::testing::TestWithParam<ScreenCase>
{
};

TEST_P(ScreenEntry, TakesFourNumbersWithAnySeparator)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("screen = ") + QString::fromUtf8(GetParam().value)));
    EXPECT_EQ(logic.screenRect(), GetParam().rect);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    ScreenEntry,
    ::testing::Values(ScreenCase{"Commas", "1,0,2,3", QRect(1, 0, 2, 3)},
                      ScreenCase{"Semicolons", "1;0;2;3", QRect(1, 0, 2, 3)},
                      ScreenCase{"BlanksAroundSlash", "2 / 1 / 3 / 4", QRect(2, 1, 3, 4)},
                      ScreenCase{"BlanksAfterCommas", "1, 0, 2, 3", QRect(1, 0, 2, 3)},
                      // The blank goes with the trim, so "0" is taken as the separator.
                      ScreenCase{"BlanksAloneDoNotSeparate", "1 0 2 3", QRect(1, 2, 0, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CellsConfig, FirstAndLastCountEveryNumberedEntry)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("5 = board = 0, lock = 1\n2 = board = -1\n9 = board = 0, lock = 2\n")));
    EXPECT_EQ(logic.cellsCount(), 2);
    EXPECT_TRUE(logic.isCellFirst(2));
    EXPECT_FALSE(logic.isCellFirst(5));
    EXPECT_TRUE(logic.isCellLast(9));
}

// ---- state file -------------------------------------------------------------

TEST(CellsState, SaveAndLoadRoundTrip)
{
    const VXValueTree section = cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"));
    CellsLogic first;
    first.initialize(section);
    Cell& c = first.cells[2];
    c.devicePointCellId = 77;
    c.deviceId = 12;
    c.priorityBase = -5;
    c.isLocked = true;
    c.description = QStringLiteral("Замок");
    c.lastOperation = Constants::doReturned;
    c.lastOperationUserId = 4;
    c.lastOperationDate = QDateTime(QDate(2026, 3, 20), QTime(18, 10, 5, 7));
    c.state = CellsLogic::csChanged;
    c.forceReady = true;
    c.opened = true;

    CellsLogic second;
    second.initialize(section);
    second.load(first.save());
    const Cell back = second.getCellByNumber(2);
    EXPECT_EQ(back.devicePointCellId, 77);
    EXPECT_EQ(back.deviceId, 12);
    EXPECT_EQ(back.priorityBase, -5);
    EXPECT_TRUE(back.isLocked);
    EXPECT_EQ(back.description, QStringLiteral("Замок"));
    EXPECT_EQ(back.lastOperation, Constants::doReturned);
    EXPECT_EQ(back.lastOperationUserId, 4);
    EXPECT_EQ(back.lastOperationDate, c.lastOperationDate);
    EXPECT_EQ(back.deviceTouchTime, c.lastOperationDate); // taken on load when unset
    EXPECT_EQ(back.state, CellsLogic::csChanged);
    EXPECT_TRUE(back.forceReady);
    EXPECT_TRUE(back.opened);
    EXPECT_FALSE(back.openKnown);
}

TEST(CellsState, HandBuiltRecordLoadsWithAddressFromConfiguration)
{
    // One cell: address (5, 9) in the file, number 3, service chunk 15 between
    // 5 and 6, server id 40, ambiguous, and an unknown chunk 30.
    const QByteArray address = hex("82 01 04 05000000 02 04 09000000");
    QByteArray nested; // the address as a length-prefixed record
    VXByteStream nestedStream(&nested);
    nestedStream << address;
    const QByteArray cellData = hex("82 01") + QByteArray(1, char(nested.size())) + nested
                                + hex("02 04 03000000 04 04 07000000 05 04 08000000 0f 01 01 06 04 28000000"
                                      "18 01 01 1e 02 abcd");
    QByteArray vector;
    VXByteStream v(&vector);
    v << qint32(1) << cellData;
    VXChunkStream stream;
    stream.addRaw(1, vector);

    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("3 = board = 1, lock = 2, row = 0, col = 1\n")));
    logic.load(stream.data());
    const Cell cell = logic.getCellByNumber(3);
    EXPECT_EQ(cell.address.board, 1);
    EXPECT_EQ(cell.address.lock, 2);
    EXPECT_EQ(cell.row, 0);
    EXPECT_EQ(cell.col, 1);
    EXPECT_FALSE(cell.service);
    EXPECT_EQ(cell.devicePointCellId, 40);
    EXPECT_TRUE(cell.ambiguous);
    EXPECT_EQ(cell.state, CellsLogic::csReadyActualize);
    EXPECT_TRUE(cell.lastChange.isValid());
}

TEST(CellsState, SavedLayoutIsChunkOneVectorOfRecords)
{
    CellsLogic empty;
    EXPECT_EQ(empty.save(), hex("82 01 04 00000000"));

    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("4 = board = 2, lock = 3, service = true\n")));
    VXChunkStream outer;
    ASSERT_TRUE(outer.read(logic.save()));
    QVector<Cell> cells;
    ASSERT_TRUE(outer.get(1, cells));
    ASSERT_EQ(cells.size(), 1);
    // The record itself: chunk ids in declared order, 15 after 5.
    QByteArray record;
    VXByteStream in(outer.chunk(1));
    qint32 count = 0;
    in >> count >> record;
    VXChunkStream fields;
    fields.read(record);
    const QVector<quint32> ids = fields.ids();
    EXPECT_EQ(ids, (QVector<quint32>{1, 2, 3, 4, 5, 15, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 25}));
    EXPECT_EQ(fields.chunk(15), hex("01"));
}

TEST(CellsState, UnconfiguredOrDamagedSavedCellsAreDropped)
{
    CellsLogic source;
    source.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n8 = board = 6, lock = 0\n")));
    source.cells[8].deviceId = 5;
    const QByteArray saved = source.save();

    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n")));
    logic.load(saved);
    EXPECT_EQ(logic.cellsCount(), 1);
    EXPECT_FALSE(logic.getCellByNumber(8).isValid());

    for (int cut = 0; cut < saved.size(); ++cut) {
        CellsLogic truncated;
        truncated.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n")));
        truncated.load(saved.left(cut));
        EXPECT_EQ(truncated.cellsCount(), 1) << cut;
        EXPECT_EQ(truncated.getCellByNumber(1).address.board, 0) << cut;
    }
}

// ---- synchronisation state ageing ---------------------------------------------

struct AgeingCase
{
    const char* name;
    int state;
    qint64 changedMsAgo; // -1: lastChange unset
    CellsLogic::CellState after;
    bool changeStartsNow;
};
class CellAgeing : public ::testing::TestWithParam<AgeingCase>
{
};

// With a sync interval of a minute: ready half a minute after the change.
TEST_P(CellAgeing, ChangedCellIsReadyAfterHalfTheSyncInterval)
{
    const AgeingCase& c = GetParam();
    StationCore::instance()->timeouts.sync_interval = VXSystemTime::fromMin(1);
    const QDateTime now(QDate(2026, 3, 20), QTime(12, 0));
    Cell cell;
    cell.number = 4;
    cell.address.board = 0;
    cell.state = CellsLogic::CellState(c.state);
    if (c.changedMsAgo >= 0)
        cell.lastChange = now.addMSecs(-c.changedMsAgo);
    cell.procState(now);
    EXPECT_EQ(cell.state, c.after);
    if (c.changeStartsNow) {
        EXPECT_EQ(cell.lastChange, now);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    CellAgeing,
    ::testing::Values(
        AgeingCase{"ChangedAtHalfWaits", CellsLogic::csChanged, 30000, CellsLogic::csChanged, false},
        AgeingCase{"ChangedPastHalfIsReady", CellsLogic::csChanged, 30001, CellsLogic::csReadyActualize,
                   false},
        AgeingCase{"ChangedWithoutTimeStartsWaiting", CellsLogic::csChanged, -1, CellsLogic::csChanged, true},
        AgeingCase{"ChangingNeverAges", CellsLogic::csChanging, 3600000, CellsLogic::csChanging, false},
        AgeingCase{"ReadyStays", CellsLogic::csReadyActualize, 3600000, CellsLogic::csReadyActualize, false},
        AgeingCase{"StateAboveTheRangeIsReset", 7, 3600000, CellsLogic::csActual, false},
        AgeingCase{"NegativeStateIsReset", -1, 3600000, CellsLogic::csActual, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CellAgeingTick, MovesChangedCellsAndResetsStatesOutOfRange)
{
    StationCore* core = StationCore::instance();
    const VXSystemTime interval = core->timeouts.sync_interval;
    core->timeouts.sync_interval = VXSystemTime::fromMSec(200);
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("41 = board = 0, lock = 0\n42 = board = 0, lock = 1\n"
                                                 "43 = board = 0, lock = 2\n")));
    logic.setCellState(41, CellsLogic::csChanged);
    EXPECT_TRUE(logic.getCellByNumber(41).lastChange.isValid());
    logic.cells[42].state = CellsLogic::CellState(9);
    logic.setCellState(43, CellsLogic::csChanging);
    // The ageing runs every two seconds.
    EXPECT_EVENTUALLY(logic.getCellByNumber(41).state == CellsLogic::csReadyActualize, 5000);
    EXPECT_EVENTUALLY(logic.getCellByNumber(42).state == CellsLogic::csActual, 5000);
    EXPECT_EQ(logic.getCellByNumber(43).state, CellsLogic::csChanging);
    core->timeouts.sync_interval = interval;
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[CellsLogic::Cell 41] Ready to actualize")), 2000);
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("[CellsLogic::Cell 41] Changed, start ready timeout")));
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("[CellsLogic::Cell 42] Reset state")));
}

TEST(CellsState, AgesOfFarDatesFromTheFileKeepTheirSide)
{
    // Some 300,000 years away: further than a duration counts in microseconds.
    const QDateTime longAgo(QDate(-300000, 1, 1), QTime(0, 0), Qt::LocalTime);
    const QDateTime farAhead(QDate(300000, 1, 1), QTime(0, 0), Qt::LocalTime);
    const VXValueTree section =
        cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"));
    CellsLogic source;
    source.initialize(section);
    source.cells[1].lastChange = longAgo;
    source.cells[1].deviceTouchTime = farAhead;
    source.cells[2].lastChange = farAhead;
    source.cells[2].deviceTouchTime = longAgo;

    CellsLogic logic;
    logic.initialize(section);
    logic.load(source.save());
    putDevice(logic, 1, device(3, 50));
    putDevice(logic, 2, device(4, 50));
    const VXSystemTime centuries = VXSystemTime::fromSec(3600LL * 24 * 365 * 100000);
    EXPECT_GT(logic.cells[1].lastChangeElapsed(), centuries);
    EXPECT_LT(logic.cells[1].deviceTouchElapsed(), VXSystemTime() - centuries);
    EXPECT_LT(logic.cells[2].lastChangeElapsed(), VXSystemTime() - centuries);
    EXPECT_GT(logic.cells[2].deviceTouchElapsed(), centuries);
}

// ---- choice -----------------------------------------------------------------

TEST(CellsPriority, CellPriorityGrowsFromItsBase)
{
    StationCore::instance()->cell_priority_per_hour = 100.0 / 12.0;
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                                                 "3 = board = 0, lock = 2\n4 = board = 0, lock = 3\n")));
    logic.cells[1].priorityBase = 10;
    logic.cells[1].priorityTime = hoursAgo(3);
    logic.cells[2].priorityBase = -20;
    logic.cells[2].priorityTime = hoursAgo(2);
    logic.cells[3].priorityBase = -20;
    logic.cells[3].priorityTime = hoursAgo(30);
    logic.calculateCellsPriority();
    EXPECT_NEAR(logic.getCellByNumber(1).priority, 35.0, 0.01);
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(2).priority, 0.0);
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(3).priority, 100.0);
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(4).priority, 100.0); // never moved: counted from the epoch
}

TEST(CellsPriority, DevicePriorityIsTheLargerOfRestAndCharge)
{
    StationCore::instance()->device_priority_per_hour = 100.0 / 24.0;
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                                                 "3 = board = 0, lock = 2\n")));
    putDevice(logic, 1, device(11, 40));
    logic.cells[1].deviceTouchTime = hoursAgo(12);
    putDevice(logic, 2, device(12, 150));
    logic.cells[2].deviceTouchTime = QDateTime::currentDateTime();
    putDevice(logic, 3, device(13, -5));
    logic.cells[3].deviceTouchTime = QDateTime::currentDateTime();
    logic.calculateDevicesPriority();
    EXPECT_NEAR(logic.getCellByNumber(1).device.priority, 50.0, 0.01);
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(2).device.priority, 100.0);
    EXPECT_NEAR(logic.getCellByNumber(3).device.priority, 0.0, 0.01);
}

TEST(CellsPriority, InfiniteRateGivesFullPriorityNeverNaN)
{
    StationCore* core = StationCore::instance();
    core->cell_priority_per_hour = std::numeric_limits<double>::infinity();
    core->device_priority_per_hour = std::numeric_limits<double>::infinity();
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n")));
    logic.cells[1].priorityTime = QDateTime::currentDateTime().addSecs(-1);
    putDevice(logic, 2, device(5, 10));
    logic.cells[2].deviceTouchTime = QDateTime::currentDateTime().addSecs(-1);
    logic.calculateCellsPriority();
    logic.calculateDevicesPriority();
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(1).priority, 100.0);
    EXPECT_DOUBLE_EQ(logic.getCellByNumber(2).device.priority, 100.0);
    EXPECT_FALSE(std::isnan(logic.getFreeCell().priority));
}

struct ChargedCase
{
    const char* name;
    int charge;
    double hoursInCell;
    bool forceReady;
    bool offscreen;
    bool charged;
};
class DeviceCharged : public ::testing::TestWithParam<ChargedCase>
{
};

TEST_P(DeviceCharged, ByThresholdTimeOrForce)
{
    const ChargedCase& c = GetParam();
    StationCore* core = StationCore::instance();
    core->min_return_device_charge = 70;
    core->min_return_device_charge_offscreen = 30;
    core->min_return_device_time = 7200;
    core->offscreen = c.offscreen;
    Cell cell;
    cell.number = 1;
    cell.address.board = 0;
    cell.device = device(3, c.charge);
    cell.lastOperationDate = hoursAgo(c.hoursInCell);
    cell.forceReady = c.forceReady;
    EXPECT_EQ(cell.isDeviceCharged(), c.charged);
    core->offscreen = false;
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceCharged,
                         ::testing::Values(ChargedCase{"AboveThreshold", 70, 0, false, false, true},
                                           ChargedCase{"BelowThresholdRested", 55, 3, false, false, true},
                                           ChargedCase{"BelowThresholdFresh", 55, 1, false, false, false},
                                           ChargedCase{"ForcedReady", 5, 0, true, false, true},
                                           ChargedCase{"OffscreenThreshold", 35, 0, false, true, true},
                                           ChargedCase{"OffscreenBelow", 25, 0, false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FreeCase
{
    const char* name;
    int deviceId; // of cell 1, a device the database does not know
    bool free;
};
class CellFree : public ::testing::TestWithParam<FreeCase>
{
};

TEST_P(CellFree, IdsBelowOneNameNoDevice)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n")));
    logic.cells[1].deviceId = GetParam().deviceId;
    EXPECT_EQ(logic.getCellByNumber(1).isFree(), GetParam().free);
    EXPECT_EQ(logic.freeCellsCount(), GetParam().free ? 2 : 1);
    if (!GetParam().free) {
        EXPECT_EQ(logic.getFreeCell().number, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CellFree,
                         ::testing::Values(FreeCase{"NeverHeldOne", -1, true},
                                           FreeCase{"EmptyAtTheBackend", 0, true},
                                           // Restored from the state file, not loaded yet: it may be inside.
                                           FreeCase{"DeviceOne", 1, false},
                                           FreeCase{"UnknownDevice", 999, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CellsChoice, HighestPriorityFreeCellWinsAndASingleOneGetsNoJitter)
{
    StationCore::instance()->cell_priority_per_hour = 100.0 / 24.0;
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n")));
    logic.cells[1].priorityTime = hoursAgo(40.0 * 24 / 100);
    logic.cells[2].priorityTime = hoursAgo(90.0 * 24 / 100);
    EXPECT_EQ(logic.getFreeCell().number, 2);
    putDevice(logic, 2, device(4, 100));
    logic.cells[1].priorityTime = QDateTime::currentDateTime().addSecs(10);
    const Cell only = logic.getFreeCell();
    EXPECT_EQ(only.number, 1);
    EXPECT_DOUBLE_EQ(only.priority, 0.0);
}

TEST(CellsChoice, TiesAreBrokenAtRandomAmongTheBest)
{
    StationCore::instance()->device_priority_per_hour = 100.0 / 24.0;
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                                                 "3 = board = 0, lock = 2\n")));
    const QDateTime now = QDateTime::currentDateTime();
    putDevice(logic, 1, device(1, 100));
    putDevice(logic, 2, device(2, 100));
    putDevice(logic, 3, device(3, 95));
    for (int n : {1, 2, 3})
        logic.cells[n].deviceTouchTime = now;
    QSet<int> chosen;
    for (int i = 0; i < 200; ++i)
        chosen.insert(logic.getAvailableDevice(false).number);
    EXPECT_EQ(chosen, (QSet<int>{1, 2}));
}

TEST(CellsChoice, UnavailableCellsAreNeverChosenUnlessAnyIsAsked)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                                                 "3 = board = 0, lock = 2, service = true\n4 = board = 0, lock = 3\n"
                                                 "5 = board = 0, lock = 4\n")));
    for (int n = 1; n <= 5; ++n)
        putDevice(logic, n, device(n, 100, n == 4 ? Constants::dsInRepair : Constants::dsWorkable));
    logic.cells[1].isLocked = true;
    logic.cells[2].ambiguous = true;
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(logic.getAvailableDevice(false).number, 5);
    QSet<int> any;
    for (int i = 0; i < 300; ++i)
        any.insert(logic.getAvailableDevice(true).number);
    EXPECT_EQ(any, (QSet<int>{1, 2, 3, 4, 5}));
    putDevice(logic, 5, device(5, 100, Constants::dsInRepair));
    EXPECT_FALSE(logic.getAvailableDevice(false).isValid());
    EXPECT_EQ(logic.problemDevicesInCellsCount(), 2);
}

TEST(CellsChoice, LockedServiceAndAmbiguousCellsAreNotFree)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n2 = board = 0, lock = 1, service = true\n"
                                                 "3 = board = 0, lock = 2\n")));
    logic.cells[1].isLocked = true;
    logic.cells[3].ambiguous = true;
    EXPECT_FALSE(logic.getFreeCell().isValid());
    EXPECT_EQ(logic.lockedCellsCount(), 1);
}

TEST(CellsChoice, DuplicateDeviceMakesBothCellsAmbiguous)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("3 = board = 0, lock = 2\n8 = board = 0, lock = 7\n")));
    putDevice(logic, 8, device(12, 80));
    DatabaseStructs::User user;
    user.id = 5;
    EXPECT_TRUE(logic.setCellUserDevice(3, user, device(12, 80)));
    EXPECT_TRUE(logic.getCellByNumber(3).ambiguous);
    EXPECT_TRUE(logic.getCellByNumber(8).ambiguous);
    EXPECT_EQ(logic.getCellByNumber(8).state, CellsLogic::csChanged);
    EXPECT_EQ(logic.getCellByNumber(3).lastOperationUserId, 5);
}

TEST(CellsChoice, IssueClearsTheDeviceAndForcedReady)
{
    CellsLogic logic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n")));
    putDevice(logic, 1, device(7, 20));
    logic.setCellForceReady(1, true);
    DatabaseStructs::User user;
    user.id = 9;
    EXPECT_FALSE(logic.setCellUserDevice(1, user, DatabaseStructs::Device()));
    const Cell cell = logic.getCellByNumber(1);
    EXPECT_EQ(cell.deviceId, -1);
    EXPECT_FALSE(cell.forceReady);
    EXPECT_TRUE(cell.isFree());
}

// The cells keep copies of their device and user records: a change of the
// records reaches them at once, so a device put in repair is no longer
// offered and the screens are told.
TEST(CellsRefresh, CopiesFollowTheDatabaseSignals)
{
    StationCore* core = StationCore::instance();
    CellsLogic& logic = core->cellsLogic;
    logic.initialize(cellsSection(QStringLiteral("1 = board = 0, lock = 0\n")));
    Database* db = Database::instance();
    db->addDevice(device(12, 100));
    DatabaseStructs::User anna;
    anna.id = 4;
    anna.login = QStringLiteral("anna");
    db->addUser(anna);
    logic.cells[1].deviceId = 12;
    logic.cells[1].lastOperationUserId = 4;
    logic.loadFromDatabase();
    ASSERT_EQ(logic.getAvailableDevice(false).number, 1);

    db->addDevice(device(12, 100, Constants::dsInRepair));
    anna.isBlocked = true;
    db->addUser(anna);
    QSignalSpy cellsChanged(core, &StationCore::cellsChanged);
    Q_EMIT db->devicesChanged();
    EXPECT_EQ(logic.getCellByNumber(1).device.status, Constants::dsInRepair);
    EXPECT_FALSE(logic.getAvailableDevice(false).isValid());
    EXPECT_EQ(logic.problemDevicesInCellsCount(), 1);
    EXPECT_EQ(cellsChanged.count(), 1);

    EXPECT_FALSE(logic.getCellByNumber(1).user.isBlocked);
    Q_EMIT db->usersChanged();
    EXPECT_TRUE(logic.getCellByNumber(1).user.isBlocked);
}

// ---- door events from the simulated controller --------------------------------

TEST(CellsDoors, OpenAndCloseGiveOneSignalEachAndTheFirstSampleNone)
{
    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString path = sim.listenPty();
    sim.setDoor(1, 3, true); // already open at start: no signal for it,
    sim.dropAnswers(25);     // even when the boards answer only after some samples
    TestSupport::writeConfig(QStringLiteral("[timeouts]\nopen_silence = 20 ms\n"
                                            "[cells]\naddress = %1\ntick_time = 50 Hz\n"
                                            "5 = board = 1, lock = 3\n6 = board = 2, lock = 0\n")
                                 .arg(path));
    StationCore* core = StationCore::instance();
    CellsLogic& logic = core->cellsLogic;
    QSignalSpy opened(&logic, &CellsLogic::cellOpened);
    QSignalSpy closed(&logic, &CellsLogic::cellClosed);
    QSignalSpy changed(&logic, &CellsLogic::cellChanged);
    core->init();
    ASSERT_EVENTUALLY(logic.isCellOpened(5), 3000);
    QTest::qWait(400); // two door samples more: still nothing signalled
    EXPECT_EQ(opened.count() + closed.count() + changed.count(), 0);

    sim.setDoor(1, 3, false);
    ASSERT_EVENTUALLY(closed.count() == 1, 3000);
    EXPECT_EQ(closed.first().first().toInt(), 5);
    sim.setDoor(2, 0, true);
    ASSERT_EVENTUALLY(opened.count() == 1, 3000);
    EXPECT_EQ(opened.first().first().toInt(), 6);
    QTest::qWait(400); // later samples repeat nothing
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(logic.getCellByNumber(6).priorityTime.isValid());
    EXPECT_EQ(logic.openCells(), (VXVector<int>{6}));
    core->stop();
    core->destroy();
}

TEST(CellsDoors, DoorTheStationOpenedBeforeItsBoardFirstAnswersIsAnOpening)
{
    // The link comes up only after the open command, so the board's first
    // answer already reports the door open.
    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString path = sim.listenTcp();
    sim.setAccepting(false);
    TestSupport::writeConfig(QStringLiteral("[timeouts]\nopen_cell_min_interval = 20 ms\nopen_silence = 20 ms\n"
                                            "[cells]\naddress = %1\ntick_time = 50 Hz\nreconnect_delay = 20 ms\n"
                                            "5 = board = 1, lock = 3\n6 = board = 1, lock = 4\n")
                                 .arg(path));
    StationCore* core = StationCore::instance();
    CellsLogic& logic = core->cellsLogic;
    QSignalSpy opened(&logic, &CellsLogic::cellOpened);
    core->init();
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    logic.openCell(logic.getCellByNumber(5), false);
    sim.setDoor(1, 4, true); // standing open, not by the station: no opening
    sim.setAccepting(true);
    ASSERT_EVENTUALLY(opened.count() == 1, 3000);
    EXPECT_EQ(opened.first().first().toInt(), 5);
    ASSERT_FALSE(sim.frames().isEmpty());
    EXPECT_TRUE(sim.frames().first().open);
    EXPECT_TRUE(logic.isCellOpened(6));
    QTest::qWait(400); // two door samples more
    EXPECT_EQ(opened.count(), 1);
    core->stop();
    core->destroy();
}

struct CancelledOpenCase
{
    const char* name;
    // Whether the command reached the lock before the cancel: the link is
    // up but the board answers nothing until the cancel.
    bool writtenFirst;
    int openings; // cellOpened of the cell once its board answers
};
class CancelledOpen : public ::testing::TestWithParam<CancelledOpenCase>
{
};

// The board has not answered yet when the station opens cell 5, so its first
// report decides whether the door was opened by the station. A command that
// never went out opened nothing: the door standing open at the board's
// first answer is its starting state, as if the station had never tried.
TEST_P(CancelledOpen, CountsAsAnOpeningOnlyWhenTheCommandWentOut)
{
    const CancelledOpenCase& c = GetParam();
    LockSimulator sim(LockSimulator::Protocol::V1_7);
    const QString path = sim.listenTcp();
    if (c.writtenFirst)
        sim.dropAnswers(std::numeric_limits<int>::max());
    else
        sim.setAccepting(false);
    TestSupport::writeConfig(
        QStringLiteral("[timeouts]\nopen_cell_min_interval = 20 ms\nopen_silence = 20 ms\n"
                       "[cells]\naddress = %1\ntick_time = 50 Hz\nreconnect_delay = 20 ms\n"
                       "5 = board = 1, lock = 3\n")
            .arg(path));
    StationCore* core = StationCore::instance();
    CellsLogic& logic = core->cellsLogic;
    QSignalSpy opened(&logic, &CellsLogic::cellOpened);
    core->init();
    if (c.writtenFirst)
        ASSERT_EVENTUALLY(core->cellController.isConnected(), 3000);
    else
        ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[CellController] Disconnected")), 3000);
    logic.openCell(logic.getCellByNumber(5), false);
    if (c.writtenFirst) {
        ASSERT_EVENTUALLY(sim.isDoorOpen(1, 3), 3000);
    } else {
        sim.setDoor(1, 3, true); // opened by hand, or never shut
    }
    logic.cancelOpen(logic.getCellByNumber(5));
    sim.dropAnswers(0);
    sim.setAccepting(true);
    ASSERT_EVENTUALLY(logic.getCellByNumber(5).opened, 3000);
    QTest::qWait(400); // two door samples more
    EXPECT_EQ(opened.count(), c.openings);
    EXPECT_TRUE(logic.getCellByNumber(5).lastOpened);
    int openFrames = 0;
    for (const LockSimulator::Frame& frame : sim.frames())
        openFrames += frame.open ? 1 : 0;
    EXPECT_EQ(openFrames, c.writtenFirst ? 1 : 0);
    core->stop();
    core->destroy();
}

INSTANTIATE_TEST_SUITE_P(Table,
                         CancelledOpen,
                         ::testing::Values(CancelledOpenCase{"WhileTheLinkIsDown", false, 0},
                                           CancelledOpenCase{"AfterTheCommandWentOut", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CellsDoors, OpenCellQueuesItsLockOnTheController)
{
    LockSimulator sim(LockSimulator::Protocol::V4_0);
    const QString path = sim.listenTcp();
    TestSupport::writeConfig(
        QStringLiteral("[timeouts]\nopen_cell_min_interval = 20 ms\nopen_silence = 20 ms\n"
                       "[cells]\nprotocol = v4.0\naddress = %1\ntick_time = 50 Hz\n"
                       "1 = board = 0, lock = 0\n2 = board = 0, lock = 1\n"
                       "3 = board = 0, lock = 2, service = true\n")
            .arg(path));
    StationCore* core = StationCore::instance();
    core->init();
    core->cellsLogic.cells[2].isLocked = true;
    core->cellsLogic.openAll();
    ASSERT_EVENTUALLY(sim.isDoorOpen(0, 0), 3000);
    QTest::qWait(200); // ten poll periods: the locked and service cells stay shut
    EXPECT_FALSE(sim.isDoorOpen(0, 1));
    EXPECT_FALSE(sim.isDoorOpen(0, 2));
    EXPECT_TRUE(core->cellsLogic.getCellByNumber(1).priorityTime.isValid());
    core->stop();
    core->destroy();
}

TEST(CellsConfig, AddressTheProtocolCannotReachIsReported)
{
    TestSupport::writeConfig(QStringLiteral("[cells]\nprotocol = v1.7\n17 = board = 17, lock = 3\n"));
    StationCore::instance()->init();
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral(
                          "[CellsLogic] Cell 17: board 17, lock 3 cannot be reached with protocol v1.7")),
                      2000);
}

struct ProtocolReachCase
{
    const char* name;
    const char* protocol;
    QSet<int> chosen; // of cells 1 (board 0, lock 0), 2 (board 16) and 3 (lock 16)
};
class ProtocolReach : public ::testing::TestWithParam<ProtocolReachCase>
{
};

TEST_P(ProtocolReach, CellsItCannotAddressAreNeverChosen)
{
    TestSupport::writeConfig(QStringLiteral("[cells]\nprotocol = %1\n1 = board = 0, lock = 0\n"
                                            "2 = board = 16, lock = 0\n3 = board = 0, lock = 16\n")
                                 .arg(GetParam().protocol));
    StationCore* core = StationCore::instance();
    core->init();
    CellsLogic& logic = core->cellsLogic;
    // No priority time yet: every free cell stands at 100, and a tie is
    // broken at random.
    QSet<int> free;
    for (int i = 0; i < 200; ++i)
        free.insert(logic.getFreeCell().number);
    EXPECT_EQ(free, GetParam().chosen);
    EXPECT_EQ(logic.freeCellsCount(), GetParam().chosen.size());

    for (int n = 1; n <= 3; ++n)
        putDevice(logic, n, device(n, 100));
    QSet<int> issued;
    QSet<int> batch;
    for (int i = 0; i < 200; ++i) {
        issued.insert(logic.getAvailableDevice(false).number);
        batch.insert(logic.getAvailableDevice(true).number);
    }
    EXPECT_EQ(issued, GetParam().chosen);
    EXPECT_EQ(batch, GetParam().chosen);
    EXPECT_EQ(logic.availableDevicesInCellsCount(), GetParam().chosen.size());
    // Cells restored from the state file follow the configuration too.
    logic.load(logic.save());
    for (int n = 1; n <= 3; ++n)
        putDevice(logic, n, device(n, 100));
    EXPECT_EQ(logic.availableDevicesInCellsCount(), GetParam().chosen.size());
    core->stop();
    core->destroy();
}

INSTANTIATE_TEST_SUITE_P(Table, ProtocolReach,
                         ::testing::Values(ProtocolReachCase{"FourBitsOfV17", "v1.7", {1}},
                                           ProtocolReachCase{"ByteOfV40", "v4.0", {1, 2, 3}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CellsChoice, AmbiguityBlocksCellsWithAServerIdWhenConfigured)
{
    TestSupport::writeConfig(QStringLiteral("[general]\nblock_on_ambiguous = true\n"
                                            "[cells]\n3 = board = 0, lock = 2\n8 = board = 0, lock = 7\n"
                                            "9 = board = 0, lock = 8\n"));
    StationCore* core = StationCore::instance();
    core->init();
    CellsLogic& logic = core->cellsLogic;
    logic.cells[3].devicePointCellId = 103;
    logic.cells[8].devicePointCellId = 108;
    putDevice(logic, 8, device(12, 80));
    putDevice(logic, 9, device(13, 80)); // no server id: cannot be blocked
    DatabaseStructs::User user;
    user.id = 5;
    EXPECT_TRUE(logic.setCellUserDevice(3, user, device(12, 80)));
    EXPECT_TRUE(logic.getCellByNumber(3).isLocked);
    EXPECT_TRUE(logic.getCellByNumber(8).isLocked);
    EXPECT_EQ(logic.getCellByNumber(8).description, QStringLiteral("Ambiguous device"));
    EXPECT_TRUE(logic.setCellUserDevice(9, user, device(12, 80)));
    EXPECT_FALSE(logic.getCellByNumber(9).isLocked);
    // The log file is written by its own thread; the error comes last.
    ASSERT_EVENTUALLY(TestSupport::logHas(QStringLiteral("[StationCore] Error: can`t change lock status, uninitialized cell ID!")), 2000);
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("[StationCore] Cell 8 lock (Ambiguous device)")));
    EXPECT_TRUE(TestSupport::logHas(QStringLiteral("[CellsLogic::Cell 3] Ambiguous state true")));
    core->stop();
    core->destroy();
}
