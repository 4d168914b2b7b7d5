#include "server/server_base.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "core/core.h"

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

ServerBase::~ServerBase() = default;

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

QNetworkRequest ServerBase::makeMessage(const QString& address) const
{
    QNetworkRequest request{QUrl(address)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!token.isEmpty())
        request.setRawHeader(QByteArrayLiteral("x-api-key"), token.toUtf8());
    // A redirect is a failure like any other status but 200, 201 and 202.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // A server that accepts the connection and never answers must not hold
    // the log-in or an upload queue for good.
    request.setTransferTimeout(int(transferTimeout.toMSec()));
    return request;
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
        // The access manager belongs to this object's thread.
        callNext([=] { send(name, root, path, body, onOk, onErr); });
        return;
    }
    if (!manager) {
        manager = new QNetworkAccessManager(this);
        // The station talks to the addresses of its configuration, on its own
        // network; a proxy from the environment (http_proxy) must not reroute
        // those requests, nor the tests' requests to loopback.
        manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    }

    const bool get = qstrcmp(name, "sendGet") == 0;
    const QNetworkRequest request = makeMessage(url + path);
    if (StationCore::instance()->server_log) {
        if (get)
            write(QStringLiteral("[ServerBase] sendGet: path: \"%1\"").arg(path), StationCore::lcInfo);
        else
            write(QStringLiteral("[ServerBase] sendPost: path: \"%1\", body: \"%2\"")
                      .arg(path, traceBody(body)),
                  StationCore::lcInfo);
    }
    QNetworkReply* reply = get ? manager->get(request) : manager->post(request, body);
    connectReply(name, root == rtLog, reply, std::move(onOk), std::move(onErr));
}

void ServerBase::connectReply(
    const char* name, bool logRoot, QNetworkReply* reply, ReplyHandler onOk, ReplyHandler onErr)
{
    if (ignoreSSL) {
        connect(reply, &QNetworkReply::sslErrors, reply,
                [reply](const QList<QSslError>&) { reply->ignoreSslErrors(); });
    }
    connect(reply, &QNetworkReply::finished, this, [=] {
        reply->deleteLater();
        Reply answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        for (const auto& pair : reply->rawHeaderPairs())
            answer.headers.append(pair);
        // A reply ended by its time-out is closed; reading it would warn.
        if (reply->isOpen())
            answer.body = reply->readAll();

        // An error after a success status (the connection broke in the body)
        // leaves the body incomplete: a transport failure, not a success.
        const bool broken =
            reply->error() != QNetworkReply::NoError && (answer.status == 0 || isMessageOk(answer));
        const bool ok = !broken && isMessageOk(answer);
        if (broken) {
            // Nothing here aborts a request, so a cancelled one ran out of time.
            answer.errorText =
                reply->error() == QNetworkReply::OperationCanceledError
                    ? QStringLiteral("No answer within %1 ms").arg(reply->request().transferTimeout())
                    : reply->errorString();
            logFailure(
                logRoot, StationCore::lcWarning,
                QStringLiteral("[ServerBase] Error \"%1\"").arg(answer.errorText),
                QStringLiteral("[ServerBase::%1] Error: %2").arg(QLatin1String(name), answer.errorText));
        } else if (!ok) {
            logFailure(
                logRoot, StationCore::lcError,
                QStringLiteral("[ServerBase] Error code %1").arg(answer.status),
                QStringLiteral("[ServerBase::%1] Error code %2").arg(QLatin1String(name)).arg(answer.status));
        }

        const ReplyHandler& handler = ok ? onOk : onErr;
        if (handler) {
            // Posted, not called: the handler never runs inside a signal of
            // the access manager, and replies keep their order.
            QMetaObject::invokeMethod(
                this, [handler, answer] { handler(answer); }, Qt::QueuedConnection);
        }
    });
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
    if (manager) {
        // Its replies are its children; deleting them emits no finished().
        delete manager;
        manager = nullptr;
    }
}

bool ServerBase::isMessageOk(const Reply& reply)
{
    return reply.status == 200 || reply.status == 201 || reply.status == 202;
}
