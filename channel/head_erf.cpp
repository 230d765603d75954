// The erf head (perpendicular recording): g(t) = erf(2 sqrt(ln 2) t / W),
// its low-passed response and energy by quadrature of its spectrum.
#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>
#include <vector>

#include "channel/head.h"
#include "channel/quadrature.h"

namespace channel {
namespace {

constexpr double kPi = 3.141592653589793;
const double kLn2 = std::log(2.0);

// The transition spectrum: G'(f), the Fourier transform of g'.
double ErfSlope(double w, double f) {
    const double k = 2 * std::sqrt(kLn2) / w;
    const double x = kPi * f / k;
    return 2 * std::exp(-x * x);
}

class Erf final : public HeadResponse {
  public:
    explicit Erf(double w) : w_(w) {
        // g_LP(t) = Sum_i c_i sin(2 pi f_i t): panels narrow enough that
        // sin(2 pi f t) turns at most half a period in one for |t| up to the
        // reach.
        for (auto [nodes, reach] :
             {std::pair{&near_, Head::kNearT}, std::pair{&far_, Head::kMaxGridT}}) {
            std::vector<double> weights;
            GaussLegendrePanels(0, 0.5, static_cast<int>(std::ceil(reach)) + 2, nodes->f, weights);
            for (std::size_t i = 0; i < nodes->f.size(); ++i)
                nodes->c.push_back(2 * weights[i] * ErfSlope(w_, nodes->f[i]) /
                                   (2 * kPi * nodes->f[i]));
        }
        // E_i = 2 Int_0^inf |G'(f)|^2 sin^2(pi f) / (pi f)^2 df; the Gaussian
        // has fallen below 1e-30 of its peak by 9 k / pi.
        const double k = 2 * std::sqrt(kLn2) / w_;
        std::vector<double> nodes, ew;
        const double end = 9 * k / kPi;
        GaussLegendrePanels(0, end, static_cast<int>(std::ceil(end)) * 2 + 8, nodes, ew);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const double f = nodes[i];
            const double s = std::sin(kPi * f) / (kPi * f);
            const double g = ErfSlope(w_, f);
            energy_ += 2 * ew[i] * g * g * s * s;
        }
    }

    double Transition(double t) const override { return std::erf(2 * std::sqrt(kLn2) * t / w_); }

    void LowPassGrid(double phase, int from, int to, double* out) const override {
        // Each node's sine along the grid by rotation: sin(2 pi f (phase + n))
        // is the imaginary part of e^(2 pi i f phase) e^(2 pi i f n), the second
        // factor a fixed step from one n to the next. Restarted from the exact
        // value every 64 steps, so rounding cannot build up.
        std::fill(out, out + (to - from + 1), 0.0);
        const double reach = std::max(std::fabs(phase + from), std::fabs(phase + to));
        const Nodes& nodes = reach <= Head::kNearT ? near_ : far_;
        for (std::size_t i = 0; i < nodes.f.size(); ++i) {
            const double omega = 2 * kPi * nodes.f[i];
            const std::complex<double> step = std::polar(1.0, omega);
            std::complex<double> z;
            for (int n = from; n <= to; ++n) {
                if ((n - from) % 64 == 0) z = std::polar(1.0, omega * (phase + n));
                out[n - from] += nodes.c[i] * z.imag();
                z *= step;
            }
        }
    }

    double BitEnergy() const override { return energy_; }

  private:
    double w_;
    double energy_ = 0;
    // One set of nodes for |t| <= kNearT and one for |t| <= kMaxGridT.
    struct Nodes {
        std::vector<double> f, c;
    };
    Nodes near_, far_;
};

} // namespace

std::unique_ptr<const HeadResponse> MakeErfHead(double density) {
    return std::make_unique<Erf>(density);
}

} // namespace channel
