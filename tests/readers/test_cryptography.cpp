// The AES component against OpenSSL and the FIPS-197 examples, the QR login
// code, and the name-based identifiers.

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "readers/cryptography.h"
#include "readers/qaesencryption.h"
#include "support/test_support.h"

using TestSupport::hex;
using TestSupport::randomBytes;

namespace {
using Aes = QAESEncryption::Aes;
using Mode = QAESEncryption::Mode;
using Padding = QAESEncryption::Padding;

const EVP_CIPHER* opensslCipher(Aes level, Mode mode)
{
    static const EVP_CIPHER* (*const table[3][4])() = {
        {EVP_aes_128_ecb, EVP_aes_128_cbc, EVP_aes_128_cfb128, EVP_aes_128_ofb},
        {EVP_aes_192_ecb, EVP_aes_192_cbc, EVP_aes_192_cfb128, EVP_aes_192_ofb},
        {EVP_aes_256_ecb, EVP_aes_256_cbc, EVP_aes_256_cfb128, EVP_aes_256_ofb},
    };
    return table[level][mode]();
}

// One whole en- or decryption by OpenSSL; its block padding is PKCS#7 when on.
QByteArray openssl(Aes level,
                   Mode mode,
                   bool encrypt,
                   const QByteArray& text,
                   const QByteArray& key,
                   const QByteArray& iv,
                   bool pkcs7)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* v = iv.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.constData());
    QByteArray out(text.size() + 32, '\0');
    int written = 0;
    int last = 0;
    bool ok = EVP_CipherInit_ex(ctx, opensslCipher(level, mode), nullptr, k, v, encrypt ? 1 : 0) == 1;
    ok = ok && EVP_CIPHER_CTX_set_padding(ctx, pkcs7 ? 1 : 0) == 1;
    ok = ok
         && EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &written,
                             reinterpret_cast<const unsigned char*>(text.constData()), text.size())
                == 1;
    ok = ok && EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + written, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    EXPECT_TRUE(ok) << "OpenSSL refused the operation";
    out.truncate(written + last);
    return out;
}

int keyLength(Aes level)
{
    return level == QAESEncryption::AES_256 ? 32 : level == QAESEncryption::AES_192 ? 24 : 16;
}
} // namespace

// ---------------------------------------------------------------------------
// The block cipher and the key schedule: the worked examples of FIPS-197.

struct Fips197Case
{
    const char* name;
    Aes level;
    const char* key;
    const char* plain;
    const char* cipher;
};
class AesFips197 : public ::testing::TestWithParam<Fips197Case>
{
};

