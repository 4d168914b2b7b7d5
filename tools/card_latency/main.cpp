// Measures the time from a card laid on the reader to personNumberReaded on
// the main thread, through a private pcscd, its vpcd driver and the virtual
// card: median and 95th percentile over a number of insertions (50 unless
// given as the first argument). Also splits each figure into the time the
// driver took to notice the card (its first request for the answer to
// reset) and the rest (pcscd's power-up and state, the reader thread's step
// and the card commands). pcscd polls the vpcd driver for a card every
// 400 ms, so each card is laid at a random moment, as a person would.

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <winscard.h>

#include "readers/cardscanner.h"
#include "virtual_card/pcscd_runner.h"
#include "virtual_card/virtual_card.h"

namespace {
struct Figures
{
    double median;
    double p95;
    double max;
};

Figures figures(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    auto at = [&values](double q) {
        const size_t index = size_t(q * double(values.size() - 1) + 0.5);
        return values.at(std::min(index, values.size() - 1));
    };
    return Figures{at(0.5), at(0.95), values.back()};
}

// Waits until pcscd reports the reader without a card, so that the next
// insertion is a new card for the reader thread too.
bool waitForAbsent(int timeoutMs)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    LPSTR readers = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    bool absent = false;
    if (SCardListReaders(context, nullptr, reinterpret_cast<LPSTR>(&readers), &length) == SCARD_S_SUCCESS) {
        QElapsedTimer waited;
        waited.start();
        while (!absent && waited.elapsed() < timeoutMs) {
            SCARD_READERSTATE state{};
            state.szReader = readers;
            state.dwCurrentState = SCARD_STATE_UNAWARE;
            if (SCardGetStatusChange(context, 100, &state, 1) == SCARD_S_SUCCESS)
                absent = (state.dwEventState & SCARD_STATE_PRESENT) == 0;
            if (!absent)
                QThread::msleep(5);
        }
        SCardFreeMemory(context, readers);
    }
    SCardReleaseContext(context);
    return absent;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    PcscdRunner pcscd;
    if (!pcscd.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(pcscd.error()));
        return 1;
    }
    VirtualCard::Settings settings;
    settings.block8 = QByteArray::fromHex("A1A2A3A4A5A6A7A800123456B1B2B3B4");
    settings.key = CardScanner::cardKey();
    VirtualCard card(pcscd.port(), settings);

    CardScanner scanner;
    scanner.setEnabled(true);
    qint64 receivedAt = 0;
    QString received;
    QEventLoop loop;
    QObject::connect(&scanner, &CardScanner::personNumberReaded, &app, [&](const QString& number) {
        receivedAt = QDateTime::currentMSecsSinceEpoch();
        received = number;
        loop.quit();
    });
    scanner.start(VXSystemTime::fromMSec(20));
    // Let the reader thread open its context before the first card.
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();

    std::vector<double> total;
    std::vector<double> noticed;
    std::vector<double> rest;
    std::vector<double> toCommand;
    for (int round = 0; round < rounds; ++round) {
        receivedAt = 0;
        received.clear();
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(5000);
        const qint64 laidAt = QDateTime::currentMSecsSinceEpoch();
        card.insert();
        loop.exec();
        if (receivedAt == 0 || received != QLatin1String("123456")) {
            std::fprintf(stderr, "round %d: no number within 5 s\n", round + 1);
            return 1;
        }
        const qint64 atr = card.firstAtrMSec();
        total.push_back(double(receivedAt - laidAt));
        noticed.push_back(double(atr - laidAt));
        rest.push_back(double(receivedAt - atr));
        toCommand.push_back(double(card.firstCommandMSec() - atr));
        card.remove();
        if (!waitForAbsent(5000)) {
            std::fprintf(stderr, "round %d: the card stays present\n", round + 1);
            return 1;
        }
        // A few reader turns, so that the reader thread sees the removal,
        // then a random part of pcscd's poll period.
        QTimer::singleShot(100 + QRandomGenerator::global()->bounded(400), &loop, &QEventLoop::quit);
        loop.exec();
    }

    const Figures t = figures(total);
    const Figures n = figures(noticed);
    const Figures r = figures(rest);
    const Figures c = figures(toCommand);
    std::printf("card on reader -> personNumberReaded on the main thread, %d insertions\n", rounds);
    std::printf("  total:                 median %6.1f ms  p95 %6.1f ms  max %6.1f ms\n", t.median, t.p95,
                t.max);
    std::printf("  driver notices card:   median %6.1f ms  p95 %6.1f ms  max %6.1f ms\n", n.median, n.p95,
                n.max);
    std::printf("  notice -> main thread: median %6.1f ms  p95 %6.1f ms  max %6.1f ms\n", r.median, r.p95,
                r.max);
    std::printf("  notice -> first command: median %6.1f ms  p95 %6.1f ms  max %6.1f ms\n", c.median, c.p95,
                c.max);
    return 0;
}
