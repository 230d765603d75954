#pragma once
// The coding chain of one block: 40 random data bits, their precoder output
// 1 / (1 + D + D^4 + D^5) over GF(2), the NRZI encoder output 1 + D over
// GF(2), and the ideal E3PR4 samples (1 - D)(1 + D)^4 of the precoder output.
// Every block starts from an all-zero history.
#include <cstdint>

namespace channel {

// Bits in one block; index k of a sequence is bit period k.
inline constexpr int kBits = 40;

using Sequence = std::int32_t[kBits];

// The E3PR4 target 1 + 3D + 2D^2 - 2D^3 - 3D^4 - D^5, coefficient m for D^m.
inline constexpr int kTargetLen = 6;
inline constexpr int kTarget[kTargetLen] = {1, 3, 2, -2, -3, -1};

// The run's data, program-wide. Each GenerateBlock overwrites all 40 entries
// of all four; they keep the last block until the next one.
extern std::int32_t rawData[kBits];  // 0 or 1
extern std::int32_t precData[kBits]; // 0 or 1
extern std::int32_t nrziData[kBits]; // 0 or 1
extern std::int32_t sampData[kBits]; // -6 ... +6

// Makes exactly 40 draws from the random source, one per bit in index order,
// and fills rawData, precData, nrziData and sampData.
void GenerateBlock();

// The same chain over given raw bits (each 0 or 1), for callers that choose
// the block themselves. The outputs may not alias `raw`.
void EncodeBlock(const Sequence& raw, Sequence& prec, Sequence& nrzi, Sequence& samp);

} // namespace channel
