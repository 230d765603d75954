#include "engine/sector_run.h"

#include <algorithm>
#include <cmath>

#include "channel/bounds.h"
#include "channel/noise.h"
#include "codes/encoder.h"
#include "engine/error_rate.h"
#include "engine/ordered_chunks.h"

namespace engine {
namespace {

constexpr int kChunkSectors = 4;

detectors::Kind ClassicalKind(const ChainSettings& chain) {
    return chain.Recording() ? detectors::Kind::kNpml : detectors::Kind::kViterbi;
}

// One worker's two channels, their detectors and buffers.
class SectorRunner {
  public:
    SectorRunner(const SectorSettings& s, const codes::Encoder& encoder, const ChannelDesign& coded,
                 const ChannelDesign& classical, const codes::RsLayout& rs)
        : s_(s), encoder_(encoder), rs_(rs), coded_(coded, s.code->n),
          classical_(classical, rs.recordedBits),
          detector_(detectors::Make(s.detector, SetupOf(coded_))),
          hard_(detectors::Make(ClassicalKind(classical.settings), SetupOf(classical_))),
          codedFrame_(coded_.MakeFrame()), classicalFrame_(classical_.MakeFrame()),
          user_(static_cast<std::size_t>(encoder.UserBits())),
          n_(static_cast<std::size_t>(s.code->n)), decided_(n_), bits_(n_), llr_(n_), apriori_(n_),
          posterior_(n_), rsDecided_(static_cast<std::size_t>(rs.recordedBits)) {}

    // The iterative channel's next sector from `source`, through its rounds;
    // `wrong`, when given, gets the wrong user bits after every local
    // iteration of every round.
    void Sector(channel::NoiseSource& source, SectorCounts& c,
                std::vector<std::vector<int>>* wrong = nullptr) {
        source.RandomBits(user_.data(), static_cast<int>(user_.size()));
        encoder_.Encode(user_.data(), codedFrame_.raw.data());
        coded_.Transmit(source, codedFrame_);
        if (coded_.design().timing) {
            const TimingTrack& t = codedFrame_.timing;
            c.slipped += t.slips != 0 ? 1 : 0;
            c.phaseSquares += t.squares;
            c.phaseSamples += static_cast<std::uint64_t>(t.counted);
        }
        const float* y = codedFrame_.received.data();
        std::uint8_t* r = decided_.data();
        float* l = llr_.data();
        const float* a = apriori_.data();
        bool zero = false;
        for (int g = 0; g < s_.global; ++g) {
            detectors::SoftFrames soft;
            soft.apriori = g == 0 ? nullptr : &a;
            soft.llr = &l;
            soft.extrinsic = true;
            detector_->DetectSoft(1, &y, soft, &r);
            if (g == 0) {
                for (std::size_t k = 0; k < n_; ++k)
                    c.rawErrors += decided_[k] != codedFrame_.raw[k];
                c.rawBits += n_;
            }
            if (wrong != nullptr) wrong->push_back(WrongAfterEach());
            const codes::FrameResult result =
                codes::Decode(*s_.code, s_.decoder, llr_.data(), bits_.data(), posterior_.data());
            c.iterations += static_cast<std::uint64_t>(result.iterations);
            ++c.rounds;
            zero = result.syndromeZero;
            if (zero) break;
            for (std::size_t k = 0; k < n_; ++k)
                apriori_[k] = posterior_[k] - codes::CleanRatio(llr_[k]);
        }
        std::uint64_t wrongUser = 0;
        const std::vector<int>& columns = encoder_.UserColumns();
        for (std::size_t u = 0; u < columns.size(); ++u)
            wrongUser += bits_[static_cast<std::size_t>(columns[u])] != user_[u];
        ++c.sectors;
        c.userBits += user_.size();
        c.bitErrors += wrongUser;
        if (!zero)
            ++c.failed;
        else if (wrongUser > 0)
            ++c.undetected;
    }

    void Classical(channel::NoiseSource& source, SectorCounts& c) {
        classical_.Next(source, classicalFrame_);
        if (classical_.design().timing) c.rsSlipped += classicalFrame_.timing.slips != 0 ? 1 : 0;
        const float* y = classicalFrame_.received.data();
        std::uint8_t* r = rsDecided_.data();
        hard_->Detect(1, &y, &r);
        c.rsFailed += codes::CountSector(rs_, classicalFrame_.raw.data(), rsDecided_.data()).lost;
    }

  private:
    // The decoder's wrong user bits after 0 (its input's own decisions) ...
    // maxIterations iterations on this round's input, each decoded afresh
    // without an early stop.
    std::vector<int> WrongAfterEach() {
        std::vector<int> out;
        codes::DecoderOptions o = s_.decoder;
        o.earlyStop = false;
        const std::vector<int>& columns = encoder_.UserColumns();
        for (int i = 0; i <= s_.decoder.maxIterations; ++i) {
            o.maxIterations = i;
            codes::Decode(*s_.code, o, llr_.data(), bits_.data(), nullptr);
            int wrong = 0;
            for (std::size_t u = 0; u < columns.size(); ++u)
                wrong += bits_[static_cast<std::size_t>(columns[u])] != user_[u];
            out.push_back(wrong);
        }
        return out;
    }

