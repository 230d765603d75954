#include "channel/constrained_events.h"

#include <algorithm>

namespace channel {

namespace {

// The pairs a prefix can come from: present[phase << W | window], the window
// holding the last W bits of p (bit 0 the newest) and phase the newest bit's
// position in its word.
struct Pairs {
    const ConstraintRow* row = nullptr;
    int width = 0, period = 1;
    std::vector<std::uint8_t> present;

    // Whether the newest coded bit of the window keeps the run rule.
    bool Keeps(int phase, int window) const {
        int run = 0;
        while (run < width - 1 && (((window >> run) ^ (window >> (run + 1))) & 1) != 0) ++run;
        return run == 0 || RunAllowed(*row, phase, run);
    }
    // One more entry x of e; `mask` the last W entries' |e| after it.
    Pairs Step(int x, int mask) const {
        Pairs next = *this;
        std::fill(next.present.begin(), next.present.end(), 0);
        const int full = (1 << width) - 1;
        for (int phase = 0; phase < period; ++phase) {
            for (int w = 0; w <= full; ++w) {
                if (!present[static_cast<std::size_t>((phase << width) | w)]) continue;
                const int phase2 = (phase + 1) % period;
                for (int b = 0; b < 2; ++b) {
                    if ((x > 0 && b == 0) || (x < 0 && b == 1)) continue;
                    const int w2 = ((w << 1) | b) & full;
                    if (Keeps(phase2, w2) && Keeps(phase2, w2 ^ mask))
                        next.present[static_cast<std::size_t>((phase2 << width) | w2)] = 1;
                }
            }
        }
        return next;
    }
    bool Empty() const {
        return std::none_of(present.begin(), present.end(), [](std::uint8_t v) { return v != 0; });
    }
};

Pairs Start(const ConstraintRow& row) {
    Pairs p;
    p.row = &row;
    p.width = row.maxOnes + 2;
    p.period = row.oddStart ? row.codeBits : 1;
    p.present.assign(static_cast<std::size_t>(p.period << p.width), 0);
    for (int phase = 0; phase < p.period; ++phase)
        p.present[static_cast<std::size_t>(phase << p.width)] = 1;
    // Every history the constraint allows, reached from zeros.
    for (int i = 0; i < p.width; ++i) {
        Pairs next = p.Step(0, 0);
        for (std::size_t s = 0; s < p.present.size(); ++s) next.present[s] |= p.present[s];
        p = next;
    }
    return p;
}

struct Search {
    const Target& target;
    const std::vector<double>& f;
    int nu;
    double maxD2;
    int maxLen;
    bool shrink;
    std::vector<std::int8_t> e;
    int mask = 0;
    std::vector<ErrorEvent> found;

    double OutputAt(int len, int j) const {
        double v = 0;
        for (int m = 0; m <= nu; ++m) {
            const int i = j - m;
            if (i >= 0 && i < len)
                v += f[static_cast<std::size_t>(m)] * e[static_cast<std::size_t>(i)];
        }
        return v;
    }

    // Whether both sequences can go on past the event: its last entries
    // leave the window after width - 1 equal bits.
    bool CanClose(Pairs pairs, int m) const {
        const int full = (1 << pairs.width) - 1;
        for (int i = 0; i < pairs.width - 1; ++i) {
            m = (m << 1) & full;
            pairs = pairs.Step(0, m);
            if (pairs.Empty()) return false;
        }
        return true;
    }

    void Extend(const Pairs& pairs, double settled, int zeros) {
        const int len = static_cast<int>(e.size());
        if (zeros == 0) {
            double d2 = settled;
            for (int j = len; j < len + nu; ++j) {
                const double v = OutputAt(len, j);
                d2 += v * v;
            }
            if (d2 <= maxD2 && CanClose(pairs, mask)) {
                found.push_back(MakeErrorEvent(target, e));
                if (shrink) maxD2 = d2;
            }
        }
        if (len == maxLen) return;
        const int full = (1 << pairs.width) - 1;
        for (std::int8_t x = -1; x <= 1; ++x) {
            if (x == 0 && zeros == nu - 1) continue;
            e.push_back(x);
            const double v = OutputAt(len + 1, len);
            const double next = settled + v * v;
            if (next <= maxD2) {
                const int saved = mask;
                mask = ((mask << 1) | (x != 0 ? 1 : 0)) & full;
                const Pairs after = pairs.Step(x, mask);
                if (!after.Empty()) Extend(after, next, x == 0 ? zeros + 1 : 0);
                mask = saved;
            }
            e.pop_back();
        }
    }

    void Run(const ConstraintRow& row) {
        if (maxLen < 1) return;
        const Pairs start = Start(row);
        e.push_back(1);
        mask = 1;
        const double v = OutputAt(1, 0);
        const Pairs after = start.Step(1, mask);
        if (v * v <= maxD2 && !after.Empty()) Extend(after, v * v, 0);
    }
};

} // namespace

std::vector<ErrorEvent> FindConstrainedEvents(const Target& target, const ConstraintRow& row,
                                              double maxD2, int maxLen) {
    if (row.maxOnes == 0) return FindErrorEvents(target, maxD2, maxLen);
    Search s{target, target.Coefficients(), target.Memory(), maxD2, maxLen, false, {}, 0, {}};
    s.Run(row);
    std::sort(s.found.begin(), s.found.end(), [](const ErrorEvent& a, const ErrorEvent& b) {
        if (a.d2 != b.d2) return a.d2 < b.d2;
        if (a.e.size() != b.e.size()) return a.e.size() < b.e.size();
        return a.e < b.e;
    });
    return std::move(s.found);
}

double ConstrainedMinimumDistance(const Target& target, const ConstraintRow& row, int maxLen) {
    if (row.maxOnes == 0) return MinimumDistance(target, maxLen);
    Search s{target, target.Coefficients(), target.Memory(), target.Energy(), maxLen, true, {}, 0,
             {}};
    s.Run(row);
    double best = target.Energy();
    for (const ErrorEvent& ev : s.found) best = std::min(best, ev.d2);
    return best;
}

std::vector<ErrorEvent> ConstrainedBoundEvents(const Target& target, const ConstraintRow& row) {
    const double d2min = ConstrainedMinimumDistance(target, row, kMinDistanceMaxLen);
    return FindConstrainedEvents(target, row, d2min * kBoundReach, kBoundMaxLen);
}

} // namespace channel
