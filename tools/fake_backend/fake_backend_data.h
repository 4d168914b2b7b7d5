#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Generated download bodies in the back-end's wire form, for large data sets
// (benchmarks) and tests that need many records. Record N (from 1) of each
// kind has the id firstId + N - 1 and predictable texts.
namespace FakeBackendData {
// The back-end's form of dates in replies: local "dd.MM.yyyy hh:mm:ss".
QString wireDate(const QDateTime& time);
// Users: name "User N", login "userN", personNumber 100000 + id, no password
// hash, every tenth an administrator.
QByteArray users(int count, int firstId = 1);
// Devices: name "Device N", serial "SN-" and the id in six digits, workable,
// with no user.
QByteArray devices(int count, int firstId = 1);
// Fault kinds: name "Fault N".
QByteArray faults(int count, int firstId = 1);
// Cells 1 to count of one station: server id 1000 + number, device
// firstDeviceId + number - 1, unlocked.
QByteArray cells(int count, int firstDeviceId = 1);
} // namespace FakeBackendData
