#pragma once
// Soft detectors at work on the chain: their ratios gathered into
// statistics (engine/soft_statistics.h) over many frames, with a-priori
// ratios fed in where asked (the detector's transfer, its EXIT curve).
//
// Chunk c of a run draws its data and channel noise from the stream (seed,
// ChunkStream(0, c)), as the error-rate engine's point 0 does, and its
// a-priori ratios from (seed, ChunkStream(1, c)): L_A = (sigma_A^2 / 2)(1 -
// 2b) + sigma_A n, the same n at every sigma_A, so the points of a transfer
// curve see the same channel. Chunks are added in chunk order: the
// statistics do not depend on the thread count.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/soft_statistics.h"

namespace engine {

struct SoftSettings {
    ChainSettings chain;
    std::vector<detectors::Kind>
        detectors; // each gives its ratios (a soft one, or a hard one's +-inf)
    double sigma = 0.5;
    std::uint64_t bits = 1'000'000; // at least this many data bits, in whole frames
    int frame = 4096;
    std::uint64_t seed = 1;
    int threads = 1;
    // The a-priori ratios' deviation sigma_A (0: none), and whether the
    // statistics are of the extrinsic ratios (posterior less a-priori).
    double aprioriSigma = 0;
    bool extrinsic = false;
};

struct SoftResult {
    std::vector<detectors::Kind> kinds;
    std::vector<LlrStatistics> statistics; // one per kind
    std::uint64_t bits = 0;
    // The noise the detectors assume at their input: the variance as the
    // design computes it (sigma^2 on the ideal channel, the equalized noise's
    // on a head) and the predictor's error variance on a head.
    double noiseVariance = 0;
    double predictionVariance = 0;
};

// Runs the frames, or until `stop` (then returns false with the chunks added
// so far). `report` is called on the calling thread a few times a second
// with the bits done.
bool RunSoft(const SoftSettings& settings, const std::atomic<bool>& stop, SoftResult& result,
             const std::function<void(std::uint64_t)>& report = {});

// A detector's transfer: the mutual information of its extrinsic ratios
// against that of the a-priori ones fed in, I_A = J(sigma_A), at each I_A
// asked for (0 ... 0.999). One point per I_A, measured from the extrinsic
// ratios' histograms; the settings' detectors, a-priori and extrinsic fields
// are set here.
struct ExitPoint {
    double ia = 0;
    double ie = 0;
};
bool ExitCurve(SoftSettings settings, detectors::Kind kind, const std::vector<double>& ia,
               const std::atomic<bool>& stop, std::vector<ExitPoint>& curve,
               const std::function<void(std::size_t, std::uint64_t)>& report = {});

} // namespace engine
