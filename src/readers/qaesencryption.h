#pragma once

#include <array>

#include <QByteArray>
#include <QObject>

// A small AES block cipher (FIPS-197) on byte arrays: 128, 192 and 256 bit
// keys, the modes ECB, CBC, CFB (full-block feedback) and OFB, and three
// paddings. It answers every input it cannot work with (a key of the wrong
// length, a missing or wrongly sized IV, a cipher text that is not a whole
// number of blocks, an unknown mode) with an empty array.
class QAESEncryption : public QObject
{
    Q_OBJECT

public:
    // Plain ints underneath, so that any number is a value of the type:
    // an unknown level works as AES_128, an unknown padding pads with zeros
    // and is left on by removal, an unknown mode gives empty results.
    enum Aes : int
    {
        AES_128,
        AES_192,
        AES_256
    };
    enum Mode : int
    {
        ECB,
        CBC,
        CFB,
        OFB
    };
    enum Padding : int
    {
        ZERO,
        PKCS7,
        ISO
    };

    static QByteArray Crypt(Aes level,
                            Mode mode,
                            const QByteArray& rawText,
                            const QByteArray& key,
                            const QByteArray& iv = QByteArray(),
                            Padding padding = ISO);
    static QByteArray Decrypt(Aes level,
                              Mode mode,
                              const QByteArray& rawText,
                              const QByteArray& key,
                              const QByteArray& iv = QByteArray(),
                              Padding padding = ISO);
    static QByteArray ExpandKey(Aes level, Mode mode, const QByteArray& key);
    static QByteArray RemovePadding(const QByteArray& rawText, Padding padding);

    QAESEncryption(Aes level, Mode mode, Padding padding = ISO);

    // Pads the text and enciphers it.
    QByteArray encode(const QByteArray& rawText, const QByteArray& key, const QByteArray& iv = QByteArray());
    // Deciphers the text; the padding stays on (removePadding takes it off).
    QByteArray decode(const QByteArray& rawText, const QByteArray& key, const QByteArray& iv = QByteArray());
    QByteArray removePadding(const QByteArray& rawText);
    // The key schedule, nb x (nr + 1) words as bytes; empty for a key that is
    // not exactly the level's key length.
    QByteArray expandKey(const QByteArray& key);
    // The bytes as hexadecimal text, for debugging.
    QByteArray printArray(unsigned char* data, int length);

private:
    bool acceptsIv(const QByteArray& iv) const;
    QByteArray getPadding(int currSize, int alignment) const;
    QByteArray cipher(const QByteArray& expKey, const QByteArray& in);
    QByteArray invCipher(const QByteArray& expKey, const QByteArray& in);
    void addRoundKey(int round, const QByteArray& expKey);
    void subBytes();
    void invSubBytes();
    void shiftRows();
    void invShiftRows();
    void mixColumns();
    void invMixColumns();
    static QByteArray byteXor(const QByteArray& a, const QByteArray& b);

    const int nb = 4;
    const int blocklen = 16;
    Aes level;
    Mode mode;
    Padding padding;
    int nk;
    int keyLen;
    int nr;
    // The block the round functions work on; set only while cipher() or
    // invCipher() runs.
    QByteArray* state = nullptr;
    std::array<quint8, 256> sbox;
    std::array<quint8, 256> rsbox;
    std::array<quint8, 11> rcon;
};
