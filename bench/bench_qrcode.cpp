// Making a QR code symbol from 64, 128 and 300 bytes at level M with the mask
// chosen by penalty: our generator against libqrencode in the same run. Both
// stop at the module matrix (no image). The bytes are the same pseudo-random
// ones for both, so each encodes them in byte mode.

#include <cstdlib>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <qrencode.h>

#include "qrcode/qr_code.h"

namespace {
std::vector<unsigned char> sampleBytes(std::size_t count)
{
    std::mt19937 random(16);
    std::vector<unsigned char> bytes(count);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

void ours(benchmark::State& state)
{
    const std::vector<unsigned char> data = sampleBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const QRCode symbol(data, CorrectionLevel::M, QRCodeMethod::Dynamic, -1);
        benchmark::DoNotOptimize(symbol.get_mask());
    }
}

void libqrencode(benchmark::State& state)
{
    const std::vector<unsigned char> data = sampleBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        QRcode* symbol = QRcode_encodeData(static_cast<int>(data.size()), data.data(), 0, QR_ECLEVEL_M);
        if (!symbol) {
            state.SkipWithError("libqrencode failed");
            break;
        }
        benchmark::DoNotOptimize(symbol->data);
        QRcode_free(symbol);
    }
}
} // namespace

BENCHMARK(ours)->Arg(64)->Arg(128)->Arg(300);
BENCHMARK(libqrencode)->Arg(64)->Arg(128)->Arg(300);

BENCHMARK_MAIN();
