#include "channel/sampler.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>

namespace channel {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kLanes = 32;
// Bit periods beyond every frame (and within int).
constexpr double kFarAway = 1e9;

// The first float of p on a 64-byte boundary (15 floats on at most).
template <typename T> T* Aligned(T* p) {
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - a % 64) % 64) / sizeof(float);
}

double Sinc(double x) {
    // Exact at the integers, so the table's phase 0 is the target itself.
    if (x == std::round(x)) return x == 0 ? 1.0 : 0.0;
    return std::sin(kPi * x) / (kPi * x);
}

// Sum_i a[i] b[i], n a multiple of kLanes: lane l adds the products i = l mod
// kLanes in order, then the lanes are added pairwise in a fixed tree. The
// vector loops of every processor keep that order: four registers of eight
// lanes held as such (not in memory between the steps), the tree's first two
// levels on whole registers, its last three on the eight lanes left.
typedef float Lanes8 __attribute__((vector_size(32)));
// The same, loaded from any float's address: a direct vector load (a copy
// into an array of vectors went through the stack in halves, whose reload
// whole waits for both stores).
typedef float Lanes8Unaligned __attribute__((vector_size(32), aligned(4), may_alias));

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) float
Dot(const float* __restrict a, const float* __restrict b, int n) {
    static_assert(kLanes == 32);
    Lanes8 acc0 = {}, acc1 = {}, acc2 = {}, acc3 = {};
    for (int i = 0; i < n; i += kLanes) {
        const Lanes8Unaligned* x = reinterpret_cast<const Lanes8Unaligned*>(a + i);
        const Lanes8Unaligned* y = reinterpret_cast<const Lanes8Unaligned*>(b + i);
        acc0 += x[0] * y[0];
        acc1 += x[1] * y[1];
        acc2 += x[2] * y[2];
        acc3 += x[3] * y[3];
    }
    acc0 += acc2; // w = 16
    acc1 += acc3;
    acc0 += acc1; // w = 8
    float t[8];
    std::memcpy(t, &acc0, sizeof t);
    for (int l = 0; l < 4; ++l) t[l] += t[l + 4];
    t[0] += t[2];
    t[1] += t[3];
    return t[0] + t[1];
}

// The expanded jitter terms: Sum_m a[m] b[m], m < kExpansionOrders
// kExpansionRow (a bit's orders side by side in both): lane l of register g
// (five registers of sixteen) adds the products m = 16 (g + 5 i) + l, i = 0,
// 1, ..., in order, then the registers and the lanes are added in a fixed
// tree, the same on every processor (the vector types are lowered to what
// each has). The loop's chain runs through this sum, so it is wide and short.
typedef float Lanes16 __attribute__((vector_size(64)));
typedef float Lanes16Unaligned __attribute__((vector_size(64), aligned(4), may_alias));

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) float
Expansion(const float* __restrict a, const float* __restrict b) {
    constexpr int kVectors = kExpansionOrders * kExpansionRow / 16;
    static_assert(kVectors % 5 == 0);
    const Lanes16Unaligned* x = reinterpret_cast<const Lanes16Unaligned*>(a);
    const Lanes16Unaligned* y = reinterpret_cast<const Lanes16Unaligned*>(b);
    // (Five named registers: an array of them went through the stack.)
    Lanes16 s0 = x[0] * y[0], s1 = x[1] * y[1], s2 = x[2] * y[2], s3 = x[3] * y[3],
            s4 = x[4] * y[4];
#pragma GCC unroll 8
    for (int v = 5; v < kVectors; v += 5) {
        s0 += x[v] * y[v];
        s1 += x[v + 1] * y[v + 1];
        s2 += x[v + 2] * y[v + 2];
        s3 += x[v + 3] * y[v + 3];
        s4 += x[v + 4] * y[v + 4];
    }
    s0 += s3;
    s1 += s4;
    s0 += s1;
    s0 += s2; // 16 lanes
    float t[16];
    std::memcpy(t, &s0, sizeof t);
    for (int l = 0; l < 8; ++l) t[l] += t[l + 8];
    for (int l = 0; l < 4; ++l) t[l] += t[l + 4];
    t[0] += t[2];
    t[1] += t[3];
    return t[0] + t[1];
}

