#include "engine/timing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace engine {
namespace {

constexpr double kPi = 3.141592653589793;
static_assert(channel::kMaxDecisionDelay <= detectors::kMaxEarlyDelay);

// Bit j of the 2T pattern in the write current 1100 1100 ...
std::uint8_t Preamble(int j) {
    return static_cast<std::uint8_t>((j & 2) == 0 ? 1 : 0);
}

double Angle(const float* x, int from, int to) {
    double i = 0, q = 0;
    for (int j = from; j < to; j += 4) {
        i += static_cast<double>(x[j]) - x[j + 2];
        q += static_cast<double>(x[j + 1]) - x[j + 3];
    }
    return std::atan2(-q, i);
}

} // namespace

double TimingDesign::LinearRms() const {
    return std::sqrt(channel::LinearPhaseVariance(gains, loopDelay, detectorNoise));
}

TimingDesign DesignTiming(const channel::TimingSettings& settings, const channel::Target& target,
                          std::shared_ptr<const channel::Readback> readback,
                          const channel::Equalizer& equalizer,
                          const std::vector<double>& detectorNoise) {
    TimingDesign d;
    d.settings = settings;
    d.gains = channel::GainsOf(settings);
    const bool head = readback != nullptr;
    d.sampler = head ? std::make_shared<const channel::Sampler>(readback)
                     : std::make_shared<const channel::Sampler>(target);
    const std::vector<double>& f = target.Coefficients();
    double level = 0;
    for (double c : f) level += 0.5 * c;
    d.centre = static_cast<float>(level);
    d.levels = target.Levels();
    d.trellis = target.GetTrellis();
    d.guard = target.Memory();
    std::vector<double> w = {1.0};
    if (head) {
        w = equalizer.taps;
        d.delay = equalizer.delay;
        double sum = 0;
        for (double t : w) sum += t;
        d.bias = static_cast<float>(level - equalizer.offset * sum);
        std::size_t main = 0;
        for (std::size_t i = 0; i < w.size(); ++i)
            if (std::fabs(w[i]) > std::fabs(w[main])) main = i;
        d.loopDelay = static_cast<int>(main);
    }
    for (double t : w) d.taps.push_back(static_cast<float>(t));
    if (settings.decisions == channel::TedDecisions::kViterbi)
        d.loopDelay += settings.decisionDelay;

    // The detector's mean output at a timing error tau, for independent
    // equiprobable data: with e(t) = Sum_i w_i h(t + delay - i) / 2 the
    // equalized response to a_k = +-1 and f / 2 the levels' (zero-mean),
    // S(tau) = Sum_m f_m / 2 (e(m + 1 + tau) - e(m - 1 + tau)).
    const channel::Sampler& s = *d.sampler;
    auto e = [&](double t) {
        double v = 0;
        for (std::size_t i = 0; i < w.size(); ++i)
            v += w[i] * s.BitResponseAt(t + d.delay - static_cast<double>(i));
        return 0.5 * v;
    };
    auto curve = [&](double tau) {
        double v = 0;
        for (std::size_t m = 0; m < f.size(); ++m) {
            const double at = static_cast<double>(m);
            v += 0.5 * f[m] * (e(at + 1 + tau) - e(at - 1 + tau));
        }
        return v;
    };
    constexpr double kStep = 1e-4;
    d.slope = (curve(kStep) - curve(-kStep)) / (2 * kStep);

    // The zero-phase start over the preamble's middle half, whole periods.
    const int p = settings.preamble;
    d.zpsBegin = 4 * (p / 16);
    d.zpsEnd = d.zpsBegin + 4 * (p / 8);
    {
        std::vector<std::uint8_t> written(static_cast<std::size_t>(p));
        for (int j = 0; j < p; ++j) written[static_cast<std::size_t>(j)] = Preamble(j);
        channel::SamplerFrame frame;
        channel::NoiseSource none(0, 0);
        s.Load(written.data(), p, none, frame, false);
        std::vector<float> x(static_cast<std::size_t>(d.zpsEnd));
        for (int j = 0; j < d.zpsEnd; ++j) {
            const float v = s.At(j, frame);
            x[static_cast<std::size_t>(j)] = v;
        }
        d.referenceAngle = Angle(x.data(), d.zpsBegin, d.zpsEnd);
    }

    // The detector's noise: with z - c = (d - c) + n, n of autocorrelation r
    // and independent of the levels of autocorrelation R(l) = Sum f_m f_{m+l}
    // / 4, u_k = n_k (d_{k-1} - c) - n_{k-1} (d_k - c) has
    // E[u_k u_{k+l}] = 2 r(l) R(l) - r(l - 1) R(l + 1) - r(l + 1) R(l - 1).
    auto r = [&](int l) {
        l = std::abs(l);
        return l < static_cast<int>(detectorNoise.size())
                   ? detectorNoise[static_cast<std::size_t>(l)]
                   : 0.0;
    };
    auto big = [&](int l) {
        l = std::abs(l);
        double v = 0;
        for (std::size_t m = 0; m + static_cast<std::size_t>(l) < f.size(); ++m)
            v += f[m] * f[m + static_cast<std::size_t>(l)];
        return v / 4;
    };
    const int lags = static_cast<int>(detectorNoise.size()) + static_cast<int>(f.size());
    for (int l = 0; l < lags; ++l)
        d.detectorNoise.push_back(
            (2 * r(l) * big(l) - r(l - 1) * big(l + 1) - r(l + 1) * big(l - 1)) /
            (d.slope * d.slope));
    return d;
}

