// The long runs, without the GIL: ber (the command line's `ber`), eye,
// detect (the window's blocks) and targets (the target survey).
#include "python/runs.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "channel/bounds.h"
#include "choices/ber_table.h"
#include "choices/channel.h"
#include "choices/codes.h"
#include "choices/values.h"
#include "engine/ber_sweep.h"
#include "engine/constraint_survey.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/sector_run.h"
#include "engine/target_survey.h"
#include "engine/window_blocks.h"
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

// A structured array of `rows` rows whose fields are named `names`, each
// field's values set by `column` (a list or an array of them) under the
// NumPy type `type` gives its name.
py::array Table(std::size_t rows, const std::vector<std::string>& names,
                const std::function<std::string(const std::string&)>& type,
                const std::function<py::object(const std::string&)>& column) {
    const py::module_ numpy = py::module_::import("numpy");
    py::list fields;
    for (const std::string& name : names) fields.append(py::make_tuple(name, type(name)));
    py::array out = numpy.attr("zeros")(rows, numpy.attr("dtype")(fields));
    for (const std::string& name : names) out[py::str(name)] = column(name);
    return out;
}

// The widest of some texts, as a NumPy string type ("<U5").
std::string TextType(const std::vector<std::string>& texts) {
    std::size_t width = 1;
    for (const std::string& t : texts) width = std::max(width, t.size());
    return "<U" + std::to_string(width);
}

// The sweep's points as a structured array with the fields of the lab's CSV
// (choices::BerColumnsOf): target as text, bits as uint64, the rest as
// float64, so a detector that did not run at a point has NaN in both its
// fields, as NumPy and pandas read the CSV's empty cells.
py::array PointsArray(const choices::ChannelChoice& choice,
                      const std::vector<engine::BerPoint>& points) {
    const choices::BerColumns columns = choices::BerColumnsOf(choice);
    std::vector<std::string> targets;
    for (const engine::BerPoint& p : points)
        targets.push_back(choices::ChainFor(choice, p.target).TargetName());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::string> names = columns.Names();
    const auto bound = std::find(names.begin(), names.end(), "union_bound");
    return Table(
        points.size(), columns.Names(),
        [&](const std::string& name) {
            return name == "target" ? TextType(targets) : name == "bits" ? "<u8" : "<f8";
        },
        [&](const std::string& name) -> py::object {
            if (name == "target") return py::cast(targets);
            if (name == "bits") {
                py::array_t<std::uint64_t> bits(static_cast<py::ssize_t>(points.size()));
                for (std::size_t i = 0; i < points.size(); ++i)
                    bits.mutable_at(i) = points[i].counts.bits;
                return bits;
            }
            py::array_t<double> values(static_cast<py::ssize_t>(points.size()));
            for (std::size_t i = 0; i < points.size(); ++i) {
                const engine::BerPoint& p = points[i];
                double v = nan;
                if (name == "snr_db") {
                    v = p.snrDb;
                } else if (name == "sigma") {
                    v = p.sigma;
                } else if (name == "union_bound") {
                    v = p.unionBound;
                } else if (name == "slips") {
                    v = static_cast<double>(p.counts.slipFrames);
                } else if (name == "rms_phase") {
                    v = p.counts.RmsPhase();
                } else if (const auto at = std::find(names.begin(), names.end(), name);
                           at > bound) {
                    // Importance sampling's cells, after the union bound.
                    v = choices::ImportanceCells(columns,
                                                 p)[static_cast<std::size_t>(at - bound - 1)];
                } else {
                    for (detectors::Kind kind : columns.kinds) {
                        const std::string k = detectors::KindName(kind);
                        const engine::Monitor* m = p.CountsOf(kind);
                        if (m != nullptr && name == k + "_errors")
                            v = static_cast<double>(m->bitErrors);
                        if (m != nullptr && name == k + "_ber" && !columns.importance) v = m->Ber();
                    }
                }
                values.mutable_at(i) = v;
            }
            return values;
        });
}

struct Noise {
    std::vector<double> sigmas, snrDbs; // one of them
};

Noise SweepNoise(py::handle sigma, py::handle snr) {
    if (!sigma.is_none() && !snr.is_none()) Refuse("sigma", "excludes snr");
    if (sigma.is_none() && snr.is_none()) throw py::value_error("sigma or snr is required");
    Noise n;
    if (!sigma.is_none())
        n.sigmas = Sigmas("sigma", sigma);
    else
        n.snrDbs = Snrs("snr", snr);
    return n;
}

