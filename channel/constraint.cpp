#include "channel/constraint.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace channel {

const std::vector<ConstraintRow>& Constraints() {
    static const std::vector<ConstraintRow> rows = {
        {ConstraintKind::kNone, "none",
         "no constraint code: the raw bits through the target's own precoder", 1, 1, 0, false, 1, 1,
         1, 1},
        {ConstraintKind::kMtr45, "mtr2-4/5",
         "rate 4/5 maximum transition run code, j = 2 (no tribit), k = 8", 4, 5, 2, false, 1, 1, 4,
         4},
        {ConstraintKind::kMtr67, "mtr2-6/7",
         "rate 6/7 with j = 2: refused, no such block code exists", 6, 7, 2, false, 1, 1, 7, 7},
        {ConstraintKind::kTvmtr89, "tvmtr-8/9",
         "rate 8/9 time-varying MTR: three transitions only from odd positions of the word, "
         "k = 11",
         8, 9, 3, true, 1, 2, 5, 6},
        {ConstraintKind::kRll1617, "rll-16/17",
         "rate 16/17 run-length limited code, k = 4, transitions unbounded", 16, 17, 0, false, 17,
         17, 2, 2},
    };
    return rows;
}

const ConstraintRow& ConstraintOf(ConstraintKind kind) {
    for (const ConstraintRow& row : Constraints())
        if (row.kind == kind) return row;
    return Constraints().front();
}

const ConstraintRow* FindConstraint(const std::string& name) {
    for (const ConstraintRow& row : Constraints())
        if (name == row.name) return &row;
    return nullptr;
}

std::string ConstraintNames() {
    std::string text;
    for (const ConstraintRow& row : Constraints())
        text += (text.empty() ? "" : ", ") + std::string(row.name);
    return text;
}

bool RunAllowed(const ConstraintRow& row, int phase, int run) {
    if (row.maxOnes == 0) return true;
    if (run > row.maxOnes) return false;
    if (run < row.maxOnes || !row.oddStart) return true;
    const int n = row.codeBits;
    const int start = ((phase - run + 1) % n + n) % n;
    return start % 2 == 1;
}

namespace {

int Bit(std::uint32_t word, int n, int i) {
    return static_cast<int>((word >> (n - 1 - i)) & 1u);
}

// The runs at a word's ends and the longest inside.
struct Runs {
    int leadOnes = 0, trailOnes = 0, leadZeros = 0, trailZeros = 0;
    int maxOnes = 0, maxZeros = 0;
    bool allowed = true; // every run of 1s inside passes RunAllowed
};

Runs RunsOf(const ConstraintRow& row, std::uint32_t word) {
    const int n = row.codeBits;
    Runs r;
    while (r.leadOnes < n && Bit(word, n, r.leadOnes) == 1) ++r.leadOnes;
    while (r.leadZeros < n && Bit(word, n, r.leadZeros) == 0) ++r.leadZeros;
    while (r.trailOnes < n && Bit(word, n, n - 1 - r.trailOnes) == 1) ++r.trailOnes;
    while (r.trailZeros < n && Bit(word, n, n - 1 - r.trailZeros) == 0) ++r.trailZeros;
    int ones = 0, zeros = 0;
    for (int i = 0; i < n; ++i) {
        if (Bit(word, n, i) == 1) {
            ++ones;
            zeros = 0;
            if (!RunAllowed(row, i, ones)) r.allowed = false;
        } else {
            ++zeros;
            ones = 0;
        }
        r.maxOnes = std::max(r.maxOnes, ones);
        r.maxZeros = std::max(r.maxZeros, zeros);
    }
    return r;
}

bool Joinable(const ConstraintRow& row, const Runs& r) {
    return r.allowed && r.leadOnes <= row.leadOnes && r.trailOnes <= row.trailOnes &&
           r.leadZeros <= row.leadZeros && r.trailZeros <= row.trailZeros &&
           r.maxZeros <= row.leadZeros + row.trailZeros;
}

} // namespace

ConstraintCode::ConstraintCode(const ConstraintRow& row) : row_(row) {
    const int n = row.codeBits, m = row.userBits;
    const std::uint32_t need = 1u << m;
    Runs ends; // the largest end runs over the words taken
    for (std::uint32_t w = 0; w < (1u << n); ++w) {
        const Runs r = RunsOf(row, w);
        if (!IsNone() && !Joinable(row, r)) continue;
        ++candidates_;
        if (words_.size() == need) continue;
        words_.push_back(w);
        ends.leadOnes = std::max(ends.leadOnes, r.leadOnes);
        ends.trailOnes = std::max(ends.trailOnes, r.trailOnes);
        ends.leadZeros = std::max(ends.leadZeros, r.leadZeros);
        ends.trailZeros = std::max(ends.trailZeros, r.trailZeros);
        ends.maxOnes = std::max(ends.maxOnes, r.maxOnes);
        ends.maxZeros = std::max(ends.maxZeros, r.maxZeros);
    }
    if (words_.size() < need) {
        why_ = std::string(row.name) + ": no rate " + std::to_string(m) + "/" + std::to_string(n) +
               " block code keeps its constraint: only " + std::to_string(candidates_) + " " +
               std::to_string(n) + "-bit words join freely, " + std::to_string(need) +
               " are needed";
        return;
    }
    if (!IsNone()) {
        j_ = row.maxOnes == 0 ? 0 : std::max(ends.maxOnes, ends.leadOnes + ends.trailOnes);
        k_ = std::max(ends.maxZeros, ends.leadZeros + ends.trailZeros);
        capacity_ = ConstraintCapacity(row, k_);
    }
    inverse_.assign(std::size_t{1} << n, -1);
    for (std::uint32_t d = 0; d < need; ++d) inverse_[words_[d]] = static_cast<std::int32_t>(d);
    const std::vector<std::int32_t> exact = inverse_;
    for (std::uint32_t w = 0; w < (1u << n); ++w) {
        if (exact[w] >= 0) continue;
        inverse_[w] = 0;
        for (int i = 0; i < n; ++i) {
            const std::int32_t d = exact[w ^ (1u << (n - 1 - i))];
            if (d >= 0) {
                inverse_[w] = d;
                break;
            }
        }
    }
}

