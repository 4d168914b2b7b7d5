#include "cells/cells_logic.h"

#include <QSet>

#include <algorithm>
#include <cmath>

#include "cells/cellcontroller.h"
#include "core/core.h"
#include "jalt/vx_chunk_stream.h"
#include "jalt/vx_file.h"
#include "jalt/vx_value_tree.h"
#include "storage/database.h"

using DatabaseStructs::zeroTime;

namespace
{
double hoursSince(const QDateTime& from, const QDateTime& now)
{
    const QDateTime start = from.isValid() ? from : zeroTime();
    return double(start.msecsTo(now)) / 1000.0 / 60.0 / 60.0;
}

// rate may be infinite (a zero priority time): any time elapsed then gives the
// full share, and none gives nothing, instead of NaN from 0 x infinity.
double grow(double base, double hours, double rate)
{
    if (std::isinf(rate))
        return hours > 0.0 ? 100.0 : std::clamp(base, 0.0, 100.0);
    const double value = base + hours * rate;
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 100.0);
}

QString boolText(bool flag)
{
    return flag ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

// ---- Cell -------------------------------------------------------------------

bool CellsLogic::Cell::isFree() const
{
    // Ids below 1 name no device (the back-end reports an empty cell as 0). A
    // cell naming a device the database does not know yet may still hold it.
    return isValid() && addressable && !ambiguous && !isLocked && !service && !device.isValid() && deviceId < 1;
}

bool CellsLogic::Cell::isAvailableDevice() const
{
    return isValid() && addressable && !ambiguous && !isLocked && !service && device.isValid()
           && device.status == Constants::dsWorkable;
}

bool CellsLogic::Cell::isDeviceCharged() const
{
    if (!isValid() || !device.isValid())
        return false;
    if (forceReady)
        return true;
    const StationCore* core = StationCore::instance();
    const int threshold = core->offscreen ? core->min_return_device_charge_offscreen : core->min_return_device_charge;
    if (device.lastCharge >= threshold)
        return true;
    return deviceChargeTime_s() >= core->min_return_device_time;
}

qint64 CellsLogic::Cell::deviceChargeTime_s() const
{
    if (!lastOperationDate.isValid())
        return 0;
    return lastOperationDate.secsTo(VXDateTime::current());
}

VXSystemTime CellsLogic::Cell::lastChangeElapsed() const
{
    const QDateTime from = lastChange.isValid() ? lastChange : zeroTime();
    return VXSystemTime::fromMSec(from.msecsTo(VXDateTime::current()));
}

VXSystemTime CellsLogic::Cell::deviceTouchElapsed() const
{
    const QDateTime from = device.isValid() && deviceTouchTime.isValid() ? deviceTouchTime : zeroTime();
    return VXSystemTime::fromMSec(from.msecsTo(VXDateTime::current()));
}

void CellsLogic::Cell::setState(CellState s)
{
    if (s == state)
        return;
    state = s;
    const char* line = nullptr;
    switch (s) {
    case csActual:
        line = "[CellsLogic::Cell %1] Actual now";
        break;
    case csChanging:
        line = "[CellsLogic::Cell %1] Changing";
        break;
    case csChanged:
        lastChange = VXDateTime::current();
        line = "[CellsLogic::Cell %1] Changed, start ready timeout";
        break;
    case csReadyActualize:
        line = "[CellsLogic::Cell %1] Ready to actualize";
        break;
    }
    if (line)
        StationCore::instance()->log(QString::fromLatin1(line).arg(number), StationCore::lcInfo);
}

void CellsLogic::Cell::procState(const QDateTime& now)
{
    if (state < csActual || state > csReadyActualize) {
        state = csActual;
        StationCore::instance()->log(QStringLiteral("[CellsLogic::Cell %1] Reset state").arg(number),
                                     StationCore::lcInfo);
        return;
    }
    if (state != csChanged)
        return;
    if (!lastChange.isValid())
        lastChange = now;
    if (lastChange.msecsTo(now) > StationCore::instance()->timeouts.sync_interval.toMSec() / 2)
        setState(csReadyActualize);
}

void CellsLogic::Cell::prepare()
{
    if (!deviceTouchTime.isValid())
        deviceTouchTime = lastOperationDate;
    if (ambiguous) {
        state = csReadyActualize;
        lastChange = VXDateTime::current();
    }
}

void CellsLogic::Cell::applyConfigCell(const Cell& configured)
{
    address = configured.address;
    number = configured.number;
    row = configured.row;
    col = configured.col;
    service = configured.service;
    addressable = configured.addressable;
}

void CellsLogic::Cell::setAmbiguous(bool flag)
{
    if (ambiguous == flag)
        return;
    ambiguous = flag;
    StationCore::instance()->log(
        QStringLiteral("[CellsLogic::Cell %1] Ambiguous state %2").arg(number).arg(boolText(flag)),
        StationCore::lcWarning);
}

// ---- stored form ------------------------------------------------------------

VXByteStream& operator<<(VXByteStream& s, const CellsLogic::Address& a)
{
    VXChunkStream c;
    c.add(1, qint32(a.board));
    c.add(2, qint32(a.lock));
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, CellsLogic::Address& a)
{
    CellsLogic::Address record;
    VXChunkStream c;
    if (!c.readFrom(s))
        return s;
    c.get(1, record.board);
    c.get(2, record.lock);
    a = record;
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const CellsLogic::Cell& r)
{
    VXChunkStream c;
    c.add(1, r.address);
    c.add(2, qint32(r.number));
    c.add(3, r.opened);
    c.add(4, qint32(r.row));
    c.add(5, qint32(r.col));
    c.add(15, r.service);
    c.add(6, qint32(r.devicePointCellId));
    c.add(7, qint32(r.deviceId));
    c.add(8, qint32(r.priorityBase));
    c.add(9, r.isLocked);
    c.add(10, r.description);
    c.add(11, r.lastOperation);
    c.add(12, qint32(r.lastOperationUserId));
    c.add(13, r.lastOperationDate);
    c.add(14, r.updateDate);
    c.add(20, r.priorityTime);
    c.add(21, r.deviceTouchTime);
    c.add(22, r.lastChange);
    c.add(23, r.state);
    c.add(24, r.ambiguous);
    c.add(25, r.forceReady);
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, CellsLogic::Cell& r)
{
    CellsLogic::Cell record;
    VXChunkStream c;
    if (!c.readFrom(s))
        return s;
    c.get(1, record.address);
    c.get(2, record.number);
    c.get(3, record.opened);
    c.get(4, record.row);
    c.get(5, record.col);
    c.get(15, record.service);
    c.get(6, record.devicePointCellId);
    c.get(7, record.deviceId);
    c.get(8, record.priorityBase);
    c.get(9, record.isLocked);
    c.get(10, record.description);
    c.get(11, record.lastOperation);
    c.get(12, record.lastOperationUserId);
    c.get(13, record.lastOperationDate);
    c.get(14, record.updateDate);
    c.get(20, record.priorityTime);
    c.get(21, record.deviceTouchTime);
    c.get(22, record.lastChange);
    c.get(23, record.state);
    c.get(24, record.ambiguous);
    c.get(25, record.forceReady);
    r = record;
    return s;
}

// ---- CellsLogic ---------------------------------------------------------------

CellsLogic::CellsLogic()
{
    startIndexedTimerMs(0, 200, [this] { sampleDoors(); });
    startIndexedTimerMs(1, 2000, [this] { ageStates(); });
    Database* db = Database::instance();
    connect(db, &Database::usersChanged, this, [this] { refreshUsers(); });
    connect(db, &Database::devicesChanged, this, [this] {
        refreshDevices();
        Q_EMIT StationCore::instance()->cellsChanged();
    });
}

CellsLogic::~CellsLogic() = default;

void CellsLogic::setController(CellController* cellController)
{
    controller = cellController;
}

void CellsLogic::initialize(const VXValueTree& section)
{
    cells.clear();
    screen = QRect();
    firstCell = lastCell = -1;
    for (const VXValueTree& entry : section.children()) {
        const QString text = entry.value().toString();
        if (entry.name() == QLatin1String("screen")) {
            // left, then three times: drop blanks and one separator, next number.
            QString rest = text;
            // Like strtol: blanks before the number are skipped.
            auto takeInt = [&rest]() {
                rest = rest.trimmed();
                int i = 0;
                if (i < rest.size() && (rest[i] == QLatin1Char('-') || rest[i] == QLatin1Char('+')))
                    ++i;
                while (i < rest.size() && rest[i].isDigit())
                    ++i;
                const int value = rest.left(i).toInt();
                rest = rest.mid(i);
                return value;
            };
            const int left = takeInt();
            int parts[3] = {0, 0, 0};
            for (int& part : parts) {
                rest = rest.trimmed().mid(1);
                part = takeInt();
            }
            screen.setLeft(left);
            screen.setTop(parts[0]);
            screen.setWidth(parts[1]);
            screen.setHeight(parts[2]);
            continue;
        }
        bool isNumber = false;
        const int n = entry.name().toInt(&isNumber);
        if (!isNumber)
            continue;
        if (firstCell < 0 || n < firstCell)
            firstCell = n;
        if (lastCell < 0 || n > lastCell)
            lastCell = n;
        const VXValueTree settings =
            VXValueTreeConversions::fromText(QString(text).replace(QLatin1Char(','), QLatin1Char('\n')));
        Cell cell;
        cell.number = n;
        cell.address.board = settings.childValue(QStringLiteral("board")).toInt();
        cell.address.lock = settings.childValue(QStringLiteral("lock")).toInt();
        if (settings.contains(QStringLiteral("row")))
            cell.row = settings.childValue(QStringLiteral("row")).toInt();
        if (settings.contains(QStringLiteral("col")))
            cell.col = settings.childValue(QStringLiteral("col")).toInt();
        if (cell.row < 0)
            cell.row = cell.address.lock;
        if (cell.col < 0)
            cell.col = cell.address.board;
        cell.service = settings.childValue(QStringLiteral("service"), "false").toBool();
        if (!cell.isValid())
            continue;
        cell.addressable = !controller || controller->canAddress(cell.address.board, cell.address.lock);
        if (!cell.addressable)
            StationCore::instance()->log(QStringLiteral("[CellsLogic] Cell %1: board %2, lock %3 cannot be "
                                                        "reached with protocol %4")
                                             .arg(n)
                                             .arg(cell.address.board)
                                             .arg(cell.address.lock)
                                             .arg(controller->protocolName()),
                                         StationCore::lcError);
        cells.insert(n, cell);
    }
}

VXByteArray CellsLogic::save() const
{
    QVector<Cell> ascending;
    for (const Cell& cell : cells)
        ascending.append(cell);
    VXChunkStream stream;
    stream.add(1, ascending);
    return stream.data();
}

void CellsLogic::load(const VXByteArray& bytes)
{
    VXChunkStream stream;
    stream.read(bytes);
    QVector<Cell> saved;
    stream.get(1, saved);
    for (const Cell& s : saved) {
        // A saved cell that is no longer configured has no address to give.
        if (s.number < 0 || !cells.contains(s.number))
            continue;
        const Cell configured = cells.value(s.number);
        Cell restored = s;
        restored.applyConfigCell(configured);
        restored.prepare();
        cells.insert(s.number, restored);
    }
    // Every configured cell's board is polled, restored or not: a fresh
    // station must learn its door states too.
    QSet<int> boardSet;
    for (const Cell& cell : cells)
        if (cell.isValid())
            boardSet.insert(cell.address.board);
    VXVector<int> boards(boardSet.begin(), boardSet.end());
    std::sort(boards.begin(), boards.end());
    QStringList names;
    for (int board : boards)
        names << QString::number(board);
    VXCout::line(QStringLiteral("boards ") + names.join(QLatin1Char(' ')));
    if (controller)
        controller->setBoards(boards);
}

void CellsLogic::loadFromDatabase()
{
    Database* db = Database::instance();
    for (Cell& cell : cells) {
        cell.device = db->deviceByID(cell.deviceId);
        cell.user = db->userByID(cell.lastOperationUserId);
    }
}

void CellsLogic::refreshUsers()
{
    Database* db = Database::instance();
    for (Cell& cell : cells)
        cell.user = db->userByID(cell.lastOperationUserId);
}

void CellsLogic::refreshDevices()
{
    Database* db = Database::instance();
    for (Cell& cell : cells)
        cell.device = db->deviceByID(cell.deviceId);
}

void CellsLogic::setCellState(int number, CellState state)
{
    auto found = cells.find(number);
    if (found != cells.end())
        found->setState(state);
}

bool CellsLogic::isCellOpened(int number) const
{
    auto found = cells.find(number);
    return found != cells.end() && found->opened;
}

void CellsLogic::sampleDoors()
{
    if (!controller)
        return;
    const auto states = controller->openStates();
    const QDateTime now = VXDateTime::current();
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        Cell& cell = *it;
        if (!cell.isValid())
            continue;
        const auto flags = states.value(cell.address.board);
        cell.opened = cell.address.lock >= 0 && cell.address.lock < flags.size() && flags.at(cell.address.lock);
        if (!cell.openKnown) {
            // The first state of a door is the one its board first reports:
            // a door standing open at start is no opening.
            if (states.contains(cell.address.board)) {
                cell.lastOpened = cell.opened;
                cell.openKnown = true;
            }
            continue;
        }
        if (states.contains(cell.address.board))
            cell.openMarked = false;
        if (cell.opened == cell.lastOpened)
            continue;
        cell.lastOpened = cell.opened;
        cell.priorityTime = now;
        const int number = cell.number;
        if (cell.opened)
            Q_EMIT cellOpened(number);
        else
            Q_EMIT cellClosed(number);
        Q_EMIT cellChanged(number);
    }
}

