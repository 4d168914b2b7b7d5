#pragma once

#include <atomic>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QThread>

class QTcpServer;
class FakeBackendConnection;
struct HttpRequest;

// A back-end of our own for tests and the demo: an HTTP/1.1 server on
// 127.0.0.1 (optionally HTTPS with a given certificate) that answers the
// station's log-in, its four downloads from fixtures, its three uploads and
// anything posted under the log root; it records every request and can be told,
// per path, to fail, wait, hang, drop the connection, send a broken body or
// one without end.
//
// The server works in the thread that created it (its sockets need that
// thread's event loop: a test spins QTest::qWaitFor), and start() and stop()
// belong to that thread; everything else may be called from any thread.
// FakeBackendThread runs one on a thread of its own.
//
// Paths are written as the station writes them: relative to the root, without
// the leading "/" and without the query ("token", "api/KalmireSync/...").
// The log root is the API root with "log/" appended.
class FakeBackend : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        QByteArray method;
        QByteArray target; // as on the request line: "/api/...?query"
        QString path;      // decoded, without the leading "/" and the query
        QString query;     // decoded, without "?"
        Headers headers;   // in arrival order, names as sent
        QByteArray body;
        QDateTime arrival;    // local time
        qint64 arrivalMs = 0; // monotonic, since start()
        int connection = 0;   // the connection's number, from 1 in accept order
        bool tls = false;

        // The first header of that name, case-insensitive; empty when absent.
        QByteArray header(const QByteArray& name) const;
        bool hasHeader(const QByteArray& name) const;
        // The body as JSON (a null document when it is not JSON).
        QJsonDocument json() const;
    };

    // What to do, instead of or on top of the normal answer, with requests
    // whose path begins with a prefix. The longest matching prefix wins.
    // Every request is recorded before its behaviour is applied. On close:
    // QNetworkAccessManager sends the request once more on a new connection
    // before it reports the error, so a close with times = 1 is not seen by
    // the client at all.
    struct Behaviour
    {
        int status = 0;                 // non-zero: answer with this status (body "{"error":...}")
        int delayMs = 0;                // wait this long before answering (or closing)
        bool hang = false;              // never answer; the connection stays open until the client closes it
        bool close = false;             // close the connection without a reply
        bool malformed = false;         // status 200 but a body that is not JSON (the answer cut in half)
        bool requireToken = false;      // 401 unless "x-api-key" holds a token handed out and not revoked
        std::optional<QByteArray> body; // replaces the body of the answer
        // Non-zero: after the status line and headers (no length, the
        // connection closes at the end), a body of this many bytes a piece,
        // one piece every streamIntervalMs, without end.
        int streamBytes = 0;
        int streamIntervalMs = 0;
        Headers headers;                // added to the reply, replacing same-named ones
        int times = -1;                 // number of requests it applies to; -1 for every one
    };

    // The station's paths (prefixes for setBehaviour and requests()).
    static const QString pathToken;     // "token"
    static const QString pathUsers;     // "api/KalmireSync/GetAllUsers/"  + from
    static const QString pathDevices;   // "api/KalmireSync/GetDevices/"   + point id + "/" + from
    static const QString pathFaults;    // "api/KalmireSync/GetAllDeviceFaults"
    static const QString pathCells;     // "api/KalmireSync/GetDevicePoint/" + point id
    static const QString pathOperation; // "api/KalmireSync/CreateOperation"
    static const QString pathTask;      // "api/KalmireSync/CreateTask"
    static const QString pathCellsLock; // "api/KalmireSync/SetCellsLockStatus"
    static const QString pathLog;       // "log/" (the log root)
    static const QString pathState;     // "log/station/state"
    // The form of the "from" times in download paths.
    static const QString fromFormat; // "yyyy-MM-ddThh:mm:ss"

    explicit FakeBackend(QObject* parent = nullptr);
    ~FakeBackend() override;

    // Listens on 127.0.0.1 (port 0: any free port). False when it cannot.
    bool start(quint16 port = 0);
    // As start(), but speaks TLS with this certificate and key (PEM files).
    bool startTls(const QString& certFile, const QString& keyFile, quint16 port = 0);
    // Writes a fresh self-signed certificate for 127.0.0.1 and its key into dir
    // (cert.pem, key.pem), with the openssl tool.
    static bool makeSelfSignedCertificate(const QString& dir,
                                          QString* certFile,
                                          QString* keyFile,
                                          QString* error = nullptr);
    // Stops listening and closes every connection.
    void stop();
    bool isListening() const;
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:N/" or "https://..."
    QString logUrl() const;  // baseUrl() + "log/"

    // Log-in: the JSON object {"login", "password"} must match (default
    // "station" / "secret"); the answer is {"access_token": token}.
    void setCredentials(const QString& login, const QString& password);
    // The token handed out by the next log-ins; empty (default): "token-N" with
    // N counting the log-ins.
    void setAccessToken(const QString& token);
    // The token of the last log-in (empty before the first).
    QString lastToken() const;
    // Tokens handed out so far no longer count (an expired session).
    void revokeTokens();
    // Every request to the API root except the log-in needs a valid token.
    void setTokenRequired(bool required);
    // The station id the device and cell paths must name (default 1); another
    // id is answered with 404.
    void setPointId(int id);
    // Seconds added to the reply header "Date" (a back-end with a wrong clock).
    void setClockOffset(qint64 seconds);

    // Fixtures: the exact bodies of the four downloads (users, devices and
    // faults a JSON array, cells an object with "devicePointCells"). Served
    // whole, whatever "from" time the path names.
    void setUsers(const QByteArray& json);
    void setDevices(const QByteArray& json);
    void setFaults(const QByteArray& json);
    void setCells(const QByteArray& json);
    // Reads users.json, devices.json, faults.json and cells.json from dir; a
    // missing file keeps that fixture. False (with the reason) when a file
    // cannot be read or is not JSON.
    bool loadFixtures(const QString& dir, QString* error = nullptr);

    void setBehaviour(const QString& pathPrefix, const Behaviour& behaviour);
    void clearBehaviour(const QString& pathPrefix);
    void clearBehaviours();

    // The requests received so far, oldest first; those whose path begins with
    // the prefix.
    QList<Request> requests(const QString& pathPrefix = QString()) const;
    int requestCount(const QString& pathPrefix = QString()) const;
    void clearRequests();
    // Connections accepted so far.
    int connectionCount() const;
    // Connections currently open.
    int openConnections() const;

