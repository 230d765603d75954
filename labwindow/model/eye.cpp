#include "labwindow/model/eye.h"

#include <algorithm>

namespace labmodel {

EyeFrame FrameOf(const engine::EyeImage& image, const engine::ChainSettings& chain,
                 std::uint64_t goal) {
    EyeFrame frame;
    frame.image = image;
    frame.scale = engine::ScaleOf(image);
    frame.indices = engine::ShadeEye(image, frame.scale);
    if (!chain.Recording()) frame.openings = engine::OpeningsOf(image, chain.target);
    frame.goal = goal;
    return frame;
}

const engine::EyeRange& EyeRangeCache::Of(const engine::ChainSettings& chain) {
    // The range is the target's levels on the ideal channel, the head's
    // readback (kind and density only) on a head.
    const bool same =
        valid_ && chain.head == chain_.head &&
        (chain.Recording() ? chain.density == chain_.density
                           : chain.target.Coefficients() == chain_.target.Coefficients());
    if (!same) {
        range_ = engine::RangeOf(chain);
        chain_ = chain;
        valid_ = true;
    }
    return range_;
}

bool GrowEye(const engine::EyeSettings& settings, const engine::EyeGeometry& geometry,
             const std::atomic<bool>& stop, const std::function<void(EyeFrame)>& shown) {
    const std::uint64_t chunks = engine::EyeChunks(settings);
    engine::EyeImage image;
    // A head's tables once for the whole run, not once a batch.
    const std::shared_ptr<const channel::Readback> readback = engine::EyeReadback(settings.chain);
    std::uint64_t batch = 1;
    for (std::uint64_t from = 0; from < chunks && !stop.load();) {
        const std::uint64_t to = std::min(chunks, from + batch);
        if (!engine::DrawEyeChunks(settings, geometry, from, to, stop, image, {}, readback))
            return false;
        if (stop.load()) return false;
        shown(FrameOf(image, settings.chain, settings.blocks));
        from = to;
        batch = std::min(kMaxEyeBatch, 2 * batch);
    }
    return !stop.load();
}

} // namespace labmodel
