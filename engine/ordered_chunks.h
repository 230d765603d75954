#pragma once
// The engines' one way to add up chunked work so that the result never
// depends on the thread count: the workers take chunks in any order, but
// their sums are added strictly in chunk order, and a run that ends on a
// rule ends after the first chunk at which the rule holds.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/workers.h"

namespace engine {

// Runs chunks 0 ... chunks-1 on `threads` workers, `group` at a time. Each
// worker makes its own state once with make() (its chain, detectors and
// buffers) and runs chunks first ... first + count - 1 with run(state,
// first, count), which gives their sums (a vector of count): batches pay
// where many frames share a vector register. The sums go into `total`
// (holding its starting value; Sum has Add) chunk by chunk in chunk order.
// The run ends after the first chunk at which enough(total) holds (when
// given), once every chunk is in, or at `stop`; report, when given, gets a
// copy of the sum so far a few times a second on the calling thread. Returns
// whether it ended by the rule or with every chunk, not by `stop`.
template <typename Sum, typename Make, typename Run>
bool RunChunkGroupsInOrder(int threads, std::uint64_t chunks, std::uint64_t group,
                           const std::atomic<bool>& stop, Sum& total, Make make, Run run,
                           const std::function<bool(const Sum&)>& enough,
                           const std::function<void(const Sum&)>& report) {
    if (group < 1) group = 1;
    std::atomic<std::uint64_t> next{0};
    std::atomic<bool> finished{false};
    std::mutex mutex;
    std::map<std::uint64_t, Sum> waiting; // done, not yet added: later than `added`
    std::uint64_t added = 0;
    auto work = [&] {
        auto state = make();
        while (!finished.load() && !stop.load()) {
            const std::uint64_t first = next.fetch_add(group);
            if (first >= chunks) break;
            const std::uint64_t count = std::min(group, chunks - first);
            std::vector<Sum> parts = run(state, first, count);
            std::lock_guard<std::mutex> lock(mutex);
            for (std::uint64_t i = 0; i < count; ++i)
                waiting.emplace(first + i, std::move(parts[i]));
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

// The same a chunk at a time: run(state, c) gives chunk c's sum.
template <typename Sum, typename Make, typename Run>
bool RunChunksInOrder(int threads, std::uint64_t chunks, const std::atomic<bool>& stop, Sum& total,
                      Make make, Run run, const std::function<bool(const Sum&)>& enough,
                      const std::function<void(const Sum&)>& report) {
    return RunChunkGroupsInOrder<Sum>(
        threads, chunks, 1, stop, total, make,
        [&run](auto& state, std::uint64_t first, std::uint64_t) {
            std::vector<Sum> one;
            one.push_back(run(state, first));
            return one;
        },
        enough, report);
}

} // namespace engine
