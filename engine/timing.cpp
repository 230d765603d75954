#include "engine/timing.h"

#include <algorithm>
#include <cmath>

namespace engine {
namespace {

constexpr double kPi = 3.141592653589793;

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

float Decide(const std::vector<float>& levels, float z) {
    const auto it = std::lower_bound(levels.begin(), levels.end(), z);
    if (it == levels.end()) return levels.back();
    if (it == levels.begin()) return *it;
    return z - *(it - 1) < *it - z ? *(it - 1) : *it;
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

void ReceiveFrame(const TimingDesign& d, const std::uint8_t* prec, int bits, int samples,
                  channel::NoiseSource& source, const AddNoiseFn& addNoise, TimingScratch& sc,
                  float* received, TimingTrack& track) {
    const channel::TimingSettings& t = d.settings;
    const int start = d.DataStart();
    const int written = start + bits;
    sc.written.resize(static_cast<std::size_t>(written));
    for (int j = 0; j < t.preamble; ++j) sc.written[static_cast<std::size_t>(j)] = Preamble(j);
    std::fill(sc.written.begin() + t.preamble, sc.written.begin() + start, 0);
    std::copy(prec, prec + bits, sc.written.begin() + start);
    d.sampler->Load(sc.written.data(), written, source, sc.frame);

    const int taps = static_cast<int>(d.taps.size());
    // Samples j = first ... end - 1: the equalizer's first output reads back
    // to first, its last at the data's end forward to end - 1.
    const int first = std::min(0, d.delay - taps + 1);
    const int end = start + samples + d.delay;
    const int count = end - first;
    sc.walk.assign(static_cast<std::size_t>(count), 0.0);
    if (t.walk > 0) source.Normals(sc.walk.data(), count);
    sc.zeros.assign(static_cast<std::size_t>(count), 0.0f);
    sc.noise.resize(static_cast<std::size_t>(count));
    addNoise(sc.zeros.data(), sc.noise.data(), count);
    sc.x.assign(static_cast<std::size_t>(count), 0.0f);
    sc.z.assign(static_cast<std::size_t>(count), 0.0f);
    sc.d.assign(static_cast<std::size_t>(count), 0.0f);
    track.truePhase.resize(static_cast<std::size_t>(end));
    track.recovered.resize(static_cast<std::size_t>(end));

    const double drift = t.freqPpm * 1e-6;
    const int trackFrom = d.zpsEnd + taps - 1 - d.delay; // every input after the start
    track.trackFrom = trackFrom + d.delay + 1;
    double theta = 0, nu = 0, walk = 0, tau = 0;
    const float c = d.centre;
    float* x = sc.x.data() - first; // x[j], j >= first
    float* z = sc.z.data() - first;
    float* dec = sc.d.data() - first;
    for (int j = first; j < end; ++j) {
        walk += t.walk * sc.walk[static_cast<std::size_t>(j - first)];
        tau = t.phase + drift * j + walk;
        x[j] = d.sampler->At(j + tau - theta, sc.frame) +
               sc.noise[static_cast<std::size_t>(j - first)];
        if (j >= 0) {
            track.truePhase[static_cast<std::size_t>(j)] = static_cast<float>(tau);
            track.recovered[static_cast<std::size_t>(j)] = static_cast<float>(theta);
        }
        if (j == d.zpsEnd - 1) {
            double angle = Angle(x, d.zpsBegin, d.zpsEnd) - d.referenceAngle;
            angle = std::remainder(angle, 2 * kPi);
            theta = angle * 2 / kPi;
            track.start = theta;
        }
        const int k = j - d.delay;
        if (j - taps + 1 < first || k < first) continue;
        float v = 0;
        for (int i = 0; i < taps; ++i) v += d.taps[static_cast<std::size_t>(i)] * x[j - i];
        z[k] = v + d.bias;
        dec[k] = Decide(d.levels, z[k]);
        if (k > trackFrom) {
            const double u = static_cast<double>(z[k] - c) * (dec[k - 1] - c) -
                             static_cast<double>(z[k - 1] - c) * (dec[k] - c);
            const double err = u / d.slope;
            nu += d.gains.ki * err;
            theta += d.gains.kp * err + nu;
        }
    }
    std::copy(z + start, z + start + samples, received);
    // The timing error over the data's samples, unless the frame slipped.
    const double last = track.truePhase.back() - track.recovered.back();
    track.slips = static_cast<int>(std::fabs(std::round(last)));
    track.squares = 0;
    track.counted = 0;
    if (track.slips == 0) {
        for (int j = start; j < start + samples; ++j) {
            const double e = track.truePhase[static_cast<std::size_t>(j)] -
                             static_cast<double>(track.recovered[static_cast<std::size_t>(j)]);
            track.squares += e * e;
        }
        track.counted = samples;
    }
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
