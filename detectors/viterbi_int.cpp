#include "detectors/viterbi_int.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "detectors/traceback.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_kernels.h"

namespace detectors {

namespace viterbi_detail {

IntBranches IntBranchesOf(const channel::Trellis& trellis, int lowest, int perLevel, int topCode) {
    IntBranches b;
    b.memory = trellis.memory;
    b.states = trellis.states;
    b.codes = topCode + 1;
    if (b.states > kMaxFastStates) return b;
    // x[j][t]: the level of the branch from predecessor j of state t, in level
    // steps above the lowest level.
    int x[2][kMaxFastStates];
    std::vector<int> levels;
    for (int t = 0; t < b.states; ++t) {
        const int bit = t >> (b.memory - 1);
        for (int j = 0; j < 2; ++j) {
            x[j][t] = static_cast<int>(trellis.Output(trellis.Predecessor(t, j), bit)) - lowest;
            levels.push_back(x[j][t]);
        }
    }
    const long long m = perLevel;
    b.metric.resize(static_cast<std::size_t>(b.codes) * 2 * 32);
    std::vector<long long> g(static_cast<std::size_t>(b.codes) * 2 * 32);
    long long largest = 0;
    for (int c = 0; c < b.codes; ++c) {
        long long low = std::numeric_limits<long long>::max();
        for (int v : levels) low = std::min(low, m * v * v - 2LL * c * v);
        for (int j = 0; j < 2; ++j) {
            for (int l = 0; l < 32; ++l) {
                const long long v = x[j][l % b.states];
                const long long metric = m * v * v - 2LL * c * v - low;
                g[(static_cast<std::size_t>(c) * 2 + j) * 32 + l] = metric;
                largest = std::max(largest, metric);
            }
        }
    }
    // Right after a renormalisation every metric is at most nu times the
    // largest branch metric (each state is reached from the best state of nu
    // steps before); `period` steps add at most that many more.
    for (int period = 64; period >= 1; period /= 2) {
        if ((b.memory + period) * largest <= 65535) {
            b.period = period;
            break;
        }
    }
    b.largest = static_cast<int>(std::min<long long>(largest, std::numeric_limits<int>::max()));
    if (b.period == 0) return b;
    for (std::size_t i = 0; i < g.size(); ++i) b.metric[i] = static_cast<std::uint16_t>(g[i]);
    return b;
}

namespace {

// The plain forward pass in 64-bit metrics: (c - m x)^2 per branch, an
// unreachable state as kUnreached, no renormalisation (a frame of 2^20 bits
// sums to at most 2^40).
constexpr std::int64_t kUnreached = std::numeric_limits<std::int64_t>::max();

template <typename Word>
void IntForwardPlain(const channel::Trellis& trellis, const std::int64_t* position,
                     const std::uint16_t* codes, int steps, Word* decisions, int stride,
                     std::int64_t* pmOut) {
    // position[w]: the code of window w's level.
    const int states = trellis.states;
    std::int64_t pm[channel::kMaxStates], next[channel::kMaxStates];
    pm[0] = 0;
    for (int t = 1; t < states; ++t) pm[t] = kUnreached;
    for (int k = 0; k < steps; ++k) {
        const std::int64_t c = codes[k];
        Word word = 0;
        for (int t = 0; t < states; ++t) {
            const int bit = t >> (trellis.memory - 1);
            std::int64_t m[2];
            for (int j = 0; j < 2; ++j) {
                const int s = trellis.Predecessor(t, j);
                const std::int64_t d = c - position[(bit << trellis.memory) | s];
                m[j] = pm[s] == kUnreached ? kUnreached : pm[s] + d * d;
            }
            const bool odd = m[1] < m[0];
            next[t] = odd ? m[1] : m[0];
            word |= static_cast<Word>(odd) << t;
        }
        std::copy(next, next + states, pm);
        decisions[static_cast<std::size_t>(k) * stride] = word;
    }
    std::copy(pm, pm + states, pmOut);
}

std::vector<std::int64_t> Positions(const channel::Target& target, const channel::Adc& adc) {
    const channel::Trellis& t = target.GetTrellis();
    std::vector<std::int64_t> position(t.level.size());
    for (std::size_t w = 0; w < t.level.size(); ++w)
        position[w] = static_cast<std::int64_t>(adc.PerLevel()) *
                      (static_cast<std::int64_t>(t.level[w]) - adc.Lowest());
    return position;
}

// The smallest metric among the states reachable after `steps` steps (those
// whose bits older than the frame are still 0), the lowest on a tie.
template <typename Metric> int BestReachable(const Metric* pm, int memory, int steps) {
    const int states = 1 << memory;
    const int spacing = steps >= memory ? 1 : 1 << (memory - steps);
    int best = 0;
    for (int t = spacing; t < states; t += spacing)
        if (pm[t] < pm[best]) best = t;
    return best;
}

} // namespace

} // namespace viterbi_detail

using namespace viterbi_detail;

void ViterbiIntPlain(const channel::Target& target, const channel::Adc& adc, const float* y, int n,
                     int tail, std::uint8_t* raw) {
    assert(tail == 0 || tail == target.Memory());
    const channel::Trellis& t = target.GetTrellis();
    const int steps = n + tail;
    std::vector<std::uint16_t> codes(static_cast<std::size_t>(steps));
    for (int k = 0; k < steps; ++k)
        codes[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(adc.Code(y[k]));
    const std::vector<std::int64_t> position = Positions(target, adc);
    std::vector<std::uint64_t> decisions(static_cast<std::size_t>(steps));
    std::int64_t pm[channel::kMaxStates];
    IntForwardPlain(t, position.data(), codes.data(), steps, decisions.data(), 1, pm);
    PlainTracebackFrom(target, decisions.data(), n, tail,
                       tail > 0 ? 0 : BestReachable(pm, t.memory, steps), raw);
}

struct ViterbiInt::Impl {
    enum class Mode { k16, kFloat, kWide };
    channel::Target target;
    channel::Adc adc;
    Kernel kernel;
    IntBranches branches;
    Branches exact; // the float passes' ideals: every level's code
    int exactPeriod = 0;
    Mode mode = Mode::k16;
    std::vector<std::int64_t> position;
    Traceback traceback;
    std::vector<std::uint16_t> codes[kMaxFrames];
    std::vector<float> values[kMaxFrames];
    std::vector<std::uint32_t> decisions, words;
    std::vector<std::uint64_t> wide;
    std::vector<std::uint8_t> bytes;

    Impl(const channel::Target& t, const channel::Adc& a, Kernel k)
        : target(t), adc(a), kernel(k),
          branches(IntBranchesOf(t.GetTrellis(), a.Lowest(), a.PerLevel(), a.TopCode())),
          position(Positions(t, a)), traceback(t) {
        if (t.States() > kMaxFastStates) {
            mode = Mode::kWide;
            return;
        }
        if (branches.period > 0) return;
        // Float sums of whole numbers are exact below 2^24; the branch metrics
        // are squared distances in codes, at most (mR)^2.
        mode = Mode::kFloat;
        exact = BranchesOf(t.GetTrellis());
        for (int j = 0; j < 2; ++j)
            for (int s = 0; s < exact.states; ++s)
                exact.from[j][s] =
                    static_cast<float>(a.PerLevel() * (exact.from[j][s] - a.Lowest()));
        const double largest = static_cast<double>(a.TopCode()) * a.TopCode();
        for (exactPeriod = kRenormPeriod; exactPeriod > 1; exactPeriod /= 2)
            if ((t.Memory() + exactPeriod) * largest <= 16777216.0) break;
    }
};

ViterbiInt::ViterbiInt(const channel::Target& target, const channel::Adc& adc)
    : ViterbiInt(target, adc, BestIntKernel()) {}

ViterbiInt::ViterbiInt(const channel::Target& target, const channel::Adc& adc, Kernel kernel)
    : impl_(new Impl(target, adc, kernel)) {}

ViterbiInt::~ViterbiInt() {
    delete impl_;
}

const char* ViterbiInt::Width() const {
    switch (impl_->mode) {
    case Impl::Mode::k16:
        return "16-bit";
    case Impl::Mode::kFloat:
        return "float";
    case Impl::Mode::kWide:
        break;
    }
    return "scalar";
}

int ViterbiInt::CodeShift() const {
    // The 16-bit passes take each code as its table row's offset (at most
    // 1023 * 64 < 2^16), the others the code itself.
    return impl_->mode == Impl::Mode::k16 ? kIntRowShift : 0;
}

void ViterbiInt::DetectFrames(int count, const float* const* y, int n, int tail,
                              std::uint8_t* const* raw) {
    Impl& m = *impl_;
    const std::size_t size = static_cast<std::size_t>(n + tail);
    for (int first = 0; first < count; first += kMaxFrames) {
        const int frames = std::min(kMaxFrames, count - first);
        const std::uint16_t* codes[kMaxFrames];
        for (int f = 0; f < frames; ++f) {
            std::vector<std::uint16_t>& c = m.codes[f];
            if (c.size() < size) c.resize(size);
            m.adc.ToCodes(y[first + f], c.data(), n + tail, CodeShift());
            codes[f] = c.data();
        }
        DetectCodes(frames, codes, n, tail, raw + first);
    }
}

void ViterbiInt::DetectCodes(int count, const std::uint16_t* const* rows, int n, int tail,
                             std::uint8_t* const* raw) {
    Detect(count, rows, n, tail, raw, nullptr);
}

void ViterbiInt::DetectCodes(int count, const std::uint16_t* const* rows, int n, int tail,
                             std::uint64_t* const* rawWords) {
    Detect(count, rows, n, tail, nullptr, rawWords);
}

void ViterbiInt::Detect(int count, const std::uint16_t* const* rows, int n, int tail,
                        std::uint8_t* const* raw, std::uint64_t* const* rawWords) {
    Impl& m = *impl_;
    assert(tail == 0 || tail == m.target.Memory());
    const int steps = n + tail;
    const std::size_t size = static_cast<std::size_t>(steps);
    if (m.mode == Impl::Mode::kWide) {
        if (m.wide.size() < size) m.wide.resize(size);
        for (int f = 0; f < count; ++f) {
            std::int64_t pm[channel::kMaxStates];
            IntForwardPlain(m.target.GetTrellis(), m.position.data(), rows[f], steps, m.wide.data(),
                            1, pm);
            const int end = tail > 0 ? 0 : BestReachable(pm, m.target.Memory(), steps);
            if (raw != nullptr) {
                m.traceback.Run(m.wide.data(), n, tail, end, raw[f]);
                continue;
            }
            if (m.bytes.size() < static_cast<std::size_t>(n))
                m.bytes.resize(static_cast<std::size_t>(n));
            m.traceback.Run(m.wide.data(), n, tail, end, m.bytes.data());
            for (int w = 0; w < (n + 63) / 64; ++w) rawWords[f][w] = 0;
            for (int k = 0; k < n; ++k)
                rawWords[f][k / 64] |= std::uint64_t{m.bytes[static_cast<std::size_t>(k)]}
                                       << (k % 64);
        }
        return;
    }
    if (m.decisions.size() < size * kMaxFrames) m.decisions.resize(size * kMaxFrames);
    for (int first = 0; first < count; first += kMaxFrames) {
        const int frames = std::min(kMaxFrames, count - first);
        const std::uint16_t* const* codes = rows + first;
        int end[kMaxFrames] = {};
        if (m.mode == Impl::Mode::k16) {
            std::uint16_t pm[kMaxFrames][kMaxFastStates];
            std::uint16_t* pms[kMaxFrames];
            for (int f = 0; f < kMaxFrames; ++f) pms[f] = pm[f];
            IntForwardFramesWith(m.kernel, m.branches, frames, codes, steps, m.decisions.data(),
                                 kMaxFrames, pms);
            for (int f = 0; f < frames; ++f)
                end[f] = tail > 0 ? 0 : BestReachable(pm[f], m.target.Memory(), steps);
        } else {
            const float* values[kMaxFrames];
            for (int f = 0; f < frames; ++f) {
                std::vector<float>& v = m.values[f];
                if (v.size() < size) v.resize(size);
                for (std::size_t k = 0; k < size; ++k) v[k] = static_cast<float>(codes[f][k]);
                values[f] = v.data();
            }
            float pm[kMaxFrames][channel::kMaxStates];
            float* pms[kMaxFrames];
            for (int f = 0; f < kMaxFrames; ++f) pms[f] = pm[f];
            ForwardFramesWith(m.kernel, m.exact, frames, values, steps, m.exactPeriod,
                              m.decisions.data(), kMaxFrames, pms);
            // Unreachable states hold +infinity here: the best state is a reachable one.
            for (int f = 0; f < frames; ++f)
                end[f] = tail > 0 ? 0 : BestState(pm[f], m.target.States());
        }
        if (rawWords != nullptr) {
            m.traceback.RunFramesToWords(m.kernel, frames, m.decisions.data(), n, tail, end,
                                         rawWords + first, m.words, m.bytes);
            continue;
        }
        m.traceback.RunFrames(m.kernel, frames, m.decisions.data(), n, tail, end, raw + first,
                              m.words);
    }
}

namespace {

class QuantizedViterbi final : public Detector {
  public:
    QuantizedViterbi(const channel::Target& target, FrameShape shape, const channel::Adc& adc)
        : Detector(shape), viterbi_(target, adc) {}
    Kind kind() const override { return Kind::kViterbi; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        viterbi_.DetectFrames(count, y, shape().bits, shape().tail, raw);
    }

  private:
    ViterbiInt viterbi_;
};

} // namespace

std::unique_ptr<Detector> MakeQuantizedViterbi(const channel::Target& target, FrameShape shape,
                                               const channel::Adc& adc) {
    return std::make_unique<QuantizedViterbi>(target, shape, adc);
}

} // namespace detectors
