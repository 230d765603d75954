#include "engine/error_rate.h"

#include <algorithm>

#include "engine/fused_chunk.h"
#include "engine/ordered_chunks.h"

namespace engine {
namespace {

constexpr int kChunkBits = 1 << 16;
// Frames made before the detectors run: the Viterbi detectors decide eight
// side by side.
constexpr int kBatch = 8;

// One worker's chain, detectors and buffers, reused for every frame it runs.
// The draws from the noise source are the same, in the same order, as one
// frame after the other.
class FrameRunner {
  public:
    FrameRunner(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design)
        : chain_(design, settings.frame),
          detectors_(MakeDetectors(DetectorsOf(setup, design), chain_)),
          code_(channel::ConstraintCode::Of(design.settings.constraint)),
          words_(settings.frame / code_.CodeBits()) {
        for (int f = 0; f < kBatch; ++f) {
            user_[f].resize(static_cast<std::size_t>(words_ * code_.UserBits()));
            frames_.push_back(chain_.MakeFrame());
            samples_[f] = frames_.back().received.data();
        }
        decided_.resize(detectors_.size() * kBatch,
                        std::vector<std::uint8_t>(static_cast<std::size_t>(settings.frame)));
    }

    PointCounts Run(const BerSettings& settings, int point, std::uint64_t chunk, int frames) {
        channel::NoiseSource source(settings.seed, ChunkStream(point, chunk));
        PointCounts counts;
        counts.detectors.resize(detectors_.size());
        if (!code_.IsNone()) counts.users.resize(detectors_.size());
        const int userBits = words_ * code_.UserBits();
        for (int f = 0; f < frames; f += kBatch) {
            const int batch = std::min(kBatch, frames - f);
            if (code_.IsNone()) {
                chain_.NextFrames(source, frames_.data(), batch);
            } else {
                for (int i = 0; i < batch; ++i)
                    chain_.NextCoded(code_, source, frames_[i], user_[i]);
            }
            for (int i = 0; i < batch && chain_.design().timing; ++i) {
                const TimingTrack& t = frames_[i].timing;
                counts.slipFrames += t.slips != 0 ? 1 : 0;
                counts.phaseSquares += t.squares;
                counts.phaseSamples += static_cast<std::uint64_t>(t.counted);
            }
            for (std::size_t d = 0; d < detectors_.size(); ++d) {
                std::uint8_t* out[kBatch];
                for (int i = 0; i < kBatch; ++i) out[i] = decided_[d * kBatch + i].data();
                detectors_[d]->Detect(batch, samples_, out);
                for (int i = 0; i < batch; ++i) {
                    counts.detectors[d].Count(out[i], frames_[i].raw.data(), settings.frame);
                    if (code_.IsNone()) continue;
                    decoded_.resize(user_[i].size());
                    code_.Decode(out[i], words_, decoded_.data());
                    counts.users[d].Count(decoded_.data(), user_[i].data(), userBits);
                }
            }
            counts.bits += static_cast<std::uint64_t>(batch) * settings.frame;
        }
        return counts;
    }

  private:
    Chain chain_;
    std::vector<std::unique_ptr<detectors::Detector>> detectors_;
    std::vector<Frame> frames_;
    const float* samples_[kBatch] = {};
    std::vector<std::vector<std::uint8_t>> decided_; // [detector * kBatch + frame]
    const channel::ConstraintCode& code_;
    int words_; // code words a frame
    std::vector<std::uint8_t> user_[kBatch], decoded_;
};

// The fused chain where it applies and this processor runs its vector loops
// (engine/fused_chunk.h), the chain of stages otherwise: the same counts
// either way.
class Runner {
  public:
    Runner(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design) {
        if (design.settings.constraint == channel::ConstraintKind::kNone &&
            FusedChunk::Applies(setup, design) && FusedChunk::Vectorized())
            fused_ = std::make_unique<FusedChunk>(settings, setup, design);
        else
            stages_ = std::make_unique<FrameRunner>(settings, setup, design);
    }
    PointCounts Run(const BerSettings& settings, int point, std::uint64_t chunk, int frames) {
        return fused_ ? fused_->Run(point, chunk, frames)
                      : stages_->Run(settings, point, chunk, frames);
    }

