#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <dlfcn.h>
#include <netdb.h>

#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "core/core.h"
#include "fake_backend.h"
#include "server/server_base.h"
#include "support/test_support.h"

using TestSupport::logHas;
using TestSupport::logLines;

namespace {
// Name lookups of this host hang while a HeldLookups is alive: a resolver
// that never answers. Every other lookup goes to the C library.
const char* const hangingHost = "lookup-hangs.invalid";

struct LookupGate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    int waiting = 0;
};
LookupGate& lookupGate()
{
    static LookupGate gate;
    return gate;
}

class HeldLookups
{
public:
    HeldLookups()
    {
        std::lock_guard<std::mutex> lock(lookupGate().mutex);
        lookupGate().held = true;
    }
    ~HeldLookups()
    {
        release();
        // The lookups let go return to their callers before the test ends.
        std::unique_lock<std::mutex> lock(lookupGate().mutex);
        lookupGate().changed.wait(lock, [] { return lookupGate().waiting == 0; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(lookupGate().mutex);
        lookupGate().held = false;
        lookupGate().changed.notify_all();
    }
    int waiting() const
    {
        std::lock_guard<std::mutex> lock(lookupGate().mutex);
        return lookupGate().waiting;
    }
};
} // namespace

// Takes the place of the C library's function for the whole program (libcurl's
// resolver thread calls it).
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    if (node && std::strcmp(node, hangingHost) == 0) {
        LookupGate& gate = lookupGate();
        std::unique_lock<std::mutex> lock(gate.mutex);
        ++gate.waiting;
        gate.changed.wait(lock, [&gate] { return !gate.held; });
        --gate.waiting;
        gate.changed.notify_all();
        return EAI_NONAME;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}

namespace {
// What the handlers of one request saw.
struct Outcome
{
    int ok = 0;
    int err = 0;
    ServerBase::Reply reply;
    QThread* thread = nullptr;

    bool done() const { return ok + err > 0; }
    ServerBase::ReplyHandler onOk()
    {
        return [this](const ServerBase::Reply& r) { record(r, ok); };
    }
    ServerBase::ReplyHandler onErr()
    {
        return [this](const ServerBase::Reply& r) { record(r, err); };
    }

private:
    void record(const ServerBase::Reply& r, int& counter)
    {
        ++counter;
        reply = r;
        thread = QThread::currentThread();
    }
};

struct Line
{
    QString text;
    int category;
};

class ServerBaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(backend.start());
        StationCore::instance()->server_log = true;
        server.setBaseURL(backend.baseUrl());
        server.setLogURL(backend.logUrl());
    }

    // Sends and waits for a handler.
    void get(Outcome& outcome, ServerBase::Root root, const QString& path, int ms = 5000)
    {
        server.sendGet(root, path, outcome.onOk(), outcome.onErr());
        ASSERT_EVENTUALLY(outcome.done(), ms);
    }

    void collectLines()
    {
        server.setLogSink([this](const VXString& text, int category) { lines.append({text, category}); });
    }
    // The category of the first collected line with this text; -1 when none.
    int categoryOf(const QString& text) const
    {
        for (const Line& line : lines) {
            if (line.text == text)
                return line.category;
        }
        return -1;
    }

    FakeBackend backend;
    ServerBase server;
    QList<Line> lines;
};
} // namespace

struct UrlCase
{
    const char* name;
    QString given;
    QString stored;
};
class ServerBaseUrls : public ::testing::TestWithParam<UrlCase>
{
};

