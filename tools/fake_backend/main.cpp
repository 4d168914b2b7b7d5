// The fake back-end as a program, for the demo: serves the fixtures of a
// directory on 127.0.0.1 and prints each request on one line.

#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "fake_backend.h"

namespace {
// The body as one line; the log-in's password never reaches the console.
QString describeBody(const FakeBackend::Request& request)
{
    if (request.body.isEmpty())
        return QString();
    if (request.path == FakeBackend::pathToken) {
        QJsonObject object = QJsonDocument::fromJson(request.body).object();
        if (object.contains(QStringLiteral("password")))
            object.insert(QStringLiteral("password"), QStringLiteral("***"));
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    QString text = QString::fromUtf8(request.body);
    text.replace('\r', QLatin1String("\\r"));
    text.replace('\n', QLatin1String("\\n"));
    return text;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fake_backend"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A fake back-end for the station on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port (0: any free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("Directory with users.json, devices.json, faults.json, cells.json."),
        QStringLiteral("DIR"));
    const QCommandLineOption loginOption(QStringLiteral("login"), QStringLiteral("Log-in name accepted."),
                                         QStringLiteral("NAME"), QStringLiteral("station"));
    const QCommandLineOption passwordOption(QStringLiteral("password"), QStringLiteral("Password accepted."),
                                            QStringLiteral("TEXT"), QStringLiteral("secret"));
    const QCommandLineOption pointOption(QStringLiteral("point-id"), QStringLiteral("Station id served."),
                                         QStringLiteral("ID"), QStringLiteral("1"));
    const QCommandLineOption certOption(QStringLiteral("cert"),
                                        QStringLiteral("Serve HTTPS with this PEM certificate."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QStringLiteral("The PEM key of --cert."),
                                       QStringLiteral("FILE"));
    parser.addOptions(
        {portOption, dataOption, loginOption, passwordOption, pointOption, certOption, keyOption});
    parser.process(app);

    QTextStream err(stderr);
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "fake_backend: bad --port\n";
        return 2;
    }
    const int pointId = parser.value(pointOption).toInt(&ok);
    if (!ok) {
        err << "fake_backend: bad --point-id\n";
        return 2;
    }

    FakeBackend backend;
    backend.setCredentials(parser.value(loginOption), parser.value(passwordOption));
    backend.setPointId(pointId);
    if (parser.isSet(dataOption)) {
        QString error;
        if (!backend.loadFixtures(parser.value(dataOption), &error)) {
            err << "fake_backend: " << error << '\n';
            return 1;
        }
    }
    const bool tls = parser.isSet(certOption);
    const bool listening =
        tls ? backend.startTls(parser.value(certOption), parser.value(keyOption), quint16(port))
            : backend.start(quint16(port));
    if (!listening) {
        err << "fake_backend: cannot listen on 127.0.0.1:" << port << '\n';
        return 1;
    }

    QTextStream out(stdout);
    out << "fake_backend: listening, base_url = " << backend.baseUrl() << " log_url = " << backend.logUrl()
        << '\n';
    out.flush();
    QObject::connect(&backend, &FakeBackend::requestReceived, [&out](const FakeBackend::Request& request) {
        out << request.arrival.toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << request.method << " /"
            << request.path << (request.query.isEmpty() ? QString() : QLatin1Char('?') + request.query);
        const QString body = describeBody(request);
        if (!body.isEmpty())
            out << ' ' << body;
        out << '\n';
        out.flush();
    });
    return app.exec();
}