  private:
    std::unique_ptr<FusedChunk> fused_;
    std::unique_ptr<FrameRunner> stages_;
};

} // namespace

bool Enough(const BerSettings& settings, const PointCounts& total) {
    if (total.bits >= settings.bits) return true;
    return !total.detectors.empty() &&
           std::all_of(total.detectors.begin(), total.detectors.end(),
                       [&](const Monitor& m) { return m.bitErrors >= settings.errors; });
}

struct ChunkRunner::Impl {
    BerSettings settings;
    Runner runner;
    Impl(const BerSettings& s, const BerSetup& setup, const ChannelDesign& design)
        : settings(s), runner(s, setup, design) {}
};

ChunkRunner::ChunkRunner(const BerSettings& settings, const BerSetup& setup,
                         const ChannelDesign& design)
    : impl_(new Impl(settings, setup, design)) {}

ChunkRunner::~ChunkRunner() {
    delete impl_;
}

PointCounts ChunkRunner::Run(int point, std::uint64_t chunk, int frames) {
    return impl_->runner.Run(impl_->settings, point, chunk, frames);
}

std::vector<detectors::Kind> DetectorsOf(const BerSetup& setup, const ChannelDesign& design) {
    if (!setup.detectors.empty()) return setup.detectors;
    return detectors::DefaultKinds(WhereOf(design));
}

void PointCounts::Add(const PointCounts& other) {
    bits += other.bits;
    slipFrames += other.slipFrames;
    phaseSquares += other.phaseSquares;
    phaseSamples += other.phaseSamples;
    if (detectors.size() < other.detectors.size()) detectors.resize(other.detectors.size());
    for (std::size_t d = 0; d < other.detectors.size(); ++d) detectors[d].Add(other.detectors[d]);
    if (users.size() < other.users.size()) users.resize(other.users.size());
    for (std::size_t d = 0; d < other.users.size(); ++d) users[d].Add(other.users[d]);
}

int ChunkFrames(int frame) {
    return frame >= kChunkBits ? 1 : (kChunkBits + frame - 1) / frame;
}

PointCounts RunChunk(const BerSettings& settings, const BerSetup& setup,
                     const ChannelDesign& design, int point, std::uint64_t chunk, int frames) {
    FrameRunner runner(settings, setup, design);
    return runner.Run(settings, point, chunk, frames);
}

bool RunPoint(const BerSettings& settings, const BerSetup& setup, int point, double sigma,
              const std::atomic<bool>& stop, PointCounts& total,
              const std::function<void(const PointCounts&)>& report) {
    return RunPoint(settings, setup, DesignChannel(setup.chain, sigma), point, stop, total, report);
}

bool RunPoint(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design,
              int point, const std::atomic<bool>& stop, PointCounts& total,
              const std::function<void(const PointCounts&)>& report) {
    // The bit limit rounded up to whole frames; the last chunk may be short.
    const std::uint64_t frame = static_cast<std::uint64_t>(settings.frame);
    const std::uint64_t totalFrames = (settings.bits + frame - 1) / frame;
    const std::uint64_t perChunk = static_cast<std::uint64_t>(ChunkFrames(settings.frame));
    const std::uint64_t chunks = (totalFrames + perChunk - 1) / perChunk;

    total = PointCounts{};
    total.detectors.resize(DetectorsOf(setup, design).size());
    return RunChunksInOrder<PointCounts>(
        settings.threads, chunks, stop, total, [&] { return Runner(settings, setup, design); },
        [&](Runner& runner, std::uint64_t c) {
            const int frames = static_cast<int>(std::min(perChunk, totalFrames - c * perChunk));
            return runner.Run(settings, point, c, frames);
        },
        [&](const PointCounts& sum) { return Enough(settings, sum); }, report);
}

} // namespace engine
