#include "engine/fused_chunk.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <vector>

#include "channel/adc.h"
#include "channel/encoder.h"
#include "channel/noise.h"
#include "detectors/slicer.h"
#include "detectors/viterbi_int.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC bug 105593, as in channel/noise.cpp.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_FUSED_X86 1
#endif

namespace engine {

namespace {

// Frames made before the detectors run, as the chain of stages: the Viterbi
// detector decides eight side by side.
constexpr int kBatch = 8;

// The converter's rule (channel::Adc::Code) and the slicer's decision of each
// code, as the fused loops use them.
struct CodeRule {
    double m = 1, offset = 0.5, top = 0; // code = floor(y m + offset), clamped to 0 ... top
    int shift = 0;                       // codes are stored shifted left by this
    std::uint32_t parity[32] = {};       // bit c & 31 of word c >> 5: the slicer's bit of code c
};

// Window w of nu + 1 precoder bits (bit j the bit nu - j samples back) for
// samples 0 ... count - 1 from prec (bit p of word p / 64 + 1, word 0 zero):
// levels[k] = level[window of sample k].
void LevelsPlain(const std::uint64_t* prec, int nu, const std::int8_t* level, int count,
                 std::int8_t* levels) {
    unsigned w = 0;
    for (int k = 0; k < count; ++k) {
        const unsigned bit = static_cast<unsigned>(prec[1 + k / 64] >> (k % 64)) & 1u;
        w = (w >> 1) | (bit << nu);
        levels[k] = level[w];
    }
}

// The code of a sample: received = float(level + sigma z) in double, rounded
// once, as the noise source adds it, then the converter's rule.
inline int CodeOf(std::int8_t level, float z, double sigma, const CodeRule& rule) {
    const float y = static_cast<float>(static_cast<double>(level) + sigma * static_cast<double>(z));
    const double x = static_cast<double>(y) * rule.m + rule.offset;
    return !(x >= 1.0) ? 0 : x >= rule.top ? static_cast<int>(rule.top) : static_cast<int>(x);
}

// The codes of count samples and the slicer's bits of the first n.
void CodesPlain(const std::int8_t* levels, const float* z, int count, int n, double sigma,
                const CodeRule& rule, std::uint16_t* codes, std::uint64_t* slicer) {
    std::memset(slicer, 0, static_cast<std::size_t>((n + 63) / 64) * 8);
    for (int k = 0; k < count; ++k) {
        const int c = CodeOf(levels[k], z[k], sigma, rule);
        codes[k] = static_cast<std::uint16_t>(c << rule.shift);
        if (k < n)
            slicer[k / 64] |= static_cast<std::uint64_t>((rule.parity[c >> 5] >> (c & 31)) & 1u)
                              << (k % 64);
    }
}

// The slicer's bits of the first n codes (stored shifted).
void SlicerPlain(const std::uint16_t* codes, int n, const CodeRule& rule, std::uint64_t* slicer) {
    std::memset(slicer, 0, static_cast<std::size_t>((n + 63) / 64) * 8);
    for (int k = 0; k < n; ++k) {
        const int c = codes[k] >> rule.shift;
        slicer[k / 64] |= static_cast<std::uint64_t>((rule.parity[c >> 5] >> (c & 31)) & 1u)
                          << (k % 64);
    }
}

#ifdef QUORVANE_FUSED_X86
bool HasVbmi() {
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}

// LevelsPlain 64 samples a step: a step's 64 bytes of precoder bits make
// eight overlapping 64-bit words (lane L from sample k + 8 L - 8 on), each
// byte takes its window of nu + 1 bits from its lane, and the level table
// of 128 bytes is read by the windows.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
LevelsVbmi(const std::uint64_t* prec, int nu, const std::int8_t* level, int count,
           std::int8_t* levels) {
    alignas(64) std::uint8_t spread[64], offset[64];
    for (int b = 0; b < 64; ++b) {
        spread[b] = static_cast<std::uint8_t>(b / 8 + b % 8);
        offset[b] = static_cast<std::uint8_t>(8 + b % 8 - nu);
    }
    const __m512i vspread = _mm512_load_si512(spread), voffset = _mm512_load_si512(offset);
    const __m512i mask = _mm512_set1_epi8(static_cast<char>((1 << (nu + 1)) - 1));
    const __m512i low = _mm512_loadu_si512(level), high = _mm512_loadu_si512(level + 64);
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(prec) + 7;
    for (int k = 0; k < count; k += 64) {
        const __m512i words = _mm512_permutexvar_epi8(vspread, _mm512_loadu_si512(bytes + k / 8));
        const __m512i windows =
            _mm512_and_si512(_mm512_multishift_epi64_epi8(voffset, words), mask);
        _mm512_storeu_si512(levels + k, _mm512_permutex2var_epi8(low, windows, high));
    }
}

// The slicer's bits of 16 codes (unshifted, in 32-bit lanes) by the parity
// words in two registers.
__attribute__((target("avx512f"), always_inline)) inline __mmask16
SlicerBits16(__m512i c, __m512i parityLow, __m512i parityHigh) {
    const __m512i word = _mm512_permutex2var_epi32(parityLow, _mm512_srli_epi32(c, 5), parityHigh);
    const __m512i place = _mm512_and_si512(c, _mm512_set1_epi32(31));
    return _mm512_test_epi32_mask(_mm512_srlv_epi32(word, place), _mm512_set1_epi32(1));
}

// CodesPlain 16 samples a step (count rounded up to 64: the buffers have
// room). The code is found in float first, sixteen lanes to a register:
// with s = float(sigma) z and u = level + s, w = u m + offset in float lies
// within 2^-24 (6.01 (|level| + |sigma z|) m + 1.01 |offset|) of the exact
// rule's y m + offset (each of the six roundings, the float sigma's among
// them, counted at its largest), and the highest |level| plus 3 |s| covers
// |level| + |sigma z|. Where no whole number lies within a bound of 2^-20
// times that of w, the floor of w is the exact code; the rare lane closer to
// one (about one in 10^4) takes CodeOf.
__attribute__((target("avx512f,avx512bw"))) void
CodesAvx512(const std::int8_t* levels, int highest, const float* z, int count, int n, double sigma,
            const CodeRule& rule, std::uint16_t* codes, std::uint64_t* slicer) {
    const __m512 vsigma = _mm512_set1_ps(static_cast<float>(sigma));
    const __m512 m = _mm512_set1_ps(static_cast<float>(rule.m));
    const __m512 offset = _mm512_set1_ps(static_cast<float>(rule.offset));
    const __m512 slope = _mm512_set1_ps(static_cast<float>(3 * rule.m * 0x1.0p-20));
    const __m512 base = _mm512_set1_ps(
        static_cast<float>((highest * rule.m + std::fabs(rule.offset) + 1) * 0x1.0p-20));
    const __m512i top = _mm512_set1_epi32(static_cast<int>(rule.top));
    const __m512i parityLow = _mm512_loadu_si512(rule.parity);
    const __m512i parityHigh = _mm512_loadu_si512(rule.parity + 16);
    const __m128i shift = _mm_cvtsi32_si128(rule.shift);
    // A word of the slicer's bits is made in a register, 64 samples a step.
    for (int k = 0; k < count; k += 64) {
        std::uint64_t bits = 0;
        for (int q = 0; q < 4; ++q) {
            const int at = k + 16 * q;
            const __m512 level = _mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + at))));
            const __m512 s = _mm512_mul_ps(vsigma, _mm512_loadu_ps(z + at));
            const __m512 u = _mm512_add_ps(level, s);
            const __m512 w = _mm512_add_ps(_mm512_mul_ps(u, m), offset);
            const __m512 bound = _mm512_add_ps(_mm512_mul_ps(_mm512_abs_ps(s), slope), base);
            const __m512 nearest =
                _mm512_roundscale_ps(w, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
            const __mmask16 close =
                _mm512_cmp_ps_mask(_mm512_abs_ps(_mm512_sub_ps(w, nearest)), bound, _CMP_LE_OQ);
            __m512i c =
                _mm512_min_epi32(_mm512_max_epi32(_mm512_cvt_roundps_epi32(
                                                      w, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC),
                                                  _mm512_setzero_si512()),
                                 top);
            if (close != 0) [[unlikely]] {
                alignas(64) std::int32_t exact[16];
                _mm512_store_si512(exact, c);
                for (unsigned lanes = close; lanes != 0; lanes &= lanes - 1) {
                    const int j = std::countr_zero(lanes);
                    exact[j] = CodeOf(levels[at + j], z[at + j], sigma, rule);
                }
                c = _mm512_load_si512(exact);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(codes + at),
                                _mm512_cvtepi32_epi16(_mm512_sll_epi32(c, shift)));
            bits |= static_cast<std::uint64_t>(SlicerBits16(c, parityLow, parityHigh)) << (16 * q);
        }
        // Bits past n (the tail's samples, the rounding up) are not the slicer's.
        if (k + 64 <= n)
            slicer[k / 64] = bits;
        else if (k < n)
            slicer[k / 64] = bits & ((1ull << (n - k)) - 1);
    }
}

