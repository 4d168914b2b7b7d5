// An issue and a return on the simulated lock controller, delivered to a
// fake back-end over loopback HTTP.
#include <gtest/gtest.h>

#include "fake_backend.h"
#include "storage/database.h"
#include "workflow_fixture.h"

namespace {
class BackendDelivery : public WorkflowTest
{
protected:
    void SetUp() override { ASSERT_TRUE(backend.start()); }

    FakeBackend backend;
};
} // namespace

TEST_F(BackendDelivery, IssueAndReturnReachTheBackend)
{
    Options options;
    // The last part of the configuration: a section of its own after the cells.
    options.extraCells = QStringLiteral("[server]\nlogin = station\npassword = secret\n"
                                        "base_url = %1\nsync_interval = 1 h\n")
                             .arg(backend.baseUrl());
    start(options);
    ASSERT_EVENTUALLY(core->server.authStatus() == Server::authLoggedIn, 5000);

    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);

    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020\r"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    for (int lock = 0; lock < 3; ++lock)
        sim.setDoor(0, lock, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);

    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathOperation) == 2, 5000);
    const QList<FakeBackend::Request> got = backend.requests(FakeBackend::pathOperation);
    EXPECT_EQ(got[0].json().object().value("operation").toInt(-1), int(Constants::doIssued));
    EXPECT_EQ(got[0].json().object().value("deviceId").toInt(), 12);
    EXPECT_EQ(got[1].json().object().value("operation").toInt(-1), int(Constants::doReturned));
    EXPECT_EQ(got[1].json().object().value("deviceId").toInt(), 20);
    for (const FakeBackend::Request& r : got)
        EXPECT_EQ(r.header("x-api-key"), backend.lastToken().toUtf8());
    ASSERT_EVENTUALLY(queuedChanges().isEmpty(), 3000);
}

// The back-end reports an empty cell with "deviceId": 0, or without the key.
TEST_F(BackendDelivery, CellsReportedEmptyTakeAReturn)
{
    backend.setUsers(R"([{"id":4,"login":"anna","personNumber":"89"}])");
    backend.setDevices(R"([{"id":12,"serial":"SN-0012","userId":1,"lastCharge":90},)"
                       R"({"id":20,"serial":"SN-0020","userId":4,"lastCharge":40}])");
    backend.setCells(R"({"devicePointCells":[{"cellNumber":1,"id":101,"deviceId":12},)"
                     R"({"cellNumber":2,"id":102,"deviceId":0},{"cellNumber":3,"id":103}]})");
    Options options;
    options.maxTryOpenCell = QStringLiteral("3 s"); // the door opens: no give-up on a slow run
    options.extraCells = QStringLiteral("[server]\nlogin = station\npassword = secret\n"
                                        "base_url = %1\nsync_interval = 1 h\n")
                             .arg(backend.baseUrl());
    backend.setPointId(0);
    start(options);
    const auto merged = [] {
        return TestSupport::logLines().filter(QStringLiteral("[Server] Cells stat  after:"));
    };
    ASSERT_EVENTUALLY(merged().size() == 1, 10000);
    EXPECT_TRUE(merged().first().endsWith(
        QStringLiteral(" - [Server] Cells stat  after: 2 free, 1 devices, 1 available")))
        << merged().first().toStdString();
    EXPECT_EQ(core->cellsLogic.freeCellsCount(), 2);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(2).deviceId, 0);
    EXPECT_EQ(core->cellsLogic.getCellByNumber(3).deviceId, 0);

    // So does the state report.
    EXPECT_EQ(QJsonDocument::fromJson(Server::keepAliveBody()).object().value("cells_free").toInt(-1), 2);

    core->returnLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    core->barCodeReaded(QByteArray("SN-0020\r"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    int number = -1;
    for (const CellsLogic::Cell& cell : core->cellsLogic.getCells())
        if (cell.deviceId == 20)
            number = cell.number;
    ASSERT_TRUE(number == 2 || number == 3) << number;
    sim.setDoor(0, number - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_TRUE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(messages, QStringList{"Issue device: Successful"});

    ASSERT_EVENTUALLY(backend.requestCount(FakeBackend::pathOperation) == 1, 5000);
    const QJsonObject sent = backend.requests(FakeBackend::pathOperation).first().json().object();
    EXPECT_EQ(sent.value("operation").toInt(-1), int(Constants::doReturned));
    EXPECT_EQ(sent.value("deviceId").toInt(), 20);
    EXPECT_EQ(sent.value("devicePointCellId").toInt(), 100 + number);
}
