#pragma once
// The decoders, one frame at a time. Soft information everywhere is the
// ratio L = ln P(bit = 0) / P(bit = 1) in float (L < 0 decides 1): a decoder
// takes a ratio per code bit (the channel's, or a detector's extrinsic ones)
// and gives the a-posteriori ratios; posterior minus input is the extrinsic
// information to hand back to a detector.
//
// Every decoder runs the same loop: before each iteration, and after the
// last, the hard decisions' syndrome is taken; with earlyStop it ends at the
// first zero syndrome, so `iterations` counts the iterations run (0 when the
// input already satisfies every check). Without earlyStop it runs all
// maxIterations and `syndromeZero` tells about the end.
//
// Inputs: a NaN ratio counts as 0 (no information), and ratios are clipped
// to +-kMaxRatio.
#include <cstdint>
#include <vector>

#include "codes/code.h"

namespace codes {

inline constexpr float kMaxRatio = 1000.0f;

enum class Algorithm {
    // Layered (one check at a time, in index order) min-sum whose
    // check-to-variable magnitudes are the smallest other |Q| times
    // `normalization`: the default.
    kNormalizedMinSum,
    // The same with max(smallest - offset, 0) instead.
    kOffsetMinSum,
    // Flooding sum-product: every check, then every variable, in the log
    // domain; the check rule is the tanh rule's exact equivalent
    // a [+] b = sign(a) sign(b) min(|a|, |b|) + ln(1 + e^-|a+b|) - ln(1 + e^-|a-b|),
    // in double. The oracle for the others.
    kSumProduct,
};

struct DecoderOptions {
    Algorithm algorithm = Algorithm::kNormalizedMinSum;
    float normalization = 0.75f; // kNormalizedMinSum, in 0 ... 1
    float offset = 0.5f;         // kOffsetMinSum, a ratio >= 0
    int maxIterations = 10;      // 0 ... kMaxIterations
    bool earlyStop = true;
};
inline constexpr int kMaxIterations = 100;

struct FrameResult {
    bool syndromeZero = false;
    int iterations = 0;
};

// Decodes ratios[0 ... n-1]: bits[v] is 1 when posterior[v] < 0. posterior
// may be null.
//
// The min-sum decoders' arithmetic, in float: for each check c in order and
// each of its edges e to variable v, Q_e = L_v - R_e; then with the smallest
// |Q| of the check m1, the second smallest m2 (m2 = m1 on a tie) and the
// parity of the check's negative Q's, each edge gets R_e = +-g(|Q_e| == m1 ?
// m2 : m1), negative when the other edges' Q's hold an odd number of
// negatives (a Q of 0 counts as positive), and L_v = Q_e + R_e.
// g(m) = normalization * m or (m - offset > 0 ? m - offset : 0). m1 and m2
// are taken with kMaxRatio among the |Q|, so no message exceeds
// g(kMaxRatio) and a check of one edge sends that. The fast decoders
// (codes/frames.h) do the same operations and give the same bits.
FrameResult Decode(const Code& code, const DecoderOptions& options, const float* ratios,
                   std::uint8_t* bits, float* posterior);

struct Decoded {
    std::vector<std::uint8_t> bits;
    std::vector<float> posterior;
    bool syndromeZero = false;
    int iterations = 0;
};
Decoded Decode(const Code& code, const DecoderOptions& options, const std::vector<float>& ratios);

// posterior - input, the information the code added.
std::vector<float> Extrinsic(const std::vector<float>& posterior, const std::vector<float>& input);

// The input as the decoders read it: NaN to 0, clipped to +-kMaxRatio.
float CleanRatio(float ratio);

} // namespace codes
