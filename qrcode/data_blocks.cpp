#include "data_blocks.h"

#include <stdexcept>

#include "qr_helpers.h"
#include "tables.h"

DataBlocks::DataBlocks(const std::vector<unsigned char>& data, CorrectionLevel level, signed char version)
{
    Tables::check_level(level);
    Tables::check_version(version);
    const unsigned count = Tables::data_blocks_number.at(level)[version];
    const unsigned ec_count = Tables::correction_bytes_num.at(level)[version];

    Blocks blocks;
    divide_to_blocks(blocks, qr_helpers::to_U(data.size()), count);
    std::vector<std::vector<unsigned char>> ec_blocks(count);
    for (unsigned k = 0; k < count; ++k)
        compose_EC_bytes(ec_blocks[k], data.begin() + blocks[k].second, ec_count, blocks[k].first);
    join_data_and_EC_blocks(joined, data, blocks, ec_blocks, ec_count);
}

void DataBlocks::divide_to_blocks(Blocks& blocks, unsigned size, unsigned count)
{
    if (count == 0)
        throw std::runtime_error("Dividion by zero not possible");
    const unsigned base = size / count;
    const unsigned longer = size % count;
    blocks.clear();
    blocks.reserve(count);
    for (unsigned k = 0; k < count; ++k) {
        if (k < count - longer)
            blocks.emplace_back(base, base * k);
        else
            blocks.emplace_back(base + 1, base * k + (k - (count - longer)));
    }
}

void DataBlocks::compose_EC_bytes(std::vector<unsigned char>& ec, std::vector<unsigned char>::const_iterator data,
                                  unsigned ec_count, unsigned data_count)
{
    const std::vector<unsigned char>& generator = Tables::reed_solomon_generative_polynomial.at(ec_count);
    const std::array<unsigned char, 256>& power = Tables::galois_field;
    const std::array<unsigned char, 256>& log = Tables::reverse_galois_field;

    // Long division of the data (times x^ec_count) by the generator; the
    // remainder is left in the last ec_count entries.
    std::vector<unsigned char> work(data, data + data_count);
    work.resize(data_count + ec_count, 0);
    for (unsigned k = 0; k < data_count; ++k) {
        const unsigned char lead = work[k];
        if (lead == 0)
            continue;
        const unsigned lead_log = log[lead];
        unsigned char* rest = work.data() + k + 1;
        for (unsigned j = 0; j < ec_count; ++j)
            rest[j] ^= power[(generator[j] + lead_log) % 255];
    }
    ec.assign(work.begin() + data_count, work.end());
}

void DataBlocks::join_data_and_EC_blocks(std::vector<unsigned char>& out, const std::vector<unsigned char>& data,
                                         const Blocks& blocks, const std::vector<std::vector<unsigned char>>& ec_blocks,
                                         unsigned ec_count)
{
    out.clear();
    out.reserve(data.size() + blocks.size() * ec_count);
    const unsigned longest = blocks.empty() ? 0 : blocks.back().first;
    for (unsigned i = 0; i < longest; ++i) {
        for (unsigned block = 0; block < blocks.size(); ++block) {
            if (blocks[block].first > i)
                out.push_back(data[get_db_byte_index(block, i, blocks)]);
        }
    }
    for (unsigned i = 0; i < ec_count; ++i) {
        for (const std::vector<unsigned char>& ec : ec_blocks)
            out.push_back(ec[i]);
    }
}

unsigned get_db_byte_index(unsigned block, unsigned i, const DataBlocks::Blocks& blocks)
{
    return blocks[block].second + i;
}