// The expansion's nodes in phases of the sampler's table (Delta = q /
// kPhases): the kExpansionOrders + 1 Chebyshev points of [-D, D] but 0,
// rounded to whole phases.
static_assert(kExpansionOrders % 2 == 0, "an odd count of nodes holds 0");
std::vector<int> ExpansionNodes(int phases) {
    std::vector<int> q;
    const int m = kExpansionOrders + 1;
    for (int j = 0; j < m; ++j) {
        if (2 * j + 1 == m) continue;
        const double s = std::cos((2 * j + 1) * kPi / (2 * m));
        q.push_back(static_cast<int>(std::lround(s * kExpandedShift * phases)));
    }
    return q;
}

// The inverse of v[j][n] = s_j^(n + 1), s_j = q_j / (kPhases D): the
// polynomial's coefficients from its values at the nodes.
Eigen::MatrixXd ExpansionInverse(const std::vector<int>& q, int phases) {
    const int n = kExpansionOrders;
    Eigen::MatrixXd v(n, n);
    for (int j = 0; j < n; ++j) {
        const double s = q[static_cast<std::size_t>(j)] / (kExpandedShift * phases);
        double p = 1;
        for (int c = 0; c < n; ++c) v(j, c) = p *= s;
    }
    return v.partialPivLu().inverse();
}

} // namespace

Sampler::Sampler(const Target& target) : target_(target), span_(kIdealSpan + target.Memory()) {
    Tabulate();
}

Sampler::Sampler(std::shared_ptr<const Readback> readback)
    : readback_(std::move(readback)), span_(readback_->Span()) {
    Tabulate();
}

double Sampler::BitResponseAt(double t) const {
    if (readback_) {
        const Head& head = readback_->head();
        return head.LowPassTransition(t) - head.LowPassTransition(t - 1);
    }
    double v = 0;
    const std::vector<double>& f = target_.Coefficients();
    for (std::size_t m = 0; m < f.size(); ++m) v += f[m] * Sinc(t - static_cast<double>(m));
    return v;
}

// The tables made so far, the newest last; a sweep designs its channel at
// every point and the lab window at every change, and a head's table takes
// 2049 grids of its response (seconds on the erf head).
struct TableKey {
    int table = 0; // 0 the bit response's rows, 1 the jitter expansion's
    bool head = false;
    HeadKind kind = HeadKind::kLorentz;
    double density = 0;
    std::vector<double> coefficients; // the ideal channel's target
    bool operator==(const TableKey&) const = default;
};
constexpr std::size_t kKeptTables = 8;

void Sampler::Tabulate() {
    width_ = (2 * span_ + 2 + kLanes - 1) / kLanes * kLanes;
    TableKey key;
    if (readback_) {
        key.head = true;
        key.kind = readback_->head().kind();
        key.density = readback_->head().density();
    } else {
        key.coefficients = target_.Coefficients();
    }
    static std::mutex mutex;
    static std::vector<std::pair<TableKey, std::shared_ptr<const std::vector<float>>>> kept;
    auto find = [&](const TableKey& wanted, std::shared_ptr<const std::vector<float>>& out,
                    auto make) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            for (const auto& [k, table] : kept)
                if (k == wanted) out = table;
        }
        if (out) return;
        out = make();
        const std::lock_guard<std::mutex> lock(mutex);
        if (kept.size() == kKeptTables) kept.erase(kept.begin());
        kept.emplace_back(wanted, out);
    };
    find(key, rows_, [&] { return Make(); });
    table_ = rows_->data();
    if (readback_ && readback_->jitter() > 0) {
        key.table = 1;
        find(key, expansion_, [&] { return MakeExpansion(); });
        blocks_ = Aligned(expansion_->data());
    }
}

