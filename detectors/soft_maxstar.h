#pragma once
// The correction of the vector bcjr's max*(a, b) = max(a, b) + c(|a - b|),
// c(d) near ln(1 + e^-d): eight quadratic pieces, chosen by the bits of
// d + 4 (its exponent's low bit and two mantissa bits, so the pieces are
// [0, 1), [1, 2), [2, 3), [3, 4), [4, 6), [6, 8), [8, 10), [10, 12)); from 12
// on the last piece's value at 12 (ln(1 + e^-12) is 6.1e-6). Each piece is
// the quadratic nearest ln(1 + e^-d) over its interval in the largest error,
// evaluated by two fused multiply-adds (each rounded once, as std::fma).
// Within kMaxStarError of ln(1 + e^-d) at every d >= 0, float rounding
// included (tested). Three lookups and two multiply-adds: the cubic pieces
// these replace (error 5e-5) took four lookups and six operations, and the
// correction is most of bcjr's work.
// Internal to detectors/.
#include <cmath>
#include <cstdint>
#include <cstring>

namespace detectors {

inline constexpr float kMaxStarError = 5e-4f;

// kMaxStarPiece[j][i]: the coefficient of d^j of piece i, i the low three
// bits of the bits of d + kMaxStarShift shifted right by 21.
inline constexpr float kMaxStarPiece[3][8] = {
    {0.13603209f, 0.0328011326f, 0.0069134105f, 0.00134372991f, 0.69285208f, 0.647660792f,
     0.495513469f, 0.313325286f},
    {-0.0442110114f, -0.00808492862f, -0.00136974466f, -0.000222436356f, -0.495563507f,
     -0.409650356f, -0.255601585f, -0.131897062f},
    {0.00366676599f, 0.000503978634f, 6.83499602e-05f, 9.25280165e-06f, 0.116267875f, 0.0747638643f,
     0.0355766602f, 0.0145346504f},
};
inline constexpr float kMaxStarShift = 4.0f;

// The largest d the pieces take: the float below 12.
inline constexpr float kMaxStarTop = 11.999999f;

// c(d) for d >= 0, with the vector code's float operations in its order.
inline float MaxStarCorrection(float d) {
    const float x = d < kMaxStarTop ? d : kMaxStarTop;
    const float shifted = x + kMaxStarShift;
    std::uint32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    const unsigned i = (bits >> 21) & 7u;
    return std::fma(std::fma(kMaxStarPiece[2][i], x, kMaxStarPiece[1][i]), x, kMaxStarPiece[0][i]);
}

} // namespace detectors