__attribute__((target("avx512f,avx512bw"))) void
SlicerAvx512(const std::uint16_t* codes, int n, const CodeRule& rule, std::uint64_t* slicer) {
    const __m512i parityLow = _mm512_loadu_si512(rule.parity);
    const __m512i parityHigh = _mm512_loadu_si512(rule.parity + 16);
    const __m128i shift = _mm_cvtsi32_si128(rule.shift);
    for (int k = 0; k < n; k += 64) {
        std::uint64_t bits = 0;
        for (int q = 0; q < 4; ++q) {
            const __m512i c =
                _mm512_srl_epi32(_mm512_cvtepu16_epi32(_mm256_loadu_si256(
                                     reinterpret_cast<const __m256i*>(codes + k + 16 * q))),
                                 shift);
            bits |= static_cast<std::uint64_t>(SlicerBits16(c, parityLow, parityHigh)) << (16 * q);
        }
        slicer[k / 64] = k + 64 <= n ? bits : bits & ((1ull << (n - k)) - 1);
    }
}

__attribute__((target("popcnt"))) std::uint32_t XorCountPopcnt(const std::uint64_t* a,
                                                               const std::uint64_t* b, int words) {
    std::uint32_t count = 0;
    for (int w = 0; w < words; ++w) count += static_cast<std::uint32_t>(std::popcount(a[w] ^ b[w]));
    return count;
}