std::shared_ptr<const std::vector<float>> Sampler::MakeExpansion() const {
    // g_LP(v) at v = a / kPhases, a / kPhases in [-reach, reach): every
    // argument x - Delta the rows take (|x| <= kJitterReach + 1, |Delta| <= D).
    constexpr int reach = kJitterReach + 7;
    std::vector<double> g(static_cast<std::size_t>(2 * reach * kPhases));
    std::vector<double> grid(static_cast<std::size_t>(2 * reach));
    const Head& head = readback_->head();
    for (int p = 0; p < kPhases; ++p) {
        head.LowPassTransitionOnGrid(static_cast<double>(p) / kPhases, -reach, reach - 1,
                                     grid.data());
        for (int n = 0; n < 2 * reach; ++n)
            g[static_cast<std::size_t>(n * kPhases + p)] = grid[static_cast<std::size_t>(n)];
    }
    auto at = [&](int a) { return g[static_cast<std::size_t>(a + reach * kPhases)]; };
    const std::vector<int> q = ExpansionNodes(kPhases);
    const Eigen::MatrixXd inverse = ExpansionInverse(q, kPhases);
    constexpr int orders = kExpansionOrders, row = kExpansionRow;
    const std::size_t stride = BlockFloats();
    // (Whole blocks of 64 bytes: padded to align the first.)
    auto made = std::make_shared<std::vector<float>>((kPhases + 1) * stride + 16, 0.0f);
    float* blocks = Aligned(made->data());
    // Each phase's block begins with the bit response's row, as it is.
    for (std::size_t r = 0; r <= kPhases; ++r)
        std::copy(table_ + r * static_cast<std::size_t>(width_),
                  table_ + (r + 1) * static_cast<std::size_t>(width_), blocks + r * stride);
    // a_n(x), x in phases, into out[n].
    auto fill = [&](int x, float* out) {
        double values[orders];
        for (int j = 0; j < orders; ++j) values[j] = at(x - q[static_cast<std::size_t>(j)]) - at(x);
        for (int n = 0; n < orders; ++n) {
            double a = 0;
            for (int j = 0; j < orders; ++j) a += inverse(n, j) * values[j];
            out[n] = static_cast<float>(a);
        }
    };
    // Row r > 0: x = reach - 1 - i + r / kPhases, all in reach; row 0: x =
    // reach - i, the one at -reach in row kPhases.
    for (int r = 0; r < kPhases; ++r)
        for (int i = 0; i < row; ++i)
            fill((kJitterReach - (r > 0 ? 1 : 0) - i) * kPhases + r,
                 blocks + static_cast<std::size_t>(r) * stride + static_cast<std::size_t>(width_) +
                     static_cast<std::size_t>(i) * orders);
    fill(-kJitterReach * kPhases, blocks + std::size_t{kPhases} * stride + width_);
    return made;
}

std::shared_ptr<const std::vector<float>> Sampler::Make() const {
    auto made = std::make_shared<std::vector<float>>(
        static_cast<std::size_t>((kPhases + 1) * width_), 0.0f);
    std::vector<float>& rows = *made;
    std::vector<double> g(static_cast<std::size_t>(2 * span_ + 4));
    for (int r = 0; r <= kPhases; ++r) {
        const double u = static_cast<double>(r) / kPhases;
        float* row = rows.data() + static_cast<std::size_t>(r) * width_;
        if (readback_) {
            // g_LP(u + n), n = -span - 2 ... span + 1; h(span - i + u) =
            // g(span - i + u) - g(span - i + u - 1).
            readback_->head().LowPassTransitionOnGrid(u, -span_ - 2, span_ + 1, g.data());
            for (int i = 0; i <= 2 * span_ + 1; ++i) {
                const int n = span_ - i;
                row[i] = static_cast<float>(g[static_cast<std::size_t>(n + span_ + 2)] -
                                            g[static_cast<std::size_t>(n + span_ + 1)]);
            }
        } else {
            for (int i = 0; i <= 2 * span_ + 1; ++i) {
                double v = 0;
                const std::vector<double>& f = target_.Coefficients();
                for (std::size_t m = 0; m < f.size(); ++m)
                    v += f[m] * Sinc(span_ - i + u - static_cast<double>(m));
                row[i] = static_cast<float>(v);
            }
        }
    }
    return made;
}

