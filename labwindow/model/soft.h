#pragma once
// The soft view's model: for the panel's channel and the soft detectors
// ticked that apply, each one's ratios gathered (histograms given the bit,
// reliability, information) and its transfer curve, as `quorvane-lab llr`
// and `quorvane-lab exit` compute them, at the panel's SNR.
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/soft_run.h"
#include "labwindow/model/settings.h"

namespace labmodel {

// Bits of the ratios' statistics, and of each point of a transfer curve.
inline constexpr std::uint64_t kSoftBits = 200'000;
inline constexpr std::uint64_t kExitBits = 50'000;
inline constexpr int kExitPoints = 11;

// The soft detectors the view shows: ticked, soft and applying there.
std::vector<detectors::Kind> SoftKindsOf(const LabSettings& settings);
engine::SoftSettings SoftSettingsOf(const LabSettings& settings);

struct SoftPicture {
    engine::SoftResult ratios;
    std::vector<std::vector<engine::ExitPoint>> exit; // one curve per kind
    double snrDb = 0;
    double sigma = 0;
};

// Computes the picture, or stops at `stop` (then false). The soft detectors
// must not be empty.
bool ComputeSoft(const LabSettings& settings, const std::atomic<bool>& stop, SoftPicture& out);

} // namespace labmodel
