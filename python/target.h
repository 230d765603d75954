#pragma once
// A target as the module holds it: the value, and what the module derives
// from it once and keeps, shared by every object made from it.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "channel/encoder.h"
#include "channel/events.h"
#include "channel/target.h"
#include "detectors/table.h"
#include "python/arrays.h"

namespace pyquorvane {

// Frames of any length through the detectors' one interface: a detector made
// by its row of the table for the frames' shape, and made again when the
// length changes. It runs without the GIL; the lock keeps two Python threads
// off its scratch at once.
class FrameDetector {
  public:
    // `setup` holds the target and what the kind takes of its channel (npml
    // a predictor); its shape is set here, tail 0 or the target's memory.
    FrameDetector(detectors::Kind kind, detectors::Setup setup, bool tail);
    detectors::Kind kind() const { return kind_; }
    bool tail() const { return setup_.shape.tail > 0; }
    // The raw bits of y's frames: a frame of n samples has n - tail bits.
    py::array Detect(py::handle y);
    // Their log-likelihood ratios, L = ln P(0 | y) / P(1 | y) per raw bit
    // (float32; a hard detector claims certainty, +-inf), given a-priori
    // ratios of the same shape or none; with `extrinsic`, the posterior less
    // the a-priori.
    py::array Soft(py::handle y, py::handle apriori, bool extrinsic);

  private:
    // The detector for frames of `bits` bits, made anew when that changes.
    detectors::Detector& For(int bits);
    // The frames through it without the GIL, 64 at a time: their raw bits into
    // `raw` (a frame a row), and with `llr` their ratios too, from `prior`'s
    // a-priori ones when there are some.
    void Run(const Frames<float>& in, int bits, std::uint8_t* raw, float* llr,
             const Frames<float>* prior, bool extrinsic);

    detectors::Kind kind_;
    detectors::Setup setup_;
    std::mutex mutex_;
    std::unique_ptr<detectors::Detector> detector_;
};

class TargetBox {
  public:
    explicit TargetBox(channel::Target target) : target_(std::move(target)) {}
    const channel::Target& target() const { return target_; }

    // Made on first use, with the GIL held, then kept.
    const std::vector<channel::ErrorEvent>& BoundEvents();
    const channel::FrameEncoder& Encoder();
    FrameDetector& DetectorFor(detectors::Kind kind, bool tail, double sigma = 0);

  private:
    channel::Target target_;
    std::optional<std::vector<channel::ErrorEvent>> events_;
    std::unique_ptr<channel::FrameEncoder> encoder_;
    std::map<std::pair<detectors::Kind, bool>, std::unique_ptr<FrameDetector>> detectors_;
};
using TargetRef = std::shared_ptr<TargetBox>;

// A target's coefficients as the command line writes them: a str as it is,
// a sequence of numbers joined with commas ("1,2,1").
std::string CoefficientText(const char* name, py::handle value);
// A Target object, or what the Target constructor takes: a name, a list of
// coefficients or their text "1,2,1". A gprL target is designed with a
// head's equalizer: a Channel has it.
TargetRef TargetOf(py::handle value);
// A detector's row by its name, checked to apply there.
detectors::Kind KindOf(py::handle value, const detectors::Where& where);
// The text of a Target object that the lab's target parser reads back as
// the same target: its name, or its coefficients in full.
std::string TargetText(const TargetBox& box);

void AddTarget(py::module_& m);

} // namespace pyquorvane