TEST_P(AesFips197, EnciphersAndDeciphersTheExampleBlock)
{
    const Fips197Case& c = GetParam();
    QAESEncryption aes(c.level, QAESEncryption::ECB, QAESEncryption::ZERO);
    EXPECT_EQ(aes.encode(hex(c.plain), hex(c.key)), hex(c.cipher));
    EXPECT_EQ(aes.decode(hex(c.cipher), hex(c.key)), hex(c.plain));
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesFips197,
    ::testing::Values(Fips197Case{"AppendixB", QAESEncryption::AES_128, "2b7e151628aed2a6abf7158809cf4f3c",
                                  "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
                      Fips197Case{"AppendixC1", QAESEncryption::AES_128, "000102030405060708090a0b0c0d0e0f",
                                  "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
                      Fips197Case{"AppendixC2", QAESEncryption::AES_192,
                                  "000102030405060708090a0b0c0d0e0f1011121314151617",
                                  "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
                      Fips197Case{"AppendixC3", QAESEncryption::AES_256,
                                  "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                                  "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeyScheduleCase
{
    const char* name;
    Aes level;
    const char* key;
    int bytes;
    int word; // a word from the middle of the schedule
    const char* wordValue;
    const char* lastWord;
};
class AesKeySchedule : public ::testing::TestWithParam<KeyScheduleCase>
{
};

TEST_P(AesKeySchedule, MatchesTheExampleExpansion)
{
    const KeyScheduleCase& c = GetParam();
    const QByteArray expanded = QAESEncryption::ExpandKey(c.level, QAESEncryption::ECB, hex(c.key));
    ASSERT_EQ(expanded.size(), c.bytes);
    EXPECT_EQ(expanded.left(hex(c.key).size()), hex(c.key));
    EXPECT_EQ(expanded.mid(4 * c.word, 4), hex(c.wordValue));
    EXPECT_EQ(expanded.right(4), hex(c.lastWord));
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesKeySchedule,
    ::testing::Values(KeyScheduleCase{"AppendixA1", QAESEncryption::AES_128,
                                      "2b7e151628aed2a6abf7158809cf4f3c", 176, 4, "a0fafe17", "b6630ca6"},
                      KeyScheduleCase{"AppendixA2", QAESEncryption::AES_192,
                                      "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 208, 6, "fe0c91f7",
                                      "01002202"},
                      KeyScheduleCase{"AppendixA3", QAESEncryption::AES_256,
                                      "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 240,
                                      8, "9ba35411", "706c631e"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QAESEncryption, UnknownLevelWorksAsAes128)
{
    const QByteArray key = hex("000102030405060708090a0b0c0d0e0f");
    QAESEncryption aes(Aes(7), QAESEncryption::ECB, QAESEncryption::ZERO);
    EXPECT_EQ(aes.expandKey(key).size(), 176);
    EXPECT_EQ(aes.encode(hex("00112233445566778899aabbccddeeff"), key),
              hex("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

// ---------------------------------------------------------------------------
// Every level and mode against OpenSSL on random keys, IVs and texts.

struct OracleCase
{
    const char* name;
    Aes level;
    Mode mode;
};
class AesAgainstOpenssl : public ::testing::TestWithParam<OracleCase>
{
};

TEST_P(AesAgainstOpenssl, WholeBlocksEncodeAsOpensslAndDecodeBack)
{
    const OracleCase& c = GetParam();
    QRandomGenerator random(1000 + 10 * c.level + c.mode);
    for (const int size : {16, 48, 160}) {
        SCOPED_TRACE(size);
        const QByteArray key = randomBytes(random, keyLength(c.level));
        const QByteArray iv = c.mode == QAESEncryption::ECB ? QByteArray() : randomBytes(random, 16);
        const QByteArray plain = randomBytes(random, size);
        // ISO padding adds nothing to whole blocks.
        QAESEncryption aes(c.level, c.mode, QAESEncryption::ISO);
        const QByteArray cipher = aes.encode(plain, key, iv);
        EXPECT_EQ(cipher, openssl(c.level, c.mode, true, plain, key, iv, false));
        EXPECT_EQ(aes.decode(cipher, key, iv), plain);
    }
}

// OpenSSL pads only in the block modes.
class AesPaddedAgainstOpenssl : public ::testing::TestWithParam<OracleCase>
{
};

TEST_P(AesPaddedAgainstOpenssl, Pkcs7PaddingAgreesWithOpenssl)
{
    const OracleCase& c = GetParam();
    QRandomGenerator random(2000 + 10 * c.level + c.mode);
    for (const int size : {0, 1, 15, 16, 17, 33}) {
        SCOPED_TRACE(size);
        const QByteArray key = randomBytes(random, keyLength(c.level));
        const QByteArray iv = c.mode == QAESEncryption::ECB ? QByteArray() : randomBytes(random, 16);
        const QByteArray plain = randomBytes(random, size);
        QAESEncryption aes(c.level, c.mode, QAESEncryption::PKCS7);
        const QByteArray cipher = aes.encode(plain, key, iv);
        EXPECT_EQ(cipher, openssl(c.level, c.mode, true, plain, key, iv, true));
        EXPECT_EQ(aes.removePadding(aes.decode(cipher, key, iv)), plain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesAgainstOpenssl,
    ::testing::Values(OracleCase{"Aes128ECB", QAESEncryption::AES_128, QAESEncryption::ECB},
                      OracleCase{"Aes128CBC", QAESEncryption::AES_128, QAESEncryption::CBC},
                      OracleCase{"Aes128CFB", QAESEncryption::AES_128, QAESEncryption::CFB},
                      OracleCase{"Aes128OFB", QAESEncryption::AES_128, QAESEncryption::OFB},
                      OracleCase{"Aes192ECB", QAESEncryption::AES_192, QAESEncryption::ECB},
                      OracleCase{"Aes192CBC", QAESEncryption::AES_192, QAESEncryption::CBC},
                      OracleCase{"Aes192CFB", QAESEncryption::AES_192, QAESEncryption::CFB},
                      OracleCase{"Aes192OFB", QAESEncryption::AES_192, QAESEncryption::OFB},
                      OracleCase{"Aes256ECB", QAESEncryption::AES_256, QAESEncryption::ECB},
                      OracleCase{"Aes256CBC", QAESEncryption::AES_256, QAESEncryption::CBC},
                      OracleCase{"Aes256CFB", QAESEncryption::AES_256, QAESEncryption::CFB},
                      OracleCase{"Aes256OFB", QAESEncryption::AES_256, QAESEncryption::OFB}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesPaddedAgainstOpenssl,
    ::testing::Values(OracleCase{"Aes128ECB", QAESEncryption::AES_128, QAESEncryption::ECB},
                      OracleCase{"Aes128CBC", QAESEncryption::AES_128, QAESEncryption::CBC},
                      OracleCase{"Aes192ECB", QAESEncryption::AES_192, QAESEncryption::ECB},
                      OracleCase{"Aes192CBC", QAESEncryption::AES_192, QAESEncryption::CBC},
                      OracleCase{"Aes256ECB", QAESEncryption::AES_256, QAESEncryption::ECB},
                      OracleCase{"Aes256CBC", QAESEncryption::AES_256, QAESEncryption::CBC}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Paddings: what encode adds (seen through decode, which leaves it on) and
// what removal takes off.

struct PadCase
{
    const char* name;
    Padding padding;
    int length;
    QByteArray added;
};
class AesPadding : public ::testing::TestWithParam<PadCase>
{
};

TEST_P(AesPadding, EncodeAddsExactlyThePadding)
{
    const PadCase& c = GetParam();
    const QByteArray key(16, 'k');
    const QByteArray plain(c.length, 'p');
    QAESEncryption aes(QAESEncryption::AES_128, QAESEncryption::ECB, c.padding);
    const QByteArray cipher = aes.encode(plain, key);
    EXPECT_EQ(cipher.size(), plain.size() + c.added.size());
    EXPECT_EQ(aes.decode(cipher, key), plain + c.added);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesPadding,
    ::testing::Values(PadCase{"IsoWholeBlock", QAESEncryption::ISO, 16, {}},
                      PadCase{"IsoOneShort", QAESEncryption::ISO, 15, hex("80")},
                      PadCase{"IsoOneOver", QAESEncryption::ISO, 17, hex("80") + QByteArray(14, '\0')},
                      PadCase{"IsoEmpty", QAESEncryption::ISO, 0, {}},
                      PadCase{"Pkcs7WholeBlock", QAESEncryption::PKCS7, 16, QByteArray(16, '\x10')},
                      PadCase{"Pkcs7OneShort", QAESEncryption::PKCS7, 15, hex("01")},
                      PadCase{"Pkcs7Empty", QAESEncryption::PKCS7, 0, QByteArray(16, '\x10')},
                      PadCase{"ZeroWholeBlock", QAESEncryption::ZERO, 16, {}},
                      PadCase{"ZeroOneByte", QAESEncryption::ZERO, 1, QByteArray(15, '\0')},
                      PadCase{"UnknownPadsWithZeros", Padding(9), 14, QByteArray(2, '\0')}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnpadCase
{
    const char* name;
    Padding padding;
    QByteArray text;
    QByteArray result;
};
class AesRemovePadding : public ::testing::TestWithParam<UnpadCase>
{
};

TEST_P(AesRemovePadding, TakesOffOnlyThePadding)
{
    const UnpadCase& c = GetParam();
    EXPECT_EQ(QAESEncryption::RemovePadding(c.text, c.padding), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesRemovePadding,
    ::testing::Values(
        UnpadCase{"IsoMarkerAndZeros", QAESEncryption::ISO, "AB" + hex("80") + QByteArray(13, '\0'), "AB"},
        UnpadCase{"IsoMarkerLast", QAESEncryption::ISO, "AB" + hex("80"), "AB"},
        UnpadCase{"IsoZerosWithoutMarker", QAESEncryption::ISO, "AB" + QByteArray(14, '\0'),
                  "AB" + QByteArray(14, '\0')},
        UnpadCase{"IsoMarkerNotLast", QAESEncryption::ISO, "A" + hex("80") + "B", "A" + hex("80") + "B"},
        UnpadCase{"IsoOnlyZeros", QAESEncryption::ISO, QByteArray(16, '\0'), QByteArray(16, '\0')},
        UnpadCase{"IsoOnlyMarker", QAESEncryption::ISO, hex("80 00 00"), {}},
        UnpadCase{"IsoEmpty", QAESEncryption::ISO, {}, {}},
        UnpadCase{"ZeroTrailing", QAESEncryption::ZERO, "A" + QByteArray(1, '\0') + "B" + QByteArray(3, '\0'),
                  "A" + QByteArray(1, '\0') + "B"},
        UnpadCase{"ZeroOnlyZeros", QAESEncryption::ZERO, QByteArray(16, '\0'), {}},
        UnpadCase{"Pkcs7Count", QAESEncryption::PKCS7, "AB" + hex("03 03 03"), "AB"},
        UnpadCase{"Pkcs7WholeBlock", QAESEncryption::PKCS7, QByteArray(16, '\x10'), {}},
        UnpadCase{"Pkcs7OtherBytesUnchecked", QAESEncryption::PKCS7, "ABC" + hex("07 02"), "ABC"},
        UnpadCase{"Pkcs7CountBeyondText", QAESEncryption::PKCS7, "A" + hex("05"), "A" + hex("05")},
        UnpadCase{"Pkcs7CountZero", QAESEncryption::PKCS7, "AB" + hex("00"), "AB" + hex("00")},
        UnpadCase{"UnknownKeepsText", Padding(9), "AB" + QByteArray(2, '\0'), "AB" + QByteArray(2, '\0')}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Input the component cannot work with gives an empty array, never a read
// past the end (the sanitizer build watches these).

struct RefusalCase
{
    const char* name;
    Aes level;
    Mode mode;
    int keySize;
    int ivSize;
    int textSize;
    bool checkEncode;
};
class AesRefusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(AesRefusal, GivesAnEmptyResult)
{
    const RefusalCase& c = GetParam();
    const QByteArray key(c.keySize, 'k');
    const QByteArray iv(c.ivSize, 'i');
    const QByteArray text(c.textSize, 't');
    QAESEncryption aes(c.level, c.mode, QAESEncryption::ISO);
    EXPECT_TRUE(aes.decode(text, key, iv).isEmpty());
    if (c.checkEncode) {
        EXPECT_TRUE(aes.encode(text, key, iv).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    AesRefusal,
    ::testing::Values(
        RefusalCase{"CbcShortIv", QAESEncryption::AES_128, QAESEncryption::CBC, 16, 15, 16, true},
        RefusalCase{"CbcLongIv", QAESEncryption::AES_128, QAESEncryption::CBC, 16, 17, 16, true},
        RefusalCase{"CfbNoIv", QAESEncryption::AES_192, QAESEncryption::CFB, 24, 0, 16, true},
        RefusalCase{"OfbNoIv", QAESEncryption::AES_256, QAESEncryption::OFB, 32, 0, 16, true},
        RefusalCase{"UnknownMode", QAESEncryption::AES_128, Mode(4), 16, 16, 16, true},
        RefusalCase{"KeyTooShort", QAESEncryption::AES_256, QAESEncryption::ECB, 31, 0, 16, true},
        RefusalCase{"KeyTooLong", QAESEncryption::AES_128, QAESEncryption::ECB, 17, 0, 16, true},
        RefusalCase{"Aes128KeyForAes256", QAESEncryption::AES_256, QAESEncryption::CBC, 16, 16, 32, true},
        RefusalCase{"NoKey", QAESEncryption::AES_128, QAESEncryption::ECB, 0, 0, 16, true},
        RefusalCase{"EcbPartialBlock", QAESEncryption::AES_256, QAESEncryption::ECB, 32, 0, 15, false},
        RefusalCase{"EcbOneByteOver", QAESEncryption::AES_256, QAESEncryption::ECB, 32, 0, 17, false},
        RefusalCase{"CbcPartialBlock", QAESEncryption::AES_128, QAESEncryption::CBC, 16, 16, 1, false},
        RefusalCase{"CfbPartialBlock", QAESEncryption::AES_128, QAESEncryption::CFB, 16, 16, 31, false},
        RefusalCase{"OfbPartialBlock", QAESEncryption::AES_128, QAESEncryption::OFB, 16, 16, 20, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QAESEncryption, KeyOfWrongLengthHasNoSchedule)
{
    for (const int size : {0, 15, 17, 24, 33}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(
            QAESEncryption::ExpandKey(QAESEncryption::AES_256, QAESEncryption::ECB, QByteArray(size, 'k'))
                .isEmpty());
    }
}

TEST(QAESEncryption, EcbIgnoresTheIv)
{
    const QByteArray key(32, 'k');
    const QByteArray plain(32, 'p');
    const QByteArray cipher = QAESEncryption::Crypt(QAESEncryption::AES_256, QAESEncryption::ECB, plain, key);
    EXPECT_EQ(
        QAESEncryption::Crypt(QAESEncryption::AES_256, QAESEncryption::ECB, plain, key, QByteArray(5, 'i')),
        cipher);
    EXPECT_EQ(QAESEncryption::Decrypt(QAESEncryption::AES_256, QAESEncryption::ECB, cipher, key,
                                      QByteArray(5, 'i')),
              plain);
}

// ---------------------------------------------------------------------------
// The QR login code.

TEST(QrLoginCode, OneCharacterLoginIsOneBlockAndReadsBack)
{
    const QByteArray code = qrLoginEncrypt("a", "b");
    EXPECT_EQ(code.size(), 24);
    EXPECT_TRUE(code.endsWith("=="));
    EXPECT_EQ(qrLoginDecrypt(code), qMakePair(QString("a"), QString("b")));
}

TEST(QrLoginCode, IsAes256EcbUnderTheStationKey)
{
    // Read with OpenSSL: the layout other stations and printed codes rely on.
    const QByteArray key("Zq7LmW2pXr4TbN8vKd1HsY6cFg3JuE5a");
    const QByteArray cipher = QByteArray::fromBase64(qrLoginEncrypt("alice", "s3cret"));
    const QByteArray plain =
        openssl(QAESEncryption::AES_256, QAESEncryption::ECB, false, cipher, key, {}, false);
    EXPECT_EQ(plain, "alice\ns3cret" + hex("00 80 00 00"));
}

struct LoginCase
{
    const char* name;
    QString login;
    QString password;
};
class QrLoginRoundTrip : public ::testing::TestWithParam<LoginCase>
{
};

TEST_P(QrLoginRoundTrip, ReadsBackLoginAndPassword)
{
    const LoginCase& c = GetParam();
    const auto [login, password] = qrLoginDecrypt(qrLoginEncrypt(c.login, c.password));
    EXPECT_EQ(login, c.login);
    EXPECT_EQ(password, c.password);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         QrLoginRoundTrip,
                         ::testing::Values(LoginCase{"Plain", "m.schmidt", "Secret-42"},
                                           // 13 + 1 + 1 + 1 bytes: a whole block, so no padding at all.
                                           LoginCase{"WholeBlockWithoutPadding", "administrator", "x"},
                                           LoginCase{"SeveralBlocks", "service.technician.north",
                                                     "a much longer pass phrase 1234"},
                                           LoginCase{"BlanksInPassword", "user", " two  blanks "},
                                           LoginCase{"EmptyPassword", "user", ""},
                                           LoginCase{"Latin1Password", "user",
                                                     QString::fromUtf8("p\u00e4ssw\u00f6rd\u00df")},
                                           LoginCase{"Latin1Login", QString::fromUtf8("j\u00fcrgen"), "pw"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct NotACodeCase
{
    const char* name;
    QByteArray text;
};
class QrLoginNotACode : public ::testing::TestWithParam<NotACodeCase>
{
};

TEST_P(QrLoginNotACode, GivesNoLogin)
{
    const auto [login, password] = qrLoginDecrypt(GetParam().text);
    EXPECT_TRUE(login.isEmpty());
    EXPECT_TRUE(password.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    QrLoginNotACode,
    ::testing::Values(NotACodeCase{"Empty", {}},
                      NotACodeCase{"DeviceSerial", "SN-000123"},
                      NotACodeCase{"Words", "hello world"},
                      NotACodeCase{"Address", "https://example.org/device?id=17"},
                      NotACodeCase{"ThreeBytesOfBase64", "AAAA"},
                      NotACodeCase{"Blanks", "   "},
                      NotACodeCase{"CodeCutShort", qrLoginEncrypt("a", "b").left(20)},
                      NotACodeCase{"CodeWithExtraBlockBytes", qrLoginEncrypt("a", "b").left(22) + "AAAA"},
                      // A real cipher text, but of bytes without a line feed.
                      NotACodeCase{"NoLineFeed", qrCodeEncrypt("no line feed here").toBase64()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QrCodeCipher, EmptyAndPartialInputDecryptToNothing)
{
    EXPECT_TRUE(qrCodeDecrypt({}).isEmpty());
    EXPECT_TRUE(qrCodeDecrypt(QByteArray(15, 'x')).isEmpty());
    EXPECT_TRUE(qrCodeDecrypt(QByteArray(17, 'x')).isEmpty());
}

TEST(QrCodeCipher, DecryptRemovesTheIsoPadding)
{
    const QByteArray plain = "login\npassword" + hex("00");
    const QByteArray cipher = qrCodeEncrypt(plain);
    EXPECT_EQ(cipher.size(), 16);
    EXPECT_EQ(qrCodeDecrypt(cipher), plain);
}

// ---------------------------------------------------------------------------
// Name-based identifiers.

namespace {
bool hasUuidForm(const QString& id)
{
    if (id.size() != 36)
        return false;
    for (int i = 0; i < id.size(); ++i) {
        const QChar ch = id.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (ch != '-')
                return false;
        } else if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) {
            return false;
        }
    }
    // Version 5, and the variant of RFC 4122 (10xx).
    return id.at(14) == '5' && QString("89ab").contains(id.at(19));
}
} // namespace

TEST(CreateUuid, HasTheFormOfAVersion5Uuid)
{
    for (const QByteArray& data : {QByteArray(), QByteArray("{\"operation\":1}"), QByteArray(1000, '\xff')}) {
        const QString id = createUUID(data);
        EXPECT_TRUE(hasUuidForm(id)) << id.toStdString();
    }
}

TEST(CreateUuid, SameDataGivesADifferentIdEachCall)
{
    const QByteArray data("{\"deviceId\":7,\"operation\":1}");
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i)
        seen.insert(createUUID(data));
    EXPECT_EQ(seen.size(), 1000);
}

TEST(CreateUuid, DataEndingInDigitsNeverMeetsALaterCount)
{
    // Hashing the data with the count simply appended would give "x" at
    // count 110 the input of "x1" at count 10 ("x110"): the same identifier.
    // Enough calls of "x" follow the "x1" ones to reach every such count.
    QSet<QString> seen;
    int calls = 0;
    for (int i = 0; i < 100; ++i, ++calls)
        seen.insert(createUUID("x1"));
    for (int i = 0; i < 20000; ++i, ++calls)
        seen.insert(createUUID("x"));
    EXPECT_EQ(seen.size(), calls);
}
