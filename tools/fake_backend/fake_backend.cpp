#include "fake_backend.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include "http_request_parser.h"

const QString FakeBackend::pathToken = QStringLiteral("token");
const QString FakeBackend::pathUsers = QStringLiteral("api/KalmireSync/GetAllUsers/");
const QString FakeBackend::pathDevices = QStringLiteral("api/KalmireSync/GetDevices/");
const QString FakeBackend::pathFaults = QStringLiteral("api/KalmireSync/GetAllDeviceFaults");
const QString FakeBackend::pathCells = QStringLiteral("api/KalmireSync/GetDevicePoint/");
const QString FakeBackend::pathOperation = QStringLiteral("api/KalmireSync/CreateOperation");
const QString FakeBackend::pathTask = QStringLiteral("api/KalmireSync/CreateTask");
const QString FakeBackend::pathCellsLock = QStringLiteral("api/KalmireSync/SetCellsLockStatus");
const QString FakeBackend::pathLog = QStringLiteral("log/");
const QString FakeBackend::pathState = QStringLiteral("log/station/state");
const QString FakeBackend::fromFormat = QStringLiteral("yyyy-MM-ddThh:mm:ss");

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

// A status without a body must carry none on the wire either.
bool statusHasBody(int status)
{
    return status >= 200 && status != 204 && status != 304;
}

qint64 monotonicNs()
{
    static QElapsedTimer clock;
    static const bool started = (clock.start(), true);
    (void)started;
    return clock.nsecsElapsed();
}

bool isJson(const QByteArray& body, bool wantArray)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return false;
    return wantArray ? doc.isArray() : doc.isObject();
}

bool isPointId(const QString& text, int pointId)
{
    bool ok = false;
    const int id = text.toInt(&ok);
    return ok && id == pointId && text == QString::number(id);
}

bool isFromTime(const QString& text)
{
    return QDateTime::fromString(text, FakeBackend::fromFormat).isValid();
}

QSslKey readKey(const QByteArray& pem)
{
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        QSslKey key(pem, algorithm);
        if (!key.isNull())
            return key;
    }
    return {};
}

class FakeBackendListener : public QTcpServer
{
public:
    explicit FakeBackendListener(std::function<void(qintptr)> onConnection, QObject* parent)
        : QTcpServer(parent)
        , onConnection(std::move(onConnection))
    {}

protected:
    void incomingConnection(qintptr descriptor) override { onConnection(descriptor); }

private:
    std::function<void(qintptr)> onConnection;
};
} // namespace

// One accepted connection: reads requests in order and answers each before
// reading the next, so a delayed or hanging answer holds back the requests
// behind it on the same connection, as a real single-threaded back-end would.
class FakeBackendConnection : public QObject
{
    Q_OBJECT

public:
    FakeBackendConnection(FakeBackend* owner, QTcpSocket* socket, int number, bool tls)
        : QObject(owner)
        , owner(owner)
        , socket(socket)
        , number(number)
        , tls(tls)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &FakeBackendConnection::readSome);
        connect(socket, &QTcpSocket::disconnected, this, &FakeBackendConnection::gone);
    }

    void shut()
    {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }

private:
    void readSome()
    {
        const QByteArray bytes = socket->readAll();
        // A hung request is never answered, so nothing after it is read.
        if (hung || closing)
            return;
        parser.feed(bytes);
        // Requests queued behind a delayed answer are bounded too.
        if (parser.pending() > maxQueued) {
            shut();
            gone();
            return;
        }
        processNext();
    }

    void processNext()
    {
        while (!busy && !hung && !closing) {
            const HttpRequestParser::Result result = parser.next();
            if (result == HttpRequestParser::Result::NeedMore)
                return;
            if (result == HttpRequestParser::Result::Error) {
                FakeBackend::Reply reply;
                reply.status = parser.errorStatus();
                reply.body = FakeBackend::errorBody(QString::fromLatin1(parser.errorText()));
                answer(reply, false);
                return;
            }
            const HttpRequest request = parser.take();
            const FakeBackend::Reply reply = owner->handle(request, number, tls);
            if (reply.hang) {
                hung = true;
                return;
            }
            busy = true;
            const bool keepAlive = request.keepAlive;
            if (reply.delayMs > 0)
                // Precise: a coarse timer may fire up to 5 % early, and tests
                // rely on the answer taking at least the delay.
                QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this,
                                   [this, reply, keepAlive] { answer(reply, keepAlive); });
            else
                answer(reply, keepAlive);
        }
    }

    void answer(const FakeBackend::Reply& reply, bool keepAlive)
    {
        // The client may have gone while the answer waited.
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (reply.close) {
            closing = true;
            socket->disconnectFromHost();
            return;
        }
        FakeBackend::Headers headers;
        headers.append(qMakePair(QByteArray("Date"), QByteArray(owner->dateHeader())));
        headers.append(qMakePair(QByteArray("Server"), QByteArray("fake_backend")));
        const bool withBody = statusHasBody(reply.status);
        if (withBody)
            headers.append(
                qMakePair(QByteArray("Content-Type"), QByteArray("application/json; charset=utf-8")));
        for (const auto& extra : reply.headers) {
            for (int i = headers.size() - 1; i >= 0; --i)
                if (headers[i].first.toLower() == extra.first.toLower())
                    headers.removeAt(i);
            headers.append(extra);
        }
        const bool stream = reply.streamBytes > 0;
        const QByteArray body = withBody && !stream ? reply.body : QByteArray();
        if (!stream)
            headers.append(
                qMakePair(QByteArray("Content-Length"), QByteArray(QByteArray::number(body.size()))));
        headers.append(
            qMakePair(QByteArray("Connection"), QByteArray(keepAlive && !stream ? "keep-alive" : "close")));

        QByteArray bytes =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& h : headers)
            bytes += h.first + ": " + h.second + "\r\n";
        bytes += "\r\n";
        bytes += body;
        socket->write(bytes);
        if (stream) {
            closing = true;
            streamBody(reply.streamBytes, reply.streamIntervalMs);
            return;
        }
        if (!keepAlive) {
            closing = true;
            socket->disconnectFromHost();
            return;
        }
        busy = false;
        // Requests that arrived meanwhile are already buffered.
        QTimer::singleShot(0, this, &FakeBackendConnection::processNext);
    }

    // Piece after piece until the client goes; never more than a few
    // pieces waiting in the socket's buffer.
    void streamBody(int pieceBytes, int intervalMs)
    {
        const QByteArray piece(pieceBytes, 'x');
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, piece] {
            if (socket->state() == QAbstractSocket::ConnectedState
                && socket->bytesToWrite() < std::max<qint64>(4 * piece.size(), 64 * 1024))
                socket->write(piece);
        });
        timer->start(intervalMs);
    }

    void gone()
    {
        {
            QMutexLocker lock(&owner->mutex);
            owner->connections.remove(this);
        }
        deleteLater();
    }

    static constexpr int maxQueued = 64 * 1024 * 1024;

    FakeBackend* owner;
    QTcpSocket* socket;
    int number;
    bool tls;
    HttpRequestParser parser;
    bool busy = false;
    bool hung = false;
    bool closing = false;
};

QByteArray FakeBackend::Request::header(const QByteArray& name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto& h : headers)
        if (h.first.toLower() == wanted)
            return h.second;
    return {};
}

bool FakeBackend::Request::hasHeader(const QByteArray& name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto& h : headers)
        if (h.first.toLower() == wanted)
            return true;
    return false;
}

QJsonDocument FakeBackend::Request::json() const
{
    return QJsonDocument::fromJson(body);
}

FakeBackend::FakeBackend(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<FakeBackend::Request>();
    monotonicNs();
}

FakeBackend::~FakeBackend()
{
    stop();
}

bool FakeBackend::start(quint16 port)
{
    stop();
    useTls = false;
    return listen(port);
}

bool FakeBackend::startTls(const QString& certFile, const QString& keyFile, quint16 port)
{
    stop();
    QFile cert(certFile);
    QFile key(keyFile);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        return false;
    certPem = cert.readAll();
    keyPem = key.readAll();
    if (QSslCertificate(certPem).isNull() || readKey(keyPem).isNull())
        return false;
    useTls = true;
    return listen(port);
}

bool FakeBackend::listen(quint16 port)
{
    server = new FakeBackendListener([this](qintptr descriptor) { accept(descriptor); }, this);
    if (!server->listen(QHostAddress::LocalHost, port)) {
        delete server;
        server = nullptr;
        return false;
    }
    startedNs = monotonicNs();
    listenPort = server->serverPort();
    return true;
}

void FakeBackend::stop()
{
    if (server) {
        server->close();
        delete server;
        server = nullptr;
    }
    QSet<FakeBackendConnection*> open;
    {
        QMutexLocker lock(&mutex);
        open.swap(connections);
        listenPort = 0;
    }
    for (FakeBackendConnection* connection : open) {
        connection->shut();
        delete connection;
    }
}