TEST_P(ServerBaseUrls, AreTrimmedAndEndInASlash)
{
    ServerBase server;
    server.setBaseURL(GetParam().given);
    server.setLogURL(GetParam().given);
    EXPECT_EQ(server.baseUrl(), GetParam().stored);
    EXPECT_EQ(server.logUrl(), GetParam().stored);
    EXPECT_EQ(server.isLogActive(), !GetParam().stored.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ServerBaseUrls,
                         ::testing::Values(UrlCase{"Plain", "http://h:8080/api", "http://h:8080/api/"},
                                           UrlCase{"Slash", "http://h:8080/api/", "http://h:8080/api/"},
                                           UrlCase{"Blanks", " \thttp://h/api \n", "http://h/api/"},
                                           UrlCase{"BlanksAndSlash", "  http://h/  ", "http://h/"},
                                           UrlCase{"Backslash", "http://h/api\\", "http://h/api\\/"},
                                           UrlCase{"Empty", "", ""},
                                           UrlCase{"Blank", "  \t ", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusCase
{
    const char* name;
    int status;
    bool ok;
};
class ServerBaseStatus : public ServerBaseTest, public ::testing::WithParamInterface<StatusCase>
{
};

TEST_P(ServerBaseStatus, OnlyTwoHundredToTwoHundredTwoSucceed)
{
    FakeBackend::Behaviour behaviour;
    behaviour.status = GetParam().status;
    behaviour.body = QByteArray("{\"answer\":1}");
    behaviour.headers.append(qMakePair(QByteArray("X-Extra"), QByteArray("here")));
    backend.setBehaviour(FakeBackend::pathFaults, behaviour);

    Outcome outcome;
    get(outcome, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(outcome.ok, GetParam().ok ? 1 : 0);
    EXPECT_EQ(outcome.err, GetParam().ok ? 0 : 1);
    EXPECT_EQ(outcome.reply.status, GetParam().status);
    EXPECT_EQ(outcome.reply.header("x-extra"), "here");
    if (GetParam().status != 204) {
        EXPECT_EQ(outcome.reply.body, "{\"answer\":1}");
    }
    ASSERT_EVENTUALLY(
        logHas(QStringLiteral("[ServerBase] sendGet: path: \"%1\"").arg(FakeBackend::pathFaults)), 2000);
    const QString error = QStringLiteral("[ServerBase] Error code %1").arg(GetParam().status);
    if (GetParam().ok) {
        ASSERT_TRUE(TestSupport::logWritten());
        EXPECT_FALSE(logLines().join('\n').contains("Error")) << logLines().join('\n').toStdString();
    } else {
        ASSERT_EVENTUALLY(logHas(error), 2000);
    }
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ServerBaseStatus,
                         ::testing::Values(StatusCase{"Ok200", 200, true},
                                           StatusCase{"Created201", 201, true},
                                           StatusCase{"Accepted202", 202, true},
                                           StatusCase{"NoContent204", 204, false},
                                           StatusCase{"Moved301", 301, false},
                                           StatusCase{"Unauthorized401", 401, false},
                                           StatusCase{"ServerError500", 500, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerBaseTest, TokenGoesOnEveryRequestOnceHeld)
{
    Outcome before;
    Outcome beforeLog;
    get(before, ServerBase::rtBase, FakeBackend::pathFaults);
    get(beforeLog, ServerBase::rtLog, "station/state");
    EXPECT_FALSE(server.isAuthorized());

    ASSERT_TRUE(server.setToken("token-7"));
    EXPECT_TRUE(server.isAuthorized());
    Outcome after;
    Outcome afterLog;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathOperation, "{}", after.onOk(), after.onErr());
    server.sendPost(ServerBase::rtLog, "station/state", "{}", afterLog.onOk(), afterLog.onErr());
    ASSERT_EVENTUALLY(after.done() && afterLog.done(), 5000);

    const QList<FakeBackend::Request> seen = backend.requests();
    ASSERT_EQ(seen.size(), 4);
    for (const FakeBackend::Request& request : seen) {
        SCOPED_TRACE(request.path.toStdString());
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.hasHeader("x-api-key"), request.method == "POST");
        if (request.method == "POST") {
            EXPECT_EQ(request.header("x-api-key"), "token-7");
            EXPECT_EQ(request.body, "{}");
        }
    }
    EXPECT_EQ(backend.requests(FakeBackend::pathState).size(), 2);

    ASSERT_TRUE(server.setToken(QString()));
    Outcome cleared;
    get(cleared, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_FALSE(backend.requests().last().hasHeader("x-api-key"));
}

// One connection carries request after request; a large body goes whole,
// without waiting for a "100 Continue" the back-end may never send.
TEST_F(ServerBaseTest, RequestsShareOneKeptAliveConnection)
{
    const QByteArray large = "{\"description\":\"" + QByteArray(2000000, 'x') + "\"}";
    Outcome first;
    get(first, ServerBase::rtBase, FakeBackend::pathFaults);
    Outcome posted;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathTask, large, posted.onOk(), posted.onErr());
    ASSERT_EVENTUALLY(posted.done(), 5000);
    Outcome last;
    server.sendPost(ServerBase::rtLog, "station/state", "{}", last.onOk(), last.onErr());
    ASSERT_EVENTUALLY(last.done(), 5000);

    EXPECT_EQ(first.ok, 1) << first.reply.status;
    EXPECT_EQ(posted.ok, 1) << posted.reply.status << posted.reply.errorText.toStdString();
    EXPECT_EQ(last.ok, 1) << last.reply.status;
    const QList<FakeBackend::Request> seen = backend.requests();
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[1].body, large);
    EXPECT_FALSE(seen[1].hasHeader("Expect"));
    for (const FakeBackend::Request& request : seen)
        EXPECT_EQ(request.connection, 1) << request.path.toStdString();
    EXPECT_EQ(backend.connectionCount(), 1);
}

TEST_F(ServerBaseTest, EmptyRootDropsTheRequestWithoutAHandler)
{
    server.setLogURL("  ");
    EXPECT_FALSE(server.isLogActive());
    Outcome dropped;
    server.sendGet(ServerBase::rtLog, "station/state", dropped.onOk(), dropped.onErr());
    server.sendPost(ServerBase::rtLog, "station/state", "{}", dropped.onOk(), dropped.onErr());
    // Handlers run in the order of the replies, and the dropped requests have
    // none: once a later request is answered nothing else is coming.
    Outcome later;
    get(later, ServerBase::rtBase, FakeBackend::pathFaults);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dropped.done());
    EXPECT_EQ(backend.requestCount(), 1);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(logHas(QStringLiteral("[ServerBase] sendGet: path: \"station/state\"")));
}

TEST_F(ServerBaseTest, HandlersRunOnTheMainThreadWhereverTheRequestCameFrom)
{
    Outcome fromMain;
    get(fromMain, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(fromMain.thread, QCoreApplication::instance()->thread());

    Outcome fromWorker;
    QThread* nextThread = nullptr;
    std::thread worker([&] {
        server.sendGet(ServerBase::rtBase, FakeBackend::pathFaults, fromWorker.onOk(), fromWorker.onErr());
        server.callNext([&] { nextThread = QThread::currentThread(); });
    });
    worker.join();
    ASSERT_EVENTUALLY(fromWorker.done() && nextThread, 5000);
    EXPECT_EQ(fromWorker.ok, 1);
    EXPECT_EQ(fromWorker.thread, QCoreApplication::instance()->thread());
    EXPECT_EQ(nextThread, QCoreApplication::instance()->thread());
}

TEST_F(ServerBaseTest, HandlersRunInTheOrderOfTheReplies)
{
    FakeBackend::Behaviour slow;
    slow.delayMs = 200;
    backend.setBehaviour(FakeBackend::pathFaults, slow);
    QStringList order;
    const auto note = [&](const char* name) { return [&order, name](const auto&) { order << name; }; };
    server.sendGet(ServerBase::rtBase, FakeBackend::pathFaults, note("slow"), note("slow failed"));
    server.sendPost(ServerBase::rtLog, "station/state", "{}", note("fast"), note("fast failed"));
    ASSERT_EVENTUALLY(order.size() == 2, 5000);
    EXPECT_EQ(order, (QStringList{"fast", "slow"}));
}

TEST_F(ServerBaseTest, ServerThatNeverAnswersHitsTheTimeout)
{
    server.setTransferTimeout(VXSystemTime::fromMSec(300));
    FakeBackend::Behaviour hang;
    hang.hang = true;
    backend.setBehaviour(FakeBackend::pathOperation, hang);
    Outcome outcome;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathOperation, "{}", outcome.onOk(), outcome.onErr());
    ASSERT_EVENTUALLY(outcome.done(), 5000);
    EXPECT_EQ(outcome.err, 1);
    EXPECT_EQ(outcome.reply.status, 0);
    EXPECT_EQ(outcome.reply.errorText, "No answer within 300 ms");
    // The connection came about: the back-end is there, only slow.
    EXPECT_FALSE(outcome.reply.unreachable);
    ASSERT_EVENTUALLY(logHas("[ServerBase] Error \"No answer within 300 ms\""), 2000);

    // The next request is not held up by the hung one.
    backend.clearBehaviours();
    Outcome next;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathOperation, "{}", next.onOk(), next.onErr());
    ASSERT_EVENTUALLY(next.done(), 5000);
    EXPECT_EQ(next.ok, 1);

    // Nor is a hang on a connection kept from before unreachable.
    backend.setBehaviour(FakeBackend::pathOperation, hang);
    Outcome again;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathOperation, "{}", again.onOk(), again.onErr());
    ASSERT_EVENTUALLY(again.done(), 5000);
    EXPECT_EQ(again.reply.errorText, "No answer within 300 ms");
    EXPECT_FALSE(again.reply.unreachable);
    const QList<FakeBackend::Request> seen = backend.requests();
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[2].connection, seen[1].connection);
}