signals:
    // Emitted in the server's thread for every request, before it is answered.
    void requestReceived(const FakeBackend::Request& request);

private:
    friend class FakeBackendConnection;
    struct Reply
    {
        int status = 200;
        QByteArray body;
        Headers headers;
        int delayMs = 0;
        bool hang = false;
        bool close = false;
        int streamBytes = 0;
        int streamIntervalMs = 0;
    };

    bool listen(quint16 port);
    void accept(qintptr descriptor);
    Reply handle(const HttpRequest& http, int connection, bool tls);
    Reply route(const Request& request);
    bool tokenValid(const Request& request) const;
    std::optional<Behaviour> behaviourFor(const QString& path);
    QByteArray dateHeader() const;
    static QByteArray errorBody(const QString& text);

    QTcpServer* server = nullptr;
    std::atomic<bool> useTls{false};
    std::atomic<quint16> listenPort{0};
    QString certPath;
    QString keyPath;
    QByteArray certPem;
    QByteArray keyPem;
    qint64 startedNs = 0;
    QSet<FakeBackendConnection*> connections;

    mutable QMutex mutex;
    QString login = QStringLiteral("station");
    QString password = QStringLiteral("secret");
    QString fixedToken;
    QString issuedToken;
    QSet<QString> validTokens;
    int logins = 0;
    bool tokenRequired = false;
    int pointId = 1;
    qint64 clockOffset = 0;
    QByteArray users = "[]";
    QByteArray devices = "[]";
    QByteArray faults = "[]";
    QByteArray cells = "{\"devicePointCells\":[]}";
    QMap<QString, Behaviour> behaviours;
    QList<Request> recorded;
    int accepted = 0;
};

Q_DECLARE_METATYPE(FakeBackend::Request)

// A FakeBackend working on a thread of its own, for measurements in which the
// server's work must not count as the client thread's, and for clients that
// block their thread while they wait. Settings and recorded requests go
// through backend() from any thread.
class FakeBackendThread
{
public:
    FakeBackendThread();
    ~FakeBackendThread();
    FakeBackendThread(const FakeBackendThread&) = delete;
    FakeBackendThread& operator=(const FakeBackendThread&) = delete;

    bool start(quint16 port = 0);
    bool startTls(const QString& certFile, const QString& keyFile, quint16 port = 0);
    FakeBackend& backend() { return *backendObject; }

private:
    QThread thread;
    FakeBackend* backendObject = nullptr;
};
