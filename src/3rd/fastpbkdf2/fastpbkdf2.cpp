#include "3rd/fastpbkdf2/fastpbkdf2.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The engine runs the hashes' one-block compression functions itself
// (SHA1_Transform and its kin). OpenSSL 3 still exports them but marks that
// low-level interface deprecated.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace {

[[noreturn]] void checkFailed(const char* condition)
{
    std::fprintf(stderr, "fastpbkdf2: check failed: %s\n", condition);
    std::abort();
}

// Checked in every build type: a caller breaking them has a bug, and going
// on would hand it a key that is not what it asked for.
#define FASTPBKDF2_CHECK(condition) ((condition) ? void(0) : checkFailed(#condition))

void storeBigEndian(uint32_t value, uint8_t* bytes)
{
    for (int i = 3; i >= 0; --i, value >>= 8)
        bytes[i] = uint8_t(value);
}

void storeBigEndian(uint64_t value, uint8_t* bytes)
{
    for (int i = 7; i >= 0; --i, value >>= 8)
        bytes[i] = uint8_t(value);
}

template <typename Word> Word loadBigEndian(const uint8_t* bytes)
{
    Word value = 0;
    for (size_t i = 0; i < sizeof(Word); ++i)
        value = Word(value << 8) | bytes[i];
    return value;
}

// What the generic code needs of a hash: its sizes, the ordinary
// init/update/final interface for the key and the first HMAC of a block, the
// compression function and the chaining state words.
struct Sha1
{
    using Context = SHA_CTX;
    using Word = uint32_t;
    static constexpr size_t blockSize = 64;
    static constexpr size_t digestSize = 20;
    static constexpr size_t stateWords = 5;

    static void init(Context* c) { SHA1_Init(c); }
    static void update(Context* c, const uint8_t* data, size_t size) { SHA1_Update(c, data, size); }
    static void finish(Context* c, uint8_t* digest) { SHA1_Final(digest, c); }
    static void compress(Context* c, const uint8_t* block) { SHA1_Transform(c, block); }
    static void state(const Context& c, Word* words)
    {
        words[0] = c.h0;
        words[1] = c.h1;
        words[2] = c.h2;
        words[3] = c.h3;
        words[4] = c.h4;
    }
};

struct Sha256
{
    using Context = SHA256_CTX;
    using Word = uint32_t;
    static constexpr size_t blockSize = 64;
    static constexpr size_t digestSize = 32;
    static constexpr size_t stateWords = 8;

    static void init(Context* c) { SHA256_Init(c); }
    static void update(Context* c, const uint8_t* data, size_t size) { SHA256_Update(c, data, size); }
    static void finish(Context* c, uint8_t* digest) { SHA256_Final(digest, c); }
    static void compress(Context* c, const uint8_t* block) { SHA256_Transform(c, block); }
    static void state(const Context& c, Word* words)
    {
        for (size_t i = 0; i < stateWords; ++i)
            words[i] = c.h[i];
    }
};

struct Sha512
{
    using Context = SHA512_CTX;
    using Word = uint64_t;
    static constexpr size_t blockSize = 128;
    static constexpr size_t digestSize = 64;
    static constexpr size_t stateWords = 8;

    static void init(Context* c) { SHA512_Init(c); }
    static void update(Context* c, const uint8_t* data, size_t size) { SHA512_Update(c, data, size); }
    static void finish(Context* c, uint8_t* digest) { SHA512_Final(digest, c); }
    static void compress(Context* c, const uint8_t* block) { SHA512_Transform(c, block); }
    static void state(const Context& c, Word* words)
    {
        for (size_t i = 0; i < stateWords; ++i)
            words[i] = c.h[i];
    }
};

// The key's HMAC states: the hash after the key block XOR ipad (inner) and
// after the key block XOR opad (outer). Every HMAC under that key starts
// from a copy of them.
template <typename H> struct HmacKey
{
    typename H::Context inner;
    typename H::Context outer;
};

template <typename H> void hmacKeySetUp(HmacKey<H>* hmac, const uint8_t* key, size_t nkey)
{
    uint8_t hashedKey[H::digestSize];
    if (nkey > H::blockSize) {
        typename H::Context c;
        H::init(&c);
        H::update(&c, key, nkey);
        H::finish(&c, hashedKey);
        OPENSSL_cleanse(&c, sizeof c);
        key = hashedKey;
        nkey = H::digestSize;
    }
    FASTPBKDF2_CHECK(nkey <= H::blockSize);

    uint8_t pad[H::blockSize];
    for (size_t i = 0; i < H::blockSize; ++i)
        pad[i] = uint8_t((i < nkey ? key[i] : 0) ^ 0x36);
    H::init(&hmac->inner);
    H::update(&hmac->inner, pad, H::blockSize);
    for (size_t i = 0; i < H::blockSize; ++i)
        pad[i] ^= 0x36 ^ 0x5c;
    H::init(&hmac->outer);
    H::update(&hmac->outer, pad, H::blockSize);

    OPENSSL_cleanse(pad, sizeof pad);
    OPENSSL_cleanse(hashedKey, sizeof hashedKey);
}

