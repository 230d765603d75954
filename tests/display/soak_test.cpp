// A long session: 100,000 presses in one process. A test of not failing, not
// of speed: the last press still draws exactly its run, and memory does not
// grow with the number of presses.
#include "channel/coding.h"
#include "channel/random.h"
#include "display/frame.h"
#include "resident_memory.h"
#include "window_fixture.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace testing_window;

namespace {

// Under the sanitizers, which check every access and not the memory's growth
// (below), a tenth of the presses reaches every path of a press as well.
#ifdef __SANITIZE_ADDRESS__
constexpr int kPresses = 10000;
#else
constexpr int kPresses = 100000;
#endif

TEST(Soak, HundredThousandPresses) {
    display::TForm1& f = Window();
    for (int i = 0; i < 100; ++i) f.Button1.Click();
    App().ProcessEvents();
    const long early = ResidentKiB();
    ASSERT_GT(early, 0);

    std::uint32_t beforeLast = 0;
    for (int i = 100; i < kPresses; ++i) {
        beforeLast = channel::randomState;
        f.Button1.Click();
        if (i % 1000 == 0) App().ProcessEvents();
    }
    App().ProcessEvents();
    const Raster last = Plot();
    std::vector<std::int32_t> lastSamples(std::begin(channel::sampData),
                                          std::end(channel::sampData));
    const long late = ResidentKiB();

    // The same run computed afresh from the generator state it started from.
    channel::randomState = beforeLast;
    display::DrawFrame(f.PlotSurface());
    f.Button1Click(&f.Button1);
    EXPECT_EQ(std::vector<std::int32_t>(std::begin(channel::sampData), std::end(channel::sampData)),
              lastSamples);
    EXPECT_EQ(Plot(), last);

#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's allocator holds freed blocks in quarantine, so resident
    // memory says nothing there; the ordinary build checks it.
    (void)early;
    (void)late;
    return;
#endif
    EXPECT_LE(late - early, 2048) << "resident memory grew from " << early << " KiB to " << late
                                  << " KiB";
}

} // namespace
