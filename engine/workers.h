#pragma once
// The engines' one way to use threads: a few workers that each take fixed
// chunks of work until none is left, while the calling thread reports.
#include <functional>

namespace engine {

// Runs `work` once on each of `threads` threads (each call loops over chunks
// until there are none, or it is told to stop, and returns), and meanwhile
// calls `report`, if given, on the calling thread about ten times a second.
// Returns once every worker has returned.
void RunWorkers(int threads, const std::function<void()>& work,
                const std::function<void()>& report = {});

} // namespace engine
