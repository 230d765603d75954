#pragma once
// Cluster runs of `ber` over MPI. When an MPI launcher (mpirun, srun) started
// this process, the processes of its run share each point's chunks through
// the engine's Peers (engine/cluster.h); otherwise nothing of MPI is
// touched: a plain start never initialises MPI, whose start without a
// launcher takes a good part of a second.
#include <atomic>
#include <memory>
#include <string>

#include "engine/cluster.h"

namespace lab {

// Whether an MPI launcher started this process, as its environment tells:
// Open MPI's mpirun sets OMPI_COMM_WORLD_SIZE, PMIx launchers (srun
// --mpi=pmix among them) PMIX_RANK, PMI-2 ones PMI_SIZE.
bool StartedByMpiLauncher();

class Cluster : public engine::Peers {
  public:
    // Joins the launcher's run; on failure an empty pointer and `why`. A
    // collective call that has not completed within half a second of `stop`
    // becoming true gives up: a process that was told to stop answers within
    // a chunk, so one that does not is gone (the launcher stops the others
    // when one dies, and kills them a second later).
    static std::unique_ptr<Cluster> Join(const std::atomic<bool>& stop, std::string& why);
    ~Cluster() override; // leaves the run, unless a process was lost

    int Rank() const override { return rank_; }
    int Size() const override { return size_; }
    bool Gather(const std::vector<std::uint64_t>& mine,
                std::vector<std::vector<std::uint64_t>>& all) override;
    bool Share(std::uint64_t& word) override;
    // Whether a call failed: the run cannot end cleanly any more.
    bool Lost() const { return lost_; }

  private:
    explicit Cluster(const std::atomic<bool>& stop) : stop_(stop) {}
    bool Wait(void* request);

    const std::atomic<bool>& stop_;
    int rank_ = 0;
    int size_ = 1;
    bool lost_ = false;
};

// The processes of `ber`'s run: this process alone, or, under an MPI
// launcher, the run it joined, rank 0 adding the counts and the others only
// computing (engine::RunSweep takes them as its peers).
class PointRunner {
  public:
    explicit PointRunner(const std::atomic<bool>& stop);
    // Why this process could not join its launcher's run; empty when it did
    // (or when it runs alone).
    const std::string& Error() const { return error_; }
    bool Shared() const { return cluster_ != nullptr; }
    // Whether this process prints and writes: rank 0, or the process alone.
    bool Root() const { return !cluster_ || cluster_->Rank() == 0; }
    // "rank 2 of 3", for messages.
    std::string Where() const;

    // The other processes of the run for the sweep engine, or null alone.
    engine::Peers* Peers() const { return cluster_.get(); }

  private:
    std::unique_ptr<Cluster> cluster_;
    std::string error_;
};

} // namespace lab
