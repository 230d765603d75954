#include "engine/eye_recovered.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "channel/encoder.h"
#include "engine/chain.h"
#include "engine/workers.h"

namespace engine {
namespace {

constexpr int kPoints = channel::kPointsPerBit;
constexpr std::uint64_t kFirstStream = std::uint64_t{1} << 40;

double Sinc(double x) {
    if (x == std::round(x)) return x == 0 ? 1.0 : 0.0;
    return std::sin(channel::kPi * x) / (channel::kPi * x);
}

struct FrameStats {
    bool done = false;
    bool slipped = false;
    double squares = 0;
    int counted = 0;
    std::uint64_t traces = 0;
};

// One worker: its frame's scratch, the windows' values and its raster.
class Worker {
  public:
    Worker(const ChannelDesign& design, const EyeSettings& settings, const EyeGeometry& geometry)
        : d_(*design.timing), design_(design), settings_(settings), painter_(geometry),
          encoder_(design.target), uis_(geometry.uis), n_(kPoints * geometry.uis),
          equalized_(EqualizedEye(settings.chain, settings.point)) {
        // sinc(tau_o - d), tau_o = (o - 5 uis) / 10: exact zeros at the
        // integers, so at tau = 0 the noise is the sample's own.
        constexpr int width = 2 * kRecoveredNoiseReach + 1;
        weights_.resize(static_cast<std::size_t>((n_ + 1) * width));
        for (int o = 0; o <= n_; ++o)
            for (int dd = -kRecoveredNoiseReach; dd <= kRecoveredNoiseReach; ++dd)
                weights_[static_cast<std::size_t>(o * width + dd + kRecoveredNoiseReach)] =
                    static_cast<float>(Sinc(static_cast<double>(o - 5 * uis_) / kPoints - dd));
        points_.resize(static_cast<std::size_t>(n_ + 1));
        hits_.assign(static_cast<std::size_t>(geometry.width) * geometry.height, 0);
    }

    void Frame(std::uint64_t f, FrameStats& stats) {
        const int bits = kRecoveredFrameBits;
        const int samples = bits + (design_.settings.tail ? design_.target.Memory() : 0);
        channel::NoiseSource source(settings_.seed, kFirstStream + f);
        raw_.resize(static_cast<std::size_t>(bits));
        prec_.resize(static_cast<std::size_t>(bits));
        received_.resize(static_cast<std::size_t>(samples));
        source.RandomBits(raw_.data(), bits);
        encoder_.Precode(raw_.data(), bits, prec_.data());
        const double sigma = design_.sigma;
        const AddNoiseFn noise = [&source, sigma](const float* clean, float* out, int count) {
            source.AddNoise(clean, out, count, sigma);
        };
        PrepareFrame(d_, prec_.data(), bits, samples, source, noise, scratch_);
        TimingScratch* scratch[] = {&scratch_};
        float* received[] = {received_.data()};
        TimingTrack* tracks[] = {&track_};
        RunLoops(d_, 1, scratch, received, tracks);
        stats.slipped = track_.slips != 0;
        stats.squares = track_.squares;
        stats.counted = track_.counted;

        // The data's windows: every uis-th sample from the first whose
        // equalizer inputs all have an instant (j >= 0).
        const int taps = static_cast<int>(d_.taps.size());
        const int start = d_.DataStart();
        const int first = std::max(start, taps - 1 - d_.delay);
        const int last = start + bits - 1;
        if (last < first) return;
        const int windows = (last - first) / uis_ + 1;
        error_.resize(track_.truePhase.size());
        for (std::size_t j = 0; j < error_.size(); ++j)
            error_[j] = static_cast<double>(track_.truePhase[j]) - track_.recovered[j];
        if (equalized_) {
            // Every input of every window, offset by offset.
            const int from = first + d_.delay - taps + 1;
            const int to = first + (windows - 1) * uis_ + d_.delay;
            values_.resize(static_cast<std::size_t>((n_ + 1) * windows));
            inputs_.resize(static_cast<std::size_t>(to - from + 1));
            for (int o = 0; o <= n_; ++o) {
                for (int j = from; j <= to; ++j)
                    inputs_[static_cast<std::size_t>(j - from)] = Read(j, o);
                const float* x = inputs_.data() - from;
                for (int w = 0; w < windows; ++w) {
                    const int k = first + w * uis_;
                    float v = 0;
                    for (int i = 0; i < taps; ++i)
                        v += d_.taps[static_cast<std::size_t>(i)] * x[k + d_.delay - i];
                    values_[static_cast<std::size_t>(w * (n_ + 1) + o)] = v + d_.bias;
                }
            }
            for (int w = 0; w < windows; ++w)
                Draw(values_.data() + static_cast<std::size_t>(w * (n_ + 1)));
        } else {
            for (int w = 0; w < windows; ++w) {
                const int k = first + w * uis_;
                for (int o = 0; o <= n_; ++o) points_[static_cast<std::size_t>(o)] = Read(k, o);
                Draw(points_.data());
            }
        }
        stats.traces = static_cast<std::uint64_t>(windows);
    }

