#include "codes/frames.h"

#include <cstring>
#include <vector>

#include "codes/frames_kernels.h"

namespace codes {

using frames_detail::KernelSet;
using frames_detail::Plan;

bool Runs(Kernel kernel) {
    switch (kernel) {
    case Kernel::kScalar:
        return true;
    case Kernel::kAvx2:
        return frames_detail::HasAvx2();
    case Kernel::kAvx512:
        return frames_detail::HasAvx512();
    }
    return false;
}

Kernel BestKernel() {
    static const Kernel best = Runs(Kernel::kAvx512) ? Kernel::kAvx512
                               : Runs(Kernel::kAvx2) ? Kernel::kAvx2
                                                     : Kernel::kScalar;
    return best;
}

const char* KernelName(Kernel kernel) {
    switch (kernel) {
    case Kernel::kScalar:
        return "scalar";
    case Kernel::kAvx2:
        return "avx2";
    case Kernel::kAvx512:
        return "avx512";
    }
    return "?";
}

namespace {

struct alignas(64) Line {
    unsigned char bytes[64];
};

// The lane-by-lane messages of one element type.
template <typename T>
void Load(const Code& code, const FixedConstants& k, bool isFloat, int lanes, int frames,
          const float* const* ratios, T* l) {
    std::vector<T> row(code.n);
    for (int f = 0; f < lanes; ++f) {
        if (f < frames) {
            for (int v = 0; v < code.n; ++v)
                row[v] = isFloat ? static_cast<T>(CleanRatio(ratios[f][v]))
                                 : static_cast<T>(Quantize(ratios[f][v], k));
        } else {
            std::fill(row.begin(), row.end(), T(0));
        }
        for (int v = 0; v < code.n; ++v) l[static_cast<std::size_t>(v) * lanes + f] = row[v];
    }
}

template <typename T>
void Store(const Code& code, float scale, int lanes, int f, const T* l, std::uint8_t* bits,
           float* posterior) {
    for (int v = 0; v < code.n; ++v) {
        const T x = l[static_cast<std::size_t>(v) * lanes + f];
        bits[v] = x < 0;
        if (posterior) posterior[v] = static_cast<float>(x) / scale;
    }
}

} // namespace

struct FrameDecoder::Impl {
    Code code;
    FrameOptions options;
    FixedConstants k;
    Kernel kernel;
    KernelSet set;
    Plan plan{};
    int elementSize = 1;
    std::vector<Line> l, r, q;
};

FrameDecoder::FrameDecoder(const Code& code, const FrameOptions& options, Kernel kernel)
    : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.code = code;
    d.options = Resolved(options);
    d.k = ConstantsOf(d.options, code);
    d.kernel = Runs(kernel) ? kernel : Kernel::kScalar;
    const int arithmetic = d.options.arithmetic == Arithmetic::kInt8    ? 0
                           : d.options.arithmetic == Arithmetic::kInt16 ? 1
                                                                        : 2;
    d.elementSize = arithmetic == 0 ? 1 : arithmetic == 1 ? 2 : 4;
    if (d.kernel == Kernel::kAvx512) d.set = frames_detail::Avx512Kernels(arithmetic);
    if (d.kernel == Kernel::kAvx2) d.set = frames_detail::Avx2Kernels(arithmetic);
    if (d.kernel == Kernel::kScalar) return;
    d.plan.checkStart = d.code.checkStart.data();
    d.plan.checkVar = d.code.checkVar.data();
    d.plan.m = d.code.m;
    d.plan.offsetRule = d.k.offsetRule;
    d.plan.a16 = d.k.a16;
    d.plan.offset = d.k.offset;
    d.plan.rmax = d.k.cap;
    d.plan.alpha = d.options.decoder.normalization;
    d.plan.beta = d.options.decoder.offset;
    d.plan.top = kMaxRatio;
    // One register of lanes is 32 or 64 bytes; whole 64-byte lines each.
    const std::size_t reg = static_cast<std::size_t>(d.set.lanes) * d.elementSize;
    auto lines = [&](std::size_t count) { return (count * reg + 63) / 64; };
    d.l.resize(lines(code.n));
    d.r.resize(lines(code.Edges()));
    d.q.resize(lines(code.MaxRowWeight()));
}

FrameDecoder::~FrameDecoder() = default;

int FrameDecoder::Lanes() const {
    return impl_->kernel == Kernel::kScalar ? 1 : impl_->set.lanes;
}

void FrameDecoder::Decode(int frames, const float* const* ratios, std::uint8_t* const* bits,
                          float* const* posterior, FrameResult* results) {
    Impl& d = *impl_;
    if (d.kernel == Kernel::kScalar) {
        for (int f = 0; f < frames; ++f)
            results[f] = DecodeFixed(d.code, d.options, ratios[f], bits[f],
                                     posterior ? posterior[f] : nullptr);
        return;
    }
    const int lanes = d.set.lanes;
    const float scale = d.options.arithmetic == Arithmetic::kFloat ? 1.0f : d.k.scale;
    void* l = d.l.data();
    auto load = [&]<typename T>(T*) {
        Load(d.code, d.k, d.options.arithmetic == Arithmetic::kFloat, lanes, frames, ratios,
             static_cast<T*>(l));
    };
    auto store = [&](int f) {
        float* post = posterior ? posterior[f] : nullptr;
        if (d.elementSize == 1)
            Store(d.code, scale, lanes, f, static_cast<const std::int8_t*>(l), bits[f], post);
        else if (d.elementSize == 2)
            Store(d.code, scale, lanes, f, static_cast<const std::int16_t*>(l), bits[f], post);
        else
            Store(d.code, scale, lanes, f, static_cast<const float*>(l), bits[f], post);
    };
    if (d.elementSize == 1)
        load(static_cast<std::int8_t*>(nullptr));
    else if (d.elementSize == 2)
        load(static_cast<std::int16_t*>(nullptr));
    else
        load(static_cast<float*>(nullptr));
    std::memset(d.r.data(), 0, d.r.size() * sizeof(Line));

    const DecoderOptions& o = d.options.decoder;
    std::vector<char> done(frames, 0);
    int left = frames;
    for (int it = 0;; ++it) {
        if (o.earlyStop || it == o.maxIterations) {
            const std::uint64_t bad = d.set.syndrome(d.plan, l);
            for (int f = 0; f < frames; ++f) {
                if (done[f]) continue;
                const bool zero = !((bad >> f) & 1);
                if ((o.earlyStop && zero) || it == o.maxIterations) {
                    results[f] = {zero, it};
                    store(f);
                    done[f] = 1;
                    --left;
                }
            }
        }
        if (left == 0) break;
        d.set.iterate(d.plan, l, d.r.data(), d.q.data());
    }
}

} // namespace codes
