#include "engine/importance.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "channel/bounds.h"
#include "channel/events.h"
#include "engine/ordered_chunks.h"

namespace engine {

void ImportanceSums::Add(const ImportanceSums& other) {
    trials += other.trials;
    plainTrials += other.plainTrials;
    if (frame == 0) frame = other.frame;
    if (detectors.size() < other.detectors.size()) detectors.resize(other.detectors.size());
    for (std::size_t d = 0; d < other.detectors.size(); ++d) {
        detectors[d].sum += other.detectors[d].sum;
        detectors[d].squares += other.detectors[d].squares;
        detectors[d].hits += other.detectors[d].hits;
        detectors[d].bitErrors += other.detectors[d].bitErrors;
        detectors[d].plainHits += other.detectors[d].plainHits;
        detectors[d].plainBitErrors += other.detectors[d].plainBitErrors;
    }
}

Estimate ImportanceSums::EstimateOf(std::size_t d) const {
    Estimate e;
    const Sums& s = detectors[d];
    e.hits = s.hits;
    e.bitErrors = s.bitErrors;
    e.plainBits = plainTrials * static_cast<std::uint64_t>(frame);
    e.plainBitErrors = s.plainBitErrors;
    e.plainHits = s.plainHits;
    if (trials == 0 || frame == 0) return e;
    const long double t = static_cast<long double>(trials);
    const long double mean = s.sum / t;
    // The sample variance of X_t, then the standard error of its mean.
    const long double variance =
        trials > 1 ? std::max(0.0L, (s.squares - s.sum * mean) / (t - 1)) : 0.0L;
    const long double error = std::sqrt(variance / t);
    const long double bits = static_cast<long double>(frame);
    e.ber = static_cast<double>(mean / bits);
    e.rse = mean > 0 ? static_cast<double>(error / mean) : 0.0;
    e.low = static_cast<double>(std::max(0.0L, mean - 1.96L * error) / bits);
    e.high = static_cast<double>((mean + 1.96L * error) / bits);
    return e;
}

PointCounts ImportanceSums::Counts() const {
    PointCounts c;
    c.bits = trials * static_cast<std::uint64_t>(frame);
    for (const Sums& s : detectors) {
        Monitor m;
        m.bits = c.bits;
        m.bitErrors = s.bitErrors;
        m.frames = trials;
        m.frameErrors = s.hits;
        c.detectors.push_back(m);
    }
    return c;
}

TrialShape TrialFrame(const BerSettings& settings, const ImportanceSettings& importance) {
    const int window = std::max(1, importance.frame);
    const int guard = std::max(0, importance.guard);
    const int whole = std::max(1, settings.frame);
    if (whole <= window + 2 * guard) return {whole, 0, whole};
    return {window + 2 * guard, guard, window};
}

namespace {

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> c(a.size() + b.size() - 1, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) c[i + j] += a[i] * b[j];
    return c;
}

double Norm2(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x * x;
    return s;
}

// A direction at the detector's input (entry i at output start + first + i)
// and the distance along it to the boundary: the detector errs once the
// noise's projection on it falls below -threshold.
struct Direction {
    std::vector<double> a;
    int first = 0;
    double threshold = 0;
};

// The target's metric: a = eps = f * d, threshold |eps|^2 / 2.
Direction Plain(const std::vector<double>& eps) {
    return {eps, 0, 0.5 * Norm2(eps)};
}

// The whitened metric |P(y - path)|^2 with P = 1 - Sum_i p_i D^(i+1): the
// path difference P eps, the direction P^T P eps, from -order on.
Direction Whitened(const std::vector<double>& eps, const std::vector<float>& predictor) {
    std::vector<double> c = {1.0};
    for (float p : predictor) c.push_back(-static_cast<double>(p));
    const std::vector<double> pe = Convolve(c, eps);
    const int order = static_cast<int>(predictor.size());
    Direction d;
    d.first = -order;
    d.threshold = 0.5 * Norm2(pe);
    const int size = static_cast<int>(pe.size());
    for (int m = -order; m < size; ++m) {
        double s = 0;
        for (int i = 0; i <= order; ++i)
            if (m + i >= 0 && m + i < size) s += c[static_cast<std::size_t>(i)] * pe[m + i];
        d.a.push_back(s);
    }
    return d;
}

// The least noise shift that reaches the boundary: at the detector's input
// on the ideal channel, before the equalizer on a head (there the direction
// seen through the taps, g = W^T a, over the readback samples the outputs
// read). Scaled by `scale`; the component's shift and first index set.
void Aim(const Direction& dir, const ChannelDesign& design, double scale, MixtureComponent& c,
         double& distance) {
    std::vector<double> g = dir.a;
    if (design.settings.Recording()) {
        // Output o reads readback o + delay - i through tap i; relative to
        // the readback buffer's first sample (FirstInput(0)), sample jj of g
        // meets entry m of a through tap m + T - 1 - jj.
        const std::vector<double>& w = design.equalizer.taps;
        const int taps = static_cast<int>(w.size());
        const int size = static_cast<int>(dir.a.size());
        g.assign(static_cast<std::size_t>(size + taps - 1), 0.0);
        for (int jj = 0; jj < size + taps - 1; ++jj)
            for (int m = 0; m < size; ++m) {
                const int i = m + taps - 1 - jj;
                if (i >= 0 && i < taps) g[jj] += dir.a[m] * w[i];
            }
    }
    const double norm2 = Norm2(g);
    c.shiftFirst = dir.first;
    c.shift.assign(g.size(), 0.0);
    distance = 0;
    if (!(norm2 > 0)) return;
    for (std::size_t i = 0; i < g.size(); ++i) c.shift[i] = -scale * dir.threshold * g[i] / norm2;
    distance = dir.threshold / std::sqrt(norm2); // in units of the noise's deviation times sigma
}

} // namespace

