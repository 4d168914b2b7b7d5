#include "trit_matrix.h"

#include <stdexcept>

TritMatrix::TritMatrix(unsigned size)
    : rows(size, std::vector<Trit>(size, Trit::Unset))
{
}

Trit TritMatrix::get(unsigned row, unsigned column) const
{
    if (row >= rows.size() || column >= rows[row].size())
        throw std::out_of_range("No such element in matrix");
    return rows[row][column];
}

void TritMatrix::set(unsigned row, unsigned column, Trit value)
{
    if (row >= rows.size() || column >= rows[row].size())
        throw std::out_of_range("No such element in matrix");
    rows[row][column] = value;
}

void TritMatrix::set(unsigned row, unsigned column, bool dark)
{
    set(row, column, dark ? Trit::Dark : Trit::Light);
}

void TritMatrix::set(unsigned row, unsigned column, int value, unsigned char nbits)
{
    if (row >= rows.size() || column + nbits > rows[row].size())
        throw std::out_of_range("Value to write is out of matrix range");
    const unsigned long long bits = static_cast<unsigned int>(value);
    for (unsigned k = 0; k < nbits; ++k) {
        // Bits above the 32 of value are zero.
        const unsigned shift = nbits - 1u - k;
        rows[row][column + k] = shift < 32 && ((bits >> shift) & 1) != 0 ? Trit::Dark : Trit::Light;
    }
}

void TritMatrix::resize(unsigned columns, unsigned row_count)
{
    rows.resize(row_count);
    for (std::vector<Trit>& row : rows)
        row.resize(columns, Trit::Unset);
}

std::string TritMatrix::to_ascii(char dark, char light, char unset) const
{
    std::string text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r != 0)
            text += '\n';
        for (const Trit module : rows[r])
            text += module == Trit::Dark ? dark : module == Trit::Light ? light : unset;
    }
    return text;
}
