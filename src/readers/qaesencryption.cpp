#include "readers/qaesencryption.h"

namespace {
// FIPS-197 figure 7: the substitution box.
constexpr std::array<quint8, 256> sboxTable = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// FIPS-197 figure 14: the inverse substitution box.
constexpr std::array<quint8, 256> rsboxTable = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// Round constants of the key schedule; index 0 is never used (i / nk >= 1).
constexpr std::array<quint8, 11> rconTable = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                              0x20, 0x40, 0x80, 0x1b, 0x36};

inline quint8 xTime(quint8 x)
{
    return quint8((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00));
}

// Product in GF(2^8), built from repeated doubling.
inline quint8 multiply(quint8 x, quint8 y)
{
    quint8 result = 0;
    while (y) {
        if (y & 1)
            result ^= x;
        x = xTime(x);
        y >>= 1;
    }
    return result;
}

inline quint8 at(const QByteArray& bytes, int i)
{
    return quint8(bytes.at(i));
}
} // namespace

QByteArray QAESEncryption::Crypt(QAESEncryption::Aes level,
                                 QAESEncryption::Mode mode,
                                 const QByteArray& rawText,
                                 const QByteArray& key,
                                 const QByteArray& iv,
                                 QAESEncryption::Padding padding)
{
    return QAESEncryption(level, mode, padding).encode(rawText, key, iv);
}

QByteArray QAESEncryption::Decrypt(QAESEncryption::Aes level,
                                   QAESEncryption::Mode mode,
                                   const QByteArray& rawText,
                                   const QByteArray& key,
                                   const QByteArray& iv,
                                   QAESEncryption::Padding padding)
{
    return QAESEncryption(level, mode, padding).decode(rawText, key, iv);
}

QByteArray
QAESEncryption::ExpandKey(QAESEncryption::Aes level, QAESEncryption::Mode mode, const QByteArray& key)
{
    return QAESEncryption(level, mode, ISO).expandKey(key);
}

QByteArray QAESEncryption::RemovePadding(const QByteArray& rawText, QAESEncryption::Padding padding)
{
    if (rawText.isEmpty())
        return rawText;

    QByteArray result(rawText);
    switch (padding) {
    case ZERO: {
        int end = result.size();
        while (end > 0 && result.at(end - 1) == '\x00')
            --end;
        result.truncate(end);
        break;
    }
    case PKCS7: {
        // Only the last byte is looked at; a count longer than the text
        // cannot be padding and leaves the text as it is.
        const int count = at(result, result.size() - 1);
        if (count <= result.size())
            result.chop(count);
        break;
    }
    case ISO: {
        int end = result.size();
        while (end > 0 && result.at(end - 1) == '\x00')
            --end;
        // A text of zero bytes only has no marker and stays whole.
        if (end > 0 && at(result, end - 1) == 0x80)
            result.truncate(end - 1);
        break;
    }
    default:
        break;
    }
    return result;
}

QAESEncryption::QAESEncryption(QAESEncryption::Aes level,
                               QAESEncryption::Mode mode,
                               QAESEncryption::Padding padding)
    : level(level)
    , mode(mode)
    , padding(padding)
    , sbox(sboxTable)
    , rsbox(rsboxTable)
    , rcon(rconTable)
{
    switch (level) {
    case AES_192:
        nk = 6;
        keyLen = 24;
        nr = 12;
        break;
    case AES_256:
        nk = 8;
        keyLen = 32;
        nr = 14;
        break;
    case AES_128:
    default:
        nk = 4;
        keyLen = 16;
        nr = 10;
        break;
    }
}

bool QAESEncryption::acceptsIv(const QByteArray& iv) const
{
    return mode == ECB || iv.size() == blocklen;
}

QByteArray QAESEncryption::getPadding(int currSize, int alignment) const
{
    int size = (alignment - currSize % alignment) % alignment;
    switch (padding) {
    case PKCS7:
        if (size == 0)
            size = alignment;
        return QByteArray(size, char(size));
    case ISO:
        if (size == 0)
            return QByteArray();
        return QByteArray(1, '\x80') + QByteArray(size - 1, '\x00');
    case ZERO:
    default:
        return QByteArray(size, '\x00');
    }
}

