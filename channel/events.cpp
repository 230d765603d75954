#include "channel/events.h"

#include <algorithm>
#include <cmath>

#include "channel/coding.h"
#include "channel/slicer.h"

namespace channel {

namespace {

// The output of e (length len) at time j: the target over e[j-5 ... j].
int OutputAt(const std::int8_t* e, int len, int j) {
    int v = 0;
    for (int m = 0; m < kTargetLen; ++m) {
        const int i = j - m;
        if (i >= 0 && i < len) v += kTarget[m] * e[i];
    }
    return v;
}

int RawBitErrors(const std::vector<std::int8_t>& e) {
    // The inverse precoder's taps 1 + D + D^4 + D^5 over GF(2).
    constexpr int kTaps[] = {0, 1, 4, 5};
    const int len = static_cast<int>(e.size());
    int count = 0;
    for (int j = 0; j < len + 5; ++j) {
        int bit = 0;
        for (int t : kTaps) {
            const int i = j - t;
            if (i >= 0 && i < len) bit ^= e[static_cast<std::size_t>(i)] != 0 ? 1 : 0;
        }
        count += bit;
    }
    return count;
}

struct Search {
    int maxD2;
    int maxLen;
    std::vector<std::int8_t> e;
    std::vector<ErrorEvent> found;

    // e holds a prefix whose settled outputs 0 ... len-1 square to `settled`,
    // ending in `zeros` zero entries.
    void Extend(int settled, int zeros) {
        const int len = static_cast<int>(e.size());
        if (zeros == 0) {
            // Closing the event here settles the five outputs after it.
            int d2 = settled;
            for (int j = len; j < len + kTargetLen - 1; ++j) {
                const int v = OutputAt(e.data(), len, j);
                d2 += v * v;
            }
            if (d2 <= maxD2) found.push_back({d2, e, RawBitErrors(e)});
        }
        if (len == maxLen) return;
        for (std::int8_t x = -1; x <= 1; ++x) {
            if (x == 0 && zeros == 4) continue;
            e.push_back(x);
            const int v = OutputAt(e.data(), len + 1, len);
            const int next = settled + v * v;
            if (next <= maxD2) Extend(next, x == 0 ? zeros + 1 : 0);
            e.pop_back();
        }
    }
};

} // namespace

std::vector<ErrorEvent> FindErrorEvents(int maxD2, int maxLen) {
    Search s{maxD2, maxLen, {}, {}};
    if (maxLen >= 1) {
        s.e.push_back(1);
        const int v = OutputAt(s.e.data(), 1, 0);
        if (v * v <= maxD2) s.Extend(v * v, 0);
    }
    std::sort(s.found.begin(), s.found.end(), [](const ErrorEvent& a, const ErrorEvent& b) {
        if (a.d2 != b.d2) return a.d2 < b.d2;
        if (a.e.size() != b.e.size()) return a.e.size() < b.e.size();
        return a.e < b.e;
    });
    return std::move(s.found);
}

std::string EventText(const ErrorEvent& ev) {
    std::string text;
    for (auto x : ev.e) text += x > 0 ? '+' : x < 0 ? '-' : '0';
    return text;
}

double QFunction(double x) {
    return 0.5 * std::erfc(x / std::sqrt(2.0));
}

double SlicerBer(double sigma) {
    if (!(sigma > 0)) return 0.0;
    // How often each level occurs: precoded random data are independent fair
    // bits, so the 64 patterns of the six target taps are equally likely.
    double weight[2 * kMaxLevel + 1] = {};
    for (int pattern = 0; pattern < 64; ++pattern) {
        int v = 0;
        for (int m = 0; m < kTargetLen; ++m) v += kTarget[m] * ((pattern >> m) & 1);
        weight[v + kMaxLevel] += 1.0 / 64.0;
    }
    // P(level l is sliced to l'), over the slicer's intervals; the edge
    // levels own everything beyond them.
    auto sliced = [sigma](int l, int to) {
        const double below = to == -kMaxLevel ? 1.0 : QFunction((to - 0.5 - l) / sigma);
        const double above = to == kMaxLevel ? 0.0 : QFunction((to + 0.5 - l) / sigma);
        return below - above;
    };
    double ber = 0.0;
    for (int l = -kMaxLevel; l <= kMaxLevel; ++l) {
        if (weight[l + kMaxLevel] == 0.0) continue;
        double wrong = 0.0;
        for (int to = -kMaxLevel; to <= kMaxLevel; ++to)
            if (((to - l) & 1) != 0) wrong += sliced(l, to);
        ber += weight[l + kMaxLevel] * wrong;
    }
    return ber;
}

// Per raw bit: an event e starts at a given bit only where the data allow
// it, that is where the true precoder bits are 1 under every +1 of e and 0
// under every -1, which random data do with probability 2^-w (w = the nonzero
// entries of e); e and -e together 2 * 2^-w. The detector then prefers the
// wrong path with at most the probability that the noise carries the samples
// past half the distance between the two ideal sequences, Q(sqrt(d2) / (2
// sigma)), and costs rawBitErrors raw bits. Summing over all start positions
// and events bounds the expected raw-bit errors per bit.
double UnionBound(const std::vector<ErrorEvent>& events, double sigma) {
    if (!(sigma > 0)) return 0.0;
    double sum = 0.0;
    for (const auto& ev : events) {
        int w = 0;
        for (auto x : ev.e) w += x != 0 ? 1 : 0;
        sum += 2.0 * std::ldexp(1.0, -w) * ev.rawBitErrors *
               QFunction(std::sqrt(static_cast<double>(ev.d2)) / (2.0 * sigma));
    }
    return sum;
}

std::vector<ErrorEvent> UnionBoundEvents() {
    return FindErrorEvents(kBoundMaxD2, kBoundMaxLen);
}

} // namespace channel
