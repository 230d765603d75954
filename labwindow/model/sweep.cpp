#include "labwindow/model/sweep.h"

#include <vector>

namespace labmodel {
namespace {

class Reporter final : public engine::SweepReporter {
  public:
    Reporter(const engine::SweepSettings& settings,
             const std::function<void(const engine::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress)
        : settings_(settings), finished_(finished), progress_(progress) {}
    void Progress(const engine::BerPoint& p, const engine::PointCounts& c) override {
        if (progress_)
            progress_({p.index, static_cast<int>(settings_.Levels()), c.bits, settings_.run.bits});
    }
    void PointDone(const engine::BerPoint& p) override { finished_(p); }

  private:
    const engine::SweepSettings& settings_;
    const std::function<void(const engine::BerPoint&)>& finished_;
    const std::function<void(const SweepProgress&)>& progress_;
};

} // namespace

int RunSweep(const engine::SweepSettings& settings, const std::atomic<bool>& stop,
             const std::function<void(const engine::BerPoint&)>& finished,
             const std::function<void(const SweepProgress&)>& progress) {
    Reporter reporter(settings, finished, progress);
    std::vector<engine::BerPoint> points;
    engine::RunSweep(settings, stop, reporter, points);
    return static_cast<int>(points.size());
}

} // namespace labmodel
