// The long runs, without the GIL: ber (the command line's `ber`), eye and
// detect (the window's blocks).
#include "python/runs.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/window_blocks.h"
#include "lab/commands.h"
#include "lab/options.h"
#include "python/arrays.h"
#include "python/chain.h"
#include "python/target.h"
#include "python/values.h"

namespace pyquorvane {
namespace {

// A long run's way back to Python. The engines call their report on the
// calling thread a few times a second; there it takes the GIL, lets Python
// run a pending signal handler (Ctrl-C raises KeyboardInterrupt there) and
// calls the user's progress function. Either one raising sets the engine's
// stop flag and keeps the exception, which is raised again once the engine
// has returned, carrying what was finished as its `result`.
class Watch {
  public:
    explicit Watch(py::handle progress)
        : progress_(progress.is_none() ? py::object()
                                       : py::reinterpret_borrow<py::object>(progress)) {
        if (progress_ && !PyCallable_Check(progress_.ptr()))
            throw py::type_error("progress: expected a function of one argument, a dict");
    }
    const std::atomic<bool>& flag() const { return stop_; }
    bool Stopped() const { return stop_.load(); }

    // From the engine's report, or between two pieces of work; takes the GIL
    // itself. `info` makes the dict the progress function gets.
    void Report(const std::function<py::dict()>& info) {
        py::gil_scoped_acquire gil;
        if (error_) return;
        try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (progress_) progress_(info());
        } catch (py::error_already_set& e) {
            error_.emplace(std::move(e));
            stop_.store(true);
        } catch (const std::exception& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
            error_.emplace();
            stop_.store(true);
        }
    }

    // With the GIL held: raises the kept exception with `result` on it.
    void RaiseIfStopped(const py::object& result) {
        if (!error_) return;
        py::error_already_set e = std::move(*error_);
        error_.reset();
        if (PyObject_SetAttrString(e.value().ptr(), "result", result.ptr()) != 0) PyErr_Clear();
        throw e;
    }

  private:
    py::object progress_;
    std::atomic<bool> stop_{false};
    std::optional<py::error_already_set> error_;
};

// The sweep's points as a structured array, one field per value the lab's
// CSV has (engine::BerPointFields), all 8 bytes wide: bits as uint64, the
// rest as float64, so a detector that did not run has NaN in both its
// columns, as NumPy and pandas read the CSV's empty ones.
py::array PointsArray(const engine::BerSetup& setup, const std::vector<engine::BerPoint>& points) {
    const std::vector<std::string> fields = engine::BerPointFields();
    py::list spec;
    for (const std::string& field : fields)
        spec.append(py::make_tuple(field, field == "bits" ? "<u8" : "<f8"));
    const py::object dtype = py::module_::import("numpy").attr("dtype")(spec);
    py::array out = py::module_::import("numpy").attr("zeros")(points.size(), dtype);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto* row = static_cast<unsigned char*>(out.mutable_data());
    for (const engine::BerPoint& p : points) {
        std::vector<double> values = {p.snrDb, p.sigma, 0};
        for (detectors::Kind kind : detectors::AllKinds()) {
            const auto at = std::find(setup.detectors.begin(), setup.detectors.end(), kind);
            if (at == setup.detectors.end()) {
                values.insert(values.end(), {nan, nan});
                continue;
            }
            const engine::Monitor& m =
                p.counts.detectors[static_cast<std::size_t>(at - setup.detectors.begin())];
            values.insert(values.end(), {static_cast<double>(m.bitErrors), m.Ber()});
        }
        values.push_back(p.unionBound);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (fields[f] == "bits")
                std::memcpy(row + 8 * f, &p.counts.bits, 8);
            else
                std::memcpy(row + 8 * f, &values[f], 8);
        }
        row += 8 * fields.size();
    }
    return out;
}

