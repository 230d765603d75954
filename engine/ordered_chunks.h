#pragma once
// The engines' one way to add up chunked work so that the result never
// depends on the thread count: the workers take chunks in any order, but
// their sums are added strictly in chunk order, and a run that ends on a
// rule ends after the first chunk at which the rule holds.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "engine/workers.h"

namespace engine {

// Runs chunks 0 ... chunks-1 on `threads` workers. Each worker makes its own
// state once with make() (its chain, detectors and buffers) and runs chunk c
// with run(state, c), which gives that chunk's sum; the sums go into `total`
// (holding its starting value; Sum has Add) in chunk order. The run ends
// after the first chunk at which enough(total) holds (when given), once every
// chunk is in, or at `stop`; report, when given, gets a copy of the sum so
// far a few times a second on the calling thread. Returns whether it ended
// by the rule or with every chunk, not by `stop`.
template <typename Sum, typename Make, typename Run>
bool RunChunksInOrder(int threads, std::uint64_t chunks, const std::atomic<bool>& stop, Sum& total,
                      Make make, Run run, const std::function<bool(const Sum&)>& enough,
                      const std::function<void(const Sum&)>& report) {
    std::atomic<std::uint64_t> next{0};
    std::atomic<bool> finished{false};
    std::mutex mutex;
    std::map<std::uint64_t, Sum> waiting; // done, not yet added: later than `added`
    std::uint64_t added = 0;
    auto work = [&] {
        auto state = make();
        while (!finished.load() && !stop.load()) {
            const std::uint64_t c = next.fetch_add(1);
            if (c >= chunks) break;
            Sum part = run(state, c);
            std::lock_guard<std::mutex> lock(mutex);
            waiting.emplace(c, std::move(part));
            while (!finished.load() && !waiting.empty() && waiting.begin()->first == added) {
                total.Add(waiting.begin()->second);
                waiting.erase(waiting.begin());
                ++added;
                if (enough && enough(total)) finished.store(true);
            }
        }
    };
    RunWorkers(threads, work, [&] {
        if (!report) return;
        Sum now;
        {
            std::lock_guard<std::mutex> lock(mutex);
            now = total;
        }
        report(now);
    });
    return finished.load() || added == chunks;
}

} // namespace engine
