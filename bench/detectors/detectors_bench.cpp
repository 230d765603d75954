// The soft detectors on 4096-bit frames, as many side by side as their
// kernel takes (16 in AVX-512 lanes, 8 in AVX2's), per bit
// of any of them; beside them the eight-frame float Viterbi detector on the
// same target and samples, their yardstick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/encoder.h"
#include "channel/noise.h"
#include "detectors/npbcjr.h"
#include "detectors/soft_simd.h"
#include "detectors/sova.h"
#include "detectors/table.h"
#include "detectors/viterbi.h"

namespace {

using namespace detectors;

constexpr int kFrame = 4096;
constexpr int kFrames = 8;
constexpr int kMaxFrames = kMaxSoftLanes;
const char* const kTargets[] = {"e3pr4", "e2pr4", "epr4"};

// kMaxFrames noisy frames with a tail at sigma 0.6 sqrt(d2min / 12), the share of
// the smallest distance the Viterbi benchmarks use.
struct Frames {
    channel::Target target;
    double sigma = 0;
    std::vector<std::vector<float>> y;
    std::vector<std::vector<float>> llr;
    std::vector<std::vector<std::uint8_t>> out;
    const float* yp[kMaxFrames];
    float* lp[kMaxFrames];
    std::uint8_t* op[kMaxFrames];
    explicit Frames(const char* name) {
        channel::Target::Parse(name, target);
        sigma = 0.6 * std::sqrt(target.D2Min() / 12);
        const channel::FrameEncoder encoder(target);
        const int tail = target.Memory();
        for (int f = 0; f < kMaxFrames; ++f) {
            channel::NoiseSource noise(7, static_cast<std::uint64_t>(f));
            std::vector<std::uint8_t> raw(kFrame), prec(kFrame);
            std::vector<float> clean(kFrame + tail);
            y.emplace_back(kFrame + tail);
            llr.emplace_back(kFrame);
            out.emplace_back(kFrame);
            noise.RandomBits(raw.data(), kFrame);
            encoder.Precode(raw.data(), kFrame, prec.data());
            encoder.Levels(prec.data(), kFrame, tail, clean.data());
            noise.AddNoise(clean.data(), y.back().data(), kFrame + tail, sigma);
        }
        for (int f = 0; f < kMaxFrames; ++f)
            yp[f] = y[f].data(), lp[f] = llr[f].data(), op[f] = out[f].data();
    }
};

void BM_ViterbiYardstick(benchmark::State& state) {
    Frames f(kTargets[state.range(0)]);
    state.SetLabel(f.target.Name());
    Viterbi v(f.target);
    for (auto _ : state) {
        v.DetectFrames(kFrames, f.yp, kFrame, f.target.Memory(), f.op);
        benchmark::DoNotOptimize(f.op[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kFrame);
}
BENCHMARK(BM_ViterbiYardstick)->DenseRange(0, 2);

// range(0): the kind, range(1): the target; the frames its lanes take.
void BM_Soft(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const int frames = LaneWidth(BestLaneKernel());
    Frames f(kTargets[state.range(1)]);
    Setup setup;
    setup.target = f.target;
    setup.shape = {kFrame, f.target.Memory()};
    setup.noiseVariance = f.sigma * f.sigma;
    setup.predictionVariance = f.sigma * f.sigma * 0.8;
    setup.predictor = {0.3f, -0.1f};
    state.SetLabel(std::string(KindName(kind)) + ", " + f.target.Name() + ", " +
                   std::to_string(frames) + " frames");
    const auto detector = Make(kind, setup);
    for (auto _ : state) {
        detector->DetectSoft(frames, f.yp, {nullptr, f.lp, false}, f.op);
        benchmark::DoNotOptimize(f.lp[frames - 1]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames * kFrame);
}
BENCHMARK(BM_Soft)
    ->ArgsProduct({{static_cast<int>(Kind::kMaxlog), static_cast<int>(Kind::kBcjr)}, {0, 1, 2}})
    ->Args({static_cast<int>(Kind::kSova), 0})
    ->Args({static_cast<int>(Kind::kSova), 1})
    ->Args({static_cast<int>(Kind::kNpbcjr), 1});

// The plain SOVA detector, frame after frame: the oracle the eight-frame
// one equals, its yardstick (range(0): the target).
void BM_SovaPlain(benchmark::State& state) {
    Frames f(kTargets[state.range(0)]);
    state.SetLabel(std::string("sova plain, ") + f.target.Name());
    const SoftTrellis t = MakeSoftTrellis(f.target);
    for (auto _ : state) {
        for (int i = 0; i < kFrames; ++i)
            SovaPlain(t, f.sigma * f.sigma, f.yp[i], kFrame, f.target.Memory(), 0, nullptr, false,
                      f.lp[i], f.op[i]);
        benchmark::DoNotOptimize(f.lp[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kFrame);
}
BENCHMARK(BM_SovaPlain)->DenseRange(0, 1);

// npbcjr's plain version, a frame at a time, as BM_Soft's npbcjr on E2PR4
// (the same taps and variance): what the detector ran before its lanes.
void BM_NpbcjrPlain(benchmark::State& state) {
    Frames f("e2pr4");
    const std::vector<float> predictor = {0.3f, -0.1f};
    const SoftTrellis t = MakeSoftTrellis(f.target, static_cast<int>(predictor.size()));
    state.SetLabel("npbcjr plain, e2pr4");
    for (auto _ : state) {
        for (int k = 0; k < kFrames; ++k)
            NpbcjrPlain(t, f.target, predictor, f.sigma * f.sigma * 0.8, f.yp[k], kFrame,
                        f.target.Memory(), nullptr, false, f.lp[k], f.op[k]);
        benchmark::DoNotOptimize(f.lp[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kFrame);
}
BENCHMARK(BM_NpbcjrPlain)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// On the constrained trellis of mtr2-4/5 (E2PR4 under NRZI), each kind
// beside the constrained Viterbi detector (range(0): the kind).
void BM_Constrained(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    Frames f("e2pr4");
    Setup setup;
    setup.target = f.target.WithNrzi();
    setup.shape = {kFrame, f.target.Memory()};
    setup.noiseVariance = f.sigma * f.sigma;
    setup.constraint = channel::ConstraintKind::kMtr45;
    state.SetLabel(std::string(KindName(kind)) + ", e2pr4, mtr2-4/5");
    const auto detector = Make(kind, setup);
    for (auto _ : state) {
        detector->DetectSoft(kFrames, f.yp, {nullptr, f.lp, false}, f.op);
        benchmark::DoNotOptimize(f.lp[7]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kFrame);
}
BENCHMARK(BM_Constrained)
    ->Arg(static_cast<int>(Kind::kViterbi))
    ->Arg(static_cast<int>(Kind::kMaxlog))
    ->Arg(static_cast<int>(Kind::kBcjr))
    ->Arg(static_cast<int>(Kind::kSova));

} // namespace
