#pragma once
// From a frame's decision words to its raw bits, for every detector on a
// target's trellis. Internal to detectors/.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "detectors/viterbi_kernels.h"

namespace detectors::viterbi_detail {

// From the decision words of a frame and the state it ends in to its raw
// bits. The inverse precoder rides along: state s at step k holds precoder
// bits k (bit nu-1) ... k-nu+1 (bit 0), and its decision bit is the bit k-nu
// it dropped, so (s << 1) | d is the window of bits k ... k-nu whose parity
// under the inverse precoder's taps is raw bit k. Below k = nu the window
// reaches before the frame, where the history is zero by definition, so the
// first bits are gathered and precoded apart.
class Traceback {
  public:
    explicit Traceback(const channel::Target& target)
        : nu_(target.Memory()), half_(target.States() / 2),
          taps_(target.HasPrecoder() ? target.PrecoderTaps() : 0u) {
        // A table, as a population count is slow on processors without one.
        unsigned window = 1u << nu_; // p_k, and the taps' bits
        for (int m = 1; m <= nu_; ++m)
            if ((taps_ >> (m - 1)) & 1u) window |= 1u << (nu_ - m);
        for (unsigned w = 0; w < (2u << nu_); ++w)
            parity_[w] = static_cast<std::uint8_t>(std::popcount(w & window) & 1);
        for (int m = 1; m <= nu_; ++m)
            if ((taps_ >> (m - 1)) & 1u) tapShift_[tapCount_++] = m;
    }

    // One frame: word k at dec[k * stride].
    template <typename Word>
    void Run(const Word* dec, int n, int tail, int end, std::uint8_t* raw, int stride = 1) const {
        const std::size_t step = static_cast<std::size_t>(stride);
        int s = end;
        for (int k = n + tail - 1; k >= n; --k) s = Back(s, Bit(dec[k * step], s));
        int k = n - 1;
        for (; k >= nu_; --k) {
            const int d = Bit(dec[k * step], s);
            raw[k] = parity_[(s << 1) | d];
            s = Back(s, d);
        }
        std::uint8_t head[channel::kMaxMemory];
        const int first = k + 1; // bits 0 ... first - 1 remain
        for (; k >= 0; --k) {
            head[k] = static_cast<std::uint8_t>(s >> (nu_ - 1));
            s = Back(s, Bit(dec[k * step], s));
        }
        unsigned hist = 0;
        for (int i = 0; i < first; ++i) {
            const unsigned p = head[i];
            raw[i] = static_cast<std::uint8_t>((p ^ std::popcount(hist & taps_)) & 1u);
            hist = (hist << 1) | p;
        }
    }

    // Up to kMaxFrames frames of up to 32 states at once, their words
    // interleaved (frame f's word k at dec[k * kMaxFrames + f]), frame f
    // ending in state end[f]: in the lanes of one register where `kernel`
    // has them (AVX2 and up), else one after the other. The same bits as Run
    // on each frame. `words` is scratch.
    void RunFrames(Kernel kernel, int frames, const std::uint32_t* dec, int n, int tail,
                   const int* end, std::uint8_t* const* raw,
                   std::vector<std::uint32_t>& words) const;

    // RunFrames with each frame's raw bits as words: bit i of raw[f][w] is
    // raw bit 64 w + i, the last word's bits past n 0. `bytes` is scratch.
    void RunFramesToWords(Kernel kernel, int frames, const std::uint32_t* dec, int n, int tail,
                          const int* end, std::uint64_t* const* raw,
                          std::vector<std::uint32_t>& words,
                          std::vector<std::uint8_t>& bytes) const;

  private:
    template <typename Word> static int Bit(Word word, int s) {
        return static_cast<int>((word >> s) & 1u);
    }
    int Back(int s, int d) const { return ((s & (half_ - 1)) << 1) | d; }
    // The raw bits of 32-bit words of precoder bits (bit i of word j is bit
    // 32 j + i of the frame), n of them, from the all-zero history.
    void RawOfWords(const std::uint32_t* words, int stride, int n, std::uint8_t* raw) const;
    // Raw word k / 64 of those words (k a multiple of 64), `before` the word
    // of precoder bits before it, which it then holds.
    std::uint64_t RawWord(const std::uint32_t* words, int stride, int n, int k,
                          std::uint64_t& before) const;

    int nu_, half_;
    unsigned taps_;
    std::uint8_t parity_[2 << channel::kMaxMemory] = {};
    int tapShift_[channel::kMaxMemory] = {}; // the m of every tap
    int tapCount_ = 0;
};

// The textbook traceback to precoder bits of steps = n + tail 64-bit
// decision words (the plain detectors' oracle form), from state 0 with a
// tail or the best end state without one, then the inverse precoder as a
// pass of its own.
void PlainTraceback(const channel::Target& target, const std::uint64_t* decisions, int n, int tail,
                    const float* pm, std::uint8_t* raw);
// The same from a given end state.
void PlainTracebackFrom(const channel::Target& target, const std::uint64_t* decisions, int n,
                        int tail, int end, std::uint8_t* raw);

} // namespace detectors::viterbi_detail
