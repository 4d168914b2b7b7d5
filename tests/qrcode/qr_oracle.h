#pragma once

#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "qrcode/qr_types.h"

// What the tests know of QR code symbols without asking our generator, and
// the outside programs that judge its output.
namespace QrOracle {
// A symbol as rows of '1' (dark) and '0' (light).
using Matrix = std::vector<std::string>;

Matrix fromModules(const std::vector<std::vector<Trit>>& modules);

// Runs a program; fails the test (and returns empty) unless it exits with 0.
QByteArray run(const QString& program, const QStringList& arguments, QByteArray* errors = nullptr);

// The bytes zbarimg reads from an image file (empty when it finds no symbol).
QByteArray zbarDecode(const QString& imagePath);

// The matrix qrencode makes of data at a version (1 to 40) and level, in one
// segment of the mode (byte mode forced; numeric and alphanumeric data are
// one segment of their mode by themselves).
Matrix qrencodeMatrix(const QByteArray& data, int version, CorrectionLevel level, QRCodeMethod mode);

// BCH(15,5) format word of a level and mask, XORed with 101010000010010.
unsigned formatWord(CorrectionLevel level, int mask);
// BCH(18,6) version word of a version from 7 to 40.
unsigned versionWord(int version);

// The level and mask a symbol's format information names (both copies
// must agree and be a valid word); mask -1 when they do not.
struct Format
{
    CorrectionLevel level = CorrectionLevel::L;
    int mask = -1;
};
Format readFormat(const Matrix& symbol);

// The data mask condition of the symbol standard: true where a module is
// inverted.
bool masked(int mask, int row, int column);

// Failures comparing two symbols of the same data, version and level: with
// equal masks every module; else every function module directly and every
// data module after unmasking each symbol with the mask its format names.
std::vector<std::string>
symbolDifferences(const Matrix& ours, const Matrix& theirs, int version, CorrectionLevel level);
} // namespace QrOracle
