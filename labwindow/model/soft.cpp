#include "labwindow/model/soft.h"

namespace labmodel {

std::vector<detectors::Kind> SoftKindsOf(const LabSettings& settings) {
    std::vector<detectors::Kind> kinds;
    for (detectors::Kind kind : DetectorsOf(settings))
        if (detectors::RowOf(kind).soft) kinds.push_back(kind);
    return kinds;
}

engine::SoftSettings SoftSettingsOf(const LabSettings& settings) {
    engine::SoftSettings s;
    s.chain = ChainOf(settings);
    s.detectors = SoftKindsOf(settings);
    s.sigma = Sigma(settings);
    s.bits = kSoftBits;
    s.seed = settings.seed;
    s.threads = settings.threads;
    return s;
}

bool ComputeSoft(const LabSettings& settings, const std::atomic<bool>& stop, SoftPicture& out) {
    const engine::SoftSettings s = SoftSettingsOf(settings);
    out = SoftPicture{};
    out.snrDb = settings.snrDb;
    out.sigma = s.sigma;
    if (!engine::RunSoft(s, stop, out.ratios)) return false;
    std::vector<double> ia;
    for (int i = 0; i < kExitPoints; ++i) ia.push_back(0.999 * i / (kExitPoints - 1));
    engine::SoftSettings e = s;
    e.bits = kExitBits;
    for (detectors::Kind kind : s.detectors) {
        out.exit.emplace_back();
        if (!engine::ExitCurve(e, kind, ia, stop, out.exit.back())) return false;
    }
    return true;
}

} // namespace labmodel
