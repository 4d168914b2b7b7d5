#include "encoder.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "method.h"
#include "qr_helpers.h"
#include "tables.h"

namespace {

const char* const too_much_data = "Too much data. There is no such QR code version that can store so mush characters";

void check_method(QRCodeMethod method)
{
    if (method != QRCodeMethod::Numeric && method != QRCodeMethod::Alphabetic && method != QRCodeMethod::Byte)
        throw std::runtime_error("Specify correct method");
}

// An explicit method must hold every character; a wrong one would otherwise
// encode garbage that decodes to other data.
void check_characters(const std::vector<unsigned char>& input, QRCodeMethod method)
{
    for (const unsigned char byte : input) {
        const char c = static_cast<char>(byte);
        if (method == QRCodeMethod::Numeric && !Method::is_num(c))
            throw std::runtime_error("No such digit. Use alphabetic or bytes QR code method.");
        if (method == QRCodeMethod::Alphabetic && !Tables::is_alphabetic(c))
            throw std::runtime_error("No such character in alphabet. Use bytes QR code method.");
    }
}

unsigned saturated(unsigned long long value)
{
    return static_cast<unsigned>(std::min<unsigned long long>(value, std::numeric_limits<unsigned>::max()));
}

} // namespace

Encoder::Encoder(const std::vector<unsigned char>& data_bytes, CorrectionLevel level_, QRCodeMethod method_,
                 signed char version_)
    : input(data_bytes), level(level_), method(method_), version(version_)
{
    Tables::check_level(level);
    if (version >= 0)
        Tables::check_version(version);
    check_method(method);
    check_characters(input, method);

    const unsigned count = qr_helpers::to_U(input.size());
    const unsigned long long payload = calculate_encoded_input_size(count, method);
    unsigned long long header = calculate_metadata_size(method, version);
    const std::array<unsigned, 40>& capability = Tables::max_capability.at(level);
    if (version >= 0) {
        // A stream that fills the capacity exactly still fits: the terminator
        // may be shortened or left out at the end of the symbol.
        if (header + payload > capability[version])
            throw std::invalid_argument(
                "This version is too low for input of this size. Set negative version to calculate it dynamicly");
    } else {
        version = 0;
        // The count width grows with the version, so the header may need
        // a still larger version.
        while (header + payload > capability[version]) {
            version = determite_version(saturated(header + payload), level);
            header = calculate_metadata_size(method, version);
        }
    }

    data = BitArray(capability[version]);
    write_metadata(count, static_cast<unsigned>(header) - 4, method, data);
    encode_input(static_cast<unsigned>(header));
    pad_data(data, static_cast<unsigned>(header + payload));
}

BitArray& Encoder::get_data()
{
    if (data.size() == 0)
        throw std::runtime_error("Data is not calculated yet");
    return data;
}

signed char Encoder::determite_version(unsigned bits, CorrectionLevel level)
{
    Tables::check_level(level);
    const unsigned index = qr_helpers::upper_index(Tables::max_capability.at(level), bits);
    if (index >= static_cast<unsigned>(Tables::versions_count))
        throw std::runtime_error(too_much_data);
    return static_cast<signed char>(index);
}

unsigned Encoder::calculate_metadata_size(QRCodeMethod method, signed char version)
{
    if (method == QRCodeMethod::Dynamic)
        throw std::runtime_error("Specify correct method");
    const signed char effective = version < 0 ? 0 : version;
    unsigned width = 0;
    for (const auto& [first_version, count_width] : Tables::data_amount_lengths.at(method)) {
        if (first_version <= effective)
            width = count_width;
    }
    return 4 + width;
}

unsigned Encoder::calculate_encoded_input_size(unsigned count, QRCodeMethod method)
{
    const unsigned long long n = count;
    switch (method) {
    case QRCodeMethod::Numeric:
        return saturated(10 * (n / 3) + (n % 3 == 1 ? 4 : n % 3 == 2 ? 7 : 0));
    case QRCodeMethod::Alphabetic:
        return saturated(11 * (n / 2) + (n % 2 == 1 ? 6 : 0));
    case QRCodeMethod::Byte:
        return saturated(8 * n);
    default:
        throw std::runtime_error("Specify correct method");
    }
}

void Encoder::write_metadata(unsigned count, unsigned count_bits, QRCodeMethod method, BitArray& out)
{
    out.set(0, static_cast<int>(Tables::mode_indicator.at(method)), 4);
    out.set(4, static_cast<int>(count), count_bits);
}

unsigned Encoder::encode_numeric(const std::vector<unsigned char>& input, BitArray& out, unsigned offset)
{
    const std::size_t size = input.size();
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const int value = (input[i] - '0') * 100 + (input[i + 1] - '0') * 10 + (input[i + 2] - '0');
        out.set(offset, value, 10);
        offset += 10;
    }
    if (size - i == 2) {
        out.set(offset, (input[i] - '0') * 10 + (input[i + 1] - '0'), 7);
        offset += 7;
    } else if (size - i == 1) {
        out.set(offset, input[i] - '0', 4);
        offset += 4;
    }
    return offset;
}

unsigned Encoder::encode_alphabetic(const std::vector<unsigned char>& input, BitArray& out, unsigned offset)
{
    const std::size_t size = input.size();
    std::size_t i = 0;
    for (; i + 2 <= size; i += 2) {
        const int value = 45 * encode_char(static_cast<char>(input[i])) + encode_char(static_cast<char>(input[i + 1]));
        out.set(offset, value, 11);
        offset += 11;
    }
    if (i < size) {
        out.set(offset, encode_char(static_cast<char>(input[i])), 6);
        offset += 6;
    }
    return offset;
}

unsigned Encoder::encode_byte(const std::vector<unsigned char>& input, BitArray& out, unsigned offset)
{
    for (const unsigned char byte : input) {
        out.set(offset, byte, 8);
        offset += 8;
    }
    return offset;
}

unsigned char Encoder::encode_char(char c)
{
    const std::size_t position = Tables::alphabetic.find(c);
    if (position == std::string::npos)
        throw std::runtime_error("No such character in alphabet. Use bytes QR code method.");
    return static_cast<unsigned char>(position);
}

void Encoder::pad_data(BitArray& data, unsigned used_bits)
{
    const unsigned capacity = data.size();
    const unsigned terminator_end = std::min(used_bits + 4, capacity);
    static const unsigned char pad_bytes[2] = {236, 17};
    unsigned k = 0;
    for (unsigned byte = qr_helpers::ceil_div(terminator_end, 8); byte < capacity / 8; ++byte, ++k)
        data.set(byte * 8, pad_bytes[k % 2], 8);
}

void Encoder::encode_input(unsigned offset)
{
    switch (method) {
    case QRCodeMethod::Numeric:
        encode_numeric(input, data, offset);
        break;
    case QRCodeMethod::Alphabetic:
        encode_alphabetic(input, data, offset);
        break;
    case QRCodeMethod::Byte:
        encode_byte(input, data, offset);
        break;
    default:
        throw std::runtime_error("Specify correct method");
    }
}
