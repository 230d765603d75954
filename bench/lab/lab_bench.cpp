// The error-rate engine end to end: random bits, coding, noise, the slicer
// and the Viterbi detector, counted against the raw bits. Mbit/s of counted
// bits on one worker thread and on two.
#include "lab/ber_engine.h"

#include <atomic>
#include <benchmark/benchmark.h>

namespace {

void BM_BerEndToEnd(benchmark::State& state) {
    lab::BerSettings settings;
    settings.bits = 1 << 23;
    settings.errors = settings.bits; // never the reason to stop
    settings.frame = 4096;
    settings.threads = static_cast<int>(state.range(0));
    const std::atomic<bool> stop{false};
    std::uint64_t bits = 0;
    for (auto _ : state) {
        lab::ErrorCounts counts;
        lab::RunPoint(settings, 0, 0.5, stop, counts);
        benchmark::DoNotOptimize(counts);
        bits += counts.bits;
    }
    // Shown as bits per second with an SI prefix: "bits=41.2M/s".
    state.counters["bits"] = benchmark::Counter(
        static_cast<double>(bits), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_BerEndToEnd)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