TEST_F(ServerBaseTest, ConnectionAttemptWithoutAnswerIsUnreachable)
{
    TestSupport::UnansweredPort silent;
    ASSERT_NE(silent.port, 0);
    server.setTransferTimeout(VXSystemTime::fromMSec(300));
    server.setBaseURL(QStringLiteral("http://127.0.0.1:%1/").arg(silent.port));
    Outcome outcome;
    get(outcome, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(outcome.err, 1);
    EXPECT_EQ(outcome.reply.status, 0);
    EXPECT_EQ(outcome.reply.errorText, "No answer within 300 ms");
    EXPECT_TRUE(outcome.reply.unreachable);
}

// A reply that would grow without end, or trickle in for ever, fails instead
// of filling the memory or holding its request; the limits here are small
// ones: 1 MiB, and 4 x 300 ms.
struct LimitCase
{
    const char* name;
    int bodyBytes;        // the answer's body, with its length announced
    int streamBytes;      // or a body without end, in pieces of this size
    int streamIntervalMs; // one every so often
    const char* error;    // nullptr: the reply is taken
};
class ServerBaseReplyLimits : public ServerBaseTest, public ::testing::WithParamInterface<LimitCase>
{
};

TEST_P(ServerBaseReplyLimits, EndTheTransfer)
{
    const LimitCase& row = GetParam();
    constexpr int limit = 1024 * 1024;
    server.setMaxReplyBytes(limit);
    server.setTransferTimeout(VXSystemTime::fromMSec(300));
    FakeBackend::Behaviour behaviour;
    behaviour.status = 200;
    behaviour.body = QByteArray(row.bodyBytes, 'x');
    behaviour.streamBytes = row.streamBytes;
    behaviour.streamIntervalMs = row.streamIntervalMs;
    backend.setBehaviour(FakeBackend::pathUsers, behaviour);

    Outcome outcome;
    get(outcome, ServerBase::rtBase, FakeBackend::pathUsers);
    EXPECT_EQ(outcome.reply.status, 200);
    EXPECT_FALSE(outcome.reply.unreachable);
    if (!row.error) {
        EXPECT_EQ(outcome.ok, 1) << outcome.reply.errorText.toStdString();
        EXPECT_EQ(outcome.reply.body.size(), row.bodyBytes);
        return;
    }
    EXPECT_EQ(outcome.err, 1);
    EXPECT_EQ(outcome.reply.errorText, row.error);
    ASSERT_EVENTUALLY(logHas(QStringLiteral("[ServerBase] Error \"%1\"").arg(row.error)), 2000);
    // The station gave the connection up: the back-end sends no more.
    ASSERT_EVENTUALLY(backend.openConnections() == 0, 3000);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    ServerBaseReplyLimits,
    ::testing::Values(LimitCase{"AtTheLimit", 1024 * 1024, 0, 0, nullptr},
                      LimitCase{"AnnouncedOverTheLimit", 1024 * 1024 + 1, 0, 0,
                                "Reply too large (more than 1048576 bytes)"},
                      LimitCase{"EndlessBody", 0, 64 * 1024, 0, "Reply too large (more than 1048576 bytes)"},
                      LimitCase{"EndlessTrickle", 0, 1, 50, "Answer not complete within 1200 ms"}),
    [](const auto& info) { return std::string(info.param.name); });

// log_url is an address of its own, or base_url itself (the paths of the two
// roots never collide): either way a request keeps the root it was sent to.
class ServerBaseLogRoot : public ServerBaseTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ServerBaseLogRoot, FailuresAtTheLogRootStayLocal)
{
    if (GetParam())
        server.setLogURL(backend.baseUrl());
    collectLines();
    FakeBackend::Behaviour failing;
    failing.status = 500;
    backend.setBehaviour(FakeBackend::pathLog, failing);
    backend.setBehaviour(QStringLiteral("station/"), failing);
    backend.setBehaviour(FakeBackend::pathFaults, failing);
    Outcome log;
    Outcome api;
    get(log, ServerBase::rtLog, "station/state");
    get(api, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(log.err, 1);
    EXPECT_EQ(api.err, 1);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1].text, "[ServerBase] Error code 500");
    EXPECT_EQ(lines[1].category, StationCore::lcInfo);
    EXPECT_EQ(lines[3].text, "[ServerBase] Error code 500");
    EXPECT_EQ(lines[3].category, StationCore::lcError);

    // A transport failure: nothing listens any more.
    lines.clear();
    backend.stop();
    Outcome logDown;
    Outcome apiDown;
    get(logDown, ServerBase::rtLog, "station/state");
    get(apiDown, ServerBase::rtBase, FakeBackend::pathFaults);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].text.startsWith("[ServerBase] Error \"")) << lines[1].text.toStdString();
    EXPECT_EQ(lines[1].category, StationCore::lcInfo);
    EXPECT_TRUE(lines[3].text.startsWith("[ServerBase] Error \"")) << lines[3].text.toStdString();
    EXPECT_EQ(lines[3].category, StationCore::lcWarning);
    for (const Line& line : lines)
        EXPECT_FALSE(line.text.contains("sendGet: path") && line.category != StationCore::lcInfo);
}