Mixture MakeMixture(const ImportanceSettings& settings, const ChannelDesign& design,
                    const std::vector<detectors::Kind>& kinds, detectors::FrameShape shape,
                    int first, int counted) {
    Mixture mix;
    mix.recording = design.settings.Recording();
    const int n = shape.bits;
    if (mix.recording) {
        const int first = design.equalizer.FirstInput(0);
        mix.noiseCount = design.equalizer.LastInput(shape.Samples() - 1) - first + 1;
    } else {
        mix.noiseCount = shape.Samples();
    }
    mix.plainShare = std::clamp(settings.plainShare, 0.0, 1.0);
    if (mix.plainShare >= 1) return mix;

    const channel::Target& target = design.target;
    const double sigma = design.sigma;
    bool plain = false, whitened = false, slicer = false;
    for (detectors::Kind kind : kinds) {
        const detectors::Row& row = detectors::RowOf(kind);
        const bool predicts =
            std::find(row.options.begin(), row.options.end(), "predictor") != row.options.end();
        if (kind == detectors::Kind::kSlicer)
            slicer = true;
        else if (predicts && !design.predictor.empty())
            whitened = true;
        else
            plain = true;
    }
    // A family of components per metric, each family an equal share, within
    // it shares by the events' pairwise error terms (most to the likeliest),
    // a tenth spread evenly so that no event is starved.
    struct Family {
        std::vector<MixtureComponent> components;
        std::vector<double> weight;
    };
    std::vector<Family> families;
    auto Place = [&](MixtureComponent& c) {
        const int last = static_cast<int>(c.shift.size()) - 1;
        c.firstStart = std::max({0, -c.shiftFirst, first - c.bits + 1});
        c.lastStart =
            std::min({n - c.bits, mix.noiseCount - 1 - last - c.shiftFirst, first + counted - 1});
        return c.lastStart >= c.firstStart;
    };
    if (plain || whitened) {
        const std::vector<channel::ErrorEvent> events = channel::FindErrorEvents(
            target, (mix.recording ? settings.headReach : settings.reach) * target.D2Min(),
            settings.maxLength);
        for (int metric = 0; metric < 2; ++metric) {
            if (metric == 0 ? !plain : !whitened) continue;
            Family family;
            for (const channel::ErrorEvent& ev : events) {
                std::vector<double> e(ev.e.begin(), ev.e.end());
                const std::vector<double> eps = Convolve(target.Coefficients(), e);
                const Direction dir = metric == 0 ? Plain(eps) : Whitened(eps, design.predictor);
                for (int sign : {1, -1}) {
                    MixtureComponent c;
                    c.bits = static_cast<int>(ev.e.size());
                    for (int m = 0; m < c.bits; ++m) {
                        const int d = sign * ev.e[static_cast<std::size_t>(m)];
                        if (d == 0) continue;
                        c.mask |= std::uint64_t{1} << m;
                        if (d > 0) c.pattern |= std::uint64_t{1} << m;
                        ++c.forced;
                    }
                    Direction signed_ = dir;
                    for (double& x : signed_.a) x *= sign;
                    double distance = 0;
                    Aim(signed_, design, settings.shiftScale, c, distance);
                    if (!Place(c)) continue;
                    c.what = channel::EventText(ev) + (sign > 0 ? "" : " negated") +
                             (metric == 0 ? " plain" : " whitened");
                    family.weight.push_back(std::ldexp(1.0, -c.forced) * ev.rawBitErrors *
                                            channel::QFunction(distance / sigma));
                    family.components.push_back(std::move(c));
                }
            }
            families.push_back(std::move(family));
        }
    }
    if (slicer && target.Levels().size() > 1) {
        // Half the smallest gap between neighbouring levels, up or down.
        const std::vector<float>& levels = target.Levels();
        double gap = 1e300;
        for (std::size_t i = 1; i < levels.size(); ++i)
            gap = std::min(gap, double(levels[i]) - double(levels[i - 1]));
        Family family;
        for (int sign : {1, -1}) {
            MixtureComponent c;
            const Direction dir{{double(sign)}, 0, 0.5 * gap};
            double distance = 0;
            Aim(dir, design, settings.shiftScale, c, distance);
            if (!Place(c)) continue;
            c.what = sign > 0 ? "sample down" : "sample up";
            family.weight.push_back(channel::QFunction(distance / sigma));
            family.components.push_back(std::move(c));
        }
        families.push_back(std::move(family));
    }
    std::size_t used = 0;
    for (const Family& f : families) used += f.components.empty() ? 0 : 1;
    if (used == 0) {
        mix.plainShare = 1;
        return mix;
    }
    for (Family& f : families) {
        if (f.components.empty()) continue;
        double total = 0;
        for (double w : f.weight) total += w;
        const double each = (1 - mix.plainShare) / static_cast<double>(used);
        const double even = 1.0 / static_cast<double>(f.components.size());
        for (std::size_t i = 0; i < f.components.size(); ++i) {
            const double byWeight = total > 0 ? f.weight[i] / total : even;
            f.components[i].share = each * (0.9 * byWeight + 0.1 * even);
            mix.components.push_back(std::move(f.components[i]));
        }
    }
    return mix;
}

