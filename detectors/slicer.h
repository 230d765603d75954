#pragma once
// The symbol-by-symbol detector. The precoder is the target taken mod 2, so
// the parity of a noise-free sample is its raw bit: slicing each sample to
// the nearest level recovers the data with no error propagation.
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "detectors/table.h"

namespace detectors {

class Slicer {
  public:
    // The target must have a slicer (an integer target with a precoder).
    explicit Slicer(const channel::Target& target);

    // The nearest level to y, clamped to the lowest and highest level. A
    // sample exactly halfway between two levels goes to the upper one; a NaN
    // slices as 0 would.
    float Level(float y) const;

    // raw[k] = Level(y[k]) mod 2, k = 0 ... n-1.
    void Slice(const float* y, int n, std::uint8_t* raw) const;

  private:
    float lowest_, highest_;
    bool consecutive_;          // every whole number lowest ... highest is a level
    std::vector<float> levels_; // ascending
    std::vector<double> edges_; // edges_[j]: halfway between levels j and j + 1
};

// The slicer's row of the detector table: it needs an integer target with a
// parity precoder.
std::string SlicerWhyNot(const Where& where);
std::unique_ptr<Detector> MakeSlicerDetector(const Setup& setup);

} // namespace detectors
