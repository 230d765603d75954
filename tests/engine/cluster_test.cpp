// A point shared by several processes, without MPI: the processes are
// threads here, their Peers a blackboard and a barrier.
#include "engine/cluster.h"

#include <gtest/gtest.h>

#include <barrier>
#include <thread>

namespace {

class Blackboard {
  public:
    explicit Blackboard(int size) : size_(size), slots_(size), sync_(size) {}
    int size_;
    std::vector<std::vector<std::uint64_t>> slots_;
    std::uint64_t word_ = 0;
    std::barrier<> sync_;
};

class LocalPeers final : public engine::Peers {
  public:
    LocalPeers(Blackboard& board, int rank, bool failing = false)
        : board_(board), rank_(rank), failing_(failing) {}
    int Rank() const override { return rank_; }
    int Size() const override { return board_.size_; }
    bool Gather(const std::vector<std::uint64_t>& mine,
                std::vector<std::vector<std::uint64_t>>& all) override {
        if (failing_) return false;
        board_.slots_[static_cast<std::size_t>(rank_)] = mine;
        board_.sync_.arrive_and_wait();
        if (rank_ == 0) all = board_.slots_;
        board_.sync_.arrive_and_wait();
        return true;
    }
    bool Share(std::uint64_t& word) override {
        if (rank_ == 0) board_.word_ = word;
        board_.sync_.arrive_and_wait();
        word = board_.word_;
        board_.sync_.arrive_and_wait();
        return true;
    }

  private:
    Blackboard& board_;
    int rank_;
    bool failing_;
};

struct Shared {
    std::vector<engine::PointEnd> ends;
    engine::PointCounts root;
};

// One point on `size` processes of `threads` threads each; process `stopped`
// (if any) has its stop flag set from the start.
Shared RunShared(engine::BerSettings settings, int size, int threads, double sigma,
                 int stopped = -1, const engine::BerSetup& setup = {}) {
    settings.threads = threads;
    Blackboard board(size);
    Shared out;
    out.ends.resize(static_cast<std::size_t>(size));
    std::vector<std::thread> processes;
    std::vector<std::atomic<bool>> stops(static_cast<std::size_t>(size));
    for (int p = 0; p < size; ++p) stops[static_cast<std::size_t>(p)] = p == stopped;
    for (int p = 0; p < size; ++p) {
        processes.emplace_back([&, p] {
            LocalPeers peers(board, p);
            engine::PointCounts counts;
            out.ends[static_cast<std::size_t>(p)] = engine::RunSharedPoint(
                settings, setup, 2, sigma, stops[static_cast<std::size_t>(p)], peers, counts);
            if (p == 0) out.root = counts;
        });
    }
    for (std::thread& t : processes) t.join();
    return out;
}

TEST(SharedPoint, RankZeroAddsWhatOneProcessWould) {
    // Ending on errors inside a round, on bits with a short last chunk, on a
    // single chunk, with frames longer than a chunk, and with a constraint
    // code (whose user-bit counts travel too).
    const struct {
        std::uint64_t bits, errors;
        int frame;
        double sigma;
        channel::ConstraintKind constraint = channel::ConstraintKind::kNone;
    } cases[] = {{50'000'000, 300, 4096, 0.55},
                 {1'000'000, 1'000'000, 1000, 0.5},
                 {20'000, 1'000'000, 4096, 0.5},
                 {300'000, 50, 100'000, 0.6},
                 {2'000'000, 200, 4000, 0.45, channel::ConstraintKind::kMtr45}};
    for (const auto& c : cases) {
        engine::BerSettings settings;
        settings.bits = c.bits;
        settings.errors = c.errors;
        settings.frame = c.frame;
        engine::BerSetup setup;
        setup.chain.constraint = c.constraint;
        std::atomic<bool> stop{false};
        engine::PointCounts alone;
        ASSERT_TRUE(engine::RunPoint(settings, setup, 2, c.sigma, stop, alone));
        ASSERT_EQ(alone.users.size(),
                  c.constraint == channel::ConstraintKind::kNone ? 0u : alone.detectors.size());
        for (int size : {1, 2, 3}) {
            for (int threads : {1, 2}) {
                const Shared s = RunShared(settings, size, threads, c.sigma, -1, setup);
                for (engine::PointEnd end : s.ends) EXPECT_EQ(end, engine::PointEnd::kDone);
                EXPECT_EQ(s.root.bits, alone.bits) << size << " " << threads;
                ASSERT_EQ(s.root.users.size(), alone.users.size());
                for (const auto& [mine, theirs] : {std::pair{&s.root.detectors, &alone.detectors},
                                                   std::pair{&s.root.users, &alone.users}})
                    for (std::size_t d = 0; d < theirs->size(); ++d) {
                        EXPECT_EQ((*mine)[d].bits, (*theirs)[d].bits);
                        EXPECT_EQ((*mine)[d].bitErrors, (*theirs)[d].bitErrors);
                        EXPECT_EQ((*mine)[d].frameErrors, (*theirs)[d].frameErrors);
                        EXPECT_EQ((*mine)[d].frames, (*theirs)[d].frames);
                    }
            }
        }
    }
}

TEST(SharedPoint, AStoppedOrLostProcessEndsThePointForAll) {
    engine::BerSettings settings;
    settings.bits = 10'000'000;
    settings.errors = settings.bits;
    // Process 2 stopped: rank 0 adds chunks 0 and 1 (16 frames of 4096 bits
    // each) and none after the first one missing; process 0 stopped: none.
    for (const auto& [stopped, bits] : {std::pair{0, 0u}, std::pair{2, 2u * 65536}}) {
        const Shared s = RunShared(settings, 3, 1, 0.5, stopped);
        for (engine::PointEnd end : s.ends) EXPECT_EQ(end, engine::PointEnd::kStopped) << stopped;
        EXPECT_EQ(s.root.bits, bits) << stopped;
    }
    Blackboard board(1);
    LocalPeers lost(board, 0, true);
    const std::atomic<bool> stop{false};
    engine::PointCounts counts;
    EXPECT_EQ(engine::RunSharedPoint(settings, engine::BerSetup{}, 0, 0.5, stop, lost, counts),
              engine::PointEnd::kLost);
}

} // namespace
