// The fake back-end seen from a real HTTP client: what the server tests rely
// on must hold on the wire, not only inside the fake.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "fake_backend.h"
#include "fake_backend_data.h"
#include "support/test_support.h"

namespace {
struct Answer
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray date;
    qint64 elapsedMs = 0;
};

// A client as the station uses one: QNetworkAccessManager with the proxy
// switched off for loopback, JSON bodies, the token in "x-api-key".
class Client
{
public:
    Client() { nam.setProxy(QNetworkProxy(QNetworkProxy::NoProxy)); }

    Answer call(const QByteArray& method,
                const QString& url,
                const QByteArray& body = QByteArray(),
                const QByteArray& token = QByteArray(),
                int timeoutMs = 0,
                bool ignoreSsl = false)
    {
        QNetworkRequest request{QUrl(url)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        if (!token.isEmpty())
            request.setRawHeader("x-api-key", token);
        if (timeoutMs > 0)
            request.setTransferTimeout(timeoutMs);
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply =
            method == "GET" ? nam.get(request) : nam.sendCustomRequest(request, method, body);
        if (ignoreSsl)
            reply->ignoreSslErrors();
        Answer answer;
        answer.finished = QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000);
        answer.elapsedMs = clock.elapsed();
        answer.error = reply->error();
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // A reply ended by its time-out is closed; reading it would warn.
        if (reply->isOpen())
            answer.body = reply->readAll();
        answer.date = reply->rawHeader("Date");
        if (!answer.finished)
            reply->abort();
        delete reply;
        return answer;
    }

    QByteArray logIn(FakeBackend& backend)
    {
        const Answer answer =
            call("POST", backend.baseUrl() + "token", R"({"login":"station","password":"secret"})");
        return QJsonDocument::fromJson(answer.body).object().value("access_token").toString().toUtf8();
    }

private:
    QNetworkAccessManager nam;
};

// Writes raw bytes on a fresh connection and returns everything the server
// sent until it closed the connection or ms passed.
QByteArray exchangeRaw(FakeBackend& backend, const QList<QByteArray>& pieces, int ms = 3000)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, backend.port());
    if (!socket.waitForConnected(3000))
        return "not connected";
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    for (const QByteArray& piece : pieces) {
        socket.write(piece);
        socket.flush();
        // Let the server read each piece on its own.
        QTest::qWait(20);
    }
    const bool closed =
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    received += socket.readAll();
    if (!closed)
        received += "\n(connection left open)";
    return received;
}

const QByteArray usersFixture = R"([{"id":1,"name":"Anna Berg","personNumber":"123456"}])";
const QByteArray devicesFixture = R"([{"id":7,"serial":"SN-7"}])";
const QByteArray faultsFixture = R"([{"id":3,"name":"Screen broken"}])";
const QByteArray cellsFixture = R"({"devicePointCells":[{"id":101,"cellNumber":1,"deviceId":7}]})";

class FakeBackendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(backend.start());
        backend.setUsers(usersFixture);
        backend.setDevices(devicesFixture);
        backend.setFaults(faultsFixture);
        backend.setCells(cellsFixture);
    }

    FakeBackend backend;
    Client client;
};
} // namespace

struct LogInCase
{
    const char* name;
    QByteArray body;
    int status;
    bool token;
};
class FakeBackendLogIn : public FakeBackendTest, public ::testing::WithParamInterface<LogInCase>
{
};

