// The two receivers over random and mutated byte streams: no crash, no hang,
// a bounded buffer, and only well-formed answers announced. Seeded, so a
// failure repeats; run under the sanitizer build as well.

#include <atomic>
#include <memory>
#include <random>

#include <QtGlobal>

#include "cells/cellcontroller_protocol_v1_7.h"
#include "cells/cellcontroller_protocol_v4_0.h"
#include "support/test_support.h"

using TestSupport::hex;

struct Fuzz
{
    const char* name;
    bool v40;
};

namespace {
QtMessageHandler previousHandler = nullptr;

// "rcv 4.0 checksum failed" would be written thousands of times.
void dropDebug(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && previousHandler)
        previousHandler(type, context, message);
}

struct ManualClock : VXClock::Source
{
    std::atomic<qint64> ms{1000000};
    qint64 monotonicMSec() override { return ms.load(); }
    QDateTime now() override { return QDateTime(QDate(2026, 3, 20), QTime(12, 0)).addMSecs(ms.load()); }
};

class ParserRobustness : public ::testing::TestWithParam<Fuzz>
{
protected:
    void SetUp() override
    {
        previousHandler = qInstallMessageHandler(dropDebug);
        VXClock::setSource(&clock);
    }
    void TearDown() override
    {
        VXClock::setSource(nullptr);
        qInstallMessageHandler(previousHandler);
    }
    ManualClock clock;
};

QByteArray validAnswer(bool v40, std::mt19937& random)
{
    if (!v40) {
        QByteArray frame = hex("02 30 30 FE FD FF FF 03");
        frame[1] = char((random() % 16) << 4);
        for (int i = 3; i < 7; ++i)
            frame[i] = char(random());
        frame.append(char(CellControllerProtocol::V_1_7::plainChecksum(
            reinterpret_cast<const uchar*>(frame.constData()), frame.size())));
        return frame;
    }
    const int locks = int(random() % 48);
    QByteArray frame("WKLY");
    frame.append(char(9 + locks));
    frame.append(char(random()));
    frame.append(char(0x84));
    frame.append(char(0));
    for (int i = 0; i < locks; ++i)
        frame.append(char(random() % 3));
    frame.append(char(CellControllerProtocol::V_4_0::plainChecksum(
        reinterpret_cast<const uchar*>(frame.constData()), frame.size())));
    return frame;
}
} // namespace

TEST_P(ParserRobustness, SurvivesRandomAndMutatedStreams)
{
    const bool v40 = GetParam().v40;
    std::unique_ptr<CellControllerBase> protocol;
    if (v40)
        protocol.reset(new CellControllerProtocol::V_4_0::Implementation());
    else
        protocol.reset(new CellControllerProtocol::V_1_7::Implementation());
    VXMap<int, VXVector<bool>> states;
    int announced = 0;
    bool badSize = false;
    QObject::connect(protocol.get(), &CellControllerBase::applyStatesRequest, [&](int size) {
        ++announced;
        badSize = badSize || (v40 ? (size < 9 || size > 255) : size != 9);
        protocol->applyStates(states);
    });

    std::mt19937 random(20260320u);
    int maxBuffered = 0;
    for (int round = 0; round < 3000; ++round) {
        // Rounds are 25 ms apart: each starts with an empty buffer.
        clock.ms += 25;
        QByteArray stream;
        int frames = 0;
        const int kind = round % 3;
        if (kind == 0) { // pure noise, biased towards frame bytes
            const int n = int(random() % 600);
            for (int i = 0; i < n; ++i) {
                const unsigned pick = random() % 8;
                stream.append(pick == 0   ? char(0x02)
                              : pick == 1 ? 'W'
                              : pick == 2 ? char(random() % 10)
                                          : char(random()));
            }
            if (random() % 4 == 0)
                stream.append("WKLY");
        } else { // valid answers with bytes flipped, cut or repeated
            frames = 1 + int(random() % 8);
            for (int i = 0; i < frames; ++i)
                stream.append(validAnswer(v40, random));
            const int mutations = kind == 1 ? 0 : 1 + int(random() % 6);
            for (int m = 0; m < mutations && !stream.isEmpty(); ++m) {
                const int at = int(random() % unsigned(stream.size()));
                switch (random() % 4) {
                case 0:
                    stream[at] = char(random());
                    break;
                case 1:
                    stream.remove(at, 1 + int(random() % 5));
                    break;
                case 2:
                    stream.insert(at, char(random() % 12)); // short lengths for v4.0
                    break;
                default:
                    stream.insert(at, stream.mid(at, int(random() % 20)));
                }
            }
        }
        const int before = announced;
        // Random chunking; the whole stream arrives within the 20 ms gap.
        int pos = 0;
        while (pos < stream.size()) {
            const int n = qMin(stream.size() - pos, 1 + int(random() % 64));
            protocol->received(reinterpret_cast<const uchar*>(stream.constData() + pos), n);
            pos += n;
            maxBuffered = qMax(maxBuffered, protocol->bufferedSize());
        }
        if (kind == 1) {
            EXPECT_EQ(announced - before, frames) << "round " << round;
        }
    }
    EXPECT_FALSE(badSize);
    EXPECT_LT(maxBuffered, v40 ? 255 : 9);
    for (auto it = states.begin(); it != states.end(); ++it)
        EXPECT_EQ(it.value().size(), 32);
}

INSTANTIATE_TEST_SUITE_P(Protocols,
                         ParserRobustness,
                         ::testing::Values(Fuzz{"V17", false}, Fuzz{"V40", true}),
                         [](const auto& info) { return std::string(info.param.name); });
