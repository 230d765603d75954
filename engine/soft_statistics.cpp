#include "engine/soft_statistics.h"

#include <algorithm>
#include <cmath>

#include "channel/quadrature.h"

namespace engine {
namespace {

// log2(1 + e^x), without overflow for large x.
double Log2OnePlusExp(double x) {
    if (x > 30) return x / std::log(2.0);
    return std::log1p(std::exp(x)) / std::log(2.0);
}

} // namespace

LlrStatistics::LlrStatistics() {
    for (auto& c : counts) c.assign(kBins, 0);
    inBin.assign(kReliabilityBins, 0);
    wrongInBin.assign(kReliabilityBins, 0);
    claimedInBin.assign(kReliabilityBins, 0);
}

int LlrStatistics::BinOf(float l) {
    if (!(l > -kReach)) return std::isnan(l) ? kBins / 2 : 0;
    if (!(l < kReach)) return kBins - 1;
    return std::clamp(static_cast<int>(std::floor((l + kReach) / kBin)), 0, kBins - 1);
}

double LlrStatistics::Middle(int bin) {
    return -kReach + (bin + 0.5) * kBin;
}

void LlrStatistics::Add(const float* llr, const std::uint8_t* raw, int n) {
    for (int k = 0; k < n; ++k) {
        const float l = llr[k];
        const int b = raw[k];
        ++counts[static_cast<std::size_t>(b)][static_cast<std::size_t>(BinOf(l))];
        const bool wrong = (l < 0) != (b != 0);
        const double magnitude = std::fabs(static_cast<double>(l));
        const int r =
            std::min(kReliabilityBins - 1,
                     static_cast<int>(std::min(magnitude, kReliabilityReach) / kReliabilityBin));
        ++inBin[static_cast<std::size_t>(r)];
        wrongInBin[static_cast<std::size_t>(r)] += wrong ? 1 : 0;
        claimedInBin[static_cast<std::size_t>(r)] += 1 / (1 + std::exp(magnitude));
        informationSum += Log2OnePlusExp(-static_cast<double>(l) * (1 - 2 * b));
        errors += wrong ? 1 : 0;
    }
    bits += static_cast<std::uint64_t>(n);
}

void LlrStatistics::Add(const LlrStatistics& o) {
    for (int b = 0; b < 2; ++b)
        for (int i = 0; i < kBins; ++i) counts[b][i] += o.counts[b][i];
    for (int r = 0; r < kReliabilityBins; ++r) {
        inBin[r] += o.inBin[r];
        wrongInBin[r] += o.wrongInBin[r];
        claimedInBin[r] += o.claimedInBin[r];
    }
    informationSum += o.informationSum;
    bits += o.bits;
    errors += o.errors;
}

double LlrStatistics::MutualInformation() const {
    std::uint64_t total[2] = {0, 0};
    for (int b = 0; b < 2; ++b)
        for (std::uint64_t c : counts[b]) total[b] += c;
    if (total[0] == 0 || total[1] == 0) return 0;
    double information = 0;
    for (int i = 0; i < kBins; ++i) {
        const double p0 = double(counts[0][i]) / double(total[0]);
        const double p1 = double(counts[1][i]) / double(total[1]);
        for (double p : {p0, p1})
            if (p > 0) information += 0.5 * p * std::log2(2 * p / (p0 + p1));
    }
    return information;
}

double LlrStatistics::AverageInformation() const {
    return bits > 0 ? 1 - informationSum / double(bits) : 0;
}

double InformationOfSigma(double sigma) {
    if (!(sigma > 0)) return 0;
    // E over t ~ N(0, 1) of log2(1 + e^-(sigma^2/2 + sigma t)): panels fine
    // enough that the soft corner, 1/sigma wide in t, is well resolved.
    static const struct Nodes {
        std::vector<double> t, w;
        Nodes() {
            channel::GaussLegendrePanels(-12, 12, 192, t, w);
            for (std::size_t i = 0; i < t.size(); ++i)
                w[i] *= std::exp(-0.5 * t[i] * t[i]) / std::sqrt(2 * 3.141592653589793);
        }
    } nodes;
    double mean = 0;
    for (std::size_t i = 0; i < nodes.t.size(); ++i)
        mean += nodes.w[i] * Log2OnePlusExp(-(0.5 * sigma * sigma + sigma * nodes.t[i]));
    return 1 - mean;
}

double SigmaOfInformation(double information) {
    if (!(information > 0)) return 0;
    const double goal = std::min(information, 0.9999);
    double lo = 0, hi = 1;
    while (InformationOfSigma(hi) < goal) hi *= 2;
    for (int i = 0; i < 100 && hi - lo > 1e-12 * hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        (InformationOfSigma(mid) < goal ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

} // namespace engine
