#pragma once
// The detectors behind one interface: each decides the raw bits of whole
// frames from their samples. A frame has `bits` data bits and, when the
// channel writes a tail, the target's memory of samples more.
//
// Soft information has one convention everywhere: a log-likelihood ratio per
// raw bit, L = ln P(raw = 0 | y) / P(raw = 1 | y), as float; L < 0 decides 1.
// A detector may take a-priori ratios in the same convention and may hand
// out the extrinsic ones (its posterior less the a-priori).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/constraint.h"
#include "channel/target.h"

namespace channel {
class Adc;
}

namespace detectors {

// The kinds of detectors, each a row of the table (detectors/table.h).
enum class Kind { kSlicer, kViterbi, kNpml, kBcjr, kMaxlog, kSova, kNpbcjr };

struct FrameShape {
    int bits = 0;
    int tail = 0; // 0, or the target's memory
    int Samples() const { return bits + tail; }
};

// What a detector is made with: the target it decides on, the frames' shape,
// and what a kind needs of its channel.
struct Setup {
    channel::Target target;
    FrameShape shape;
    // The noise's whitening predictor (npml): taps p_0, p_1, ...
    std::vector<float> predictor;
    // The converter in front of the detector, when there is one: a detector
    // that can work on its codes does (the integer Viterbi detector).
    const channel::Adc* converter = nullptr;
    // The variance of the noise at the detector's input, as a soft detector
    // assumes it: sigma^2 on the ideal channel, the equalized noise's on a
    // head; and the predictor's error variance there.
    double noiseVariance = 0;
    double predictionVariance = 0;
    // The soft-output Viterbi detector's update depth in bits; 0: its
    // default (detectors/sova.h).
    int depth = 0;
    // The constraint code the channel writes: Viterbi and npml then search
    // only the sequences it allows (detectors/constrained.h); the target has
    // the NRZI precoder.
    channel::ConstraintKind constraint = channel::ConstraintKind::kNone;
};

// Soft output for the frames of one call; each pointer per frame, `bits`
// ratios a frame.
struct SoftFrames {
    const float* const* apriori = nullptr; // null: no a-priori knowledge (all 0)
    float* const* llr = nullptr;           // the ratios out
    bool extrinsic = false;                // llr gets the posterior less the a-priori
};

class Detector {
  public:
    explicit Detector(FrameShape shape) : shape_(shape) {}
    virtual ~Detector() = default;
    virtual Kind kind() const = 0;
    const FrameShape& shape() const { return shape_; }
    // Decides `count` frames of the detector's shape: y[f] holds frame f's
    // samples, raw[f] gets its raw bits. Frames are independent; a detector
    // may run several side by side.
    virtual void Detect(int count, const float* const* y, std::uint8_t* const* raw) = 0;
    // Detect, and each bit's ratio into soft.llr. A hard detector knows no
    // reliability: it claims certainty, +infinity for a 0 and -infinity for a
    // 1, whatever the a-priori ratios (extrinsic ones are infinite too). A
    // soft detector overrides it with its own.
    virtual void DetectSoft(int count, const float* const* y, const SoftFrames& soft,
                            std::uint8_t* const* raw);

  private:
    FrameShape shape_;
};

// A detector of `kind` for frames of `shape` on `target`, made by its row of
// the table; the kind must apply. npml takes its whitening predictor's taps.
std::unique_ptr<Detector> MakeDetector(Kind kind, const channel::Target& target, FrameShape shape,
                                       const std::vector<float>& predictor = {});

} // namespace detectors
