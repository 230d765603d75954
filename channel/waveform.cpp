#include "channel/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace channel {

float pulseTab[kPulseLen];
float waveBuf[kColumns];

namespace {

// |c| sin(x) / x, held in extended precision until the caller stores it.
// x is exactly 0 only for the origin's own term.
long double SincTerm(double magnitude, float x) {
    if (x == 0.0f) return magnitude;
    const long double xl = x;
    return static_cast<long double>(magnitude) *
           static_cast<long double>(std::sin(static_cast<double>(x))) / xl;
}

} // namespace

void BuildPulseTable(const double* coefficients, int count, PulseTable& table) {
    for (int i = 0; i < kPulseLen; ++i) {
        const int n = kPulseOrigin - i;
        // The terms are sinc(pi * (t + m)) with t = -tau, the same values as
        // sinc(pi * (tau - m)) since sinc is even. Their arguments are built
        // by repeated single-precision additions of pi, not as pi * (t + m):
        // that is where the table's rounding noise comes from, and the noise
        // decides plot rows.
        const float t = static_cast<float>(n * 0.1);
        float x = static_cast<float>(kPi * t);

        // Accumulated in the table entry itself, rounded after every step, in
        // the coefficients' order, each term's magnitude added or subtracted.
        float& entry = table[i];
        entry = 0.0f;
        for (int m = 0; m < count; ++m) {
            if (m > 0) x = static_cast<float>(x + kPi);
            const double c = coefficients[m];
            const long double term = SincTerm(std::fabs(c), x);
            entry = static_cast<float>(c > 0 ? entry + term : entry - term);
        }
    }
}

void BuildPulseTable(PulseTable& table) {
    double target[kTargetLen];
    for (int m = 0; m < kTargetLen; ++m) target[m] = kTarget[m];
    BuildPulseTable(target, kTargetLen, table);
}

void BuildPulseTable() {
    BuildPulseTable(pulseTab);
}

void SynthesizeWave(const Sequence& prec, const PulseTable& table, Wave& wave) {
    // Where each 1-bit's pulse starts in the table, in ascending k. Column j
    // of bit k's pulse is table index j - (its origin column) + 600, which
    // runs over 500 - 10k ... 1099 - 10k: always inside the table.
    const float* pulses[kBits];
    int count = 0;
    for (int k = 0; k < kBits; ++k) {
        if (prec[k] != 0)
            pulses[count++] = table + (kPulseOrigin - kFirstSampleColumn - kPointsPerBit * k);
    }
    // Eight columns at a time, summed in registers over all pulses and stored
    // once. Each column still starts from 0 and takes its contributions in
    // ascending k, every sum rounded to single precision, so the result is
    // bit for bit that of adding whole pulses into the buffer one after
    // another, at half the time (no load and store of the buffer per pulse).
    constexpr int kStrip = 8;
    static_assert(kColumns % kStrip == 0);
    for (int j0 = 0; j0 < kColumns; j0 += kStrip) {
        float sum[kStrip] = {};
        for (int n = 0; n < count; ++n) {
            const float* column = pulses[n] + j0;
            for (int l = 0; l < kStrip; ++l) sum[l] += column[l];
        }
        for (int l = 0; l < kStrip; ++l) wave[j0 + l] = sum[l];
    }
}

void SynthesizeWave() {
    SynthesizeWave(precData, pulseTab, waveBuf);
}

void SynthesizeWave(const float* weight, int n, const PulseTable& table, int first, int count,
                    float* wave) {
    // Rounded down, for negative times too.
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    for (int j = 0; j < count; ++j) {
        // Time in tenths of a bit period. Bit k's pulse is the table from
        // index kPulseOrigin + tenths - 10 k, which must lie in the table.
        const int tenths = first + j;
        const int lowest =
            std::max(0, -floorDiv(kPulseLen - 1 - kPulseOrigin - tenths, kPointsPerBit));
        const int highest = std::min(n - 1, floorDiv(tenths + kPulseOrigin, kPointsPerBit));
        float sum = 0.0f;
        for (int k = lowest; k <= highest; ++k) {
            if (weight[k] == 0.0f) continue;
            sum += weight[k] * table[kPulseOrigin + tenths - kPointsPerBit * k];
        }
        wave[j] = sum;
    }
}

} // namespace channel
