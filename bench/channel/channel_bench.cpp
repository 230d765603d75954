// The channel's share of start-up (the pulse table) and of one click (a new
// block and its waveform).
#include <benchmark/benchmark.h>

#include "channel/coding.h"
#include "channel/random.h"
#include "channel/waveform.h"

namespace {

using namespace channel;

void BM_BuildPulseTable(benchmark::State& state) {
    for (auto _ : state) {
        BuildPulseTable();
        benchmark::DoNotOptimize(pulseTab);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildPulseTable);

void BM_GenerateBlock(benchmark::State& state) {
    SeedRandom(1);
    for (auto _ : state) {
        GenerateBlock();
        benchmark::DoNotOptimize(sampData);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GenerateBlock);

void BM_SynthesizeWave(benchmark::State& state) {
    // A typical block: the first one after start-up, 21 of its 40 precoded
    // bits are 1.
    BuildPulseTable();
    SeedRandom(1);
    GenerateBlock();
    for (auto _ : state) {
        SynthesizeWave();
        benchmark::DoNotOptimize(waveBuf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SynthesizeWave);

void BM_SynthesizeWaveAllOnes(benchmark::State& state) {
    // The most work a block can ask for: all 40 pulses.
    BuildPulseTable();
    Sequence prec;
    for (auto& bit : prec) bit = 1;
    for (auto _ : state) {
        SynthesizeWave(prec, pulseTab, waveBuf);
        benchmark::DoNotOptimize(waveBuf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SynthesizeWaveAllOnes);

// The channel's part of one click, as the click handler calls it.
void BM_GenerateAndSynthesize(benchmark::State& state) {
    BuildPulseTable();
    SeedRandom(1);
    for (auto _ : state) {
        GenerateBlock();
        SynthesizeWave();
        benchmark::DoNotOptimize(waveBuf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GenerateAndSynthesize);

} // namespace

// The lab's detectors and noise.
#include "channel/frame.h"
#include "channel/noise.h"
#include "channel/slicer.h"
#include "channel/viterbi.h"
#include "channel/viterbi_kernels.h"

#include <vector>

namespace {

using namespace channel;

constexpr int kFrame = 4096;

// A noisy frame at a moderate deviation, where decisions are not trivial.
struct NoisyFrame {
    std::vector<std::uint8_t> raw, prec, out;
    std::vector<std::int8_t> samp;
    std::vector<float> y;
    explicit NoisyFrame(int n) : raw(n), prec(n), out(n), samp(n), y(n) {
        NoiseSource noise(7, 0);
        noise.RandomBits(raw.data(), n);
        EncodeFrame(raw.data(), n, prec.data(), samp.data());
        noise.AddNoise(samp.data(), y.data(), n, 0.6);
    }
};

void BM_ViterbiPlain(benchmark::State& state) {
    NoisyFrame f(kFrame);
    for (auto _ : state) {
        ViterbiPlain(f.y.data(), kFrame, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ViterbiPlain);

void BM_Viterbi(benchmark::State& state) {
    NoisyFrame f(kFrame);
    Viterbi v;
    for (auto _ : state) {
        v.Detect(f.y.data(), kFrame, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_Viterbi);

// Two frames at once, per bit of either.
void BM_ViterbiPair(benchmark::State& state) {
    NoisyFrame f(kFrame), g(kFrame);
    Viterbi v;
    for (auto _ : state) {
        v.DetectPair(f.y.data(), g.y.data(), kFrame, f.out.data(), g.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::DoNotOptimize(g.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2 * kFrame);
}
BENCHMARK(BM_ViterbiPair);

// The forward pass alone, per instruction set (skipped where the processor
// lacks it): what the fast detector falls back to elsewhere.
void BM_ViterbiForward(benchmark::State& state) {
    using namespace viterbi_detail;
    const auto kernel = static_cast<Kernel>(state.range(0));
    if (!Runs(kernel)) {
        state.SkipWithError("not on this processor");
        return;
    }
    NoisyFrame f(kFrame);
    std::vector<std::uint32_t> decisions(kFrame);
    float pm[kStates];
    for (auto _ : state) {
        ForwardWith(kernel, f.y.data(), kFrame, decisions.data(), pm);
        benchmark::DoNotOptimize(decisions.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ViterbiForward)
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kScalar))
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kAvx2))
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kAvx512));

void BM_Normal(benchmark::State& state) {
    NoiseSource noise(1, 0);
    for (auto _ : state) benchmark::DoNotOptimize(noise.Normal());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Normal);

void BM_AddNoise(benchmark::State& state) {
    NoisyFrame f(kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.AddNoise(f.samp.data(), f.y.data(), kFrame, 0.6);
        benchmark::DoNotOptimize(f.y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_AddNoise);

void BM_SliceFrame(benchmark::State& state) {
    NoisyFrame f(kFrame);
    for (auto _ : state) {
        SliceFrame(f.y.data(), kFrame, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_SliceFrame);

void BM_EncodeFrame(benchmark::State& state) {
    NoisyFrame f(kFrame);
    for (auto _ : state) {
        EncodeFrame(f.raw.data(), kFrame, f.prec.data(), f.samp.data());
        benchmark::DoNotOptimize(f.samp.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_EncodeFrame);

// One thread's whole chain per frame, as the lab runs it: random bits,
// coding, noise, both detectors, error counts.
void BM_Chain(benchmark::State& state) {
    NoisyFrame f(kFrame);
    std::vector<std::uint8_t> sliced(kFrame);
    NoiseSource noise(3, 0);
    Viterbi v;
    long errors = 0;
    for (auto _ : state) {
        noise.RandomBits(f.raw.data(), kFrame);
        EncodeFrame(f.raw.data(), kFrame, f.prec.data(), f.samp.data());
        noise.AddNoise(f.samp.data(), f.y.data(), kFrame, 0.6);
        SliceFrame(f.y.data(), kFrame, sliced.data());
        v.Detect(f.y.data(), kFrame, f.out.data());
        for (int k = 0; k < kFrame; ++k) errors += (sliced[k] ^ f.raw[k]) + (f.out[k] ^ f.raw[k]);
    }
    benchmark::DoNotOptimize(errors);
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_Chain);

} // namespace
