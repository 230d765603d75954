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
// for the frames' shape, and made again when the length changes. It runs
// without the GIL; the lock keeps two Python threads off its scratch at once.
class FrameDetector {
  public:
    // npml takes the whitening predictor a channel was designed with.
    FrameDetector(detectors::Kind kind, const channel::Target& target, bool tail,
                  std::vector<float> predictor = {});
    detectors::Kind kind() const { return kind_; }
    bool tail() const { return tail_ > 0; }
    // The raw bits of y's frames: a frame of n samples has n - tail bits.
    py::array Detect(py::handle y);

  private:
    detectors::Kind kind_;
    channel::Target target_;
    int tail_; // 0 or the target's memory
    std::vector<float> predictor_;
    std::mutex mutex_;
    std::unique_ptr<detectors::Detector> detector_;
    int bits_ = 0;
};

class TargetBox {
  public:
    explicit TargetBox(channel::Target target) : target_(std::move(target)) {}
    const channel::Target& target() const { return target_; }

    // Made on first use, with the GIL held, then kept.
    const std::vector<channel::ErrorEvent>& BoundEvents();
    const channel::FrameEncoder& Encoder();
    FrameDetector& DetectorFor(detectors::Kind kind, bool tail);

  private:
    channel::Target target_;
    std::optional<std::vector<channel::ErrorEvent>> events_;
    std::unique_ptr<channel::FrameEncoder> encoder_;
    std::map<std::pair<detectors::Kind, bool>, std::unique_ptr<FrameDetector>> detectors_;
};
using TargetRef = std::shared_ptr<TargetBox>;

// A Target object, or what the Target constructor takes: a name, a list of
// coefficients or their text "1,2,1". A gprL target is designed with a
// head's equalizer: a Channel has it.
TargetRef TargetOf(py::handle value);
// A detector's name ("slicer", "viterbi", "npml"), checked to apply to the
// target, on a channel whose noise is white or (`coloured`) equalized.
detectors::Kind KindOf(py::handle value, const channel::Target& target, bool coloured = false);
// The text of a Target object that the lab's target parser reads back as
// the same target: its name, or its coefficients in full.
std::string TargetText(const TargetBox& box);

void AddTarget(py::module_& m);

} // namespace pyquorvane
