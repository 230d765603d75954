// quorvane.Target and the detectors that run on it.
#include "python/target.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "channel/bounds.h"
#include "choices/targets.h"
#include "choices/values.h"
#include "python/values.h"

namespace pyquorvane {

FrameDetector::FrameDetector(detectors::Kind kind, detectors::Setup setup, bool tail)
    : kind_(kind), setup_(std::move(setup)) {
    setup_.shape.tail = tail ? setup_.target.Memory() : 0;
}

detectors::Detector& FrameDetector::For(int bits) {
    if (!detector_ || bits != setup_.shape.bits) {
        setup_.shape.bits = bits;
        detector_ = detectors::Make(kind_, setup_);
    }
    return *detector_;
}

namespace {

// The frames of y, with a word about one too short for its tail.
Frames<float> FramesOf(py::handle y, int tail) {
    Frames<float> in = SamplesIn("y", y);
    if (in.length <= tail)
        throw py::value_error("y: a frame of " + std::to_string(in.length) +
                              " samples has no bits before the tail of " + std::to_string(tail) +
                              " (tail=\"none\" decides every sample)");
    return in;
}

} // namespace

void FrameDetector::Run(const Frames<float>& in, int bits, std::uint8_t* raw, float* llr,
                        const Frames<float>* prior, bool extrinsic) {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(mutex_);
    detectors::Detector& detector = For(bits);
    // Frames go side by side through the Viterbi detector.
    constexpr int kBatch = 64;
    for (int f = 0; f < in.count; f += kBatch) {
        const int count = std::min(kBatch, in.count - f);
        const float* y[kBatch];
        const float* a[kBatch];
        float* l[kBatch];
        std::uint8_t* r[kBatch];
        for (int i = 0; i < count; ++i) {
            const py::ssize_t at = static_cast<py::ssize_t>(f + i) * bits;
            y[i] = in.Frame(f + i);
            a[i] = prior != nullptr ? prior->Frame(f + i) : nullptr;
            l[i] = llr != nullptr ? llr + at : nullptr;
            r[i] = raw + at;
        }
        if (llr == nullptr) {
            detector.Detect(count, y, r);
            continue;
        }
        detectors::SoftFrames soft;
        soft.apriori = prior != nullptr ? a : nullptr;
        soft.llr = l;
        soft.extrinsic = extrinsic;
        detector.DetectSoft(count, y, soft, r);
    }
}

py::array FrameDetector::Detect(py::handle y) {
    const Frames<float> in = FramesOf(y, setup_.shape.tail);
    const int bits = in.length - setup_.shape.tail;
    py::array_t<std::uint8_t> out = NewFrames<std::uint8_t>(in.count, bits, in.rows);
    Run(in, bits, out.mutable_data(), nullptr, nullptr, false);
    return out;
}

py::array FrameDetector::Soft(py::handle y, py::handle apriori, bool extrinsic) {
    const Frames<float> in = FramesOf(y, setup_.shape.tail);
    const int bits = in.length - setup_.shape.tail;
    std::optional<Frames<float>> prior;
    if (!apriori.is_none()) {
        prior = SamplesIn("apriori", apriori);
        if (prior->count != in.count || prior->length != bits || prior->rows != in.rows)
            throw py::value_error("apriori: " + std::to_string(prior->count) + " frames of " +
                                  std::to_string(prior->length) + " ratios for " +
                                  std::to_string(in.count) + " frames of " + std::to_string(bits) +
                                  " bits");
    }
    py::array_t<float> out = NewFrames<float>(in.count, bits, in.rows);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(in.count) * bits);
    Run(in, bits, raw.data(), out.mutable_data(), prior ? &*prior : nullptr, extrinsic);
    return out;
}

const std::vector<channel::ErrorEvent>& TargetBox::BoundEvents() {
    if (!events_) events_ = channel::UnionBoundEvents(target_);
    return *events_;
}

const channel::FrameEncoder& TargetBox::Encoder() {
    if (!encoder_) encoder_ = std::make_unique<channel::FrameEncoder>(target_);
    return *encoder_;
}

FrameDetector& TargetBox::DetectorFor(detectors::Kind kind, bool tail, double sigma) {
    std::unique_ptr<FrameDetector>& d = detectors_[{kind, tail}];
    if (!d) {
        detectors::Setup setup;
        setup.target = target_;
        setup.noiseVariance = sigma * sigma;
        setup.predictionVariance = sigma * sigma;
        d = std::make_unique<FrameDetector>(kind, std::move(setup), tail);
    }
    return *d;
}

std::string CoefficientText(const char* name, py::handle value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!py::isinstance<py::sequence>(value) && !py::hasattr(value, "__array__"))
        return NumberOf(name, value).shown;
    std::string text;
    for (py::handle item : py::module_::import("builtins").attr("list")(value))
        text += (text.empty() ? "" : ",") + NumberOf(name, item).shown;
    return text;
}