namespace {

constexpr int kBatch = 8;

// A uniform double in [0, 1) from 53 bits.
double Uniform(channel::NoiseSource& source) {
    return static_cast<double>(source.Bits() >> 11) * 0x1p-53;
}

// One worker's trials: the chain's stages by hand (so that the noise can be
// moved and known), the detectors, the mixture and the scratch.
class TrialRunner {
  public:
    TrialRunner(const BerSettings& settings, const ImportanceSettings& importance,
                const BerSetup& setup, const ChannelDesign& design)
        : design_(design), trial_(TrialFrame(settings, importance)), chain_(design, trial_.bits),
          detectors_(MakeDetectors(DetectorsOf(setup, design), chain_)),
          mixture_(MakeMixture(importance, design, DetectorsOf(setup, design), chain_.Shape(),
                               trial_.first, trial_.counted)),
          seed_(settings.seed) {
        for (int f = 0; f < kBatch; ++f) {
            frames_.push_back(chain_.MakeFrame());
            samples_[f] = frames_.back().received.data();
        }
        const std::size_t bits = static_cast<std::size_t>(chain_.Shape().bits);
        decided_.assign(detectors_.size() * kBatch, std::vector<std::uint8_t>(bits));
        noise_.resize(static_cast<std::size_t>(mixture_.noiseCount));
        words_.resize(bits / 64 + 2);
        double cumulative = mixture_.plainShare;
        const double inverse = 1 / (design.sigma * design.sigma);
        for (const MixtureComponent& c : mixture_.components) {
            cumulative += c.share;
            cumulative_.push_back(cumulative);
            const int starts = c.lastStart - c.firstStart + 1;
            // ln(a_j per start * 2^w): the data's and the choice's part of q_j / p.
            logShare_.push_back(std::log(c.share / starts) + c.forced * std::log(2.0));
            double energy = 0;
            std::vector<double> scaled;
            for (double u : c.shift) {
                energy += u * u;
                scaled.push_back(u * inverse);
            }
            scaled_.push_back(std::move(scaled));
            energy_.push_back(0.5 * energy * inverse);
        }
    }