QByteArray QAESEncryption::expandKey(const QByteArray& key)
{
    if (key.size() != keyLen)
        return QByteArray();

    const int words = nb * (nr + 1);
    QByteArray roundKey(words * 4, '\x00');
    for (int i = 0; i < keyLen; ++i)
        roundKey[i] = key.at(i);

    quint8 temp[4];
    for (int i = nk; i < words; ++i) {
        for (int j = 0; j < 4; ++j)
            temp[j] = at(roundKey, (i - 1) * 4 + j);
        if (i % nk == 0) {
            const quint8 first = temp[0];
            temp[0] = quint8(sbox[temp[1]] ^ rcon[i / nk]);
            temp[1] = sbox[temp[2]];
            temp[2] = sbox[temp[3]];
            temp[3] = sbox[first];
        } else if (level == AES_256 && i % nk == 4) {
            for (quint8& b : temp)
                b = sbox[b];
        }
        for (int j = 0; j < 4; ++j)
            roundKey[i * 4 + j] = char(at(roundKey, (i - nk) * 4 + j) ^ temp[j]);
    }
    return roundKey;
}

void QAESEncryption::addRoundKey(int round, const QByteArray& expKey)
{
    char* s = state->data();
    const char* k = expKey.constData() + round * nb * 4;
    for (int i = 0; i < blocklen; ++i)
        s[i] = char(s[i] ^ k[i]);
}

void QAESEncryption::subBytes()
{
    char* s = state->data();
    for (int i = 0; i < blocklen; ++i)
        s[i] = char(sbox[quint8(s[i])]);
}

void QAESEncryption::invSubBytes()
{
    char* s = state->data();
    for (int i = 0; i < blocklen; ++i)
        s[i] = char(rsbox[quint8(s[i])]);
}

// Byte i of the state is row i mod 4 of column i div 4; row r moves r
// columns to the left.
void QAESEncryption::shiftRows()
{
    const QByteArray old(*state);
    char* s = state->data();
    for (int c = 0; c < nb; ++c)
        for (int r = 1; r < 4; ++r)
            s[c * 4 + r] = old.at(((c + r) % nb) * 4 + r);
}

void QAESEncryption::invShiftRows()
{
    const QByteArray old(*state);
    char* s = state->data();
    for (int c = 0; c < nb; ++c)
        for (int r = 1; r < 4; ++r)
            s[((c + r) % nb) * 4 + r] = old.at(c * 4 + r);
}

void QAESEncryption::mixColumns()
{
    char* s = state->data();
    for (int c = 0; c < nb; ++c) {
        const quint8 a0 = quint8(s[c * 4]), a1 = quint8(s[c * 4 + 1]);
        const quint8 a2 = quint8(s[c * 4 + 2]), a3 = quint8(s[c * 4 + 3]);
        const quint8 all = a0 ^ a1 ^ a2 ^ a3;
        s[c * 4] = char(a0 ^ all ^ xTime(a0 ^ a1));
        s[c * 4 + 1] = char(a1 ^ all ^ xTime(a1 ^ a2));
        s[c * 4 + 2] = char(a2 ^ all ^ xTime(a2 ^ a3));
        s[c * 4 + 3] = char(a3 ^ all ^ xTime(a3 ^ a0));
    }
}

void QAESEncryption::invMixColumns()
{
    char* s = state->data();
    for (int c = 0; c < nb; ++c) {
        const quint8 a0 = quint8(s[c * 4]), a1 = quint8(s[c * 4 + 1]);
        const quint8 a2 = quint8(s[c * 4 + 2]), a3 = quint8(s[c * 4 + 3]);
        s[c * 4] = char(multiply(a0, 14) ^ multiply(a1, 11) ^ multiply(a2, 13) ^ multiply(a3, 9));
        s[c * 4 + 1] = char(multiply(a0, 9) ^ multiply(a1, 14) ^ multiply(a2, 11) ^ multiply(a3, 13));
        s[c * 4 + 2] = char(multiply(a0, 13) ^ multiply(a1, 9) ^ multiply(a2, 14) ^ multiply(a3, 11));
        s[c * 4 + 3] = char(multiply(a0, 11) ^ multiply(a1, 13) ^ multiply(a2, 9) ^ multiply(a3, 14));
    }
}

QByteArray QAESEncryption::cipher(const QByteArray& expKey, const QByteArray& in)
{
    QByteArray block(in);
    state = &block;
    addRoundKey(0, expKey);
    for (int round = 1; round < nr; ++round) {
        subBytes();
        shiftRows();
        mixColumns();
        addRoundKey(round, expKey);
    }
    subBytes();
    shiftRows();
    addRoundKey(nr, expKey);
    state = nullptr;
    return block;
}

