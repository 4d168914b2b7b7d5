#include "qr_matrix.h"

#include <array>
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

// A row or column of a symbol as bits, with room for four light modules on
// either side: W words of 64 bits, bit k for module k. One word holds the
// sides of versions 1 to 9, two those up to version 25, three all up to 177.
constexpr unsigned max_side = 177;
constexpr unsigned max_words = 3;

template <unsigned W> struct Line
{
    std::uint64_t w[W] = {};
};

template <unsigned W> Line<W> operator&(const Line<W>& a, const Line<W>& b)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = a.w[i] & b.w[i];
    return r;
}

template <unsigned W> Line<W> operator|(const Line<W>& a, const Line<W>& b)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = a.w[i] | b.w[i];
    return r;
}

template <unsigned W> Line<W> operator^(const Line<W>& a, const Line<W>& b)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = a.w[i] ^ b.w[i];
    return r;
}

template <unsigned W> Line<W> operator~(const Line<W>& a)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = ~a.w[i];
    return r;
}

// Module k + n moves to k (n from 1 to 63).
template <unsigned W> Line<W> operator>>(const Line<W>& a, unsigned n)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = (a.w[i] >> n) | (i + 1 < W ? a.w[i + 1] << (64 - n) : 0);
    return r;
}

// Module k moves to k + n (n from 1 to 63).
template <unsigned W> Line<W> operator<<(const Line<W>& a, unsigned n)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = (a.w[i] << n) | (i > 0 ? a.w[i - 1] >> (64 - n) : 0);
    return r;
}

// Bits set in a word, without a library call on processors of any age.
unsigned ones(std::uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

template <unsigned W> unsigned count(const Line<W>& a)
{
    unsigned n = 0;
    for (unsigned i = 0; i < W; ++i)
        n += ones(a.w[i]);
    return n;
}

template <unsigned W> void set_bit(Line<W>& a, unsigned k)
{
    a.w[k / 64] |= std::uint64_t(1) << (k % 64);
}

// Modules 0 to n - 1.
template <unsigned W> Line<W> first_bits(unsigned n)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i) {
        if (n >= 64 * (i + 1))
            r.w[i] = ~std::uint64_t(0);
        else if (n > 64 * i)
            r.w[i] = (std::uint64_t(1) << (n - 64 * i)) - 1;
    }
    return r;
}

template <unsigned W> Line<W> narrow(const Line<max_words>& a)
{
    Line<W> r;
    for (unsigned i = 0; i < W; ++i)
        r.w[i] = a.w[i];
    return r;
}

