#include "channel/encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

// The precoder's output over 64 bits from history `hist` (bit m-1 =
// p_{k-m}) and raw bits `raw` (bit i = r_{k+i}).
std::uint64_t Response(unsigned taps, int nu, unsigned hist, std::uint64_t raw) {
    const unsigned mask = (1u << nu) - 1;
    std::uint64_t out = 0;
    for (int i = 0; i < 64; ++i) {
        const unsigned p = static_cast<unsigned>((raw >> i) & 1u) ^ Parity(hist & taps);
        out |= std::uint64_t{p} << i;
        hist = ((hist << 1) | p) & mask;
    }
    return out;
}

// out[i] = the sum over m of c[m] * bits[i - m], i = 0 ... count - 1, every
// bits[i - m] inside the caller's frame. Compiled for the widest vectors the
// processor has; every sample sees the same operations on every path, so the
// results are the same bits. Levels that fit a byte (the sum of |c| at most
// 127) are summed in bytes, a precoder bit b giving c & -b, 32 or 64 at a
// time, and then converted; others are summed in float, exact for whole
// numbers this small.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
IntegerLevels(const std::uint8_t* __restrict bits, int count, const std::int8_t* narrow,
              const float* wide, float* __restrict out) {
    if (narrow != nullptr) {
        constexpr int kBlock = 512;
        alignas(64) std::int8_t sum[kBlock];
        for (int from = 0; from < count; from += kBlock) {
            const int len = std::min(kBlock, count - from);
            const std::uint8_t* b = bits + from;
            for (int i = 0; i < len; ++i) sum[i] = 0;
            for (int m = 0; m <= kMaxMemory; ++m) {
                const std::int8_t c = narrow[m];
                for (int i = 0; i < len; ++i)
                    sum[i] = static_cast<std::int8_t>(sum[i] +
                                                      (c & -static_cast<std::int8_t>(b[i - m])));
            }
            for (int i = 0; i < len; ++i) out[from + i] = static_cast<float>(sum[i]);
        }
        return;
    }
    float c[kMaxMemory + 1];
    std::copy(wide, wide + kMaxMemory + 1, c);
    for (int i = 0; i < count; ++i) {
        float v = 0.0f;
        for (int m = 0; m <= kMaxMemory; ++m) v += c[m] * static_cast<float>(bits[i - m]);
        out[i] = v;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// A block's response to its own raw bits, the precoder's response h to a lone
// 1 at bit 0 shifted to every raw 1 and summed over GF(2): the low half of the
// carry-less product of the raw bits and h.
__attribute__((target("pclmul,sse4.1"))) void
ResponsesClmul(const std::uint64_t* raw, int words, int n, std::uint64_t h, std::uint64_t* prec) {
    const __m128i vh = _mm_cvtsi64_si128(static_cast<long long>(h));
    for (int w = 0; w < words; ++w) {
        const int used = n - 64 * w;
        const std::uint64_t in = used >= 64 ? raw[w] : raw[w] & ((1ull << used) - 1);
        const __m128i p =
            _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(in)), vh, 0);
        prec[w] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(p));
    }
}
#endif

} // namespace

FrameEncoder::FrameEncoder(const Target& target) : target_(target) {
    const int nu = target_.Memory();
    if (target_.HasPrecoder()) {
        const unsigned taps = target_.PrecoderTaps();
        bytes_.resize(8 * 256);
        for (int j = 0; j < 8; ++j)
            for (unsigned v = 0; v < 256; ++v)
                bytes_[static_cast<std::size_t>(256 * j) + v] =
                    Response(taps, nu, 0, std::uint64_t{v} << (8 * j));
        history_.resize(std::size_t{1} << nu);
        for (unsigned u = 0; u < (1u << nu); ++u) {
            // u's bit i is p_{k-nu+i}, the history's bit m-1 is p_{k-m}.
            unsigned hist = 0;
            for (int m = 1; m <= nu; ++m) hist |= ((u >> (nu - m)) & 1u) << (m - 1);
            history_[u] = Response(taps, nu, hist, 0);
        }
    }
    if (target_.IsInteger()) {
        double reach = 0;
        for (int m = 0; m <= nu; ++m) {
            const double f = target_.Coefficients()[static_cast<std::size_t>(m)];
            coefficients_[m] = static_cast<float>(f);
            bytes8_[m] = static_cast<std::int8_t>(std::clamp(f, -128.0, 127.0));
            reach += std::fabs(f);
        }
        narrow_ = reach <= 127;
    }
}

