// The click handler, whole and in its parts, against a memset of the plot
// raster measured in the same run; and the resident memory of the window.
#include "channel/coding.h"
#include "channel/random.h"
#include "channel/waveform.h"
#include "display/form1.h"
#include "display/frame.h"
#include "display/startup.h"
#include "display/trace.h"
#include "display/window_text.h"
#include "platform/application.h"
#include "tests/display/resident_memory.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

display::TForm1& Window() {
    return *display::Form1;
}

void BM_MemsetRaster(benchmark::State& state) {
    std::vector<unsigned char> raster(240000);
    for (auto _ : state) {
        std::memset(raster.data(), 0, raster.size());
        benchmark::DoNotOptimize(raster.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemsetRaster);

// Steps 1, 2, 4, 5 and 6 of a run: everything but the strips and the copy.
void BM_ClickComputeAndRaster(benchmark::State& state) {
    for (auto _ : state) {
        display::DrawFrame(Window().PlotSurface());
        channel::GenerateBlock();
        channel::SynthesizeWave();
        display::DrawTrace(Window().PlotSurface(), channel::waveBuf);
        display::DrawSampleMarkers(Window().PlotSurface(), channel::waveBuf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ClickComputeAndRaster);

// The parts of the raster work, to see where its time goes.
void BM_DrawFrame(benchmark::State& state) {
    for (auto _ : state) {
        display::DrawFrame(Window().PlotSurface());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawFrame);

void BM_DrawTraceAndMarkers(benchmark::State& state) {
    for (auto _ : state) {
        display::DrawTrace(Window().PlotSurface(), channel::waveBuf);
        display::DrawSampleMarkers(Window().PlotSurface(), channel::waveBuf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DrawTraceAndMarkers);

void BM_ClickStrips(benchmark::State& state) {
    for (auto _ : state) display::DrawStrips();
}
BENCHMARK(BM_ClickStrips);

void BM_ClickCopyToControl(benchmark::State& state) {
    for (auto _ : state) Window().xmg.ShowBitmap(0);
}
BENCHMARK(BM_ClickCopyToControl);

void BM_WholeClick(benchmark::State& state) {
    for (auto _ : state) Window().Button1Click(&Window().Button1);
}
BENCHMARK(BM_WholeClick);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    channel::SeedRandom(1);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    platform::Application app(qtArgc, qtArgv);
    display::CreateMainWindow(app);
    Window().Show();
    app.ProcessEvents();
    // --memory: resident memory after start-up and after 1000 presses, in a
    // process that has run nothing else.
    if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) {
        const long afterStart = ResidentKiB();
        for (int i = 0; i < 1000; ++i) Window().Button1.Click();
        app.ProcessEvents();
        std::printf("rss_start_kib %ld\nrss_1000_kib %ld\n", afterStart, ResidentKiB());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
