// Whole symbols: the mask penalty rule, the image with its quiet zone, and a
// table of symbols over every version and level that zbarimg must decode to
// the input and whose modules must equal qrencode's; the qr_symbol tool.

#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include "qr_oracle.h"
#include "qrcode/qr_code.h"
#include "qrcode/qr_matrix.h"
#include "qrcode/tables.h"
#include "support/test_support.h"
#include "ui/qr_code_generator.h"

namespace {
using Bytes = std::vector<unsigned char>;

Bytes toBytes(const QByteArray& data)
{
    return Bytes(data.cbegin(), data.cend());
}

QByteArray randomBytes(int count, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray data;
    for (int i = 0; i < count; ++i)
        data += static_cast<char>(random() & 0xFF);
    return data;
}

QByteArray decodeImage(const QImage& image, const QString& name)
{
    const QString path = name + QStringLiteral(".png");
    EXPECT_TRUE(image.save(path, "PNG"));
    return QrOracle::zbarDecode(path);
}

struct PenaltyCase
{
    const char* name;
    std::vector<std::string> rows;
    unsigned score;
};

// A first row that ends in the finder-like pattern, over alternating rows:
// at the width of version 11 the pattern's last module is the 61st.
std::vector<std::string> finderAtRightEdge(int side)
{
    std::string first;
    for (int c = 0; c < side - 7; ++c)
        first += c % 2 == 0 ? '1' : '0';
    std::vector<std::string> rows = {first + "1011101"};
    for (int r = 1; r < side; ++r) {
        std::string row;
        for (int c = 0; c < side; ++c)
            row += (r + c) % 2 == 1 ? '1' : '0';
        rows.push_back(row);
    }
    return rows;
}

void PrintTo(const PenaltyCase& c, std::ostream* os)
{
    *os << c.name;
}

class QrPenalty : public ::testing::TestWithParam<PenaltyCase>
{
};
} // namespace

TEST_P(QrPenalty, ScoresTheFourFeatures)
{
    const PenaltyCase& c = GetParam();
    std::vector<unsigned char> modules;
    for (const std::string& row : c.rows) {
        for (const char module : row)
            modules.push_back(module == '1' ? 1 : 0);
    }
    EXPECT_EQ(QRMatrix::penalty(modules, static_cast<unsigned>(c.rows.size())), c.score);
}

// Two alternating rows below a first row that holds the pattern keep every
// other feature at zero.
INSTANTIATE_TEST_SUITE_P(
    Table,
    QrPenalty,
    ::testing::Values(
        // Ten runs of five (3 each), sixteen 2 x 2 blocks (3 each), no dark
        // module: 50 % off, 10 x 10.
        PenaltyCase{"AllLight", {"00000", "00000", "00000", "00000", "00000"}, 178},
        // Six columns each one run of six (3 + 1).
        PenaltyCase{"RunsOfSix", {"101010", "101010", "101010", "101010", "101010", "101010"}, 24},
        // Five runs of five; 60 % dark is 10 % off: 2 x 10.
        PenaltyCase{"RunsOfFiveAndTooDark", {"10101", "10101", "10101", "10101", "10101"}, 35},
        // Four 2 x 2 blocks.
        PenaltyCase{"SquaresOfTwo", {"1100", "1100", "0011", "0011"}, 12},
        PenaltyCase{"FinderLikeAfterLight",
                    {"00001011101", "10101010101", "01010101010", "10101010101", "01010101010", "10101010101",
                     "01010101010", "10101010101", "01010101010", "10101010101", "01010101010"},
                    40},
        // The light area before it is the quiet zone around the symbol.
        PenaltyCase{"FinderLikeAtTheEdge",
                    {"10111010101", "10101010101", "01010101010", "10101010101", "01010101010", "10101010101",
                     "01010101010", "10101010101", "01010101010", "10101010101", "01010101010"},
                    40},
        PenaltyCase{"FinderLikeAtTheEdgeOfVersion11", finderAtRightEdge(61), 40},
        PenaltyCase{"FinderLikeAtTheEdgeOfVersion27", finderAtRightEdge(125), 40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QrSymbol, ChosenMaskHasTheLowestPenalty)
{
    const std::vector<std::pair<QByteArray, CorrectionLevel>> inputs = {
        {"HELLO WORLD", CorrectionLevel::Q},
        {"https://example.org/station/1234567890", CorrectionLevel::M},
        {randomBytes(300, 7), CorrectionLevel::M},
        {QByteArray(700, '7'), CorrectionLevel::H},
        {randomBytes(1500, 9), CorrectionLevel::L},
    };
    for (const auto& [data, level] : inputs) {
        const QRCode chosen(toBytes(data), level, QRCodeMethod::Dynamic, -1);
        unsigned best = 0;
        unsigned bestScore = 0;
        for (unsigned mask = 0; mask < 8; ++mask) {
            const QRCode symbol(toBytes(data), level, QRCodeMethod::Dynamic, -1,
                                static_cast<unsigned char>(mask));
            std::vector<unsigned char> modules;
            for (const std::vector<Trit>& row : symbol.to_vector()) {
                for (const Trit module : row)
                    modules.push_back(module == Trit::Dark ? 1 : 0);
            }
            const unsigned score = QRMatrix::penalty(modules, QRMatrix::v_to_size(symbol.get_version()));
            if (mask == 0 || score < bestScore) {
                best = mask;
                bestScore = score;
            }
        }
        EXPECT_EQ(chosen.get_mask(), best) << data.left(20).toStdString();
    }
}

TEST(QrSymbol, LoginCodeImageHasQuietZoneAndDecodes)
{
    // A Base64 text of 44 characters, "=" included: bytes, version 4 (33
    // modules) at level M.
    const QByteArray text = "q83vEjRWeJCrze8SNFZ4kKvN7xI0VniQq83vEjRWeJA=";
    ASSERT_EQ(text.size(), 44);
    const QImage image = qrCodeCreate(text, 8);
    ASSERT_EQ(image.size(), QSize((33 + 8) * 8, (33 + 8) * 8));
    ASSERT_EQ(image.format(), QImage::Format_Grayscale8);

    const int quiet = 4 * 8;
    const int end = image.width() - quiet;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int value = qGray(image.pixel(x, y));
            ASSERT_TRUE(value == 0 || value == 255) << x << ", " << y;
            if (x < quiet || y < quiet || x >= end || y >= end) {
                ASSERT_EQ(value, 255) << "quiet zone at " << x << ", " << y;
            }
        }
    }
    // The top left finder pattern: dark ring, light ring, dark centre, each
    // module eight pixels wide.
    EXPECT_EQ(qGray(image.pixel(quiet, quiet)), 0);
    EXPECT_EQ(qGray(image.pixel(quiet + 7, quiet + 7)), 0);
    EXPECT_EQ(qGray(image.pixel(quiet + 8, quiet + 8)), 255);
    EXPECT_EQ(qGray(image.pixel(quiet + 16, quiet + 16)), 0);
    EXPECT_EQ(qGray(image.pixel(quiet + 7 * 8, quiet + 7 * 8)), 255);

    EXPECT_EQ(decodeImage(image, QStringLiteral("login")), text);
}

