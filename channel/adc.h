#pragma once
// The read channel's analog-to-digital converter: B bits, uniform over the
// level range of an integer target, with clamping.
//
// The target's levels run from lo to hi (whole numbers, R = hi - lo). The
// converter puts m = floor((2^B - 1) / R) codes on every level step, so that
// every level lies on a code: code c stands for the value lo + c / m, c = 0
// ... mR (code 0 the lowest level, code mR the highest; the 2^B - 1 - mR
// codes left over are never used). A sample y becomes
//     c = floor((y - lo) m + 1/2), clamped to 0 ... mR,
// the nearest code, a sample halfway between two codes going to the upper
// one; a NaN becomes code 0. Evaluated as floor(y m + (1/2 - lo m)) in
// double, which is exact for every float y: the product y m is exact, 0 is a
// level so that |lo m| <= mR < 2^10, and y m is either a half-integer or
// farther from one than the sum's rounding can move it.
//
// Because the levels sit on codes, the squared distance of a code c from a
// branch's level l in code units, (c - m (l - lo))^2, is a whole number: the
// integer detector (detectors/viterbi_int.h) works on codes alone.
#include <cstdint>
#include <string>
#include <vector>

#include "channel/target.h"

namespace channel {

inline constexpr int kMinAdcBits = 4;
inline constexpr int kMaxAdcBits = 10;

class Adc {
  public:
    // Why a converter of `bits` bits cannot serve `target`, or an empty
    // string: the target must be integer and its level range R at most 2^B - 1.
    static std::string WhyNot(const Target& target, int bits);

    // WhyNot(target, bits) must be empty.
    Adc(const Target& target, int bits);

    int Bits() const { return bits_; }
    int PerLevel() const { return m_; }  // m, codes per level step
    int TopCode() const { return top_; } // m R, the highest code used
    int Lowest() const { return lo_; }   // the level of code 0

    // The code of a sample, by the rule above.
    int Code(float y) const;
    // lo + code / m as code times 1/m plus lo in double, rounded to float
    // once: a level's own value exactly, any other well within half a code
    // step of the exact value, so that Code(Value(c)) == c (checked for
    // every code).
    float Value(int code) const { return value_[static_cast<std::size_t>(code)]; }

    // codes[k] = Code(y[k]) << shift, k = 0 ... n-1 (TopCode() << shift below
    // 2^16: a detector may want its table's row offsets rather than the codes).
    void ToCodes(const float* y, std::uint16_t* codes, int n, int shift = 0) const;
    // out[k] = Value(Code(y[k])): what the converter hands on. `out` may be `y`.
    void Quantize(const float* y, float* out, int n) const;

    // One line for the lab's output: the bits, the codes used and the range.
    std::string Describe() const;

  private:
    int bits_ = 0;
    int m_ = 1;
    int lo_ = 0;
    int top_ = 0;
    double offset_ = 0.5; // 1/2 - lo m
    double step_ = 1;     // 1/m
    std::vector<float> value_;
};

} // namespace channel
