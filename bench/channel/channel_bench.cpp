// The channel's share of start-up (the pulse table) and of one click (a new
// block and its waveform).
#include <benchmark/benchmark.h>

#include "channel/coding.h"
#include "channel/random.h"
#include "channel/sampler.h"
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

// The lab's detectors and noise, on E3PR4 (the rows kept from before the
// trellis came from the target, so the figures compare) and on the other
// targets.
#include "channel/encoder.h"
#include "channel/noise.h"
#include "detectors/slicer.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_int.h"
#include "detectors/viterbi_kernels.h"

#include <cmath>
#include <vector>

namespace {

using namespace channel;
using namespace detectors;

constexpr int kFrame = 4096;

Target Named(const char* text) {
    Target t;
    Target::Parse(text, t);
    return t;
}

// A noisy frame at a moderate deviation, where decisions are not trivial:
// sigma 0.6 on E3PR4, the same share of the smallest distance elsewhere.
struct NoisyFrame {
    Target target;
    std::vector<std::uint8_t> raw, prec, out;
    std::vector<float> clean, y;
    NoisyFrame(const Target& t, int n, std::uint64_t stream = 0)
        : target(t), raw(n), prec(n), out(n), clean(n), y(n) {
        const FrameEncoder encoder(t);
        NoiseSource noise(7, stream);
        noise.RandomBits(raw.data(), n);
        encoder.Precode(raw.data(), n, prec.data());
        encoder.Levels(prec.data(), n, 0, clean.data());
        noise.AddNoise(clean.data(), y.data(), n, 0.6 * std::sqrt(t.D2Min() / 12));
    }
};

const char* const kTargets[] = {"e3pr4", "pr4", "epr4", "e2pr4", "1,0.8,-0.3", "1,1,0,-1,-1,1,-1"};

void BM_ViterbiPlain(benchmark::State& state) {
    NoisyFrame f(Target(), kFrame);
    for (auto _ : state) {
        ViterbiPlain(f.target, f.y.data(), kFrame, 0, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ViterbiPlain);

// One frame of E3PR4, then of every other target by name.
void BM_Viterbi(benchmark::State& state) {
    NoisyFrame f(Named(kTargets[state.range(0)]), kFrame);
    state.SetLabel(f.target.Name());
    Viterbi v(f.target);
    for (auto _ : state) {
        v.Detect(f.y.data(), kFrame, 0, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_Viterbi)->DenseRange(0, 5);

// Two frames at once, per bit of either.
void BM_ViterbiPair(benchmark::State& state) {
    const Target target = Named(kTargets[state.range(0)]);
    state.SetLabel(target.Name());
    NoisyFrame f(target, kFrame, 0), g(target, kFrame, 1);
    Viterbi v(target);
    for (auto _ : state) {
        v.DetectPair(f.y.data(), g.y.data(), kFrame, 0, f.out.data(), g.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::DoNotOptimize(g.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2 * kFrame);
}
BENCHMARK(BM_ViterbiPair)->DenseRange(0, 3);

// Eight frames side by side, as the error-rate engine runs them, per bit of
// any of them.
void BM_ViterbiFrames(benchmark::State& state) {
    const Target target = Named(kTargets[state.range(0)]);
    state.SetLabel(target.Name());
    std::vector<NoisyFrame> frames;
    const float* y[8];
    std::uint8_t* out[8];
    for (int f = 0; f < 8; ++f) frames.emplace_back(target, kFrame, f);
    for (int f = 0; f < 8; ++f) y[f] = frames[f].y.data(), out[f] = frames[f].out.data();
    Viterbi v(target);
    for (auto _ : state) {
        v.DetectFrames(8, y, kFrame, 0, out);
        benchmark::DoNotOptimize(out[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 8 * kFrame);
}
BENCHMARK(BM_ViterbiFrames)->DenseRange(0, 4);

// The integer detector on 6-bit samples, eight frames side by side (the
// converter's pass included), per target; then E3PR4 at every resolution.
void BM_ViterbiInt(benchmark::State& state) {
    const Target target = Named(kTargets[state.range(0)]);
    const int bits = static_cast<int>(state.range(1));
    const channel::Adc adc(target, bits);
    std::vector<NoisyFrame> frames;
    const float* y[8];
    std::uint8_t* out[8];
    for (int f = 0; f < 8; ++f) frames.emplace_back(target, kFrame, f);
    for (int f = 0; f < 8; ++f) {
        adc.Quantize(frames[f].y.data(), frames[f].y.data(), kFrame);
        y[f] = frames[f].y.data(), out[f] = frames[f].out.data();
    }
    ViterbiInt v(target, adc);
    state.SetLabel(target.Name() + ", " + std::to_string(bits) + " bits, " + v.Width());
    for (auto _ : state) {
        v.DetectFrames(8, y, kFrame, 0, out);
        benchmark::DoNotOptimize(out[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 8 * kFrame);
}
BENCHMARK(BM_ViterbiInt)
    ->Args({0, 6})
    ->Args({1, 6})
    ->Args({2, 6})
    ->Args({3, 6})
    ->Args({0, 4})
    ->Args({0, 8})
    ->Args({0, 9})
    ->Args({0, 10});

// The integer detector's 16-bit forward pass alone, eight frames of E3PR4 at
// 6 bits, per instruction set.
void BM_ViterbiIntForward(benchmark::State& state) {
    using namespace viterbi_detail;
    const auto kernel = static_cast<Kernel>(state.range(0));
    if (!RunsInt(kernel)) {
        state.SkipWithError("not on this processor");
        return;
    }
    const Target target;
    const channel::Adc adc(target, 6);
    const IntBranches b =
        IntBranchesOf(target.GetTrellis(), adc.Lowest(), adc.PerLevel(), adc.TopCode());
    std::vector<std::vector<std::uint16_t>> rows(8, std::vector<std::uint16_t>(kFrame));
    const std::uint16_t* r[8];
    for (int f = 0; f < 8; ++f) {
        NoisyFrame frame(target, kFrame, f);
        adc.ToCodes(frame.y.data(), rows[f].data(), kFrame, kIntRowShift);
        r[f] = rows[f].data();
    }
    std::vector<std::uint32_t> decisions(8 * kFrame);
    std::uint16_t pm[8][32];
    std::uint16_t* p[8];
    for (int f = 0; f < 8; ++f) p[f] = pm[f];
    for (auto _ : state) {
        IntForwardFramesWith(kernel, b, 8, r, kFrame, decisions.data(), 8, p);
        benchmark::DoNotOptimize(decisions.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 8 * kFrame);
}
BENCHMARK(BM_ViterbiIntForward)
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kScalar))
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kAvx2))
    ->Arg(static_cast<int>(viterbi_detail::Kernel::kAvx512));

// The forward pass alone on E3PR4, per instruction set (skipped where the
// processor lacks it): what the fast detector falls back to elsewhere.
void BM_ViterbiForward(benchmark::State& state) {
    using namespace viterbi_detail;
    const auto kernel = static_cast<Kernel>(state.range(0));
    if (!Runs(kernel)) {
        state.SkipWithError("not on this processor");
        return;
    }
    NoisyFrame f(Target(), kFrame);
    const Branches b = BranchesOf(f.target.GetTrellis());
    std::vector<std::uint32_t> decisions(kFrame);
    float pm[kMaxStates];
    for (auto _ : state) {
        ForwardWith(kernel, b, f.y.data(), kFrame, decisions.data(), pm);
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
    NoisyFrame f(Target(), kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.AddNoise(f.clean.data(), f.y.data(), kFrame, 0.6);
        benchmark::DoNotOptimize(f.y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_AddNoise);

// The eight generators side by side, as the error-rate engine draws its noise.
void BM_AddNoiseLanes(benchmark::State& state) {
    NoisyFrame f(Target(), kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.AddNoiseLanes(f.clean.data(), f.y.data(), kFrame, 0.6);
        benchmark::DoNotOptimize(f.y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_AddNoiseLanes);

// The sixteen 32-bit lanes (the stream lanes16): on the best path this
// processor has, then on each (0 scalar, 1 AVX2, 2 AVX-512), and the float
// deviates alone as the fused error-rate chain draws them.
void BM_AddNoiseLanes16(benchmark::State& state) {
    NoisyFrame f(Target(), kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.AddNoiseLanes16(f.clean.data(), f.y.data(), kFrame, 0.6);
        benchmark::DoNotOptimize(f.y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_AddNoiseLanes16);

void BM_AddNoiseLanes16Path(benchmark::State& state) {
    const auto path = static_cast<NoiseSource::Path>(state.range(0));
    if (!NoiseSource::Runs(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    NoisyFrame f(Target(), kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.AddNoiseLanes16(f.clean.data(), f.y.data(), kFrame, 0.6, path);
        benchmark::DoNotOptimize(f.y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_AddNoiseLanes16Path)->Arg(0)->Arg(1)->Arg(2);

void BM_NormalsLanes16(benchmark::State& state) {
    std::vector<float> z(kFrame);
    NoiseSource noise(2, 0);
    for (auto _ : state) {
        noise.NormalsLanes16(z.data(), kFrame);
        benchmark::DoNotOptimize(z.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_NormalsLanes16);

void BM_SliceFrame(benchmark::State& state) {
    NoisyFrame f(Target(), kFrame);
    const Slicer slicer(f.target);
    for (auto _ : state) {
        slicer.Slice(f.y.data(), kFrame, f.out.data());
        benchmark::DoNotOptimize(f.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_SliceFrame);

// The precoder and the levels of a frame, E3PR4 and a real target.
void BM_EncodeFrame(benchmark::State& state) {
    NoisyFrame f(Named(state.range(0) == 0 ? "e3pr4" : "1,0.8,-0.3"), kFrame);
    state.SetLabel(f.target.Name());
    const FrameEncoder encoder(f.target);
    for (auto _ : state) {
        encoder.Precode(f.raw.data(), kFrame, f.prec.data());
        encoder.Levels(f.prec.data(), kFrame, 0, f.clean.data());
        benchmark::DoNotOptimize(f.clean.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_EncodeFrame)->Arg(0)->Arg(1);

// The readback of a Lorentzian head (density 2.5, jitter 0.05) at instants
// off the integers, as the timing loop reads it: argument 0 the plain sum of
// the jitter terms (the yardstick), 1 the best kernel's, 2 the AVX2 one's
// (on a processor with AVX-512, the kernel it replaces), 3 the receiver's
// (the terms expanded in Delta, at the nearest phase); the second argument
// 1 makes each instant wait for the last value, as the loop's do.
void BM_SamplerAt(benchmark::State& state) {
    constexpr int kBits = 4096;
    const Sampler sampler(std::make_shared<const Readback>(Head(HeadKind::kLorentz, 2.5), 0.05));
    NoiseSource source(1, 2);
    std::vector<std::uint8_t> prec(kBits);
    source.RandomBits(prec.data(), kBits);
    SamplerFrame frame;
    sampler.Load(prec.data(), kBits, source, frame);
    const bool plain = state.range(0) == 0, chained = state.range(1) == 1;
    const bool expanded = state.range(0) == 3;
    const JitterKernel kernel =
        state.range(0) == 2 ? JitterKernel::kAvx2 : Readback::BestJitterKernel();
    if (!Readback::Runs(kernel)) {
        state.SkipWithError("no AVX2 here");
        return;
    }
    for (auto _ : state) {
        float y = 0;
        for (int j = 0; j < kBits; ++j) {
            const double t = j + 0.4 + 2e-4 * j + (chained ? 1e-9 * y : 0.0);
            y = plain      ? sampler.AtPlain(t, frame)
                : expanded ? sampler.At(t, frame)
                           : sampler.At(kernel, t, frame);
        }
        benchmark::DoNotOptimize(y);
    }
    state.SetItemsProcessed(state.iterations() * kBits);
}
BENCHMARK(BM_SamplerAt)->ArgsProduct({{0, 1, 2, 3}, {0, 1}});

} // namespace