TEST(QrSymbol, LargestContentDecodesAndOneByteMoreIsRefused)
{
    const QByteArray largest = randomBytes(2331, 40);
    EXPECT_EQ(decodeImage(qrCodeCreate(largest, 3), QStringLiteral("largest")), largest);

    try {
        qrCodeCreate(largest + 'x', 3);
        ADD_FAILURE() << "2332 bytes made a symbol";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Too much data. There is no such QR code version that can store so mush characters");
    }
}

TEST(QrSymbol, ScaleOutsideItsRangeIsRefused)
{
    EXPECT_THROW(qrCodeCreate("x", 0), std::invalid_argument);
    EXPECT_THROW(qrCodeCreate("x", -3), std::invalid_argument);
    EXPECT_THROW(qrCodeCreate("x", 101), std::invalid_argument);
    EXPECT_EQ(qrCodeCreate("x", 1).width(), 21 + 8);
}

namespace {
// One symbol of the oracle table: version and level, the mode by turns, data
// filling the version to the last character, and for every other symbol a
// forced mask (each of the eight in turn).
struct OracleCase
{
    int version;
    CorrectionLevel level;
    QRCodeMethod mode;
    int mask;

    std::string name() const
    {
        static const char* const modes[] = {"", "Numeric", "Alphanumeric", "Byte"};
        return "V" + std::to_string(version) + "LMQH"[static_cast<int>(level)] + modes[static_cast<int>(mode)]
               + (mask < 0 ? "AutoMask" : "Mask" + std::to_string(mask));
    }
};

std::vector<OracleCase> oracleCases()
{
    std::vector<OracleCase> cases;
    for (int i = 0; i < 160; ++i) {
        const int version = i / 4 + 1;
        const int level = i % 4;
        const QRCodeMethod mode = static_cast<QRCodeMethod>(1 + (version + level) % 3);
        cases.push_back({version, static_cast<CorrectionLevel>(level), mode, i % 2 == 0 ? (i / 2) % 8 : -1});
    }
    return cases;
}

// Character count widths of the standard for versions 1-9, 10-26, 27-40.
int countBits(QRCodeMethod mode, int version)
{
    const int band = version < 10 ? 0 : version < 27 ? 1 : 2;
    static const int widths[3][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}};
    return widths[static_cast<int>(mode) - 1][band];
}

int payloadBits(QRCodeMethod mode, int n)
{
    if (mode == QRCodeMethod::Numeric)
        return 10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0);
    if (mode == QRCodeMethod::Alphabetic)
        return 11 * (n / 2) + 6 * (n % 2);
    return 8 * n;
}

