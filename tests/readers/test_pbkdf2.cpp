// The PBKDF2 engine against the published vectors and against OpenSSL, its
// Qt front end, and the check of stored administrator password hashes.

#include <QRandomGenerator>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "3rd/fastpbkdf2/fastpbkdf2.h"
#include "readers/cryptography.h"
#include "support/test_support.h"

using TestSupport::hex;
using TestSupport::randomBytes;

namespace {
using Engine = void (*)(const uint8_t*, size_t, const uint8_t*, size_t, uint32_t, uint8_t*, size_t);

QByteArray
engineKey(Engine engine, const QByteArray& password, const QByteArray& salt, uint32_t iterations, int size)
{
    QByteArray out(size, '\0');
    engine(reinterpret_cast<const uint8_t*>(password.constData()), size_t(password.size()),
           reinterpret_cast<const uint8_t*>(salt.constData()), size_t(salt.size()), iterations,
           reinterpret_cast<uint8_t*>(out.data()), size_t(out.size()));
    return out;
}

QByteArray
opensslKey(const EVP_MD* md, const QByteArray& password, const QByteArray& salt, int iterations, int size)
{
    QByteArray out(size, '\0');
    const int ok = PKCS5_PBKDF2_HMAC(password.constData(), password.size(),
                                     reinterpret_cast<const unsigned char*>(salt.constData()), salt.size(),
                                     iterations, md, size, reinterpret_cast<unsigned char*>(out.data()));
    EXPECT_EQ(ok, 1) << "OpenSSL refused the derivation";
    return out;
}

// A stored password hash as the back-end makes it: format byte 0, the salt,
// and the PBKDF2-HMAC-SHA1 key of 1000 iterations, 32 bytes, by OpenSSL.
QByteArray storedHash(const QByteArray& password, const QByteArray& salt)
{
    return QByteArray(1, '\0') + salt + opensslKey(EVP_sha1(), password, salt, 1000, 32);
}
} // namespace

// ---------------------------------------------------------------------------
// The engine.

struct Rfc6070Case
{
    const char* name;
    QByteArray password;
    QByteArray salt;
    uint32_t iterations;
    const char* key;
};

class Rfc6070 : public ::testing::TestWithParam<Rfc6070Case>
{
};

