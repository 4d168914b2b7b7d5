#pragma once

#include <QJsonObject>
#include <QList>

#include <gtest/gtest.h>

#include "core/core.h"
#include "fake_backend.h"
#include "server/server.h"
#include "support/test_support.h"

// A hub with three cells and no lock controller, talking to a fake back-end
// on loopback. Each test has a hub of its own, so the hub starts once.
class SyncTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(backend.start()); }
    void TearDown() override
    {
        if (core) {
            core->stop();
            core->destroy();
        }
    }

    void start(const QString& keepAlive = QStringLiteral("1 h"),
               const QString& syncInterval = QStringLiteral("1 min"))
    {
        TestSupport::writeConfig(QStringLiteral("[general]\n"
                                                "point_id = 1\n"
                                                "[interface]\n"
                                                "title = Hall B\n"
                                                "[scanner]\n"
                                                "card_reader = false\n"
                                                "[cells]\n"
                                                "1 = board = 0, lock = 0\n"
                                                "2 = board = 0, lock = 1\n"
                                                "3 = board = 0, lock = 2\n"
                                                "[server]\n"
                                                "log = true\n"
                                                "login = station\n"
                                                "password = secret\n"
                                                "base_url = %1\n"
                                                "log_url = %2\n"
                                                "sync_interval = %3\n"
                                                "keep_alive_interval = %4\n")
                                     .arg(backend.baseUrl(), backend.logUrl(), syncInterval, keepAlive));
        core = StationCore::instance();
        core->init();
        core->server.setRetryDelays(VXSystemTime::fromMSec(50), VXSystemTime::fromMSec(200));
    }

    // Waits for the first download to be applied and its lines to be in the
    // log file (the merge of the cells writes the last one).
    void waitApplied()
    {
        const auto merged = [] {
            return TestSupport::logLines().filter(QStringLiteral("[Server] Cells stat  after:")).size() > 0;
        };
        ASSERT_EVENTUALLY(merged() && !core->server.isApplying(), 10000);
    }

    // Holds the apply of the first download back, then starts it by hand and
    // leaves the screen at screen: it goes on, or waits, from there.
    void startApplyingOn(Constants::ActiveScreen screen)
    {
        core = StationCore::instance();
        core->active_screen = Constants::asAdminLogin;
        start();
        ASSERT_EVENTUALLY(core->server.isSyncReady(), 10000);
        core->active_screen = Constants::asStart;
        core->server.maybeApplySync();
        core->active_screen = screen;
        ASSERT_TRUE(core->server.isApplying());
    }

    // Starts the hub, waits for the first download to be applied, then lets
    // the back-end answer requests to path only after delayMs (times of them;
    // -1 for every one).
    void startThenSlow(const QString& path, int delayMs, int times = -1)
    {
        start();
        waitApplied();
        FakeBackend::Behaviour slow;
        slow.delayMs = delayMs;
        slow.times = times;
        backend.setBehaviour(path, slow);
    }

    QList<FakeBackend::Request> operations() const { return backend.requests(FakeBackend::pathOperation); }

    // The state reports posted so far. Log records share their path: a
    // report is the body with the counts.
    QList<QJsonObject> stateReports() const
    {
        QList<QJsonObject> reports;
        for (const FakeBackend::Request& r : backend.requests(FakeBackend::pathState))
            if (r.json().object().contains(QLatin1String("cells_all")))
                reports.append(r.json().object());
        return reports;
    }

    FakeBackend backend;
    StationCore* core = nullptr;
};