// As many characters as the version holds; letters and signs without digits
// for alphanumeric data, so that qrencode keeps it in one segment.
QByteArray fillingData(const OracleCase& c)
{
    const int capacity = static_cast<int>(Tables::max_capability.at(c.level)[c.version - 1]);
    const int room = capacity - 4 - countBits(c.mode, c.version);
    int n = 0;
    while (payloadBits(c.mode, n + 1) <= room)
        ++n;
    std::mt19937 random(static_cast<unsigned>(c.version * 4 + static_cast<int>(c.level)));
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    QByteArray data;
    for (int i = 0; i < n; ++i) {
        if (c.mode == QRCodeMethod::Numeric)
            data += static_cast<char>('0' + random() % 10);
        else if (c.mode == QRCodeMethod::Alphabetic)
            data += letters[random() % 35];
        else
            data += static_cast<char>(random() & 0xFF);
    }
    return data;
}

void PrintTo(const OracleCase& c, std::ostream* os)
{
    *os << c.name();
}

class QrOracleTable : public ::testing::TestWithParam<OracleCase>
{
};
} // namespace

TEST_P(QrOracleTable, DecodesAndMatchesQrencode)
{
    const OracleCase& c = GetParam();
    const QByteArray data = fillingData(c);
    const signed char version = static_cast<signed char>(c.version - 1);
    const QRCode symbol =
        c.mask < 0 ? QRCode(toBytes(data), c.level, c.mode, version)
                   : QRCode(toBytes(data), c.level, c.mode, version, static_cast<unsigned char>(c.mask));
    const std::vector<std::vector<Trit>> modules = symbol.to_vector();
    const QrOracle::Matrix ours = QrOracle::fromModules(modules);
    for (const std::string& row : ours)
        ASSERT_EQ(row.find('?'), std::string::npos) << "a module was left unset";
    if (c.mask >= 0) {
        EXPECT_EQ(QrOracle::readFormat(ours).mask, c.mask);
    }

    EXPECT_EQ(decodeImage(qrCodeImage(modules, 2), QStringLiteral("symbol")), data);

    const QrOracle::Matrix theirs = QrOracle::qrencodeMatrix(data, c.version, c.level, c.mode);
    const std::vector<std::string> differences =
        QrOracle::symbolDifferences(ours, theirs, c.version, c.level);
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

INSTANTIATE_TEST_SUITE_P(Table, QrOracleTable, ::testing::ValuesIn(oracleCases()), [](const auto& info) {
    return info.param.name();
});

namespace {
// Runs qr_symbol; returns its exit code and keeps its error output.
int runTool(const QStringList& arguments, QByteArray* errors = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral(QR_SYMBOL_PROGRAM), arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    if (errors)
        *errors = tool.readAllStandardError();
    return tool.exitCode();
}

QrOracle::Matrix readMatrix(const QString& path)
{
    QrOracle::Matrix rows;
    for (const QByteArray& line : TestSupport::readFile(path).split('\n')) {
        if (!line.isEmpty())
            rows.push_back(line.toStdString());
    }
    return rows;
}
} // namespace

TEST(QrSymbolTool, WritesImageAndMatrixOfTheChosenSymbol)
{
    const QByteArray text = "HELLO QR SYMBOL TOOL";
    ASSERT_EQ(runTool({"--level", "Q", "--version", "5", "--mode", "alphanumeric", "--mask", "3", "--png",
                       "tool.png", "--matrix", "tool.txt", QString::fromLatin1(text)}),
              0);
    EXPECT_EQ(QrOracle::zbarDecode(QStringLiteral("tool.png")), text);
    const QrOracle::Matrix matrix = readMatrix(QStringLiteral("tool.txt"));
    EXPECT_EQ(QrOracle::readFormat(matrix).mask, 3);
    const QrOracle::Matrix theirs =
        QrOracle::qrencodeMatrix(text, 5, CorrectionLevel::Q, QRCodeMethod::Alphabetic);
    const std::vector<std::string> differences =
        QrOracle::symbolDifferences(matrix, theirs, 5, CorrectionLevel::Q);
    EXPECT_TRUE(differences.empty()) << differences.size() << " differences, first: " << differences.front();
}

TEST(QrSymbolTool, EncodesTheBytesOfAFile)
{
    QByteArray data;
    for (int i = 0; i < 256; ++i)
        data += static_cast<char>(i);
    QFile file(QStringLiteral("badge.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(data), data.size());
    file.close();
    ASSERT_EQ(runTool({"--file", "badge.bin", "--scale", "3", "--png", "badge.png"}), 0);
    EXPECT_EQ(QrOracle::zbarDecode(QStringLiteral("badge.png")), data);
}

TEST(QrSymbolTool, RefusesWhatTheGeneratorRefuses)
{
    QByteArray errors;
    EXPECT_EQ(runTool({"--mask", "8", "--matrix", "-", "x"}, &errors), 1);
    EXPECT_TRUE(errors.contains("No such mask. Use 0 to 7")) << errors.toStdString();
    EXPECT_EQ(runTool({"--mode", "numeric", "--matrix", "-", "12a"}, &errors), 1);
    EXPECT_TRUE(errors.contains("No such digit")) << errors.toStdString();
    EXPECT_EQ(runTool({"--version", "1", "--matrix", "-", QString(40, QLatin1Char('x'))}, &errors), 1);
    EXPECT_TRUE(errors.contains("This version is too low")) << errors.toStdString();
}
