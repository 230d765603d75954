#include "channel/clock.h"

#include <algorithm>
#include <cmath>

namespace channel {

LoopGains GainsOf(const TimingSettings& s) {
    LoopGains g;
    if (s.order == 1) {
        g.kp = 4 * s.bandwidth / (1 + 2 * s.bandwidth);
        return g;
    }
    const double zeta = s.damping;
    const double theta = s.bandwidth / (zeta + 1 / (4 * zeta));
    const double d = 1 + 2 * zeta * theta + theta * theta;
    g.kp = 4 * zeta * theta / d;
    g.ki = 4 * theta * theta / d;
    return g;
}

std::vector<double> LoopImpulse(const LoopGains& gains, int delay, int steps) {
    // theta_{k+1+delay} = theta_{k+delay} + kp e_k + nu_k, e_k = x_k - theta_k,
    // x the detector's input noise: a unit at step 0.
    std::vector<double> theta(static_cast<std::size_t>(steps + delay + 2), 0.0);
    double nu = 0;
    for (int k = 0; k < steps; ++k) {
        const double e = (k == 0 ? 1.0 : 0.0) - theta[static_cast<std::size_t>(k)];
        nu += gains.ki * e;
        theta[static_cast<std::size_t>(k + 1 + delay)] =
            theta[static_cast<std::size_t>(k + delay)] + gains.kp * e + nu;
    }
    theta.resize(static_cast<std::size_t>(steps));
    return theta;
}

double LinearPhaseVariance(const LoopGains& gains, int delay, const std::vector<double>& r) {
    // Long enough for the response to die away: many times the loop's time
    // constant.
    const double slowest = std::max(gains.kp, std::sqrt(std::max(gains.ki, 0.0)));
    const int steps = static_cast<int>(std::min(4e6, 60 / std::max(slowest, 1e-7))) + 64;
    const std::vector<double> h = LoopImpulse(gains, delay, steps);
    double variance = 0;
    for (std::size_t l = 0; l < r.size(); ++l) {
        double sum = 0;
        for (std::size_t m = 0; m + l < h.size(); ++m) sum += h[m] * h[m + l];
        variance += (l == 0 ? 1 : 2) * r[l] * sum;
    }
    return variance;
}

} // namespace channel
