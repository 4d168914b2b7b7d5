#pragma once

#include <string>
#include <vector>

// A string of bits, most significant bit of each byte first: bit i is bit
// 7 - (i mod 8) of byte i div 8.
class BitArray
{
public:
    explicit BitArray(unsigned bits = 0);
    // Eight bits per byte.
    explicit BitArray(const std::vector<unsigned char>& bytes);

    unsigned size() const { return bits_count; }
    const std::vector<unsigned char>& get_bytes() const { return bytes; }

    bool get(unsigned i) const;
    void set(unsigned i, bool value);
    // Writes the low nbits bits of value from bit index on, most significant
    // first; the other bits of the touched bytes keep their values.
    void set(unsigned index, int value, unsigned nbits);
    // New bits are zero.
    void resize(unsigned bits);

    // "0" and "1" characters, for debugging.
    explicit operator std::string() const;

private:
    unsigned bits_count;
    std::vector<unsigned char> bytes;
};