// The modules to invert of each mask, by rows and by columns. Every mask
// repeats itself after 12 rows and after 12 columns.
struct MaskPatterns
{
    Line<max_words> rows[8][12];
    Line<max_words> columns[8][12];
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
template <unsigned W> unsigned line_penalty(const Line<W>& line, const Line<W>& pairs)
{
    const Line<W> same_as_next = ~(line ^ (line >> 1)) & pairs;
    const Line<W> run_of_five = same_as_next & (same_as_next >> 1) & (same_as_next >> 2) & (same_as_next >> 3);
    const Line<W> run_starts = run_of_five & ~(run_of_five << 1);

    const Line<W> x = line << 4;
    const Line<W> core = x & ~(x >> 1) & (x >> 2) & (x >> 3) & (x >> 4) & ~(x >> 5) & (x >> 6);
    const Line<W> light_four = ~(x | (x >> 1) | (x >> 2) | (x >> 3));
    const Line<W> finder_like = core & ((light_four << 4) | (light_four >> 7));
    // A run of n modules has n - 4 places where five equal ones begin.
    return count(run_of_five) + 2 * count(run_starts) + 40 * count(finder_like);
}

template <unsigned W>
unsigned packed_penalty(const std::vector<Line<W>>& rows, const std::vector<Line<W>>& columns, unsigned s)
{
    // Places k where module k and module k + 1 both exist.
    const Line<W> pairs = first_bits<W>(s - 1);
    unsigned score = 0;
    unsigned dark = 0;
    for (unsigned k = 0; k < s; ++k) {
        score += line_penalty(rows[k], pairs) + line_penalty(columns[k], pairs);
        dark += count(rows[k]);
    }

    // Each 2 x 2 block of one colour: 3.
    for (unsigned r = 0; r + 1 < s; ++r) {
        const Line<W> vertical = rows[r] ^ rows[r + 1];
        const Line<W> block = ~vertical & ~(vertical >> 1) & ~(rows[r] ^ (rows[r] >> 1)) & pairs;
        score += 3 * count(block);
    }

    // 10 for each full 5 % that the share of dark modules is off 50 %.
    const unsigned total = s * s;
    const unsigned twenty_dark = 20 * dark;
    const unsigned off = twenty_dark > 10 * total ? twenty_dark - 10 * total : 10 * total - twenty_dark;
    score += 10 * (off / total);
    return score;
}

// What the mask choice needs of a symbol with everything but the data and
// the format bits in place.
struct DataModule
{
    unsigned short row;
    unsigned short column;
    unsigned char bit;
};

struct Layout
{
    unsigned side;
    std::vector<Module> dark;      // dark function modules, format bits excluded
    std::vector<DataModule> data;  // data modules with their unmasked bits
    std::array<std::array<Module, 2>, 15> format_places;
    std::array<unsigned, 8> formats;
};

template <unsigned W> unsigned char lowest_penalty_mask(const Layout& layout)
{
    const unsigned s = layout.side;
    std::vector<Line<W>> base_rows(s), base_columns(s), data_rows(s), data_columns(s);
    for (const Module& module : layout.dark) {
        set_bit(base_rows[module.row], module.column);
        set_bit(base_columns[module.column], module.row);
    }
    for (const DataModule& module : layout.data) {
        set_bit(data_rows[module.row], module.column);
        set_bit(data_columns[module.column], module.row);
        if (module.bit) {
            set_bit(base_rows[module.row], module.column);
            set_bit(base_columns[module.column], module.row);
        }
    }

    const MaskPatterns& patterns = mask_patterns();
    std::vector<Line<W>> rows(s), columns(s);
    unsigned char best = 0;
    unsigned best_score = std::numeric_limits<unsigned>::max();
    for (unsigned char mask = 0; mask < Tables::masks_count; ++mask) {
        Line<W> row_patterns[12], column_patterns[12];
        for (unsigned i = 0; i < 12; ++i) {
            row_patterns[i] = narrow<W>(patterns.rows[mask][i]);
            column_patterns[i] = narrow<W>(patterns.columns[mask][i]);
        }
        for (unsigned k = 0; k < s; ++k) {
            rows[k] = base_rows[k] ^ (row_patterns[k % 12] & data_rows[k]);
            columns[k] = base_columns[k] ^ (column_patterns[k % 12] & data_columns[k]);
        }
        for (unsigned n = 0; n < 15; ++n) {
            if ((layout.formats[mask] >> (14 - n)) & 1) {
                for (const Module& place : layout.format_places[n]) {
                    set_bit(rows[place.row], place.column);
                    set_bit(columns[place.column], place.row);
                }
            }
        }
        const unsigned score = packed_penalty(rows, columns, s);
        if (score < best_score) {
            best_score = score;
            best = mask;
        }
    }
    return best;
}

template <unsigned W> unsigned flat_penalty(const std::vector<unsigned char>& modules, unsigned s)
{
    std::vector<Line<W>> rows(s), columns(s);
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

// Words a line of a side needs with its light margins.
unsigned words_for(unsigned side)
{
    return (side + 8 + 63) / 64;
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
    // The metadata modules must be taken before the data walk; the format
    // bits are written per mask.
    QRMatrix work(*this);
    work.place_metadata(level, 0);
    const unsigned s = side();

    Layout layout;
    layout.side = s;
    layout.format_places = format_places(s);
    layout.formats = Tables::corr_lvl_and_mask_codes.at(level);
    for (const std::array<Module, 2>& pair : layout.format_places) {
        for (const Module& place : pair)
            work.rows[place.row][place.column] = Trit::Light;
    }
    for (unsigned r = 0; r < s; ++r) {
        for (unsigned c = 0; c < s; ++c) {
            if (work.rows[r][c] == Trit::Dark)
                layout.dark.push_back({r, c});
        }
    }
    const unsigned count = bits.size();
    layout.data.reserve(s * s);
    work.walk_data_modules([&](unsigned row, unsigned column) {
        const unsigned i = static_cast<unsigned>(layout.data.size());
        layout.data.push_back({static_cast<unsigned short>(row), static_cast<unsigned short>(column),
                               static_cast<unsigned char>(i < count && bits.get(i) ? 1 : 0)});
    });

    switch (words_for(s)) {
    case 1:
        return lowest_penalty_mask<1>(layout);
    case 2:
        return lowest_penalty_mask<2>(layout);
    default:
        return lowest_penalty_mask<max_words>(layout);
    }
}

unsigned QRMatrix::penalty(const std::vector<unsigned char>& modules, unsigned s)
{
    if (s == 0 || s > max_side || modules.size() != static_cast<std::size_t>(s) * s)
        throw std::invalid_argument("Modules do not make a square of this size");
    switch (words_for(s)) {
    case 1:
        return flat_penalty<1>(modules, s);
    case 2:
        return flat_penalty<2>(modules, s);
    default:
        return flat_penalty<max_words>(modules, s);
    }
}
