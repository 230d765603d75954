// Compares a screenshot of the window's client area (raw RGB, 690 x 483) with
// a raster of palette indices (binary PGM, 600 x 400, top row first): every
// plot pixel outside the button must show its index's plot colour, and each of
// the four strip bands must hold glyph pixels.
//   plot_compare SHOT.rgb RASTER.pgm
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
    if (argc != 3) {
        std::fprintf(stderr, "usage: plot_compare SHOT.rgb RASTER.pgm\n");
        return 2;
    }
    const std::vector<unsigned char> shot = ReadAll(argv[1]);
    const std::vector<unsigned char> pgm = ReadAll(argv[2]);
    const std::string header = "P5\n600 400\n255\n";
    if (shot.size() != static_cast<size_t>(kClientW * kClientH * 3)) {
        std::fprintf(stderr, "screenshot has %zu bytes, not %d\n", shot.size(),
                     kClientW * kClientH * 3);
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
        const unsigned char* p = &shot[(static_cast<size_t>(y) * kClientW + x) * 3];
        return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
    };
    int wrong = 0, compared = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x) {
            const int cx = 40 + x, cy = 40 + y;
            if (cx >= 304 && cx < 379 && cy >= 408 && cy < 433) continue; // the button
            const int index = pgm[header.size() + static_cast<size_t>(y) * 600 + x];
            const auto it = colours.find(index);
            const unsigned want = it == colours.end() ? 0 : it->second;
            ++compared;
            if (pixel(cx, cy) != want && wrong++ < 10)
                std::fprintf(stderr, "plot (%d, %d): screen %06X, raster index %d (%06X)\n", x, y,
                             pixel(cx, cy), index, want);
        }
    }
    if (wrong != 0) {
        std::fprintf(stderr, "%d of %d plot pixels differ\n", wrong, compared);
        return 1;
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
    std::printf("%d plot pixels match; four strips drawn\n", compared);
    return 0;
}
