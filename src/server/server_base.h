#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include "jalt/vx_time.h"
#include "jalt/vx_types.h"
#include "server/http_transport.h"

class QJsonDocument;
class QJsonObject;

// The station's HTTP client for the back-end: GET and POST with JSON bodies to
// one of two roots (the API root and the root for state reports and log
// records), the access token on every request once one is held, 200/201/202
// as success, every reply handed to a handler on the main thread in the order
// the replies came in. Requests are started on this object's thread (the main
// thread; a request sent from another thread is moved there first) and run on
// the transport's own thread, which keeps the connections alive.
class ServerBase : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    // A finished request as the handlers see it. status is 0 when no HTTP
    // answer arrived (refused connection, TLS failure, time-out); errorText
    // then says why.
    struct Reply
    {
        int status = 0;
        Headers headers;
        QByteArray body;
        QString errorText;
        // No connection to the back-end came about (status 0): every other
        // request to it would fail the same way now.
        bool unreachable = false;

        // The first header of that name, case-insensitive; empty when absent.
        QByteArray header(const QByteArray& name) const;
    };
    using ReplyHandler = std::function<void(const Reply&)>;

    // The root a request goes to: base_url (the API) or log_url (state
    // reports and log records). The two may be the same address.
    enum Root
    {
        rtBase = 0,
        rtLog = 1,
    };

    // A request that gets no answer within this time fails (onErr).
    static constexpr VXSystemTime defaultTransferTimeout = VXSystemTime::fromSec(30);
    // A request still going after this many transfer time-outs fails too,
    // however steadily its reply trickles in.
    static constexpr int totalTimeoutFactor = 4;

    explicit ServerBase(QObject* parent = nullptr);
    ~ServerBase() override;

    void setCredentials(const VXString& login, const VXString& password);
    // Trims the URL; a non-empty result gets a final "/".
    void setBaseURL(const VXString& url);
    void setLogURL(const VXString& url);
    void setIgnoreSSLErrors(bool ignore);
    void setTransferTimeout(VXSystemTime timeout);
    // A reply whose body is larger fails (onErr); the default holds the
    // largest download with room to spare.
    void setMaxReplyBytes(qint64 bytes);

    const QString& baseUrl() const { return baseURL; }
    const QString& logUrl() const { return logURL; }
    bool isLogActive() const { return !logURL.isEmpty(); }
    bool isAuthorized() const { return !token.isEmpty(); }

    // The token sent in "x-api-key"; empty clears it. A token with a control
    // character (CR or LF above all: it would end the header line) is refused:
    // the held token stays as it was and the result is false.
    bool setToken(const VXString& value);
    // Whether a token from a log-in reply can be used: not empty, no control
    // character.
    static bool isUsableToken(const VXString& value);
    const VXString& accessToken() const { return token; }

    // The headers of every request: "Content-Type", and "x-api-key" once a
    // token is held.
    Headers makeMessage() const;

    // To the root's address + path; a root that is not configured drops the
    // request (no handler runs).
    void sendGet(Root root, const QString& path, ReplyHandler onOk, ReplyHandler onErr);
    void
    sendPost(Root root, const QString& path, const QByteArray& body, ReplyHandler onOk, ReplyHandler onErr);

    // Compact UTF-8 JSON text: every request body is made this way.
    static QByteArray VXJSONData(const QJsonDocument& json);
    static QByteArray VXJSONData(const QJsonObject& json);

    // Runs fn on this object's thread at its next event-loop turn; callable
    // from any thread.
    void callNext(std::function<void()> fn);

    static bool isMessageOk(const Reply& reply);

    // Drops every request in flight (no handler runs) and every later one:
    // for shutdown, before the application object goes away.
    void shutdown();

    // Where this object's log lines go, with their StationCore::LogCategory;
    // empty (default): the station log. Tests read the categories here.
    using LogSink = std::function<void(const VXString& text, int category)>;
    void setLogSink(LogSink sink);

protected:
    QString baseURL;
    QString logURL;
    VXString login;
    VXString password;
    bool ignoreSSL = false;

    // To the log sink or the station log; category is a StationCore::LogCategory.
    void write(const VXString& text, int category);

private:
    void send(const char* name,
              Root root,
              const QString& path,
              const QByteArray& body,
              ReplyHandler onOk,
              ReplyHandler onErr);
    struct Pending
    {
        const char* name = "";
        bool logRoot = false;
        qint64 timeoutMs = 0;
        ReplyHandler onOk;
        ReplyHandler onErr;
    };
    // On this object's thread, for each result of the transport.
    void finish(const HttpTransport::Result& result);
    // category is a StationCore::LogCategory (core.h stays out of this header).
    void logFailure(bool logRoot, int category, const QString& serverLine, const QString& consoleLine);
    static QString traceBody(const QByteArray& body);

    VXString token;
    std::unique_ptr<HttpTransport> transport;
    QHash<quint64, Pending> pending;
    quint64 lastRequestId = 0;
    VXSystemTime transferTimeout = defaultTransferTimeout;
    qint64 maxReplyBytes = HttpTransport::defaultMaxBodyBytes;
    bool stopped = false;
    LogSink logSink;
};