void PrepareFrame(const TimingDesign& d, const std::uint8_t* prec, int bits, int samples,
                  channel::NoiseSource& source, const AddNoiseFn& addNoise, TimingScratch& sc) {
    const channel::TimingSettings& t = d.settings;
    const int start = d.DataStart();
    const int written = start + bits;
    sc.samples = samples;
    sc.written.resize(static_cast<std::size_t>(written));
    for (int j = 0; j < t.preamble; ++j) sc.written[static_cast<std::size_t>(j)] = Preamble(j);
    std::fill(sc.written.begin() + t.preamble, sc.written.begin() + start, 0);
    std::copy(prec, prec + bits, sc.written.begin() + start);
    d.sampler->Load(sc.written.data(), written, source, sc.frame);

    const int taps = static_cast<int>(d.taps.size());
    // Samples j = first ... end - 1: the equalizer's first output reads back
    // to first, its last at the data's end forward to end - 1.
    sc.first = std::min(0, d.delay - taps + 1);
    sc.end = start + samples + d.delay;
    const int count = sc.end - sc.first;
    sc.walk.assign(static_cast<std::size_t>(count), 0.0);
    if (t.walk > 0) source.Normals(sc.walk.data(), count);
    sc.zeros.assign(static_cast<std::size_t>(count), 0.0f);
    sc.noise.resize(static_cast<std::size_t>(count));
    addNoise(sc.zeros.data(), sc.noise.data(), count);
    sc.x.assign(static_cast<std::size_t>(count), 0.0f);
    sc.z.assign(static_cast<std::size_t>(count), 0.0f);
    sc.d.assign(static_cast<std::size_t>(count), 0.0f);
}

namespace {

// Nearest level, ties to the upper: the count of levels below z is
// lower_bound's index, found without a branch on the data.
inline float DecideLevel(const float* levels, int n, float z) {
    int below = 0;
    for (int i = 0; i < n; ++i) below += levels[i] < z ? 1 : 0;
    if (below == n) return levels[n - 1];
    if (below == 0) return levels[0];
    const float lo = levels[below - 1], hi = levels[below];
    return z - lo < hi - z ? lo : hi;
}

// One frame's receiver as its loop runs, sample by sample; frames side by
// side step in turn, so that the processor overlaps their chains of
// dependent operations (each sample's instant waits for the loop's last
// update), and each frame's numbers are those of its loop run alone.
struct Receiver {
    const TimingDesign* d;
    TimingScratch* sc;
    TimingTrack* track;
    float *x, *z, *dec;
    const float* noise;
    const double* walkDraws;
    double theta = 0, nu = 0, walk = 0;
    double drift = 0;
    int first = 0, trackFrom = 0, taps = 0, lag = 0;
    bool viterbi = false;

