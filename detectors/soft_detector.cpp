#include "detectors/soft_detector.h"

namespace detectors {

void SoftDetector::Detect(int count, const float* const* y, std::uint8_t* const* raw) {
    const std::size_t bits = static_cast<std::size_t>(shape().bits);
    if (scratch_.size() < bits * static_cast<std::size_t>(count))
        scratch_.resize(bits * static_cast<std::size_t>(count));
    rows_.resize(static_cast<std::size_t>(count));
    for (int f = 0; f < count; ++f)
        rows_[static_cast<std::size_t>(f)] = scratch_.data() + bits * static_cast<std::size_t>(f);
    Frames(count, y, nullptr, false, rows_.data(), raw);
}

void SoftDetector::DetectSoft(int count, const float* const* y, const SoftFrames& soft,
                              std::uint8_t* const* raw) {
    Frames(count, y, soft.apriori, soft.extrinsic, soft.llr, raw);
}

} // namespace detectors
