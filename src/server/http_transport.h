#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// HTTP/1.1 requests on a thread of their own, through libcurl. Connections
// are kept alive and reused; a request goes out headers and body together
// with Nagle's algorithm off, so it never waits for the peer's delayed
// acknowledgement. No proxy is used, whatever the environment says, and
// redirects are not followed.
//
// Results are handed to the callback given at construction, on the
// transport's thread, one at a time, in the order the transfers end.
class HttpTransport
{
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        quint64 id = 0;
        QByteArray url;
        bool post = false;
        Headers headers;
        QByteArray body;
        // A transfer that moves no byte for this long fails (timedOut).
        qint64 idleTimeoutMs = 30000;
        // Certificates are not checked (neither the chain nor the name).
        bool ignoreTlsErrors = false;
    };

    struct Result
    {
        quint64 id = 0;
        // 0 when no status line arrived.
        int status = 0;
        Headers headers;
        QByteArray body;
        // The transfer did not end normally (no connection, TLS refused,
        // connection broken, time-out); errorText says why.
        bool failed = false;
        bool timedOut = false;
        // No connection came about: the host cannot be resolved or reached,
        // or its TLS handshake failed.
        bool unreachable = false;
        QString errorText;
    };
    using Finished = std::function<void(Result result)>;

    explicit HttpTransport(Finished finished);
    // Drops what is still in flight (no callback for it) and joins the thread.
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // From any thread; returns at once.
    void submit(Request request);
    // Drops every request queued or in flight; none of them is reported.
    void cancelAll();

private:
    struct Worker;
    std::unique_ptr<Worker> worker;
};