void CellsLogic::ageStates()
{
    const QDateTime now = VXDateTime::current();
    for (Cell& cell : cells)
        if (cell.isValid())
            cell.procState(now);
}

void CellsLogic::calculateCellsPriority()
{
    maxCellPriorityValue = 1.0;
    const QDateTime now = VXDateTime::current();
    const double rate = StationCore::instance()->cell_priority_per_hour;
    for (Cell& cell : cells) {
        if (!cell.isValid())
            continue;
        cell.priority = grow(cell.priorityBase, hoursSince(cell.priorityTime, now), rate);
        if (cell.isFree())
            maxCellPriorityValue = std::max(maxCellPriorityValue, cell.priority);
    }
}

void CellsLogic::calculateDevicesPriority()
{
    maxDevicePriorityValue = 1.0;
    const QDateTime now = VXDateTime::current();
    const double rate = StationCore::instance()->device_priority_per_hour;
    for (Cell& cell : cells) {
        if (!cell.device.isValid())
            continue;
        const double rest = grow(0.0, hoursSince(cell.deviceTouchTime, now), rate);
        const double charge = std::clamp(cell.device.lastCharge, 0, 100);
        cell.device.priority = std::max(rest, charge);
        if (cell.isAvailableDevice() && cell.isDeviceCharged() && !cell.ambiguous)
            maxDevicePriorityValue = std::max(maxDevicePriorityValue, cell.device.priority);
    }
}