TargetRef TargetOf(py::handle value) {
    if (py::isinstance<TargetBox>(value)) return value.cast<TargetRef>();
    const std::string text = CoefficientText("target", value);
    std::vector<choices::TargetChoice> choice;
    if (choices::ParseTargets(text, false, choice).empty() && choice.front().gpr > 0)
        Refuse("target", "gpr" + std::to_string(choice.front().gpr) +
                             " is designed with a head's equalizer: Channel(target=\"" + text +
                             "\", channel=\"lorentz\" or \"erf\", ...).target is one");
    channel::Target target;
    if (std::string error = channel::Target::Parse(text, target); !error.empty())
        Refuse("target", error);
    return std::make_shared<TargetBox>(std::move(target));
}

detectors::Kind KindOf(py::handle value, const detectors::Where& where) {
    const std::string name = py::str(value);
    const detectors::Row* row = detectors::Find(name);
    if (row == nullptr) {
        std::string names;
        for (const detectors::Row& r : detectors::Table())
            names += std::string(names.empty() ? "" : ", ") + r.name;
        Refuse("kind", channel::Quoted(name) + " is not a detector (" + names + ")");
    }
    if (std::string why = row->whyNot(where); !why.empty()) Refuse("kind", why);
    return row->kind;
}

std::string TargetText(const TargetBox& box) {
    const channel::Target& target = box.target();
    channel::Target named;
    if (channel::Target::Parse(target.Name(), named).empty() &&
        named.Coefficients() == target.Coefficients())
        return target.Name();
    std::string text;
    for (double f : target.Coefficients()) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", f);
        text += (text.empty() ? "" : ",") + std::string(number);
    }
    return text;
}

namespace {

// One value or several: a float for a number (or a str), an array for a
// sequence; `one` and `many` read them as the command line would.
template <typename F>
py::object Each(py::handle value, double (*one)(const char*, py::handle),
                std::vector<double> (*many)(const char*, py::handle), const char* name, F f) {
    if (py::isinstance<py::str>(value) ||
        (!py::isinstance<py::sequence>(value) && !py::isinstance<py::array>(value)))
        return py::float_(f(one(name, value)));
    const std::vector<double> values = many(name, value);
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) out.mutable_at(i) = f(values[i]);
    return out;
}
template <typename F> py::object EachSigma(py::handle sigma, F f) {
    return Each(sigma, &Sigma, &Sigmas, "sigma", f);
}

py::array Precode(TargetBox& box, py::handle raw, bool inverse) {
    const Frames<std::uint8_t> in = BitsIn(inverse ? "prec" : "raw", raw);
    const channel::FrameEncoder& encoder = box.Encoder();
    py::array_t<std::uint8_t> out = NewFrames<std::uint8_t>(in.count, in.length, in.rows);
    std::uint8_t* bits = out.mutable_data();
    {
        py::gil_scoped_release release;
        for (int f = 0; f < in.count; ++f) {
            std::uint8_t* to = bits + static_cast<py::ssize_t>(f) * in.length;
            if (inverse)
                encoder.InversePrecode(in.Frame(f), in.length, to);
            else
                encoder.Precode(in.Frame(f), in.length, to);
        }
    }
    return out;
}

py::list Events(TargetBox& box, py::object maxD2, py::object maxLen) {
    double reach = maxD2.is_none() ? 0 : Positive("max_d2", maxD2);
    Take("max_d2", choices::CheckEventReach(box.target(), reach));
    const int len = SmallCount("max_len", maxLen, 1, choices::kMaxEventLen);
    std::vector<channel::ErrorEvent> events;
    {
        py::gil_scoped_release release;
        events = channel::FindErrorEvents(box.target(), reach, len);
    }
    py::list list;
    for (const channel::ErrorEvent& e : events) {
        py::dict row;
        row["d2"] = e.d2;
        row["event"] = channel::EventText(e);
        row["raw_bit_errors"] = e.rawBitErrors;
        list.append(row);
    }
    return list;
}

} // namespace

