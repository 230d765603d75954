#include "engine/eye_shading.h"

#include <algorithm>
#include <cmath>

namespace engine {
namespace {

constexpr double kPi = 3.141592653589793;

// Oklab to linear sRGB (Ottosson's matrices); false outside the gamut.
bool OklabToLinear(double lightness, double a, double b, double rgb[3]) {
    const double l = lightness + 0.3963377774 * a + 0.2158037573 * b;
    const double m = lightness - 0.1055613458 * a - 0.0638541728 * b;
    const double s = lightness - 0.0894841775 * a - 1.2914855480 * b;
    const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
    rgb[0] = 4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3;
    rgb[1] = -1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3;
    rgb[2] = -0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3;
    return std::all_of(rgb, rgb + 3, [](double c) { return c >= 0 && c <= 1; });
}

int Encoded(double linear) {
    const double c = std::clamp(linear, 0.0, 1.0);
    const double v = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(255 * v));
}

} // namespace

std::array<Rgb, 256> EyePalette() {
    std::array<Rgb, 256> palette{};
    for (int i = 1; i < 256; ++i) {
        const double t = (i - 1) / 254.0;
        const double lightness = 0.30 + 0.65 * t;
        const double hue = (285 - 185 * t) * kPi / 180;
        // The largest chroma in the gamut, by bisection: the gamut is convex
        // along a line of constant lightness and hue.
        double in = 0, out = 0.16, rgb[3];
        if (!OklabToLinear(lightness, out * std::cos(hue), out * std::sin(hue), rgb)) {
            for (int step = 0; step < 30; ++step) {
                const double c = 0.5 * (in + out);
                (OklabToLinear(lightness, c * std::cos(hue), c * std::sin(hue), rgb) ? in : out) =
                    c;
            }
            out = in;
        }
        OklabToLinear(lightness, out * std::cos(hue), out * std::sin(hue), rgb);
        palette[i] =
            static_cast<Rgb>(Encoded(rgb[0]) << 16 | Encoded(rgb[1]) << 8 | Encoded(rgb[2]));
    }
    return palette;
}

std::uint8_t EyeScale::Index(std::uint32_t hits) const {
    if (hits == 0) return 0;
    const std::uint64_t h = std::min(hits, full);
    // Rounded to nearest in whole numbers: 1 + (254 h + full / 2) / full.
    return static_cast<std::uint8_t>(1 + (254 * h + full / 2) / full);
}

EyeScale ScaleOf(const EyeImage& image) {
    std::vector<std::uint32_t> lit;
    for (std::uint32_t h : image.hits)
        if (h > 0) lit.push_back(h);
    EyeScale scale;
    if (lit.empty()) return scale;
    // The value of rank ceil(0.99 n), counted from 1.
    const std::size_t rank = (99 * lit.size() + 99) / 100;
    std::nth_element(lit.begin(), lit.begin() + static_cast<std::ptrdiff_t>(rank - 1), lit.end());
    scale.full = std::max<std::uint32_t>(1, lit[rank - 1]);
    return scale;
}

std::vector<std::uint8_t> ShadeEye(const EyeImage& image, const EyeScale& scale) {
    std::vector<std::uint8_t> indices(image.hits.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = scale.Index(image.hits[i]);
    return indices;
}

std::vector<std::uint32_t> ScaleTicks(const EyeScale& scale) {
    std::uint64_t step = 1;
    for (std::uint64_t decade = 1; decade <= scale.full; decade *= 10)
        for (std::uint64_t m : {1, 2, 5})
            if (2 * m * decade <= scale.full) step = m * decade;
    std::vector<std::uint32_t> ticks;
    for (std::uint64_t v = 0; v <= scale.full; v += step)
        ticks.push_back(static_cast<std::uint32_t>(v));
    return ticks;
}

EyeOpenings OpeningsOf(const EyeImage& image, const channel::Target& target) {
    const EyeGeometry& g = image.geometry;
    EyeOpenings result;
    result.column = g.PointColumn(5 * g.uis);
    const double traces = static_cast<double>(image.Traces());
    auto open = [&](int row) {
        return 1000.0 * image.At(result.column, row) * g.levelStep < traces;
    };
    const std::vector<float>& levels = target.Levels();
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        EyeOpening gap;
        gap.low = levels[i];
        gap.high = levels[i + 1];
        const int from = std::clamp(g.ValueRow(levels[i]), 0, g.height - 1);
        const int to = std::clamp(g.ValueRow(levels[i + 1]), 0, g.height - 1);
        gap.bottomRow = gap.topRow = (from + to) / 2;
        int best = 0;
        for (int r = from + 1, run = 0; r < to; ++r) {
            run = open(r) ? run + 1 : 0;
            if (run > best) {
                best = run;
                gap.bottomRow = r - run;
                gap.topRow = r + 1;
            }
        }
        gap.height = best > 0 ? static_cast<double>(gap.topRow - gap.bottomRow) / g.levelStep : 0;
        result.gaps.push_back(gap);
        if (result.smallest < 0 || gap.height < result.gaps[result.smallest].height)
            result.smallest = static_cast<int>(result.gaps.size()) - 1;
    }
    return result;
}

} // namespace engine
