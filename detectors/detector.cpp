#include "detectors/detector.h"

#include <limits>

#include "detectors/table.h"

namespace detectors {

void Detector::DetectSoft(int count, const float* const* y, const SoftFrames& soft,
                          std::uint8_t* const* raw) {
    Detect(count, y, raw);
    constexpr float kSure = std::numeric_limits<float>::infinity();
    for (int f = 0; f < count; ++f)
        for (int k = 0; k < shape_.bits; ++k) soft.llr[f][k] = raw[f][k] != 0 ? -kSure : kSure;
}

std::unique_ptr<Detector> MakeDetector(Kind kind, const channel::Target& target, FrameShape shape,
                                       const std::vector<float>& predictor) {
    Setup setup;
    setup.target = target;
    setup.shape = shape;
    setup.predictor = predictor;
    return Make(kind, setup);
}

} // namespace detectors
