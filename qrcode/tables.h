#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "qr_types.h"

// The constant tables of the symbol format. Versions are counted from 0
// (0 = version 1, 39 = version 40) throughout the generator.
namespace Tables {

constexpr signed char versions_count = 40;
constexpr unsigned char masks_count = 8;

// Data capacity of each version in bits (data codewords times 8).
extern const std::map<CorrectionLevel, std::array<unsigned, 40>> max_capability;
// The 4-bit mode indicator of each method.
extern const std::map<QRCodeMethod, unsigned> mode_indicator;
// Width of the character count: (first version, width) pairs; a pair holds
// from its version up to the next pair's.
extern const std::map<QRCodeMethod, std::array<std::pair<signed char, unsigned char>, 3>> data_amount_lengths;
// Error correction blocks per version, and error correction codewords per block.
extern const std::map<CorrectionLevel, std::array<unsigned char, 40>> data_blocks_number;
extern const std::map<CorrectionLevel, std::array<unsigned, 40>> correction_bytes_num;
// Generator polynomial of each degree used: the exponents of the coefficients
// from x^(n-1) down to x^0; the leading 1 of x^n is not kept.
extern const std::map<unsigned, std::vector<unsigned char>> reed_solomon_generative_polynomial;
// Powers of the primitive element in GF(256) (reducing polynomial 0x11D) and
// their logarithms (entry 0 of the logarithms is never used).
extern const std::array<unsigned char, 256> galois_field;
extern const std::array<unsigned char, 256> reverse_galois_field;
// Centre coordinates of the alignment patterns: none for version 1, the one
// coordinate other than 6 for versions 2 to 6, the full list from version 7.
extern const std::array<std::vector<unsigned char>, 40> alignment_patterns_coordinates;
// Version information of versions 7 to 40, in three groups of six bits:
// byte k holds bits k, k+3, ..., k+15 of the 18-bit word, bit k highest.
extern const std::array<std::array<unsigned char, 3>, 34> version_codes;
// The 15-bit format information of each level and mask, already XORed with
// the format mask 101010000010010.
extern const std::map<CorrectionLevel, std::array<unsigned, 8>> corr_lvl_and_mask_codes;
// Mask conditions of (row, column): a module is inverted where the function
// gives 0.
extern const std::array<unsigned (*)(unsigned, unsigned), 8> mask_functions;
// The alphanumeric set; a character's value is its position.
extern const std::string alphabetic;

bool is_alphabetic(char c);

// Guards for values that come from callers: each throws std::invalid_argument.
void check_level(CorrectionLevel level);
void check_version(signed char version);
void check_mask(unsigned char mask);

} // namespace Tables