template <typename H> void writeState(const typename H::Context& c, uint8_t* bytes)
{
    typename H::Word words[H::stateWords];
    H::state(c, words);
    for (size_t i = 0; i < H::stateWords; ++i)
        storeBigEndian(words[i], bytes + i * sizeof(typename H::Word));
}

// One output block: T_i = U_1 ^ U_2 ^ ... ^ U_c, cut to nout bytes.
template <typename H>
void deriveBlock(const HmacKey<H>& hmac,
                 const uint8_t* salt,
                 size_t nsalt,
                 uint32_t blockIndex,
                 uint32_t iterations,
                 uint8_t* out,
                 size_t nout)
{
    using Word = typename H::Word;
    constexpr size_t L = H::digestSize;

    // U_1 = HMAC(salt || INT(i)), through the ordinary hash interface.
    uint8_t block[H::blockSize] = {};
    uint8_t index[4];
    storeBigEndian(blockIndex, index);
    typename H::Context c = hmac.inner;
    H::update(&c, salt, nsalt);
    H::update(&c, index, sizeof index);
    H::finish(&c, block);
    c = hmac.outer;
    H::update(&c, block, L);
    H::finish(&c, block);

    // Every later U is the HMAC of the previous one: both hashes then read
    // one key block and a message of exactly L bytes, so the second block
    // of each is the digest followed by the same fixed padding (0x80, zeros,
    // the length in bits of key block plus digest). The padding is written
    // once; each iteration only overwrites the digest in front of it.
    block[L] = 0x80;
    storeBigEndian(uint64_t((H::blockSize + L) * 8), block + H::blockSize - 8);

    Word result[H::stateWords];
    for (size_t i = 0; i < H::stateWords; ++i)
        result[i] = loadBigEndian<Word>(block + i * sizeof(Word));

    Word u[H::stateWords];
    for (uint32_t j = 1; j < iterations; ++j) {
        c = hmac.inner;
        H::compress(&c, block);
        writeState<H>(c, block);
        c = hmac.outer;
        H::compress(&c, block);
        writeState<H>(c, block);
        H::state(c, u);
        for (size_t i = 0; i < H::stateWords; ++i)
            result[i] ^= u[i];
    }

    uint8_t bytes[H::stateWords * sizeof(Word)];
    for (size_t i = 0; i < H::stateWords; ++i)
        storeBigEndian(result[i], bytes + i * sizeof(Word));
    std::memcpy(out, bytes, nout);

    OPENSSL_cleanse(&c, sizeof c);
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(result, sizeof result);
    OPENSSL_cleanse(u, sizeof u);
    OPENSSL_cleanse(bytes, sizeof bytes);
}

template <typename H>
void pbkdf2(const uint8_t* pw,
            size_t npw,
            const uint8_t* salt,
            size_t nsalt,
            uint32_t iterations,
            uint8_t* out,
            size_t nout)
{
    FASTPBKDF2_CHECK(iterations != 0);
    FASTPBKDF2_CHECK(out != nullptr);
    FASTPBKDF2_CHECK(nout != 0);
    // The block index is a 32-bit number from 1: a longer output repeats
    // blocks.
    FASTPBKDF2_CHECK((nout - 1) / H::digestSize < 0xffffffffu);

    HmacKey<H> hmac;
    hmacKeySetUp(&hmac, pw, npw);
    uint32_t blockIndex = 1;
    for (size_t written = 0; written < nout; written += H::digestSize, ++blockIndex) {
        const size_t left = nout - written;
        deriveBlock(hmac, salt, nsalt, blockIndex, iterations, out + written,
                    left < H::digestSize ? left : H::digestSize);
    }
    OPENSSL_cleanse(&hmac, sizeof hmac);
}

} // namespace

extern "C" {

void fastpbkdf2_hmac_sha1(const uint8_t* pw,
                          size_t npw,
                          const uint8_t* salt,
                          size_t nsalt,
                          uint32_t iterations,
                          uint8_t* out,
                          size_t nout)
{
    pbkdf2<Sha1>(pw, npw, salt, nsalt, iterations, out, nout);
}

void fastpbkdf2_hmac_sha256(const uint8_t* pw,
                            size_t npw,
                            const uint8_t* salt,
                            size_t nsalt,
                            uint32_t iterations,
                            uint8_t* out,
                            size_t nout)
{
    pbkdf2<Sha256>(pw, npw, salt, nsalt, iterations, out, nout);
}

void fastpbkdf2_hmac_sha512(const uint8_t* pw,
                            size_t npw,
                            const uint8_t* salt,
                            size_t nsalt,
                            uint32_t iterations,
                            uint8_t* out,
                            size_t nout)
{
    pbkdf2<Sha512>(pw, npw, salt, nsalt, iterations, out, nout);
}

} // extern "C"