QByteArray QAESEncryption::invCipher(const QByteArray& expKey, const QByteArray& in)
{
    QByteArray block(in);
    state = &block;
    addRoundKey(nr, expKey);
    for (int round = nr - 1; round > 0; --round) {
        invShiftRows();
        invSubBytes();
        addRoundKey(round, expKey);
        invMixColumns();
    }
    invShiftRows();
    invSubBytes();
    addRoundKey(0, expKey);
    state = nullptr;
    return block;
}

QByteArray QAESEncryption::byteXor(const QByteArray& a, const QByteArray& b)
{
    const int size = qMin(a.size(), b.size());
    QByteArray result(size, '\x00');
    for (int i = 0; i < size; ++i)
        result[i] = char(a.at(i) ^ b.at(i));
    return result;
}

QByteArray QAESEncryption::encode(const QByteArray& rawText, const QByteArray& key, const QByteArray& iv)
{
    if (!acceptsIv(iv))
        return QByteArray();
    const QByteArray expandedKey = expandKey(key);
    if (expandedKey.isEmpty())
        return QByteArray();

    const QByteArray text = rawText + getPadding(rawText.size(), blocklen);
    QByteArray result;
    result.reserve(text.size());
    switch (mode) {
    case ECB:
        for (int i = 0; i < text.size(); i += blocklen)
            result.append(cipher(expandedKey, text.mid(i, blocklen)));
        break;
    case CBC: {
        QByteArray chain = iv;
        for (int i = 0; i < text.size(); i += blocklen) {
            chain = cipher(expandedKey, byteXor(text.mid(i, blocklen), chain));
            result.append(chain);
        }
        break;
    }
    case CFB: {
        QByteArray feedback = iv;
        for (int i = 0; i < text.size(); i += blocklen) {
            feedback = byteXor(text.mid(i, blocklen), cipher(expandedKey, feedback));
            result.append(feedback);
        }
        break;
    }
    case OFB: {
        QByteArray stream = iv;
        for (int i = 0; i < text.size(); i += blocklen) {
            stream = cipher(expandedKey, stream);
            result.append(byteXor(text.mid(i, blocklen), stream));
        }
        break;
    }
    default:
        return QByteArray();
    }
    return result;
}

QByteArray QAESEncryption::decode(const QByteArray& rawText, const QByteArray& key, const QByteArray& iv)
{
    if (!acceptsIv(iv))
        return QByteArray();
    // A cipher text is whole blocks; anything else (a scanned bar code that
    // is no login code, for one) cannot be deciphered.
    if (rawText.size() % blocklen != 0)
        return QByteArray();
    const QByteArray expandedKey = expandKey(key);
    if (expandedKey.isEmpty())
        return QByteArray();

    QByteArray result;
    result.reserve(rawText.size());
    switch (mode) {
    case ECB:
        for (int i = 0; i < rawText.size(); i += blocklen)
            result.append(invCipher(expandedKey, rawText.mid(i, blocklen)));
        break;
    case CBC: {
        QByteArray chain = iv;
        for (int i = 0; i < rawText.size(); i += blocklen) {
            const QByteArray block = rawText.mid(i, blocklen);
            result.append(byteXor(invCipher(expandedKey, block), chain));
            chain = block;
        }
        break;
    }
    case CFB: {
        QByteArray feedback = iv;
        for (int i = 0; i < rawText.size(); i += blocklen) {
            const QByteArray block = rawText.mid(i, blocklen);
            result.append(byteXor(block, cipher(expandedKey, feedback)));
            feedback = block;
        }
        break;
    }
    case OFB: {
        QByteArray stream = iv;
        for (int i = 0; i < rawText.size(); i += blocklen) {
            stream = cipher(expandedKey, stream);
            result.append(byteXor(rawText.mid(i, blocklen), stream));
        }
        break;
    }
    default:
        return QByteArray();
    }
    return result;
}

QByteArray QAESEncryption::removePadding(const QByteArray& rawText)
{
    return RemovePadding(rawText, padding);
}

QByteArray QAESEncryption::printArray(unsigned char* data, int length)
{
    if (!data || length <= 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(data), length).toHex();
}
