// A run allocates nothing on the heap but its strip texts: the frame, the
// block, the waveform, the trace and the rings work in fixed arrays.
#include "channel/coding.h"
#include "channel/waveform.h"
#include "display/frame.h"
#include "display/trace.h"
#include "window_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace testing_window;

namespace {

TEST(Allocation, RunStepsOutsideTheStripsAllocateNothing) {
    display::TForm1& f = Window();
    f.Button1.Click(); // warm up anything created once
    const long before = allocations.load();
    const raster::Surface plot = f.PlotSurface();
    for (int i = 0; i < 50; ++i) {
        display::DrawFrame(plot);
        channel::GenerateBlock();
        channel::SynthesizeWave();
        display::DrawTrace(plot, channel::waveBuf);
        display::DrawSampleMarkers(plot, channel::waveBuf);
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

TEST(Allocation, CopyToTheControlAllocatesNothingPerCopy) {
    display::TForm1& f = Window();
    f.xmg.ShowBitmap(0);
    App().ProcessEvents();
    // The copy itself writes into the picture it has; the only allocations
    // are the toolkit's one queued repaint request, which later copies join
    // until the window paints.
    const long before = allocations.load();
    for (int i = 0; i < 50; ++i) f.xmg.ShowBitmap(0);
    EXPECT_LE(allocations.load() - before, 5);
}

TEST(Allocation, StripTextsAreTheOnlyAllocationsOfTheirStep) {
    Window();
    const long before = allocations.load();
    const display::StripTexts t = display::MakeStripTexts(channel::rawData, channel::precData,
                                                          channel::nrziData, channel::sampData);
    EXPECT_LE(allocations.load() - before, 5); // five 40-character texts
    EXPECT_EQ(t.raw.size(), 40u);
}

} // namespace
