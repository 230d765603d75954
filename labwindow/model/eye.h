#pragma once
// The eye as it grows: the lab's eye engine run in batches of chunks, the
// picture so far handed on after each. The batches double from one chunk up
// to kMaxEyeBatch, so the first picture comes at once and later ones a few
// times a second; the last one is DrawEye's picture exactly.
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/eye_diagram.h"
#include "engine/eye_shading.h"

namespace labmodel {

inline constexpr std::uint64_t kMaxEyeBatch = 16; // chunks (4096 blocks)

// A picture of the eye so far, ready to show: palette indices (bottom row
// first), its scale and openings (at the target's levels: on the ideal
// channel and on a head's equalized eye, as in `quorvane-lab eye --point
// equalized`), and on an equalized head's eye the levels to draw a dotted
// line at.
struct EyeFrame {
    engine::EyeImage image;
    engine::EyeScale scale;
    std::vector<std::uint8_t> indices;
    engine::EyeOpenings openings;
    std::vector<float> levelLines;
    std::uint64_t goal = 0; // blocks of the whole run
};
EyeFrame FrameOf(const engine::EyeImage& image, const engine::EyeSettings& settings);

// engine::RangeOf, kept while the channel it depends on stays: on an erf
// head it integrates the head's response (about 12 ms), too long for the
// window's thread at every step of the SNR slider.
class EyeRangeCache {
  public:
    const engine::EyeRange& Of(const engine::ChainSettings& chain,
                               engine::EyePoint point = engine::EyePoint::kReadback);

  private:
    bool valid_ = false;
    engine::ChainSettings chain_;
    engine::EyePoint point_ = engine::EyePoint::kReadback;
    engine::EyeRange range_;
};

// Runs the eye to its end or until `stop`; `shown` after every batch. True
// when the whole run was drawn.
bool GrowEye(const engine::EyeSettings& settings, const engine::EyeGeometry& geometry,
             const std::atomic<bool>& stop, const std::function<void(EyeFrame)>& shown);

} // namespace labmodel
