// lockctl_sim: a lock controller on a pseudo-terminal or on loopback TCP.
//
//   lockctl_sim [--protocol v1.7|v4.0] [--pty | --tcp PORT]
//
// Prints "device <path>" (the [cells] address for the station), then one line
// per frame received. Commands on standard input, one per line:
//   open B L | close B L | close all | jam B L | unjam B L
//   drop N | garble N | echo on|off | stall on|off | state B | drop-client | quit
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <QString>
#include <QStringList>

#include <unistd.h>

#include "lock_simulator.h"

namespace {
void usage()
{
    std::fprintf(stderr, "usage: lockctl_sim [--protocol v1.7|v4.0] [--pty | --tcp PORT]\n");
}

// Returns false for quit.
bool command(LockSimulator& sim, const QString& line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString verb = words.at(0);
    auto number = [&words](int i) { return i < words.size() ? words.at(i).toInt() : -1; };
    if (verb == QLatin1String("quit"))
        return false;
    if (verb == QLatin1String("open") && words.size() == 3)
        sim.setDoor(number(1), number(2), true);
    else if (verb == QLatin1String("close") && words.size() == 2 && words.at(1) == QLatin1String("all"))
        sim.closeAll();
    else if (verb == QLatin1String("close") && words.size() == 3)
        sim.setDoor(number(1), number(2), false);
    else if (verb == QLatin1String("jam") && words.size() == 3)
        sim.setJammed(number(1), number(2), true);
    else if (verb == QLatin1String("unjam") && words.size() == 3)
        sim.setJammed(number(1), number(2), false);
    else if (verb == QLatin1String("drop") && words.size() == 2)
        sim.dropAnswers(number(1));
    else if (verb == QLatin1String("garble") && words.size() == 2)
        sim.garbleAnswers(number(1));
    else if (verb == QLatin1String("echo") && words.size() == 2)
        sim.setEcho(words.at(1) == QLatin1String("on"));
    else if (verb == QLatin1String("stall") && words.size() == 2)
        sim.setStalled(words.at(1) == QLatin1String("on"));
    else if (verb == QLatin1String("drop-client"))
        sim.dropClient();
    else if (verb == QLatin1String("state") && words.size() == 2) {
        QString open;
        for (int lock = 0; lock < 32; ++lock)
            if (sim.isDoorOpen(number(1), lock))
                open += QStringLiteral(" %1").arg(lock);
        std::printf("board %d open:%s\n", number(1), open.isEmpty() ? " none" : qPrintable(open));
    } else {
        std::printf("unknown command: %s\n", qPrintable(line));
    }
    std::fflush(stdout);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    LockSimulator::Protocol protocol = LockSimulator::Protocol::V1_7;
    bool tcp = false;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--protocol" && i + 1 < argc) {
            const std::string name = argv[++i];
            if (name == "v4.0")
                protocol = LockSimulator::Protocol::V4_0;
            else if (name != "v1.7")
                return usage(), 2;
        } else if (arg == "--pty") {
            tcp = false;
        } else if (arg == "--tcp" && i + 1 < argc) {
            tcp = true;
            port = std::atoi(argv[++i]);
        } else {
            return usage(), 2;
        }
    }

    LockSimulator sim(protocol);
    sim.setFrameCallback([](const LockSimulator::Frame& frame) {
        if (frame.open)
            std::printf("rx open board %d lock %d\n", frame.board, frame.lock);
        else
            std::printf("rx query board %d\n", frame.board);
        std::fflush(stdout);
    });
    const QString path = tcp ? sim.listenTcp(quint16(port)) : sim.listenPty();
    if (path.isEmpty()) {
        std::fprintf(stderr, "lockctl_sim: cannot listen\n");
        return 1;
    }
    std::printf("device %s\n", qPrintable(path));
    std::fflush(stdout);

    std::string line;
    while (std::getline(std::cin, line))
        if (!command(sim, QString::fromStdString(line)))
            return 0;
    // Standard input closed (run in the background): serve until a signal.
    std::signal(SIGTERM, [](int) { _exit(0); });
    std::signal(SIGINT, [](int) { _exit(0); });
    for (;;)
        ::pause();
}
