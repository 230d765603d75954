#include "engine/workers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {

void RunWorkers(int threads, const std::function<void()>& work,
                const std::function<void()>& report) {
    std::mutex mutex;
    std::condition_variable changed;
    int running = threads;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            work();
            std::lock_guard<std::mutex> lock(mutex);
            --running;
            changed.notify_all();
        });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            changed.wait_for(lock, std::chrono::milliseconds(100));
            if (report && running > 0) {
                lock.unlock();
                report();
                lock.lock();
            }
        }
    }
    for (std::thread& w : workers) w.join();
}

} // namespace engine
