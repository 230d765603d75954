#pragma once
// The error-rate engine: frames through the chain and every detector asked
// for, counted until a point has enough bits or errors. A point's work is cut
// into fixed chunks of whole frames; chunk c of point i draws its data bits
// and its noise from its own stream (seed, ChunkStream(i, c)). Worker threads
// take chunks in any order, but their counts are added strictly in chunk
// order and the point ends after the first chunk at which it has enough bits
// or enough errors of every detector, so the counts never depend on the
// thread count.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/monitor.h"

namespace engine {

struct BerSettings {
    std::uint64_t bits = 10'000'000; // a point stops once it has counted this many bits
    std::uint64_t errors = 1000;     // ... or once every detector has this many errors
    int frame = 4096;                // bits per frame, each from an all-zero history
    std::uint64_t seed = 1;
    int threads = 1;
};

// What runs at every point: the chain and its detectors (none named: every
// one that applies to the point's target and channel).
struct BerSetup {
    ChainSettings chain;
    std::vector<detectors::Kind> detectors;
};
// The detectors that run with a design, in the order of the counts.
std::vector<detectors::Kind> DetectorsOf(const BerSetup& setup, const ChannelDesign& design);

// A point's counts so far: one monitor per detector of the setup, in its order.
struct PointCounts {
    std::uint64_t bits = 0;
    std::vector<Monitor> detectors;
    // With a constraint code: each detector's user bits after the code's
    // decoder, in the same order (empty without one).
    std::vector<Monitor> users;
    // With timing modelled: the frames that slipped a cycle, and the squared
    // timing error summed over the data samples of the others.
    std::uint64_t slipFrames = 0;
    double phaseSquares = 0;
    std::uint64_t phaseSamples = 0;

    double RmsPhase() const {
        return phaseSamples > 0 ? std::sqrt(phaseSquares / static_cast<double>(phaseSamples)) : 0.0;
    }
    void Add(const PointCounts& other);
};

// Frames per chunk: about 64 Ki bits, at least one frame.
int ChunkFrames(int frame);

// The noise stream of chunk `chunk` of point `point`.
constexpr std::uint64_t ChunkStream(int point, std::uint64_t chunk) {
    return (static_cast<std::uint64_t>(point) << 40) | chunk;
}

// Counts of `frames` frames of chunk `chunk` of point `point` through a
// channel designed for its noise (DesignChannel). Allocates its own scratch;
// the engine keeps one per worker. RunChunk always runs the chain of stages
// (the yardstick of the fused chain); ChunkRunner and RunPoint run the fused
// chain (engine/fused_chunk.h) where it applies and the processor has its
// vector loops, with the same counts.
PointCounts RunChunk(const BerSettings& settings, const BerSetup& setup,
                     const ChannelDesign& design, int point, std::uint64_t chunk, int frames);

// Whether a point with these counts has ended: enough bits, or enough errors
// of every detector.
bool Enough(const BerSettings& settings, const PointCounts& total);

// A worker's chain, detectors and buffers for RunChunk's work, kept from one
// chunk to the next (for engines that hand out chunks themselves). `design`
// must outlive it.
class ChunkRunner {
  public:
    ChunkRunner(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design);
    ~ChunkRunner();
    ChunkRunner(const ChunkRunner&) = delete;
    ChunkRunner& operator=(const ChunkRunner&) = delete;
    PointCounts Run(int point, std::uint64_t chunk, int frames);

  private:
    struct Impl;
    Impl* impl_;
};

// Runs one point to its end, or until `stop` becomes true (then returns false
// and `total` holds the chunks added so far). `report` is called on the
// calling thread a few times a second with the running total. The setup's
// detectors must apply to the design's target.
bool RunPoint(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design,
              int point, const std::atomic<bool>& stop, PointCounts& total,
              const std::function<void(const PointCounts&)>& report = {});
// The same with the channel designed here for deviation `sigma`.
bool RunPoint(const BerSettings& settings, const BerSetup& setup, int point, double sigma,
              const std::atomic<bool>& stop, PointCounts& total,
              const std::function<void(const PointCounts&)>& report = {});

} // namespace engine
