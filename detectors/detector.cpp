#include "detectors/detector.h"

#include <cassert>

#include "detectors/slicer.h"
#include "detectors/viterbi.h"

namespace detectors {

namespace {

class SlicerDetector final : public Detector {
  public:
    SlicerDetector(const channel::Target& target, FrameShape shape)
        : slicer_(target), shape_(shape) {}
    Kind kind() const override { return Kind::kSlicer; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        // The tail's samples carry no data bits of their own.
        for (int f = 0; f < count; ++f) slicer_.Slice(y[f], shape_.bits, raw[f]);
    }

  private:
    Slicer slicer_;
    FrameShape shape_;
};

class ViterbiDetector final : public Detector {
  public:
    ViterbiDetector(const channel::Target& target, FrameShape shape)
        : viterbi_(target), shape_(shape) {}
    Kind kind() const override { return Kind::kViterbi; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        viterbi_.DetectFrames(count, y, shape_.bits, shape_.tail, raw);
    }

  private:
    Viterbi viterbi_;
    FrameShape shape_;
};

} // namespace

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::kSlicer:
        return "slicer";
    case Kind::kViterbi:
        return "viterbi";
    }
    return "?";
}

const char* KindTitle(Kind kind) {
    return kind == Kind::kViterbi ? "Viterbi" : KindName(kind);
}

const std::vector<Kind>& AllKinds() {
    static const std::vector<Kind> all = {Kind::kSlicer, Kind::kViterbi};
    return all;
}

std::string WhyNot(Kind kind, const channel::Target& target) {
    if (kind == Kind::kSlicer && !target.HasSlicer())
        return "the slicer needs an integer target with an odd first coefficient (a parity "
               "precoder); " +
               target.Name() + " has none";
    return {};
}

std::vector<Kind> KindsFor(const channel::Target& target) {
    std::vector<Kind> kinds;
    for (Kind k : AllKinds())
        if (WhyNot(k, target).empty()) kinds.push_back(k);
    return kinds;
}

std::unique_ptr<Detector> MakeDetector(Kind kind, const channel::Target& target, FrameShape shape) {
    assert(WhyNot(kind, target).empty());
    switch (kind) {
    case Kind::kSlicer:
        return std::make_unique<SlicerDetector>(target, shape);
    case Kind::kViterbi:
        return std::make_unique<ViterbiDetector>(target, shape);
    }
    return nullptr;
}

} // namespace detectors
