#pragma once
// The correction of the vector bcjr's max*(a, b) = max(a, b) + c(|a - b|),
// c(d) near ln(1 + e^-d): eight cubic pieces, chosen by the bits of d + 4
// (its exponent's low bit and two mantissa bits, so the pieces are [0, 1),
// [1, 2), [2, 3), [3, 4), [4, 6), [6, 8), [8, 10), [10, 12)); from 12 on the
// last piece's value at 12 (ln(1 + e^-12) is 6.1e-6). Each piece is the cubic
// through ln(1 + e^-d) at its four Chebyshev nodes. Within kMaxStarError of
// ln(1 + e^-d) at every d >= 0, float rounding included (tested).
// Internal to detectors/.
#include <cstdint>
#include <cstring>

namespace detectors {

inline constexpr float kMaxStarError = 5e-5f;

// kMaxStarCubic[j][i]: the coefficient of d^j of piece i, i the low three
// bits of the bits of d + 4 shifted right by 21.
inline constexpr float kMaxStarCubic[4][8] = {
    {0.273048013f, 0.0860391259f, 0.0224081576f, 0.005191084f, 0.693181098f, 0.695951045f,
     0.645378828f, 0.502594829f},
    {-0.12846458f, -0.0312077403f, -0.00657914113f, -0.00127811579f, -0.501089752f, -0.512133062f,
     -0.439406961f, -0.296024799f},
    {0.0207591057f, 0.00383431488f, 0.000650341448f, 0.000105608669f, 0.130576432f, 0.145074219f,
     0.109947555f, 0.0617311038f},
    {-0.00114417239f, -0.000159066389f, -2.16060416e-05f, -2.92550567e-06f, -0.00937871728f,
     -0.015632594f, -0.00993004907f, -0.00450078957f},
};

// The largest d the pieces take: the float below 12.
inline constexpr float kMaxStarTop = 11.999999f;

// c(d) for d >= 0, with the vector code's float operations in its order.
inline float MaxStarCorrection(float d) {
    const float x = d < kMaxStarTop ? d : kMaxStarTop;
    const float shifted = x + 4.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    const unsigned i = (bits >> 21) & 7u;
    return ((kMaxStarCubic[3][i] * x + kMaxStarCubic[2][i]) * x + kMaxStarCubic[1][i]) * x +
           kMaxStarCubic[0][i];
}

} // namespace detectors
