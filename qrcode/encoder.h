#pragma once

#include <vector>

#include "bit_array.h"
#include "qr_types.h"

// Turns the input into the data bit stream of a symbol: mode indicator,
// character count, the encoded characters, terminator and pad bytes, exactly
// filling the data capacity of the version. A negative version is chosen:
// the smallest one that holds the input.
class Encoder
{
public:
    Encoder(const std::vector<unsigned char>& data, CorrectionLevel level, QRCodeMethod method, signed char version);

    BitArray& get_data();
    signed char get_version() const { return version; }

    // The smallest version whose capacity holds bits.
    static signed char determite_version(unsigned bits, CorrectionLevel level);
    // Mode indicator plus character count, in bits.
    static unsigned calculate_metadata_size(QRCodeMethod method, signed char version);
    // Bits of count characters in the method (at most the largest unsigned).
    static unsigned calculate_encoded_input_size(unsigned count, QRCodeMethod method);
    static void write_metadata(unsigned count, unsigned count_bits, QRCodeMethod method, BitArray& out);
    // Each writes the input from bit offset on and returns the bit after it.
    static unsigned encode_numeric(const std::vector<unsigned char>& input, BitArray& out, unsigned offset);
    static unsigned encode_alphabetic(const std::vector<unsigned char>& input, BitArray& out, unsigned offset);
    static unsigned encode_byte(const std::vector<unsigned char>& input, BitArray& out, unsigned offset);
    // The value of an alphanumeric character.
    static unsigned char encode_char(char c);
    // Pad bytes after the terminator that follows used_bits, up to the end.
    static void pad_data(BitArray& data, unsigned used_bits);

    void encode_input(unsigned offset);

private:
    std::vector<unsigned char> input;
    CorrectionLevel level;
    QRCodeMethod method;
    signed char version;
    BitArray data;
};