// The sweep's way back to Python: every point starts with a report, so a
// stop between two points keeps exactly the ones before it.
class PythonReporter final : public engine::SweepReporter {
  public:
    PythonReporter(Watch& watch, const choices::ChannelChoice& choice, std::size_t levels)
        : watch_(watch), choice_(choice), levels_(levels) {}
    void PointBegins(const engine::BerPoint& p, const engine::ChannelDesign&) override {
        Report(p, engine::PointCounts{});
    }
    void Progress(const engine::BerPoint& p, const engine::PointCounts& c) override {
        Report(p, c);
    }

  private:
    void Report(const engine::BerPoint& p, const engine::PointCounts& c) {
        watch_.Report([&] {
            py::dict d;
            d["target"] = choices::ChainFor(choice_, p.target).TargetName();
            d["point"] = p.index;
            d["points"] = levels_;
            d["snr_db"] = p.snrDb;
            d["sigma"] = p.sigma;
            d["bits"] = c.bits;
            for (std::size_t k = 0; k < p.kinds.size(); ++k) {
                const std::uint64_t e = k < c.detectors.size() ? c.detectors[k].bitErrors : 0;
                d[py::str(std::string(detectors::KindName(p.kinds[k])) + "_errors")] = e;
            }
            return d;
        });
    }

    Watch& watch_;
    const choices::ChannelChoice& choice_;
    std::size_t levels_;
};

py::array Ber(const py::args& args, const py::kwargs& kwargs) {
    // The positions of every earlier version; the keywords since are keywords only.
    const Arguments a(
        "ber", args, kwargs,
        {"sigma", "snr", "bits", "errors", "frame", "seed", "threads", "target", "tail", "channel",
         "density", "jitter", "taps", "predictor", "detectors", "progress"},
        Keywords({"sigma", "snr", "bits", "errors", "frame", "seed", "threads", "progress"},
                 choices::kBer));
    const choices::ChannelChoice choice = ChoiceOf(a, choices::kBer, true);
    engine::BerSettings settings;
    if (a.Given("bits")) settings.bits = Count("bits", a.Get("bits"), 1, choices::kMaxBits);
    if (a.Given("errors"))
        settings.errors = Count("errors", a.Get("errors"), 1, choices::kMaxErrors);
    if (a.Given("frame"))
        settings.frame = SmallCount("frame", a.Get("frame"), 1, choices::kMaxFrame);
    if (a.Given("seed")) settings.seed = Count("seed", a.Get("seed"), 0, UINT64_MAX);
    settings.threads = Threads(a.Get("threads"));
    const Noise noise = SweepNoise(a.Get("sigma"), a.Get("snr"));

    Watch watch(a.Get("progress"));
    const engine::SweepSettings sweep =
        choices::SweepOf(choice, settings, noise.sigmas, noise.snrDbs);
    PythonReporter reporter(watch, choice, sweep.Levels());
    std::vector<engine::BerPoint> done;
    {
        py::gil_scoped_release release;
        engine::RunSweep(sweep, watch.flag(), reporter, done);
    }
    py::array result = PointsArray(choice, done);
    watch.RaiseIfStopped(result);
    return result;
}

// The eye's geometry for an array of width x height (by default the eye of
// the command line's default picture, its margins taken off).
engine::EyeGeometry EyeGeometryOf(py::handle size, int uis, const engine::ChainSettings& chain,
                                  engine::EyePoint point) {
    int width = choices::kEyeWidth - engine::EyeMargins::left - engine::EyeMargins::right;
    int height = choices::kEyeHeight - engine::EyeMargins::top - engine::EyeMargins::bottom;
    if (!size.is_none()) Size("size", size, width, height);
    engine::EyeGeometry g;
    Take("size", engine::FitEye(width, height, uis, engine::RangeOf(chain, point), g));
    return g;
}

py::dict GeometryDict(const engine::EyeGeometry& g) {
    py::dict d;
    d["width"] = g.width;
    d["height"] = g.height;
    d["uis"] = g.uis;
    d["first_sample"] = g.firstSample;
    d["low"] = g.low;
    d["high"] = g.high;
    d["point_step"] = g.pointStep;
    d["level_step"] = g.levelStep;
    d["left"] = g.left;
    d["zero_row"] = g.zeroRow;
    return d;
}