CellsLogic::Cell CellsLogic::getFreeCell()
{
    calculateCellsPriority();
    QVector<Cell> candidates;
    for (const Cell& cell : cells)
        if (cell.isFree())
            candidates.append(cell);
    if (candidates.isEmpty())
        return Cell();
    if (candidates.size() == 1)
        return candidates.first();
    for (Cell& cell : candidates)
        cell.priority += randomd(0.0, 1.0) / 100.0;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Cell& a, const Cell& b) { return a.priority > b.priority; });
    return candidates.first();
}

CellsLogic::Cell CellsLogic::getAvailableDevice(bool any)
{
    calculateDevicesPriority();
    QVector<Cell> candidates;
    for (const Cell& cell : cells) {
        // Even the administrator's batch skips a door that cannot open.
        const bool take = any ? cell.device.isValid() && cell.addressable
                              : cell.isAvailableDevice() && cell.isDeviceCharged();
        if (take)
            candidates.append(cell);
    }
    if (candidates.isEmpty())
        return Cell();
    if (candidates.size() == 1)
        return candidates.first();
    for (Cell& cell : candidates)
        cell.device.priority += randomd(0.0, 1.0) / 100.0;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Cell& a, const Cell& b) { return a.device.priority > b.device.priority; });
    return candidates.first();
}

