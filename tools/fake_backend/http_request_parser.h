#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One request as it came off the wire.
struct HttpRequest
{
    QByteArray method;
    QByteArray target;                            // origin form, as sent: "/path?query"
    QByteArray version;                           // "HTTP/1.1" or "HTTP/1.0"
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order, names as sent
    QByteArray body;
    bool keepAlive = true;

    // The value of the first header of that name (case-insensitive); empty when absent.
    QByteArray header(const QByteArray& name) const;
};

// A strict, bounded HTTP/1.1 request reader for a test peer: request line,
// header fields and a Content-Length body, several requests one after another
// on one connection. Anything it does not understand is an error with the
// status code to answer before closing, never a guess: a peer that accepts
// sloppy requests hides faults in the client it is testing.
class HttpRequestParser
{
public:
    struct Limits
    {
        int maxLine = 8 * 1024;  // request line
        int maxHead = 64 * 1024; // request line and every header field
        int maxHeaders = 100;
        qint64 maxBody = 32 * 1024 * 1024;
    };
    enum class Result
    {
        NeedMore,
        Request,
        Error
    };

    HttpRequestParser() = default;
    explicit HttpRequestParser(const Limits& limits);

    // Adds received bytes.
    void feed(const QByteArray& bytes);
    // Reads the next request from the bytes fed so far. On Request, take() hands
    // it over and the bytes after it stay for the next call. After an Error the
    // parser stays failed: the connection is to be closed.
    Result next();
    HttpRequest take();
    int errorStatus() const { return status; }
    QByteArray errorText() const { return error; }
    // Bytes received but not yet consumed by a request.
    int pending() const { return buffer.size(); }

private:
    Result fail(int code, const QByteArray& text);
    Result parseHead(const QByteArray& head);

    Limits limits;
    QByteArray buffer;
    HttpRequest current;
    bool haveHead = false;
    qint64 bodyLength = 0;
    int status = 0;
    QByteArray error;
};
