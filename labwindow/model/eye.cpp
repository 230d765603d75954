#include "labwindow/model/eye.h"

#include <algorithm>

namespace labmodel {

EyeFrame FrameOf(const engine::EyeImage& image, const engine::EyeSettings& settings) {
    const engine::ChainSettings& chain = settings.chain;
    EyeFrame frame;
    frame.image = image;
    frame.scale = engine::ScaleOf(image);
    frame.indices = engine::ShadeEye(image, frame.scale);
    if (engine::EyeAtLevels(chain, settings.point))
        frame.openings = engine::OpeningsOf(image, chain.target);
    if (engine::EqualizedEye(chain, settings.point)) {
        frame.levelLines = chain.target.Levels();
        frame.levelLines.erase(std::unique(frame.levelLines.begin(), frame.levelLines.end()),
                               frame.levelLines.end());
    }
    frame.goal = settings.blocks;
    return frame;
}

const engine::EyeRange& EyeRangeCache::Of(const engine::ChainSettings& chain,
                                          engine::EyePoint point) {
    // The range is the target's levels on the ideal channel and an
    // equalized head's (with the head's density for its first sample), the
    // head's readback (kind and density only) on a head.
    const bool levels = engine::EyeAtLevels(chain, point);
    const bool same = valid_ && chain.head == chain_.head && point == point_ &&
                      (!chain.Recording() || chain.density == chain_.density) &&
                      (!levels || chain.target.Coefficients() == chain_.target.Coefficients());
    if (!same) {
        range_ = engine::RangeOf(chain, point);
        chain_ = chain;
        point_ = point;
        valid_ = true;
    }
    return range_;
}

bool GrowEye(const engine::EyeSettings& settings, const engine::EyeGeometry& geometry,
             const std::atomic<bool>& stop, const std::function<void(EyeFrame)>& shown) {
    const std::uint64_t chunks = engine::EyeChunks(settings);
    engine::EyeImage image;
    // A head's tables (and its equalizer) once for the whole run, not once a
    // batch.
    const std::shared_ptr<const engine::EyeChannel> channel = engine::MakeEyeChannel(settings);
    std::uint64_t batch = 1;
    for (std::uint64_t from = 0; from < chunks && !stop.load();) {
        const std::uint64_t to = std::min(chunks, from + batch);
        if (!engine::DrawEyeChunks(settings, geometry, from, to, stop, image, {}, channel))
            return false;
        if (stop.load()) return false;
        shown(FrameOf(image, settings));
        from = to;
        batch = std::min(kMaxEyeBatch, 2 * batch);
    }
    return !stop.load();
}

} // namespace labmodel
