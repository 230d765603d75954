// The traceback of up to eight frames in the eight lanes of an AVX2
// register, each lane following its own frame's survivor path.
#include <array>
#include <bit>
#include <cstring>

#include "detectors/traceback.h"

#include "channel/bit_bytes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_TRACEBACK_X86 1
#endif

namespace detectors::viterbi_detail {

namespace {

#ifdef QUORVANE_TRACEBACK_X86
// Eight survivor paths at once. A lane holds its frame's precoder bits as a
// sliding window h: it starts as the end state (bits steps-nu ... steps-1 of
// the frame), and each step k going back shifts in the decision bit of state
// h mod 2^nu, which is precoder bit k - nu. Once bit 0 is bit 32 j (shifted
// down there for the top word when no step lies above it), the window is
// word j, words[j * 8 + f] for frame f. Steps below nu would only shift in
// the zero history before the frame. With 32 states, a rotation by h picks
// the bit of state h mod 32 by itself.
__attribute__((target("avx2,avx512f,avx512vl"))) void TraceRotating(const std::uint32_t* dec, int n,
                                                                    int steps, int nu,
                                                                    const int* end,
                                                                    std::uint32_t* words) {
    const __m256i one = _mm256_set1_epi32(1);
    __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end));
    int k = steps - 1;
    for (int j = (n - 1) / 32; j >= 0; --j) {
        for (; k >= 32 * j + nu; --k) {
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dec + 8 * k));
            const __m256i d = _mm256_and_si256(_mm256_rorv_epi32(w, h), one);
            h = _mm256_or_si256(_mm256_add_epi32(h, h), d);
        }
        const __m128i shift = _mm_cvtsi32_si128(32 * j - (k + 1 - nu));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + 8 * j), _mm256_srl_epi32(h, shift));
    }
}

// The same on plain AVX2, which has no rotation: the state is h's low bits.
__attribute__((target("avx2"))) void TraceShifting(const std::uint32_t* dec, int n, int steps,
                                                   int nu, const int* end, std::uint32_t* words) {
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i mask = _mm256_set1_epi32((1 << nu) - 1);
    __m256i h = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end));
    int k = steps - 1;
    for (int j = (n - 1) / 32; j >= 0; --j) {
        for (; k >= 32 * j + nu; --k) {
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dec + 8 * k));
            const __m256i d =
                _mm256_and_si256(_mm256_srlv_epi32(w, _mm256_and_si256(h, mask)), one);
            h = _mm256_or_si256(_mm256_add_epi32(h, h), d);
        }
        const __m128i shift = _mm_cvtsi32_si128(32 * j - (k + 1 - nu));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + 8 * j), _mm256_srl_epi32(h, shift));
    }
}

// 64 raw bits to 64 bytes at once.
__attribute__((target("avx512f,avx512bw"))) void ExpandBits(std::uint64_t bits, int take,
                                                            std::uint8_t* raw) {
    const __m512i ones = _mm512_set1_epi8(1);
    const __m512i bytes = _mm512_maskz_mov_epi8(_cvtu64_mask64(bits), ones);
    if (take == 64)
        _mm512_storeu_si512(raw, bytes);
    else
        _mm512_mask_storeu_epi8(raw, _cvtu64_mask64(~0ull >> (64 - take)), bytes);
}
#endif

} // namespace

std::uint64_t Traceback::RawWord(const std::uint32_t* words, int stride, int n, int k,
                                 std::uint64_t& before) const {
    // Raw bit k is precoder bit k xor the taps' bits k - m: on 64-bit words,
    // the word shifted up by m with the previous word's top m bits below.
    const std::size_t step = static_cast<std::size_t>(stride);
    const std::size_t j = static_cast<std::size_t>(k / 32);
    const std::uint64_t high = k + 32 < n ? words[(j + 1) * step] : 0;
    const std::uint64_t p = words[j * step] | (high << 32);
    std::uint64_t r = p;
    for (int i = 0; i < tapCount_; ++i) {
        const int m = tapShift_[i];
        r ^= (p << m) | (before >> (64 - m));
    }
    before = p;
    return r;
}

