// One administrator login's key derivation, PBKDF2-HMAC-SHA1 with 1000
// iterations and 32 bytes of key, by our engine and by OpenSSL's
// PKCS5_PBKDF2_HMAC in the same run. Compare the medians:
//   bench_pbkdf2 --benchmark_repetitions=30 --benchmark_report_aggregates_only=true

#include <cstdint>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "3rd/fastpbkdf2/fastpbkdf2.h"

namespace {
const uint8_t password[] = "correct horse battery";
const uint8_t salt[16] = {0x6a, 0x1f, 0x03, 0x9e, 0x55, 0xc2, 0x10, 0x8b,
                          0x47, 0xd0, 0x2e, 0x91, 0x3c, 0x7a, 0xe4, 0x05};
constexpr uint32_t iterations = 1000;
constexpr size_t keySize = 32;

void Engine(benchmark::State& state)
{
    uint8_t key[keySize];
    for (auto _ : state) {
        fastpbkdf2_hmac_sha1(password, sizeof password - 1, salt, sizeof salt, iterations, key, keySize);
        benchmark::DoNotOptimize(key);
    }
}

void OpenSsl(benchmark::State& state)
{
    uint8_t key[keySize];
    for (auto _ : state) {
        if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password), sizeof password - 1, salt, sizeof salt,
                              int(iterations), EVP_sha1(), int(keySize), key)
            != 1) {
            state.SkipWithError("PKCS5_PBKDF2_HMAC failed");
            break;
        }
        benchmark::DoNotOptimize(key);
    }
}
} // namespace

BENCHMARK(Engine)->Name("Pbkdf2HmacSha1/1000x32/engine")->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenSsl)->Name("Pbkdf2HmacSha1/1000x32/openssl")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