    ImportanceSums Run(int point, std::uint64_t chunk, int trials) {
        channel::NoiseSource source(seed_, ChunkStream(point, chunk));
        ImportanceSums sums;
        sums.frame = trial_.counted;
        sums.detectors.resize(detectors_.size());
        double weights[kBatch];
        bool plain[kBatch];
        for (int t = 0; t < trials; t += kBatch) {
            const int batch = std::min(kBatch, trials - t);
            for (int i = 0; i < batch; ++i) {
                const std::uint64_t before = sums.plainTrials;
                weights[i] = Trial(source, frames_[i], sums.plainTrials);
                plain[i] = sums.plainTrials != before;
            }
            for (std::size_t d = 0; d < detectors_.size(); ++d) {
                std::uint8_t* out[kBatch];
                for (int i = 0; i < kBatch; ++i) out[i] = decided_[d * kBatch + i].data();
                detectors_[d]->Detect(batch, samples_, out);
                ImportanceSums::Sums& s = sums.detectors[d];
                for (int i = 0; i < batch; ++i) {
                    std::uint32_t wrong = 0;
                    const std::uint8_t* raw = frames_[i].raw.data();
                    for (int k = trial_.first; k < trial_.first + trial_.counted; ++k)
                        wrong += out[i][k] ^ raw[k];
                    if (wrong == 0) continue;
                    const long double x = static_cast<long double>(weights[i]) * wrong;
                    s.sum += x;
                    s.squares += x * x;
                    s.hits += 1;
                    s.bitErrors += wrong;
                    s.plainHits += plain[i] ? 1 : 0;
                    s.plainBitErrors += plain[i] ? wrong : 0;
                }
            }
            sums.trials += static_cast<std::uint64_t>(batch);
        }
        return sums;
    }

    const Mixture& mixture() const { return mixture_; }

  private:
    // One trial into `frame`: its weight p / (mixture's density).
    double Trial(channel::NoiseSource& source, Frame& frame, std::uint64_t& plain) {
        const detectors::FrameShape shape = chain_.Shape();
        const int n = shape.bits;
        // The component, then its start: no draw when the mixture is the
        // channel alone, so that its trials are the counting engine's frames.
        const MixtureComponent* chosen = nullptr;
        int start = 0;
        if (!mixture_.components.empty()) {
            const double u = Uniform(source);
            if (u >= mixture_.plainShare) {
                std::size_t j = static_cast<std::size_t>(
                    std::upper_bound(cumulative_.begin(), cumulative_.end(), u) -
                    cumulative_.begin());
                j = std::min(j, mixture_.components.size() - 1);
                chosen = &mixture_.components[j];
                const std::uint64_t starts =
                    static_cast<std::uint64_t>(chosen->lastStart - chosen->firstStart + 1);
                start =
                    chosen->firstStart + static_cast<int>(((source.Bits() >> 32) * starts) >> 32);
            }
        }
        plain += chosen == nullptr ? 1 : 0;
        source.RandomBits(frame.raw.data(), n);
        const channel::FrameEncoder& encoder = chain_.Encoder();
        encoder.Precode(frame.raw.data(), n, frame.prec.data());
        if (chosen != nullptr && chosen->mask != 0) {
            for (int m = 0; m < chosen->bits; ++m)
                if ((chosen->mask >> m) & 1)
                    frame.prec[static_cast<std::size_t>(start + m)] =
                        static_cast<std::uint8_t>((chosen->pattern >> m) & 1);
            encoder.InversePrecode(frame.prec.data(), n, frame.raw.data());
        }
        encoder.Levels(frame.prec.data(), n, shape.tail, frame.clean.data());
        if (design_.readback)
            design_.readback->Read(frame.prec.data(), n, frame.readbackFirst,
                                   static_cast<int>(frame.readback.size()), source, scratch_,
                                   frame.readback.data());
        const int count = mixture_.noiseCount;
        source.Normals(noise_.data(), count);
        const double sigma = design_.sigma;
        for (int i = 0; i < count; ++i) noise_[i] = sigma * noise_[i];
        if (chosen != nullptr) {
            const int first = start + chosen->shiftFirst;
            for (std::size_t i = 0; i < chosen->shift.size(); ++i)
                noise_[first + static_cast<int>(i)] += chosen->shift[i];
        }
        float* received = frame.received.data();
        if (!design_.readback) {
            for (int i = 0; i < count; ++i)
                received[i] = static_cast<float>(double(frame.clean[i]) + noise_[i]);
        } else {
            float* x = frame.readback.data();
            for (int i = 0; i < count; ++i) x[i] = static_cast<float>(double(x[i]) + noise_[i]);
            channel::Equalize(design_.equalizer, x, frame.readbackFirst, shape.Samples(), received);
        }
        if (const channel::Adc* adc = chain_.Converter())
            adc->Quantize(received, received, shape.Samples());
        return mixture_.components.empty() ? 1.0 : Weight(frame, n);
    }

