#include "channel/coding.h"

#include "channel/random.h"

namespace channel {

std::int32_t rawData[kBits];
std::int32_t precData[kBits];
std::int32_t nrziData[kBits];
std::int32_t sampData[kBits];

namespace {

// prec[k - back], with every index below 0 counting as 0: the all-zero
// history each block starts from.
inline std::int32_t Before(const Sequence& prec, int k, int back) {
    return k >= back ? prec[k - back] : 0;
}

// Bit k of all three derived sequences, from raw bit k and bits 0 ... k-1 of
// the precoder output.
inline void EncodeBit(int k, std::int32_t raw, Sequence& prec, Sequence& nrzi, Sequence& samp) {
    const std::int32_t p = raw ^ Before(prec, k, 1) ^ Before(prec, k, 4) ^ Before(prec, k, 5);
    prec[k] = p;
    std::int32_t s = kTarget[0] * p;
    for (int m = 1; m < kTargetLen; ++m) s += kTarget[m] * Before(prec, k, m);
    samp[k] = s;
    nrzi[k] = p ^ Before(prec, k, 1);
}

} // namespace

void GenerateBlock() {
    for (int k = 0; k < kBits; ++k) {
        // A draw is never negative, so mod 2 is its lowest bit.
        rawData[k] = NextRandom() % 2;
        EncodeBit(k, rawData[k], precData, nrziData, sampData);
    }
}

void EncodeBlock(const Sequence& raw, Sequence& prec, Sequence& nrzi, Sequence& samp) {
    for (int k = 0; k < kBits; ++k) EncodeBit(k, raw[k], prec, nrzi, samp);
}

} // namespace channel