#endif

} // namespace

struct FusedChunk::Impl {
    BerSettings settings;
    const ChannelDesign& design;
    std::vector<detectors::Kind> kinds;
    channel::FrameEncoder encoder;
    channel::Adc adc;
    std::unique_ptr<detectors::ViterbiInt> viterbi;
    bool vector;
    int n, tail, samples, words;
    CodeRule rule;
    std::int8_t level[128] = {};
    int highest = 0; // the largest |level|
    // Rounded up so that the vector loops' last steps stay inside.
    std::vector<std::uint64_t> prec;           // word 0 zero, then the frame's words, then zeros
    std::vector<std::int8_t> levels;           // a frame's
    std::vector<float> deviates, clean, noisy; // a frame's
    std::vector<std::uint64_t> raw[kBatch], slicer[kBatch];
    std::vector<std::uint16_t> codes[kBatch];
    std::vector<std::uint64_t> decided[kBatch]; // the Viterbi detector's raw bits

    Impl(const BerSettings& s, const BerSetup& setup, const ChannelDesign& d, bool v)
        : settings(s), design(d), kinds(DetectorsOf(setup, d)), encoder(d.target),
          adc(d.target, d.settings.adcBits), vector(v), n(s.frame),
          tail(d.settings.tail ? d.target.Memory() : 0), samples(n + tail), words((n + 63) / 64) {
        if (std::find(kinds.begin(), kinds.end(), detectors::Kind::kViterbi) != kinds.end())
            viterbi = std::make_unique<detectors::ViterbiInt>(d.target, adc);
        rule.m = adc.PerLevel();
        rule.offset = 0.5 - static_cast<double>(adc.Lowest()) * adc.PerLevel();
        rule.top = adc.TopCode();
        rule.shift = viterbi ? viterbi->CodeShift() : 0;
        // The slicer's bit of every code: what it makes of the converter's value.
        if (d.target.HasSlicer()) {
            std::vector<float> values(static_cast<std::size_t>(adc.TopCode()) + 1);
            std::vector<std::uint8_t> bits(values.size());
            for (int c = 0; c <= adc.TopCode(); ++c)
                values[static_cast<std::size_t>(c)] = adc.Value(c);
            detectors::Slicer(d.target).Slice(values.data(), static_cast<int>(values.size()),
                                              bits.data());
            for (int c = 0; c <= adc.TopCode(); ++c)
                rule.parity[c >> 5] |=
                    static_cast<std::uint32_t>(bits[static_cast<std::size_t>(c)] & 1u) << (c & 31);
        }
        const std::vector<float>& ideal = d.target.GetTrellis().level;
        for (float l : ideal) highest = std::max(highest, static_cast<int>(std::fabs(l)));
        for (std::size_t w = 0; w < ideal.size(); ++w)
            level[w] = static_cast<std::int8_t>(ideal[w]);
        const std::size_t padded = static_cast<std::size_t>((samples + 63) / 64 * 64 + 64);
        prec.assign(padded / 64 + 16, 0);
        levels.resize(padded);
        deviates.resize(padded);
        clean.resize(padded);
        noisy.resize(padded);
        for (int f = 0; f < kBatch; ++f) {
            raw[f].resize(static_cast<std::size_t>(words));
            slicer[f].resize(static_cast<std::size_t>(words));
            codes[f].resize(padded);
            decided[f].resize(static_cast<std::size_t>(words));
        }
    }

