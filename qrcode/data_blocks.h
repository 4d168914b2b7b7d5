#pragma once

#include <utility>
#include <vector>

#include "qr_types.h"

// Splits the data codewords of a symbol into its error correction blocks,
// adds the Reed-Solomon codewords of each block and interleaves everything
// into the codeword sequence that the matrix carries.
class DataBlocks
{
public:
    // A block: (length, start offset) in the data codewords.
    using Blocks = std::vector<std::pair<unsigned, unsigned>>;

    DataBlocks(const std::vector<unsigned char>& data, CorrectionLevel level, signed char version);

    const std::vector<unsigned char>& get_joined_data_and_EC_blocks() const { return joined; }

    // count blocks over size codewords; the last size mod count blocks are
    // one codeword longer.
    static void divide_to_blocks(Blocks& blocks, unsigned size, unsigned count);
    // The ec_count error correction codewords of the data_count codewords
    // from data on.
    static void compose_EC_bytes(std::vector<unsigned char>& ec, std::vector<unsigned char>::const_iterator data,
                                 unsigned ec_count, unsigned data_count);
    static void join_data_and_EC_blocks(std::vector<unsigned char>& out, const std::vector<unsigned char>& data,
                                        const Blocks& blocks, const std::vector<std::vector<unsigned char>>& ec_blocks,
                                        unsigned ec_count);

private:
    std::vector<unsigned char> joined;
};

// Index in the data codewords of codeword i of a block.
unsigned get_db_byte_index(unsigned block, unsigned i, const DataBlocks::Blocks& blocks);
