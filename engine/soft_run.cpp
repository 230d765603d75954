#include "engine/soft_run.h"

#include <algorithm>
#include <utility>

#include "engine/constraint_survey.h"
#include "engine/error_rate.h"
#include "engine/ordered_chunks.h"

namespace engine {
namespace {

constexpr int kChunkBits = 1 << 16;

// One worker's chain, detectors and buffers.
class SoftRunner {
  public:
    SoftRunner(const SoftSettings& s, const ChannelDesign& design)
        : settings_(s), chain_(design, s.frame), detectors_(MakeDetectors(s.detectors, chain_)),
          frame_(chain_.MakeFrame()), decided_(static_cast<std::size_t>(s.frame)),
          llr_(static_cast<std::size_t>(s.frame)), apriori_(static_cast<std::size_t>(s.frame)),
          normals_(static_cast<std::size_t>(s.frame)),
          code_(channel::ConstraintCode::Of(design.settings.constraint)),
          words_(s.frame / code_.CodeBits()),
          user_(static_cast<std::size_t>(words_ * code_.UserBits())) {}

    std::vector<LlrStatistics> Run(std::uint64_t chunk, int frames) {
        channel::NoiseSource source(settings_.seed, ChunkStream(0, chunk));
        channel::NoiseSource prior(settings_.seed, ChunkStream(1, chunk));
        std::vector<LlrStatistics> out(detectors_.size());
        const double sa = settings_.aprioriSigma;
        for (int f = 0; f < frames; ++f) {
            chain_.NextCoded(code_, source, frame_, user_);
            const float* y = frame_.received.data();
            const float* a = apriori_.data();
            float* l = llr_.data();
            std::uint8_t* r = decided_.data();
            detectors::SoftFrames soft;
            soft.llr = &l;
            soft.extrinsic = settings_.extrinsic;
            if (sa > 0) {
                prior.Normals(normals_.data(), settings_.frame);
                for (int k = 0; k < settings_.frame; ++k)
                    apriori_[static_cast<std::size_t>(k)] = static_cast<float>(
                        0.5 * sa * sa * (1 - 2 * frame_.raw[static_cast<std::size_t>(k)]) +
                        sa * normals_[static_cast<std::size_t>(k)]);
                soft.apriori = &a;
            }
            for (std::size_t d = 0; d < detectors_.size(); ++d) {
                detectors_[d]->DetectSoft(1, &y, soft, &r);
                out[d].Add(llr_.data(), frame_.raw.data(), settings_.frame);
            }
        }
        return out;
    }

  private:
    const SoftSettings& settings_;
    Chain chain_;
    std::vector<std::unique_ptr<detectors::Detector>> detectors_;
    Frame frame_;
    std::vector<std::uint8_t> decided_;
    std::vector<float> llr_, apriori_;
    std::vector<double> normals_;
    const channel::ConstraintCode& code_;
    int words_; // code words a frame
    std::vector<std::uint8_t> user_;
};

// A run's sums so far: each detector's statistics and the bits they hold.
struct SoftSums {
    std::vector<LlrStatistics> statistics;
    std::uint64_t bits = 0;
    void Add(const SoftSums& o) {
        for (std::size_t d = 0; d < statistics.size(); ++d) statistics[d].Add(o.statistics[d]);
        bits += o.bits;
    }
};

} // namespace

bool RunSoft(const SoftSettings& asked, const std::atomic<bool>& stop, SoftResult& result,
             const std::function<void(std::uint64_t)>& report) {
    // With a constraint code the frame is whole code words (the user bits
    // asked for, coded), and on a head the coded bits are written at the
    // channel density with the noise's spectral density held, as in ber.
    SoftSettings settings = asked;
    settings.frame = CodedFrame(asked.frame, asked.chain.constraint);
    const ChannelDesign design =
        DesignChannel(settings.chain.Coded(), settings.chain.CodedSigma(settings.sigma));
    const std::uint64_t frame = static_cast<std::uint64_t>(settings.frame);
    const std::uint64_t totalFrames =
        std::max<std::uint64_t>(1, (settings.bits + frame - 1) / frame);
    const std::uint64_t perChunk = frame >= kChunkBits ? 1 : (kChunkBits + frame - 1) / frame;
    const std::uint64_t chunks = (totalFrames + perChunk - 1) / perChunk;

    result = SoftResult{};
    result.kinds = settings.detectors;
    result.statistics.assign(settings.detectors.size(), LlrStatistics());
    result.noiseVariance = design.DetectorNoise().front();
    result.predictionVariance =
        design.settings.Recording() ? design.predictionVariance : settings.sigma * settings.sigma;

    SoftSums total;
    total.statistics.assign(settings.detectors.size(), LlrStatistics());
    const bool done = RunChunksInOrder<SoftSums>(
        settings.threads, chunks, stop, total, [&] { return SoftRunner(settings, design); },
        [&](SoftRunner& runner, std::uint64_t c) {
            const int frames = static_cast<int>(std::min(perChunk, totalFrames - c * perChunk));
            return SoftSums{runner.Run(c, frames), static_cast<std::uint64_t>(frames) * frame};
        },
        {},
        [&](const SoftSums& now) {
            if (report) report(now.bits);
        });
    result.statistics = std::move(total.statistics);
    result.bits = total.bits;
    return done;
}

bool ExitCurve(SoftSettings settings, detectors::Kind kind, const std::vector<double>& ia,
               const std::atomic<bool>& stop, std::vector<ExitPoint>& curve,
               const std::function<void(std::size_t, std::uint64_t)>& report) {
    settings.detectors = {kind};
    settings.extrinsic = true;
    curve.clear();
    for (std::size_t i = 0; i < ia.size(); ++i) {
        settings.aprioriSigma = SigmaOfInformation(ia[i]);
        SoftResult result;
        if (!RunSoft(settings, stop, result, [&](std::uint64_t bits) {
                if (report) report(i, bits);
            }))
            return false;
        curve.push_back({ia[i], result.statistics.front().MutualInformation()});
    }
    return true;
}

} // namespace engine