bool FakeBackend::isListening() const
{
    return listenPort != 0;
}

quint16 FakeBackend::port() const
{
    return listenPort;
}

QString FakeBackend::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(useTls ? "https" : "http").arg(port());
}

QString FakeBackend::logUrl() const
{
    return baseUrl() + pathLog;
}

void FakeBackend::accept(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (useTls) {
        auto* ssl = new QSslSocket;
        if (!ssl->setSocketDescriptor(descriptor)) {
            delete ssl;
            return;
        }
        ssl->setLocalCertificate(QSslCertificate(certPem));
        ssl->setPrivateKey(readKey(keyPem));
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        ssl->startServerEncryption();
        socket = ssl;
    } else {
        socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    int number = 0;
    {
        QMutexLocker lock(&mutex);
        number = ++accepted;
    }
    auto* connection = new FakeBackendConnection(this, socket, number, useTls);
    QMutexLocker lock(&mutex);
    connections.insert(connection);
}

FakeBackend::Reply FakeBackend::handle(const HttpRequest& http, int connection, bool tls)
{
    Request request;
    request.method = http.method;
    request.target = http.target;
    const int question = http.target.indexOf('?');
    const QByteArray rawPath = http.target.mid(1, question < 0 ? -1 : question - 1);
    request.path = QUrl::fromPercentEncoding(rawPath);
    if (question >= 0)
        request.query = QUrl::fromPercentEncoding(http.target.mid(question + 1));
    request.headers = http.headers;
    request.body = http.body;
    request.arrival = QDateTime::currentDateTime();
    request.arrivalMs = (monotonicNs() - startedNs) / 1000000;
    request.connection = connection;
    request.tls = tls;
    {
        QMutexLocker lock(&mutex);
        recorded.append(request);
    }
    emit requestReceived(request);

    Reply reply;
    const std::optional<Behaviour> behaviour = behaviourFor(request.path);
    if (behaviour) {
        if (behaviour->hang) {
            reply.hang = true;
            return reply;
        }
        reply.delayMs = behaviour->delayMs;
        reply.streamBytes = behaviour->streamBytes;
        reply.streamIntervalMs = behaviour->streamIntervalMs;
        if (behaviour->close) {
            reply.close = true;
            return reply;
        }
    }
    bool needToken = behaviour && behaviour->requireToken;
    {
        QMutexLocker lock(&mutex);
        needToken =
            needToken || (tokenRequired && !request.path.startsWith(pathLog) && request.path != pathToken);
    }
    if (needToken && !tokenValid(request)) {
        reply.status = 401;
        reply.body = errorBody(QStringLiteral("missing or invalid token"));
    } else if (behaviour && behaviour->status != 0) {
        reply.status = behaviour->status;
        reply.body = errorBody(QStringLiteral("failure on request"));
    } else {
        const Reply normal = route(request);
        reply.status = normal.status;
        reply.body = normal.body;
        reply.headers = normal.headers;
    }
    if (behaviour) {
        if (behaviour->body)
            reply.body = *behaviour->body;
        if (behaviour->malformed)
            reply.body = reply.body.left(reply.body.size() / 2) + "{]";
        reply.headers += behaviour->headers;
    }
    return reply;
}

FakeBackend::Reply FakeBackend::route(const Request& request)
{
    Reply reply;
    const QString& path = request.path;
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    auto fail = [&reply](int status, const QString& text) {
        reply.status = status;
        reply.body = errorBody(text);
        return reply;
    };
    auto wrongMethod = [&](const QByteArray& allowed) {
        fail(405, QStringLiteral("method not allowed"));
        reply.headers.append(qMakePair(QByteArray("Allow"), QByteArray(allowed)));
        return reply;
    };

    QMutexLocker lock(&mutex);
    if (path == pathToken) {
        if (!post)
            return wrongMethod("POST");
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(request.body, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return fail(400, QStringLiteral("body is not a JSON object"));
        const QJsonObject object = doc.object();
        const QJsonValue givenLogin = object.value(QStringLiteral("login"));
        const QJsonValue givenPassword = object.value(QStringLiteral("password"));
        if (!givenLogin.isString() || !givenPassword.isString() || givenLogin.toString() != login
            || givenPassword.toString() != password)
            return fail(401, QStringLiteral("wrong login or password"));
        ++logins;
        issuedToken = fixedToken.isEmpty() ? QStringLiteral("token-%1").arg(logins) : fixedToken;
        validTokens.insert(issuedToken);
        reply.body = QJsonDocument(QJsonObject{{QStringLiteral("access_token"), issuedToken}})
                         .toJson(QJsonDocument::Compact);
        return reply;
    }
    if (path.startsWith(pathUsers)) {
        if (!get)
            return wrongMethod("GET");
        const QString from = path.mid(pathUsers.size());
        if (from.contains('/'))
            return fail(404, QStringLiteral("no such path"));
        if (!isFromTime(from))
            return fail(400, QStringLiteral("bad time"));
        reply.body = users;
        return reply;
    }
    if (path.startsWith(pathDevices)) {
        if (!get)
            return wrongMethod("GET");
        const QStringList parts = path.mid(pathDevices.size()).split('/');
        if (parts.size() != 2 || !isPointId(parts[0], pointId))
            return fail(404, QStringLiteral("no such point"));
        if (!isFromTime(parts[1]))
            return fail(400, QStringLiteral("bad time"));
        reply.body = devices;
        return reply;
    }
    if (path == pathFaults) {
        if (!get)
            return wrongMethod("GET");
        reply.body = faults;
        return reply;
    }
    if (path.startsWith(pathCells)) {
        if (!get)
            return wrongMethod("GET");
        if (!isPointId(path.mid(pathCells.size()), pointId))
            return fail(404, QStringLiteral("no such point"));
        reply.body = cells;
        return reply;
    }
    if (path == pathOperation || path == pathTask || path == pathCellsLock) {
        if (!post)
            return wrongMethod("POST");
        if (!isJson(request.body, path == pathCellsLock))
            return fail(400, path == pathCellsLock ? QStringLiteral("body is not a JSON array")
                                                   : QStringLiteral("body is not a JSON object"));
        reply.body = "{}";
        return reply;
    }
    if (path.startsWith(pathLog) && path.size() > pathLog.size()) {
        if (!post)
            return wrongMethod("POST");
        if (!isJson(request.body, false))
            return fail(400, QStringLiteral("body is not a JSON object"));
        reply.body = "{}";
        return reply;
    }
    return fail(404, QStringLiteral("no such path"));
}

bool FakeBackend::tokenValid(const Request& request) const
{
    QMutexLocker lock(&mutex);
    return request.hasHeader("x-api-key")
           && validTokens.contains(QString::fromUtf8(request.header("x-api-key")));
}

std::optional<FakeBackend::Behaviour> FakeBackend::behaviourFor(const QString& path)
{
    QMutexLocker lock(&mutex);
    auto best = behaviours.end();
    for (auto it = behaviours.begin(); it != behaviours.end(); ++it)
        if (path.startsWith(it.key()) && (best == behaviours.end() || it.key().size() > best.key().size()))
            best = it;
    if (best == behaviours.end())
        return std::nullopt;
    const Behaviour found = best.value();
    if (best->times > 0 && --best->times == 0)
        behaviours.erase(best);
    return found;
}

QByteArray FakeBackend::dateHeader() const
{
    qint64 offset = 0;
    {
        QMutexLocker lock(&mutex);
        offset = clockOffset;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(offset);
    return QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

QByteArray FakeBackend::errorBody(const QString& text)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), text}}).toJson(QJsonDocument::Compact);
}

