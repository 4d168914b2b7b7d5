#include "storage/database_structs.h"

#include "jalt/vx_chunk_stream.h"

namespace DatabaseStructs
{
bool User::operator==(const User& o) const
{
    return id == o.id && name == o.name && login == o.login && passwordHash == o.passwordHash
           && personNumber == o.personNumber && isAdmin == o.isAdmin && isBlocked == o.isBlocked
           && updateDate == o.updateDate && roleUpdateDate == o.roleUpdateDate;
}

bool Device::operator==(const Device& o) const
{
    return id == o.id && name == o.name && phone == o.phone && serial == o.serial && status == o.status
           && userId == o.userId && lastCharge == o.lastCharge && chargeTrend == o.chargeTrend
           && updateDate == o.updateDate && lastChargeDate == o.lastChargeDate && priority == o.priority;
}

bool DeviceFault::operator==(const DeviceFault& o) const
{
    return id == o.id && name == o.name && description == o.description && updateDate == o.updateDate;
}

bool ChangeServer::operator==(const ChangeServer& o) const
{
    return id == o.id && path == o.path && body == o.body && cell == o.cell;
}

bool ServerLog::operator==(const ServerLog& o) const
{
    return id == o.id && path == o.path && body == o.body;
}

VXByteStream& operator<<(VXByteStream& s, const User& r)
{
    VXChunkStream c;
    c.add(1, qint32(r.id));
    c.add(2, r.name);
    c.add(3, r.login);
    c.add(4, r.passwordHash);
    c.add(5, r.personNumber);
    c.add(6, r.isAdmin);
    c.add(7, r.isBlocked);
    c.add(8, r.updateDate);
    c.add(9, r.roleUpdateDate);
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, User& r)
{
    User record;
    VXChunkStream c;
    if (c.readFrom(s)) {
        c.get(1, record.id);
        c.get(2, record.name);
        c.get(3, record.login);
        c.get(4, record.passwordHash);
        c.get(5, record.personNumber);
        c.get(6, record.isAdmin);
        c.get(7, record.isBlocked);
        c.get(8, record.updateDate);
        c.get(9, record.roleUpdateDate);
    }
    r = record;
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const Device& r)
{
    VXChunkStream c;
    c.add(1, qint32(r.id));
    c.add(2, r.name);
    c.add(3, r.phone);
    c.add(4, r.serial);
    c.add(5, r.status);
    c.add(6, qint32(r.userId));
    c.add(7, qint32(r.lastCharge));
    c.add(8, r.chargeTrend);
    c.add(9, r.updateDate);
    c.add(10, r.lastChargeDate);
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, Device& r)
{
    Device record;
    VXChunkStream c;
    if (c.readFrom(s)) {
        c.get(1, record.id);
        c.get(2, record.name);
        c.get(3, record.phone);
        c.get(4, record.serial);
        c.get(5, record.status);
        c.get(6, record.userId);
        c.get(7, record.lastCharge);
        c.get(8, record.chargeTrend);
        c.get(9, record.updateDate);
        c.get(10, record.lastChargeDate);
    }
    r = record;
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const DeviceFault& r)
{
    VXChunkStream c;
    c.add(1, qint32(r.id));
    c.add(2, r.name);
    c.add(3, r.description);
    c.add(4, r.updateDate);
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, DeviceFault& r)
{
    DeviceFault record;
    VXChunkStream c;
    if (c.readFrom(s)) {
        c.get(1, record.id);
        c.get(2, record.name);
        c.get(3, record.description);
        c.get(4, record.updateDate);
    }
    r = record;
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const ChangeServer& r)
{
    VXChunkStream c;
    c.add(1, r.path);
    c.add(2, r.body);
    c.add(3, qint32(r.cell));
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, ChangeServer& r)
{
    ChangeServer record;
    VXChunkStream c;
    if (c.readFrom(s)) {
        c.get(1, record.path);
        c.get(2, record.body);
        c.get(3, record.cell);
    }
    r = record;
    return s;
}

VXByteStream& operator<<(VXByteStream& s, const ServerLog& r)
{
    VXChunkStream c;
    c.add(1, r.path);
    c.add(2, r.body);
    return s << c.data();
}

VXByteStream& operator>>(VXByteStream& s, ServerLog& r)
{
    ServerLog record;
    VXChunkStream c;
    if (c.readFrom(s)) {
        c.get(1, record.path);
        c.get(2, record.body);
    }
    r = record;
    return s;
}

void registerMetaTypes()
{
    qRegisterMetaType<User>("DatabaseStructs::User");
    qRegisterMetaType<Device>("DatabaseStructs::Device");
    qRegisterMetaType<DeviceFault>("DatabaseStructs::DeviceFault");
}

QDateTime zeroTime()
{
    return QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0, 0), Qt::LocalTime);
}
} // namespace DatabaseStructs