    const SectorSettings& s_;
    const codes::Encoder& encoder_;
    const codes::RsLayout& rs_;
    Chain coded_, classical_;
    std::unique_ptr<detectors::Detector> detector_, hard_;
    Frame codedFrame_, classicalFrame_;
    std::vector<std::uint8_t> user_;
    std::size_t n_;
    std::vector<std::uint8_t> decided_, bits_;
    std::vector<float> llr_, apriori_, posterior_;
    std::vector<std::uint8_t> rsDecided_;
};

} // namespace

void SectorCounts::Add(const SectorCounts& o) {
    sectors += o.sectors;
    failed += o.failed;
    undetected += o.undetected;
    userBits += o.userBits;
    bitErrors += o.bitErrors;
    rawBits += o.rawBits;
    rawErrors += o.rawErrors;
    iterations += o.iterations;
    rounds += o.rounds;
    rsFailed += o.rsFailed;
    slipped += o.slipped;
    rsSlipped += o.rsSlipped;
    phaseSquares += o.phaseSquares;
    phaseSamples += o.phaseSamples;
}

double SectorCounts::RmsPhase() const {
    return phaseSamples > 0 ? std::sqrt(phaseSquares / static_cast<double>(phaseSamples)) : 0.0;
}

SectorGeometry GeometryOf(const SectorSettings& s, double snrDb) {
    SectorGeometry g;
    g.snrDb = snrDb;
    g.sigmaUser = channel::SigmaOfSnr(SignalEnergy(s.chain), snrDb);
    const int n = s.code->n;
    const codes::Encoder encoder(*s.code);
    const int k = encoder.UserBits();
    g.rate = static_cast<double>(k) / n;
    g.rsT = s.rsT >= 0 ? s.rsT : codes::NearestT(k, g.rate);
    g.rs = codes::LayoutRs(k, g.rsT);
    g.rsRate = g.rs.rate;
    g.coded = s.chain;
    g.coded.precoder = s.precoder;
    g.classical = s.chain;
    g.classical.precoder = true;
    if (s.chain.Recording()) {
        g.coded.density = s.chain.density / g.rate;
        g.classical.density = s.chain.density / g.rsRate;
        g.sigmaCoded = g.sigmaUser / std::sqrt(g.rate);
        g.sigmaClassical = g.sigmaUser / std::sqrt(g.rsRate);
    } else {
        g.sigmaCoded = g.sigmaClassical = g.sigmaUser;
    }
    // Eb / N0 per user bit: the energy of a channel bit (E over the
    // distance's scale: antipodal levels +-d/2 have E_s = d^2 / 4) over N0 =
    // 2 sigma^2, a user bit taking 1 / R of them. For the target 1 (levels 0
    // and 1) it is SNR - 10 log10(8 R).
    const double energy = SignalEnergy(g.coded);
    g.ebN0Db = 10 * std::log10(energy / (8 * g.rate * g.sigmaCoded * g.sigmaCoded));
    return g;
}

std::string SectorWhyNot(const SectorSettings& s) {
    if (!s.code) return "no code";
    const detectors::Row& row = detectors::RowOf(s.detector);
    if (!row.soft) return std::string(row.name) + " gives no ratios; sectors need a soft detector";
    return {};
}

bool RunSectorPoint(const SectorSettings& s, const SectorGeometry& g, int point,
                    const std::atomic<bool>& stop, SectorCounts& counts,
                    const std::function<void(const SectorCounts&)>& report) {
    const codes::Encoder encoder(*s.code);
    const ChannelDesign coded = DesignChannel(g.coded, g.sigmaCoded);
    const ChannelDesign classical = DesignChannel(g.classical, g.sigmaClassical);
    counts = SectorCounts{};
    const std::uint64_t chunks = (s.sectors + kChunkSectors - 1) / kChunkSectors;
    return RunChunksInOrder<SectorCounts>(
        s.threads, chunks, stop, counts,
        [&] { return SectorRunner(s, encoder, coded, classical, g.rs); },
        [&](SectorRunner& runner, std::uint64_t c) {
            const std::uint64_t sectors =
                std::min<std::uint64_t>(kChunkSectors, s.sectors - c * kChunkSectors);
            SectorCounts chunk;
            channel::NoiseSource iterative(s.seed, ChunkStream(2 * point, c));
            channel::NoiseSource baseline(s.seed, ChunkStream(2 * point + 1, c));
            for (std::uint64_t i = 0; i < sectors; ++i) {
                runner.Sector(iterative, chunk);
                runner.Classical(baseline, chunk);
            }
            return chunk;
        },
        [&](const SectorCounts& sum) { return sum.Errors() >= s.failures; }, report);
}

SectorTrace TraceSector(const SectorSettings& s, const SectorGeometry& g, std::uint64_t sector) {
    const codes::Encoder encoder(*s.code);
    const ChannelDesign coded = DesignChannel(g.coded, g.sigmaCoded);
    const ChannelDesign classical = DesignChannel(g.classical, g.sigmaClassical);
    SectorRunner runner(s, encoder, coded, classical, g.rs);
    channel::NoiseSource source(s.seed, ChunkStream(0, sector / kChunkSectors));
    SectorCounts c;
    SectorTrace trace;
    for (std::uint64_t i = 0; i <= sector % kChunkSectors; ++i) {
        trace.wrong.clear();
        runner.Sector(source, c, &trace.wrong);
    }
    trace.syndromeZero = c.failed == 0;
    return trace;
}

} // namespace engine
