// timing(): one frame's sampling phase, true and recovered, as arrays.
#include "python/timing.h"

#include <cmath>
#include <vector>

#include "choices/channel.h"
#include "choices/values.h"
#include "engine/frame_timing.h"
#include "python/arrays.h"
#include "python/chain.h"
#include "python/values.h"

namespace pyquorvane {
namespace {

constexpr int kTrackBits = 4096;

py::dict Timing(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a("timing", args, kwargs, {"sigma", "snr", "bits", "seed"},
                      Keywords({"sigma", "snr", "bits", "seed"}, choices::kBer));
    if (!a.Given("sigma") && !a.Given("snr")) Refuse("sigma", "give sigma or snr");
    const choices::ChannelChoice choice = ChoiceOf(a, choices::kBer, false);
    engine::ChainSettings chain = choices::ChainFor(choice, 0);
    chain.timing.on = true;
    const double sigma = NoiseSigma(a.Get("sigma"), a.Get("snr"), engine::SignalEnergy(chain), 0);
    const int bits =
        a.Given("bits") ? SmallCount("bits", a.Get("bits"), 64, choices::kMaxFrame) : kTrackBits;
    const std::uint64_t seed = a.Given("seed") ? Count("seed", a.Get("seed"), 0, UINT64_MAX) : 1;
    engine::FrameTiming run;
    {
        py::gil_scoped_release release;
        run = engine::TrackFrame(chain, sigma, bits, seed);
    }
    const engine::TimingTrack& t = run.track;
    const std::size_t n = t.truePhase.size();
    std::vector<double> truth(n), recovered(n), error(n);
    std::vector<std::int64_t> k(n);
    for (std::size_t j = 0; j < n; ++j) {
        k[j] = static_cast<std::int64_t>(j);
        truth[j] = t.truePhase[j];
        recovered[j] = t.recovered[j];
        error[j] = truth[j] - recovered[j];
    }
    const py::ssize_t size = static_cast<py::ssize_t>(n);
    py::dict out;
    out["k"] = Adopt(std::move(k), {size});
    out["true_phase"] = Adopt(std::move(truth), {size});
    out["recovered_phase"] = Adopt(std::move(recovered), {size});
    out["timing_error"] = Adopt(std::move(error), {size});
    out["start"] = t.start;
    out["track_from"] = t.trackFrom;
    out["data_start"] = run.design->DataStart();
    out["lock"] = run.lock;
    out["slips"] = t.slips;
    out["rms_phase"] = t.counted > 0 ? std::sqrt(t.squares / t.counted) : std::nan("");
    out["linear_rms"] = run.design->LinearRms();
    out["sigma"] = sigma;
    return out;
}

} // namespace

void AddTiming(py::module_& m) {
    m.def("timing", &Timing,
          (R"(One frame read by a sampling clock that is off and followed by the timing loop,
as quorvane-lab timing reads it (the same seed, the same numbers as its CSV).

sigma or snr (one of them); bits: the frame's bits (default 4096); seed
(default 1); the channel's options as Channel takes them, the timing's among
them (phase, freq_offset, phase_walk, preamble, loop_*, ted_*).

Returns a dict: k (int64), true_phase, recovered_phase and timing_error
(float64, one a sample from the preamble's start); start (the zero-phase
start's estimate), track_from (the loop's first sample), data_start (the
frame's first sample), lock (samples from track_from until the error stays
within 0.05 bit periods to the end, -1 if it does not), slips, rms_phase (over
the data, NaN when the frame slipped), linear_rms (the loop's linear model) and
sigma.

The channel's keywords:)" +
           KeywordsDoc(choices::kBer))
              .c_str());
}

} // namespace pyquorvane
