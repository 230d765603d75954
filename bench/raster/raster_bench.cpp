// Raster primitives on the 600 x 400 plot surface. The fills run beside a
// plain memset of the same 240,000 bytes so the two can be compared in one run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "raster/primitives.h"

namespace {

constexpr std::int32_t kWidth = 600;
constexpr std::int32_t kHeight = 400;

struct Surface {
    std::vector<std::uint8_t> store = std::vector<std::uint8_t>(kWidth * kHeight);
    std::vector<std::uint8_t*> rows = std::vector<std::uint8_t*>(kHeight);
    Surface() {
        for (std::int32_t y = 0; y < kHeight; ++y) rows[y] = store.data() + y * kWidth;
    }
    raster::RowTable rt() const { return rows.data(); }
};

void BM_ClearSurface(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        raster::ClearSurface(s.rt(), kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ClearSurface);

void BM_MemsetZero(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        std::memset(s.store.data(), 0, s.store.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_MemsetZero);

void BM_FillSurface(benchmark::State& state) {
    Surface s;
    std::int32_t colour = 0x5A;
    for (auto _ : state) {
        benchmark::DoNotOptimize(colour);
        raster::FillSurface(s.rt(), kWidth, kHeight, colour);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_FillSurface);

void BM_MemsetFill(benchmark::State& state) {
    Surface s;
    int colour = 0x5A;
    for (auto _ : state) {
        benchmark::DoNotOptimize(colour);
        std::memset(s.store.data(), colour, s.store.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_MemsetFill);

// 200 lines from the middle of the plot to points around its border: every
// slope, all eight directions, the axis-parallel and 45-degree cases included.
struct Fan {
    std::int32_t end[200][2];
    std::int64_t pixels = 0;
    Fan() {
        for (int i = 0; i < 200; ++i) {
            const double a = i * (2.0 * 3.141592653589793 / 200.0);
            double dx = std::cos(a), dy = std::sin(a);
            const double scale = std::fabs(dx) * 199.0 > std::fabs(dy) * 299.0
                                     ? 299.0 / std::fabs(dx)
                                     : 199.0 / std::fabs(dy);
            end[i][0] = 300 + static_cast<std::int32_t>(std::lround(dx * scale));
            end[i][1] = 200 + static_cast<std::int32_t>(std::lround(dy * scale));
            const std::int32_t ax = std::abs(end[i][0] - 300), ay = std::abs(end[i][1] - 200);
            pixels += ax > ay ? ax : ay;
        }
    }
};

void BM_LineFan(benchmark::State& state) {
    Surface s;
    const Fan fan;
    for (auto _ : state) {
        for (const auto& e : fan.end) raster::Line(s.rt(), 300, 200, e[0], e[1], 14);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * fan.pixels);
}
BENCHMARK(BM_LineFan);

void BM_LinePatternFan(benchmark::State& state) {
    Surface s;
    const Fan fan;
    for (auto _ : state) {
        for (const auto& e : fan.end) {
            std::uint16_t pattern = 0x183C, phase = 0;
            raster::LinePattern(s.rt(), 300, 200, e[0], e[1], 8, pattern, phase);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * fan.pixels);
}
BENCHMARK(BM_LinePatternFan);

// The plot's trace: 599 spans between rows of a wave spanning most of the height.
void BM_ColumnSpanTrace(benchmark::State& state) {
    Surface s;
    std::int32_t rows[600];
    std::int64_t pixels = 0;
    for (int x = 0; x < 600; ++x)
        rows[x] = 200 + static_cast<std::int32_t>(180.0 * std::sin(x * 0.2) * std::cos(x * 0.013));
    for (int x = 0; x < 599; ++x) {
        const std::int32_t n = std::abs(rows[x + 1] - rows[x]);
        pixels += n == 0 ? 1 : n;
    }
    for (auto _ : state) {
        for (std::int32_t x = 0; x < 599; ++x)
            raster::ColumnSpan(s.rt(), x, rows[x], rows[x + 1], 14);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}
BENCHMARK(BM_ColumnSpanTrace);

void BM_SampleMarkers(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        for (std::int32_t x = 100; x <= 500; x += 10) raster::SampleMarker(s.rt(), x, 200, 15);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 41);
}
BENCHMARK(BM_SampleMarkers);

void BM_Circle100(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        raster::Circle(s.rt(), 300, 200, 100, 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Circle100);

void BM_Disc100(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        raster::Disc(s.rt(), 300, 200, 100, 12);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Disc100);

void BM_DiscOutlined100(benchmark::State& state) {
    Surface s;
    for (auto _ : state) {
        raster::DiscOutlined(s.rt(), 300, 200, 100, 12, 3);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DiscOutlined100);

} // namespace