bool FakeBackend::makeSelfSignedCertificate(const QString& dir,
                                            QString* certFile,
                                            QString* keyFile,
                                            QString* error)
{
    const QString cert = QDir(dir).filePath(QStringLiteral("cert.pem"));
    const QString key = QDir(dir).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    // An EC key: made at once, where an RSA key takes a noticeable moment.
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                   "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1"});
    const bool finished = openssl.waitForFinished(30000);
    if (!finished || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAll())
                     + openssl.errorString();
        return false;
    }
    if (certFile)
        *certFile = cert;
    if (keyFile)
        *keyFile = key;
    return true;
}

void FakeBackend::setCredentials(const QString& newLogin, const QString& newPassword)
{
    QMutexLocker lock(&mutex);
    login = newLogin;
    password = newPassword;
}

void FakeBackend::setAccessToken(const QString& token)
{
    QMutexLocker lock(&mutex);
    fixedToken = token;
}

QString FakeBackend::lastToken() const
{
    QMutexLocker lock(&mutex);
    return issuedToken;
}

void FakeBackend::revokeTokens()
{
    QMutexLocker lock(&mutex);
    validTokens.clear();
}

void FakeBackend::setTokenRequired(bool required)
{
    QMutexLocker lock(&mutex);
    tokenRequired = required;
}