bool CellsLogic::setCellUserDevice(int number, const DatabaseStructs::User& user,
                                   const DatabaseStructs::Device& device)
{
    auto found = cells.find(number);
    if (found == cells.end())
        return false;
    Cell& cell = *found;
    if (device.id != cell.deviceId)
        cell.forceReady = false;
    cell.lastOperationUserId = user.id;
    cell.lastOperationDate = VXDateTime::current();
    cell.user = user;
    cell.deviceId = device.id;
    cell.device = device;
    cell.deviceTouchTime = cell.lastOperationDate;
    bool duplicate = false;
    if (device.isValid()) {
        QVector<int> others;
        for (const Cell& other : cells)
            if (other.number != number && other.isValid() && other.device.isValid() && other.device.id == device.id)
                others.append(other.number);
        for (int other : others) {
            setCellAmbiguous(number, true);
            setCellAmbiguous(other, true);
            cells[other].setState(csChanged);
            duplicate = true;
        }
    }
    Q_EMIT cellChanged(number);
    Q_EMIT StationCore::instance()->cellsChanged();
    return duplicate;
}

void CellsLogic::setCellAmbiguous(int number, bool flag)
{
    auto found = cells.find(number);
    if (found == cells.end())
        return;
    found->setAmbiguous(flag);
    if (flag && StationCore::instance()->block_on_ambiguous)
        StationCore::instance()->setCellBlocked(*found, true, tr("Ambiguous device"));
}