// The eye's chain: the channel options the eye takes.
engine::ChainSettings EyeChain(const Arguments& a) {
    const engine::ChainSettings chain = choices::ChainFor(ChoiceOf(a, choices::kEye, false), 0);
    Take("target", choices::CheckEyeTarget(chain));
    return chain;
}

// point="readback" (the default) or "equalized", as --point.
engine::EyePoint EyePointOf(const Arguments& a) {
    engine::EyePoint point = engine::EyePoint::kReadback;
    if (a.Given("point"))
        Take("point", choices::ParseEyePoint(
                          TextOf("point", a.Get("point"), "\"readback\" or \"equalized\""), point));
    return point;
}

int EyeUis(const Arguments& a) {
    return a.Given("uis") ? SmallCount("uis", a.Get("uis"), 1, engine::kMaxEyeUis)
                          : engine::EyeSettings{}.uis;
}

py::array Eye(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a(
        "eye", args, kwargs,
        {"runs", "sigma", "snr", "uis", "seed", "threads", "target", "channel", "density", "jitter",
         "size", "progress"},
        Keywords({"runs", "sigma", "snr", "uis", "seed", "threads", "size", "progress", "point"},
                 choices::kEye));
    engine::EyeSettings settings;
    settings.chain = EyeChain(a);
    settings.point = EyePointOf(a);
    if (a.Given("runs")) settings.blocks = Count("runs", a.Get("runs"), 1, choices::kMaxRuns);
    settings.sigma = NoiseSigma(a.Get("sigma"), a.Get("snr"), engine::SignalEnergy(settings.chain),
                                engine::EyeSettings{}.sigma);
    settings.uis = EyeUis(a);
    if (a.Given("seed")) settings.seed = Count("seed", a.Get("seed"), 0, UINT64_MAX);
    settings.threads = Threads(a.Get("threads"));
    const engine::EyeGeometry geometry =
        EyeGeometryOf(a.Get("size"), settings.uis, settings.chain, settings.point);

    Watch watch(a.Get("progress"));
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
py::dict Detect(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a("detect", args, kwargs,
                      {"runs", "sigma", "snr", "seed", "target", "tail", "channel", "density",
                       "jitter", "taps", "predictor", "detectors"},
                      Keywords({"runs", "sigma", "snr", "seed"}, choices::kDetect));
    const choices::ChannelChoice choice = ChoiceOf(a, choices::kDetect, false);
    engine::BlockSettings settings;
    settings.chain = choices::ChainFor(choice, 0);
    settings.sigma = NoiseSigma(a.Get("sigma"), a.Get("snr"), engine::SignalEnergy(settings.chain),
                                engine::BlockSettings{}.sigma);
    if (a.Given("seed")) settings.seed = Count("seed", a.Get("seed"), 0, UINT64_MAX);
    const int count = a.Given("runs") ? SmallCount("runs", a.Get("runs"), 1, choices::kMaxRuns) : 1;
    settings.detectors = choices::NamedDetectors(choice);

    std::unique_ptr<engine::WindowBlocks> blocks;
    {
        py::gil_scoped_release release;
        blocks = std::make_unique<engine::WindowBlocks>(settings);
    }
    const std::vector<detectors::Kind>& kinds = blocks->Detectors();
    // Under a constraint code raw is its words of the block's user bits
    // (whole words of the 40), and the user bits and each detector's decoded
    // ones are returned beside.
    const int bits = engine::CodedFrame(channel::kBits, settings.chain.constraint);
    const int samples = bits + (settings.chain.tail ? blocks->design().target.Memory() : 0);
    const channel::ConstraintCode& code = blocks->Code();
    const int userBits = code.IsNone() ? 0 : bits / code.CodeBits() * code.UserBits();
    py::array_t<std::uint8_t> user({count, userBits});
    std::vector<py::array_t<std::uint8_t>> decoded;
    for (std::size_t d = 0; d < kinds.size() && !code.IsNone(); ++d)
        decoded.emplace_back(std::vector<py::ssize_t>{count, userBits});
    std::uint8_t* userTo = user.mutable_data();
    std::vector<std::uint8_t*> decodedTo;
    for (py::array_t<std::uint8_t>& a : decoded) decodedTo.push_back(a.mutable_data());

    py::array_t<std::uint8_t> raw({count, bits}), prec({count, bits});
    py::array_t<float> clean({count, samples}), received({count, samples});
    std::vector<py::array_t<std::uint8_t>> decided;
    std::vector<std::uint8_t*> to;
    for (std::size_t d = 0; d < kinds.size(); ++d) {
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
        constexpr int kRunsBetweenChecks = 4096;
        for (; run < count && !watch.Stopped(); ++run) {
            const engine::BlockResult& r = blocks->Next();
            const py::ssize_t b = static_cast<py::ssize_t>(run) * bits;
            const py::ssize_t s = static_cast<py::ssize_t>(run) * samples;
            std::memcpy(rawTo + b, r.frame.raw.data(), bits);
            std::memcpy(precTo + b, r.frame.prec.data(), bits);
            std::memcpy(cleanTo + s, r.frame.clean.data(), samples * sizeof(float));
            std::memcpy(receivedTo + s, r.frame.received.data(), samples * sizeof(float));
            for (std::size_t d = 0; d < to.size(); ++d)
                std::memcpy(to[d] + b, r.decided[d].data(), bits);
            const py::ssize_t u = static_cast<py::ssize_t>(run) * userBits;
            if (userBits > 0) std::memcpy(userTo + u, r.user.data(), userBits);
            for (std::size_t d = 0; d < decodedTo.size(); ++d)
                std::memcpy(decodedTo[d] + u, r.decoded[d].data(), userBits);
            if ((run + 1) % kRunsBetweenChecks == 0) watch.Report([] { return py::dict(); });
        }
    }
    py::dict result;
    const py::slice finished(0, run, 1);
    result["raw"] = raw[finished];
    result["prec"] = prec[finished];
    result["clean"] = clean[finished];
    result["received"] = received[finished];
    for (std::size_t d = 0; d < kinds.size(); ++d)
        result[detectors::KindName(kinds[d])] = decided[d][finished];
    if (!code.IsNone()) {
        result["user"] = user[finished];
        for (std::size_t d = 0; d < kinds.size(); ++d)
            result[(std::string(detectors::KindName(kinds[d])) + "_user").c_str()] =
                decoded[d][finished];
    }
    result["sigma"] = settings.sigma;
    result["target"] = py::cast(std::make_shared<TargetBox>(blocks->design().target));
    watch.RaiseIfStopped(result);
    return result;
}

// The target survey of `quorvane-lab targets`, a row per density and target.
py::array Targets(const py::args& args, const py::kwargs& kwargs) {
    const std::vector<std::string> keywords = {"density", "channel", "snr", "jitter", "taps"};
    const Arguments a("targets", args, kwargs, keywords, keywords);
    engine::SurveySettings settings;
    if (a.Given("channel")) {
        std::string names;
        for (const channel::HeadRow& h : channel::Heads())
            names += std::string(names.empty() ? "" : " or ") + "\"" + h.name + "\"";
        Take("channel", choices::ParseSurveyHead(TextOf("channel", a.Get("channel"), names.c_str()),
                                                 settings.head));
    }
    // One density or FROM:TO:STEP as the command line takes it, or a
    // sequence of densities.
    const py::object density = a.Get("density");
    if (density.is_none()) throw py::type_error("targets() needs density");
    const bool sequence =
        !py::isinstance<py::str>(density) &&
        (py::isinstance<py::sequence>(density) || py::hasattr(density, "__array__"));
    if (py::isinstance<py::str>(density)) {
        Take("density",
             choices::ParseSurveyDensities(density.cast<std::string>(), settings.densities));
    } else {
        py::list items =
            sequence ? py::list(py::module_::import("builtins").attr("list")(density)) : py::list();
        if (!sequence) items.append(density);
        for (py::handle item : items) {
            const Number n = NumberOf("density", item);
            Take("density", choices::CheckNumberIn(n.value, channel::kMinDensity,
                                                   channel::kMaxDensity, n.shown));
            settings.densities.push_back(n.value);
        }
    }
    if (a.Given("snr")) settings.snrDb = Snr("snr", a.Get("snr"));
    if (a.Given("jitter")) {
        const py::object j = a.Get("jitter");
        if (py::isinstance<py::str>(j)) {
            Take("jitter", choices::ParseJitter(j.cast<std::string>(), settings.jitter));
        } else {
            const Number n = NumberOf("jitter", j);
            Take("jitter", choices::CheckJitter(n.value, n.shown));
            settings.jitter = n.value;
        }
    }
    if (a.Given("taps")) {
        const py::object t = a.Get("taps");
        if (py::isinstance<py::str>(t)) {
            Take("taps", choices::ParseEqualizerTaps(t.cast<std::string>(), settings.taps));
        } else {
            const Number n = NumberOf("taps", t);
            Take("taps", choices::CheckEqualizerTaps(n.value, n.shown));
            settings.taps = static_cast<int>(n.value);
        }
    }
    std::vector<engine::SurveyRow> rows;
    {
        py::gil_scoped_release release;
        rows = engine::SurveyTargets(settings);
    }
    std::vector<std::string> targets, coefficients;
    for (const engine::SurveyRow& r : rows) {
        targets.push_back(r.target);
        coefficients.push_back(r.coefficients);
    }
    const std::vector<std::string> names(std::begin(engine::kSurveyColumns),
                                         std::end(engine::kSurveyColumns));
    return Table(
        rows.size(), names,
        [&](const std::string& name) {
            return name == "target"         ? TextType(targets)
                   : name == "coefficients" ? TextType(coefficients)
                   : name == "delay"        ? std::string("<i8")
                                            : std::string("<f8");
        },
        [&](const std::string& name) -> py::object {
            if (name == "target") return py::cast(targets);
            if (name == "coefficients") return py::cast(coefficients);
            py::list values;
            for (const engine::SurveyRow& r : rows) {
                if (name == "delay") {
                    values.append(r.delay);
                    continue;
                }
                values.append(name == "density" ? r.density
                              : name == "mse"   ? r.mse
                              : name == "d2min" ? r.d2min
                                                : r.detectionSnrDb);
            }
            return values;
        });
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The sector runs' settings from sfr's keywords (iterate's and sector's too).
const std::vector<std::string> kSectorKeywords = {"code",  "decoder",       "messages", "global_",
                                                  "local", "normalization", "offset",   "precoder",
                                                  "rs_t",  "sectors",       "failures", "seed"};

engine::SectorSettings SectorSettingsOf(const Arguments& a) {
    const choices::ChannelChoice choice = ChoiceOf(a, choices::kSfr, false);
    engine::SectorSettings s;
    const std::string code =
        a.Given("code") ? TextOf("code", a.Get("code"), "a code's name or file") : "sector512";
    if (const choices::Refusal r = choices::SectorChoice(choice, code, s); !r.line.empty())
        Refuse(r.option == "--code" ? "code" : "detectors", r.line);
    if (a.Given("decoder"))
        Take("decoder", choices::ParseDecoder(TextOf("decoder", a.Get("decoder"), "nms, oms or sp"),
                                              s.decoder.algorithm));
    if (a.Given("messages")) {
        Take("messages",
             choices::ParseMessages(
                 TextOf("messages", a.Get("messages"), "int8, int16, float or plain"), s.messages));
        Take("messages", choices::CheckMessages(s.decoder.algorithm, s.messages));
    }
    if (a.Given("local"))
        s.decoder.maxIterations = SmallCount("local", a.Get("local"), 1, codes::kMaxIterations);
    if (a.Given("global_")) s.global = SmallCount("global_", a.Get("global_"), 1, 20);
    if (a.Given("normalization")) {
        const Number n = NumberOf("normalization", a.Get("normalization"));
        Take("normalization", choices::CheckNormalization(n.value, n.shown));
        s.decoder.normalization = static_cast<float>(n.value);
    }
    if (a.Given("offset")) {
        const Number n = NumberOf("offset", a.Get("offset"));
        Take("offset", choices::CheckOffset(n.value, n.shown));
        s.decoder.offset = static_cast<float>(n.value);
    }
    if (a.Given("precoder")) {
        std::string name;
        Take("precoder", choices::ParseName(TextOf("precoder", a.Get("precoder"), "auto or none"),
                                            {"auto", "none"}, name));
        s.precoder = name == "auto";
    }
    if (a.Given("rs_t")) s.rsT = SmallCount("rs_t", a.Get("rs_t"), 0, 511);
    if (a.Given("sectors")) s.sectors = Count("sectors", a.Get("sectors"), 1, choices::kMaxBits);
    if (a.Given("failures"))
        s.failures = Count("failures", a.Get("failures"), 1, choices::kMaxBits);
    if (a.Given("seed")) s.seed = Count("seed", a.Get("seed"), 0, UINT64_MAX);
    return s;
}

// The one noise level of a single sector: its SNR in dB.
double OneSnr(const Arguments& a, const engine::SectorSettings& s) {
    const Noise noise = SweepNoise(a.Get("sigma"), a.Get("snr"));
    if (noise.sigmas.size() + noise.snrDbs.size() != 1)
        Refuse(noise.sigmas.empty() ? "snr" : "sigma", "takes one value here");
    return noise.snrDbs.empty() ? channel::SnrDb(engine::SignalEnergy(s.chain), noise.sigmas[0])
                                : noise.snrDbs[0];
}

// The sector runs of quorvane-lab sfr: a row a point with the CSV's fields.
py::array Sfr(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a(
        "sfr", args, kwargs, {},
        Keywords(Joined({"sigma", "snr", "threads", "progress"}, kSectorKeywords), choices::kSfr));
    engine::SectorSettings s = SectorSettingsOf(a);
    s.threads = Threads(a.Get("threads"));
    const Noise noise = SweepNoise(a.Get("sigma"), a.Get("snr"));
    const double energy = engine::SignalEnergy(s.chain);
    std::vector<double> dbs = noise.snrDbs;
    for (double sigma : noise.sigmas) dbs.push_back(channel::SnrDb(energy, sigma));

    Watch watch(a.Get("progress"));
    std::vector<engine::SectorGeometry> geometry;
    std::vector<engine::SectorCounts> counts;
    for (std::size_t i = 0; i < dbs.size() && !watch.Stopped(); ++i) {
        engine::SectorGeometry g = engine::GeometryOf(s, dbs[i]);
        engine::SectorCounts c;
        bool done = false;
        {
            py::gil_scoped_release release;
            done = engine::RunSectorPoint(s, g, static_cast<int>(i), watch.flag(), c,
                                          [&](const engine::SectorCounts& now) {
                                              watch.Report([&] {
                                                  py::dict d;
                                                  d["point"] = i;
                                                  d["snr_db"] = dbs[i];
                                                  d["sectors"] = now.sectors;
                                                  d["failed"] = now.Errors();
                                                  return d;
                                              });
                                          });
        }
        if (!done) break;
        geometry.push_back(g);
        counts.push_back(c);
    }
    std::vector<std::string> names = {
        "snr_db",     "sigma", "sectors", "failed",          "undetected", "sfr",
        "bit_errors", "ber",   "raw_ber", "mean_iterations", "rs_failed",  "rs_sfr"};
    if (s.chain.timing.on) names.insert(names.end(), {"slips", "rms_phase"});
    auto ratio = [](std::uint64_t x, std::uint64_t y) {
        return y == 0 ? 0.0 : static_cast<double>(x) / static_cast<double>(y);
    };
    py::array result = Table(
        counts.size(), names,
        [](const std::string& name) {
            return name == "sectors" || name == "failed" || name == "undetected" ||
                           name == "bit_errors" || name == "rs_failed" || name == "slips"
                       ? std::string("<u8")
                       : std::string("<f8");
        },
        [&](const std::string& name) -> py::object {
            py::list values;
            for (std::size_t i = 0; i < counts.size(); ++i) {
                const engine::SectorCounts& c = counts[i];
                if (name == "snr_db")
                    values.append(geometry[i].snrDb);
                else if (name == "sigma")
                    values.append(geometry[i].sigmaUser);
                else if (name == "sectors")
                    values.append(c.sectors);
                else if (name == "failed")
                    values.append(c.failed);
                else if (name == "undetected")
                    values.append(c.undetected);
                else if (name == "sfr")
                    values.append(ratio(c.Errors(), c.sectors));
                else if (name == "bit_errors")
                    values.append(c.bitErrors);
                else if (name == "ber")
                    values.append(ratio(c.bitErrors, c.userBits));
                else if (name == "raw_ber")
                    values.append(ratio(c.rawErrors, c.rawBits));
                else if (name == "mean_iterations")
                    values.append(ratio(c.iterations, c.sectors));
                else if (name == "rs_failed")
                    values.append(c.rsFailed);
                else if (name == "slips")
                    values.append(c.slipped);
                else if (name == "rms_phase")
                    values.append(c.RmsPhase());
                else
                    values.append(ratio(c.rsFailed, c.sectors));
            }
            return values;
        });
    watch.RaiseIfStopped(result);
    return result;
}

// One sector of the iterative channel on a caller's samples.
py::dict Iterate(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a(
        "iterate", args, kwargs, {"samples"},
        Keywords(Joined({"samples", "sigma", "snr"}, kSectorKeywords), choices::kSfr));
    if (!a.Given("samples")) throw py::value_error("iterate: samples are required");
    const engine::SectorSettings s = SectorSettingsOf(a);
    const engine::SectorGeometry g = engine::GeometryOf(s, OneSnr(a, s));
    const Frames<float> in = SamplesIn("samples", a.Get("samples"));
    const int want = engine::SectorSampleCount(s, g);
    if (in.rows || in.length != want)
        Refuse("samples", "has " + std::to_string(in.length) +
                              (in.rows ? " values a row" : " values") + "; a sector of " +
                              s.code->name + " on this channel is one row of " +
                              std::to_string(want));
    engine::SectorDecoded d;
    {
        py::gil_scoped_release release;
        d = engine::DecodeSector(s, g, in.Frame(0));
    }
    py::dict out;
    out["bits"] = py::array_t<std::uint8_t>(static_cast<py::ssize_t>(d.bits.size()), d.bits.data());
    out["posterior"] =
        py::array_t<float>(static_cast<py::ssize_t>(d.posterior.size()), d.posterior.data());
    out["syndrome_zero"] = d.syndromeZero;
    out["iterations"] = d.iterations;
    out["rounds"] = d.rounds;
    return out;
}

// Sector `sector` of the first point as sfr draws it.
py::dict Sector(const py::args& args, const py::kwargs& kwargs) {
    const Arguments a("sector", args, kwargs, {},
                      Keywords(Joined({"sector", "sigma", "snr"}, kSectorKeywords), choices::kSfr));
    const engine::SectorSettings s = SectorSettingsOf(a);
    const engine::SectorGeometry g = engine::GeometryOf(s, OneSnr(a, s));
    const std::uint64_t k =
        a.Given("sector") ? Count("sector", a.Get("sector"), 0, choices::kMaxBits) : 0;
    const engine::SectorSamples d = engine::DrawSector(s, g, 0, k);
    py::dict out;
    out["user"] = py::array_t<std::uint8_t>(static_cast<py::ssize_t>(d.user.size()), d.user.data());
    out["codeword"] =
        py::array_t<std::uint8_t>(static_cast<py::ssize_t>(d.codeword.size()), d.codeword.data());
    out["samples"] =
        py::array_t<float>(static_cast<py::ssize_t>(d.samples.size()), d.samples.data());
    return out;
}

} // namespace

void AddRuns(py::module_& m) {
    const engine::BerSettings ber;
    m.def("ber", &Ber,
          (R"(The detectors' bit-error rates against the noise, as quorvane-lab ber measures them.

sigma: deviations (a number, a sequence, or "0.3,0.4"); or snr: SNRs in dB
against the channel's signal energy ("FROM:TO:STEP", a number or a sequence).
A point ends at `bits` bits (default )" +
           std::to_string(ber.bits) + R"(, rounded up to whole frames) or once every detector
has `errors` errors (default )" +
           std::to_string(ber.errors) + R"(). frame: bits per frame (default )" +
           std::to_string(ber.frame) + R"(); seed; threads
(default every core; the counts do not depend on it); the channel's options as
Channel takes them, target one or several ("e2pr4,e3pr4,gpr5", or a list of
names, coefficient lists and Targets), each run at every point with the same
noise (on a head the equalizer, npml's predictor and a gprL target are designed
at each point), and detectors (default every one that applies).

Returns a structured array, a row per target and point, with the fields of the
command's CSV: target (only with several targets), snr_db, sigma, bits
(uint64), each detector's errors and ber (float64; a detector that did not run
has NaN in both its fields), union_bound.

progress, if given, is called with a dict (target, point, points, snr_db, sigma,
bits, and each detector's errors so far) as each point starts and a few times a
second. Ctrl-C, or an exception raised by progress, stops the sweep: the
exception goes on with the finished points as its `result`.

The channel's keywords:)" +
           KeywordsDoc(choices::kBer))
              .c_str());

    m.def("sfr", &Sfr,
          (R"(Sector failure rates as quorvane-lab sfr measures them: the iterative LDPC
channel (a soft detector and the decoder, global_ rounds of local iterations)
against Viterbi (npml on a head) plus Reed-Solomon at the same user density.

sigma or snr (the uncoded channel's at the user density); code (a built-in
name or an alist file, default sector512); decoder (nms, oms, sp); messages
(the decoder's arithmetic: "int16", the default, "int8", "float", or "plain",
the plain float decoder one sector at a time, the only one of sp); local
(default 10); global_ (default 3); normalization, offset; precoder ("none",
the default, or "auto"); rs_t (default: the rate nearest the code's);
sectors (default 1000) and failures (default 100) end a point; seed, threads,
progress as for ber; detectors: one soft detector (default maxlog); the
timing keywords (phase, freq_offset, ...) read every sector through the clock
and the timing loop. Returns a structured array with the fields of the
command's CSV (with timing, slips and rms_phase after rs_sfr).

The channel's keywords:)" +
           KeywordsDoc(choices::kSfr))
              .c_str());

    m.def("iterate", &Iterate,
          (R"(One sector of sfr's iterative channel on given samples: the soft detector
and the decoder, global_ rounds of local iterations, stopping at a zero syndrome.

samples: the detector's input for one sector (float32, the code's n samples,
plus the target's memory with a tail); sigma or snr (one value: the noise the
detector assumes, quoted as for sfr); code, decoder, messages, local, global_,
normalization, offset, precoder and the channel's keywords as for sfr.
Returns a dict: bits (uint8, the n decoded code bits), posterior (float32,
the decoder's last a-posteriori ratios L = ln P(0)/P(1)), syndrome_zero,
iterations (local iterations over all rounds) and rounds. ValueError when the
samples are not one row of that length.

The channel's keywords:)" +
           KeywordsDoc(choices::kSfr))
              .c_str());
    m.def("sector", &Sector,
          (R"(Sector `sector` (default 0) of sfr's first point as sfr draws it, with the
same keywords as iterate: a dict of user (the user bits), codeword (the code
word written) and samples (the detector's input, for iterate).)"));

    const engine::EyeSettings eye;
    m.def("eye", &Eye,
          (R"(The density eye diagram of quorvane-lab eye: hits per pixel (uint32), shape
(height, width), row 0 at the bottom (imshow(..., origin="lower")).

runs: 40-bit blocks (default )" +
           std::to_string(eye.blocks) + R"(); sigma (default 0.1) or snr; uis: bit periods across;
the channel's options as Channel takes them (on a head the eye is the low-passed
readback, before the equalizer); point: "readback" (the default) or "equalized"
(on a head the equalizer's output, designed for the noise, at the target's
levels; on the ideal channel the same as "readback"), as --point; the timing
options are the command's alone (its eye at the recovered instants beside this
one); size: (width, height) or "WxH" of the array,
by default the eye of the command's default picture (560x360 less its margins),
so the same seed gives the command's picture; eye_geometry says where levels and
instants lie. progress is called with a dict (blocks, runs); Ctrl-C or an
exception raised by it stops, the exception carrying the hits so far as its
`result`.

The channel's keywords:)" +
           KeywordsDoc(choices::kEye))
              .c_str());

    m.def(
        "eye_geometry",
        [](const py::args& args, const py::kwargs& kwargs) {
            const Arguments a("eye_geometry", args, kwargs,
                              {"size", "uis", "target", "channel", "density", "jitter"},
                              Keywords({"size", "uis", "point"}, choices::kEye));
            const engine::ChainSettings chain = EyeChain(a);
            return GeometryDict(EyeGeometryOf(a.Get("size"), EyeUis(a), chain, EyePointOf(a)));
        },
        R"(Where things are in eye()'s array (size, uis, point and the channel's options as
eye takes them): waveform point o of a window (o = 0 ... 10 uis) is column left + o
point_step, level L is row zero_row + L level_step; windows start at sample
first_sample, and low ... high is the noise-free range.)");

    m.def("detect", &Detect,
          (R"(The window's own 40-bit blocks through the channel (runs, default 1; noise sigma,
default 0.3, or snr; the channel's options as Channel takes them) with the noise
of the stream (seed, 0), and every detector that applies or those named, as
quorvane-lab detect runs them: a dict of arrays with a run a row, raw, prec,
clean (the target's ideal levels) and received (40 + tail samples, on a head the
equalizer's output), and each detector's decided bits under its name; sigma;
and target, the Target decided on (a gprL one as designed).

The channel's keywords:)" +
           KeywordsDoc(choices::kDetect))
              .c_str());

    m.def("targets", &Targets,
          R"(Which target at which density, as quorvane-lab targets surveys it: for each
density (one, "FROM:TO:STEP", or a sequence) a head (channel "lorentz", the
default, or "erf") equalized at snr dB (default 20) and jitter (default 0) with
`taps` taps (default 15) to PR4, EPR4, E2PR4, E3PR4 and to gpr2 ... gpr6
designed with the equalizer. A structured array with the fields of the
command's CSV: density, target, coefficients, delay (int64), mse, d2min and
detection_snr_db = 10 log10(d2min / mse).)");
}

} // namespace pyquorvane