const ConstraintCode& ConstraintCode::Of(ConstraintKind kind) {
    static std::mutex mutex;
    static std::vector<std::unique_ptr<ConstraintCode>> built(Constraints().size());
    std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t i = 0; i < Constraints().size(); ++i) {
        if (Constraints()[i].kind != kind) continue;
        if (!built[i]) built[i] = std::make_unique<ConstraintCode>(Constraints()[i]);
        return *built[i];
    }
    return Of(ConstraintKind::kNone);
}

void ConstraintCode::Encode(const std::uint8_t* user, int words, std::uint8_t* coded) const {
    const int n = row_.codeBits, m = row_.userBits;
    for (int w = 0; w < words; ++w) {
        std::uint32_t d = 0;
        for (int i = 0; i < m; ++i) d = (d << 1) | (user[w * m + i] & 1u);
        const std::uint32_t word = words_[d];
        for (int i = 0; i < n; ++i) coded[w * n + i] = static_cast<std::uint8_t>(Bit(word, n, i));
    }
}

void ConstraintCode::Decode(const std::uint8_t* coded, int words, std::uint8_t* user) const {
    const int n = row_.codeBits, m = row_.userBits;
    for (int w = 0; w < words; ++w) {
        std::uint32_t word = 0;
        for (int i = 0; i < n; ++i) word = (word << 1) | (coded[w * n + i] & 1u);
        const std::uint32_t d = static_cast<std::uint32_t>(inverse_[word]);
        for (int i = 0; i < m; ++i) user[w * m + i] = static_cast<std::uint8_t>(Bit(d, m, i));
    }
}

bool ConstraintCode::Obeys(const std::uint8_t* coded, int n) const {
    if (IsNone()) return true;
    int ones = 0, zeros = 0;
    for (int i = 0; i < n; ++i) {
        if (coded[i] != 0) {
            ++ones;
            zeros = 0;
            if (!RunAllowed(row_, i % row_.codeBits, ones)) return false;
        } else {
            ++zeros;
            ones = 0;
            if (zeros > k_) return false;
        }
    }
    return true;
}

double ConstraintCapacity(const ConstraintRow& row, int maxZeros) {
    if (row.maxOnes == 0 && maxZeros == 0) return 1.0;
    // States 0 ... J1 - 1: a run of s + 1 ones; J1 ... J1 + K1 - 1: a run of
    // s - J1 + 1 zeros. An unbounded run is one state that loops on itself.
    const int j1 = row.maxOnes == 0 ? 1 : row.maxOnes;
    const int k1 = maxZeros == 0 ? 1 : maxZeros;
    const int states = j1 + k1;
    const int period = row.oddStart ? row.codeBits : 1;
    std::vector<long double> v(static_cast<std::size_t>(states), 1.0L), next(v.size());
    long double growth = 1;
    for (int round = 0; round < 4000; ++round) {
        long double total = 0;
        for (int phase = 0; phase < period; ++phase) {
            std::fill(next.begin(), next.end(), 0.0L);
            for (int s = 0; s < states; ++s) {
                const long double x = v[static_cast<std::size_t>(s)];
                if (x == 0) continue;
                const bool inOnes = s < j1;
                // A 1 next: a longer run of ones, or the first one.
                const int ones = inOnes ? std::min(s + 2, row.maxOnes == 0 ? 1 : s + 2) : 1;
                if (row.maxOnes == 0 || RunAllowed(row, phase, ones))
                    next[static_cast<std::size_t>(ones - 1)] += x;
                // A 0 next.
                const int zeros = inOnes ? 1 : std::min(s - j1 + 2, maxZeros == 0 ? 1 : s - j1 + 2);
                if (maxZeros == 0 || zeros <= maxZeros)
                    next[static_cast<std::size_t>(j1 + zeros - 1)] += x;
            }
            v.swap(next);
        }
        for (long double x : v) total += x;
        for (long double& x : v) x /= total;
        const long double previous = growth;
        growth = total;
        if (round > 50 && std::fabs(growth - previous) < 1e-18L * growth) break;
    }
    return static_cast<double>(std::log2(growth) / period);
}

int ConstrainedMemory(const ConstraintRow& row, int nu) {
    if (row.kind == ConstraintKind::kNone || row.maxOnes == 0) return nu;
    return std::max(nu, row.maxOnes + 1);
}

BranchMask MaskOf(const ConstraintRow& row, int memory) {
    BranchMask mask;
    mask.memory = memory;
    if (row.kind == ConstraintKind::kNone || row.maxOnes == 0) return mask;
    mask.period = row.oddStart ? row.codeBits : 1;
    const int windows = 2 << memory;
    mask.allowed.assign(static_cast<std::size_t>(mask.period * windows), 1);
    for (int phase = 0; phase < mask.period; ++phase) {
        for (int w = 0; w < windows; ++w) {
            // c_{k-m} = p_{k-m} xor p_{k-m-1}: bits memory - m and memory - m - 1.
            int run = 0;
            while (run < memory && (((w >> (memory - run)) ^ (w >> (memory - run - 1))) & 1) != 0)
                ++run;
            if (run > 0 && !RunAllowed(row, phase, run))
                mask.allowed[static_cast<std::size_t>(phase * windows + w)] = 0;
        }
    }
    return mask;
}

} // namespace channel
