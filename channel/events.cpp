#include "channel/events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace channel {

namespace {

struct Search {
    const std::vector<double>& f;
    int nu;
    bool hasPrecoder;
    std::uint32_t taps;
    double maxD2;
    int maxLen;
    bool shrink; // lower maxD2 to every event found: only the smallest is wanted
    std::vector<std::int8_t> e;
    std::vector<ErrorEvent> found;

    // The output of e (length len) at time j: the target over e[j-nu ... j].
    double OutputAt(int len, int j) const {
        double v = 0;
        for (int m = 0; m <= nu; ++m) {
            const int i = j - m;
            if (i >= 0 && i < len)
                v += f[static_cast<std::size_t>(m)] * e[static_cast<std::size_t>(i)];
        }
        return v;
    }

    int RawBitErrors() const {
        const int len = static_cast<int>(e.size());
        if (!hasPrecoder)
            return static_cast<int>(
                std::count_if(e.begin(), e.end(), [](auto x) { return x != 0; }));
        int count = 0;
        for (int j = 0; j < len + nu; ++j) {
            int bit = 0;
            for (int m = 0; m <= nu; ++m) {
                const int i = j - m;
                const bool tap = m == 0 || ((taps >> (m - 1)) & 1u) != 0;
                if (tap && i >= 0 && i < len) bit ^= e[static_cast<std::size_t>(i)] != 0 ? 1 : 0;
            }
            count += bit;
        }
        return count;
    }

    // e holds a prefix whose settled outputs 0 ... len-1 square to `settled`,
    // ending in `zeros` zero entries.
    void Extend(double settled, int zeros) {
        const int len = static_cast<int>(e.size());
        if (zeros == 0) {
            // Closing the event here settles the nu outputs after it.
            double d2 = settled;
            for (int j = len; j < len + nu; ++j) {
                const double v = OutputAt(len, j);
                d2 += v * v;
            }
            if (d2 <= maxD2) {
                found.push_back({d2, e, RawBitErrors()});
                if (shrink) maxD2 = d2;
            }
        }
        if (len == maxLen) return;
        for (std::int8_t x = -1; x <= 1; ++x) {
            if (x == 0 && zeros == nu - 1) continue;
            e.push_back(x);
            const double v = OutputAt(len + 1, len);
            const double next = settled + v * v;
            if (next <= maxD2) Extend(next, x == 0 ? zeros + 1 : 0);
            e.pop_back();
        }
    }
};

Search Searcher(const Target& target, double maxD2, int maxLen, bool shrink) {
    return Search{target.Coefficients(),
                  target.Memory(),
                  target.HasPrecoder(),
                  target.PrecoderTaps(),
                  maxD2,
                  maxLen,
                  shrink,
                  {},
                  {}};
}

void Run(Search& s) {
    if (s.maxLen < 1) return;
    s.e.push_back(1);
    const double v = s.OutputAt(1, 0);
    if (v * v <= s.maxD2) s.Extend(v * v, 0);
}

} // namespace

std::vector<ErrorEvent> FindErrorEvents(const Target& target, double maxD2, int maxLen) {
    Search s = Searcher(target, maxD2, maxLen, false);
    Run(s);
    std::sort(s.found.begin(), s.found.end(), [](const ErrorEvent& a, const ErrorEvent& b) {
        if (a.d2 != b.d2) return a.d2 < b.d2;
        if (a.e.size() != b.e.size()) return a.e.size() < b.e.size();
        return a.e < b.e;
    });
    return std::move(s.found);
}

ErrorEvent MakeErrorEvent(const Target& target, std::vector<std::int8_t> e) {
    const auto nonzero = [](std::int8_t x) { return x != 0; };
    const auto first = std::find_if(e.begin(), e.end(), nonzero);
    const auto last = std::find_if(e.rbegin(), e.rend(), nonzero).base();
    std::vector<std::int8_t> trimmed(first, last);
    if (!trimmed.empty() && trimmed.front() < 0)
        for (std::int8_t& x : trimmed) x = static_cast<std::int8_t>(-x);
    Search s = Searcher(target, 0, 0, false);
    s.e = std::move(trimmed);
    const int len = static_cast<int>(s.e.size());
    double d2 = 0;
    for (int j = 0; j < len + s.nu; ++j) {
        const double v = s.OutputAt(len, j);
        d2 += v * v;
    }
    return {d2, s.e, s.RawBitErrors()};
}

double MinimumDistance(const Target& target, int maxLen) {
    Search s = Searcher(target, target.Energy(), maxLen, true);
    Run(s);
    double best = target.Energy();
    for (const ErrorEvent& ev : s.found) best = std::min(best, ev.d2);
    return best;
}

std::string EventText(const ErrorEvent& ev) {
    std::string text;
    for (auto x : ev.e) text += x > 0 ? '+' : x < 0 ? '-' : '0';
    return text;
}

std::string DistanceText(double d2) {
    char text[32];
    if (d2 == std::floor(d2) && std::fabs(d2) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", d2);
    else
        std::snprintf(text, sizeof text, "%.9g", d2);
    return text;
}

std::vector<ErrorEvent> UnionBoundEvents(const Target& target) {
    return FindErrorEvents(target, target.D2Min() * kBoundReach, kBoundMaxLen);
}

} // namespace channel