void FakeBackend::setPointId(int id)
{
    QMutexLocker lock(&mutex);
    pointId = id;
}

void FakeBackend::setClockOffset(qint64 seconds)
{
    QMutexLocker lock(&mutex);
    clockOffset = seconds;
}

void FakeBackend::setUsers(const QByteArray& json)
{
    QMutexLocker lock(&mutex);
    users = json;
}

void FakeBackend::setDevices(const QByteArray& json)
{
    QMutexLocker lock(&mutex);
    devices = json;
}

void FakeBackend::setFaults(const QByteArray& json)
{
    QMutexLocker lock(&mutex);
    faults = json;
}

void FakeBackend::setCells(const QByteArray& json)
{
    QMutexLocker lock(&mutex);
    cells = json;
}

bool FakeBackend::loadFixtures(const QString& dir, QString* error)
{
    const QList<QPair<QString, void (FakeBackend::*)(const QByteArray&)>> files = {
        {QStringLiteral("users.json"), &FakeBackend::setUsers},
        {QStringLiteral("devices.json"), &FakeBackend::setDevices},
        {QStringLiteral("faults.json"), &FakeBackend::setFaults},
        {QStringLiteral("cells.json"), &FakeBackend::setCells},
    };
    for (const auto& file : files) {
        QFile f(QDir(dir).filePath(file.first));
        if (!f.exists())
            continue;
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = f.fileName() + QStringLiteral(": ") + f.errorString();
            return false;
        }
        const QByteArray bytes = f.readAll();
        QJsonParseError parseError{};
        QJsonDocument::fromJson(bytes, &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            if (error)
                *error = f.fileName() + QStringLiteral(": ") + parseError.errorString();
            return false;
        }
        (this->*file.second)(bytes);
    }
    return true;
}

void FakeBackend::setBehaviour(const QString& pathPrefix, const Behaviour& behaviour)
{
    QMutexLocker lock(&mutex);
    behaviours.insert(pathPrefix, behaviour);
}

void FakeBackend::clearBehaviour(const QString& pathPrefix)
{
    QMutexLocker lock(&mutex);
    behaviours.remove(pathPrefix);
}

void FakeBackend::clearBehaviours()
{
    QMutexLocker lock(&mutex);
    behaviours.clear();
}

QList<FakeBackend::Request> FakeBackend::requests(const QString& pathPrefix) const
{
    QMutexLocker lock(&mutex);
    if (pathPrefix.isEmpty())
        return recorded;
    QList<Request> found;
    for (const Request& r : recorded)
        if (r.path.startsWith(pathPrefix))
            found.append(r);
    return found;
}

int FakeBackend::requestCount(const QString& pathPrefix) const
{
    QMutexLocker lock(&mutex);
    int count = 0;
    for (const Request& r : recorded)
        if (r.path.startsWith(pathPrefix))
            ++count;
    return count;
}

void FakeBackend::clearRequests()
{
    QMutexLocker lock(&mutex);
    recorded.clear();
}

int FakeBackend::connectionCount() const
{
    QMutexLocker lock(&mutex);
    return accepted;
}

int FakeBackend::openConnections() const
{
    QMutexLocker lock(&mutex);
    return connections.size();
}

#include "fake_backend.moc"

FakeBackendThread::FakeBackendThread()
{
    thread.setObjectName(QStringLiteral("fake_backend"));
    thread.start();
    backendObject = new FakeBackend;
    backendObject->moveToThread(&thread);
}

FakeBackendThread::~FakeBackendThread()
{
    QMetaObject::invokeMethod(
        backendObject, [this] { delete backendObject; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

bool FakeBackendThread::start(quint16 port)
{
    bool ok = false;
    QMetaObject::invokeMethod(
        backendObject, [this, port, &ok] { ok = backendObject->start(port); }, Qt::BlockingQueuedConnection);
    return ok;
}

bool FakeBackendThread::startTls(const QString& certFile, const QString& keyFile, quint16 port)
{
    bool ok = false;
    QMetaObject::invokeMethod(
        backendObject, [&] { ok = backendObject->startTls(certFile, keyFile, port); },
        Qt::BlockingQueuedConnection);
    return ok;
}
