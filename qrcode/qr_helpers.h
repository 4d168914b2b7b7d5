#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>

// Small helpers shared by the generator's units.
namespace qr_helpers {

inline unsigned ceil_div(unsigned a, unsigned b)
{
    if (b == 0)
        throw std::runtime_error("Dividion by zero not possible");
    return a / b + (a % b != 0 ? 1 : 0);
}

inline unsigned to_U(std::size_t size)
{
    if (size > std::numeric_limits<unsigned>::max())
        throw std::runtime_error("Too big number to convert it to unsigned int " + std::to_string(size));
    return static_cast<unsigned>(size);
}

// The first index whose entry is not below value (the size when there is
// none); the entries are sorted.
inline unsigned upper_index(const std::array<unsigned, 40>& entries, unsigned value)
{
    unsigned low = 0, high = 40;
    while (low < high) {
        const unsigned middle = (low + high) / 2;
        if (entries[middle] < value)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

} // namespace qr_helpers