void Sampler::Load(const std::uint8_t* prec, int n, NoiseSource& source, SamplerFrame& frame,
                   bool jitter) const {
    frame.n = n;
    frame.base = span_ + width_ + 8;
    frame.bits.assign(static_cast<std::size_t>(n + 2 * frame.base), 0.0f);
    for (int j = 0; j < n; ++j)
        frame.bits[static_cast<std::size_t>(j + frame.base)] = static_cast<float>(prec[j] & 1u);
    frame.at.clear();
    frame.sign.clear();
    frame.delta.clear();
    frame.before.clear();
    frame.transitions = 0;
    frame.expanded.clear();
    frame.wide = 0;
    frame.wideAt.clear();
    frame.wideSign.clear();
    frame.wideDelta.clear();
    frame.wideBefore.clear();
    if (!jitter || !readback_ || !(readback_->jitter() > 0)) return;
    // The transitions without a branch on the data (half of them would be
    // mispredicted): every bit writes, the count moves on at a transition.
    int previous = 0, count = 0;
    frame.before.resize(static_cast<std::size_t>(n + 2));
    frame.at.resize(static_cast<std::size_t>(n + 1));
    frame.sign.resize(static_cast<std::size_t>(n + 1));
    for (int k = 0; k <= n; ++k) {
        frame.before[static_cast<std::size_t>(k)] = count;
        const int p = k < n ? prec[k] & 1 : 0;
        frame.at[static_cast<std::size_t>(count)] = k;
        frame.sign[static_cast<std::size_t>(count)] = static_cast<float>(p - previous);
        count += p != previous ? 1 : 0;
        previous = p;
    }
    frame.transitions = count;
    frame.at.resize(static_cast<std::size_t>(count));
    frame.sign.resize(static_cast<std::size_t>(count));
    frame.before[static_cast<std::size_t>(n + 1)] = frame.transitions;
    frame.deviate.resize(frame.at.size());
    source.Normals(frame.deviate.data(), frame.transitions);
    frame.delta.resize(frame.at.size());
    for (int i = 0; i < count; ++i)
        frame.delta[static_cast<std::size_t>(i)] =
            std::clamp(readback_->jitter() * frame.deviate[static_cast<std::size_t>(i)],
                       -kMaxJitterShift, kMaxJitterShift);
    // The expansion's coefficients, and the transitions it does not take.
    const std::size_t size = frame.bits.size();
    frame.expanded.assign(static_cast<std::size_t>(kExpansionOrders) * size, 0.0f);
    frame.wideBefore.assign(static_cast<std::size_t>(n + 2), 0);
    for (int i = 0; i < frame.transitions; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        const double d = frame.delta[u];
        if (std::fabs(d) <= kExpandedShift) {
            const double s = d / kExpandedShift;
            double p = frame.sign[u];
            float* c = frame.expanded.data() +
                       static_cast<std::size_t>(frame.at[u] + frame.base) * kExpansionOrders;
            for (int o = 0; o < kExpansionOrders; ++o) c[o] = static_cast<float>(p *= s);
        } else {
            frame.wideAt.push_back(frame.at[u]);
            frame.wideSign.push_back(frame.sign[u]);
            frame.wideDelta.push_back(d);
        }
    }
    frame.wide = static_cast<int>(frame.wideAt.size());
    for (int m = 0, w = 0; m <= n + 1; ++m) {
        while (w < frame.wide && frame.wideAt[static_cast<std::size_t>(w)] < m) ++w;
        frame.wideBefore[static_cast<std::size_t>(m)] = w;
    }
    // The vector loop's padding: its terms are computed and never added.
    frame.at.resize(frame.at.size() + Readback::kJitterPad,
                    frame.transitions > 0 ? frame.at.back() : 0);
    frame.sign.resize(frame.sign.size() + Readback::kJitterPad, 0.0f);
    frame.delta.resize(frame.delta.size() + Readback::kJitterPad, 0.0);
    frame.wideAt.resize(frame.wideAt.size() + Readback::kJitterPad,
                        frame.wide > 0 ? frame.wideAt.back() : 0);
    frame.wideSign.resize(frame.wideSign.size() + Readback::kJitterPad, 0.0f);
    frame.wideDelta.resize(frame.wideDelta.size() + Readback::kJitterPad, 0.0);
}

float Sampler::Unjittered(double t, const SamplerFrame& frame) const {
    // A clock run away past any frame (or to no number: an unstable loop)
    // reads no bit and no transition; whole bit positions there overflow.
    if (!(std::fabs(t) < kFarAway)) return 0.0f;
    const double whole = std::floor(t);
    int r = static_cast<int>((t - whole) * kPhases + 0.5);
    const int m = static_cast<int>(whole);
    const float* row = table_ + static_cast<std::size_t>(r) * width_;
    const int first = m - span_ + frame.base; // bits index of row index 0
    if (first >= 0 && first + width_ <= static_cast<int>(frame.bits.size()))
        return Dot(frame.bits.data() + first, row, width_);
    // Far outside the frame (a clock that has run away): the bits that are
    // there, the others 0.
    float y = 0;
    for (int i = 0; i < width_; ++i) {
        const int j = first + i;
        if (j >= 0 && j < static_cast<int>(frame.bits.size()))
            y += frame.bits[static_cast<std::size_t>(j)] * row[i];
    }
    return y;
}

