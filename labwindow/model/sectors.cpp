#include "labwindow/model/sectors.h"

#include "choices/codes.h"

namespace labmodel {

std::string SectorSettingsOf(const LabSettings& panel, engine::SectorSettings& out) {
    const LabSettings settings = CodedSettings(panel);
    choices::ChannelChoice channel = ChoiceOf(settings);
    channel.detectors.clear();
    for (detectors::Kind kind : DetectorsOf(settings))
        if (detectors::RowOf(kind).soft) {
            channel.detectors = {kind};
            break;
        }
    out = engine::SectorSettings{};
    out.sectors = kSectorSectors;
    out.failures = kSectorFailures;
    out.seed = settings.seed;
    out.threads = settings.threads;
    const choices::Refusal r = choices::SectorChoice(channel, "sector512", out);
    if (!r.line.empty()) return r.option + ": " + r.line;
    out.chain = ChainOf(settings);
    return {};
}

std::vector<double> SectorSnrs(const LabSettings& settings) {
    std::vector<double> dbs;
    for (int i = -kSectorSide; i <= kSectorSide; ++i) {
        const double db = settings.snrDb + i * kSectorStepDb;
        if (db >= kMinSnrDb && db <= kMaxSnrDb) dbs.push_back(db);
    }
    return dbs;
}

bool ComputeSectors(const LabSettings& settings, const std::atomic<bool>& stop,
                    const std::function<void(const SectorPicture&)>& done) {
    engine::SectorSettings s;
    if (!SectorSettingsOf(settings, s).empty()) return false;
    SectorPicture picture;
    picture.detector = s.detector;
    picture.planned = SectorSnrs(settings);
    picture.trace = engine::TraceSector(s, engine::GeometryOf(s, settings.snrDb), 0);
    if (stop.load()) return false;
    done(picture);
    const std::vector<double> dbs = SectorSnrs(settings);
    for (std::size_t i = 0; i < dbs.size(); ++i) {
        const engine::SectorGeometry g = engine::GeometryOf(s, dbs[i]);
        engine::SectorCounts c;
        if (!engine::RunSectorPoint(s, g, static_cast<int>(i), stop, c)) return false;
        picture.snrDb.push_back(dbs[i]);
        picture.geometry.push_back(g);
        picture.counts.push_back(c);
        done(picture);
    }
    return true;
}

} // namespace labmodel
