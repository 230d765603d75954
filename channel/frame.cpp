#include "channel/frame.h"

#include "channel/coding.h"

namespace channel {

void EncodeFrame(const std::uint8_t* raw, int n, std::uint8_t* prec, std::int8_t* samp) {
    // hist bit m-1 holds prec[k-m], m = 1 ... 5: the all-zero history first.
    unsigned hist = 0;
    for (int k = 0; k < n; ++k) {
        const unsigned p = (raw[k] ^ hist ^ (hist >> 3) ^ (hist >> 4)) & 1u;
        int s = kTarget[0] * static_cast<int>(p);
        for (int m = 1; m < kTargetLen; ++m)
            s += kTarget[m] * static_cast<int>((hist >> (m - 1)) & 1u);
        prec[k] = static_cast<std::uint8_t>(p);
        samp[k] = static_cast<std::int8_t>(s);
        hist = ((hist << 1) | p) & 31u;
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