py::array Ber(py::object sigma, py::object snr, py::object bits, py::object errors,
              py::object frame, py::object seed, py::object threads, py::object target,
              py::object tail, py::object progress) {
    const TargetRef t = TargetOf(target);
    engine::BerSettings settings;
    engine::BerSetup setup;
    setup.chain = ChainOf(t->target(), tail);
    setup.detectors = detectors::KindsFor(t->target());
    settings.bits = Count("bits", bits, 1, lab::kMaxBits);
    settings.errors = Count("errors", errors, 1, lab::kMaxErrors);
    settings.frame = SmallCount("frame", frame, 1, lab::kMaxFrame);
    settings.seed = Count("seed", seed, 0, UINT64_MAX);
    settings.threads = Threads(threads);
    if (!sigma.is_none() && !snr.is_none()) Refuse("sigma", "excludes snr");
    if (sigma.is_none() && snr.is_none()) throw py::value_error("sigma or snr is required");
    const std::vector<engine::BerPoint> sweep =
        !sigma.is_none() ? engine::PointsOfSigmas(t->target(), Sigmas("sigma", sigma))
                         : engine::PointsOfSnrs(t->target(), Snrs("snr", snr));
    const std::vector<channel::ErrorEvent>& events = t->BoundEvents();

    Watch watch(progress);
    std::vector<engine::BerPoint> done;
    const int count = static_cast<int>(sweep.size());
    for (int i = 0; i < count; ++i) {
        engine::BerPoint p = sweep[static_cast<std::size_t>(i)];
        auto info = [&](const engine::PointCounts& c) {
            py::dict d;
            d["point"] = i;
            d["points"] = count;
            d["snr_db"] = p.snrDb;
            d["sigma"] = p.sigma;
            d["bits"] = c.bits;
            for (std::size_t k = 0; k < setup.detectors.size(); ++k) {
                const std::uint64_t e = k < c.detectors.size() ? c.detectors[k].bitErrors : 0;
                d[py::str(std::string(detectors::KindName(setup.detectors[k])) + "_errors")] = e;
            }
            return d;
        };
        // Every point starts with a report, so a stop between two points
        // keeps exactly the ones before it.
        watch.Report([&] { return info(engine::PointCounts{}); });
        if (watch.Stopped()) break;
        bool finished = false;
        {
            py::gil_scoped_release release;
            finished = engine::RunBerPoint(
                settings, setup, i, events, watch.flag(), p,
                [&](const engine::PointCounts& c) { watch.Report([&] { return info(c); }); });
        }
        if (!finished) break;
        done.push_back(p);
    }
    py::array result = PointsArray(setup, done);
    watch.RaiseIfStopped(result);
    return result;
}

// The eye's geometry for an array of width x height (by default the eye of
// the command line's default picture, its margins taken off).
engine::EyeGeometry EyeGeometryOf(py::handle size, int uis, const channel::Target& target) {
    const lab::EyeOptions defaults;
    int width = defaults.width - engine::EyeMargins::left - engine::EyeMargins::right;
    int height = defaults.height - engine::EyeMargins::top - engine::EyeMargins::bottom;
    if (!size.is_none()) Size("size", size, width, height);
    engine::EyeGeometry g;
    if (std::string error = engine::FitEye(width, height, uis, target, g); !error.empty())
        Refuse("size", error);
    return g;
}

py::dict GeometryDict(const engine::EyeGeometry& g) {
    py::dict d;
    d["width"] = g.width;
    d["height"] = g.height;
    d["uis"] = g.uis;
    d["memory"] = g.memory;
    d["low"] = g.low;
    d["high"] = g.high;
    d["point_step"] = g.pointStep;
    d["level_step"] = g.levelStep;
    d["left"] = g.left;
    d["zero_row"] = g.zeroRow;
    return d;
}