    bool Vbmi() const {
#ifdef QUORVANE_FUSED_X86
        return vector && HasVbmi();
#else
        return false;
#endif
    }

    // Frame f of the batch: its draws, in the chain's order (bits, noise).
    void Make(channel::NoiseSource& source, int f) {
        std::uint64_t* bits = raw[f].data();
        source.RandomWords(bits, words);
        if (n % 64 != 0) bits[words - 1] &= (1ull << (n % 64)) - 1;
        encoder.PrecodeWords(bits, n, prec.data() + 1);
#ifdef QUORVANE_FUSED_X86
        if (Vbmi())
            LevelsVbmi(prec.data(), design.target.Memory(), level, samples, levels.data());
        else
#endif
            LevelsPlain(prec.data(), design.target.Memory(), level, samples, levels.data());
        const double sigma = design.sigma;
        std::uint16_t* out = codes[f].data();
        if (design.settings.noise == ChainSettings::Noise::kLanes16) {
            source.NormalsLanes16(deviates.data(), samples);
#ifdef QUORVANE_FUSED_X86
            if (Vbmi()) {
                CodesAvx512(levels.data(), highest, deviates.data(), samples, n, sigma, rule, out,
                            slicer[f].data());
                return;
            }
#endif
            CodesPlain(levels.data(), deviates.data(), samples, n, sigma, rule, out,
                       slicer[f].data());
            return;
        }
        for (int k = 0; k < samples; ++k)
            clean[static_cast<std::size_t>(k)] = levels[static_cast<std::size_t>(k)];
        if (design.settings.noise == ChainSettings::Noise::kLanes)
            source.AddNoiseLanes(clean.data(), noisy.data(), samples, sigma);
        else
            source.AddNoise(clean.data(), noisy.data(), samples, sigma);
        adc.ToCodes(noisy.data(), out, samples, rule.shift);
#ifdef QUORVANE_FUSED_X86
        if (Vbmi()) {
            SlicerAvx512(out, n, rule, slicer[f].data());
            return;
        }
#endif
        SlicerPlain(out, n, rule, slicer[f].data());
    }

