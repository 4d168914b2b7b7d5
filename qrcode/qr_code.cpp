#include "qr_code.h"

#include "data_blocks.h"
#include "encoder.h"
#include "method.h"
#include "tables.h"

QRCode::QRCode(const std::vector<unsigned char>& data, CorrectionLevel level_, QRCodeMethod method_,
               signed char version_, unsigned char mask_)
    : input(data), level(level_), method(method_), version(version_), mask(mask_), matrix(0)
{
    Tables::check_mask(mask);
    build();
}

QRCode::QRCode(const std::vector<unsigned char>& data, CorrectionLevel level_, QRCodeMethod method_,
               signed char version_)
    : input(data), level(level_), method(method_), version(version_), mask(chosen_mask), matrix(0)
{
    build();
}

void QRCode::build()
{
    Tables::check_level(level);
    if (method == QRCodeMethod::Dynamic) {
        // Short inputs go as bytes: anything of up to version 1's data
        // capacity in bytes is small whatever the mode.
        const unsigned version_1_bytes = Tables::max_capability.at(level)[0] / 8;
        method = input.size() > version_1_bytes ? Method::determite_method(input) : QRCodeMethod::Byte;
    }

    Encoder encoder(input, level, method, version);
    version = encoder.get_version();
    const DataBlocks blocks(encoder.get_data().get_bytes(), level, version);
    const BitArray bits(blocks.get_joined_data_and_EC_blocks());

    matrix.set_version(version);
    matrix.draw_patterns();
    if (mask == chosen_mask)
        mask = matrix.choose_mask(level, bits);
    matrix.place_metadata(level, mask);
    matrix.place_data(bits, mask);
}