    // 1 / (a_0 + Sum_j a_j q_j / p) at this trial's data and noise, the sum
    // taken in logarithms.
    double Weight(const Frame& frame, int n) {
        std::fill(words_.begin(), words_.end(), 0);
        for (int k = 0; k < n; ++k)
            words_[static_cast<std::size_t>(k >> 6)] |= std::uint64_t{frame.prec[k]} << (k & 63);
        terms_.clear();
        double top = std::log(mixture_.plainShare > 0 ? mixture_.plainShare : 1e-300);
        terms_.push_back(top);
        for (std::size_t j = 0; j < mixture_.components.size(); ++j) {
            const MixtureComponent& c = mixture_.components[j];
            const std::vector<double>& u = scaled_[j];
            const double base = logShare_[j] - energy_[j];
            for (int k = c.firstStart; k <= c.lastStart; ++k) {
                if (c.mask != 0) {
                    const int w = k >> 6, b = k & 63;
                    std::uint64_t window = words_[static_cast<std::size_t>(w)] >> b;
                    if (b != 0) window |= words_[static_cast<std::size_t>(w) + 1] << (64 - b);
                    if ((window & c.mask) != c.pattern) continue;
                }
                const double* x = noise_.data() + k + c.shiftFirst;
                double dot = 0;
                for (std::size_t i = 0; i < u.size(); ++i) dot += x[i] * u[i];
                const double term = base + dot;
                terms_.push_back(term);
                top = std::max(top, term);
            }
        }
        double sum = 0;
        for (double t : terms_) sum += std::exp(t - top);
        return std::exp(-top) / sum;
    }

    const ChannelDesign& design_;
    TrialShape trial_;
    Chain chain_;
    std::vector<std::unique_ptr<detectors::Detector>> detectors_;
    Mixture mixture_;
    std::uint64_t seed_;
    std::vector<Frame> frames_;
    const float* samples_[kBatch] = {};
    std::vector<std::vector<std::uint8_t>> decided_;
    std::vector<double> noise_;
    std::vector<std::uint64_t> words_;
    std::vector<double> cumulative_, logShare_, energy_, terms_;
    std::vector<std::vector<double>> scaled_;
    channel::ReadScratch scratch_;
};

} // namespace

ImportanceSums RunImportanceChunk(const BerSettings& settings, const ImportanceSettings& importance,
                                  const BerSetup& setup, const ChannelDesign& design, int point,
                                  std::uint64_t chunk, int trials) {
    TrialRunner runner(settings, importance, setup, design);
    return runner.Run(point, chunk, trials);
}

bool EnoughImportance(const BerSettings& settings, const ImportanceSettings& importance,
                      const ImportanceSums& total) {
    if (total.trials * static_cast<std::uint64_t>(total.frame) >= settings.bits) return true;
    if (total.detectors.empty()) return false;
    const double plainBits =
        static_cast<double>(total.plainTrials) * static_cast<double>(total.frame);
    for (std::size_t d = 0; d < total.detectors.size(); ++d) {
        if (total.detectors[d].hits < importance.minHits) return false;
        const Estimate e = total.EstimateOf(d);
        if (e.rse > importance.rse) return false;
        if (plainBits < static_cast<double>(importance.checkBits) &&
            plainBits * e.ber < importance.checkErrors)
            return false;
    }
    return true;
}

bool RunImportancePoint(const BerSettings& settings, const ImportanceSettings& importance,
                        const BerSetup& setup, const ChannelDesign& design, int point,
                        const std::atomic<bool>& stop, ImportanceSums& total,
                        const std::function<void(const ImportanceSums&)>& report) {
    const TrialShape trial = TrialFrame(settings, importance);
    const int frame = trial.counted;
    const std::uint64_t bits = static_cast<std::uint64_t>(frame);
    const std::uint64_t totalTrials = (settings.bits + bits - 1) / bits;
    const std::uint64_t perChunk = static_cast<std::uint64_t>(ChunkFrames(trial.bits));
    const std::uint64_t chunks = (totalTrials + perChunk - 1) / perChunk;

    total = ImportanceSums{};
    total.frame = frame;
    total.detectors.resize(DetectorsOf(setup, design).size());
    return RunChunksInOrder<ImportanceSums>(
        settings.threads, chunks, stop, total,
        [&] { return TrialRunner(settings, importance, setup, design); },
        [&](TrialRunner& runner, std::uint64_t c) {
            const int trials = static_cast<int>(std::min(perChunk, totalTrials - c * perChunk));
            return runner.Run(point, c, trials);
        },
        [&](const ImportanceSums& sum) { return EnoughImportance(settings, importance, sum); },
        report);
}

} // namespace engine
