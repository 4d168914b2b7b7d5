#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>

#include "core/constants.h"
#include "jalt/vx_binary_stream.h"

// The records the station keeps about the back-end's data and its own
// outgoing traffic. Stored one per table row as a chunk-stream blob.
namespace DatabaseStructs
{
struct User
{
    int id = -1;
    QString name;
    QString login;
    QByteArray passwordHash;
    QString personNumber;
    bool isAdmin = false;
    bool isBlocked = false;
    QDateTime updateDate;
    QDateTime roleUpdateDate;

    bool isValid() const { return id >= 1; }
    bool operator==(const User& o) const;
    bool operator!=(const User& o) const { return !(*this == o); }
};

struct Device
{
    int id = -1;
    QString name;
    QString phone;
    QString serial;
    Constants::DeviceStatus status = Constants::dsWorkable;
    int userId = -1;
    int lastCharge = 0;
    Constants::DeviceChargeTrend chargeTrend = Constants::dtUnknown;
    QDateTime updateDate;
    QDateTime lastChargeDate;
    // Computed by the cell model; never stored.
    double priority = 0.0;

    bool isValid() const { return id >= 1; }
    // Holder ids 0 and 1 are not users of their own (1 stands for the station).
    bool isOwnByUser() const { return userId > 1; }
    bool operator==(const Device& o) const;
    bool operator!=(const Device& o) const { return !(*this == o); }
};

struct DeviceFault
{
    int id = -1;
    QString name;
    QString description;
    QDateTime updateDate;

    bool isValid() const { return id >= 1; }
    bool operator==(const DeviceFault& o) const;
};

// One queued request for the server; id is the queue table's row id.
struct ChangeServer
{
    int id = -1;
    QString path;
    QByteArray body;
    int cell = -1;

    bool isValid() const { return id >= 0; }
    bool hasCell() const { return cell >= 0; }
    bool operator==(const ChangeServer& o) const;
};

// One queued log record for the server; id is the queue table's row id.
struct ServerLog
{
    int id = -1;
    QString path;
    QByteArray body;

    bool isValid() const { return id >= 0; }
    bool operator==(const ServerLog& o) const;
};

VXByteStream& operator<<(VXByteStream& s, const User& r);
VXByteStream& operator<<(VXByteStream& s, const Device& r);
VXByteStream& operator<<(VXByteStream& s, const DeviceFault& r);
VXByteStream& operator<<(VXByteStream& s, const ChangeServer& r);
VXByteStream& operator<<(VXByteStream& s, const ServerLog& r);
VXByteStream& operator>>(VXByteStream& s, User& r);
VXByteStream& operator>>(VXByteStream& s, Device& r);
VXByteStream& operator>>(VXByteStream& s, DeviceFault& r);
VXByteStream& operator>>(VXByteStream& s, ChangeServer& r);
VXByteStream& operator>>(VXByteStream& s, ServerLog& r);

// Registers the records that travel in queued signals and item data.
void registerMetaTypes();

inline const char* const table_updates = "updates";
inline const char* const table_users = "users";
inline const char* const table_devices = "devices";
inline const char* const table_device_faults = "device_faults";
inline const char* const table_server_changes = "server_changes";
inline const char* const table_server_logs = "server_logs";

// Stands for "never" in update times: 1970-01-01 00:00:00.000 local time.
QDateTime zeroTime();
} // namespace DatabaseStructs

Q_DECLARE_METATYPE(DatabaseStructs::User)
Q_DECLARE_METATYPE(DatabaseStructs::Device)
Q_DECLARE_METATYPE(DatabaseStructs::DeviceFault)
