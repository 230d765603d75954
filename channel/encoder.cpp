#include "channel/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace channel {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// Eight 0/1 bytes to one byte, byte i to bit i: each byte's bit lands in the
// top byte of the product at its own place, and no two sums carry.
inline unsigned PackBits(const std::uint8_t* bytes) {
    std::uint64_t x;
    std::memcpy(&x, bytes, 8);
    return static_cast<unsigned>(((x & kOnes) * 0x0102040810204080ull) >> 56);
}

// kSpread[v]: byte i is bit i of v, so that in memory (little-endian) the
// bits of v come out as eight 0/1 bytes in order.
struct Spread {
    std::uint64_t bytes[256] = {};
    constexpr Spread() {
        for (unsigned v = 0; v < 256; ++v)
            for (unsigned i = 0; i < 8; ++i)
                bytes[v] |= static_cast<std::uint64_t>((v >> i) & 1u) << (8 * i);
    }
};
constexpr Spread kSpread;

inline void UnpackBits(unsigned v, std::uint8_t* bytes) {
    std::memcpy(bytes, &kSpread.bytes[v], 8);
}

inline unsigned Parity(unsigned v) {
    return static_cast<unsigned>(std::popcount(v)) & 1u;
}

} // namespace

FrameEncoder::FrameEncoder(const Target& target) : target_(target) {
    const int nu = target_.Memory();
    const unsigned mask = (1u << nu) - 1;
    if (target_.HasPrecoder()) {
        step_.resize(std::size_t{256} << nu);
        for (unsigned hist = 0; hist <= mask; ++hist) {
            for (unsigned x = 0; x < 256; ++x) {
                unsigned h = hist, out = 0;
                for (int i = 0; i < 8; ++i) {
                    const unsigned p = ((x >> i) & 1u) ^ Parity(h & target_.PrecoderTaps());
                    out |= p << i;
                    h = ((h << 1) | p) & mask;
                }
                step_[(hist << 8) | x] = static_cast<std::uint16_t>(out | (h << 8));
            }
        }
    }
    if (target_.IsInteger())
        for (double f : target_.Coefficients()) coefficients_.push_back(static_cast<float>(f));
}

void FrameEncoder::Precode(const std::uint8_t* raw, int n, std::uint8_t* prec) const {
    if (!target_.HasPrecoder()) {
        std::memcpy(prec, raw, static_cast<std::size_t>(n));
        return;
    }
    const unsigned mask = (1u << target_.Memory()) - 1;
    const unsigned taps = target_.PrecoderTaps();
    unsigned hist = 0;
    int k = 0;
    // Eight bits a table step: the history is the only chain from one step
    // to the next.
    for (; k + 8 <= n; k += 8) {
        if (std::endian::native != std::endian::little) break;
        const unsigned s = step_[(hist << 8) | PackBits(raw + k)];
        UnpackBits(s & 0xFFu, prec + k);
        hist = s >> 8;
    }
    for (; k < n; ++k) {
        const unsigned p = (raw[k] ^ Parity(hist & taps)) & 1u;
        prec[k] = static_cast<std::uint8_t>(p);
        hist = ((hist << 1) | p) & mask;
    }
}

void FrameEncoder::InversePrecode(const std::uint8_t* prec, int n, std::uint8_t* raw) const {
    std::memcpy(raw, prec, static_cast<std::size_t>(n));
    if (!target_.HasPrecoder()) return;
    // raw[k] = prec[k] xor prec[k-m] for every tap m: one pass per tap, each
    // a plain loop the compiler runs many bytes at a time.
    for (int m = 1; m <= target_.Memory(); ++m) {
        if (((target_.PrecoderTaps() >> (m - 1)) & 1u) == 0) continue;
        for (int k = m; k < n; ++k) raw[k] = static_cast<std::uint8_t>(raw[k] ^ prec[k - m]);
    }
}

void FrameEncoder::Levels(const std::uint8_t* prec, int n, int tail, float* samples) const {
    const int nu = target_.Memory();
    const int total = n + tail;
    if (!coefficients_.empty()) {
        // Integer targets: the sum of small whole numbers is exact in float
        // in any order, so one pass per coefficient gives the trellis's
        // level, and each pass runs many samples at a time.
        std::fill(samples, samples + total, 0.0f);
        for (int m = 0; m <= nu; ++m) {
            const float f = coefficients_[static_cast<std::size_t>(m)];
            const int end = std::min(total, n + m);
            for (int k = m; k < end; ++k) samples[k] += f * static_cast<float>(prec[k - m]);
        }
        return;
    }
    // Real targets: the trellis's own level of each window.
    const std::vector<float>& level = target_.GetTrellis().level;
    unsigned w = 0;
    for (int k = 0; k < total; ++k) {
        const unsigned p = k < n ? prec[k] & 1u : 0u;
        w = (w >> 1) | (p << nu);
        samples[k] = level[w];
    }
}

} // namespace channel
