#pragma once
// The error-rate engine behind `quorvane-lab ber`. A point's work is cut into
// fixed chunks of whole frames; chunk c of point i draws its data bits and its
// noise from its own stream (seed, ChunkStream(i, c)). Worker threads take
// chunks in any order, but their counts are added strictly in chunk order and
// the point ends after the first chunk at which it has enough bits or enough
// errors of both detectors, so the counts never depend on the thread count.
#include <atomic>
#include <cstdint>
#include <functional>

namespace lab {

struct BerSettings {
    std::uint64_t bits = 10'000'000; // a point stops once it has counted this many bits
    std::uint64_t errors = 1000;     // ... or once both detectors have this many errors
    int frame = 4096;                // bits per frame, each from an all-zero history
    std::uint64_t seed = 1;
    int threads = 1;
};

struct ErrorCounts {
    std::uint64_t bits = 0;
    std::uint64_t slicerErrors = 0;
    std::uint64_t viterbiErrors = 0;
};

// One finished point, as the table, the CSV and a chart show it.
struct BerPoint {
    double snrDb = 0;
    double sigma = 0;
    std::uint64_t bits = 0;
    std::uint64_t slicerErrors = 0;
    std::uint64_t viterbiErrors = 0;
    double unionBound = 0; // of the Viterbi detector's raw-bit error rate
    double SlicerBer() const { return bits > 0 ? double(slicerErrors) / double(bits) : 0.0; }
    double ViterbiBer() const { return bits > 0 ? double(viterbiErrors) / double(bits) : 0.0; }
};

// Frames per chunk: about 64 Ki bits, at least one frame.
int ChunkFrames(int frame);

// The noise stream of chunk `chunk` of point `point`.
constexpr std::uint64_t ChunkStream(int point, std::uint64_t chunk) {
    return (static_cast<std::uint64_t>(point) << 40) | chunk;
}

// Counts of `frames` frames of chunk `chunk` of point `point` at deviation
// `sigma`. Allocates its own scratch; the engine keeps one per worker.
ErrorCounts RunChunk(const BerSettings& settings, int point, std::uint64_t chunk, int frames,
                     double sigma);

// Runs one point to its end, or until `stop` becomes true (then returns false
// and `total` holds the chunks added so far). `report` is called on the
// calling thread a few times a second with the running total.
bool RunPoint(const BerSettings& settings, int point, double sigma, const std::atomic<bool>& stop,
              ErrorCounts& total, const std::function<void(const ErrorCounts&)>& report = {});

} // namespace lab
