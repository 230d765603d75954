// Sectors through the whole iterative chain on one worker thread (user bits,
// encoder, channel, soft detector and decoder, the classical channel beside
// them): sector512, maxlog, 3 rounds of 10 local iterations, on E2PR4 at
// 16.5 dB (above the waterfall) and behind a Lorentzian head at density 2.5
// at 18 dB, by the decoder's arithmetic. The yardstick is the plain float
// decoder one sector at a time (messages 3) in the same run. Counters:
// sectors and Mbit/s of coded bits per second of the process's CPU time.
#include <atomic>
#include <benchmark/benchmark.h>
#include <memory>

#include "codes/builtin.h"
#include "detectors/table.h"
#include "engine/sector_run.h"

namespace {

// Arguments: 0 ideal / 1 head; the messages (0 int8, 1 int16, 2 float, 3 plain).
void BM_Sectors(benchmark::State& state) {
    engine::SectorSettings s;
    channel::Target::Parse("e2pr4", s.chain.target);
    const bool head = state.range(0) != 0;
    if (head) s.chain.head = channel::HeadKind::kLorentz;
    s.chain.density = 2.5;
    s.code = std::make_shared<const codes::Code>(*codes::Builtin("sector512"));
    s.detector = detectors::Kind::kMaxlog;
    s.messages = static_cast<engine::Messages>(state.range(1));
    s.sectors = 64;
    s.failures = s.sectors;
    const engine::SectorGeometry g = engine::GeometryOf(s, head ? 18 : 16.5);
    const std::atomic<bool> stop{false};
    std::uint64_t sectors = 0;
    int point = 0;
    for (auto _ : state) {
        engine::SectorCounts c;
        engine::RunSectorPoint(s, g, point++, stop, c);
        sectors += c.sectors;
    }
    state.counters["sectors/s"] =
        benchmark::Counter(static_cast<double>(sectors), benchmark::Counter::kIsRate);
    state.counters["Mbit/s"] = benchmark::Counter(static_cast<double>(sectors) * s.code->n * 1e-6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Sectors)
    ->ArgsProduct({{0, 1}, {3, 0, 1, 2}})
    ->ArgNames({"head", "messages"})
    ->MeasureProcessCPUTime() // the point runs on its worker thread
    ->Unit(benchmark::kMillisecond);

} // namespace
