#include "qr_matrix.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "tables.h"

namespace {

struct Module
{
    unsigned row;
    unsigned column;
};

// The two places of each format bit, from bit 14 down to bit 0: one copy
// around the top left finder pattern, one split between the other two.
std::array<std::array<Module, 2>, 15> format_places(unsigned s)
{
    static const Module first[15] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                     {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    std::array<std::array<Module, 2>, 15> places{};
    for (unsigned n = 0; n < 15; ++n) {
        places[n][0] = first[n];
        places[n][1] = n < 7 ? Module{s - 1 - n, 8} : Module{8, s - 8 + (n - 7)};
    }
    return places;
}

// The largest side, 177 modules, and four light modules on either side fit
// in a line of 192 bits; bit k is module k of the row or column.
constexpr unsigned max_side = 177;
constexpr unsigned line_words = 3;

struct Line
{
    std::uint64_t w[line_words] = {0, 0, 0};
};

Line operator&(const Line& a, const Line& b)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = a.w[i] & b.w[i];
    return r;
}

Line operator|(const Line& a, const Line& b)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = a.w[i] | b.w[i];
    return r;
}

Line operator^(const Line& a, const Line& b)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = a.w[i] ^ b.w[i];
    return r;
}

Line operator~(const Line& a)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = ~a.w[i];
    return r;
}

// Module k + n moves to k (n from 1 to 63).
Line operator>>(const Line& a, unsigned n)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = (a.w[i] >> n) | (i + 1 < line_words ? a.w[i + 1] << (64 - n) : 0);
    return r;
}

// Module k moves to k + n (n from 1 to 63).
Line operator<<(const Line& a, unsigned n)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i)
        r.w[i] = (a.w[i] << n) | (i > 0 ? a.w[i - 1] >> (64 - n) : 0);
    return r;
}

unsigned count(const Line& a)
{
    unsigned n = 0;
    for (unsigned i = 0; i < line_words; ++i)
        n += static_cast<unsigned>(std::bitset<64>(a.w[i]).count());
    return n;
}

void set_bit(Line& a, unsigned k)
{
    a.w[k / 64] |= std::uint64_t(1) << (k % 64);
}

void clear_bit(Line& a, unsigned k)
{
    a.w[k / 64] &= ~(std::uint64_t(1) << (k % 64));
}

// Modules 0 to n - 1.
Line first_bits(unsigned n)
{
    Line r;
    for (unsigned i = 0; i < line_words; ++i) {
        if (n >= 64 * (i + 1))
            r.w[i] = ~std::uint64_t(0);
        else if (n > 64 * i)
            r.w[i] = (std::uint64_t(1) << (n - 64 * i)) - 1;
    }
    return r;
}

// The modules to invert of each mask, by rows and by columns. Every mask
// repeats itself after 12 rows and after 12 columns.
struct MaskPatterns
{
    Line rows[8][12];
    Line columns[8][12];
};

const MaskPatterns& mask_patterns()
{
    static const MaskPatterns patterns = [] {
        MaskPatterns p;
        for (unsigned m = 0; m < 8; ++m) {
            for (unsigned i = 0; i < 12; ++i) {
                for (unsigned k = 0; k < max_side; ++k) {
                    if (Tables::mask_functions[m](i, k) == 0)
                        set_bit(p.rows[m][i], k);
                    if (Tables::mask_functions[m](k, i) == 0)
                        set_bit(p.columns[m][i], k);
                }
            }
        }
        return p;
    }();
    return patterns;
}

// Runs of five or more modules of one colour score 3, plus 1 for each module
// past five. The finder-like pattern dark-light-dark-dark-dark-light-dark with
// four light modules before or after it scores 40; outside the symbol counts
// as light, as the quiet zone is.
unsigned line_penalty(const Line& line, unsigned s)
{
    const Line same_as_next = ~(line ^ (line >> 1)) & first_bits(s - 1);
    const Line run_of_five = same_as_next & (same_as_next >> 1) & (same_as_next >> 2) & (same_as_next >> 3);
    const Line run_starts = run_of_five & ~(run_of_five << 1);
    // A run of n modules has n - 4 places where five equal ones begin.
    unsigned score = count(run_of_five) + 2 * count(run_starts);

    const Line x = line << 4;
    const Line core = x & ~(x >> 1) & (x >> 2) & (x >> 3) & (x >> 4) & ~(x >> 5) & (x >> 6);
    const Line light_four = ~(x | (x >> 1) | (x >> 2) | (x >> 3));
    score += 40 * count(core & ((light_four << 4) | (light_four >> 7)));
    return score;
}

unsigned packed_penalty(const std::vector<Line>& rows, const std::vector<Line>& columns, unsigned s)
{
    unsigned score = 0;
    unsigned dark = 0;
    for (unsigned k = 0; k < s; ++k) {
        score += line_penalty(rows[k], s) + line_penalty(columns[k], s);
        dark += count(rows[k]);
    }

    // Each 2 x 2 block of one colour: 3.
    const Line pairs = first_bits(s - 1);
    for (unsigned r = 0; r + 1 < s; ++r) {
        const Line vertical = rows[r] ^ rows[r + 1];
        const Line block = ~vertical & ~(vertical >> 1) & ~(rows[r] ^ (rows[r] >> 1)) & pairs;
        score += 3 * count(block);
    }

    // 10 for each full 5 % that the share of dark modules is off 50 %.
    const unsigned total = s * s;
    const unsigned twenty_dark = 20 * dark;
    const unsigned off = twenty_dark > 10 * total ? twenty_dark - 10 * total : 10 * total - twenty_dark;
    score += 10 * (off / total);
    return score;
}

} // namespace

QRMatrix::QRMatrix(signed char version_)
{
    set_version(version_);
}

unsigned QRMatrix::v_to_size(signed char version)
{
    Tables::check_version(version);
    return 4 * static_cast<unsigned>(version) + 21;
}

void QRMatrix::set_version(signed char version_)
{
    const unsigned s = v_to_size(version_);
    version = version_;
    resize(s, s);
}

void QRMatrix::draw_patterns()
{
    draw_finder_patterns();
    draw_alignment_patters();
    draw_timing_patterns();
    draw_dark_module();
}

void QRMatrix::draw_finder_patterns()
{
    const unsigned s = side();
    draw_finder_square(0, 0);
    draw_finder_square(s - 7, 0);
    draw_finder_square(0, s - 7);
    draw_finder_square_separators();
}

void QRMatrix::draw_finder_square(unsigned row, unsigned column)
{
    static const int pattern[7] = {0x7F, 0x41, 0x5D, 0x5D, 0x5D, 0x41, 0x7F};
    for (unsigned r = 0; r < 7; ++r)
        set(row + r, column, pattern[r], 7);
}

void QRMatrix::draw_finder_square_separators()
{
    const unsigned s = side();
    for (unsigned i = 0; i < 7; ++i) {
        set(7, i, false);
        set(7, s - 7 + i, false);
        set(s - 8, i, false);
    }
    for (unsigned i = 0; i < 8; ++i) {
        set(i, 7, false);
        set(i, s - 8, false);
        set(s - 8 + i, 7, false);
    }
}

void QRMatrix::draw_alignment_patters()
{
    const std::vector<unsigned char>& c = Tables::alignment_patterns_coordinates[version];
    if (c.empty())
        return;
    if (c.size() == 1) {
        draw_alignment_square(c[0], c[0]);
        return;
    }
    // Every pair of coordinates but the three that fall on finder patterns.
    const unsigned char last = c.back();
    for (const unsigned char row : c) {
        for (const unsigned char column : c) {
            const bool on_finder = (row == 6 && column == 6) || (row == 6 && column == last)
                                   || (row == last && column == 6);
            if (!on_finder)
                draw_alignment_square(row, column);
        }
    }
}

void QRMatrix::draw_alignment_square(unsigned row, unsigned column)
{
    static const int pattern[5] = {0x1F, 0x11, 0x15, 0x11, 0x1F};
    for (unsigned r = 0; r < 5; ++r)
        set(row - 2 + r, column - 2, pattern[r], 5);
}

void QRMatrix::draw_timing_patterns()
{
    const unsigned s = side();
    for (unsigned k = 8; k < s - 8; k += 2) {
        set(6, k, true);
        set(k, 6, true);
        set(6, k + 1, false);
        set(k + 1, 6, false);
    }
}

void QRMatrix::draw_dark_module()
{
    set(side() - 8, 8, true);
}

void QRMatrix::place_metadata(CorrectionLevel level, unsigned char mask)
{
    Tables::check_level(level);
    Tables::check_mask(mask);
    const unsigned s = side();
    if (version > 5) {
        const std::array<unsigned char, 3>& code = Tables::version_codes[version - 6];
        for (unsigned k = 0; k < 3; ++k) {
            for (unsigned c = 0; c < 6; ++c) {
                const bool bit = (code[k] >> (5 - c)) & 1;
                set(s - 11 + k, c, bit);
                set(c, s - 11 + k, bit);
            }
        }
    }
    const unsigned format = Tables::corr_lvl_and_mask_codes.at(level)[mask];
    const std::array<std::array<Module, 2>, 15> places = format_places(s);
    for (unsigned n = 0; n < 15; ++n) {
        const bool bit = (format >> (14 - n)) & 1;
        for (const Module& place : places[n])
            set(place.row, place.column, bit);
    }
}

