#pragma once

#include <vector>

#include "bit_array.h"
#include "qr_types.h"
#include "trit_matrix.h"

// The module matrix of one symbol (no quiet zone). Built in a fixed order:
// set_version, draw_patterns, place_metadata, place_data; the data goes into
// the modules that are still Unset after the first three.
class QRMatrix : public TritMatrix
{
public:
    explicit QRMatrix(signed char version);

    // Side length of a version: 4 x version + 21 modules.
    static unsigned v_to_size(signed char version);

    signed char get_version() const { return version; }
    void set_version(signed char version);

    void draw_patterns();
    // Version information (versions 7 and up) and format information.
    void place_metadata(CorrectionLevel level, unsigned char mask);
    // Codeword bits, masked; modules left over after the bits get 0 bits.
    void place_data(const BitArray& bits, unsigned char mask);

    // The mask whose finished symbol scores the lowest penalty (the lowest
    // mask of equal ones), for a matrix with its patterns drawn.
    unsigned char choose_mask(CorrectionLevel level, const BitArray& bits) const;
    // Penalty score of a finished symbol; modules row by row, 1 dark, 0 light.
    static unsigned penalty(const std::vector<unsigned char>& modules, unsigned size);

    void draw_finder_patterns();
    void draw_finder_square(unsigned row, unsigned column);
    void draw_finder_square_separators();
    void draw_alignment_patters();
    void draw_alignment_square(unsigned row, unsigned column);
    void draw_timing_patterns();
    void draw_dark_module();

private:
    unsigned side() const { return static_cast<unsigned>(rows.size()); }
    // Calls visit(row, column) for each Unset module in the order the data
    // bits are placed.
    template <typename Visit> void walk_data_modules(Visit visit);

    signed char version = 0;
};
