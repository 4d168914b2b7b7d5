#include "server/server_base.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include "core/core.h"
#include "server/http_transport.h"

namespace {
QString normalisedRoot(const VXString& url)
{
    QString root = url.trimmed();
    if (!root.isEmpty() && !root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

bool hasControlCharacter(const VXString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}
} // namespace

QByteArray ServerBase::Reply::header(const QByteArray& name) const
{
    for (const auto& pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

ServerBase::ServerBase(QObject* parent)
    : QObject(parent)
{}

ServerBase::~ServerBase()
{
    // Joins the transport's thread: nothing is posted here afterwards.
    transport.reset();
}

void ServerBase::setCredentials(const VXString& login, const VXString& password)
{
    this->login = login;
    this->password = password;
}

void ServerBase::setBaseURL(const VXString& url)
{
    baseURL = normalisedRoot(url);
}

void ServerBase::setLogURL(const VXString& url)
{
    logURL = normalisedRoot(url);
    qDebug().noquote() << "log url =" << logURL;
}

void ServerBase::setIgnoreSSLErrors(bool ignore)
{
    ignoreSSL = ignore;
}

void ServerBase::setTransferTimeout(VXSystemTime timeout)
{
    transferTimeout = timeout;
}

void ServerBase::setMaxReplyBytes(qint64 bytes)
{
    maxReplyBytes = bytes;
}

bool ServerBase::setToken(const VXString& value)
{
    if (hasControlCharacter(value)) {
        // Never the value: it is a secret, and a line break in it would split
        // the log line.
        write(QStringLiteral("[ServerBase] Error: refused a token with a control character"),
              StationCore::lcError);
        return false;
    }
    token = value;
    return true;
}

bool ServerBase::isUsableToken(const VXString& value)
{
    return !value.isEmpty() && !hasControlCharacter(value);
}

ServerBase::Headers ServerBase::makeMessage() const
{
    Headers headers;
    headers.append(qMakePair(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")));
    if (!token.isEmpty())
        headers.append(qMakePair(QByteArrayLiteral("x-api-key"), token.toUtf8()));
    return headers;
}

void ServerBase::sendGet(Root root, const QString& path, ReplyHandler onOk, ReplyHandler onErr)
{
    send("sendGet", root, path, QByteArray(), std::move(onOk), std::move(onErr));
}

void ServerBase::sendPost(
    Root root, const QString& path, const QByteArray& body, ReplyHandler onOk, ReplyHandler onErr)
{
    send("sendPost", root, path, body, std::move(onOk), std::move(onErr));
}

void ServerBase::send(const char* name,
                      Root root,
                      const QString& path,
                      const QByteArray& body,
                      ReplyHandler onOk,
                      ReplyHandler onErr)
{
    const QString& url = root == rtLog ? logURL : baseURL;
    if (url.isEmpty() || stopped)
        return;
    if (QThread::currentThread() != thread()) {
        // The token and the roots belong to this object's thread.
        callNext([=] { send(name, root, path, body, onOk, onErr); });
        return;
    }
    if (!transport) {
        // Results come on the transport's thread; each is posted here, so
        // the handlers run on this thread in the order the replies came.
        transport = std::make_unique<HttpTransport>([this](HttpTransport::Result result) {
            QMetaObject::invokeMethod(
                this, [this, result] { finish(result); }, Qt::QueuedConnection);
        });
    }

    const bool get = qstrcmp(name, "sendGet") == 0;
    if (StationCore::instance()->server_log) {
        if (get)
            write(QStringLiteral("[ServerBase] sendGet: path: \"%1\"").arg(path), StationCore::lcInfo);
        else
            write(QStringLiteral("[ServerBase] sendPost: path: \"%1\", body: \"%2\"")
                      .arg(path, traceBody(body)),
                  StationCore::lcInfo);
    }
    HttpTransport::Request request;
    request.id = ++lastRequestId;
    request.url = (url + path).toUtf8();
    request.post = !get;
    request.headers = makeMessage();
    request.body = body;
    // A server that accepts the connection and never answers, or answers
    // a byte at a time, or without end, must not hold the log-in or an
    // upload queue for good.
    request.idleTimeoutMs = transferTimeout.toMSec();
    request.totalTimeoutMs = request.idleTimeoutMs * totalTimeoutFactor;
    request.maxBodyBytes = maxReplyBytes;
    request.ignoreTlsErrors = ignoreSSL;
    pending.insert(request.id,
                   Pending{name, root == rtLog, request.idleTimeoutMs, std::move(onOk), std::move(onErr)});
    transport->submit(std::move(request));
}

void ServerBase::finish(const HttpTransport::Result& result)
{
    const auto found = pending.find(result.id);
    if (found == pending.end())
        return;
    const Pending request = found.value();
    pending.erase(found);
    if (stopped)
        return;

    Reply answer;
    answer.status = result.status;
    answer.headers = result.headers;
    answer.body = result.body;
    // A failure after a success status (the connection broke in the body)
    // leaves the body incomplete: a transport failure, not a success.
    const bool broken = result.failed && (answer.status == 0 || isMessageOk(answer));
    const bool ok = !broken && isMessageOk(answer);
    if (broken) {
        answer.unreachable = result.unreachable && answer.status == 0;
        answer.errorText = result.timedOut ? QStringLiteral("No answer within %1 ms").arg(request.timeoutMs)
                                           : result.errorText;
        logFailure(
            request.logRoot, StationCore::lcWarning,
            QStringLiteral("[ServerBase] Error \"%1\"").arg(answer.errorText),
            QStringLiteral("[ServerBase::%1] Error: %2").arg(QLatin1String(request.name), answer.errorText));
    } else if (!ok) {
        logFailure(request.logRoot, StationCore::lcError,
                   QStringLiteral("[ServerBase] Error code %1").arg(answer.status),
                   QStringLiteral("[ServerBase::%1] Error code %2")
                       .arg(QLatin1String(request.name))
                       .arg(answer.status));
    }

    const ReplyHandler& handler = ok ? request.onOk : request.onErr;
    if (handler)
        handler(answer);
}

void ServerBase::logFailure(bool logRoot, int category, const QString& serverLine, const QString& consoleLine)
{
    if (!StationCore::instance()->server_log) {
        qDebug().noquote() << consoleLine;
        return;
    }
    // Warnings and errors also go to the log root as log records; a failure of
    // a request to that root stays local, or a log server that is down would
    // get one more record to send for every record it failed to take.
    write(serverLine, logRoot ? StationCore::lcInfo : category);
}

void ServerBase::setLogSink(LogSink sink)
{
    logSink = std::move(sink);
}

void ServerBase::write(const VXString& text, int category)
{
    if (logSink)
        logSink(text, category);
    else
        StationCore::instance()->log(text, StationCore::LogCategory(category));
}

QString ServerBase::traceBody(const QByteArray& body)
{
    // The log-in body holds the password: the trace shows it masked.
    QJsonDocument json = QJsonDocument::fromJson(body);
    if (json.isObject() && json.object().contains(QLatin1String("password"))) {
        QJsonObject object = json.object();
        object.insert(QStringLiteral("password"), QStringLiteral("***"));
        return QString::fromUtf8(VXJSONData(object));
    }
    return QString::fromUtf8(body);
}

QByteArray ServerBase::VXJSONData(const QJsonDocument& json)
{
    return json.toJson(QJsonDocument::Compact);
}

QByteArray ServerBase::VXJSONData(const QJsonObject& json)
{
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

void ServerBase::callNext(std::function<void()> fn)
{
    QTimer::singleShot(0, this, std::move(fn));
}

void ServerBase::shutdown()
{
    stopped = true;
    pending.clear();
    if (transport)
        transport->cancelAll();
}

bool ServerBase::isMessageOk(const Reply& reply)
{
    return reply.status == 200 || reply.status == 201 || reply.status == 202;
}
