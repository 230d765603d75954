#pragma once
// What a detector's log-likelihood ratios say, gathered over many bits: the
// histograms of L given the true raw bit, the error rate in each bin of |L|
// beside the rate the ratios claim there, and the mutual information between
// the bit and its ratio. Ratios are L = ln P(0 | y) / P(1 | y), L < 0
// deciding 1.
//
// Two measures of information: the one of the conditional histograms,
//   I = 1/2 Sum_b Sum_bins p(l | b) log2(2 p(l | b) / (p(l | 0) + p(l | 1))),
// which holds whatever the ratios are worth, and the average
//   1 - E[log2(1 + e^(-L (1 - 2b)))],
// which equals it only when the ratios are consistent (L is the true log
// ratio): a detector that claims more than it knows (max-log, SOVA) pays for
// every confident mistake there, so its average falls below the histograms'
// measure, and the gap is what it overclaims.
#include <array>
#include <cstdint>
#include <vector>

namespace engine {

struct LlrStatistics {
    // Histogram bins of width kBin from -kReach to kReach; the two end bins
    // take everything beyond (and infinities).
    static constexpr double kBin = 0.25;
    static constexpr double kReach = 64;
    static constexpr int kBins = static_cast<int>(2 * kReach / kBin);
    // Reliability bins of |L|, kReliabilityBin wide up to kReliabilityReach,
    // the last one taking the rest.
    static constexpr double kReliabilityBin = 0.5;
    static constexpr double kReliabilityReach = 20;
    static constexpr int kReliabilityBins =
        static_cast<int>(kReliabilityReach / kReliabilityBin) + 1;

    std::array<std::vector<std::uint64_t>, 2> counts; // [true bit][bin]
    std::vector<std::uint64_t> inBin, wrongInBin;     // per reliability bin
    std::vector<double> claimedInBin;                 // Sum of 1 / (1 + e^|L|) there
    double informationSum = 0;                        // Sum of log2(1 + e^(-L (1 - 2b)))
    std::uint64_t bits = 0;
    std::uint64_t errors = 0; // the hard decisions' (L < 0 for a 1)

    LlrStatistics();
    // n ratios against their true bits (0/1 bytes).
    void Add(const float* llr, const std::uint8_t* raw, int n);
    void Add(const LlrStatistics& other);

    // The bin of a ratio, and the ratio at a bin's middle.
    static int BinOf(float l);
    static double Middle(int bin);
    double MutualInformation() const;
    double AverageInformation() const;
    double Ber() const { return bits > 0 ? double(errors) / double(bits) : 0.0; }
};

// The mutual information between a bit and a consistent Gaussian ratio of
// it, L ~ N((sigma^2 / 2)(1 - 2b), sigma^2): J(sigma), rising from 0 at 0
// towards 1 (ten Brink's J function), by quadrature; and its inverse, sigma
// for an information in 0 ... 1 (0.9999 and more give the sigma of 0.9999).
double InformationOfSigma(double sigma);
double SigmaOfInformation(double information);

} // namespace engine
