#include "codes/frames.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
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

// A B x B block of elements of S bytes (B = 8 / S), row i in word i
// (element j at bits 8 S j ...), transposed in place: the halves' off-diagonal
// blocks swapped, then the quarters', down to single elements.
template <int S> inline void TransposeBlock(std::uint64_t* w) {
    constexpr int B = 8 / S;
    constexpr std::uint64_t kMask[3] = {0x00000000FFFFFFFFull, 0x0000FFFF0000FFFFull,
                                        0x00FF00FF00FF00FFull};
    int stage = 0;
    for (int h = B / 2; h >= 1; h /= 2, ++stage) {
        const int shift = 8 * S * h;
        for (int i = 0; i < B; ++i) {
            if (i & h) continue;
            const std::uint64_t t = ((w[i] >> shift) ^ w[i + h]) & kMask[stage];
            w[i + h] ^= t, w[i] ^= t << shift;
        }
    }
}

// rows[f][0 ... n-1] (f < lanes) into l[v * lanes + f], block by block.
template <typename T> void ToLanes(const T* rows, int n, int lanes, T* l) {
    constexpr int B = 8 / sizeof(T);
    int v0 = 0;
    for (; v0 + B <= n; v0 += B)
        for (int f0 = 0; f0 < lanes; f0 += B) {
            std::uint64_t w[B];
            for (int i = 0; i < B; ++i)
                std::memcpy(&w[i], rows + static_cast<std::size_t>(f0 + i) * n + v0, 8);
            TransposeBlock<sizeof(T)>(w);
            for (int j = 0; j < B; ++j)
                std::memcpy(l + static_cast<std::size_t>(v0 + j) * lanes + f0, &w[j], 8);
        }
    for (; v0 < n; ++v0)
        for (int f = 0; f < lanes; ++f)
            l[static_cast<std::size_t>(v0) * lanes + f] =
                rows[static_cast<std::size_t>(f) * n + v0];
}

// The decisions of every lane, lane f's into out[f][0 ... n-1]. An integer
// is negative when its sign bit is set; a float by comparison (-0 decides 0).
template <typename T> void Decisions(const T* l, int n, int lanes, std::uint8_t* const* out) {
    int v0 = 0;
    if constexpr (sizeof(T) == 1) {
        for (; v0 + 8 <= n; v0 += 8)
            for (int f0 = 0; f0 < lanes; f0 += 8) {
                std::uint64_t w[8];
                for (int j = 0; j < 8; ++j) {
                    std::memcpy(&w[j], l + static_cast<std::size_t>(v0 + j) * lanes + f0, 8);
                    w[j] = (w[j] >> 7) & 0x0101010101010101ull;
                }
                TransposeBlock<1>(w);
                for (int i = 0; i < 8; ++i) std::memcpy(out[f0 + i] + v0, &w[i], 8);
            }
    } else if constexpr (sizeof(T) == 2) {
        for (; v0 + 4 <= n; v0 += 4)
            for (int f0 = 0; f0 < lanes; f0 += 4) {
                std::uint64_t w[4];
                for (int j = 0; j < 4; ++j) {
                    std::memcpy(&w[j], l + static_cast<std::size_t>(v0 + j) * lanes + f0, 8);
                    w[j] = (w[j] >> 15) & 0x0001000100010001ull;
                }
                TransposeBlock<2>(w);
                for (int i = 0; i < 4; ++i) {
                    // Four 16-bit 0/1 values to four bytes.
                    std::uint64_t x = w[i];
                    x = (x | x >> 8) & 0x0000FFFF0000FFFFull;
                    const std::uint32_t b = static_cast<std::uint32_t>(x | x >> 16);
                    std::memcpy(out[f0 + i] + v0, &b, 4);
                }
            }
    }
    for (; v0 < n; v0 += 64) {
        const int end = std::min(n, v0 + 64);
        for (int f = 0; f < lanes; ++f)
            for (int v = v0; v < end; ++v)
                out[f][v] = l[static_cast<std::size_t>(v) * lanes + f] < 0;
    }
}

