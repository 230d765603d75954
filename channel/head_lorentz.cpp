// The Lorentzian head (longitudinal recording): g(t) = 1 / (1 + (2t/W)^2),
// its low-passed response in closed form.
#include <cmath>

#include "channel/head.h"

namespace channel {
namespace {

constexpr double kPi = 3.141592653589793;

class Lorentz final : public HeadResponse {
  public:
    explicit Lorentz(double w) : w_(w) {}

    double Transition(double t) const override {
        const double x = 2 * t / w_;
        return 1 / (1 + x * x);
    }

    void LowPassGrid(double phase, int from, int to, double* out) const override {
        const double a = kPi * w_;
        const double decay = std::exp(-a / 2);
        for (int n = from; n <= to; ++n) {
            const double t = phase + n;
            out[n - from] =
                kPi * w_ * (a - decay * (a * std::cos(kPi * t) - 2 * kPi * t * std::sin(kPi * t))) /
                (a * a + 4 * kPi * kPi * t * t);
        }
    }

    double BitEnergy() const override { return kPi * w_ / (2 * (1 + w_ * w_)); }

  private:
    double w_;
};

} // namespace

std::unique_ptr<const HeadResponse> MakeLorentzHead(double density) {
    return std::make_unique<Lorentz>(density);
}

} // namespace channel