py::array Eye(py::object runs, py::object sigma, py::object snr, py::object uis, py::object seed,
              py::object threads, py::object target, py::object size, py::object progress) {
    const TargetRef t = TargetOf(target);
    const lab::EyeOptions defaults;
    engine::EyeSettings settings;
    settings.target = t->target();
    settings.blocks = Count("runs", runs, 1, lab::kMaxRuns);
    settings.sigma = NoiseSigma(sigma, snr, t->target(), defaults.noise.sigma);
    settings.uis = SmallCount("uis", uis, 1, engine::kMaxEyeUis);
    settings.seed = Count("seed", seed, 0, UINT64_MAX);
    settings.threads = Threads(threads);
    const engine::EyeGeometry geometry = EyeGeometryOf(size, settings.uis, t->target());

    Watch watch(progress);
    engine::EyeImage image;
    watch.Report(
        [&] { return py::dict(py::arg("blocks") = 0, py::arg("runs") = settings.blocks); });
    if (!watch.Stopped()) {
        py::gil_scoped_release release;
        engine::DrawEye(settings, geometry, watch.flag(), image, [&](std::uint64_t blocks) {
            watch.Report([&] {
                return py::dict(py::arg("blocks") = blocks, py::arg("runs") = settings.blocks);
            });
        });
    }
    if (image.hits.empty())
        image.hits.assign(static_cast<std::size_t>(geometry.width) * geometry.height, 0);
    py::array result = Adopt(std::move(image.hits), {geometry.height, geometry.width});
    watch.RaiseIfStopped(result);
    return result;
}

// The window's blocks, as `quorvane-lab detect` runs them.
py::dict Detect(py::object runs, py::object sigma, py::object snr, py::object seed,
                py::object target, py::object tail) {
    const TargetRef t = TargetOf(target);
    const lab::DetectOptions defaults;
    engine::BlockSettings settings;
    settings.chain = ChainOf(t->target(), tail);
    settings.detectors = detectors::KindsFor(t->target());
    settings.sigma = NoiseSigma(sigma, snr, t->target(), defaults.noise.sigma);
    settings.seed = Count("seed", seed, 0, UINT64_MAX);
    const int count = SmallCount("runs", runs, 1, lab::kMaxRuns);
    const int bits = channel::kBits;
    const int samples = bits + (settings.chain.tail ? t->target().Memory() : 0);

    py::array_t<std::uint8_t> raw({count, bits}), prec({count, bits});
    py::array_t<float> clean({count, samples}), received({count, samples});
    std::vector<py::array_t<std::uint8_t>> decided;
    std::vector<std::uint8_t*> to;
    for (std::size_t d = 0; d < settings.detectors.size(); ++d) {
        decided.emplace_back(std::vector<py::ssize_t>{count, bits});
        to.push_back(decided.back().mutable_data());
    }
    std::uint8_t* rawTo = raw.mutable_data();
    std::uint8_t* precTo = prec.mutable_data();
    float* cleanTo = clean.mutable_data();
    float* receivedTo = received.mutable_data();

    Watch watch{py::none()};
    int run = 0;
    {
        py::gil_scoped_release release;
        engine::WindowBlocks blocks(settings);
        constexpr int kRunsBetweenChecks = 4096;
        for (; run < count && !watch.Stopped(); ++run) {
            const engine::BlockResult& r = blocks.Next();
            const py::ssize_t b = static_cast<py::ssize_t>(run) * bits;
            const py::ssize_t s = static_cast<py::ssize_t>(run) * samples;
            std::memcpy(rawTo + b, r.frame.raw.data(), bits);
            std::memcpy(precTo + b, r.frame.prec.data(), bits);
            std::memcpy(cleanTo + s, r.frame.clean.data(), samples * sizeof(float));
            std::memcpy(receivedTo + s, r.frame.received.data(), samples * sizeof(float));
            for (std::size_t d = 0; d < to.size(); ++d)
                std::memcpy(to[d] + b, r.decided[d].data(), bits);
            if ((run + 1) % kRunsBetweenChecks == 0) watch.Report([] { return py::dict(); });
        }
    }
    py::dict result;
    const py::slice finished(0, run, 1);
    result["raw"] = raw[finished];
    result["prec"] = prec[finished];
    result["clean"] = clean[finished];
    result["received"] = received[finished];
    for (std::size_t d = 0; d < settings.detectors.size(); ++d)
        result[detectors::KindName(settings.detectors[d])] = decided[d][finished];
    result["sigma"] = settings.sigma;
    watch.RaiseIfStopped(result);
    return result;
}

} // namespace

