// Compares a screenshot with a raster of palette indices (binary PGM,
// 600 x 400, top row first): every plot pixel outside the button must show
// its index's plot colour.
//   plot_compare SHOT.rgb RASTER.pgm
//     SHOT is the window's client area (raw RGB, 690 x 483), the plot at
//     (40, 40); each of the four strip bands must also hold glyph pixels.
//   plot_compare --find WIDTH HEIGHT SHOT.rgb RASTER.pgm
//     SHOT is a whole screen (raw RGB) with the window somewhere on it,
//     framed by whatever the window system draws: the plot is found where
//     the screen matches it best.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kClientW = 690, kClientH = 483, kPlotX = 40, kPlotY = 40;

std::vector<unsigned char> ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Screen {
    const std::vector<unsigned char>& rgb;
    int width;
    unsigned At(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
    }
};

// Plot pixels that differ with the plot's top left corner at (px, py),
// visiting every step-th pixel and stopping once more than `limit` differ.
int Differences(const Screen& s, const unsigned char* raster, int px, int py, int step, int limit,
                bool report = false) {
    static const std::map<int, unsigned> colours = {{0, 0x000000},  {2, 0x008000},  {8, 0x808080},
                                                    {10, 0x00FF00}, {11, 0x00FFFF}, {12, 0xFF0000},
                                                    {14, 0xFFFF00}, {15, 0xFFFFFF}};
    int wrong = 0;
    for (int i = 0; i < 600 * 400 && wrong <= limit; i += step) {
        const int x = i % 600, y = i / 600;
        if (x >= 264 && x < 339 && y >= 368 && y < 393) continue; // the button
        const auto it = colours.find(raster[i]);
        const unsigned want = it == colours.end() ? 0 : it->second;
        const unsigned got = s.At(px + x, py + y);
        if (got != want && wrong++ < 10 && report)
            std::fprintf(stderr, "plot (%d, %d): screen %06X, raster index %d (%06X)\n", x, y, got,
                         raster[i], want);
    }
    return wrong;
}

} // namespace

int main(int argc, char** argv) {
    const bool find = argc == 6 && std::string(argv[1]) == "--find";
    if (argc != 3 && !find) {
        std::fprintf(stderr, "usage: plot_compare [--find WIDTH HEIGHT] SHOT.rgb RASTER.pgm\n");
        return 2;
    }
    const int width = find ? std::atoi(argv[2]) : kClientW;
    const int height = find ? std::atoi(argv[3]) : kClientH;
    const std::vector<unsigned char> shot = ReadAll(argv[argc - 2]);
    const std::vector<unsigned char> pgm = ReadAll(argv[argc - 1]);
    const std::string header = "P5\n600 400\n255\n";
    if (width < 600 || height < 400 || shot.size() != static_cast<size_t>(width) * height * 3) {
        std::fprintf(stderr, "screenshot has %zu bytes, not %d x %d x 3\n", shot.size(), width,
                     height);
        return 1;
    }
    if (pgm.size() != header.size() + 600 * 400 ||
        std::string(pgm.begin(), pgm.begin() + header.size()) != header) {
        std::fprintf(stderr, "raster is not a 600 x 400 PGM\n");
        return 1;
    }
    const Screen screen{shot, width};
    const unsigned char* raster = pgm.data() + header.size();

    // Where the plot is: fixed in a client area; on a screen, the position
    // whose sample of pixels (every 997th, a prime, so rows and columns mix)
    // differs least.
    int px = kPlotX, py = kPlotY;
    if (find) {
        int best = 600 * 400;
        for (int y = 0; y <= height - 400 && best > 0; ++y)
            for (int x = 0; x <= width - 600 && best > 0; ++x) {
                const int d = Differences(screen, raster, x, y, 997, best - 1);
                if (d < best) best = d, px = x, py = y;
            }
    }
    const int wrong = Differences(screen, raster, px, py, 1, 600 * 400, true);
    if (wrong != 0) {
        std::fprintf(stderr, "%d plot pixels differ (plot at %d, %d on the shot)\n", wrong, px, py);
        return 1;
    }
    if (find) {
        std::printf("the plot matches at (%d, %d) on the screen\n", px, py);
        return 0;
    }
    // The strips: dark glyph pixels in each band, one 12-pixel line of text.
    const int bands[4][2] = {{40, 22}, {340, 22}, {40, 460}, {340, 460}};
    for (const auto& b : bands) {
        int ink = 0;
        for (int y = b[1]; y < b[1] + 14 && y < kClientH; ++y)
            for (int x = b[0]; x < b[0] + 290; ++x) ink += screen.At(x, y) < 0x404040;
        if (ink < 40) {
            std::fprintf(stderr, "strip at (%d, %d) holds only %d glyph pixels\n", b[0], b[1], ink);
            return 1;
        }
    }
    std::printf("plot pixels match; four strips drawn\n");
    return 0;
}
