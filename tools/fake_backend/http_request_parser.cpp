#include "http_request_parser.h"

#include <QList>

namespace {
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (!isTokenChar(c))
            return false;
    return true;
}

// Field values: visible characters, blanks, tabs and bytes above 0x7f; no
// other control characters.
bool isFieldValue(const QByteArray& text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return false;
    }
    return true;
}

// The request target in origin form: "/" followed by visible ASCII.
bool isOriginForm(const QByteArray& target)
{
    if (!target.startsWith('/'))
        return false;
    for (char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f)
            return false;
    }
    return true;
}

bool hasConnectionOption(const QByteArray& value, const QByteArray& option)
{
    const QList<QByteArray> parts = value.split(',');
    for (const QByteArray& part : parts)
        if (part.trimmed().toLower() == option)
            return true;
    return false;
}
} // namespace

QByteArray HttpRequest::header(const QByteArray& name) const
{
    const QByteArray wanted = name.toLower();
    for (const auto& h : headers)
        if (h.first.toLower() == wanted)
            return h.second;
    return {};
}

HttpRequestParser::HttpRequestParser(const Limits& givenLimits)
    : limits(givenLimits)
{}

void HttpRequestParser::feed(const QByteArray& bytes)
{
    buffer.append(bytes);
}

HttpRequestParser::Result HttpRequestParser::fail(int code, const QByteArray& text)
{
    status = code;
    error = text;
    buffer.clear();
    return Result::Error;
}

HttpRequestParser::Result HttpRequestParser::next()
{
    if (status != 0)
        return Result::Error;
    if (!haveHead) {
        // A client may send empty lines between requests; they are no request.
        while (buffer.startsWith("\r\n"))
            buffer.remove(0, 2);
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            const int lineEnd = buffer.indexOf("\r\n");
            if ((lineEnd < 0 && buffer.size() > limits.maxLine) || lineEnd > limits.maxLine)
                return fail(414, "request line too long");
            if (buffer.size() > limits.maxHead)
                return fail(431, "request head too large");
            return Result::NeedMore;
        }
        if (end + 2 > limits.maxHead)
            return fail(431, "request head too large");
        const Result head = parseHead(buffer.left(end + 2));
        if (head == Result::Error)
            return head;
        buffer.remove(0, end + 4);
        haveHead = true;
    }
    if (buffer.size() < bodyLength)
        return Result::NeedMore;
    current.body = buffer.left(int(bodyLength));
    buffer.remove(0, int(bodyLength));
    return Result::Request;
}

HttpRequestParser::Result HttpRequestParser::parseHead(const QByteArray& head)
{
    current = HttpRequest();
    bodyLength = 0;
    // Every line ends in CR LF; a bare CR or LF inside a line is refused, as
    // peers that split lines differently disagree on where fields end.
    QList<QByteArray> lines = head.split('\n');
    lines.removeLast(); // the empty rest after the last line feed
    for (QByteArray& line : lines) {
        if (!line.endsWith('\r'))
            return fail(400, "line not ended by CR LF");
        line.chop(1);
        if (line.contains('\r'))
            return fail(400, "bare CR in line");
    }
    if (lines.isEmpty())
        return fail(400, "empty request");

    const QByteArray& requestLine = lines.first();
    if (requestLine.size() > limits.maxLine)
        return fail(414, "request line too long");
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3)
        return fail(400, "malformed request line");
    current.method = parts[0];
    current.target = parts[1];
    current.version = parts[2];
    if (!isToken(current.method))
        return fail(400, "malformed method");
    for (char c : current.method)
        if (c < 'A' || c > 'Z')
            return fail(400, "malformed method");
    if (!isOriginForm(current.target))
        return fail(400, "malformed request target");
    if (current.version != "HTTP/1.1" && current.version != "HTTP/1.0") {
        if (current.version.startsWith("HTTP/"))
            return fail(505, "HTTP version not supported");
        return fail(400, "malformed HTTP version");
    }

    if (lines.size() - 1 > limits.maxHeaders)
        return fail(431, "too many header fields");
    bool haveLength = false;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400, "folded header field");
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return fail(400, "malformed header field");
        const QByteArray name = line.left(colon);
        if (!isToken(name))
            return fail(400, "malformed header name");
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value))
            return fail(400, "malformed header value");
        current.headers.append(qMakePair(QByteArray(name), QByteArray(value)));

        const QByteArray lower = name.toLower();
        if (lower == "content-length") {
            if (value.isEmpty() || value.size() > 18)
                return fail(400, "malformed Content-Length");
            for (char c : value)
                if (c < '0' || c > '9')
                    return fail(400, "malformed Content-Length");
            const qint64 length = value.toLongLong();
            if (haveLength && length != bodyLength)
                return fail(400, "conflicting Content-Length");
            haveLength = true;
            bodyLength = length;
        } else if (lower == "transfer-encoding") {
            return fail(501, "Transfer-Encoding not supported");
        }
    }
    if (bodyLength > limits.maxBody)
        return fail(413, "body too large");
    if (current.version == "HTTP/1.1" && current.header("Host").isEmpty())
        return fail(400, "missing Host");

    const QByteArray connection = current.header("Connection");
    if (current.version == "HTTP/1.1")
        current.keepAlive = !hasConnectionOption(connection, "close");
    else
        current.keepAlive = hasConnectionOption(connection, "keep-alive");
    return Result::Request;
}

HttpRequest HttpRequestParser::take()
{
    haveHead = false;
    bodyLength = 0;
    HttpRequest request = std::move(current);
    current = HttpRequest();
    return request;
}