    void Begin(const TimingDesign& design, TimingScratch& scratch, TimingTrack& out) {
        d = &design;
        sc = &scratch;
        track = &out;
        first = sc->first;
        x = sc->x.data() - first; // x[j], j >= first
        z = sc->z.data() - first;
        dec = sc->d.data() - first;
        noise = sc->noise.data() - first;
        walkDraws = sc->walk.data() - first;
        taps = static_cast<int>(d->taps.size());
        drift = d->settings.freqPpm * 1e-6;
        trackFrom = d->zpsEnd + taps - 1 - d->delay; // every input after the start
        track->trackFrom = trackFrom + d->delay + 1;
        track->truePhase.resize(static_cast<std::size_t>(sc->end));
        track->recovered.resize(static_cast<std::size_t>(sc->end));
        viterbi = d->settings.decisions == channel::TedDecisions::kViterbi;
        lag = viterbi ? d->settings.decisionDelay : 0; // of the decisions behind z
        if (viterbi) {
            if (!sc->early) sc->early.emplace(d->trellis, d->settings.decisionDelay);
            sc->early->Reset();
        }
    }

    // Sample j read at the clock's instant less the recovered phase th, and
    // its track; at the zero-phase start's last sample th becomes the
    // start's estimate. `still`: no jitter terms to add.
    __attribute__((always_inline)) inline void Read(int j, double& th, bool still) {
        const channel::TimingSettings& t = d->settings;
        walk += t.walk * walkDraws[j];
        const double tau = t.phase + drift * j + walk;
        const double at = j + tau - th;
        x[j] = (still ? d->sampler->Unjittered(at, sc->frame) : d->sampler->At(at, sc->frame)) +
               noise[j];
        if (j >= 0) {
            track->truePhase[static_cast<std::size_t>(j)] = static_cast<float>(tau);
            track->recovered[static_cast<std::size_t>(j)] = static_cast<float>(th);
        }
        if (j == d->zpsEnd - 1) {
            double angle = Angle(x, d->zpsBegin, d->zpsEnd) - d->referenceAngle;
            angle = std::remainder(angle, 2 * kPi);
            th = angle * 2 / kPi;
            track->start = th;
        }
    }

    __attribute__((always_inline)) inline void Step(int j) {
        Read(j, theta, false);
        const int k = j - d->delay;
        if (j - taps + 1 < first || k < first) return;
        const float* w = d->taps.data();
        float v = 0;
        for (int i = 0; i < taps; ++i) v += w[i] * x[j - i];
        z[k] = v + d->bias;
        if (!viterbi) {
            dec[k] = DecideLevel(d->levels.data(), static_cast<int>(d->levels.size()), z[k]);
        } else {
            const float level = sc->early->Step(z[k]);
            if (k - lag >= first) dec[k - lag] = level;
        }
        const int m = k - lag; // the sample whose decision is new
        if (m > trackFrom) {
            const float c = d->centre;
            const double u = static_cast<double>(z[m] - c) * (dec[m - 1] - c) -
                             static_cast<double>(z[m - 1] - c) * (dec[m] - c);
            const double err = u / d->slope;
            nu += d->gains.ki * err;
            theta += d->gains.kp * err + nu;
        }
    }