    // The bits in which two frames of words differ.
    std::uint32_t XorCount(const std::uint64_t* a, const std::uint64_t* b) const {
#ifdef QUORVANE_FUSED_X86
        if (Vbmi()) return XorCountPopcnt(a, b, words);
#endif
        std::uint32_t count = 0;
        for (int w = 0; w < words; ++w)
            count += static_cast<std::uint32_t>(std::popcount(a[w] ^ b[w]));
        return count;
    }

    static void Count(Monitor& monitor, std::uint32_t wrong, int bits) {
        monitor.bits += static_cast<std::uint64_t>(bits);
        monitor.bitErrors += wrong;
        monitor.frames += 1;
        monitor.frameErrors += wrong != 0 ? 1 : 0;
    }
};

bool FusedChunk::Applies(const BerSetup& setup, const ChannelDesign& design) {
    if (design.readback || design.timing || design.settings.adcBits <= 0) return false;
    const channel::Target& target = design.target;
    if (!target.IsInteger() || target.Memory() > 6 ||
        !channel::Adc::WhyNot(target, design.settings.adcBits).empty())
        return false;
    for (float l : target.GetTrellis().level)
        if (l < -128 || l > 127) return false;
    for (detectors::Kind kind : DetectorsOf(setup, design)) {
        if (kind == detectors::Kind::kSlicer && target.HasSlicer()) continue;
        if (kind != detectors::Kind::kViterbi) return false;
    }
    return true;
}

bool FusedChunk::Vectorized() {
#ifdef QUORVANE_FUSED_X86
    return HasVbmi();
#else
    return false;
#endif
}

FusedChunk::FusedChunk(const BerSettings& settings, const BerSetup& setup,
                       const ChannelDesign& design, bool vector)
    : impl_(std::make_unique<Impl>(settings, setup, design, vector)) {
    assert(Applies(setup, design));
}

FusedChunk::~FusedChunk() = default;

PointCounts FusedChunk::Run(int point, std::uint64_t chunk, int frames) {
    Impl& m = *impl_;
    channel::NoiseSource source(m.settings.seed, ChunkStream(point, chunk));
    PointCounts counts;
    counts.detectors.resize(m.kinds.size());
    for (int first = 0; first < frames; first += kBatch) {
        const int batch = std::min(kBatch, frames - first);
        for (int f = 0; f < batch; ++f) m.Make(source, f);
        for (std::size_t d = 0; d < m.kinds.size(); ++d) {
            if (m.kinds[d] == detectors::Kind::kSlicer) {
                for (int f = 0; f < batch; ++f)
                    Impl::Count(counts.detectors[d],
                                m.XorCount(m.slicer[f].data(), m.raw[f].data()), m.n);
                continue;
            }
            const std::uint16_t* rows[kBatch];
            std::uint64_t* out[kBatch];
            for (int f = 0; f < batch; ++f) {
                rows[f] = m.codes[f].data();
                out[f] = m.decided[f].data();
            }
            m.viterbi->DetectCodes(batch, rows, m.n, m.tail, out);
            for (int f = 0; f < batch; ++f)
                Impl::Count(counts.detectors[d], m.XorCount(out[f], m.raw[f].data()), m.n);
        }
        counts.bits += static_cast<std::uint64_t>(batch) * static_cast<std::uint64_t>(m.n);
    }
    return counts;
}

} // namespace engine