TEST_P(Rfc6070, Sha1GivesThePublishedKey)
{
    const Rfc6070Case& c = GetParam();
    const QByteArray expected = hex(c.key);
    EXPECT_EQ(engineKey(fastpbkdf2_hmac_sha1, c.password, c.salt, c.iterations, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors,
    Rfc6070,
    ::testing::Values(
        Rfc6070Case{"OneIteration", "password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        Rfc6070Case{"TwoIterations", "password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        Rfc6070Case{"Iterations4096", "password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        // 25 bytes: the second block is cut to 5.
        Rfc6070Case{"TwoBlocksLastCut", "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt",
                    4096, "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        Rfc6070Case{"ZeroBytesInside", QByteArray("pass\0word", 9), QByteArray("sa\0lt", 5), 4096,
                    "56fa6aa75548099dcc37d7f03425e0c3"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HashCase
{
    const char* name;
    Engine engine;
    const EVP_MD* (*md)();
    int blockSize;
    int digestSize;
};

class EngineAgainstOpenssl : public ::testing::TestWithParam<HashCase>
{
};

// Password lengths around the hash's block (a longer key is hashed first),
// random salts, one and many iterations, outputs that end inside a block.
TEST_P(EngineAgainstOpenssl, RandomInputsGiveTheSameKey)
{
    const HashCase& c = GetParam();
    QRandomGenerator random(20260514u + uint(c.digestSize));
    const int b = c.blockSize;
    const int l = c.digestSize;
    for (int passwordSize : {1, 7, b - 1, b, b + 1, 2 * b + 3}) {
        for (uint32_t iterations : {1u, 2u, 1000u}) {
            for (int keySize : {1, l - 1, l, l + 1, 2 * l + 7}) {
                const QByteArray password = randomBytes(random, passwordSize);
                const QByteArray salt = randomBytes(random, int(random.bounded(1, 40)));
                EXPECT_EQ(engineKey(c.engine, password, salt, iterations, keySize),
                          opensslKey(c.md(), password, salt, int(iterations), keySize))
                    << "password " << passwordSize << " bytes, " << iterations << " iterations, " << keySize
                    << " bytes of key";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Hashes,
                         EngineAgainstOpenssl,
                         ::testing::Values(HashCase{"Sha1", fastpbkdf2_hmac_sha1, EVP_sha1, 64, 20},
                                           HashCase{"Sha256", fastpbkdf2_hmac_sha256, EVP_sha256, 64, 32},
                                           HashCase{"Sha512", fastpbkdf2_hmac_sha512, EVP_sha512, 128, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

// A wrong call stops the process rather than hand out a key that is not the
// one asked for (zero iterations would give the first HMAC alone).
TEST(Pbkdf2Engine, RefusedCallsStopTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    uint8_t out[20];
    const uint8_t password[] = {'p', 'w'};
    EXPECT_DEATH(fastpbkdf2_hmac_sha1(password, 2, password, 2, 0, out, sizeof out), "iterations != 0");
    EXPECT_DEATH(fastpbkdf2_hmac_sha256(password, 2, password, 2, 1, nullptr, 20), "out != nullptr");
    EXPECT_DEATH(fastpbkdf2_hmac_sha512(password, 2, password, 2, 1, out, 0), "nout != 0");
}

// ---------------------------------------------------------------------------
// The Qt front end.

TEST(Pbkdf2, DefaultLengthIsTheDigestSize)
{
    struct Case
    {
        QCryptographicHash::Algorithm algorithm;
        const EVP_MD* (*md)();
        int size;
    };
    for (const Case& c :
         {Case{QCryptographicHash::Sha1, EVP_sha1, 20}, Case{QCryptographicHash::Sha256, EVP_sha256, 32},
          Case{QCryptographicHash::Sha512, EVP_sha512, 64}}) {
        EXPECT_EQ(PBKDF2("secret", "pepper", 3, c.algorithm, -1),
                  opensslKey(c.md(), "secret", "pepper", 3, c.size))
            << c.size;
    }
    EXPECT_EQ(PBKDF2("secret", "pepper", 3, QCryptographicHash::Sha256, 5),
              opensslKey(EVP_sha256(), "secret", "pepper", 3, 5));
}

TEST(Pbkdf2, RefusesWhatItCannotDerive)
{
    struct Case
    {
        const char* name;
        QByteArray password;
        QByteArray salt;
        int iterations;
        QCryptographicHash::Algorithm algorithm;
        int keyLength;
    };
    for (const Case& c : {
             Case{"EmptyPassword", "", "salt", 1, QCryptographicHash::Sha1, 20},
             Case{"EmptySalt", "pw", "", 1, QCryptographicHash::Sha1, 20},
             Case{"NoIterations", "pw", "salt", 0, QCryptographicHash::Sha1, 20},
             Case{"NegativeIterations", "pw", "salt", -1, QCryptographicHash::Sha1, 20},
             Case{"ZeroLength", "pw", "salt", 1, QCryptographicHash::Sha1, 0},
             Case{"Md5", "pw", "salt", 1, QCryptographicHash::Md5, 16},
             Case{"Sha3", "pw", "salt", 1, QCryptographicHash::Sha3_256, 32},
         }) {
        EXPECT_TRUE(PBKDF2(c.password, c.salt, c.iterations, c.algorithm, c.keyLength).isEmpty()) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Stored password hashes.

TEST(VerifyPassword, MatchesOnlyTheRightPassword)
{
    const QByteArray salt = hex("00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff");
    const QByteArray hash = storedHash("Sesame-7", salt);
    ASSERT_EQ(hash.size(), 49);
    EXPECT_TRUE(verifyPassword(hash, "Sesame-7"));
    EXPECT_FALSE(verifyPassword(hash, "Sesame-8"));
    EXPECT_FALSE(verifyPassword(hash, "sesame-7"));
    EXPECT_FALSE(verifyPassword(hash, "Sesame-7 "));
    EXPECT_FALSE(verifyPassword(hash, ""));
    // Password bytes above 127 are taken as given.
    const QByteArray latin1 = QStringLiteral("Stra\u00dfe").toLatin1();
    EXPECT_TRUE(verifyPassword(storedHash(latin1, salt), latin1));
}

struct HashFormCase
{
    const char* name;
    QByteArray hash;
};

class VerifyPasswordForm : public ::testing::TestWithParam<HashFormCase>
{
};

// Each of these holds the right key for the password somewhere; the form
// alone must refuse it.
TEST_P(VerifyPasswordForm, RefusesAnyOtherForm)
{
    EXPECT_FALSE(verifyPassword(GetParam().hash, "Sesame-7"));
}

namespace {
const QByteArray formSalt = hex("0f 0e 0d 0c 0b 0a 09 08 07 06 05 04 03 02 01 00");
const QByteArray goodHash = storedHash("Sesame-7", formSalt);
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table,
    VerifyPasswordForm,
    ::testing::Values(HashFormCase{"Empty", QByteArray()},
                      HashFormCase{"FormatByteOne", QByteArray(1, '\x01') + goodHash.mid(1)},
                      HashFormCase{"FormatByteFF", QByteArray(1, '\xff') + goodHash.mid(1)},
                      HashFormCase{"OneByteShort", goodHash.left(48)},
                      HashFormCase{"OneByteLong", goodHash + '\0'},
                      HashFormCase{"WithoutFormatByte", goodHash.mid(1)},
                      HashFormCase{"KeyOfFortyBytes",
                                   QByteArray(1, '\0') + formSalt
                                       + opensslKey(EVP_sha1(), "Sesame-7", formSalt, 1000, 40)}),
    [](const auto& info) { return std::string(info.param.name); });