    void Finish() {
        painter_.Drain(hits_);
        pending_ = 0;
    }
    const std::vector<std::uint32_t>& Hits() const { return hits_; }

  private:
    // Sample j read tau_o later than the loop read it, with its noise.
    float Read(int j, int o) {
        const TimingScratch& sc = scratch_;
        if (o == 5 * uis_) return sc.x[static_cast<std::size_t>(j - sc.first)];
        const double t =
            j + error_[static_cast<std::size_t>(j)] + static_cast<double>(o - 5 * uis_) / kPoints;
        float v = d_.sampler->At(t, sc.frame);
        const float* w = weights_.data() +
                         static_cast<std::size_t>(o) * (2 * kRecoveredNoiseReach + 1) +
                         kRecoveredNoiseReach;
        const int lo = std::max(-kRecoveredNoiseReach, sc.first - j);
        const int hi = std::min(kRecoveredNoiseReach, sc.end - 1 - j);
        float n = 0;
        for (int dd = lo; dd <= hi; ++dd)
            n += w[dd] * sc.noise[static_cast<std::size_t>(j + dd - sc.first)];
        return v + n;
    }

    void Draw(const float* points) {
        painter_.DrawTrace(points);
        // No pixel holds more than one hit a window: drained before 255.
        if (++pending_ == 255) Finish();
    }

    const TimingDesign& d_;
    const ChannelDesign& design_;
    const EyeSettings& settings_;
    EyePainter painter_;
    channel::FrameEncoder encoder_;
    int uis_, n_;
    bool equalized_;
    int pending_ = 0;
    std::vector<float> weights_, points_, values_, inputs_, received_;
    std::vector<double> error_;
    std::vector<std::uint8_t> raw_, prec_;
    std::vector<std::uint32_t> hits_;
    TimingScratch scratch_;
    TimingTrack track_;
};

} // namespace

std::uint64_t RecoveredFrames(const EyeSettings& settings, const EyeGeometry& geometry) {
    const std::uint64_t windows =
        settings.blocks *
        static_cast<std::uint64_t>(WindowsOf(geometry.uis, geometry.firstSample).count);
    const std::uint64_t perFrame =
        static_cast<std::uint64_t>(std::max(1, kRecoveredFrameBits / geometry.uis));
    return std::max<std::uint64_t>(1, (windows + perFrame - 1) / perFrame);
}

bool DrawRecoveredEye(const EyeSettings& settings, const EyeGeometry& geometry,
                      std::uint64_t frames, const std::atomic<bool>& stop, RecoveredEye& eye,
                      const std::function<void(std::uint64_t)>& report) {
    eye = RecoveredEye{};
    eye.image.geometry = geometry;
    const std::size_t size = static_cast<std::size_t>(geometry.width) * geometry.height;
    eye.image.hits.assign(size, 0);
    ChainSettings chain = settings.chain;
    chain.timing.on = true;
    const ChannelDesign design = DesignChannel(chain, settings.sigma);
    std::vector<FrameStats> stats(static_cast<std::size_t>(frames));
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::mutex mutex;
    const int threads =
        static_cast<int>(std::min<std::uint64_t>(std::max(settings.threads, 1), frames));
    auto work = [&] {
        Worker worker(design, settings, geometry);
        while (!stop.load()) {
            const std::uint64_t f = next.fetch_add(1);
            if (f >= frames) break;
            worker.Frame(f, stats[static_cast<std::size_t>(f)]);
            stats[static_cast<std::size_t>(f)].done = true;
            done.fetch_add(1);
        }
        worker.Finish();
        std::lock_guard<std::mutex> lock(mutex);
        for (std::size_t i = 0; i < size; ++i) eye.image.hits[i] += worker.Hits()[i];
    };
    RunWorkers(threads, work, [&] {
        if (report) report(done.load());
    });
    // In frame order, so the sums never depend on the threads.
    for (const FrameStats& s : stats) {
        if (!s.done) continue;
        ++eye.image.blocks;
        eye.image.traces += s.traces;
        eye.slipped += s.slipped ? 1 : 0;
        eye.squares += s.squares;
        eye.counted += static_cast<std::uint64_t>(s.counted);
    }
    return eye.image.blocks == frames;
}

} // namespace engine
