#include "channel/bounds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace channel {

double SnrDb(double energy, double sigma) {
    return 10.0 * std::log10(energy / (sigma * sigma));
}

double SigmaOfSnr(double energy, double db) {
    return std::sqrt(energy / std::pow(10.0, db / 10.0));
}

double QFunction(double x) {
    return 0.5 * std::erfc(x / std::sqrt(2.0));
}

double SlicerBer(const Target& target, double sigma) {
    if (!(sigma > 0)) return 0.0;
    // How often each level occurs: precoded random data are independent fair
    // bits, so every window of nu + 1 bits is equally likely.
    const Trellis& t = target.GetTrellis();
    const std::vector<float>& levels = target.Levels();
    const std::size_t count = levels.size();
    std::vector<double> weight(count, 0.0);
    const double share = 1.0 / static_cast<double>(t.level.size());
    for (float v : t.level) {
        const auto at = std::lower_bound(levels.begin(), levels.end(), v) - levels.begin();
        weight[static_cast<std::size_t>(at)] += share;
    }
    // P(level l is sliced to level j): the slicer's interval of j is bounded
    // by the midpoints to its neighbours; the edge levels own everything
    // beyond them.
    const double inf = std::numeric_limits<double>::infinity();
    auto edge = [&](std::size_t j) { // lower edge of level j's interval
        return j == 0 ? -inf : 0.5 * (double(levels[j - 1]) + double(levels[j]));
    };
    auto parity = [&](std::size_t j) { return static_cast<long long>(levels[j]) & 1; };
    double ber = 0.0;
    for (std::size_t l = 0; l < count; ++l) {
        double wrong = 0.0;
        for (std::size_t j = 0; j < count; ++j) {
            if (parity(j) == parity(l)) continue;
            const double below = j == 0 ? 1.0 : QFunction((edge(j) - levels[l]) / sigma);
            const double above =
                j + 1 == count ? 0.0 : QFunction((edge(j + 1) - levels[l]) / sigma);
            wrong += below - above;
        }
        ber += weight[l] * wrong;
    }
    return ber;
}

// Per raw bit: an event e starts at a given bit only where the data allow
// it, that is where the true precoder bits are 1 under every +1 of e and 0
// under every -1, which random data do with probability 2^-w (w = the nonzero
// entries of e); e and -e together 2 * 2^-w. The detector then prefers the
// wrong path with at most the probability that the noise carries the samples
// past half the distance between the two ideal sequences, Q(sqrt(d2) / (2
// sigma)), and costs rawBitErrors raw bits. Summing over all start positions
// and events bounds the expected raw-bit errors per bit.
double UnionBound(const std::vector<ErrorEvent>& events, double sigma) {
    if (!(sigma > 0)) return 0.0;
    double sum = 0.0;
    for (const auto& ev : events) {
        int w = 0;
        for (auto x : ev.e) w += x != 0 ? 1 : 0;
        sum += 2.0 * std::ldexp(1.0, -w) * ev.rawBitErrors *
               QFunction(std::sqrt(ev.d2) / (2.0 * sigma));
    }
    return sum;
}

} // namespace channel

namespace channel {

double UnionBound(const std::vector<ErrorEvent>& events, const Target& target,
                  const std::vector<double>& r) {
    if (r.empty() || !(r[0] > 0)) return 0.0;
    const std::vector<double>& f = target.Coefficients();
    auto at = [&r](std::size_t l) { return l < r.size() ? r[l] : 0.0; };
    double sum = 0.0;
    std::vector<double> eps;
    for (const auto& ev : events) {
        eps.assign(ev.e.size() + f.size() - 1, 0.0);
        int w = 0;
        for (std::size_t i = 0; i < ev.e.size(); ++i) {
            w += ev.e[i] != 0 ? 1 : 0;
            for (std::size_t m = 0; m < f.size(); ++m) eps[i + m] += f[m] * ev.e[i];
        }
        double d2 = 0, v = 0;
        for (std::size_t i = 0; i < eps.size(); ++i) {
            d2 += eps[i] * eps[i];
            for (std::size_t j = 0; j < eps.size(); ++j)
                v += eps[i] * eps[j] * at(i > j ? i - j : j - i);
        }
        if (!(v > 0)) continue;
        sum += 2.0 * std::ldexp(1.0, -w) * ev.rawBitErrors * QFunction(d2 / (2.0 * std::sqrt(v)));
    }
    return sum;
}

} // namespace channel
