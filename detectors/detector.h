#pragma once
// The detectors behind one interface: each decides the raw bits of whole
// frames from their samples. A frame has `bits` data bits and, when the
// channel writes a tail, the target's memory of samples more. Hard decisions
// today; a soft-output detector adds its reliabilities beside the bits.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/target.h"

namespace detectors {

enum class Kind { kSlicer, kViterbi, kNpml };

// "slicer", "viterbi", "npml": the names on the command line and in the CSV.
const char* KindName(Kind kind);
// "slicer", "Viterbi", "NPML": as a chart's legend or a window shows them.
const char* KindTitle(Kind kind);
// Every kind, in the order the lab shows them.
const std::vector<Kind>& AllKinds();
// The kinds that apply to a target, on a channel whose noise is white (the
// ideal one) or coloured by an equalizer: the slicer needs a parity
// precoder, npml noise with colour to predict.
std::vector<Kind> KindsFor(const channel::Target& target, bool coloured = false);
// Why `kind` cannot run there, or an empty string.
std::string WhyNot(Kind kind, const channel::Target& target, bool coloured = false);

struct FrameShape {
    int bits = 0;
    int tail = 0; // 0, or the target's memory
    int Samples() const { return bits + tail; }
};

class Detector {
  public:
    virtual ~Detector() = default;
    virtual Kind kind() const = 0;
    // Decides `count` frames of the detector's shape: y[f] holds frame f's
    // samples, raw[f] gets its raw bits. Frames are independent; a detector
    // may run several side by side.
    virtual void Detect(int count, const float* const* y, std::uint8_t* const* raw) = 0;
};

// A detector of `kind` for frames of `shape` on `target`; the kind must
// apply (WhyNot empty). npml takes its whitening predictor's taps.
std::unique_ptr<Detector> MakeDetector(Kind kind, const channel::Target& target, FrameShape shape,
                                       const std::vector<float>& predictor = {});

} // namespace detectors