TEST_P(FakeBackendLogIn, ChecksCredentials)
{
    const LogInCase& c = GetParam();
    const Answer answer = client.call("POST", backend.baseUrl() + "token", c.body);
    ASSERT_TRUE(answer.finished);
    EXPECT_EQ(answer.status, c.status);
    const QJsonValue token = QJsonDocument::fromJson(answer.body).object().value("access_token");
    EXPECT_EQ(token.isString(), c.token);
    if (c.token) {
        EXPECT_EQ(token.toString(), backend.lastToken());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    FakeBackendLogIn,
    ::testing::Values(LogInCase{"Right", R"({"login":"station","password":"secret"})", 200, true},
                      LogInCase{"WrongPassword", R"({"login":"station","password":"Secret"})", 401, false},
                      LogInCase{"PasswordNotText", R"({"login":"station","password":1})", 401, false},
                      LogInCase{"NoLogin", R"({"password":"secret"})", 401, false},
                      LogInCase{"NotJson", R"(login=station&password=secret)", 400, false},
                      LogInCase{"Empty", "", 400, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeBackendTest, EachLogInHandsOutANewTokenThatOpensTheApiRoot)
{
    backend.setTokenRequired(true);
    const QString users = backend.baseUrl() + FakeBackend::pathUsers + "1970-01-01T00:00:00";

    EXPECT_EQ(client.call("GET", users).status, 401);
    const QByteArray first = client.logIn(backend);
    EXPECT_EQ(first, "token-1");
    EXPECT_EQ(client.call("GET", users, {}, first).status, 200);
    EXPECT_EQ(client.call("GET", users, {}, "token-x").status, 401);
    // The log root needs no log-in: the state report goes out before it.
    EXPECT_EQ(client.call("POST", backend.logUrl() + "station/state", R"({"id":1})").status, 200);

    backend.revokeTokens();
    EXPECT_EQ(client.call("GET", users, {}, first).status, 401);
    const QByteArray second = client.logIn(backend);
    EXPECT_EQ(second, "token-2");
    EXPECT_EQ(client.call("GET", users, {}, second).status, 200);

    backend.setAccessToken("fixed\r\nvalue");
    EXPECT_EQ(client.logIn(backend), QByteArray("fixed\r\nvalue"));
}

struct PathCase
{
    const char* name;
    QByteArray method;
    QString path;
    QByteArray body;
    int status;
    QByteArray reply; // empty: not compared
};
class FakeBackendPaths : public FakeBackendTest, public ::testing::WithParamInterface<PathCase>
{
};

TEST_P(FakeBackendPaths, AnswerAsTheStationExpects)
{
    const PathCase& c = GetParam();
    const Answer answer = client.call(c.method, backend.baseUrl() + c.path, c.body);
    ASSERT_TRUE(answer.finished);
    EXPECT_EQ(answer.status, c.status);
    if (!c.reply.isEmpty()) {
        EXPECT_EQ(answer.body, c.reply);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    FakeBackendPaths,
    ::testing::Values(
        PathCase{"UsersSinceNever",
                 "GET",
                 "api/KalmireSync/GetAllUsers/1970-01-01T00:00:00",
                 {},
                 200,
                 usersFixture},
        // The back-end's filtering by time is its own business: the fixture
        // is served whole, the time is only recorded.
        PathCase{"UsersSinceLater",
                 "GET",
                 "api/KalmireSync/GetAllUsers/2026-12-10T09:59:55",
                 {},
                 200,
                 usersFixture},
        PathCase{"UsersTimeWithMilliseconds",
                 "GET",
                 "api/KalmireSync/GetAllUsers/2026-12-10T09:59:55.000",
                 {},
                 400,
                 {}},
        PathCase{"UsersTimeOtherForm", "GET", "api/KalmireSync/GetAllUsers/10.12.2026 09:59:55", {}, 400, {}},
        PathCase{"UsersNoTime", "GET", "api/KalmireSync/GetAllUsers/", {}, 400, {}},
        PathCase{
            "Devices", "GET", "api/KalmireSync/GetDevices/1/1970-01-01T00:00:00", {}, 200, devicesFixture},
        PathCase{"DevicesOtherPoint", "GET", "api/KalmireSync/GetDevices/2/1970-01-01T00:00:00", {}, 404, {}},
        PathCase{"DevicesNoPoint", "GET", "api/KalmireSync/GetDevices/1970-01-01T00:00:00", {}, 404, {}},
        PathCase{"Faults", "GET", "api/KalmireSync/GetAllDeviceFaults", {}, 200, faultsFixture},
        PathCase{"Cells", "GET", "api/KalmireSync/GetDevicePoint/1", {}, 200, cellsFixture},
        PathCase{"CellsLeadingZero", "GET", "api/KalmireSync/GetDevicePoint/01", {}, 404, {}},
        PathCase{"CellsPosted", "POST", "api/KalmireSync/GetDevicePoint/1", "{}", 405, {}},
        PathCase{"Operation", "POST", "api/KalmireSync/CreateOperation", R"({"operation":1})", 200, "{}"},
        PathCase{
            "OperationNotJson", "POST", "api/KalmireSync/CreateOperation", R"({"comment":"a"b"})", 400, {}},
        PathCase{"OperationFetched", "GET", "api/KalmireSync/CreateOperation", {}, 405, {}},
        PathCase{"Task", "POST", "api/KalmireSync/CreateTask", R"({"deviceId":7})", 200, "{}"},
        PathCase{"CellsLock", "POST", "api/KalmireSync/SetCellsLockStatus", R"([{"id":101,"isLocked":true}])",
                 200, "{}"},
        PathCase{"CellsLockNotArray", "POST", "api/KalmireSync/SetCellsLockStatus", R"({"id":101})", 400, {}},
        PathCase{"StateReport", "POST", "log/station/state", R"({"id":1,"cells_all":4})", 200, "{}"},
        PathCase{"LogRootItself", "POST", "log/", "{}", 404, {}},
        PathCase{"Unknown", "GET", "api/KalmireSync/GetAllThings", {}, 404, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeBackendTest, RecordsEveryRequestInOrder)
{
    const QByteArray token = client.logIn(backend);
    client.call("GET", backend.baseUrl() + "api/KalmireSync/GetAllUsers/1970-01-01T00:00:00?x=%201", {},
                token);
    const QByteArray body = R"({"operation":0,"comment":"Ä"})";
    client.call("POST", backend.baseUrl() + FakeBackend::pathOperation, body, token);

    const QList<FakeBackend::Request> all = backend.requests();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].method, "POST");
    EXPECT_EQ(all[0].path, "token");
    EXPECT_FALSE(all[0].hasHeader("x-api-key"));
    EXPECT_EQ(all[0].json().object().value("password").toString(), "secret");

    EXPECT_EQ(all[1].method, "GET");
    EXPECT_EQ(all[1].path, "api/KalmireSync/GetAllUsers/1970-01-01T00:00:00");
    EXPECT_EQ(all[1].query, "x= 1");
    EXPECT_EQ(all[1].target, "/api/KalmireSync/GetAllUsers/1970-01-01T00:00:00?x=%201");
    EXPECT_EQ(all[1].header("X-API-KEY"), token);
    EXPECT_TRUE(all[1].body.isEmpty());

    EXPECT_EQ(all[2].body, body);
    EXPECT_EQ(all[2].header("content-type"), "application/json");
    EXPECT_EQ(backend.requests(FakeBackend::pathOperation).size(), 1);
    EXPECT_EQ(backend.requestCount("api/"), 2);

    // One kept-alive connection carried all three, at rising times.
    EXPECT_EQ(all[0].connection, all[2].connection);
    EXPECT_EQ(backend.connectionCount(), 1);
    EXPECT_LE(all[0].arrivalMs, all[1].arrivalMs);
    EXPECT_LE(all[1].arrivalMs, all[2].arrivalMs);
    EXPECT_LE(all[0].arrival, all[2].arrival);
    EXPECT_FALSE(all[0].tls);

    backend.clearRequests();
    EXPECT_EQ(backend.requestCount(), 0);
}

TEST_F(FakeBackendTest, DateHeaderFollowsTheClockOffset)
{
    const QString faults = backend.baseUrl() + FakeBackend::pathFaults;
    backend.setClockOffset(300);
    const Answer answer = client.call("GET", faults);
    const QDateTime date = QDateTime::fromString(QString::fromLatin1(answer.date), Qt::RFC2822Date);
    ASSERT_TRUE(date.isValid()) << answer.date.constData();
    const qint64 off = QDateTime::currentDateTimeUtc().secsTo(date);
    EXPECT_GE(off, 298);
    EXPECT_LE(off, 301);
}

struct FailureCase
{
    const char* name;
    FakeBackend::Behaviour behaviour;
    QNetworkReply::NetworkError error;
    int status;
    bool json; // the body read as JSON
};
class FakeBackendFailures : public FakeBackendTest, public ::testing::WithParamInterface<FailureCase>
{
};

FakeBackend::Behaviour make(std::function<void(FakeBackend::Behaviour&)> set)
{
    FakeBackend::Behaviour b;
    set(b);
    return b;
}

TEST_P(FakeBackendFailures, ReachTheClientOnThatPathOnly)
{
    const FailureCase& c = GetParam();
    backend.setBehaviour(FakeBackend::pathUsers, c.behaviour);
    const QString users = backend.baseUrl() + FakeBackend::pathUsers + "1970-01-01T00:00:00";

    // A client-side time-out ends the wait for a server that never answers.
    const Answer failed = client.call("GET", users, {}, {}, 500);
    ASSERT_TRUE(failed.finished);
    EXPECT_EQ(failed.error, c.error);
    EXPECT_EQ(failed.status, c.status);
    EXPECT_EQ(!QJsonDocument::fromJson(failed.body).isNull(), c.json) << failed.body.constData();
    EXPECT_GE(backend.requestCount(FakeBackend::pathUsers), 1);

    // Other paths answer as usual, on a fresh connection when the old one broke.
    const Answer faults = client.call("GET", backend.baseUrl() + FakeBackend::pathFaults);
    EXPECT_EQ(faults.status, 200);
    EXPECT_EQ(faults.body, faultsFixture);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathFaults), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    FakeBackendFailures,
    ::testing::Values(FailureCase{"Status", make([](auto& b) { b.status = 503; }),
                                  QNetworkReply::ServiceUnavailableError, 503, true},
                      FailureCase{"Status204", make([](auto& b) { b.status = 204; }), QNetworkReply::NoError,
                                  204, false},
                      FailureCase{"Hang", make([](auto& b) { b.hang = true; }),
                                  QNetworkReply::OperationCanceledError, 0, false},
                      FailureCase{"DelayPastTheTimeout", make([](auto& b) { b.delayMs = 2000; }),
                                  QNetworkReply::OperationCanceledError, 0, false},
                      FailureCase{"Close", make([](auto& b) { b.close = true; }),
                                  QNetworkReply::RemoteHostClosedError, 0, false},
                      FailureCase{"Malformed", make([](auto& b) { b.malformed = true; }),
                                  QNetworkReply::NoError, 200, false},
                      FailureCase{"Body", make([](auto& b) { b.body = QByteArray("[1,2]"); }),
                                  QNetworkReply::NoError, 200, true},
                      FailureCase{"RequireToken", make([](auto& b) { b.requireToken = true; }),
                                  QNetworkReply::AuthenticationRequiredError, 401, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeBackendTest, DelayHoldsTheAnswerBack)
{
    FakeBackend::Behaviour slow;
    slow.delayMs = 300;
    backend.setBehaviour(FakeBackend::pathFaults, slow);
    const Answer answer = client.call("GET", backend.baseUrl() + FakeBackend::pathFaults);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, faultsFixture);
    EXPECT_GE(answer.elapsedMs, 300);
}

TEST_F(FakeBackendTest, BehaviourLastsItsTimesAndLongestPrefixWins)
{
    FakeBackend::Behaviour everywhere;
    everywhere.status = 500;
    backend.setBehaviour("api/", everywhere);
    FakeBackend::Behaviour twice;
    twice.status = 401;
    twice.headers.append(qMakePair(QByteArray("Date"), QByteArray("Mon, 07 Dec 2026 10:00:00 GMT")));
    twice.times = 2;
    backend.setBehaviour(FakeBackend::pathOperation, twice);
    const QString operation = backend.baseUrl() + FakeBackend::pathOperation;

    const Answer first = client.call("POST", operation, "{}");
    EXPECT_EQ(first.status, 401);
    EXPECT_EQ(first.date, "Mon, 07 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(client.call("POST", operation, "{}").status, 401);
    EXPECT_EQ(client.call("POST", operation, "{}").status, 500);
    EXPECT_EQ(client.call("GET", backend.baseUrl() + FakeBackend::pathFaults).status, 500);
    EXPECT_EQ(
        client.call("POST", backend.baseUrl() + "token", R"({"login":"station","password":"secret"})").status,
        200);

    backend.clearBehaviours();
    EXPECT_EQ(client.call("POST", operation, "{}").status, 200);
}

TEST_F(FakeBackendTest, HungRequestHoldsItsConnectionUntilTheClientGives)
{
    FakeBackend::Behaviour hang;
    hang.hang = true;
    backend.setBehaviour(FakeBackend::pathOperation, hang);
    const Answer answer = client.call("POST", backend.baseUrl() + FakeBackend::pathOperation, "{}", {}, 300);
    EXPECT_EQ(answer.error, QNetworkReply::OperationCanceledError);
    // The client's time-out timer is coarse: it may end the wait 5 % early.
    EXPECT_GE(answer.elapsedMs, 280);
    ASSERT_EQ(backend.requestCount(FakeBackend::pathOperation), 1);
    // The client's abort closes the connection; the server lets it go.
    ASSERT_EVENTUALLY(backend.openConnections() == 0, 3000);
}

TEST(FakeBackendTls, ServesHttpsWithAGeneratedCertificate)
{
    QTemporaryDir dir;
    QString cert;
    QString key;
    QString error;
    ASSERT_TRUE(FakeBackend::makeSelfSignedCertificate(dir.path(), &cert, &key, &error))
        << error.toStdString();
    FakeBackend backend;
    ASSERT_TRUE(backend.startTls(cert, key));
    ASSERT_TRUE(backend.baseUrl().startsWith("https://127.0.0.1:"));
    Client client;
    const QString token = backend.baseUrl() + "token";
    const QByteArray credentials = R"({"login":"station","password":"secret"})";

    const Answer refused = client.call("POST", token, credentials);
    EXPECT_EQ(refused.error, QNetworkReply::SslHandshakeFailedError);

    const Answer answer = client.call("POST", token, credentials, {}, 0, true);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(QJsonDocument::fromJson(answer.body).object().value("access_token").toString(), "token-1");
    const QList<FakeBackend::Request> seen = backend.requests(FakeBackend::pathToken);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].tls);
    EXPECT_EQ(seen[0].body, credentials);
}

struct RawCase
{
    const char* name;
    QList<QByteArray> pieces;
    QByteArray statusLines; // every status line the server sent, one after another
};
class FakeBackendWire : public FakeBackendTest, public ::testing::WithParamInterface<RawCase>
{
};

// The parser is strict: a fault in how a client frames its requests shows as a
// refusal, not as a request the fake quietly made sense of.
TEST_P(FakeBackendWire, ParsesStrictly)
{
    const RawCase& c = GetParam();
    const QByteArray received = exchangeRaw(backend, c.pieces);
    // A status line may follow the previous body on the same line.
    QByteArray statusLines;
    for (int at = received.indexOf("HTTP/1.1 "); at >= 0; at = received.indexOf("HTTP/1.1 ", at + 1))
        statusLines += received.mid(at, received.indexOf("\r\n", at) - at) + '|';
    EXPECT_EQ(statusLines, c.statusLines) << received.constData();
}

const QByteArray faultsGet = "GET /api/KalmireSync/GetAllDeviceFaults HTTP/1.1\r\nHost: x\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table,
    FakeBackendWire,
    ::testing::Values(
        RawCase{"Close", {faultsGet + "Connection: close\r\n\r\n"}, "HTTP/1.1 200 OK|"},
        RawCase{"Pipelined",
                {faultsGet + "\r\n" + faultsGet + "\r\n"
                 + "GET /nothing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"},
                "HTTP/1.1 200 OK|HTTP/1.1 200 OK|HTTP/1.1 404 Not Found|"},
        RawCase{"BodyInPieces",
                {"POST /api/KalmireSync/CreateTask HTTP/1.1\r\nHost: x\r\nContent-Le",
                 "ngth: 14\r\nConnection: close\r", "\n\r\n{\"deviceId\"", ":7}"},
                "HTTP/1.1 200 OK|"},
        RawCase{"Http10ClosesByDefault",
                {"GET /api/KalmireSync/GetAllDeviceFaults HTTP/1.0\r\n\r\n"},
                "HTTP/1.1 200 OK|"},
        RawCase{"NoHost",
                {"GET /api/KalmireSync/GetAllDeviceFaults HTTP/1.1\r\n\r\n"},
                "HTTP/1.1 400 Bad Request|"},
        RawCase{"BareLineFeed",
                {"GET /api/KalmireSync/GetAllDeviceFaults HTTP/1.1\nHost: x\r\n\r\n"},
                "HTTP/1.1 400 Bad Request|"},
        RawCase{"FoldedHeader", {faultsGet + "X-A: 1\r\n 2\r\n\r\n"}, "HTTP/1.1 400 Bad Request|"},
        RawCase{"SpaceBeforeColon", {faultsGet + "X-A : 1\r\n\r\n"}, "HTTP/1.1 400 Bad Request|"},
        RawCase{
            "TwoLengths",
            {"POST /api/KalmireSync/CreateTask HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nContent-Length: "
             "3\r\n\r\n{}"},
            "HTTP/1.1 400 Bad Request|"},
        RawCase{"NegativeLength",
                {"POST /log/x HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n"},
                "HTTP/1.1 400 Bad Request|"},
        RawCase{"Chunked",
                {"POST /log/x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n"},
                "HTTP/1.1 501 Not Implemented|"},
        RawCase{"BodyTooLarge",
                {"POST /log/x HTTP/1.1\r\nHost: x\r\nContent-Length: 999999999999\r\n\r\n"},
                "HTTP/1.1 413 Payload Too Large|"},
        RawCase{"HeadTooLarge",
                {faultsGet + "X-A: " + QByteArray(70 * 1024, 'a') + "\r\n\r\n"},
                "HTTP/1.1 431 Request Header Fields Too Large|"},
        RawCase{"LineTooLong", {"GET /" + QByteArray(9 * 1024, 'a')}, "HTTP/1.1 414 URI Too Long|"},
        RawCase{"OtherVersion",
                {"GET / HTTP/2.0\r\nHost: x\r\n\r\n"},
                "HTTP/1.1 505 HTTP Version Not Supported|"},
        RawCase{
            "AbsoluteTarget", {"GET http://x/api HTTP/1.1\r\nHost: x\r\n\r\n"}, "HTTP/1.1 400 Bad Request|"},
        RawCase{"ErrorEndsThePipeline",
                {"GET / HTTP/1.1\r\n\r\n" + faultsGet + "\r\n"},
                "HTTP/1.1 400 Bad Request|"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FakeBackendProgram, ServesTheDemoDataAndPrintsRequestsWithoutThePassword)
{
    QProcess program;
    program.start(FAKE_BACKEND_PROGRAM, {"--port", "0", "--data", FAKE_BACKEND_DEMO_DIR});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_EVENTUALLY(program.canReadLine(), 5000);
    const QString first = QString::fromUtf8(program.readLine());
    const int at = first.indexOf("base_url = ");
    ASSERT_GE(at, 0) << first.toStdString();
    const QString base = first.mid(at + 11).section(' ', 0, 0);

    Client client;
    const Answer token = client.call("POST", base + "token", R"({"login":"station","password":"secret"})");
    EXPECT_EQ(token.status, 200);
    const Answer users = client.call("GET", base + "api/KalmireSync/GetAllUsers/1970-01-01T00:00:00");
    EXPECT_EQ(users.status, 200);
    QStringList cards;
    for (const QJsonValue& user : QJsonDocument::fromJson(users.body).array())
        cards << user.toObject().value("personNumber").toString();
    EXPECT_TRUE(cards.contains("123456")) << cards.join(',').toStdString();
    const Answer cells = client.call("GET", base + "api/KalmireSync/GetDevicePoint/1");
    QList<int> numbers;
    for (const QJsonValue& cell :
         QJsonDocument::fromJson(cells.body).object().value("devicePointCells").toArray())
        numbers << cell.toObject().value("cellNumber").toInt();
    EXPECT_EQ(numbers, QList<int>({1, 2, 3, 4}));

    QByteArray printed;
    ASSERT_EVENTUALLY((printed += program.readAll()).count('\n') >= 3, 5000);
    const QList<QByteArray> lines = printed.split('\n');
    EXPECT_TRUE(lines[0].contains("POST /token {\"login\":\"station\",\"password\":\"***\"}"))
        << lines[0].constData();
    EXPECT_FALSE(printed.contains("secret"));
    EXPECT_TRUE(lines[1].contains("GET /api/KalmireSync/GetAllUsers/1970-01-01T00:00:00"))
        << lines[1].constData();
    program.kill();
    program.waitForFinished(5000);
}

TEST(FakeBackendThread, AnswersWhileTheClientThreadBlocks)
{
    FakeBackendThread server;
    ASSERT_TRUE(server.start());
    server.backend().setFaults(faultsFixture);
    QThread* servingThread = nullptr;
    QObject::connect(
        &server.backend(), &FakeBackend::requestReceived, &server.backend(),
        [&servingThread](const FakeBackend::Request&) { servingThread = QThread::currentThread(); },
        Qt::DirectConnection);

    // A blocking exchange: this thread runs no event loop until the answer is in.
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, server.backend().port());
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(faultsGet + "Connection: close\r\n\r\n");
    QByteArray received;
    while (socket.waitForReadyRead(3000))
        received += socket.readAll();
    EXPECT_TRUE(received.startsWith("HTTP/1.1 200 OK\r\n")) << received.constData();
    EXPECT_TRUE(received.endsWith(faultsFixture)) << received.constData();
    EXPECT_EQ(server.backend().requestCount(FakeBackend::pathFaults), 1);
    EXPECT_NE(servingThread, nullptr);
    EXPECT_NE(servingThread, QThread::currentThread());
}

TEST_F(FakeBackendTest, ServesGeneratedDataInTheWireForm)
{
    backend.setUsers(FakeBackendData::users(10000));
    backend.setDevices(FakeBackendData::devices(3000, 501));
    backend.setCells(FakeBackendData::cells(200, 501));
    const QString from = "1970-01-01T00:00:00";

    const QJsonArray users =
        QJsonDocument::fromJson(client.call("GET", backend.baseUrl() + FakeBackend::pathUsers + from).body)
            .array();
    ASSERT_EQ(users.size(), 10000);
    const QJsonObject last = users.last().toObject();
    EXPECT_EQ(last.value("id").toInt(), 10000);
    EXPECT_EQ(last.value("personNumber").toString(), "110000");
    EXPECT_TRUE(last.value("isAdmin").isBool());
    EXPECT_TRUE(QDateTime::fromString(last.value("updateDate").toString(), "dd.MM.yyyy hh:mm:ss").isValid());

    const QJsonArray devices =
        QJsonDocument::fromJson(
            client.call("GET", backend.baseUrl() + FakeBackend::pathDevices + "1/" + from).body)
            .array();
    ASSERT_EQ(devices.size(), 3000);
    EXPECT_EQ(devices.first().toObject().value("id").toInt(), 501);
    EXPECT_EQ(devices.first().toObject().value("serial").toString(), "SN-000501");
    EXPECT_TRUE(devices.first().toObject().value("userId").isNull());

    const QJsonArray cells =
        QJsonDocument::fromJson(client.call("GET", backend.baseUrl() + FakeBackend::pathCells + "1").body)
            .object()
            .value("devicePointCells")
            .toArray();
    ASSERT_EQ(cells.size(), 200);
    EXPECT_EQ(cells.last().toObject().value("cellNumber").toInt(), 200);
    EXPECT_EQ(cells.last().toObject().value("deviceId").toInt(), 700);
}

// "The server is down" in station tests: stop, then start again on the same
// port; what was recorded and configured stays.
TEST_F(FakeBackendTest, RestartsOnTheSamePortKeepingItsRecord)
{
    const QString faults = backend.baseUrl() + FakeBackend::pathFaults;
    const quint16 port = backend.port();
    ASSERT_EQ(client.call("GET", faults).status, 200);
    ASSERT_EQ(backend.openConnections(), 1);

    backend.stop();
    EXPECT_FALSE(backend.isListening());
    EXPECT_EQ(backend.openConnections(), 0);
    const Answer down = client.call("GET", faults);
    EXPECT_EQ(down.error, QNetworkReply::ConnectionRefusedError);

    ASSERT_TRUE(backend.start(port));
    EXPECT_EQ(backend.baseUrl() + FakeBackend::pathFaults, faults);
    const Answer up = client.call("GET", faults);
    EXPECT_EQ(up.status, 200);
    EXPECT_EQ(up.body, faultsFixture);
    EXPECT_EQ(backend.requestCount(FakeBackend::pathFaults), 2);
}
