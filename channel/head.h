#pragma once
// A read head and the receiver's front end, in bit periods (T = 1).
//
// The head's response to one magnetic transition has a width W = PW50 / T,
// the user density:
//   Lorentzian (longitudinal)   g(t) = 1 / (1 + (2t/W)^2)
//   erf (perpendicular)         g(t) = erf(2 sqrt(ln 2) t / W), whose
//                               derivative is W wide at half height
// The front end is an ideal low-pass at the Nyquist frequency 1/2; its
// output g_LP is sampled at every integer t. The bit response is
// h(t) = g(t) - g(t - 1): what one precoder bit of 1 adds to the readback
// Sum_k b_k g(t - k), b_k = p_k - p_{k-1} the transitions.
#include <vector>

namespace channel {

enum class HeadKind { kLorentz, kErf };

inline constexpr double kMinDensity = 0.5;
inline constexpr double kMaxDensity = 5;

class Head {
  public:
    Head(HeadKind kind, double density);

    HeadKind kind() const { return kind_; }
    double density() const { return w_; }

    // g(t), before the low-pass.
    double Transition(double t) const;
    // g_LP(t), after it. The Lorentzian's has a closed form,
    //   g_LP(t) = pi W [a - e^(-a/2) (a cos(pi t) - 2 pi t sin(pi t))] / (a^2 + 4 pi^2 t^2),
    // a = pi W; the erf head's is the integral of its spectrum over |f| < 1/2,
    //   g_LP(t) = 2 Int_0^1/2 G'(f) sin(2 pi f t) / (2 pi f) df,  G'(f) = 2 exp(-(pi f / k)^2),
    // k = 2 sqrt(ln 2) / W, by Gauss-Legendre quadrature exact to about 1e-12
    // for |t| up to kMaxGridT.
    double LowPassTransition(double t) const;
    // g_LP(phase + n) for n = from ... to into out[n - from], |phase + n| <=
    // kMaxGridT: the grids the readback and the equalizer need, far faster
    // than one point at a time (the erf head's sines by rotation, with fewer
    // nodes when the grid stays within kNearT).
    void LowPassTransitionOnGrid(double phase, int from, int to, double* out) const;
    inline static constexpr double kMaxGridT = 200;
    inline static constexpr double kNearT = 48;

    // E_i = Int h(t)^2 dt over all t (before the low-pass), the energy SNR is
    // quoted against: pi W / (2 (1 + W^2)) for the Lorentzian, by quadrature of
    // |H(f)|^2 = |G'(f)|^2 sin^2(pi f) / (pi f)^2 for the erf head.
    double BitEnergy() const { return energy_; }

    // Bits on either side of a transition beyond which its low-passed bit
    // response is left out: at most about 1e-5 of the peak.
    int Span() const { return span_; }

  private:
    HeadKind kind_;
    double w_;
    double energy_ = 0;
    int span_ = 0;
    // erf: g_LP(t) = Sum_i c_i sin(2 pi f_i t), one set of nodes for |t| <=
    // kNearT and one for |t| <= kMaxGridT.
    struct Nodes {
        std::vector<double> f, c;
    };
    Nodes near_, far_;
};

} // namespace channel
