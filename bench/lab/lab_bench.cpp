// The error-rate engine end to end: random bits, coding, noise, the slicer
// and the Viterbi detector, counted against the raw bits. Mbit/s of counted
// bits on one worker thread and on two. Then the eye diagram.
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"

#include <atomic>
#include <benchmark/benchmark.h>

namespace {

// Arguments: worker threads, the converter's bits (0: float samples), and
// 1 for the noise of the single generator of earlier versions.
void BM_BerEndToEnd(benchmark::State& state) {
    engine::BerSettings settings;
    settings.bits = 1 << 23;
    settings.errors = settings.bits; // never the reason to stop
    settings.frame = 4096;
    settings.threads = static_cast<int>(state.range(0));
    engine::BerSetup setup;
    setup.chain.adcBits = static_cast<int>(state.range(1));
    if (state.range(2) == 1) setup.chain.noise = engine::ChainSettings::Noise::kSerial;
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
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

// `quorvane-lab eye` at its defaults without the PNG: 10^5 blocks of the
// waveform with noise, drawn into the density, per iteration; one worker
// thread and two.
void BM_EyeDefault(benchmark::State& state) {
    engine::EyeGeometry geometry;
    engine::FitEyePicture(560, 360, 2, channel::Target(), geometry);
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
