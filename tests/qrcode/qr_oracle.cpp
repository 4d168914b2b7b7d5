#include "qr_oracle.h"

#include <set>
#include <utility>

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include "qrcode/qr_matrix.h"

namespace QrOracle {
namespace {
unsigned bch(unsigned data, unsigned generator, int degree)
{
    unsigned remainder = data << degree;
    for (int bit = 31; bit >= degree; --bit) {
        if (remainder & (1u << bit))
            remainder ^= generator << (bit - degree);
    }
    return (data << degree) | remainder;
}

// The format bits from bit 14 down to 0: the copy beside the top left finder
// pattern, and the copy split between the other two.
std::vector<std::pair<int, int>> formatPlaces(int size, bool second)
{
    if (!second)
        return {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    std::vector<std::pair<int, int>> places;
    for (int n = 0; n < 7; ++n)
        places.emplace_back(size - 1 - n, 8);
    for (int n = 0; n < 8; ++n)
        places.emplace_back(8, size - 8 + n);
    return places;
}

int levelBits(CorrectionLevel level)
{
    static const int bits[] = {1, 0, 3, 2};
    return bits[static_cast<int>(level)];
}
} // namespace

Matrix fromModules(const std::vector<std::vector<Trit>>& modules)
{
    Matrix rows;
    for (const std::vector<Trit>& row : modules) {
        std::string text;
        for (const Trit module : row)
            text += module == Trit::Dark ? '1' : module == Trit::Light ? '0' : '?';
        rows.push_back(text);
    }
    return rows;
}

QByteArray run(const QString& program, const QStringList& arguments, QByteArray* errors)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (!errors) {
            ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString()
                          << " failed: " << process.readAllStandardError().toStdString();
        } else {
            *errors = process.readAllStandardError();
        }
        return QByteArray();
    }
    if (errors)
        *errors = process.readAllStandardError();
    return process.readAllStandardOutput();
}

QByteArray zbarDecode(const QString& imagePath)
{
    QProcess process;
    process.start(QStringLiteral("zbarimg"),
                  {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sbinary"), imagePath});
    if (!process.waitForFinished(30000))
        ADD_FAILURE() << "zbarimg did not finish";
    // zbarimg exits with 4 when it finds no symbol: the empty result says so.
    return process.readAllStandardOutput();
}

Matrix qrencodeMatrix(const QByteArray& data, int version, CorrectionLevel level, QRCodeMethod mode)
{
    QFile input(QStringLiteral("qrencode-input.bin"));
    if (!input.open(QIODevice::WriteOnly | QIODevice::Truncate) || input.write(data) != data.size()) {
        ADD_FAILURE() << "cannot write the input of qrencode";
        return {};
    }
    input.close();
    QStringList arguments = {
        QStringLiteral("-t"), QStringLiteral("ASCII"),  QStringLiteral("-m"),
        QStringLiteral("0"),  QStringLiteral("-l"),     QString(QLatin1Char("LMQH"[static_cast<int>(level)])),
        QStringLiteral("-v"), QString::number(version), QStringLiteral("-r"),
        input.fileName(),     QStringLiteral("-o"),     QStringLiteral("-")};
    if (mode == QRCodeMethod::Byte)
        arguments << QStringLiteral("-8");
    const QByteArray text = run(QStringLiteral("qrencode"), arguments);
    // Two characters a module: "##" dark, "  " light.
    Matrix rows;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        std::string row;
        for (int i = 0; i + 1 < line.size(); i += 2)
            row += line.at(i) == '#' ? '1' : '0';
        rows.push_back(row);
    }
    return rows;
}

unsigned formatWord(CorrectionLevel level, int mask)
{
    return bch(static_cast<unsigned>(levelBits(level) << 3 | mask), 0x537, 10) ^ 0x5412;
}

unsigned versionWord(int version)
{
    return bch(static_cast<unsigned>(version), 0x1F25, 12);
}

Format readFormat(const Matrix& symbol)
{
    const int size = static_cast<int>(symbol.size());
    unsigned copies[2] = {0, 0};
    for (int copy = 0; copy < 2; ++copy) {
        for (const auto& [row, column] : formatPlaces(size, copy == 1))
            copies[copy] = copies[copy] << 1 | (symbol[row][column] == '1' ? 1u : 0u);
    }
    Format format;
    if (copies[0] != copies[1])
        return format;
    for (int level = 0; level < 4; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            if (formatWord(static_cast<CorrectionLevel>(level), mask) == copies[0]) {
                format.level = static_cast<CorrectionLevel>(level);
                format.mask = mask;
            }
        }
    }
    return format;
}

bool masked(int mask, int i, int j)
{
    switch (mask) {
    case 0:
        return (i + j) % 2 == 0;
    case 1:
        return i % 2 == 0;
    case 2:
        return j % 3 == 0;
    case 3:
        return (i + j) % 3 == 0;
    case 4:
        return (i / 2 + j / 3) % 2 == 0;
    case 5:
        return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
        return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default:
        return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    }
}

std::vector<std::string>
symbolDifferences(const Matrix& ours, const Matrix& theirs, int version, CorrectionLevel level)
{
    std::vector<std::string> differences;
    const int size = 4 * version + 17;
    auto square = [size](const Matrix& m) {
        if (static_cast<int>(m.size()) != size)
            return false;
        for (const std::string& row : m) {
            if (static_cast<int>(row.size()) != size)
                return false;
        }
        return true;
    };
    if (!square(ours) || !square(theirs)) {
        differences.push_back("sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size())
                              + ", not " + std::to_string(size));
        return differences;
    }
    const Format ourFormat = readFormat(ours);
    const Format theirFormat = readFormat(theirs);
    if (ourFormat.mask < 0 || ourFormat.level != level)
        differences.push_back("our format information does not name the level");
    if (theirFormat.mask < 0 || theirFormat.level != level)
        differences.push_back("qrencode's format information does not name the level");
    if (!differences.empty())
        return differences;

    if (ourFormat.mask == theirFormat.mask) {
        for (int r = 0; r < size; ++r) {
            if (ours[r] != theirs[r])
                differences.push_back("row " + std::to_string(r) + ": " + ours[r] + " / " + theirs[r]);
        }
        return differences;
    }

    // Function modules are where the finished pattern drawing leaves no data.
    QRMatrix functions(static_cast<signed char>(version - 1));
    functions.draw_patterns();
    functions.place_metadata(level, 0);
    std::set<std::pair<int, int>> format;
    for (int copy = 0; copy < 2; ++copy) {
        for (const auto& place : formatPlaces(size, copy == 1))
            format.insert(place);
    }
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            if (format.count({r, c}))
                continue;
            bool ourDark = ours[r][c] == '1';
            bool theirDark = theirs[r][c] == '1';
            if (functions.get(r, c) == Trit::Unset) {
                ourDark ^= masked(ourFormat.mask, r, c);
                theirDark ^= masked(theirFormat.mask, r, c);
            }
            if (ourDark != theirDark)
                differences.push_back("module (" + std::to_string(r) + ", " + std::to_string(c) + ")");
        }
    }
    return differences;
}
} // namespace QrOracle
