#pragma once
// A read head and the receiver's front end, in bit periods (T = 1).
//
// The head's response to one magnetic transition has a width W = PW50 / T,
// the user density; the heads the lab knows are the rows of a table
// (Heads()), each with its response, its energy and its low-pass:
//   Lorentzian (longitudinal)   g(t) = 1 / (1 + (2t/W)^2)
//   erf (perpendicular)         g(t) = erf(2 sqrt(ln 2) t / W), whose
//                               derivative is W wide at half height
// The front end is an ideal low-pass at the Nyquist frequency 1/2; its
// output g_LP is sampled at every integer t. The bit response is
// h(t) = g(t) - g(t - 1): what one precoder bit of 1 adds to the readback
// Sum_k b_k g(t - k), b_k = p_k - p_{k-1} the transitions. A new head is its
// own response (a HeadResponse) and one row of the table.
#include <memory>
#include <string>
#include <vector>

namespace channel {

enum class HeadKind { kLorentz, kErf };

inline constexpr double kMinDensity = 0.5;
inline constexpr double kMaxDensity = 5;

// What a head computes at one density.
class HeadResponse {
  public:
    virtual ~HeadResponse() = default;
    // g(t), before the low-pass.
    virtual double Transition(double t) const = 0;
    // g_LP(phase + n) for n = from ... to into out[n - from], |phase + n| <=
    // Head::kMaxGridT.
    virtual void LowPassGrid(double phase, int from, int to, double* out) const = 0;
    // E_i = Int h(t)^2 dt over all t, before the low-pass.
    virtual double BitEnergy() const = 0;
};

struct HeadRow {
    HeadKind kind;
    const char* name;  // on the command line and in Python: "lorentz"
    const char* title; // in the window: "Lorentzian head"
    const char* help;  // one line for --help
    std::unique_ptr<const HeadResponse> (*make)(double density);
};
// Every head, in the order the lab shows them.
const std::vector<HeadRow>& Heads();
const HeadRow& HeadOf(HeadKind kind);
// The head of a name, or null: an unknown name is never another head.
const HeadRow* FindHead(const std::string& name);
// Their names as a choice: "lorentz or erf".
std::string HeadNames();

class Head {
  public:
    Head(HeadKind kind, double density);

    HeadKind kind() const { return kind_; }
    const char* Name() const { return HeadOf(kind_).name; }
    double density() const { return w_; }

    // g(t), before the low-pass.
    double Transition(double t) const { return response_->Transition(t); }
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
    void LowPassTransitionOnGrid(double phase, int from, int to, double* out) const {
        response_->LowPassGrid(phase, from, to, out);
    }
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
    std::shared_ptr<const HeadResponse> response_;
    double energy_ = 0;
    int span_ = 0;
};

// The responses of the table's heads (channel/head_lorentz.cpp, head_erf.cpp).
std::unique_ptr<const HeadResponse> MakeLorentzHead(double density);
std::unique_ptr<const HeadResponse> MakeErfHead(double density);

} // namespace channel
