// Compares a screenshot of the window's client area (raw RGB, 690 x 483) with
// a raster of palette indices (binary PGM, 600 x 400, top row first): every
// plot pixel outside the button must show its index's plot colour, and each of
// the four strip bands must hold glyph pixels.
//   plot_compare SHOT.rgb RASTER.pgm
// With --find, SHOT is a whole screen of WIDTH x HEIGHT with the window
// somewhere on it, framed by whatever the window system draws: the plot is
// where the screen matches it best, and the strips are not checked.
//   plot_compare --find WIDTH HEIGHT SHOT.rgb RASTER.pgm
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kClientW = 690, kClientH = 483;

std::vector<unsigned char> ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    const std::map<int, unsigned> colours = {{0, 0x000000},  {2, 0x008000},  {8, 0x808080},
                                             {10, 0x00FF00}, {11, 0x00FFFF}, {12, 0xFF0000},
                                             {14, 0xFFFF00}, {15, 0xFFFFFF}};
    auto pixel = [&](int x, int y) {
        const unsigned char* p = &shot[(static_cast<size_t>(y) * width + x) * 3];
        return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
    };
    // Plot pixels that differ with the client area at (ox, oy): every step-th
    // one, until more than `limit` differ.
    auto differences = [&](int ox, int oy, int step, int limit, bool report) {
        int wrong = 0;
        for (int i = 0; i < 600 * 400 && wrong <= limit; i += step) {
            const int x = i % 600, y = i / 600, cx = 40 + x, cy = 40 + y;
            if (cx >= 304 && cx < 379 && cy >= 408 && cy < 433) continue; // the button
            const int index = pgm[header.size() + i];
            const auto it = colours.find(index);
            const unsigned want = it == colours.end() ? 0 : it->second;
            if (pixel(ox + cx, oy + cy) != want && wrong++ < 10 && report)
                std::fprintf(stderr, "plot (%d, %d): screen %06X, raster index %d (%06X)\n", x, y,
                             pixel(ox + cx, oy + cy), index, want);
        }
        return wrong;
    };
    // On a screen, the client area (part of it may be off-screen) is where a
    // sample of every 997th plot pixel, a prime so rows and columns mix,
    // differs least.
    int ox = 0, oy = 0, best = 600 * 400;
    for (int y = -40; find && y <= height - 440 && best > 0; ++y)
        for (int x = -40; x <= width - 640 && best > 0; ++x) {
            const int d = differences(x, y, 997, best - 1, false);
            if (d < best) best = d, ox = x, oy = y;
        }
    const int wrong = differences(ox, oy, 1, 600 * 400, true);
    if (wrong != 0) {
        std::fprintf(stderr, "%d plot pixels differ (client area at %d, %d)\n", wrong, ox, oy);
        return 1;
    }
    if (find) {
        std::printf("plot pixels match; client area at (%d, %d) on the screen\n", ox, oy);
        return 0;
    }
    // The strips: dark glyph pixels in each band, one 12-pixel line of text.
    const int bands[4][2] = {{40, 22}, {340, 22}, {40, 460}, {340, 460}};
    for (const auto& b : bands) {
        int ink = 0;
        for (int y = b[1]; y < b[1] + 14 && y < kClientH; ++y)
            for (int x = b[0]; x < b[0] + 290; ++x) ink += (pixel(x, y) & 0xFFFFFF) < 0x404040;
        if (ink < 40) {
            std::fprintf(stderr, "strip at (%d, %d) holds only %d glyph pixels\n", b[0], b[1], ink);
            return 1;
        }
    }
    std::printf("plot pixels match; four strips drawn\n");
    return 0;
}