    void Finish(float* received) const {
        const int start = d->DataStart();
        const int samples = sc->samples;
        std::copy(z + start, z + start + samples, received);
        // The timing error over the data's samples, unless the frame slipped.
        const double last = track->truePhase.back() - track->recovered.back();
        track->slips = static_cast<int>(std::fabs(std::round(last)));
        track->squares = 0;
        track->counted = 0;
        if (track->slips == 0) {
            for (int j = start; j < start + samples; ++j) {
                const double e = track->truePhase[static_cast<std::size_t>(j)] -
                                 static_cast<double>(track->recovered[static_cast<std::size_t>(j)]);
                track->squares += e * e;
            }
            track->counted = samples;
        }
    }
};

// The lanes' helpers are only ever inlined into RunLanes' clones, so the
// vector arguments' ABI never shows (-Wno-psabi for this file).
typedef float Floats __attribute__((vector_size(4 * kLoopLanes)));
typedef int Ints __attribute__((vector_size(4 * kLoopLanes)));
typedef double Doubles __attribute__((vector_size(8 * kLoopLanes)));

__attribute__((always_inline)) inline Floats LoadLanes(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
__attribute__((always_inline)) inline void StoreLanes(float* p, Floats v) {
    std::memcpy(p, &v, sizeof v);
}
__attribute__((always_inline)) inline Floats Splat(float a) {
    Floats v;
    for (int i = 0; i < kLoopLanes; ++i) v[i] = a;
    return v;
}

// DecideLevel in every lane: the same comparisons and differences, the
// choice made by selections.
__attribute__((always_inline)) inline Floats DecideLevels(const float* levels, int n, Floats z) {
    Ints below = {};
    for (int i = 0; i < n; ++i) below -= levels[i] < z;
    Floats out = Splat(levels[0]);
    for (int i = 1; i < n; ++i) {
        const float lo = levels[i - 1], hi = levels[i];
        const Floats nearer = z - lo < hi - z ? Splat(lo) : Splat(hi);
        out = below == i ? nearer : out;
    }
    return below == n ? Splat(levels[n - 1]) : out;
}

// kLoopLanes frames' loops with slicer decisions and no jitter, a lane each:
// the instants are read frame by frame (each frame's own sampler frame), everything after
// them in lanes. The numbers are each loop's alone.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
RunLanes(const TimingDesign& d, TimingScratch* const* scratch, float* const* received,
         TimingTrack* const* tracks) {
    constexpr int N = kLoopLanes;
    Receiver r[N];
    for (int f = 0; f < N; ++f) r[f].Begin(d, *scratch[f], *tracks[f]);
    TimingScratch& lanes = *scratch[0];
    const int first = lanes.first, end = lanes.end, taps = r[0].taps;
    const std::size_t size = static_cast<std::size_t>(end - first) * N;
    lanes.laneX.resize(size);
    lanes.laneZ.assign(size, 0.0f);
    lanes.laneD.assign(size, 0.0f);
    float* const xl = lanes.laneX.data() - static_cast<std::ptrdiff_t>(first) * N;
    float* const zl = lanes.laneZ.data() - static_cast<std::ptrdiff_t>(first) * N;
    float* const dl = lanes.laneD.data() - static_cast<std::ptrdiff_t>(first) * N;
    const float* const w = d.taps.data();
    const int levels = static_cast<int>(d.levels.size());
    const float c = d.centre;
    Doubles theta, nu;
    for (int f = 0; f < N; ++f) theta[f] = 0, nu[f] = 0;
    for (int j = first; j < end; ++j) {
        float* const xj = xl + static_cast<std::ptrdiff_t>(j) * N;
        for (int f = 0; f < N; ++f) {
            double th = theta[f];
            r[f].Read(j, th, true);
            theta[f] = th;
            xj[f] = r[f].x[j];
        }
        const int k = j - d.delay;
        if (j - taps + 1 < first || k < first) continue;
        Floats v = {};
        for (int i = 0; i < taps; ++i)
            v += w[i] * LoadLanes(xj - static_cast<std::ptrdiff_t>(i) * N);
        const Floats z = v + d.bias;
        const Floats dec = DecideLevels(d.levels.data(), levels, z);
        float* const zk = zl + static_cast<std::ptrdiff_t>(k) * N;
        float* const dk = dl + static_cast<std::ptrdiff_t>(k) * N;
        StoreLanes(zk, z);
        StoreLanes(dk, dec);
        if (k > r[0].trackFrom) {
            const Floats zb = LoadLanes(zk - N), db = LoadLanes(dk - N);
            const Doubles u =
                __builtin_convertvector(z - c, Doubles) * __builtin_convertvector(db - c, Doubles) -
                __builtin_convertvector(zb - c, Doubles) *
                    __builtin_convertvector(dec - c, Doubles);
            const Doubles err = u / d.slope;
            nu += d.gains.ki * err;
            theta += d.gains.kp * err + nu;
        }
    }
    for (int f = 0; f < N; ++f) {
        for (int k = first; k < end; ++k) {
            r[f].z[k] = zl[static_cast<std::ptrdiff_t>(k) * N + f];
            r[f].dec[k] = dl[static_cast<std::ptrdiff_t>(k) * N + f];
        }
        r[f].theta = theta[f];
        r[f].nu = nu[f];
        r[f].Finish(received[f]);
    }
}

bool Jittered(TimingScratch* const* scratch, int count) {
    for (int f = 0; f < count; ++f)
        if (scratch[f]->frame.transitions > 0) return true;
    return false;
}

} // namespace

void RunLoops(const TimingDesign& d, int count, TimingScratch* const* scratch,
              float* const* received, TimingTrack* const* tracks) {
    // In lanes with slicer decisions and no jitter: with jitter each instant's
    // reads from its frame's expansion dominate, and eight frames' working
    // sets at once ran slower than two.
    const bool slicer = d.settings.decisions != channel::TedDecisions::kViterbi;
    for (; slicer && count >= kLoopLanes && !Jittered(scratch, kLoopLanes); count -= kLoopLanes) {
        RunLanes(d, scratch, received, tracks);
        scratch += kLoopLanes;
        received += kLoopLanes;
        tracks += kLoopLanes;
    }
    for (int from = 0; from < count; from += kSideBySide) {
        const int n = std::min(kSideBySide, count - from);
        Receiver r[kSideBySide];
        for (int i = 0; i < n; ++i) r[i].Begin(d, *scratch[from + i], *tracks[from + i]);
        const int first = scratch[from]->first, end = scratch[from]->end;
        if (n == 2) {
            for (int j = first; j < end; ++j) {
                r[0].Step(j);
                r[1].Step(j);
            }
        } else {
            for (int i = 0; i < n; ++i)
                for (int j = first; j < end; ++j) r[i].Step(j);
        }
        for (int i = 0; i < n; ++i) r[i].Finish(received[from + i]);
    }
}

void ReceiveFrame(const TimingDesign& d, const std::uint8_t* prec, int bits, int samples,
                  channel::NoiseSource& source, const AddNoiseFn& addNoise, TimingScratch& sc,
                  float* received, TimingTrack& track) {
    PrepareFrame(d, prec, bits, samples, source, addNoise, sc);
    TimingScratch* scratch[] = {&sc};
    float* out[] = {received};
    TimingTrack* tracks[] = {&track};
    RunLoops(d, 1, scratch, out, tracks);
}

int LockTime(const TimingTrack& track, int from, double tolerance) {
    const int n = static_cast<int>(track.truePhase.size());
    int last = n; // the first sample of the run within tolerance that reaches the end
    for (int j = n - 1; j >= from; --j) {
        const double e = track.truePhase[static_cast<std::size_t>(j)] -
                         static_cast<double>(track.recovered[static_cast<std::size_t>(j)]);
        if (std::fabs(e) > tolerance) break;
        last = j;
    }
    return last == n ? -1 : last - from;
}

} // namespace engine