void AddTarget(py::module_& m) {
    py::class_<TargetBox, TargetRef>(
        m, "Target",
        R"(A partial-response target f0 + f1 D + ... + fnu D^nu and what follows from it.

Target("e3pr4") (also "pr4", "epr4", "e2pr4", in any case), Target([1, 2, 1]) or
Target("1,2,1"): 2 to 7 coefficients, whole or not. The window's target, E3PR4,
is the default everywhere a target is taken. A target made once can be passed
to every function; a name or a list there makes a new one each time.)")
        .def(py::init([](py::object taps) { return TargetOf(taps); }), py::arg("taps") = "e3pr4")
        .def_static(
            "named",
            [] {
                py::dict named;
                for (const std::string& line : channel::Target::NamedList()) {
                    const std::string name = line.substr(0, line.find(' '));
                    channel::Target t;
                    channel::Target::Parse(name, t);
                    named[py::str(name)] = py::tuple(py::cast(t.Coefficients()));
                }
                return named;
            },
            "The named targets and their coefficients.")
        .def_property_readonly("name", [](const TargetBox& b) { return b.target().Name(); })
        .def_property_readonly(
            "coefficients",
            [](const TargetBox& b) { return py::tuple(py::cast(b.target().Coefficients())); })
        .def_property_readonly("memory", [](const TargetBox& b) { return b.target().Memory(); })
        .def_property_readonly("states", [](const TargetBox& b) { return b.target().States(); })
        .def_property_readonly("is_integer",
                               [](const TargetBox& b) { return b.target().IsInteger(); })
        .def_property_readonly(
            "energy", [](const TargetBox& b) { return b.target().Energy(); },
            "The sum of the squared coefficients, which SNR is quoted against.")
        .def_property_readonly(
            "d2min", [](const TargetBox& b) { return b.target().D2Min(); },
            "The smallest squared distance of an error event.")
        .def_property_readonly(
            "levels",
            [](const TargetBox& b) {
                const std::vector<float>& levels = b.target().Levels();
                return py::array_t<float>(static_cast<py::ssize_t>(levels.size()), levels.data());
            },
            "The distinct noise-free samples, ascending.")
        .def_property_readonly("has_precoder",
                               [](const TargetBox& b) { return b.target().HasPrecoder(); })
        .def_property_readonly(
            "precoder_taps", [](const TargetBox& b) { return b.target().PrecoderTaps(); },
            "Bit m-1 set when f_m is odd: p_k = r_k xor the taps' parity over p_(k-1) ... "
            "p_(k-nu).")
        .def_property_readonly(
            "detectors",
            [](const TargetBox& b) {
                py::list names;
                for (detectors::Kind kind :
                     detectors::DefaultKinds({&b.target(), b.target().Name(), false, 0}))
                    names.append(detectors::KindName(kind));
                return py::tuple(names);
            },
            "The detectors that run on this target.")
        .def(
            "why_not",
            [](const TargetBox& b, const std::string& kind) {
                if (const detectors::Row* row = detectors::Find(kind))
                    return row->whyNot({&b.target(), b.target().Name(), false, 0});
                Refuse("kind", channel::Quoted(kind) + " is not a detector");
            },
            py::arg("kind"), "Why a detector cannot run on this target, or \"\".")
        .def(
            "events",
            [](TargetBox& b, py::object maxD2, py::object maxLen) {
                return Events(b, maxD2, maxLen);
            },
            py::arg("max_d2") = py::none(), py::arg("max_len") = 16,
            R"(The error events up to a squared distance max_d2 (default twice d2min, at most
five times it) and a length max_len (1 ... 24): dicts with the keys d2, event
("+-+") and raw_bit_errors, as quorvane-lab events lists them.)")
        .def(
            "union_bound",
            [](TargetBox& b, py::object sigma) {
                const std::vector<channel::ErrorEvent>& events = b.BoundEvents();
                return EachSigma(sigma, [&](double s) { return channel::UnionBound(events, s); });
            },
            py::arg("sigma"),
            "The union bound on the Viterbi detector's raw-bit error rate at sigma (a "
            "number or a sequence).")
        .def(
            "slicer_ber",
            [](TargetBox& b, py::object sigma) {
                Take("target", detectors::WhyNot(detectors::Kind::kSlicer,
                                                 {&b.target(), b.target().Name(), false, 0}));
                return EachSigma(sigma,
                                 [&](double s) { return channel::SlicerBer(b.target(), s); });
            },
            py::arg("sigma"), "The slicer's exact raw-bit error rate at sigma.")
        .def(
            "snr_db",
            [](const TargetBox& b, py::object sigma) {
                return EachSigma(sigma,
                                 [&](double s) { return channel::SnrDb(b.target().Energy(), s); });
            },
            py::arg("sigma"), "10 log10(energy / sigma^2).")
        .def(
            "sigma_of_snr",
            [](const TargetBox& b, py::object snr) {
                return Each(snr, &Snr, &Snrs, "snr", [&](double db) {
                    return channel::SigmaOfSnr(b.target().Energy(), db);
                });
            },
            py::arg("snr"), "The sigma of an SNR in dB (a number or a sequence).")
        .def(
            "precode", [](TargetBox& b, py::object raw) { return Precode(b, raw, false); },
            py::arg("raw"),
            "The precoder bits of raw bits (each frame from an all-zero history); without a "
            "precoder, a copy.")
        .def(
            "inverse_precode", [](TargetBox& b, py::object prec) { return Precode(b, prec, true); },
            py::arg("prec"))
        .def("__repr__",
             [](const TargetBox& b) { return "quorvane.Target('" + TargetText(b) + "')"; });
}

} // namespace pyquorvane
