#pragma once
// A partial-response target as a value, and everything the lab derives from
// it: the trellis, the energy SNR is quoted against, the levels a slicer
// chooses from, the parity precoder and the smallest error-event distance.
//
// Precoder bits p_k enter the target f_0 ... f_nu; the ideal sample is
//     y_k = f_0 p_k + f_1 p_{k-1} + ... + f_nu p_{k-nu},
// every bit before the frame 0. For an integer target whose f mod 2 has a
// constant term, the precoder 1 / (f mod 2) over GF(2) makes the parity of a
// noise-free sample its raw bit: y_k mod 2 = (f mod 2)(p)_k = r_k.
#include <cstdint>
#include <string>
#include <vector>

namespace channel {

inline constexpr int kMinMemory = 1;
inline constexpr int kMaxMemory = 6;
inline constexpr int kMaxStates = 1 << kMaxMemory;
// Coefficients beyond this size are refused: the path metrics stay finite
// for any sample a float holds that is not itself absurd.
inline constexpr double kMaxCoefficient = 1000;

// The trellis of a target of memory nu: 2^nu states, a state being the last
// nu precoder bits, the newest in bit nu-1 and the oldest in bit 0. From state
// s the new bit b leads to (s >> 1) | (b << (nu-1)), so state t has the two
// predecessors 2 (t mod 2^(nu-1)) + j, j being the bit it dropped. A branch is
// the window (b << nu) | s of nu + 1 bits, bit nu - m holding p_{k-m}.
struct Trellis {
    int memory = 0;
    int states = 0;
    // level[w]: the ideal sample of window w, summed in double in the order
    // m = 0 ... nu and rounded to float once (exact for integer targets).
    std::vector<float> level;

    int Next(int s, int b) const { return (s >> 1) | (b << (memory - 1)); }
    int Predecessor(int t, int j) const { return ((t & (states / 2 - 1)) << 1) | j; }
    float Output(int s, int b) const { return level[static_cast<std::size_t>((b << memory) | s)]; }
};

// A user's text as a one-line message shows it: in single quotes, control
// bytes (line breaks among them) as '?', and cut after 200 bytes.
std::string Quoted(const std::string& text);

class Target {
  public:
    // The window's own target, E3PR4.
    Target();
    // Coefficients f_0 ... f_nu as Parse accepts them; `name` is how the lab
    // shows the target (empty: the coefficient list).
    explicit Target(std::vector<double> coefficients, std::string name = {});

    // A named target (pr4, epr4, e2pr4, e3pr4, in any case) or a list
    // "1,2,1"; an empty string, or one line saying what is wrong.
    static std::string Parse(const std::string& text, Target& target);
    // The named targets with their coefficients, for --help: "pr4 1,0,-1", ...
    static std::vector<std::string> NamedList();

    const std::string& Name() const { return name_; }
    const std::vector<double>& Coefficients() const { return f_; }
    std::string CoefficientText() const; // "1,3,2,-2,-3,-1"
    int Memory() const { return static_cast<int>(f_.size()) - 1; }
    int States() const { return 1 << Memory(); }
    bool IsInteger() const { return integer_; }
    // The sum of f_m^2: the energy of one bit's response on the ideal channel.
    double Energy() const { return energy_; }

    // The parity precoder exists for integer targets with f_0 odd. Its taps:
    // bit m-1 set when f_m is odd, m = 1 ... nu; p_k = r_k xor the parity of
    // the taps over p_{k-1} ... p_{k-nu} (history bit m-1 = p_{k-m}), and the
    // inverse is the same sum taken the other way.
    bool HasPrecoder() const { return precoder_; }
    std::uint32_t PrecoderTaps() const { return taps_; }
    // The slicer needs the precoder: only then is a level's parity its bit.
    bool HasSlicer() const { return precoder_ && !nrzi_; }
    // The same target written without its precoder: the raw bits go to the
    // channel as they are (coded runs, whose decoder wants the code's bits
    // unmixed).
    Target WithoutPrecoder() const {
        Target t = *this;
        t.precoder_ = false;
        t.taps_ = 0;
        t.nrzi_ = false;
        return t;
    }

    // The same target behind the NRZI precoder 1 / (1 xor D) that constraint
    // codes are written with (channel/constraint.h): p_k = c_k xor p_{k-1}.
    // A level's parity is then no coded bit, so there is no slicer.
    Target WithNrzi() const {
        Target t = *this;
        t.precoder_ = true;
        t.taps_ = 1;
        t.nrzi_ = true;
        return t;
    }
    bool IsNrzi() const { return nrzi_; }

    // The distinct ideal samples, ascending (as the trellis holds them).
    const std::vector<float>& Levels() const { return levels_; }
    // True when the levels are every whole number from the lowest to the highest.
    bool LevelsAreConsecutive() const { return consecutive_; }
    const Trellis& GetTrellis() const { return trellis_; }
    // The smallest squared distance between two paths that part and meet
    // again, over events of at most kMinDistanceMaxLen bits.
    double D2Min() const { return d2min_; }

  private:
    std::string name_;
    std::vector<double> f_;
    bool integer_ = false;
    double energy_ = 0;
    bool precoder_ = false;
    std::uint32_t taps_ = 0;
    bool nrzi_ = false;
    std::vector<float> levels_;
    bool consecutive_ = false;
    Trellis trellis_;
    double d2min_ = 0;
};

} // namespace channel
