#include "engine/sector_run.h"

#include <algorithm>
#include <cmath>

#include "channel/bounds.h"
#include "channel/noise.h"
#include "codes/encoder.h"
#include "engine/error_rate.h"
#include "engine/ordered_chunks.h"
#include "engine/sector_decode.h"

namespace engine {
namespace {

constexpr int kChunkSectors = 4;

// Rows of `count` frames of `size` values each in one store.
template <typename T> struct Rows {
    std::vector<T> store;
    std::size_t size = 0;
    void Resize(int count, std::size_t rowSize) {
        size = rowSize;
        store.resize(static_cast<std::size_t>(count) * size);
    }
    T* operator[](int f) { return store.data() + static_cast<std::size_t>(f) * size; }
};

// One worker's two channels, their detectors, the decoder and a batch's
// buffers. A batch is the sectors of a few chunks, detected and decoded side
// by side; each sector's draws come from its chunk's streams in the order of
// one sector after another, so a sector's fate does not depend on the batch.
class SectorRunner {
  public:
    SectorRunner(const SectorSettings& s, const codes::Encoder& encoder, const ChannelDesign& coded,
                 const ChannelDesign& classical, const codes::RsLayout& rs, int batch)
        : s_(s), encoder_(encoder), rs_(rs), coded_(coded, s.code->n),
          classical_(classical, rs.recordedBits),
          detector_(detectors::Make(s.detector, SetupOf(coded_))),
          hard_(detectors::Make(ClassicalKind(classical.settings), SetupOf(classical_))),
          decoder_(*s.code, s.decoder, s.messages), n_(static_cast<std::size_t>(s.code->n)),
          batch_(batch) {
        for (int f = 0; f < batch; ++f) {
            codedFrames_.push_back(coded_.MakeFrame());
            classicalFrames_.push_back(classical_.MakeFrame());
        }
        user_.Resize(batch, static_cast<std::size_t>(encoder.UserBits()));
        for (Rows<std::uint8_t>* r : {&decided_, &bits_}) r->Resize(batch, n_);
        for (Rows<float>* r : {&llr_, &apriori_, &posterior_}) r->Resize(batch, n_);
        rsDecided_.Resize(batch, static_cast<std::size_t>(rs.recordedBits));
        chunkOf_.resize(static_cast<std::size_t>(batch));
    }

    // The sectors of chunks first ... first + count - 1 of a point, both
    // channels: their counts, a chunk each.
    std::vector<SectorCounts> Chunks(int point, std::uint64_t first, std::uint64_t count) {
        std::vector<SectorCounts> out(count);
        int frames = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t c = first + i;
            const int sectors = static_cast<int>(
                std::min<std::uint64_t>(kChunkSectors, s_.sectors - c * kChunkSectors));
            channel::NoiseSource iterative(s_.seed, ChunkStream(2 * point, c));
            channel::NoiseSource baseline(s_.seed, ChunkStream(2 * point + 1, c));
            for (int k = 0; k < sectors; ++k) {
                const std::size_t f = static_cast<std::size_t>(frames + k);
                Write(iterative, frames + k);
                classical_.Next(baseline, classicalFrames_[f]);
                chunkOf_[f] = static_cast<int>(i);
                if (coded_.design().timing)
                    CountTiming(codedFrames_[f], classicalFrames_[f], out[i]);
            }
            frames += sectors;
        }
        Classical(frames, out);
        std::vector<int> all(static_cast<std::size_t>(frames));
        for (int f = 0; f < frames; ++f) all[static_cast<std::size_t>(f)] = f;
        Iterate(all, out);
        return out;
    }

    // Sector `sector` of point 0 alone, with the wrong user bits after each
    // local iteration of each round.
    SectorTrace Trace(std::uint64_t sector) {
        channel::NoiseSource source(s_.seed, ChunkStream(0, sector / kChunkSectors));
        const int f = static_cast<int>(sector % kChunkSectors);
        for (int k = 0; k <= f; ++k) Write(source, f);
        std::vector<SectorCounts> c(1);
        chunkOf_[static_cast<std::size_t>(f)] = 0;
        SectorTrace trace;
        Iterate({f}, c, &trace.wrong);
        trace.syndromeZero = c[0].failed == 0;
        return trace;
    }

    // Sector `sector` of a point as Chunks draws it: its user bits, code
    // word and the detector's samples.
    SectorSamples Draw(int point, std::uint64_t sector) {
        channel::NoiseSource source(s_.seed, ChunkStream(2 * point, sector / kChunkSectors));
        for (std::uint64_t k = 0; k <= sector % kChunkSectors; ++k) Write(source, 0);
        const Frame& frame = codedFrames_[0];
        SectorSamples out;
        out.user.assign(user_[0], user_[0] + user_.size);
        out.codeword = frame.raw;
        out.samples = frame.received;
        return out;
    }