template <typename Visit> void QRMatrix::walk_data_modules(Visit visit)
{
    // Two columns at a time from the right, up the first pair, down the
    // next; the vertical timing column is never part of a pair.
    const unsigned s = side();
    bool upwards = true;
    for (int right = static_cast<int>(s) - 1; right > 0; right -= 2) {
        if (right == 6)
            right = 5;
        for (unsigned n = 0; n < s; ++n) {
            const unsigned row = upwards ? s - 1 - n : n;
            for (unsigned left = 0; left < 2; ++left) {
                const unsigned column = static_cast<unsigned>(right) - left;
                if (rows[row][column] == Trit::Unset)
                    visit(row, column);
            }
        }
        upwards = !upwards;
    }
}

void QRMatrix::place_data(const BitArray& bits, unsigned char mask)
{
    Tables::check_mask(mask);
    const auto mask_function = Tables::mask_functions[mask];
    const unsigned count = bits.size();
    unsigned i = 0;
    walk_data_modules([&](unsigned row, unsigned column) {
        const bool bit = i < count && bits.get(i);
        ++i;
        const bool invert = mask_function(row, column) == 0;
        rows[row][column] = bit != invert ? Trit::Dark : Trit::Light;
    });
}

unsigned char QRMatrix::choose_mask(CorrectionLevel level, const BitArray& bits) const
{
    // The metadata modules must be taken before the data walk; their values
    // are written per mask below.
    QRMatrix work(*this);
    work.place_metadata(level, 0);
    const unsigned s = side();
    const std::array<std::array<Module, 2>, 15> places = format_places(s);

    // The symbol with unmasked data and without format bits, and where its
    // data modules are, once by rows and once by columns.
    std::vector<Line> base_rows(s), base_columns(s), data_rows(s), data_columns(s);
    for (unsigned r = 0; r < s; ++r) {
        for (unsigned c = 0; c < s; ++c) {
            if (work.rows[r][c] == Trit::Dark) {
                set_bit(base_rows[r], c);
                set_bit(base_columns[c], r);
            }
        }
    }
    for (const std::array<Module, 2>& pair : places) {
        for (const Module& place : pair) {
            clear_bit(base_rows[place.row], place.column);
            clear_bit(base_columns[place.column], place.row);
        }
    }
    const unsigned count = bits.size();
    unsigned i = 0;
    work.walk_data_modules([&](unsigned row, unsigned column) {
        set_bit(data_rows[row], column);
        set_bit(data_columns[column], row);
        if (i < count && bits.get(i)) {
            set_bit(base_rows[row], column);
            set_bit(base_columns[column], row);
        }
        ++i;
    });

    const MaskPatterns& patterns = mask_patterns();
    const std::array<unsigned, 8>& formats = Tables::corr_lvl_and_mask_codes.at(level);
    std::vector<Line> candidate_rows(s), candidate_columns(s);
    unsigned char best = 0;
    unsigned best_score = std::numeric_limits<unsigned>::max();
    for (unsigned char mask = 0; mask < Tables::masks_count; ++mask) {
        for (unsigned k = 0; k < s; ++k) {
            candidate_rows[k] = base_rows[k] ^ (patterns.rows[mask][k % 12] & data_rows[k]);
            candidate_columns[k] = base_columns[k] ^ (patterns.columns[mask][k % 12] & data_columns[k]);
        }
        for (unsigned n = 0; n < 15; ++n) {
            if ((formats[mask] >> (14 - n)) & 1) {
                for (const Module& place : places[n]) {
                    set_bit(candidate_rows[place.row], place.column);
                    set_bit(candidate_columns[place.column], place.row);
                }
            }
        }
        const unsigned score = packed_penalty(candidate_rows, candidate_columns, s);
        if (score < best_score) {
            best_score = score;
            best = mask;
        }
    }
    return best;
}

unsigned QRMatrix::penalty(const std::vector<unsigned char>& modules, unsigned s)
{
    if (s == 0 || s > max_side || modules.size() != static_cast<std::size_t>(s) * s)
        throw std::invalid_argument("Modules do not make a square of this size");
    std::vector<Line> rows(s), columns(s);
    for (unsigned r = 0; r < s; ++r) {
        for (unsigned c = 0; c < s; ++c) {
            if (modules[r * s + c] != 0) {
                set_bit(rows[r], c);
                set_bit(columns[c], r);
            }
        }
    }
    return packed_penalty(rows, columns, s);
}
