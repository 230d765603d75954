#pragma once
// The window's simulations run here, never on the thread that handles the
// user's input: each job on a thread of its own, below the window's priority
// (so a busy machine still answers the keyboard first), stopped when asked
// and never waited for while the window runs, except at its end.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace labmodel {

// The niceness the window's threads take; the threads the engines start from
// them inherit it.
inline constexpr int kWorkerNiceness = 10;
// Lowers the calling thread's priority to kWorkerNiceness (where the system
// allows it; otherwise nothing changes).
void LowerThisThread();

// Jobs of one kind (the eye, the sweep): starting one asks the one before to
// stop. A job gets a flag it must check often and returns once it is set.
class Jobs {
  public:
    using Job = std::function<void(const std::atomic<bool>& stop)>;
    Jobs() = default;
    ~Jobs(); // StopAndWait
    Jobs(const Jobs&) = delete;
    Jobs& operator=(const Jobs&) = delete;

    // Asks every running job to stop and starts `job`; returns at once.
    void Start(Job job);
    // Asks every running job to stop; returns at once.
    void Stop();
    // Asks every job to stop and waits until their threads have ended.
    void StopAndWait();
    // Jobs whose threads have not ended yet.
    int Running() const;

  private:
    struct Run {
        std::atomic<bool> stop{false};
        std::atomic<bool> done{false};
        std::thread thread;
    };
    void Reap(); // joins the threads that have ended
    std::vector<std::unique_ptr<Run>> runs_;
};

// One thread that runs tasks one after another in the order they come: the
// block view's presses, each of which depends on the one before.
class SerialWorker {
  public:
    SerialWorker();
    ~SerialWorker(); // finishes the task at hand, drops the rest
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void Post(std::function<void()> task);
    // Waits until every task posted so far has run.
    void Drain();

  private:
    void Loop();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace labmodel
