// quorvane-snapshot --data with many runs: a run before the last is one
// block and its forty rows, so the runs per second here bound the tool's.
// The rows go to /dev/null, so the figure is the program's, not the disk's.
// Beside it the six-field fprintf per row the tool used to write, as the
// yardstick.
#include "channel/coding.h"
#include "snapshot/snapshot_data.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

struct NullFile {
    std::FILE* file = std::fopen("/dev/null", "wb");
    ~NullFile() { std::fclose(file); }
};

void BM_SnapshotDataRun(benchmark::State& state) {
    NullFile out;
    auto rows = std::make_unique<snapshot::DataWriter>(out.file);
    std::int32_t run = 0;
    for (auto _ : state) {
        channel::GenerateBlock();
        run = run % 1000000 + 1;
        rows->Run(run);
    }
    rows->Flush();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SnapshotDataRun);

void BM_SnapshotDataRunFprintf(benchmark::State& state) {
    NullFile out;
    long run = 0;
    for (auto _ : state) {
        channel::GenerateBlock();
        run = run % 1000000 + 1;
        for (int k = 0; k < channel::kBits; ++k) {
            std::fprintf(out.file, "%ld,%d,%d,%d,%d,%d\n", run, k, channel::rawData[k],
                         channel::precData[k], channel::nrziData[k], channel::sampData[k]);
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SnapshotDataRunFprintf);

} // namespace
