#include "bit_array.h"

#include <stdexcept>

#include "qr_helpers.h"

BitArray::BitArray(unsigned bits)
    : bits_count(bits), bytes(qr_helpers::ceil_div(bits, 8), 0)
{
}

BitArray::BitArray(const std::vector<unsigned char>& source)
    : bits_count(qr_helpers::to_U(source.size() * 8)), bytes(source)
{
}

bool BitArray::get(unsigned i) const
{
    if (i >= bits_count)
        throw std::out_of_range("No such element in array");
    return (bytes[i / 8] >> (7 - i % 8)) & 1;
}

void BitArray::set(unsigned i, bool value)
{
    if (i >= bits_count)
        throw std::out_of_range("No such element in array");
    const unsigned char bit = static_cast<unsigned char>(1u << (7 - i % 8));
    if (value)
        bytes[i / 8] |= bit;
    else
        bytes[i / 8] &= static_cast<unsigned char>(~bit);
}

void BitArray::set(unsigned index, int value, unsigned nbits)
{
    if (index >= bits_count)
        throw std::out_of_range("No such element in array");
    if (nbits > bits_count - index || nbits > 32)
        throw std::out_of_range("Number of bits to write from this index is more than BitArray capability");
    const unsigned long long bits = static_cast<unsigned int>(value);
    for (unsigned k = 0; k < nbits; ++k)
        set(index + k, ((bits >> (nbits - 1 - k)) & 1) != 0);
}

void BitArray::resize(unsigned bits)
{
    bits_count = bits;
    bytes.resize(qr_helpers::ceil_div(bits, 8), 0);
    // Bits past the new end inside the last byte are cleared, so a later
    // growth reads them as zero.
    if (bits % 8 != 0)
        bytes.back() &= static_cast<unsigned char>(0xFF << (8 - bits % 8));
}

BitArray::operator std::string() const
{
    std::string text;
    text.reserve(bits_count);
    for (unsigned i = 0; i < bits_count; ++i)
        text += get(i) ? '1' : '0';
    return text;
}
