// Data encoding: the version chosen at the capacity boundaries of the
// standard's table, the bit stream's layout, mode detection, and refusal of
// what cannot be encoded.

#include <ostream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "qrcode/bit_array.h"
#include "qrcode/encoder.h"
#include "qrcode/method.h"
#include "qrcode/qr_code.h"
#include "qrcode/tables.h"
#include "support/test_support.h"

namespace {
using Bytes = std::vector<unsigned char>;

Bytes bytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes digits(unsigned count)
{
    Bytes result;
    for (unsigned i = 0; i < count; ++i)
        result.push_back(static_cast<unsigned char>('0' + i % 10));
    return result;
}

const char* const tooMuchData =
    "Too much data. There is no such QR code version that can store so mush characters";
const char* const versionTooLow =
    "This version is too low for input of this size. Set negative version to calculate it dynamicly";

// The exception a call throws: its type name and text ("" when none).
template <typename Call> std::string thrown(Call call)
{
    try {
        call();
    } catch (const std::invalid_argument& e) {
        return std::string("invalid_argument: ") + e.what();
    } catch (const std::out_of_range& e) {
        return std::string("out_of_range: ") + e.what();
    } catch (const std::runtime_error& e) {
        return std::string("runtime_error: ") + e.what();
    } catch (const std::exception& e) {
        return std::string(typeid(e).name()) + ": " + e.what();
    }
    return std::string();
}

struct CapacityCase
{
    const char* name;
    CorrectionLevel level;
    QRCodeMethod method;
    unsigned count;
    int fixedVersion;    // 1 to 40, or 0 to choose
    int expectedVersion; // 1 to 40, or 0 when refused
    std::string error;
};

void PrintTo(const CapacityCase& c, std::ostream* os)
{
    *os << c.name;
}

class QrCapacity : public ::testing::TestWithParam<CapacityCase>
{
};
} // namespace

