// The generator's tables and error correction against the symbol standard:
// its worked example, its generator polynomial of degree 7, and the format and
// version words worked out here by BCH division.

#include <vector>

#include <gtest/gtest.h>

#include "qr_oracle.h"
#include "qrcode/data_blocks.h"
#include "qrcode/encoder.h"
#include "qrcode/qr_matrix.h"
#include "qrcode/tables.h"

namespace {
using Bytes = std::vector<unsigned char>;

// GF(256) product by shift and add, reducing by x^8 + x^4 + x^3 + x^2 + 1.
unsigned char multiply(unsigned char a, unsigned char b)
{
    unsigned product = 0;
    unsigned shifted = a;
    for (; b != 0; b >>= 1) {
        if (b & 1)
            product ^= shifted;
        shifted <<= 1;
        if (shifted & 0x100)
            shifted ^= 0x11D;
    }
    return static_cast<unsigned char>(product);
}

unsigned char power(unsigned exponent)
{
    unsigned char value = 1;
    for (unsigned i = 0; i < exponent; ++i)
        value = multiply(value, 2);
    return value;
}

// The 8-digit version 1-M symbol of the standard's annex: "01234567".
const Bytes workedData = {16, 32, 12, 86, 97, 128, 236, 17, 236, 17, 236, 17, 236, 17, 236, 17};
const Bytes workedCorrection = {165, 36, 212, 193, 237, 54, 199, 135, 44, 85};
} // namespace

TEST(QrTables, WorkedExampleEncodesAndCorrectsAsTheStandardShows)
{
    const Bytes digits = {'0', '1', '2', '3', '4', '5', '6', '7'};
    Encoder encoder(digits, CorrectionLevel::M, QRCodeMethod::Numeric, 0);
    EXPECT_EQ(encoder.get_data().get_bytes(), workedData);

    Bytes expected = workedData;
    expected.insert(expected.end(), workedCorrection.begin(), workedCorrection.end());
    EXPECT_EQ(DataBlocks(workedData, CorrectionLevel::M, 0).get_joined_data_and_EC_blocks(), expected);
}

TEST(QrTables, GeneratorPolynomialsHaveTheirRoots)
{
    EXPECT_EQ(Tables::reed_solomon_generative_polynomial.at(7), Bytes({87, 229, 146, 149, 238, 102, 21}));

    for (const auto& [degree, exponents] : Tables::reed_solomon_generative_polynomial) {
        ASSERT_EQ(exponents.size(), degree);
        // x^n + sum of a^e x^k vanishes at a^0 .. a^(n-1).
        std::vector<unsigned char> coefficients = {1};
        for (const unsigned char exponent : exponents)
            coefficients.push_back(power(exponent));
        for (unsigned root = 0; root < degree; ++root) {
            const unsigned char x = power(root);
            unsigned char value = 0;
            for (const unsigned char c : coefficients)
                value = multiply(value, x) ^ c;
            EXPECT_EQ(value, 0) << "degree " << degree << " root a^" << root;
        }
    }
}

TEST(QrTables, FieldTablesArePowersAndLogarithms)
{
    for (unsigned i = 0; i < 256; ++i)
        ASSERT_EQ(Tables::galois_field[i], power(i)) << i;
    for (unsigned i = 0; i < 255; ++i)
        ASSERT_EQ(Tables::reverse_galois_field[power(i)], i) << i;
}

TEST(QrTables, FormatWordsAreBchCodes)
{
    for (int level = 0; level < 4; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            EXPECT_EQ(Tables::corr_lvl_and_mask_codes.at(static_cast<CorrectionLevel>(level))[mask],
                      QrOracle::formatWord(static_cast<CorrectionLevel>(level), mask))
                << "level " << level << " mask " << mask;
        }
    }
}

TEST(QrTables, VersionWordsAreBchCodesInTheirPlaces)
{
    for (int version = 7; version <= 40; ++version) {
        const unsigned word = QrOracle::versionWord(version);
        QRMatrix matrix(static_cast<signed char>(version - 1));
        matrix.place_metadata(CorrectionLevel::L, 0);
        const unsigned size = 4 * version + 17;
        // Bit i of the word sits at row size - 11 + i mod 3, column i div 3
        // at the bottom left, and transposed at the top right.
        for (unsigned i = 0; i < 18; ++i) {
            const Trit expected = (word >> i) & 1 ? Trit::Dark : Trit::Light;
            ASSERT_EQ(matrix.get(size - 11 + i % 3, i / 3), expected)
                << "version " << version << " bit " << i;
            ASSERT_EQ(matrix.get(i / 3, size - 11 + i % 3), expected)
                << "version " << version << " bit " << i;
        }
    }
}

TEST(QrTables, VersionFiveQSplitsIntoTwoGroupsAndInterleaves)
{
    DataBlocks::Blocks blocks;
    DataBlocks::divide_to_blocks(blocks, 62, Tables::data_blocks_number.at(CorrectionLevel::Q)[4]);
    const DataBlocks::Blocks expected = {{15, 0}, {15, 15}, {16, 30}, {16, 46}};
    EXPECT_EQ(blocks, expected);
    EXPECT_EQ(Tables::correction_bytes_num.at(CorrectionLevel::Q)[4], 18u);

    Bytes data(62);
    for (unsigned i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i);
    const Bytes joined = DataBlocks(data, CorrectionLevel::Q, 4).get_joined_data_and_EC_blocks();
    ASSERT_EQ(joined.size(), 62u + 4 * 18);
    // Codeword i of each block in turn; the last one of the two longer
    // blocks closes the data part.
    EXPECT_EQ(Bytes(joined.begin(), joined.begin() + 5), Bytes({0, 15, 30, 46, 1}));
    EXPECT_EQ(Bytes(joined.begin() + 59, joined.begin() + 62), Bytes({60, 45, 61}));
}