    // The rounds on given samples (the coded channel's frame of them).
    SectorDecoded Decode(const float* samples) {
        Frame& frame = codedFrames_[0];
        std::copy(samples, samples + frame.received.size(), frame.received.begin());
        std::fill(user_[0], user_[0] + user_.size, std::uint8_t{0});
        std::vector<SectorCounts> c(1);
        chunkOf_[0] = 0;
        Iterate({0}, c);
        SectorDecoded out;
        out.bits.assign(bits_[0], bits_[0] + n_);
        out.posterior.assign(posterior_[0], posterior_[0] + n_);
        out.syndromeZero = c[0].failed == 0;
        out.iterations = static_cast<int>(c[0].iterations);
        out.rounds = static_cast<int>(c[0].rounds);
        return out;
    }

  private:
    // With the timing modelled: whether each channel's sector slipped, and
    // the iterative one's timing error.
    static void CountTiming(const Frame& coded, const Frame& classical, SectorCounts& c) {
        const TimingTrack& t = coded.timing;
        c.slipped += t.slips != 0 ? 1 : 0;
        c.phaseSquares += t.squares;
        c.phaseSamples += static_cast<std::uint64_t>(t.counted);
        c.rsSlipped += classical.timing.slips != 0 ? 1 : 0;
    }

    // The iterative channel's next sector from `source` into frame f.
    void Write(channel::NoiseSource& source, int f) {
        Frame& frame = codedFrames_[static_cast<std::size_t>(f)];
        source.RandomBits(user_[f], static_cast<int>(user_.size));
        encoder_.Encode(user_[f], frame.raw.data());
        coded_.Transmit(source, frame);
    }

    void Classical(int frames, std::vector<SectorCounts>& out) {
        std::vector<const float*> y(static_cast<std::size_t>(frames));
        std::vector<std::uint8_t*> r(static_cast<std::size_t>(frames));
        for (int f = 0; f < frames; ++f) {
            y[static_cast<std::size_t>(f)] =
                classicalFrames_[static_cast<std::size_t>(f)].received.data();
            r[static_cast<std::size_t>(f)] = rsDecided_[f];
        }
        hard_->Detect(frames, y.data(), r.data());
        for (int f = 0; f < frames; ++f)
            out[static_cast<std::size_t>(chunkOf_[static_cast<std::size_t>(f)])].rsFailed +=
                codes::CountSector(rs_, classicalFrames_[static_cast<std::size_t>(f)].raw.data(),
                                   rsDecided_[f])
                    .lost;
    }

    // The rounds of the iterative channel on the frames `active`: the
    // detector and the decoder on all of them, then again on those whose
    // syndrome is not yet zero. `wrong` (one frame only) gets the decoder's
    // wrong user bits after each local iteration of each round.
    void Iterate(std::vector<int> active, std::vector<SectorCounts>& out,
                 std::vector<std::vector<int>>* wrong = nullptr) {
        std::vector<std::uint8_t> zero(static_cast<std::size_t>(batch_), 0);
        std::vector<const float*> y, a;
        std::vector<float*> l, p;
        std::vector<std::uint8_t*> r, b;
        std::vector<codes::FrameResult> results;
        const std::vector<int> ends = active;
        for (int g = 0; g < s_.global && !active.empty(); ++g) {
            y.clear(), a.clear(), l.clear(), p.clear(), r.clear(), b.clear();
            for (int f : active) {
                y.push_back(codedFrames_[static_cast<std::size_t>(f)].received.data());
                a.push_back(apriori_[f]);
                l.push_back(llr_[f]);
                p.push_back(posterior_[f]);
                r.push_back(decided_[f]);
                b.push_back(bits_[f]);
            }
            const int count = static_cast<int>(active.size());
            detectors::SoftFrames soft;
            soft.apriori = g == 0 ? nullptr : a.data();
            soft.llr = l.data();
            soft.extrinsic = true;
            detector_->DetectSoft(count, y.data(), soft, r.data());
            if (g == 0) {
                for (int f : active) {
                    SectorCounts& c = out[static_cast<std::size_t>(chunkOf_[std::size_t(f)])];
                    const std::uint8_t* raw = codedFrames_[static_cast<std::size_t>(f)].raw.data();
                    for (std::size_t k = 0; k < n_; ++k) c.rawErrors += decided_[f][k] != raw[k];
                    c.rawBits += n_;
                }
            }
            if (wrong != nullptr) wrong->push_back(WrongAfterEach(active.front()));
            results.resize(active.size());
            decoder_.Decode(count, l.data(), b.data(), p.data(), results.data());
            std::vector<int> going;
            for (std::size_t i = 0; i < active.size(); ++i) {
                const int f = active[i];
                SectorCounts& c = out[static_cast<std::size_t>(chunkOf_[std::size_t(f)])];
                c.iterations += static_cast<std::uint64_t>(results[i].iterations);
                ++c.rounds;
                zero[static_cast<std::size_t>(f)] = results[i].syndromeZero;
                if (results[i].syndromeZero) continue;
                going.push_back(f);
                decoder_.Extrinsic(static_cast<int>(n_), llr_[f], posterior_[f], apriori_[f]);
            }
            active.swap(going);
        }
        const std::vector<int>& columns = encoder_.UserColumns();
        for (int f : ends) {
            SectorCounts& c = out[static_cast<std::size_t>(chunkOf_[std::size_t(f)])];
            std::uint64_t wrongUser = 0;
            for (std::size_t u = 0; u < columns.size(); ++u)
                wrongUser += bits_[f][static_cast<std::size_t>(columns[u])] != user_[f][u];
            ++c.sectors;
            c.userBits += user_.size;
            c.bitErrors += wrongUser;
            if (!zero[static_cast<std::size_t>(f)])
                ++c.failed;
            else if (wrongUser > 0)
                ++c.undetected;
        }
    }

