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

    // Some thirty times a full download of a large site (its users'
    // reply is about 2 MB for 10,000 users), and small enough to hold.
    static constexpr qint64 defaultMaxBodyBytes = 64 * 1024 * 1024;

    struct Request
    {
        quint64 id = 0;
        QByteArray url;
        bool post = false;
        Headers headers;
        QByteArray body;
        // A transfer that moves no byte for this long fails (timedOut); so
        // does a connection attempt that takes longer.
        qint64 idleTimeoutMs = 30000;
        // A transfer still going after this long fails, however steadily its
        // bytes come; 0: no such limit.
        qint64 totalTimeoutMs = 0;
        // A reply body larger than this fails, and its transfer is given up
        // as soon as that is known.
        qint64 maxBodyBytes = defaultMaxBodyBytes;
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
        // connection broken, time-out, reply too large); errorText says why.
        bool failed = false;
        // Nothing moved for idleTimeoutMs.
        bool timedOut = false;
        // No connection came about: the host cannot be resolved or reached
        // (also when the attempt got no answer at all), or its TLS handshake
        // failed.
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
