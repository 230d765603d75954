#include "channel/frame.h"

#include <bit>
#include <cstring>

#include "channel/coding.h"

namespace channel {

void EncodeFrame(const std::uint8_t* raw, int n, std::uint8_t* prec, std::int8_t* samp) {
    int k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // The precoder divides by 1 + D + D^4 + D^5 = (1 + D)(1 + D^4) over
        // GF(2): a running exclusive or, then one over every fourth bit. Eight
        // 0/1 bytes at a time, byte i of a word being bit k + i: within a word
        // both are shifts by whole bytes, across words a carry. `odd` is the
        // running exclusive or so far, `last` the previous word of output.
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        std::uint64_t odd = 0, last = 0;
        for (; k + 8 <= n; k += 8) {
            std::uint64_t x;
            std::memcpy(&x, raw + k, 8);
            x &= kOnes;
            x ^= x << 8;
            x ^= x << 16;
            x ^= x << 32;
            x ^= odd * kOnes;
            odd = x >> 56;
            const std::uint64_t before = last >> 32; // prec[k-4 ... k-1]
            const std::uint64_t p = x ^ (x << 32) ^ before ^ (before << 32);
            std::memcpy(prec + k, &p, 8);
            last = p;
        }
    }
    // The rest one bit at a time; hist bit m-1 holds prec[k-m], m = 1 ... 5.
    unsigned hist = 0;
    for (int m = 1; m <= kPrecoderMemory && m <= k; ++m) hist |= (prec[k - m] & 1u) << (m - 1);
    for (; k < n; ++k) {
        const unsigned p = (raw[k] ^ hist ^ (hist >> 3) ^ (hist >> 4)) & 1u;
        prec[k] = static_cast<std::uint8_t>(p);
        hist = ((hist << 1) | p) & 31u;
    }
    // The target over the precoder bits: the first ones with the zero history,
    // then a loop the compiler can run several samples at a time.
    const int head = n < kTargetLen - 1 ? n : kTargetLen - 1;
    for (k = 0; k < head; ++k) {
        int s = 0;
        for (int m = 0; m <= k; ++m) s += kTarget[m] * prec[k - m];
        samp[k] = static_cast<std::int8_t>(s);
    }
    for (; k < n; ++k) {
        int s = 0;
        for (int m = 0; m < kTargetLen; ++m) s += kTarget[m] * prec[k - m];
        samp[k] = static_cast<std::int8_t>(s);
    }
}

void InversePrecode(const std::uint8_t* prec, int n, std::uint8_t* raw) {
    unsigned hist = 0;
    for (int k = 0; k < n; ++k) {
        const unsigned p = prec[k] & 1u;
        raw[k] = static_cast<std::uint8_t>((p ^ hist ^ (hist >> 3) ^ (hist >> 4)) & 1u);
        hist = ((hist << 1) | p) & 31u;
    }
}

} // namespace channel
