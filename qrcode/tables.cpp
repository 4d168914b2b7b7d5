#include "tables.h"

#include <stdexcept>

namespace Tables {

namespace {

// Error correction codewords per block and number of blocks, per level and
// version, as the symbol standard tabulates them.
const std::map<CorrectionLevel, std::array<unsigned, 40>> ec_per_block = {
    {CorrectionLevel::L, {7, 10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
                          28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}},
    {CorrectionLevel::M, {10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
                          26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28}},
    {CorrectionLevel::Q, {13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
                          28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}},
    {CorrectionLevel::H, {17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
                          30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}},
};

const std::map<CorrectionLevel, std::array<unsigned char, 40>> blocks_per_version = {
    {CorrectionLevel::L, {1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8,
                          8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25}},
    {CorrectionLevel::M, {1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16,
                          17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49}},
    {CorrectionLevel::Q, {1, 1, 2, 2, 4, 4, 6, 6, 8, 8, 8, 10, 12, 16, 12, 17, 16, 18, 21, 20,
                          23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68}},
    {CorrectionLevel::H, {1, 1, 2, 4, 4, 4, 5, 6, 8, 8, 11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
                          25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81}},
};

// Full list of alignment coordinates of every version from 2 on.
const std::array<std::vector<unsigned char>, 40> alignment_full = {{
    {},
    {6, 18}, {6, 22}, {6, 26}, {6, 30}, {6, 34},
    {6, 22, 38}, {6, 24, 42}, {6, 26, 46}, {6, 28, 50}, {6, 30, 54}, {6, 32, 58}, {6, 34, 62},
    {6, 26, 46, 66}, {6, 26, 48, 70}, {6, 26, 50, 74}, {6, 30, 54, 78}, {6, 30, 56, 82}, {6, 30, 58, 86},
    {6, 34, 62, 90},
    {6, 28, 50, 72, 94}, {6, 26, 50, 74, 98}, {6, 30, 54, 78, 102}, {6, 28, 54, 80, 106},
    {6, 32, 58, 84, 110}, {6, 30, 58, 86, 114}, {6, 34, 62, 90, 118},
    {6, 26, 50, 74, 98, 122}, {6, 30, 54, 78, 102, 126}, {6, 26, 52, 78, 104, 130},
    {6, 30, 56, 82, 108, 134}, {6, 34, 60, 86, 112, 138}, {6, 30, 58, 86, 114, 142},
    {6, 34, 62, 90, 118, 146},
    {6, 30, 54, 78, 102, 126, 150}, {6, 24, 50, 76, 102, 128, 154}, {6, 28, 54, 80, 106, 132, 158},
    {6, 32, 58, 84, 110, 136, 162}, {6, 26, 54, 82, 110, 138, 166}, {6, 30, 58, 86, 114, 142, 170},
}};

// Codewords of a version (0-based): its modules less the function patterns
// and the format and version information, in whole bytes.
unsigned total_codewords(unsigned version)
{
    const unsigned side = 4 * version + 21;
    unsigned modules = side * side - 3 * 64 - 2 * (side - 16) - 31;
    const unsigned coordinates = static_cast<unsigned>(alignment_full[version].size());
    if (coordinates == 2) {
        modules -= 25;
    } else if (coordinates > 2) {
        // Every pair but the three on the finder patterns; the ones on row or
        // column 6 share five modules with a timing pattern.
        modules -= 25 * (coordinates * coordinates - 3) - 10 * (coordinates - 2);
        modules -= 36;
    }
    return modules / 8;
}

std::map<CorrectionLevel, std::array<unsigned, 40>> make_capabilities()
{
    std::map<CorrectionLevel, std::array<unsigned, 40>> result;
    for (const auto& [level, ec] : ec_per_block) {
        for (unsigned v = 0; v < 40; ++v)
            result[level][v] = 8 * (total_codewords(v) - ec[v] * blocks_per_version.at(level)[v]);
    }
    return result;
}

std::array<unsigned char, 256> make_powers()
{
    std::array<unsigned char, 256> result{};
    unsigned value = 1;
    for (unsigned i = 0; i < 256; ++i) {
        result[i] = static_cast<unsigned char>(value);
        value <<= 1;
        if (value & 0x100)
            value ^= 0x11D;
    }
    return result;
}

std::array<unsigned char, 256> make_logarithms(const std::array<unsigned char, 256>& powers)
{
    std::array<unsigned char, 256> result{};
    for (unsigned i = 0; i < 255; ++i)
        result[powers[i]] = static_cast<unsigned char>(i);
    return result;
}

// (x - a^0)(x - a^1)...(x - a^(degree-1)), multiplied out in GF(256).
std::vector<unsigned char> make_generator(unsigned degree, const std::array<unsigned char, 256>& powers,
                                          const std::array<unsigned char, 256>& logs)
{
    auto multiply = [&](unsigned char a, unsigned char b) -> unsigned char {
        if (a == 0 || b == 0)
            return 0;
        return powers[(logs[a] + logs[b]) % 255];
    };
    // Coefficients from the highest power down; starts as the polynomial 1.
    std::vector<unsigned char> coefficients = {1};
    for (unsigned i = 0; i < degree; ++i) {
        std::vector<unsigned char> next(coefficients.size() + 1, 0);
        for (std::size_t k = 0; k < coefficients.size(); ++k) {
            next[k] ^= coefficients[k];
            next[k + 1] ^= multiply(coefficients[k], powers[i]);
        }
        coefficients = next;
    }
    std::vector<unsigned char> exponents;
    for (std::size_t k = 1; k < coefficients.size(); ++k)
        exponents.push_back(logs[coefficients[k]]);
    return exponents;
}

std::map<unsigned, std::vector<unsigned char>> make_generators()
{
    std::map<unsigned, std::vector<unsigned char>> result;
    for (const auto& entry : ec_per_block) {
        for (unsigned degree : entry.second)
            result.emplace(degree, std::vector<unsigned char>());
    }
    for (auto& [degree, exponents] : result)
        exponents = make_generator(degree, galois_field, reverse_galois_field);
    return result;
}

std::array<std::vector<unsigned char>, 40> make_alignment_coordinates()
{
    std::array<std::vector<unsigned char>, 40> result = alignment_full;
    for (unsigned v = 1; v < 6; ++v)
        result[v] = {alignment_full[v][1]};
    return result;
}

unsigned mask_0(unsigned i, unsigned j) { return (i + j) % 2; }
unsigned mask_1(unsigned i, unsigned) { return i % 2; }
unsigned mask_2(unsigned, unsigned j) { return j % 3; }
unsigned mask_3(unsigned i, unsigned j) { return (i + j) % 3; }
unsigned mask_4(unsigned i, unsigned j) { return (i / 2 + j / 3) % 2; }
unsigned mask_5(unsigned i, unsigned j) { return (i * j) % 2 + (i * j) % 3; }
unsigned mask_6(unsigned i, unsigned j) { return ((i * j) + (i * j) % 3) % 2; }
unsigned mask_7(unsigned i, unsigned j) { return (i + j + (i * j) % 3) % 2; }

} // namespace

const std::map<CorrectionLevel, std::array<unsigned, 40>> max_capability = make_capabilities();

const std::map<QRCodeMethod, unsigned> mode_indicator = {
    {QRCodeMethod::Numeric, 1}, {QRCodeMethod::Alphabetic, 2}, {QRCodeMethod::Byte, 4}};

const std::map<QRCodeMethod, std::array<std::pair<signed char, unsigned char>, 3>> data_amount_lengths = {
    {QRCodeMethod::Numeric, {{{0, 10}, {9, 12}, {26, 14}}}},
    {QRCodeMethod::Alphabetic, {{{0, 9}, {9, 11}, {26, 13}}}},
    {QRCodeMethod::Byte, {{{0, 8}, {9, 16}, {26, 16}}}},
};

const std::map<CorrectionLevel, std::array<unsigned char, 40>> data_blocks_number = blocks_per_version;
const std::map<CorrectionLevel, std::array<unsigned, 40>> correction_bytes_num = ec_per_block;

const std::array<unsigned char, 256> galois_field = make_powers();
const std::array<unsigned char, 256> reverse_galois_field = make_logarithms(galois_field);
const std::map<unsigned, std::vector<unsigned char>> reed_solomon_generative_polynomial = make_generators();

const std::array<std::vector<unsigned char>, 40> alignment_patterns_coordinates = make_alignment_coordinates();

const std::array<std::array<unsigned char, 3>, 34> version_codes = {{
    {2, 30, 38}, {17, 28, 56}, {55, 24, 4}, {41, 62, 0}, {15, 58, 60}, {13, 36, 26}, {43, 32, 38},
    {53, 6, 34}, {19, 2, 30}, {28, 17, 28}, {58, 21, 32}, {36, 51, 36}, {2, 55, 24}, {0, 41, 62},
    {38, 45, 2}, {56, 11, 6}, {30, 15, 58}, {13, 13, 36}, {43, 9, 24}, {53, 47, 28}, {19, 43, 32},
    {17, 53, 6}, {55, 49, 58}, {41, 23, 62}, {15, 19, 2}, {40, 24, 45}, {14, 28, 17}, {16, 58, 21},
    {54, 62, 41}, {52, 32, 15}, {18, 36, 51}, {12, 2, 55}, {42, 6, 11}, {57, 4, 21},
}};

const std::map<CorrectionLevel, std::array<unsigned, 8>> corr_lvl_and_mask_codes = {
    {CorrectionLevel::L, {30660, 29427, 32170, 30877, 26159, 25368, 27713, 26998}},
    {CorrectionLevel::M, {21522, 20773, 24188, 23371, 17913, 16590, 20375, 19104}},
    {CorrectionLevel::Q, {13663, 12392, 16177, 14854, 9396, 8579, 11994, 11245}},
    {CorrectionLevel::H, {5769, 5054, 7399, 6608, 1890, 597, 3340, 2107}},
};

const std::array<unsigned (*)(unsigned, unsigned), 8> mask_functions = {
    mask_0, mask_1, mask_2, mask_3, mask_4, mask_5, mask_6, mask_7};

const std::string alphabetic = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";

bool is_alphabetic(char c)
{
    return alphabetic.find(c) != std::string::npos;
}

void check_level(CorrectionLevel level)
{
    if (static_cast<unsigned>(level) > static_cast<unsigned>(CorrectionLevel::H))
        throw std::invalid_argument("No such correction level. Use L, M, Q or H");
}

void check_version(signed char version)
{
    if (version < 0 || version >= versions_count)
        throw std::invalid_argument("No such QR code version. Use 0 to 39 for versions 1 to 40");
}

void check_mask(unsigned char mask)
{
    if (mask >= masks_count)
        throw std::invalid_argument("No such mask. Use 0 to 7");
}

} // namespace Tables