INSTANTIATE_TEST_SUITE_P(Table, ServerBaseLogRoot, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "SameAddressAsTheApi" : "AddressOfItsOwn");
});

TEST_F(ServerBaseTest, NoLinesWithTheServerLogOff)
{
    collectLines();
    StationCore::instance()->server_log = false;
    FakeBackend::Behaviour failing;
    failing.status = 500;
    backend.setBehaviour(FakeBackend::pathFaults, failing);
    Outcome outcome;
    get(outcome, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(outcome.err, 1);
    EXPECT_TRUE(lines.isEmpty());
}

struct TokenCase
{
    const char* name;
    QString token;
};
class ServerBaseBadTokens : public ServerBaseTest, public ::testing::WithParamInterface<TokenCase>
{
};

TEST_P(ServerBaseBadTokens, AreRefusedAndNeverLogged)
{
    ASSERT_TRUE(server.setToken("good-token"));
    EXPECT_FALSE(server.setToken(GetParam().token));
    EXPECT_EQ(server.accessToken(), "good-token");
    ASSERT_EVENTUALLY(logHas("[ServerBase] Error: refused a token with a control character"), 2000);
    ASSERT_TRUE(TestSupport::logWritten());
    EXPECT_FALSE(logLines().join('\n').contains("evil")) << logLines().join('\n').toStdString();

    Outcome outcome;
    get(outcome, ServerBase::rtBase, FakeBackend::pathFaults);
    EXPECT_EQ(backend.requests().last().header("x-api-key"), "good-token");
}

INSTANTIATE_TEST_SUITE_P(Table,
                         ServerBaseBadTokens,
                         ::testing::Values(TokenCase{"CarriageReturn", "evil\rX-Other: 1"},
                                           TokenCase{"LineFeed", "evil\nX-Other: 1"},
                                           TokenCase{"Both", "evil\r\n"},
                                           TokenCase{"Tab", "evil\ttoken"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerBaseTest, LogInSecretsNeverReachTheLog)
{
    const QString password = "pa55-\"word\"";
    backend.setCredentials("station", password);
    backend.setAccessToken("tok-4711");
    server.setCredentials("station", password);
    const QByteArray body = ServerBase::VXJSONData(QJsonObject{{"login", "station"}, {"password", password}});
    EXPECT_EQ(body, R"({"login":"station","password":"pa55-\"word\""})");

    Outcome login;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathToken, body, login.onOk(), login.onErr());
    ASSERT_EVENTUALLY(login.done(), 5000);
    ASSERT_EQ(login.ok, 1);
    ASSERT_TRUE(
        server.setToken(QJsonDocument::fromJson(login.reply.body).object().value("access_token").toString()));
    EXPECT_EQ(backend.requests(FakeBackend::pathToken).first().body, body);

    Outcome sync;
    server.sendPost(ServerBase::rtBase, FakeBackend::pathOperation, R"({"refId":"r1"})", sync.onOk(),
                    sync.onErr());
    ASSERT_EVENTUALLY(sync.done(), 5000);
    EXPECT_EQ(backend.requests().last().header("x-api-key"), "tok-4711");

    ASSERT_EVENTUALLY(logHas(QStringLiteral("[ServerBase] sendPost: path: \"%1\", body: \"%2\"")
                                 .arg(FakeBackend::pathOperation, R"({"refId":"r1"})")),
                      2000);
    ASSERT_TRUE(logHas(QStringLiteral("[ServerBase] sendPost: path: \"token\", body: "
                                      "\"{\"login\":\"station\",\"password\":\"***\"}\"")))
        << logLines().join('\n').toStdString();
    ASSERT_TRUE(TestSupport::logWritten());
    const QString all = logLines().join('\n');
    EXPECT_FALSE(all.contains("pa55")) << all.toStdString();
    EXPECT_FALSE(all.contains("tok-4711")) << all.toStdString();
}

// A name lookup that hangs holds neither the other requests nor the
// shutdown: its request gives up at the time-out, as one that cannot reach the
// back-end, and the lookup is left to end on its own.
TEST(ServerBaseLookup, HangingLookupHoldsNothingUp)
{
    FakeBackend backend;
    ASSERT_TRUE(backend.start());
    StationCore::instance()->server_log = true;
    auto server = std::make_unique<ServerBase>();
    server->setTransferTimeout(VXSystemTime::fromMSec(300));
    server->setBaseURL(QStringLiteral("http://%1/").arg(hangingHost));
    server->setLogURL(backend.logUrl());
    HeldLookups held;

    // Gone with a lookup still hanging. Should that wait for the lookup, the
    // watchdog lets it go after a while, so the test ends either way.
    Outcome dropped;
    server->sendGet(ServerBase::rtBase, FakeBackend::pathFaults, dropped.onOk(), dropped.onErr());
    ASSERT_EVENTUALLY(held.waiting() == 1, 5000);
    std::mutex mutex;
    std::condition_variable done;
    bool gone = false;
    bool watchdogFired = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(10), [&] { return gone; })) {
            watchdogFired = true;
            held.release();
        }
    });
    server->shutdown();
    server.reset();
    {
        std::lock_guard<std::mutex> lock(mutex);
        gone = true;
        done.notify_all();
    }
    watchdog.join();
    EXPECT_FALSE(watchdogFired);
    EXPECT_FALSE(dropped.done());
}

