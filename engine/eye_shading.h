#pragma once
// How an eye's hit counts are shown, the same in every picture of it (the
// lab's PNG and the lab window): a colour for each count, and the eye's
// openings at the sampling instant.
//
// The counts are shown on a linear scale whose top is the 99th percentile of
// the pixels hit. Every trace passes through a level at each sampling
// instant, so the few pixels there hold counts far above the rest: a scale
// up to the largest count leaves everything else dark, and a logarithmic one
// makes every pixel that a few traces cross look alike. Linear up to the
// 99th percentile keeps the openings dark, the bundles of traces in the
// middle of the ramp and the crossings bright, and the top percent (the
// level clusters) saturates.
#include <array>
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "engine/eye_diagram.h"

namespace engine {

using Rgb = std::uint32_t; // 0xRRGGBB

// Index 0 is black: no trace. Indices 1 ... 255 are a ramp computed in the
// Oklab colour space: lightness rising evenly from 0.30 to 0.95 while the hue
// turns from violet-blue through teal and green to yellow, each at the
// largest chroma up to 0.16 that sRGB can show. Lightness alone orders the
// colours, so the picture reads in grey as well, and even steps of count look
// like even steps.
std::array<Rgb, 256> EyePalette();

struct EyeScale {
    std::uint32_t full = 1; // hits at the top of the ramp (and all above)
    // 0 for no hit, else 1 + round(254 * min(hits, full) / full).
    std::uint8_t Index(std::uint32_t hits) const;
};
// The scale of a picture: full is the 99th percentile of its nonzero counts
// (by rank, rounded up), at least 1.
EyeScale ScaleOf(const EyeImage& image);
// Palette indices of every pixel, bottom row first, as image.hits.
std::vector<std::uint8_t> ShadeEye(const EyeImage& image, const EyeScale& scale);
// Round counts for a colour bar: 0, then steps of 1, 2 or 5 times a power of
// ten, the largest step that gives at least three ticks up to full.
std::vector<std::uint32_t> ScaleTicks(const EyeScale& scale);

// The eye's opening between two neighbouring levels at the sampling instant
// in the middle of the picture. A row there is open when fewer than one in
// a thousand of the traces per level of height cross it (hits * levelStep *
// 1000 < traces): at sigma 0 every row between two levels is open, and as
// blocks are added the measure settles instead of shrinking with every rare
// trace. The opening is the longest run of open rows between the two levels'
// rows; its height in levels is the distance between the closed rows that
// bound it.
struct EyeOpening {
    double low = 0, high = 0;      // the two levels
    int bottomRow = 0, topRow = 0; // raster rows from the bottom; equal when closed
    double height = 0;             // in levels; 0 when closed
};
struct EyeOpenings {
    int column = 0;               // the sampling instant's raster column
    std::vector<EyeOpening> gaps; // one per pair of neighbouring levels, lowest first
    int smallest = -1;            // index of the least height (the lowest on a tie), -1: none
};
EyeOpenings OpeningsOf(const EyeImage& image, const channel::Target& target);

} // namespace engine
