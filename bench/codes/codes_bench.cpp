// The decoders on sector512 at 10 iterations without early stop, in Mbit/s of
// coded bits on one core: the frame decoders in 8-bit, 16-bit and float
// arithmetic on each kernel, the plain scalar decoder they equal (the
// yardstick), the float layered decoder and sum-product one frame at a time.
#include <benchmark/benchmark.h>

#include "channel/noise.h"
#include "codes/builtin.h"
#include "codes/decoder.h"
#include "codes/encoder.h"
#include "codes/frames.h"

namespace {

using namespace codes;

// 64 noisy frames of sector512 at sigma 0.47 (about 4 dB Eb/N0).
struct Frames {
    Code code = *Builtin("sector512");
    std::vector<std::vector<float>> ratios;
    Frames() {
        const Encoder enc(code);
        channel::NoiseSource rng(3, 0);
        std::vector<std::uint8_t> user(enc.UserBits()), word(code.n);
        const double sigma = 0.47;
        for (int f = 0; f < 64; ++f) {
            rng.RandomBits(user.data(), enc.UserBits());
            enc.Encode(user.data(), word.data());
            std::vector<float> r(code.n);
            for (int v = 0; v < code.n; ++v)
                r[v] = static_cast<float>(2 * ((word[v] ? -1.0 : 1.0) + sigma * rng.Normal()) /
                                          (sigma * sigma));
            ratios.push_back(r);
        }
    }
};
const Frames& Data() {
    static const Frames data;
    return data;
}

void Rate(benchmark::State& state, std::int64_t bits) {
    state.counters["Mbit/s"] =
        benchmark::Counter(static_cast<double>(bits) * 1e-6, benchmark::Counter::kIsRate);
}

// Args: arithmetic (0 int8, 1 int16, 2 float), kernel (0 scalar, 1 AVX2,
// 2 AVX-512).
void BM_Frames(benchmark::State& state) {
    const Frames& d = Data();
    FrameOptions o;
    o.arithmetic = state.range(0) == 0   ? Arithmetic::kInt8
                   : state.range(0) == 1 ? Arithmetic::kInt16
                                         : Arithmetic::kFloat;
    o.decoder.earlyStop = false;
    const Kernel kernel = static_cast<Kernel>(state.range(1));
    if (!Runs(kernel)) {
        state.SkipWithError("kernel not on this processor");
        return;
    }
    FrameDecoder dec(d.code, o, kernel);
    const int lanes = dec.Lanes();
    std::vector<const float*> in;
    std::vector<std::vector<std::uint8_t>> bits(lanes, std::vector<std::uint8_t>(d.code.n));
    std::vector<std::uint8_t*> out;
    for (int f = 0; f < lanes; ++f)
        in.push_back(d.ratios[f % 64].data()), out.push_back(bits[f].data());
    std::vector<FrameResult> results(lanes);
    std::int64_t n = 0;
    for (auto _ : state) {
        dec.Decode(lanes, in.data(), out.data(), nullptr, results.data());
        benchmark::DoNotOptimize(bits[0].data());
        n += static_cast<std::int64_t>(lanes) * d.code.n;
    }
    Rate(state, n);
}
BENCHMARK(BM_Frames)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->ArgNames({"arith", "kernel"})
    ->Unit(benchmark::kMicrosecond);

// One frame through the float layered decoder (arg 0) or sum-product (1).
void BM_OneFrame(benchmark::State& state) {
    const Frames& d = Data();
    DecoderOptions o;
    o.earlyStop = false;
    if (state.range(0) == 1) o.algorithm = Algorithm::kSumProduct;
    std::vector<std::uint8_t> bits(d.code.n);
    std::int64_t n = 0;
    int f = 0;
    for (auto _ : state) {
        Decode(d.code, o, d.ratios[f++ % 64].data(), bits.data(), nullptr);
        benchmark::DoNotOptimize(bits.data());
        n += d.code.n;
    }
    Rate(state, n);
}
BENCHMARK(BM_OneFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Encode(benchmark::State& state) {
    const Code code = *Builtin(state.range(0) == 0 ? "sector512" : "sector4k");
    const Encoder enc(code);
    channel::NoiseSource rng(4, 0);
    std::vector<std::uint8_t> user(enc.UserBits()), word(code.n);
    rng.RandomBits(user.data(), enc.UserBits());
    std::int64_t n = 0;
    for (auto _ : state) {
        enc.Encode(user.data(), word.data());
        benchmark::DoNotOptimize(word.data());
        n += code.n;
    }
    Rate(state, n);
}
BENCHMARK(BM_Encode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
