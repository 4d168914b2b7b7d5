#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "jalt/vx_time.h"
#include "server/server.h"
#include "support/test_support.h"

namespace {
CellsLogic::Cell cell(int number, int serverId)
{
    CellsLogic::Cell c;
    c.number = number;
    c.address.board = 0;
    c.devicePointCellId = serverId;
    return c;
}

QStringList keysInTextOrder(const QByteArray& body)
{
    QStringList keys;
    const QRegularExpression key(QStringLiteral("[{,]\"([A-Za-z]+)\":"));
    auto it = key.globalMatch(QString::fromUtf8(body));
    while (it.hasNext())
        keys << it.next().captured(1);
    return keys;
}

bool isUuid(const QString& text)
{
    return QRegularExpression(
               QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-5[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12}$"))
        .match(text)
        .hasMatch();
}
} // namespace

TEST(ServerRecords, OperationCarriesTheCellAndItsKeysInOrder)
{
    const QDateTime before = VXDateTime::current();
    const auto change =
        Server::makeOperation(Constants::doIssued, 12, 4, cell(5, 105), QStringLiteral("a \"b\" ä"));
    EXPECT_EQ(change.path, QStringLiteral("api/KalmireSync/CreateOperation"));
    EXPECT_EQ(change.cell, 5);
    EXPECT_EQ(keysInTextOrder(change.body),
              (QStringList{"operation", "deviceId", "userId", "devicePointCellId", "comment", "createDate",
                           "refId"}));
    QJsonParseError error;
    const QJsonObject body = QJsonDocument::fromJson(change.body, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << change.body.toStdString();
    EXPECT_EQ(body.value("operation").toInt(-1), 1);
    EXPECT_EQ(body.value("deviceId").toInt(), 12);
    EXPECT_EQ(body.value("userId").toInt(), 4);
    EXPECT_EQ(body.value("devicePointCellId").toInt(), 105);
    EXPECT_EQ(body.value("comment").toString(), QStringLiteral("a \"b\" ä"));
    const QString date = body.value("createDate").toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                    .match(date)
                    .hasMatch())
        << date.toStdString();
    const QDateTime stamped = QDateTime::fromString(date, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz"));
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, VXDateTime::current());
    EXPECT_TRUE(isUuid(body.value("refId").toString()));
}

TEST(ServerRecords, EqualRecordsGetDifferentRefIds)
{
    const auto first = Server::makeOperation(Constants::doReturned, 1, 2, cell(1, 1), QString());
    const auto second = Server::makeOperation(Constants::doReturned, 1, 2, cell(1, 1), QString());
    const QString a = QJsonDocument::fromJson(first.body).object().value("refId").toString();
    const QString b = QJsonDocument::fromJson(second.body).object().value("refId").toString();
    EXPECT_TRUE(isUuid(a));
    EXPECT_NE(a, b);
}

TEST(ServerRecords, OperationWithoutCellHasNoCell)
{
    const auto change =
        Server::makeOperation(Constants::doIssueFailed, -1, 4, CellsLogic::Cell(), "No free cells");
    EXPECT_EQ(change.cell, -1);
    EXPECT_FALSE(change.hasCell());
    EXPECT_EQ(QJsonDocument::fromJson(change.body).object().value("devicePointCellId").toInt(), -1);
}

TEST(ServerRecords, TaskConcernsNoCell)
{
    const auto change = Server::makeTask(12, 4, 3, QStringLiteral("Screen cracked"));
    EXPECT_EQ(change.path, QStringLiteral("api/KalmireSync/CreateTask"));
    EXPECT_EQ(change.cell, -1);
    EXPECT_EQ(keysInTextOrder(change.body),
              (QStringList{"deviceId", "userId", "deviceFaultId", "description", "createDate", "refId"}));
    const QJsonObject body = QJsonDocument::fromJson(change.body).object();
    EXPECT_EQ(body.value("deviceFaultId").toInt(), 3);
    EXPECT_EQ(body.value("description").toString(), QStringLiteral("Screen cracked"));
    EXPECT_TRUE(isUuid(body.value("refId").toString()));
}

TEST(ServerRecords, CellLockIsAnArrayOfOneObjectWithoutStamp)
{
    const auto change = Server::makeCellLockStatus(101, true, QStringLiteral("Open timeout"));
    EXPECT_EQ(change.path, QStringLiteral("api/KalmireSync/SetCellsLockStatus"));
    EXPECT_EQ(change.cell, -1);
    EXPECT_EQ(change.body, QByteArray(R"([{"id":101,"isLocked":true,"description":"Open timeout"}])"));
}
