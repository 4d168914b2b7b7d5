#include "server/server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>

#include "jalt/vx_time.h"
#include "readers/cryptography.h"

namespace {
// The back-end reads the keys of a request in the order they are written and
// the "refId" is a hash of the text so far, so the text is written here key
// by key instead of through QJsonObject, which sorts its keys.
class JsonObjectText
{
public:
    JsonObjectText& add(const char* key, const QJsonValue& value)
    {
        // A one-element array is the shortest way to have Qt escape a value.
        const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        // Our keys are plain ASCII names and need no escaping.
        parts.append('"' + QByteArray(key) + "\":" + array.mid(1).chopped(1));
        return *this;
    }
    QByteArray text() const { return '{' + parts.join(',') + '}'; }

    // "createDate" (now, local) and "refId" (a fresh UUID of the text so far).
    JsonObjectText& stamp()
    {
        add("createDate", VXDateTime::current().toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz")));
        return add("refId", createUUID(text()));
    }

private:
    QList<QByteArray> parts;
};
} // namespace

DatabaseStructs::ChangeServer Server::makeOperation(Constants::DeviceOperation operation,
                                                    int deviceId,
                                                    int userId,
                                                    const CellsLogic::Cell& cell,
                                                    QString comment)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/CreateOperation");
    change.cell = cell.number;
    change.body = JsonObjectText()
                      .add("operation", int(operation))
                      .add("deviceId", deviceId)
                      .add("userId", userId)
                      .add("devicePointCellId", cell.devicePointCellId)
                      .add("comment", comment)
                      .stamp()
                      .text();
    return change;
}

DatabaseStructs::ChangeServer
Server::makeTask(int deviceId, int userId, int deviceFaultId, QString description)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/CreateTask");
    change.body = JsonObjectText()
                      .add("deviceId", deviceId)
                      .add("userId", userId)
                      .add("deviceFaultId", deviceFaultId)
                      .add("description", description)
                      .stamp()
                      .text();
    return change;
}

DatabaseStructs::ChangeServer Server::makeCellLockStatus(int id, bool isLocked, QString description)
{
    DatabaseStructs::ChangeServer change;
    change.path = QStringLiteral("api/KalmireSync/SetCellsLockStatus");
    change.body =
        '[' + JsonObjectText().add("id", id).add("isLocked", isLocked).add("description", description).text()
        + ']';
    return change;
}
