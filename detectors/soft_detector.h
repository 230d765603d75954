#pragma once
// What the soft detectors share: Detect is DetectSoft with the ratios
// thrown away, and DetectSoft's decisions are those of the posterior ratios
// (L < 0 decides 1) even when the extrinsic ones are asked for.
#include <cstdint>
#include <vector>

#include "detectors/detector.h"

namespace detectors {

class SoftDetector : public Detector {
  public:
    using Detector::Detector;
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override;
    void DetectSoft(int count, const float* const* y, const SoftFrames& soft,
                    std::uint8_t* const* raw) override;

  protected:
    // `count` frames: apriori[f] null or not, llr[f] and raw[f] out.
    virtual void Frames(int count, const float* const* y, const float* const* apriori,
                        bool extrinsic, float* const* llr, std::uint8_t* const* raw) = 0;

  private:
    std::vector<float> scratch_;
    std::vector<float*> rows_;
};

} // namespace detectors
