#include "lab/cluster.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#ifdef QUORVANE_MPI
#include <mpi.h>
#endif

namespace lab {

bool StartedByMpiLauncher() {
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_SIZE"})
        if (std::getenv(name) != nullptr) return true;
    return false;
}

#ifdef QUORVANE_MPI

std::unique_ptr<Cluster> Cluster::Join(const std::atomic<bool>& stop, std::string& why) {
    int provided = 0;
    // Only the main thread calls MPI; the engine's workers never do.
    if (MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
        why = "MPI did not start";
        return nullptr;
    }
    std::unique_ptr<Cluster> cluster(new Cluster(stop));
    // Errors come back to us: a lost process is a failed call, not an abort.
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
    MPI_Comm_rank(MPI_COMM_WORLD, &cluster->rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &cluster->size_);
    return cluster;
}

Cluster::~Cluster() {
    // Finalising waits for every process, so not once one is gone.
    if (!lost_) MPI_Finalize();
}

bool Cluster::Wait(void* request) {
    using Clock = std::chrono::steady_clock;
    MPI_Request& r = *static_cast<MPI_Request*>(request);
    bool stopping = false;
    Clock::time_point deadline;
    for (;;) {
        int done = 0;
        if (MPI_Test(&r, &done, MPI_STATUS_IGNORE) != MPI_SUCCESS) break;
        if (done) return true;
        if (stop_.load() && !stopping) {
            stopping = true;
            deadline = Clock::now() + std::chrono::milliseconds(500);
        }
        if (stopping && Clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    lost_ = true;
    return false;
}

bool Cluster::Gather(const std::vector<std::uint64_t>& mine,
                     std::vector<std::vector<std::uint64_t>>& all) {
    if (lost_) return false;
    const int count = static_cast<int>(mine.size());
    std::vector<std::uint64_t> flat(rank_ == 0 ? mine.size() * static_cast<std::size_t>(size_) : 0);
    MPI_Request request;
    if (MPI_Igather(mine.data(), count, MPI_UINT64_T, flat.data(), count, MPI_UINT64_T, 0,
                    MPI_COMM_WORLD, &request) != MPI_SUCCESS ||
        !Wait(&request)) {
        lost_ = true;
        return false;
    }
    all.clear();
    if (rank_ == 0)
        for (int p = 0; p < size_; ++p)
            all.emplace_back(flat.begin() + static_cast<std::ptrdiff_t>(p) * count,
                             flat.begin() + static_cast<std::ptrdiff_t>(p + 1) * count);
    return true;
}

bool Cluster::Share(std::uint64_t& word) {
    if (lost_) return false;
    MPI_Request request;
    if (MPI_Ibcast(&word, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD, &request) != MPI_SUCCESS ||
        !Wait(&request)) {
        lost_ = true;
        return false;
    }
    return true;
}

#else

std::unique_ptr<Cluster> Cluster::Join(const std::atomic<bool>&, std::string& why) {
    why = "this quorvane-lab was built without MPI";
    return nullptr;
}

Cluster::~Cluster() = default;
bool Cluster::Wait(void*) {
    return false;
}
bool Cluster::Gather(const std::vector<std::uint64_t>&, std::vector<std::vector<std::uint64_t>>&) {
    return false;
}
bool Cluster::Share(std::uint64_t&) {
    return false;
}

#endif

PointRunner::PointRunner(const std::atomic<bool>& stop) {
    if (StartedByMpiLauncher()) cluster_ = Cluster::Join(stop, error_);
}

std::string PointRunner::Where() const {
    if (!cluster_) return "alone";
    return "rank " + std::to_string(cluster_->Rank()) + " of " + std::to_string(cluster_->Size());
}

} // namespace lab