void CellsLogic::setCellLocked(int number, bool locked, const QString& description)
{
    auto found = cells.find(number);
    if (found == cells.end())
        return;
    found->isLocked = locked;
    found->description = description;
    Q_EMIT cellChanged(number);
    Q_EMIT StationCore::instance()->cellsChanged();
}

void CellsLogic::setCellForceReady(int number, bool flag)
{
    auto found = cells.find(number);
    if (found != cells.end())
        found->forceReady = flag;
}

void CellsLogic::touchCell(const Cell& cell)
{
    auto found = cells.find(cell.number);
    if (found != cells.end())
        found->priorityTime = VXDateTime::current();
}

void CellsLogic::openCell(const Cell& cell, bool touch)
{
    if (!controller)
        return;
    StationCore::instance()->log(QStringLiteral("[CellsLogic] Open cell %1").arg(cell.number), StationCore::lcInfo);
    if (touch)
        touchCell(cell);
    auto found = cells.find(cell.number);
    if (found != cells.end() && !found->openKnown) {
        // The station's own opening is never a door's starting state: when
        // the board first answers after this command, the door it reports
        // open was opened by it.
        found->lastOpened = false;
        found->openKnown = true;
        found->openMarked = true;
        found->openWritesAtMark = controller->openWrites(cell.address.board, cell.address.lock);
    }
    controller->unlock(cell.address.board, cell.address.lock);
}

void CellsLogic::cancelOpen(const Cell& cell)
{
    if (!controller)
        return;
    const int board = cell.address.board;
    const int lock = cell.address.lock;
    controller->cancelUnlock(board, lock);
    auto found = cells.find(cell.number);
    if (found == cells.end() || !found->openMarked)
        return;
    // A command that went out, or is going out, may still open the door
    // before its board first answers: that opening is the station's. A
    // command that never left the station opened nothing, and a door the
    // board first reports open was open without it (a cancel while the
    // link was down).
    if (controller->openWrites(board, lock) != found->openWritesAtMark)
        return;
    found->openMarked = false;
    found->openKnown = false;
    found->lastOpened = false;
}

void CellsLogic::openAll()
{
    QVector<Cell> targets;
    for (const Cell& cell : cells)
        if (cell.isValid() && !cell.isLocked && !cell.service)
            targets.append(cell);
    for (const Cell& cell : targets)
        openCell(cell, true);
}

int CellsLogic::freeCellsCount() const
{
    return int(std::count_if(cells.begin(), cells.end(), [](const Cell& c) { return c.isFree(); }));
}

int CellsLogic::lockedCellsCount() const
{
    return int(std::count_if(cells.begin(), cells.end(), [](const Cell& c) { return c.isLocked; }));
}

VXVector<int> CellsLogic::openCells() const
{
    VXVector<int> numbers;
    for (const Cell& cell : cells)
        if (!cell.isLocked && cell.opened)
            numbers.append(cell.number);
    return numbers;
}

int CellsLogic::devicesInCellsCount() const
{
    return int(std::count_if(cells.begin(), cells.end(), [](const Cell& c) { return c.device.isValid(); }));
}

int CellsLogic::devicesCharging() const
{
    return int(std::count_if(cells.begin(), cells.end(),
                             [](const Cell& c) { return c.isAvailableDevice() && !c.isDeviceCharged(); }));
}

int CellsLogic::availableDevicesInCellsCount() const
{
    return int(std::count_if(cells.begin(), cells.end(),
                             [](const Cell& c) { return c.isAvailableDevice() && c.isDeviceCharged(); }));
}

int CellsLogic::problemDevicesInCellsCount() const
{
    return int(std::count_if(cells.begin(), cells.end(), [](const Cell& c) {
        return c.device.isValid() && c.device.status != Constants::dsWorkable;
    }));
}
