#include "engine/cluster.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/workers.h"

namespace engine {
namespace {

constexpr std::uint64_t kFirstRound = 4;      // chunks per process in the first round
constexpr std::uint64_t kRoundPerThread = 64; // at most, per thread of rank 0

// What rank 0 says after a round.
constexpr std::uint64_t kGoOn = 0, kEnded = 1, kStop = 2;

// A round's words from one process: how many of its chunks are done from its
// first on, whether it was told to stop, then every chunk's counts: its bits,
// then each detector's monitor as its words (Monitor::ToWords), and with a
// constraint code each detector's user-bit monitor after them.
constexpr std::size_t kHeader = 2;

// After the monitors, the timing's counts: slipped frames, the squared
// error's bits, the samples counted.
constexpr std::size_t kTimingWords = 3;

std::size_t Width(std::size_t monitors) {
    return 1 + Monitor::kWords * monitors + kTimingWords;
}

void Put(const PointCounts& c, std::uint64_t* w) {
    *w++ = c.bits;
    *w++ = c.slipFrames;
    std::memcpy(w++, &c.phaseSquares, sizeof(double));
    *w++ = c.phaseSamples;
    for (const std::vector<Monitor>* monitors : {&c.detectors, &c.users})
        for (const Monitor& m : *monitors) {
            m.ToWords(w);
            w += Monitor::kWords;
        }
}

PointCounts Get(const std::uint64_t* w, std::size_t detectors, bool coded) {
    PointCounts c;
    c.bits = *w++;
    c.slipFrames = *w++;
    std::memcpy(&c.phaseSquares, w++, sizeof(double));
    c.phaseSamples = *w++;
    c.detectors.resize(detectors);
    c.users.resize(coded ? detectors : 0);
    for (std::vector<Monitor>* monitors : {&c.detectors, &c.users})
        for (Monitor& m : *monitors) {
            m.FromWords(w);
            w += Monitor::kWords;
        }
    return c;
}

} // namespace

PointEnd RunSharedPoint(const BerSettings& settings, const BerSetup& setup, int point, double sigma,
                        const std::atomic<bool>& stop, Peers& peers, PointCounts& total,
                        const std::function<void(const PointCounts&)>& report) {
    return RunSharedPoint(settings, setup, DesignChannel(setup.chain, sigma), point, stop, peers,
                          total, report);
}

PointEnd RunSharedPoint(const BerSettings& settings, const BerSetup& setup,
                        const ChannelDesign& design, int point, const std::atomic<bool>& stop,
                        Peers& peers, PointCounts& total,
                        const std::function<void(const PointCounts&)>& report) {
    const std::uint64_t size = static_cast<std::uint64_t>(peers.Size());
    const std::uint64_t rank = static_cast<std::uint64_t>(peers.Rank());
    // The chunks exactly as RunPoint cuts them.
    const std::uint64_t frame = static_cast<std::uint64_t>(settings.frame);
    const std::uint64_t totalFrames = (settings.bits + frame - 1) / frame;
    const std::uint64_t perChunk = static_cast<std::uint64_t>(ChunkFrames(settings.frame));
    const std::uint64_t chunks = (totalFrames + perChunk - 1) / perChunk;
    const std::size_t detectors = DetectorsOf(setup, design).size();
    const bool coded = design.settings.constraint != channel::ConstraintKind::kNone;
    const std::size_t width = Width(coded ? 2 * detectors : detectors);

    // Rank 0's thread count sets how far the rounds grow, the same on every
    // process whatever its own.
    std::uint64_t rootThreads = static_cast<std::uint64_t>(settings.threads);
    if (!peers.Share(rootThreads)) return PointEnd::kLost;
    const std::uint64_t largest = std::max(kFirstRound, kRoundPerThread * rootThreads);

    const int threads = std::max(1, settings.threads);
    std::vector<std::unique_ptr<ChunkRunner>> runners(static_cast<std::size_t>(threads));
    PointCounts sum;
    sum.detectors.resize(detectors);
    sum.users.resize(coded ? detectors : 0);
    std::uint64_t first = 0; // the round's first chunk
    for (int round = 0;; ++round) {
        const std::uint64_t per = std::min(largest, kFirstRound << std::min(round, 30));
        std::vector<std::uint64_t> words(kHeader + per * width, 0);
        std::vector<char> done(per, 0);
        std::atomic<std::uint64_t> next{0};
        std::atomic<int> slot{0};
        // Process `rank` runs chunks first + i * size + rank of the round.
        auto work = [&] {
            std::unique_ptr<ChunkRunner>& runner =
                runners[static_cast<std::size_t>(slot.fetch_add(1))];
            while (!stop.load()) {
                const std::uint64_t i = next.fetch_add(1);
                const std::uint64_t c = first + i * size + rank;
                if (i >= per || c >= chunks) break;
                if (!runner) runner = std::make_unique<ChunkRunner>(settings, setup, design);
                const int frames = static_cast<int>(std::min(perChunk, totalFrames - c * perChunk));
                Put(runner->Run(point, c, frames), &words[kHeader + i * width]);
                done[i] = 1;
            }
        };
        RunWorkers(threads, work);
        std::uint64_t prefix = 0;
        while (prefix < per && done[prefix]) ++prefix;
        words[0] = prefix;
        words[1] = stop.load() ? 1 : 0;

        std::vector<std::vector<std::uint64_t>> all;
        if (!peers.Gather(words, all)) return PointEnd::kLost;
        std::uint64_t decision = kGoOn;
        if (rank == 0) {
            bool stopped = false;
            for (const auto& w : all) stopped = stopped || w[1] != 0;
            bool ended = false;
            const std::uint64_t last = std::min(chunks, first + per * size);
            std::uint64_t c = first;
            for (; c < last && !ended; ++c) {
                const std::uint64_t p = (c - first) % size, i = (c - first) / size;
                if (i >= all[p][0]) break; // not run: its process was stopped
                sum.Add(Get(&all[p][kHeader + i * width], detectors, coded));
                ended = Enough(settings, sum);
            }
            ended = ended || c == chunks;
            decision = ended ? kEnded : stopped ? kStop : kGoOn;
            if (report) report(sum);
        }
        if (!peers.Share(decision)) return PointEnd::kLost;
        if (decision != kGoOn) {
            total = sum;
            return decision == kEnded ? PointEnd::kDone : PointEnd::kStopped;
        }
        first += per * size;
    }
}

} // namespace engine
