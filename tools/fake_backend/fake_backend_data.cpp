#include "fake_backend_data.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString stamp()
{
    return FakeBackendData::wireDate(QDateTime::currentDateTime().addSecs(-3600));
}

QByteArray compact(const QJsonArray& array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}
} // namespace

namespace FakeBackendData {
QString wireDate(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QByteArray users(int count, int firstId)
{
    const QString date = stamp();
    QJsonArray array;
    for (int id = firstId; id < firstId + count; ++id)
        array.append(QJsonObject{{"id", id},
                                 {"name", QStringLiteral("User %1").arg(id)},
                                 {"login", QStringLiteral("user%1").arg(id)},
                                 {"passwordHash", QString()},
                                 {"personNumber", QString::number(100000 + id)},
                                 {"isAdmin", id % 10 == 0},
                                 {"isBlocked", false},
                                 {"updateDate", date},
                                 {"roleUpdateDate", date}});
    return compact(array);
}

QByteArray devices(int count, int firstId)
{
    const QString date = stamp();
    QJsonArray array;
    for (int id = firstId; id < firstId + count; ++id)
        array.append(QJsonObject{{"id", id},
                                 {"name", QStringLiteral("Device %1").arg(id)},
                                 {"phone", QString()},
                                 {"serial", QStringLiteral("SN-%1").arg(id, 6, 10, QLatin1Char('0'))},
                                 {"status", 0},
                                 {"userId", QJsonValue::Null},
                                 {"lastCharge", 80},
                                 {"updateDate", date},
                                 {"chargeTrend", 1},
                                 {"lastChargeDate", date}});
    return compact(array);
}

QByteArray faults(int count, int firstId)
{
    const QString date = stamp();
    QJsonArray array;
    for (int id = firstId; id < firstId + count; ++id)
        array.append(QJsonObject{{"id", id},
                                 {"name", QStringLiteral("Fault %1").arg(id)},
                                 {"description", QString()},
                                 {"updateDate", date}});
    return compact(array);
}

QByteArray cells(int count, int firstDeviceId)
{
    const QString date = stamp();
    QJsonArray array;
    for (int number = 1; number <= count; ++number)
        array.append(QJsonObject{{"id", 1000 + number},
                                 {"cellNumber", number},
                                 {"deviceId", firstDeviceId + number - 1},
                                 {"isLocked", false},
                                 {"description", QString()},
                                 {"lastOperation", 0},
                                 {"lastOperationUserId", 0},
                                 {"lastOperationDate", date},
                                 {"updateDate", date}});
    return QJsonDocument(QJsonObject{{"devicePointCells", array}}).toJson(QJsonDocument::Compact);
}
} // namespace FakeBackendData
