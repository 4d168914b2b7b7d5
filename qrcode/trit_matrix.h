#pragma once

#include <string>
#include <vector>

#include "qr_types.h"

// A grid of three-state modules, (row, column) from the top left; every
// module starts Unset.
class TritMatrix
{
public:
    explicit TritMatrix(unsigned size = 0);

    Trit get(unsigned row, unsigned column) const;
    void set(unsigned row, unsigned column, Trit value);
    // true is Dark, false Light.
    void set(unsigned row, unsigned column, bool dark);
    // The low nbits bits of value, most significant first, into columns
    // column to column + nbits - 1 of the row.
    void set(unsigned row, unsigned column, int value, unsigned char nbits);
    // New modules are Unset.
    void resize(unsigned columns, unsigned rows);

    std::vector<std::vector<Trit>> to_vector() const { return rows; }
    // One character per module, rows separated by "\n"; for debugging.
    std::string to_ascii(char dark, char light, char unset) const;

protected:
    std::vector<std::vector<Trit>> rows;
};