int Sampler::Terms(JitterKernel kernel, double t, const SamplerFrame& frame, float* term) const {
    if (frame.transitions == 0) return 0;
    return Terms(kernel, t, frame.at.data(), frame.sign.data(), frame.delta.data(), frame.before,
                 term);
}

int Sampler::Terms(JitterKernel kernel, double t, const int* at, const float* sign,
                   const double* delta, const std::vector<int>& before, float* term) const {
    if (before.empty() || !(std::fabs(t) < kFarAway)) return 0;
    // The transitions within reach of t: k from ceil(t - reach) to t + reach.
    const int last = static_cast<int>(before.size()) - 1;
    const double lo = std::ceil(t - kJitterReach), hi = std::floor(t + kJitterReach) + 1;
    const int from =
        before[static_cast<std::size_t>(std::clamp(lo, 0.0, static_cast<double>(last)))];
    const int to = before[static_cast<std::size_t>(std::clamp(hi, 0.0, static_cast<double>(last)))];
    if (to <= from) return 0;
    const std::size_t f = static_cast<std::size_t>(from);
    return readback_->JitterTerms(kernel, t, at + f, sign + f, delta + f, to - from, term);
}

float Sampler::At(double t, const SamplerFrame& frame) const {
    if (frame.wideBefore.empty() || !(std::fabs(t) < kFarAway)) return At(kernel_, t, frame);
    // t's nearest phase, as Unjittered takes it.
    const double whole = std::floor(t);
    const int r = static_cast<int>((t - whole) * kPhases + 0.5);
    const int m = static_cast<int>(whole);
    const int size = static_cast<int>(frame.bits.size());
    const int first = m - span_ + frame.base;
    // The expansion's row index 0: at t_q - reach + 1 off the whole phases,
    // at t_q - reach on them (and the transition at t_q + reach apart).
    const int whole_q = r == kPhases ? m + 1 : m;
    const bool onWhole = r == 0 || r == kPhases;
    const int near = whole_q - kJitterReach + (onWhole ? 0 : 1) + frame.base;
    if (first < 0 || first + width_ > size || near < 0 || near + kExpansionRow + 1 > size)
        return At(kernel_, t, frame);
    const std::size_t stride = BlockFloats();
    float y =
        Dot(frame.bits.data() + first, blocks_ + static_cast<std::size_t>(r) * stride, width_);
    const std::size_t row = onWhole ? 0 : static_cast<std::size_t>(r);
    const float* c = frame.expanded.data() + static_cast<std::size_t>(near) * kExpansionOrders;
    y += Expansion(c, blocks_ + row * stride + width_);
    if (onWhole) {
        const float* edge = blocks_ + std::size_t{kPhases} * stride + width_;
        c += kExpansionRow * kExpansionOrders;
        float e = 0;
        for (int n = 0; n < kExpansionOrders; ++n) e += c[n] * edge[n];
        y += e;
    }
    if (frame.wide == 0) return y;
    alignas(32) float term[Readback::kMostJitterTerms];
    const int count = Terms(kernel_, whole + static_cast<double>(r) / kPhases, frame.wideAt.data(),
                            frame.wideSign.data(), frame.wideDelta.data(), frame.wideBefore, term);
    for (int i = 0; i < count; ++i) y += term[i];
    return y;
}

float Sampler::At(JitterKernel kernel, double t, const SamplerFrame& frame) const {
    float y = Unjittered(t, frame);
    alignas(32) float term[Readback::kMostJitterTerms];
    const int count = Terms(kernel, t, frame, term);
    // In order, four a round (the loop's count and branch cost as much as
    // the addition).
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        y += term[i];
        y += term[i + 1];
        y += term[i + 2];
        y += term[i + 3];
    }
    for (; i < count; ++i) y += term[i];
    return y;
}

float Sampler::AtPlain(double t, const SamplerFrame& frame) const {
    float y = Unjittered(t, frame);
    if (frame.transitions == 0 || !(std::fabs(t) < kFarAway)) return y;
    const auto end = frame.at.begin() + frame.transitions;
    const int lo = static_cast<int>(std::ceil(t - kJitterReach));
    const auto begin = std::lower_bound(frame.at.begin(), end, lo);
    for (auto it = begin; it != end && *it <= t + kJitterReach; ++it) {
        const std::size_t i = static_cast<std::size_t>(it - frame.at.begin());
        const double x = t - *it;
        y += frame.sign[i] *
             (readback_->TransitionAt(x - frame.delta[i]) - readback_->TransitionAt(x));
    }
    return y;
}

} // namespace channel