void AddRuns(py::module_& m) {
    const engine::BerSettings ber;
    m.def("ber", &Ber, py::arg("sigma") = py::none(), py::arg("snr") = py::none(),
          py::arg("bits") = ber.bits, py::arg("errors") = ber.errors, py::arg("frame") = ber.frame,
          py::arg("seed") = ber.seed, py::arg("threads") = py::none(), py::arg("target") = "e3pr4",
          py::arg("tail") = "zero", py::arg("progress") = py::none(),
          R"(The detectors' bit-error rates against the noise, as quorvane-lab ber measures them.

sigma: deviations (a number, a sequence, or "0.3,0.4"); or snr: SNRs in dB
against the target's energy ("FROM:TO:STEP", a number or a sequence). A point
ends at `bits` bits (rounded up to whole frames) or once every detector has
`errors` errors. frame: bits per frame; seed; threads (default every core; the
counts do not depend on it); target; tail ("zero" or "none").

Returns a structured array, a row per point, with the fields of the command's
CSV: snr_db, sigma, bits (uint64), slicer_errors, slicer_ber, viterbi_errors,
viterbi_ber, union_bound (float64; a detector that does not run on the target
has NaN in both its fields).

progress, if given, is called with a dict (point, points, snr_db, sigma, bits,
and each detector's errors so far) as each point starts and a few times a second.
Ctrl-C, or an exception raised by progress, stops the sweep: the exception goes
on with the finished points as its `result`.)");

    const lab::EyeOptions eye;
    m.def("eye", &Eye, py::arg("runs") = eye.runs, py::arg("sigma") = py::none(),
          py::arg("snr") = py::none(), py::arg("uis") = eye.uis, py::arg("seed") = eye.seed,
          py::arg("threads") = py::none(), py::arg("target") = "e3pr4",
          py::arg("size") = py::none(), py::arg("progress") = py::none(),
          R"(The density eye diagram of quorvane-lab eye: hits per pixel (uint32), shape
(height, width), row 0 at the bottom (imshow(..., origin="lower")).

runs: 40-bit blocks; sigma (default 0.1) or snr; uis: bit periods across;
size: (width, height) or "WxH" of the array, by default the eye of the command's
default picture (560x360 less its margins), so the same seed gives the
command's picture; eye_geometry says where levels and instants lie. progress is
called with a dict (blocks, runs); Ctrl-C or an exception raised by it stops,
the exception carrying the hits so far as its `result`.)");

    m.def(
        "eye_geometry",
        [](py::object size, py::object uis, py::object target) {
            const TargetRef t = TargetOf(target);
            return GeometryDict(
                EyeGeometryOf(size, SmallCount("uis", uis, 1, engine::kMaxEyeUis), t->target()));
        },
        py::arg("size") = py::none(), py::arg("uis") = eye.uis, py::arg("target") = "e3pr4",
        R"(Where things are in eye()'s array: waveform point o of a window (o = 0 ... 10 uis)
is column left + o point_step, level L is row zero_row + L level_step.)");

    const lab::DetectOptions detect;
    m.def("detect", &Detect, py::arg("runs") = detect.runs, py::arg("sigma") = py::none(),
          py::arg("snr") = py::none(), py::arg("seed") = detect.seed, py::arg("target") = "e3pr4",
          py::arg("tail") = "zero",
          R"(The window's own 40-bit blocks through noise (sigma, default 0.3, or snr) from the
stream of `seed` and every detector that applies, as quorvane-lab detect runs
them: a dict of arrays with a run a row, raw, prec, clean and received (40 +
tail samples), and each detector's decided bits under its name; and sigma.)");
}

} // namespace pyquorvane
