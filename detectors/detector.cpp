#include "detectors/detector.h"

#include <cassert>

#include "detectors/npml.h"
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

class NpmlDetector final : public Detector {
  public:
    NpmlDetector(const channel::Target& target, FrameShape shape, const std::vector<float>& p)
        : npml_(target, p), shape_(shape) {}
    Kind kind() const override { return Kind::kNpml; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        int f = 0;
        for (; f + 2 <= count; f += 2)
            npml_.DetectPair(y[f], y[f + 1], shape_.bits, shape_.tail, raw[f], raw[f + 1]);
        if (f < count) npml_.Detect(y[f], shape_.bits, shape_.tail, raw[f]);
    }

  private:
    Npml npml_;
    FrameShape shape_;
};

} // namespace

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::kSlicer:
        return "slicer";
    case Kind::kViterbi:
        return "viterbi";
    case Kind::kNpml:
        return "npml";
    }
    return "?";
}

const char* KindTitle(Kind kind) {
    switch (kind) {
    case Kind::kViterbi:
        return "Viterbi";
    case Kind::kNpml:
        return "NPML";
    default:
        return KindName(kind);
    }
}

const std::vector<Kind>& AllKinds() {
    static const std::vector<Kind> all = {Kind::kSlicer, Kind::kViterbi, Kind::kNpml};
    return all;
}

std::string WhyNot(Kind kind, const channel::Target& target, bool coloured) {
    if (kind == Kind::kSlicer && !target.HasSlicer())
        return "the slicer needs an integer target with an odd first coefficient (a parity "
               "precoder); " +
               target.Name() + " has none";
    if (kind == Kind::kNpml && !coloured)
        return "npml predicts the noise an equalizer colours; the ideal channel's is white "
               "(choose --channel lorentz or erf)";
    return {};
}

std::vector<Kind> KindsFor(const channel::Target& target, bool coloured) {
    std::vector<Kind> kinds;
    for (Kind k : AllKinds())
        if (WhyNot(k, target, coloured).empty()) kinds.push_back(k);
    return kinds;
}

std::unique_ptr<Detector> MakeDetector(Kind kind, const channel::Target& target, FrameShape shape,
                                       const std::vector<float>& predictor) {
    switch (kind) {
    case Kind::kSlicer:
        assert(target.HasSlicer());
        return std::make_unique<SlicerDetector>(target, shape);
    case Kind::kViterbi:
        return std::make_unique<ViterbiDetector>(target, shape);
    case Kind::kNpml:
        assert(!predictor.empty());
        return std::make_unique<NpmlDetector>(target, shape, predictor);
    }
    return nullptr;
}

} // namespace detectors
