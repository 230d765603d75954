// The error-rate engine end to end: random bits, coding, noise, the slicer
// and the Viterbi detector, counted against the raw bits. Mbit/s of counted
// bits on one worker thread and on two. Then the eye diagram.
#include "channel/bounds.h"
#include "channel/encoder.h"
#include "channel/noise.h"
#include "detectors/viterbi.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/target_survey.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

// Arguments: worker threads, the converter's bits (0: float samples), and
// 0 for the noise of the eight lanes, 1 for the single generator (the
// lab's default stream), 2 for the sixteen 32-bit lanes (lanes16; behind a
// converter the fused chain, engine/fused_chunk.h).
void BM_BerEndToEnd(benchmark::State& state) {
    engine::BerSettings settings;
    settings.bits = 1 << 23;
    settings.errors = settings.bits; // never the reason to stop
    settings.frame = 4096;
    settings.threads = static_cast<int>(state.range(0));
    engine::BerSetup setup;
    setup.chain.adcBits = static_cast<int>(state.range(1));
    const engine::ChainSettings::Noise streams[] = {engine::ChainSettings::Noise::kLanes,
                                                    engine::ChainSettings::Noise::kSerial,
                                                    engine::ChainSettings::Noise::kLanes16};
    setup.chain.noise = streams[state.range(2)];
    const std::atomic<bool> stop{false};
    std::uint64_t bits = 0;
    for (auto _ : state) {
        engine::PointCounts counts;
        engine::RunPoint(settings, setup, 0, 0.5, stop, counts);
        benchmark::DoNotOptimize(counts);
        bits += counts.bits;
    }
    // Shown as bits per second with an SI prefix: "bits=41.2M/s".
    state.counters["bits"] = benchmark::Counter(
        static_cast<double>(bits), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_BerEndToEnd)
    ->Args({1, 0, 0})
    ->Args({2, 0, 0})
    ->Args({1, 6, 0})
    ->Args({2, 6, 0})
    ->Args({1, 0, 1})
    ->Args({1, 6, 2})
    ->Args({2, 6, 2})
    ->Args({1, 0, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The yardstick of the rows above in the same run: the plain Viterbi oracle
// (as bench_channel's BM_ViterbiPlain) on a noisy E3PR4 frame of 4096 bits.
void BM_ViterbiPlainYardstick(benchmark::State& state) {
    const channel::Target target;
    constexpr int kFrame = 4096;
    std::vector<std::uint8_t> raw(kFrame), prec(kFrame), out(kFrame);
    std::vector<float> clean(kFrame), y(kFrame);
    const channel::FrameEncoder encoder(target);
    channel::NoiseSource noise(7, 0);
    noise.RandomBits(raw.data(), kFrame);
    encoder.Precode(raw.data(), kFrame, prec.data());
    encoder.Levels(prec.data(), kFrame, 0, clean.data());
    noise.AddNoise(clean.data(), y.data(), kFrame, 0.6);
    for (auto _ : state) {
        detectors::ViterbiPlain(target, y.data(), kFrame, 0, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_ViterbiPlainYardstick);

} // namespace

// `quorvane-lab eye` at its defaults without the PNG: 10^5 blocks of the
// waveform with noise, drawn into the density, per iteration; one worker
// thread and two.
void BM_EyeDefault(benchmark::State& state) {
    engine::EyeGeometry geometry;
    engine::FitEyePicture(560, 360, 2, engine::EyeRange{}, geometry);
    engine::EyeSettings settings;
    settings.blocks = 100'000;
    settings.sigma = 0.1;
    settings.threads = static_cast<int>(state.range(0));
    const std::atomic<bool> stop{false};
    for (auto _ : state) {
        engine::EyeImage image;
        engine::DrawEye(settings, geometry, stop, image);
        benchmark::DoNotOptimize(image.hits.data());
    }
}
BENCHMARK(BM_EyeDefault)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// ber on a Lorentzian head at density 2 with jitter 0.05, its 15-tap
// equalizer to E2PR4, and both Viterbi detectors (plain and npml with two
// predictor taps) at 24 dB: the recording channel's end-to-end rate, the
// channel designed once per iteration as the lab designs it per point.
// Arguments: worker threads; the converter's bits on the equalizer's output
// with the eight noise lanes (0: float samples, the serial noise).
void BM_BerRecording(benchmark::State& state) {
    engine::BerSettings settings;
    settings.bits = 1 << 22;
    settings.errors = settings.bits;
    settings.threads = static_cast<int>(state.range(0));
    engine::BerSetup setup;
    setup.chain.head = channel::HeadKind::kLorentz;
    setup.chain.density = 2;
    setup.chain.jitter = 0.05;
    channel::Target::Parse("e2pr4", setup.chain.target);
    setup.detectors = {detectors::Kind::kViterbi, detectors::Kind::kNpml};
    setup.chain.adcBits = static_cast<int>(state.range(1));
    if (setup.chain.adcBits > 0) setup.chain.noise = engine::ChainSettings::Noise::kLanes;
    const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), 24);
    const std::atomic<bool> stop{false};
    std::uint64_t bits = 0;
    for (auto _ : state) {
        engine::PointCounts counts;
        engine::RunPoint(settings, setup, 0, sigma, stop, counts);
        bits += counts.bits;
    }
    state.counters["bits"] = benchmark::Counter(
        static_cast<double>(bits), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_BerRecording)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 6})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// ber on a Lorentzian head at density 2.5 (EPR4, Viterbi and npml, 24 dB,
// one thread) without the timing modelled (argument 0) and with it (1: phase
// 0.4, 200 ppm, the default loop), the timing's yardstick in the same run;
// argument 2 adds the jitter of 0.05, whose terms each sample then sums, and
// argument 3 is its yardstick: the same jitter without the timing modelled.
void BM_BerTiming(benchmark::State& state) {
    engine::BerSettings settings;
    settings.bits = 1 << 21;
    settings.errors = settings.bits;
    engine::BerSetup setup;
    setup.chain.head = channel::HeadKind::kLorentz;
    setup.chain.density = 2.5;
    setup.chain.jitter = state.range(0) >= 2 ? 0.05 : 0.0;
    channel::Target::Parse("epr4", setup.chain.target);
    setup.detectors = {detectors::Kind::kViterbi, detectors::Kind::kNpml};
    setup.chain.timing.on = state.range(0) == 1 || state.range(0) == 2;
    setup.chain.timing.phase = 0.4;
    setup.chain.timing.freqPpm = 200;
    const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), 24);
    const std::atomic<bool> stop{false};
    std::uint64_t bits = 0;
    for (auto _ : state) {
        engine::PointCounts counts;
        engine::RunPoint(settings, setup, 0, sigma, stop, counts);
        bits += counts.bits;
    }
    state.counters["bits"] = benchmark::Counter(
        static_cast<double>(bits), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_BerTiming)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// quorvane-lab targets over 31 densities, 1 ... 4 by 0.1, on each head.
void BM_Targets31(benchmark::State& state) {
    engine::SurveySettings settings;
    settings.head = state.range(0) == 0 ? channel::HeadKind::kLorentz : channel::HeadKind::kErf;
    for (int i = 0; i <= 30; ++i) settings.densities.push_back(1 + 0.1 * i);
    settings.jitter = 0.05;
    for (auto _ : state) benchmark::DoNotOptimize(engine::SurveyTargets(settings));
}
BENCHMARK(BM_Targets31)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
