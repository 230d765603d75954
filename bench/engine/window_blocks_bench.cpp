// What a press of the lab window costs on its block worker, 4096-bit blocks:
// the window's block through the chain and the detectors uncoded (the
// yardstick, in the same run), under the mtr2-4/5 code (coding, the
// constrained trellis, the decoder), and the Timing tab's read of the same
// block that a timed view adds (its own design and loop: engine::TrackBits).
// Arguments: 0 the ideal channel / 1 a Lorentzian head at density 2.5, and
// 0 uncoded / 1 mtr2-4/5.
#include "engine/frame_timing.h"
#include "engine/window_blocks.h"

#include <benchmark/benchmark.h>

namespace {

engine::BlockSettings Blocks(bool head, bool coded) {
    engine::BlockSettings s;
    s.bits = 4096;
    s.sigma = head ? 0.1 : 0.5;
    if (head) {
        s.chain.head = channel::HeadKind::kLorentz;
        s.chain.density = 2.5;
    }
    if (coded) s.chain.constraint = channel::ConstraintKind::kMtr45;
    return s;
}

void BM_WindowBlock(benchmark::State& state) {
    engine::WindowBlocks blocks(Blocks(state.range(0) != 0, state.range(1) != 0));
    for (auto _ : state) benchmark::DoNotOptimize(blocks.Next().errors.data());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowBlock)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_TimedRead(benchmark::State& state) {
    const engine::BlockSettings s = Blocks(state.range(0) != 0, false);
    engine::WindowBlocks blocks(s);
    const std::vector<std::uint8_t> raw = blocks.Next().frame.raw;
    engine::ChainSettings chain = s.chain;
    chain.timing.phase = 0.4;
    chain.timing.freqPpm = 200;
    for (auto _ : state)
        benchmark::DoNotOptimize(engine::TrackBits(chain, s.sigma, raw, 1).track.slips);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimedRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