TEST_P(QrCapacity, ChoosesOrRefusesTheVersion)
{
    const CapacityCase& c = GetParam();
    const Bytes data = c.method == QRCodeMethod::Numeric ? digits(c.count) : Bytes(c.count, 'a');
    const signed char version = static_cast<signed char>(c.fixedVersion - 1);
    if (c.expectedVersion == 0) {
        EXPECT_EQ(thrown([&] { Encoder(data, c.level, c.method, version); }), c.error);
        return;
    }
    Encoder encoder(data, c.level, c.method, version);
    EXPECT_EQ(encoder.get_version() + 1, c.expectedVersion);
    EXPECT_EQ(encoder.get_data().size(), Tables::max_capability.at(c.level)[c.expectedVersion - 1]);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    QrCapacity,
    ::testing::Values(
        CapacityCase{"FortyOneDigitsFitOneL", CorrectionLevel::L, QRCodeMethod::Numeric, 41, 0, 1, ""},
        CapacityCase{"FortyOneDigitsFitFixedOneL", CorrectionLevel::L, QRCodeMethod::Numeric, 41, 1, 1, ""},
        CapacityCase{"FortyTwoDigitsTakeTwoL", CorrectionLevel::L, QRCodeMethod::Numeric, 42, 0, 2, ""},
        CapacityCase{"FortyTwoDigitsRefusedAtFixedOneL", CorrectionLevel::L, QRCodeMethod::Numeric, 42, 1, 0,
                     std::string("invalid_argument: ") + versionTooLow},
        // 4 + 10 + 11 x 10 + 4 bits: exactly the 128 of version 1-M.
        CapacityCase{"ThirtyFourDigitsFillOneM", CorrectionLevel::M, QRCodeMethod::Numeric, 34, 0, 1, ""},
        CapacityCase{"ThirtyFourDigitsFillFixedOneM", CorrectionLevel::M, QRCodeMethod::Numeric, 34, 1, 1,
                     ""},
        CapacityCase{"ThirtyFiveDigitsTakeTwoM", CorrectionLevel::M, QRCodeMethod::Numeric, 35, 0, 2, ""},
        CapacityCase{"Bytes2953FitFortyL", CorrectionLevel::L, QRCodeMethod::Byte, 2953, 0, 40, ""},
        CapacityCase{"Bytes2953FitFixedFortyL", CorrectionLevel::L, QRCodeMethod::Byte, 2953, 40, 40, ""},
        CapacityCase{"Bytes2954RefusedAtL", CorrectionLevel::L, QRCodeMethod::Byte, 2954, 0, 0,
                     std::string("runtime_error: ") + tooMuchData},
        // Fits version 10 with an 8-bit count, but version 10 counts in 16 bits.
        CapacityCase{"Bytes272TakeElevenL", CorrectionLevel::L, QRCodeMethod::Byte, 272, 0, 11, ""},
        CapacityCase{"Bytes271FitTenL", CorrectionLevel::L, QRCodeMethod::Byte, 271, 0, 10, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QrEncoder, EmptyInputIsModeCountAndPadding)
{
    Encoder encoder(Bytes(), CorrectionLevel::M, QRCodeMethod::Byte, -1);
    EXPECT_EQ(encoder.get_version(), 0);
    Bytes expected = {0x40, 0x00};
    for (int i = 0; i < 14; ++i)
        expected.push_back(i % 2 == 0 ? 236 : 17);
    EXPECT_EQ(encoder.get_data().get_bytes(), expected);
}

TEST(QrEncoder, AlphanumericPairsAndLastSingle)
{
    Encoder encoder(bytes("AB1"), CorrectionLevel::M, QRCodeMethod::Alphabetic, -1);
    const std::string stream(encoder.get_data());
    // Mode 0010, count 3 in 9 bits, 45 x 10 + 11 = 461 in 11 bits, 1 in 6
    // bits, terminator, zero bits to the byte, then the pad bytes.
    EXPECT_EQ(stream.substr(0, 56), std::string("0010") + "000000011" + "00111001101" + "000001" + "0000"
                                        + "000000" + "11101100" + "00010001");
}

TEST(QrEncoder, FullStreamHasNoTerminator)
{
    Encoder encoder(digits(34), CorrectionLevel::M, QRCodeMethod::Numeric, 0);
    const std::string stream(encoder.get_data());
    ASSERT_EQ(stream.size(), 128u);
    // 34 = 11 x 3 + 1 digits: the single last digit, 3, ends the symbol.
    EXPECT_EQ(stream.substr(124), "0011");
}

TEST(QrEncoder, DetectsTheNarrowestMode)
{
    EXPECT_EQ(Method::determite_method(bytes("")), QRCodeMethod::Numeric);
    EXPECT_EQ(Method::determite_method(bytes("0123456789")), QRCodeMethod::Numeric);
    EXPECT_EQ(Method::determite_method(bytes("HELLO WORLD")), QRCodeMethod::Alphabetic);
    EXPECT_EQ(Method::determite_method(bytes("09 $%*+-./:AZ")), QRCodeMethod::Alphabetic);
    EXPECT_EQ(Method::determite_method(bytes("12a")), QRCodeMethod::Byte);
    EXPECT_EQ(Method::determite_method(bytes("AB\xC4")), QRCodeMethod::Byte);
    EXPECT_EQ(Method::determite_method(bytes("AB=")), QRCodeMethod::Byte);
}

TEST(QrEncoder, ShortInputsGoAsBytes)
{
    // Up to version 1's 16 data bytes at level M the mode is bytes.
    EXPECT_EQ(QRCode(digits(14), CorrectionLevel::M, QRCodeMethod::Dynamic, -1).get_method(),
              QRCodeMethod::Byte);
    EXPECT_EQ(QRCode(digits(16), CorrectionLevel::M, QRCodeMethod::Dynamic, -1).get_method(),
              QRCodeMethod::Byte);
    EXPECT_EQ(QRCode(digits(17), CorrectionLevel::M, QRCodeMethod::Dynamic, -1).get_method(),
              QRCodeMethod::Numeric);
    EXPECT_EQ(QRCode(bytes("HELLO WORLD 12345"), CorrectionLevel::M, QRCodeMethod::Dynamic, -1).get_method(),
              QRCodeMethod::Alphabetic);
}

namespace {
struct RefusalCase
{
    const char* name;
    Bytes data;
    int level;
    QRCodeMethod method;
    int version; // 0-based as the generator counts; negative to choose
    int mask;    // -1 to choose
    std::string error;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class QrRefusal : public ::testing::TestWithParam<RefusalCase>
{
};
} // namespace

TEST_P(QrRefusal, ThrowsInsteadOfEncoding)
{
    const RefusalCase& c = GetParam();
    const CorrectionLevel level = static_cast<CorrectionLevel>(c.level);
    const signed char version = static_cast<signed char>(c.version);
    EXPECT_EQ(thrown([&] {
                  if (c.mask < 0)
                      QRCode(c.data, level, c.method, version);
                  else
                      QRCode(c.data, level, c.method, version, static_cast<unsigned char>(c.mask));
              }),
              c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    QrRefusal,
    ::testing::Values(
        RefusalCase{"VersionAboveForty", bytes("1"), 1, QRCodeMethod::Byte, 40, -1,
                    "invalid_argument: No such QR code version. Use 0 to 39 for versions 1 to 40"},
        RefusalCase{"VersionFarAboveForty", bytes("1"), 1, QRCodeMethod::Dynamic, 127, 0,
                    "invalid_argument: No such QR code version. Use 0 to 39 for versions 1 to 40"},
        RefusalCase{"MaskAboveSeven", bytes("1"), 1, QRCodeMethod::Byte, -1, 8,
                    "invalid_argument: No such mask. Use 0 to 7"},
        RefusalCase{"MaskFarAboveSeven", bytes("1"), 1, QRCodeMethod::Byte, 3, 255,
                    "invalid_argument: No such mask. Use 0 to 7"},
        RefusalCase{"LevelAboveH", bytes("1"), 4, QRCodeMethod::Byte, -1, -1,
                    "invalid_argument: No such correction level. Use L, M, Q or H"},
        RefusalCase{"LevelFarAboveH", bytes("1"), 200, QRCodeMethod::Dynamic, 0, 2,
                    "invalid_argument: No such correction level. Use L, M, Q or H"},
        RefusalCase{"NumericWithLetter", bytes("12A"), 1, QRCodeMethod::Numeric, -1, -1,
                    "runtime_error: No such digit. Use alphabetic or bytes QR code method."},
        RefusalCase{"NumericWithHighByte", bytes("1\xB2"), 1, QRCodeMethod::Numeric, -1, -1,
                    "runtime_error: No such digit. Use alphabetic or bytes QR code method."},
        RefusalCase{"AlphanumericWithLowerCase", bytes("ABc"), 1, QRCodeMethod::Alphabetic, -1, -1,
                    "runtime_error: No such character in alphabet. Use bytes QR code method."},
        RefusalCase{"BytesTooManyForFixedVersion", Bytes(15, 'x'), 1, QRCodeMethod::Byte, 0, -1,
                    std::string("invalid_argument: ") + versionTooLow},
        RefusalCase{"BytesTooManyForAnyVersion", Bytes(2332, 'x'), 1, QRCodeMethod::Dynamic, -1, -1,
                    std::string("runtime_error: ") + tooMuchData}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QrEncoder, BitArrayWritesOnlyWithinItsBits)
{
    BitArray bits(12);
    bits.set(8, 0xF, 4);
    bits.set(0, 0xA5, 8);
    bits.set(2, 0, 2);
    EXPECT_EQ(std::string(bits), "100001011111");
    EXPECT_EQ(thrown([&] { bits.get(12); }), "out_of_range: No such element in array");
    EXPECT_EQ(thrown([&] { bits.set(12, true); }), "out_of_range: No such element in array");
    EXPECT_EQ(thrown([&] { bits.set(9, 0, 4); }),
              "out_of_range: Number of bits to write from this index is more than BitArray capability");
}
