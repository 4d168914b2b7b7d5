// The virtual staff card as a program. With --port it serves the vpcd
// driver of a running pcscd; without it starts a private pcscd first. It
// reads commands from standard input, one a line: "insert", "remove",
// "block <32 hex digits>", "quit".

#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "virtual_card/pcscd_runner.h"
#include "virtual_card/virtual_card.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VirtualCard::Settings settings;
    quint16 port = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const QString next = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (arg == QLatin1String("--port")) {
            port = quint16(next.toUInt());
            ++i;
        } else if (arg == QLatin1String("--block")) {
            settings.block8 = QByteArray::fromHex(next.toLatin1());
            ++i;
        } else if (arg == QLatin1String("--key")) {
            settings.key = QByteArray::fromHex(next.toLatin1());
            ++i;
        } else if (arg == QLatin1String("--read-reply")) {
            settings.readReply = QByteArray::fromHex(next.toLatin1());
            ++i;
        } else if (arg == QLatin1String("--refuse-key")) {
            settings.refuseLoadKey = true;
        } else {
            std::fprintf(stderr,
                         "usage: virtual_card [--port N] [--block HEX] [--key HEX] [--read-reply HEX] "
                         "[--refuse-key]\n");
            return 2;
        }
    }

    std::unique_ptr<PcscdRunner> runner;
    if (port == 0) {
        runner = std::make_unique<PcscdRunner>();
        if (!runner->start()) {
            std::fprintf(stderr, "%s\n", qPrintable(runner->error()));
            return 1;
        }
        port = runner->port();
    }
    std::printf("card for the vpcd reader on port %u\n", unsigned(port));
    std::fflush(stdout);

    VirtualCard card(port, settings);
    QTextStream input(stdin);
    QString line;
    while (input.readLineInto(&line)) {
        const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words.first() == QLatin1String("insert")) {
            card.insert();
        } else if (words.first() == QLatin1String("remove")) {
            card.remove();
        } else if (words.first() == QLatin1String("block") && words.size() == 2) {
            settings.block8 = QByteArray::fromHex(words.at(1).toLatin1());
            card.setSettings(settings);
        } else if (words.first() == QLatin1String("quit")) {
            break;
        } else {
            std::fprintf(stderr, "unknown command: %s\n", qPrintable(line));
        }
    }
    return 0;
}