void Traceback::RawOfWords(const std::uint32_t* words, int stride, int n, std::uint8_t* raw) const {
#ifdef QUORVANE_TRACEBACK_X86
    static const bool wide = __builtin_cpu_supports("avx512bw");
#else
    constexpr bool wide = false;
#endif
    std::uint64_t before = 0;
    for (int k = 0; k < n; k += 64) {
        const std::uint64_t r = RawWord(words, stride, n, k, before);
        const int take = n - k < 64 ? n - k : 64;
#ifdef QUORVANE_TRACEBACK_X86
        if (wide) {
            ExpandBits(r, take, raw + k);
            continue;
        }
#endif
        std::uint64_t bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = channel::kBitBytes.bytes[(r >> (8 * i)) & 255u];
        std::memcpy(raw + k, bytes, static_cast<std::size_t>(take));
    }
}

void Traceback::RunFrames(Kernel kernel, int frames, const std::uint32_t* dec, int n, int tail,
                          const int* end, std::uint8_t* const* raw,
                          std::vector<std::uint32_t>& words) const {
#ifdef QUORVANE_TRACEBACK_X86
    if (kernel != Kernel::kScalar && Runs(Kernel::kAvx2)) {
        const std::size_t need = static_cast<std::size_t>((n + 31) / 32) * kMaxFrames;
        if (words.size() < need) words.resize(need);
        std::uint32_t* at = words.data();
        int lanes[kMaxFrames] = {};
        for (int f = 0; f < frames; ++f) lanes[f] = end[f];
        static const bool rotates =
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
        if (nu_ == 5 && rotates)
            TraceRotating(dec, n, n + tail, nu_, lanes, at);
        else
            TraceShifting(dec, n, n + tail, nu_, lanes, at);
        for (int f = 0; f < frames; ++f) RawOfWords(at + f, kMaxFrames, n, raw[f]);
        return;
    }
#endif
    for (int f = 0; f < frames; ++f) Run(dec + f, n, tail, end[f], raw[f], kMaxFrames);
}

void Traceback::RunFramesToWords(Kernel kernel, int frames, const std::uint32_t* dec, int n,
                                 int tail, const int* end, std::uint64_t* const* raw,
                                 std::vector<std::uint32_t>& words,
                                 std::vector<std::uint8_t>& bytes) const {
    const std::uint64_t last = n % 64 == 0 ? ~0ull : (1ull << (n % 64)) - 1;
#ifdef QUORVANE_TRACEBACK_X86
    if (kernel != Kernel::kScalar && Runs(Kernel::kAvx2)) {
        const std::size_t need = static_cast<std::size_t>((n + 31) / 32) * kMaxFrames;
        if (words.size() < need) words.resize(need);
        std::uint32_t* at = words.data();
        int lanes[kMaxFrames] = {};
        for (int f = 0; f < frames; ++f) lanes[f] = end[f];
        static const bool rotates =
            __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
        if (nu_ == 5 && rotates)
            TraceRotating(dec, n, n + tail, nu_, lanes, at);
        else
            TraceShifting(dec, n, n + tail, nu_, lanes, at);
        for (int f = 0; f < frames; ++f) {
            std::uint64_t before = 0;
            for (int k = 0; k < n; k += 64)
                raw[f][k / 64] = RawWord(at + f, kMaxFrames, n, k, before);
            raw[f][(n - 1) / 64] &= last;
        }
        return;
    }
#endif
    if (bytes.size() < static_cast<std::size_t>(n)) bytes.resize(static_cast<std::size_t>(n));
    for (int f = 0; f < frames; ++f) {
        Run(dec + f, n, tail, end[f], bytes.data(), kMaxFrames);
        for (int w = 0; w < (n + 63) / 64; ++w) raw[f][w] = 0;
        for (int k = 0; k < n; ++k) raw[f][k / 64] |= std::uint64_t{bytes[k]} << (k % 64);
    }
}

} // namespace detectors::viterbi_detail
