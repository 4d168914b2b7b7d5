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
