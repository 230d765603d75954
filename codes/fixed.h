#pragma once
// The min-sum decoders in the arithmetic of the fast ones: float, or
// saturating 16- or 8-bit integers. This file's plain scalar decoder is the
// oracle the SIMD decoders of codes/frames.h equal bit for bit.
//
// The integer arithmetic, with hi = 127 (8 bits) or 32767 (16 bits), scale =
// 2^fractionBits and c = hi / (1 + w) for a code whose largest column weight
// is w (31 and 8191 for column weight 3):
//   input      q = clamp(round(x * scale), -c, c), x = CleanRatio(ratio),
//              rounding half to even;
//   Q          Q_e = sat(L_v - R_e), sat() saturating to -hi-1 ... hi;
//   magnitude  m1, m2 the two smallest |Q| of the check (|Q| up to hi + 1),
//              g(m) = min((m * a + 8) >> 4, c) with a = round(16 *
//              normalization) (0.75 is 12/16 exactly), or
//              g(m) = min(max(m - b, 0), c) with b = round(offset * scale);
//   update     R_e = +-g(|Q_e| == m1 ? m2 : m1) with the sign rule of
//              codes/decoder.h, L_v = sat(Q_e + R_e);
//   output     bits L_v < 0, posterior L_v / scale.
// So L_v = q_v + Sum R never leaves +-hi: the saturating steps only guard.
// That matters for a layered decoder: once L_v saturated, Q = L_v - R_e would
// no longer be the variable's other information, and on a codeword the
// shortfall feeds on itself (each check's new message smaller than the old
// one it replaces) until the decisions turn over.
// Float is codes/decoder.h's layered min-sum itself.
#include <cstdint>

#include "codes/code.h"
#include "codes/decoder.h"

namespace codes {

enum class Arithmetic { kFloat, kInt16, kInt8 };

struct FrameOptions {
    DecoderOptions decoder; // kNormalizedMinSum or kOffsetMinSum
    Arithmetic arithmetic = Arithmetic::kInt8;
    // Fraction bits of the integer ratios; -1 takes the default: 2 for 8 bits
    // (steps of 0.25; inputs and messages up to +-7.75 at column weight 3),
    // 6 for 16 bits (steps of 1/64, up to +-128). 0 ... 8 for 8 bits, 0 ... 12
    // for 16.
    int fractionBits = -1;
};
inline constexpr int kInt8FractionBits = 2;
inline constexpr int kInt16FractionBits = 6;

// The options with the defaults filled in and every field in range.
FrameOptions Resolved(FrameOptions options);

// The integer constants of the options (resolved) on a code: hi, c, scale,
// a, b.
struct FixedConstants {
    int hi = 0;
    int cap = 0;
    int fractionBits = 0;
    float scale = 1;
    int a16 = 12;
    int offset = 0;
    bool offsetRule = false;
};
FixedConstants ConstantsOf(const FrameOptions& options, const Code& code);

// The input step: CleanRatio, scaled, clipped and rounded; a row of them.
int Quantize(float ratio, const FixedConstants& k);
template <typename T> // std::int8_t or std::int16_t
void QuantizeRow(const float* ratios, int n, const FixedConstants& k, T* out);

// The plain scalar decoder in the options' arithmetic.
FrameResult DecodeFixed(const Code& code, const FrameOptions& options, const float* ratios,
                        std::uint8_t* bits, float* posterior);

} // namespace codes
