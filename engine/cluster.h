#pragma once
// A point of the error-rate engine shared by several processes (a cluster
// run): the engine's side. It knows nothing of how the processes reach each
// other; a front end gives it a Peers.
//
// The point's chunks are the same as in one process (engine/error_rate.h):
// chunk c draws from its own stream, so any process can run it. They are run
// in rounds: round r covers the next Size() * K_r chunks, process p taking
// every Size()-th of them from the p-th on, K_r = 4, 8, 16, ... up to 64 per
// thread of rank 0. After each round rank 0 gathers every chunk's counts,
// adds them strictly in chunk order and ends the point after the first chunk
// at which it has enough, exactly where one process would; the others run
// the next round or stop as it says. So the counts do not depend on the
// number of processes or threads; at most the last round's later chunks are
// run for nothing.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/error_rate.h"

namespace engine {

// The processes of a shared run, as this process sees them. Every call is
// collective: all processes make the same calls in the same order. A call
// returns false when it cannot complete because a process is gone.
class Peers {
  public:
    virtual ~Peers() = default;
    virtual int Rank() const = 0; // 0 ... Size() - 1; rank 0 adds the counts
    virtual int Size() const = 0;
    // Every process passes words of the same length; rank 0 gets them all,
    // all[p] from process p.
    virtual bool Gather(const std::vector<std::uint64_t>& mine,
                        std::vector<std::vector<std::uint64_t>>& all) = 0;
    // Rank 0's `word` to every process.
    virtual bool Share(std::uint64_t& word) = 0;
};

enum class PointEnd {
    kDone,    // the point ended as in one process; `total` holds its counts
    kStopped, // some process was told to stop before the point ended
    kLost,    // a process is gone: the counts are worth nothing
};

// Runs one point shared with `peers`. `stop` is this process's own flag
// (Ctrl-C, SIGTERM): a process that sees it stops after its current chunks,
// and the point ends stopped unless the chunks in hand already finish it.
// On rank 0, `total` gets the counts and `report` is called after every
// round with the running total.
// Every process designs the same channel from the same settings and sigma
// (DesignChannel is deterministic), so every process runs the same chain.
PointEnd RunSharedPoint(const BerSettings& settings, const BerSetup& setup,
                        const ChannelDesign& design, int point, const std::atomic<bool>& stop,
                        Peers& peers, PointCounts& total,
                        const std::function<void(const PointCounts&)>& report = {});
// The same with the channel designed here for deviation `sigma`.
PointEnd RunSharedPoint(const BerSettings& settings, const BerSetup& setup, int point, double sigma,
                        const std::atomic<bool>& stop, Peers& peers, PointCounts& total,
                        const std::function<void(const PointCounts&)>& report = {});

} // namespace engine
