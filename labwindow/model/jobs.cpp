#include "labwindow/model/jobs.h"

#include <algorithm>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace labmodel {

void LowerThisThread() {
#ifdef __linux__
    // On Linux the niceness belongs to each thread, and threads started
    // later inherit it.
    const id_t self = static_cast<id_t>(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, self) < kWorkerNiceness)
        setpriority(PRIO_PROCESS, self, kWorkerNiceness);
#endif
}

Jobs::~Jobs() {
    StopAndWait();
}

void Jobs::Start(Job job) {
    Stop();
    Reap();
    auto run = std::make_unique<Run>();
    Run* r = run.get();
    r->thread = std::thread([r, job = std::move(job)] {
        LowerThisThread();
        job(r->stop);
        r->done.store(true);
    });
    runs_.push_back(std::move(run));
}

void Jobs::Stop() {
    for (auto& r : runs_) r->stop.store(true);
}

void Jobs::StopAndWait() {
    Stop();
    for (auto& r : runs_)
        if (r->thread.joinable()) r->thread.join();
    runs_.clear();
}

int Jobs::Running() const {
    return static_cast<int>(
        std::count_if(runs_.begin(), runs_.end(), [](const auto& r) { return !r->done.load(); }));
}

void Jobs::Reap() {
    for (auto& r : runs_)
        if (r->done.load() && r->thread.joinable()) r->thread.join();
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                               [](const auto& r) { return !r->thread.joinable(); }),
                runs_.end());
}

SerialWorker::SerialWorker() : thread_([this] { Loop(); }) {}

SerialWorker::~SerialWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        tasks_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void SerialWorker::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_all();
}

void SerialWorker::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

void SerialWorker::Loop() {
    LowerThisThread();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
        if (quit_) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        busy_ = true;
        lock.unlock();
        task();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace labmodel