template <typename T> void Posterior(const T* l, int n, int lanes, int f, float scale, float* out) {
    for (int v = 0; v < n; ++v)
        out[v] = static_cast<float>(l[static_cast<std::size_t>(v) * lanes + f]) / scale;
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
    std::vector<Line> rows;                 // the frames' inputs, frame by frame
    std::vector<std::uint8_t> spare;        // decisions of lanes not taken yet
    std::vector<std::uint8_t*> decisionsTo; // per lane
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
    d.rows.resize(lines(code.n));
    d.spare.resize(code.n);
    d.decisionsTo.resize(d.set.lanes);
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
    const int lanes = d.set.lanes, n = d.code.n;
    const float scale = d.options.arithmetic == Arithmetic::kFloat ? 1.0f : d.k.scale;
    void* l = d.l.data();
    // Work on the element type T: `fn` is called with a null T*.
    auto typed = [&](auto fn) {
        if (d.elementSize == 1)
            fn(static_cast<std::int8_t*>(nullptr));
        else if (d.elementSize == 2)
            fn(static_cast<std::int16_t*>(nullptr));
        else
            fn(static_cast<float*>(nullptr));
    };
    typed([&]<typename T>(T*) {
        T* rows = reinterpret_cast<T*>(d.rows.data());
        for (int f = 0; f < lanes; ++f) {
            T* row = rows + static_cast<std::size_t>(f) * n;
            if (f >= frames) {
                std::fill(row, row + n, T(0));
            } else if (d.set.quantize) {
                d.set.quantize(ratios[f], n, d.k.scale, static_cast<float>(d.k.cap), row);
            } else if constexpr (std::is_same_v<T, float>) {
                for (int v = 0; v < n; ++v) row[v] = CleanRatio(ratios[f][v]);
            } else {
                QuantizeRow(ratios[f], n, d.k, row);
            }
        }
        ToLanes(rows, n, lanes, static_cast<T*>(l));
    });
    std::memset(d.r.data(), 0, d.r.size() * sizeof(Line));
    // The frames in `take` keep what they have now.
    auto store = [&](const std::vector<char>& take) {
        for (int f = 0; f < lanes; ++f)
            d.decisionsTo[f] = f < frames && take[f] ? bits[f] : nullptr;
        typed([&]<typename T>(T*) {
            const T* lt = static_cast<const T*>(l);
            int taken = 0;
            for (int f = 0; f < frames; ++f) taken += take[f];
            if (taken >= 8) {
                for (auto& p : d.decisionsTo)
                    if (!p) p = d.spare.data();
                Decisions(lt, n, lanes, d.decisionsTo.data());
            } else {
                for (int f = 0; f < frames; ++f)
                    if (take[f])
                        for (int v = 0; v < n; ++v)
                            bits[f][v] = lt[static_cast<std::size_t>(v) * lanes + f] < 0;
            }
            if (posterior)
                for (int f = 0; f < frames; ++f)
                    if (take[f]) Posterior(lt, n, lanes, f, scale, posterior[f]);
        });
    };
    const DecoderOptions& o = d.options.decoder;
    std::vector<char> done(frames, 0), take(frames, 0);
    int left = frames;
    for (int it = 0;; ++it) {
        if (o.earlyStop || it == o.maxIterations) {
            const std::uint64_t bad = d.set.syndrome(d.plan, l);
            bool any = false;
            for (int f = 0; f < frames; ++f) {
                const bool zero = !((bad >> f) & 1);
                take[f] = !done[f] && ((o.earlyStop && zero) || it == o.maxIterations);
                if (!take[f]) continue;
                results[f] = {zero, it};
                done[f] = 1;
                --left;
                any = true;
            }
            if (any) store(take);
        }
        if (left == 0) break;
        d.set.iterate(d.plan, l, d.r.data(), d.q.data());
    }
}

} // namespace codes