    // The decoder's wrong user bits after 0 (its input's own decisions) ...
    // maxIterations iterations on frame f's input this round, each decoded
    // afresh without an early stop.
    std::vector<int> WrongAfterEach(int f) {
        std::vector<int> out;
        const std::vector<int>& columns = encoder_.UserColumns();
        std::vector<std::uint8_t> bits(n_);
        for (int i = 0; i <= s_.decoder.maxIterations; ++i) {
            decoder_.DecodeFor(i, llr_[f], bits.data());
            int wrong = 0;
            for (std::size_t u = 0; u < columns.size(); ++u)
                wrong += bits[static_cast<std::size_t>(columns[u])] != user_[f][u];
            out.push_back(wrong);
        }
        return out;
    }

    const SectorSettings& s_;
    const codes::Encoder& encoder_;
    const codes::RsLayout& rs_;
    Chain coded_, classical_;
    std::unique_ptr<detectors::Detector> detector_, hard_;
    SectorDecoder decoder_;
    std::size_t n_;
    int batch_;
    std::vector<Frame> codedFrames_, classicalFrames_;
    Rows<std::uint8_t> user_, decided_, bits_, rsDecided_;
    Rows<float> llr_, apriori_, posterior_;
    std::vector<int> chunkOf_; // a batch's frame's chunk, from the batch's first
};

// Chunks a batch: enough sectors to fill the decoder's lanes (and the soft
// detectors' eight), whole chunks.
std::uint64_t ChunksABatch(const SectorSettings& s) {
    const int lanes = SectorDecoder(*s.code, s.decoder, s.messages).Lanes();
    const int sectors = std::max(lanes, 8);
    return static_cast<std::uint64_t>((sectors + kChunkSectors - 1) / kChunkSectors);
}

} // namespace

detectors::Kind ClassicalKind(const ChainSettings& chain) {
    // On one state the slicer is the maximum-likelihood detector.
    if (chain.target.Memory() == 0) return detectors::Kind::kSlicer;
    return chain.Recording() ? detectors::Kind::kNpml : detectors::Kind::kViterbi;
}

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
    const std::uint64_t group = ChunksABatch(s);
    return RunChunkGroupsInOrder<SectorCounts>(
        s.threads, chunks, group, stop, counts,
        [&] {
            return SectorRunner(s, encoder, coded, classical, g.rs,
                                static_cast<int>(group) * kChunkSectors);
        },
        [&](SectorRunner& runner, std::uint64_t first, std::uint64_t count) {
            return runner.Chunks(point, first, count);
        },
        [&](const SectorCounts& sum) { return sum.Errors() >= s.failures; }, report);
}

SectorTrace TraceSector(const SectorSettings& s, const SectorGeometry& g, std::uint64_t sector) {
    const codes::Encoder encoder(*s.code);
    const ChannelDesign coded = DesignChannel(g.coded, g.sigmaCoded);
    const ChannelDesign classical = DesignChannel(g.classical, g.sigmaClassical);
    SectorRunner runner(s, encoder, coded, classical, g.rs, kChunkSectors);
    return runner.Trace(sector);
}

int SectorSampleCount(const SectorSettings& s, const SectorGeometry& g) {
    const ChannelDesign design = DesignChannel(g.coded, g.sigmaCoded);
    const Chain coded(design, s.code->n);
    return coded.Shape().Samples();
}

SectorSamples DrawSector(const SectorSettings& s, const SectorGeometry& g, int point,
                         std::uint64_t sector) {
    const codes::Encoder encoder(*s.code);
    const ChannelDesign coded = DesignChannel(g.coded, g.sigmaCoded);
    const ChannelDesign classical = DesignChannel(g.classical, g.sigmaClassical);
    SectorRunner runner(s, encoder, coded, classical, g.rs, 1);
    return runner.Draw(point, sector);
}

SectorDecoded DecodeSector(const SectorSettings& s, const SectorGeometry& g, const float* samples) {
    const codes::Encoder encoder(*s.code);
    const ChannelDesign coded = DesignChannel(g.coded, g.sigmaCoded);
    const ChannelDesign classical = DesignChannel(g.classical, g.sigmaClassical);
    SectorRunner runner(s, encoder, coded, classical, g.rs, 1);
    return runner.Decode(samples);
}

} // namespace engine
