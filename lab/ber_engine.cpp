#include "lab/ber_engine.h"

#include "channel/frame.h"
#include "channel/noise.h"
#include "channel/slicer.h"
#include "channel/viterbi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lab {
namespace {

constexpr int kChunkBits = 1 << 16;

// One worker's buffers and detector, reused for every frame it runs. Frames
// go in pairs where they can, which the detector runs side by side; the
// draws from the noise source are the same, in the same order, as one frame
// after the other.
class FrameRunner {
  public:
    explicit FrameRunner(int frame)
        : n_(frame), raw_(2 * static_cast<std::size_t>(frame)), prec_(frame), sliced_(frame),
          detected_(2 * static_cast<std::size_t>(frame)), samp_(frame),
          received_(2 * static_cast<std::size_t>(frame)) {}

    void Run(channel::NoiseSource& source, double sigma, ErrorCounts& counts) {
        Draw(source, sigma, 0);
        viterbi_.Detect(Received(0), n_, Detected(0));
        Count(0, counts);
    }

    void RunPair(channel::NoiseSource& source, double sigma, ErrorCounts& counts) {
        Draw(source, sigma, 0);
        Draw(source, sigma, 1);
        viterbi_.DetectPair(Received(0), Received(1), n_, Detected(0), Detected(1));
        Count(0, counts);
        Count(1, counts);
    }

  private:
    std::size_t At(int f) const {
        return static_cast<std::size_t>(f) * static_cast<std::size_t>(n_);
    }
    std::uint8_t* Raw(int f) { return raw_.data() + At(f); }
    float* Received(int f) { return received_.data() + At(f); }
    std::uint8_t* Detected(int f) { return detected_.data() + At(f); }

    void Draw(channel::NoiseSource& source, double sigma, int f) {
        source.RandomBits(Raw(f), n_);
        channel::EncodeFrame(Raw(f), n_, prec_.data(), samp_.data());
        source.AddNoise(samp_.data(), Received(f), n_, sigma);
    }

    void Count(int f, ErrorCounts& counts) {
        channel::SliceFrame(Received(f), n_, sliced_.data());
        counts.bits += static_cast<std::uint64_t>(n_);
        counts.slicerErrors += Differences(sliced_.data(), Raw(f));
        counts.viterbiErrors += Differences(Detected(f), Raw(f));
    }

    // Bits are 0 or 1, so the exclusive or counts the differences; a 32-bit
    // sum cannot overflow within one frame.
    std::uint64_t Differences(const std::uint8_t* bits, const std::uint8_t* raw) const {
        std::uint32_t sum = 0;
        for (int k = 0; k < n_; ++k) sum += static_cast<std::uint32_t>(bits[k] ^ raw[k]);
        return sum;
    }

    int n_;
    std::vector<std::uint8_t> raw_, prec_, sliced_, detected_;
    std::vector<std::int8_t> samp_;
    std::vector<float> received_;
    channel::Viterbi viterbi_;
};

ErrorCounts RunFrames(FrameRunner& runner, const BerSettings& settings, int point,
                      std::uint64_t chunk, int frames, double sigma) {
    channel::NoiseSource source(settings.seed, ChunkStream(point, chunk));
    ErrorCounts counts;
    int f = 0;
    for (; f + 2 <= frames; f += 2) runner.RunPair(source, sigma, counts);
    if (f < frames) runner.Run(source, sigma, counts);
    return counts;
}

void Add(ErrorCounts& total, const ErrorCounts& part) {
    total.bits += part.bits;
    total.slicerErrors += part.slicerErrors;
    total.viterbiErrors += part.viterbiErrors;
}

bool Enough(const BerSettings& settings, const ErrorCounts& total) {
    return total.bits >= settings.bits ||
           (total.slicerErrors >= settings.errors && total.viterbiErrors >= settings.errors);
}

} // namespace

int ChunkFrames(int frame) {
    return frame >= kChunkBits ? 1 : (kChunkBits + frame - 1) / frame;
}

ErrorCounts RunChunk(const BerSettings& settings, int point, std::uint64_t chunk, int frames,
                     double sigma) {
    FrameRunner runner(settings.frame);
    return RunFrames(runner, settings, point, chunk, frames, sigma);
}

bool RunPoint(const BerSettings& settings, int point, double sigma, const std::atomic<bool>& stop,
              ErrorCounts& total, const std::function<void(const ErrorCounts&)>& report) {
    // The bit limit rounded up to whole frames; the last chunk may be short.
    const std::uint64_t frame = static_cast<std::uint64_t>(settings.frame);
    const std::uint64_t totalFrames = (settings.bits + frame - 1) / frame;
    const std::uint64_t perChunk = static_cast<std::uint64_t>(ChunkFrames(settings.frame));
    const std::uint64_t chunks = (totalFrames + perChunk - 1) / perChunk;

    std::atomic<std::uint64_t> next{0};
    std::atomic<bool> finished{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::uint64_t, ErrorCounts> waiting; // done, not yet added: later than `added`
    std::uint64_t added = 0;
    ErrorCounts sum;
    int running = settings.threads;

    auto work = [&] {
        FrameRunner runner(settings.frame);
        while (!finished.load() && !stop.load()) {
            const std::uint64_t c = next.fetch_add(1);
            if (c >= chunks) break;
            const std::uint64_t first = c * perChunk;
            const int frames = static_cast<int>(std::min(perChunk, totalFrames - first));
            const ErrorCounts counts = RunFrames(runner, settings, point, c, frames, sigma);
            std::lock_guard<std::mutex> lock(mutex);
            waiting.emplace(c, counts);
            while (!finished.load() && !waiting.empty() && waiting.begin()->first == added) {
                Add(sum, waiting.begin()->second);
                waiting.erase(waiting.begin());
                ++added;
                if (Enough(settings, sum)) finished.store(true);
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        changed.notify_all();
    };

    std::vector<std::thread> workers;
    for (int t = 0; t < settings.threads; ++t) workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            changed.wait_for(lock, std::chrono::milliseconds(100));
            if (report && running > 0) {
                const ErrorCounts now = sum;
                lock.unlock();
                report(now);
                lock.lock();
            }
        }
    }
    for (std::thread& w : workers) w.join();
    total = sum;
    return finished.load() || added == chunks;
}

} // namespace lab
