#pragma once

#include <vector>

#include "qr_matrix.h"
#include "qr_types.h"

// A whole symbol made from bytes: the data encoded, error correction added
// and the matrix drawn and masked, all in the constructor. A negative version
// is chosen as the smallest that holds the data.
class QRCode
{
public:
    // With the given mask (0 to 7).
    QRCode(const std::vector<unsigned char>& data, CorrectionLevel level, QRCodeMethod method, signed char version,
           unsigned char mask);
    // With the mask of the lowest penalty.
    QRCode(const std::vector<unsigned char>& data, CorrectionLevel level, QRCodeMethod method, signed char version);

    // The modules row by row, none Unset.
    std::vector<std::vector<Trit>> to_vector() const { return matrix.to_vector(); }
    signed char get_version() const { return version; }
    QRCodeMethod get_method() const { return method; }
    unsigned char get_mask() const { return mask; }

private:
    // A mask above 7 stands for the one of the lowest penalty.
    static constexpr unsigned char chosen_mask = 0xFF;

    void build();

    std::vector<unsigned char> input;
    CorrectionLevel level;
    QRCodeMethod method;
    signed char version;
    unsigned char mask;
    QRMatrix matrix;
};
