#pragma once
// The sectors view's model: for the panel's channel, the sector failure rate
// of the iterative LDPC channel (the built-in 512-byte code, the first soft
// detector ticked, or maxlog) and of Viterbi/npml plus Reed-Solomon at the
// same user density, at SNRs about the panel's, point by point as
// `quorvane-lab sfr` runs them; and one sector's wrong user bits after each
// local iteration of each global round.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/sector_run.h"
#include "labwindow/model/settings.h"

namespace labmodel {

inline constexpr std::uint64_t kSectorSectors = 200;
inline constexpr std::uint64_t kSectorFailures = 20;
// The points: the panel's SNR and kSectorSide steps of kSectorStepDb on
// either side.
inline constexpr int kSectorSide = 3;
inline constexpr double kSectorStepDb = 0.5;

// The run's settings; an empty answer, or the line saying why it cannot run.
std::string SectorSettingsOf(const LabSettings& settings, engine::SectorSettings& out);
std::vector<double> SectorSnrs(const LabSettings& settings);

struct SectorPicture {
    std::vector<double> planned; // every point's SNR, done or not
    std::vector<double> snrDb;
    std::vector<engine::SectorGeometry> geometry;
    std::vector<engine::SectorCounts> counts;
    engine::SectorTrace trace; // at the panel's SNR
    detectors::Kind detector = detectors::Kind::kViterbi;
};

// The trace first, then the points one by one, `done` called after each with
// the picture so far; false when stopped.
bool ComputeSectors(const LabSettings& settings, const std::atomic<bool>& stop,
                    const std::function<void(const SectorPicture&)>& done);

} // namespace labmodel
