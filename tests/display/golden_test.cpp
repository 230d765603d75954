// Golden checks: whole pictures and files pinned by a 64-bit FNV-1a hash
// (offset basis 0xcbf29ce484222325, prime 0x100000001b3, one byte at a time).
// The values were taken from a build whose every pixel and file had been
// checked against an independent model; any change to what a user sees
// changes one of them. Runs in its own binary, so the first test sees the
// window exactly as start-up left it.
#include "channel/random.h"
#include "tests/display/window_fixture.h"
#include "tests/program_fixture.h"

#include <cstdint>
#include <string>

using namespace testing_window;

namespace {

std::uint64_t Fnv1a(const std::uint8_t* bytes, std::size_t n,
                    std::uint64_t h = 0xcbf29ce484222325) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 0x100000001b3;
    return h;
}

// The plot bitmap's 240,000 palette indices, bottom row first.
std::uint64_t PlotHash() {
    const Raster r = Plot();
    return Fnv1a(r.data(), r.size());
}

// The client area as shown: width and height as four little-endian bytes
// each, then red, green, blue of every pixel, top row first.
std::uint64_t ClientHash() {
    const platform::RgbImage shot = Window().GrabClient();
    std::uint8_t head[8];
    for (int i = 0; i < 4; ++i) {
        head[i] = static_cast<std::uint8_t>(shot.width >> (8 * i));
        head[4 + i] = static_cast<std::uint8_t>(shot.height >> (8 * i));
    }
    std::uint64_t h = Fnv1a(head, 8);
    for (platform::Colour c : shot.pixels) {
        const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(c >> 16),
                                     static_cast<std::uint8_t>(c >> 8),
                                     static_cast<std::uint8_t>(c)};
        h = Fnv1a(rgb, 3, h);
    }
    return h;
}

void Presses(int n) {
    for (int i = 0; i < n; ++i) Window().Button1.Click();
    App().ProcessEvents();
}

// Must stay the first test of this binary.
TEST(Golden, StartUpPicture) {
    App();
    EXPECT_EQ(PlotHash(), 0x16b3e48f091e4c65ull) << std::hex << PlotHash();
    EXPECT_EQ(ClientHash(), 0xdfe605f5bca26811ull) << std::hex << ClientHash();
}

TEST(Golden, PicturesAfterPresses) {
    struct Case {
        int presses;
        std::uint64_t plot, client; // client 0: not pinned at this count
    };
    const Case cases[] = {
        {1, 0x05e4dec56115be87ull, 0xf6b99a8e441fe8faull},
        {2, 0xad5740db01a1931aull, 0},
        {100, 0x0d54793b4c43e210ull, 0},
    };
    for (const Case& c : cases) {
        channel::SeedRandom(1);
        Presses(c.presses);
        EXPECT_EQ(PlotHash(), c.plot) << c.presses << " presses: " << std::hex << PlotHash();
        if (c.client != 0) {
            EXPECT_EQ(ClientHash(), c.client)
                << c.presses << " presses: " << std::hex << ClientHash();
        }
    }
}

class GoldenFiles : public testsupport::ProgramTest {
  protected:
    GoldenFiles() : ProgramTest(QUORVANE_SNAPSHOT, "qv-golden-") {}
};

TEST_F(GoldenFiles, ThreeRunsWaveAndData) {
    const testsupport::Result r = Run("--runs 3 --wave " + P("w.csv") + " --data " + P("d.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& [name, want] :
         {std::pair<std::string, std::uint64_t>{"w.csv", 0xd0ddc5656f710a14ull},
          {"d.csv", 0xbb3c1069b6fce0e4ull}}) {
        const std::string bytes = testsupport::Slurp(P(name));
        const std::uint64_t got =
            Fnv1a(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(got, want) << name << ": " << std::hex << got;
    }
}

} // namespace