TEST(ServerBaseTls, SelfSignedCertificateNeedsIgnoreSslErrors)
{
    QTemporaryDir dir;
    QString cert;
    QString key;
    QString error;
    ASSERT_TRUE(FakeBackend::makeSelfSignedCertificate(dir.path(), &cert, &key, &error))
        << error.toStdString();
    FakeBackend backend;
    ASSERT_TRUE(backend.startTls(cert, key));
    StationCore::instance()->server_log = true;
    ServerBase server;
    server.setBaseURL(backend.baseUrl());

    Outcome refused;
    server.sendGet(ServerBase::rtBase, FakeBackend::pathFaults, refused.onOk(), refused.onErr());
    ASSERT_EVENTUALLY(refused.done(), 5000);
    EXPECT_EQ(refused.err, 1);
    EXPECT_EQ(refused.reply.status, 0);
    EXPECT_FALSE(refused.reply.errorText.isEmpty());
    EXPECT_EQ(backend.requestCount(), 0);

    server.setIgnoreSSLErrors(true);
    Outcome accepted;
    server.sendGet(ServerBase::rtBase, FakeBackend::pathFaults, accepted.onOk(), accepted.onErr());
    ASSERT_EVENTUALLY(accepted.done(), 5000);
    EXPECT_EQ(accepted.ok, 1) << accepted.reply.errorText.toStdString();
    EXPECT_EQ(accepted.reply.status, 200);
    ASSERT_EQ(backend.requestCount(), 1);
    EXPECT_TRUE(backend.requests().first().tls);
}