void FrameEncoder::Precode(const std::uint8_t* raw, int n, std::uint8_t* prec) const {
    if (!target_.HasPrecoder()) {
        std::memcpy(prec, raw, static_cast<std::size_t>(n));
        return;
    }
    const int nu = target_.Memory();
    const unsigned mask = (1u << nu) - 1;
    const unsigned taps = target_.PrecoderTaps();
    int k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // 64 bits a step: the only chain from one block to the next is the
        // history's table entry.
        unsigned last = 0; // the block before's last nu precoder bits, bit i = p_{k-nu+i}
        for (; k + 64 <= n; k += 64) {
            std::uint64_t out = history_[last];
            for (int j = 0; j < 8; ++j)
                out ^= bytes_[static_cast<std::size_t>(256 * j) + PackBits(raw + k + 8 * j)];
            for (int j = 0; j < 8; ++j)
                UnpackBits(static_cast<unsigned>(out >> (8 * j)) & 0xFFu, prec + k + 8 * j);
            last = nu > 0 ? static_cast<unsigned>(out >> (64 - nu)) : 0u;
        }
    }
    // The rest one bit at a time; hist bit m-1 holds prec[k-m].
    unsigned hist = 0;
    for (int m = 1; m <= nu && m <= k; ++m) hist |= (prec[k - m] & 1u) << (m - 1);
    for (; k < n; ++k) {
        const unsigned p = (raw[k] ^ Parity(hist & taps)) & 1u;
        prec[k] = static_cast<std::uint8_t>(p);
        hist = ((hist << 1) | p) & mask;
    }
}

void FrameEncoder::PrecodeWords(const std::uint64_t* raw, int n, std::uint64_t* prec) const {
    const int words = (n + 63) / 64;
    auto keep = [&](int w) { return n - 64 * w >= 64 ? ~0ull : (1ull << (n - 64 * w)) - 1; };
    if (!target_.HasPrecoder()) {
        for (int w = 0; w < words; ++w) prec[w] = raw[w] & keep(w);
        return;
    }
    // First every word's response to its own raw bits (independent of each
    // other), then the chain of histories, as in Precode.
    int w = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool clmul = __builtin_cpu_supports("pclmul");
    if (clmul) {
        ResponsesClmul(raw, words, n, bytes_[1], prec);
        w = words;
    }
#endif
    for (; w < words; ++w) {
        const std::uint64_t in = raw[w] & keep(w);
        std::uint64_t out = 0;
        for (int j = 0; j < 8; ++j)
            out ^= bytes_[static_cast<std::size_t>(256 * j) + ((in >> (8 * j)) & 0xFFu)];
        prec[w] = out;
    }
    const int nu = target_.Memory();
    unsigned last = 0;
    for (w = 0; w < words; ++w) {
        const std::uint64_t out = prec[w] ^ history_[last];
        prec[w] = out & keep(w);
        last = nu > 0 ? static_cast<unsigned>(out >> (64 - nu)) : 0u;
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
    if (target_.IsInteger()) {
        // Integer targets: sums of small whole numbers are exact in float in
        // any order, so every sample is the trellis's level. Away from both
        // ends all the taps (zero beyond nu) read inside the frame, and the
        // loop runs many samples at a time.
        auto at = [&](int k) {
            float v = 0.0f;
            for (int m = 0; m <= nu; ++m)
                if (k - m >= 0 && k - m < n)
                    v += coefficients_[m] * static_cast<float>(prec[k - m]);
            return v;
        };
        int k = 0;
        for (; k < total && k < kMaxMemory; ++k) samples[k] = at(k);
        if (k < n) {
            IntegerLevels(prec + k, n - k, narrow_ ? bytes8_ : nullptr, coefficients_, samples + k);
            k = n;
        }
        for (; k < total; ++k) samples[k] = at(k);
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
