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

bool GrowEye(const engine::EyeSettings& settings, const engine::EyeGeometry& geometry,
             const std::atomic<bool>& stop, const std::function<void(EyeFrame)>& shown) {
    const std::uint64_t chunks = engine::EyeChunks(settings);
    engine::EyeImage image;
    std::uint64_t batch = 1;
    for (std::uint64_t from = 0; from < chunks && !stop.load();) {
        const std::uint64_t to = std::min(chunks, from + batch);
        if (!engine::DrawEyeChunks(settings, geometry, from, to, stop, image)) return false;
        if (stop.load()) return false;
        shown(FrameOf(image, settings.chain, settings.blocks));
        from = to;
        batch = std::min(kMaxEyeBatch, 2 * batch);
    }
    return !stop.load();
}

} // namespace labmodel
