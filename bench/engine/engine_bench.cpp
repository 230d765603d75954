// Rare error rates by importance sampling against counting, on one worker
// thread (so wall time is processor time): E3PR4 on the ideal channel
// (Viterbi) and behind a Lorentzian head at density 2.5 (npml), at about
// 1e-8, 1e-12 and 1e-15. Each run reports its estimate, relative standard
// error and seconds; the yardstick is counting on the same channel in the
// same run, its bits per second, and from it the seconds counting would
// need for the same relative error at that rate (1 / rse^2 error events,
// each costing the bits the importance run saw per error trial).
#include "channel/bounds.h"
#include "engine/error_rate.h"
#include "engine/importance.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <map>

namespace {

engine::BerSetup Setup(bool head) {
    engine::BerSetup setup;
    if (head) {
        setup.chain.head = channel::HeadKind::kLorentz;
        setup.chain.density = 2.5;
        setup.detectors = {detectors::Kind::kNpml};
    } else {
        setup.detectors = {detectors::Kind::kViterbi};
    }
    return setup;
}

// Counting's bits per second on each channel, measured once per run.
std::map<bool, double>& CountingRate() {
    static std::map<bool, double> rates;
    return rates;
}

double SigmaAt(const engine::BerSetup& setup, double db) {
    return channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), db);
}

// Arguments: 0 ideal / 1 head, and the SNR in hundredths of a dB.
void BM_CountingYardstick(benchmark::State& state) {
    const bool head = state.range(0) != 0;
    const engine::BerSetup setup = Setup(head);
    engine::BerSettings run;
    run.bits = 1 << 23;
    run.errors = run.bits;
    const double sigma = SigmaAt(setup, state.range(1) / 100.0);
    const std::atomic<bool> stop{false};
    std::uint64_t bits = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        engine::PointCounts counts;
        engine::RunPoint(run, setup, 0, sigma, stop, counts);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bits += counts.bits;
    }
    CountingRate()[head] = static_cast<double>(bits) / seconds;
    state.counters["bits"] = benchmark::Counter(
        static_cast<double>(bits), benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_CountingYardstick)
    ->Args({0, 2460})
    ->Args({1, 2310})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: 0 ideal / 1 head, the SNR in hundredths of a dB, the target
// relative error in per cent.
void BM_ImportanceSampled(benchmark::State& state) {
    const bool head = state.range(0) != 0;
    const engine::BerSetup setup = Setup(head);
    engine::BerSettings run;
    run.bits = 10'000'000'000;
    engine::ImportanceSettings is;
    is.rse = state.range(2) / 100.0;
    const double sigma = SigmaAt(setup, state.range(1) / 100.0);
    const engine::ChannelDesign design = engine::DesignChannel(setup.chain, sigma);
    const std::atomic<bool> stop{false};
    engine::Estimate e;
    double seconds = 0;
    std::uint64_t trials = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        engine::ImportanceSums sums;
        engine::RunImportancePoint(run, is, setup, design, 0, stop, sums);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        e = sums.EstimateOf(0);
        trials = sums.trials;
    }
    seconds /= static_cast<double>(state.iterations());
    state.counters["ber"] = e.ber;
    state.counters["rse"] = e.rse;
    state.counters["trials"] = static_cast<double>(trials);
    state.counters["seconds"] = seconds;
    // Counting for the same relative error: 1 / rse^2 error events of
    // bitErrors / hits wrong bits each, at the measured rate.
    if (CountingRate().count(head) && e.hits > 0 && e.ber > 0) {
        const double perEvent = static_cast<double>(e.bitErrors) / static_cast<double>(e.hits);
        const double bits = perEvent / (e.rse * e.rse) / e.ber;
        const double counting = bits / CountingRate()[head];
        state.counters["counting_s"] = counting;
        state.counters["speedup"] = counting / seconds;
    }
}
BENCHMARK(BM_ImportanceSampled)
    ->Args({0, 2460, 10}) // about 1e-8
    ->Args({0, 2660, 20}) // about 1e-12
    ->Args({0, 2760, 30}) // about 1e-15
    ->Args({1, 2310, 10}) // about 1e-8
    ->Args({1, 2500, 20}) // about 1e-12
    ->Args({1, 2610, 30}) // about 1e-15
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace
