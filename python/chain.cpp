// The chain on arrays: encode, Channel, NoiseSource and add_noise, and the
// detectors (Detector, slicer, viterbi, npml).
#include "python/chain.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "channel/bounds.h"
#include "channel/noise.h"
#include "engine/chain.h"
#include "lab/options.h"
#include "python/arrays.h"
#include "python/values.h"

namespace pyquorvane {

double NoiseSigma(py::handle sigma, py::handle snr, double energy, double fallback) {
    if (!sigma.is_none() && !snr.is_none()) Refuse("sigma", "excludes snr");
    lab::NoiseLevel level;
    level.sigma = fallback;
    if (!sigma.is_none()) level.sigma = Sigma("sigma", sigma);
    if (!snr.is_none()) {
        level.bySnr = true;
        level.snrDb = Snr("snr", snr);
    }
    return level.Sigma(energy);
}

namespace {

// The Python argument of a command-line option.
std::string ArgumentOf(const std::string& option) {
    const std::string name = option.substr(option.find_first_not_of('-'));
    return name == "detector" ? "detectors" : name;
}

// What the command line's --target would have been given: one text, or
// with `several` one a target (a Target object, a name or list text, or a
// sequence of coefficients) for a list of them.
std::vector<std::string> TargetTexts(py::handle value, bool several) {
    if (py::isinstance<TargetBox>(value)) return {TargetText(value.cast<const TargetBox&>())};
    if (py::isinstance<py::str>(value)) return {value.cast<std::string>()};
    if (several && py::isinstance<py::sequence>(value)) {
        const py::list items = py::module_::import("builtins").attr("list")(value);
        bool targets = false;
        for (py::handle item : items)
            targets = targets || py::isinstance<py::str>(item) || py::isinstance<TargetBox>(item) ||
                      py::isinstance<py::sequence>(item) || py::hasattr(item, "__array__");
        if (targets) {
            std::vector<std::string> texts;
            for (py::handle item : items) texts.push_back(TargetTexts(item, false).front());
            return texts;
        }
    }
    return {ListText("target", value)};
}

std::string Text(const char* name, py::handle value, const char* expected) {
    if (!py::isinstance<py::str>(value))
        throw py::type_error(std::string(name) + ": expected " + expected);
    return value.cast<std::string>();
}

// A list of names, or their text "a,b".
std::string NamesText(const char* name, py::handle value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    std::string text;
    for (py::handle item : py::module_::import("builtins").attr("list")(value))
        text += (text.empty() ? "" : ",") + Text(name, item, "names");
    return text;
}

void Take(const char* name, const std::string& error) {
    if (!error.empty()) Refuse(name, error);
}

} // namespace

lab::ChannelOptions ChainOf(const ChainArgs& a, bool several) {
    lab::ChannelOptions o;
    std::vector<std::string> given; // the head's options, in the command line's order
    if (!a.channel.is_none())
        Take("channel", lab::ParseChannel(Text("channel", a.channel,
                                               "\"ideal\", \"lorentz\" or "
                                               "\"erf\""),
                                          o.chain.channel));
    if (!a.density.is_none()) {
        Take("density", lab::ParseDensity(NumberText("density", a.density), o.chain.density));
        given.push_back("--density");
    }
    if (!a.jitter.is_none()) {
        Take("jitter", lab::ParseJitter(NumberText("jitter", a.jitter), o.chain.jitter));
        given.push_back("--jitter");
    }
    if (!a.taps.is_none()) {
        Take("taps", lab::ParseEqualizerTaps(NumberText("taps", a.taps), o.chain.taps));
        given.push_back("--taps");
    }
    if (!a.predictor.is_none()) {
        Take("predictor",
             lab::ParsePredictor(NumberText("predictor", a.predictor), o.chain.predictor));
        given.push_back("--predictor");
    }
    if (!a.tail.is_none()) o.chain.tail = Tail(a.tail);
    if (!a.target.is_none())
        Take("target", lab::ParseTargetTexts(TargetTexts(a.target, several), several, o.targets));
    if (!a.detectors.is_none())
        Take("detectors", lab::ParseDetectors(NamesText("detectors", a.detectors), o.detectors));
    const lab::ChannelRefusal refusal = lab::CheckChannel(o, given);
    if (!refusal.line.empty()) Refuse(ArgumentOf(refusal.option).c_str(), refusal.line);
    return o;
}

ChannelBox::ChannelBox(lab::ChannelOptions options, double sigma)
    : options_(std::move(options)), design_(std::make_shared<const engine::ChannelDesign>(
                                        engine::DesignChannel(lab::ChainFor(options_, 0), sigma))),
      target_(std::make_shared<TargetBox>(design_->target)) {}

FrameDetector& ChannelBox::DetectorFor(detectors::Kind kind, bool tail) {
    if (kind != detectors::Kind::kNpml) return target_->DetectorFor(kind, tail);
    std::unique_ptr<FrameDetector>& d = npml_[tail];
    if (!d) d = std::make_unique<FrameDetector>(kind, design_->target, tail, design_->predictor);
    return *d;
}

namespace {

// Raw bits (one frame, or a frame a row) through the channel's precoder,
// head, noise and equalizer, the frames one after another with the noise
// (and jitter) of one stream. `all`: every stage as a dict, else the
// received samples.
py::object Transmit(const ChannelBox& c, py::handle raw, std::uint64_t seed, std::uint64_t stream,
                    bool all) {
    const Frames<std::uint8_t> in = BitsIn("raw", raw);
    engine::Chain chain(c.design(), in.length);
    engine::Frame frame = chain.MakeFrame();
    const int samples = chain.Shape().Samples();
    const int reads = static_cast<int>(frame.readback.size());
    if (!in.rows) {
        {
            py::gil_scoped_release release;
            std::memcpy(frame.raw.data(), in.Frame(0), frame.raw.size());
            channel::NoiseSource source(seed, stream);
            chain.Transmit(source, frame);
        }
        if (!all) return Adopt(std::move(frame.received), {samples});
        py::dict d;
        d["prec"] = Adopt(std::move(frame.prec), {in.length});
        d["clean"] = Adopt(std::move(frame.clean), {samples});
        d["received"] = Adopt(std::move(frame.received), {samples});
        if (reads > 0) {
            d["readback"] = Adopt(std::move(frame.readback), {reads});
            d["readback_first"] = frame.readbackFirst;
        }
        return d;
    }
    py::array_t<float> received = NewFrames<float>(in.count, samples, true);
    py::array_t<std::uint8_t> prec;
    py::array_t<float> clean, readback;
    if (all) {
        prec = NewFrames<std::uint8_t>(in.count, in.length, true);
        clean = NewFrames<float>(in.count, samples, true);
        if (reads > 0) readback = NewFrames<float>(in.count, reads, true);
    }
    float* receivedTo = received.mutable_data();
    std::uint8_t* precTo = all ? prec.mutable_data() : nullptr;
    float* cleanTo = all ? clean.mutable_data() : nullptr;
    float* readbackTo = all && reads > 0 ? readback.mutable_data() : nullptr;
    {
        py::gil_scoped_release release;
        channel::NoiseSource source(seed, stream);
        for (int f = 0; f < in.count; ++f) {
            std::memcpy(frame.raw.data(), in.Frame(f), frame.raw.size());
            chain.Transmit(source, frame);
            const py::ssize_t s = static_cast<py::ssize_t>(f) * samples;
            std::memcpy(receivedTo + s, frame.received.data(), samples * sizeof(float));
            if (!all) continue;
            std::memcpy(precTo + static_cast<py::ssize_t>(f) * in.length, frame.prec.data(),
                        frame.prec.size());
            std::memcpy(cleanTo + s, frame.clean.data(), samples * sizeof(float));
            if (readbackTo != nullptr)
                std::memcpy(readbackTo + static_cast<py::ssize_t>(f) * reads, frame.readback.data(),
                            reads * sizeof(float));
        }
    }
    if (!all) return received;
    py::dict d;
    d["prec"] = prec;
    d["clean"] = clean;
    d["received"] = received;
    if (reads > 0) {
        d["readback"] = readback;
        d["readback_first"] = frame.readbackFirst;
    }
    return d;
}

// One frame as a sweep's chunk makes it: random raw bits, then the chain,
// from one stream.
py::dict NextFrame(const ChannelBox& c, int bits, std::uint64_t seed, std::uint64_t stream) {
    engine::Chain chain(c.design(), bits);
    engine::Frame frame = chain.MakeFrame();
    {
        py::gil_scoped_release release;
        channel::NoiseSource source(seed, stream);
        chain.Next(source, frame);
    }
    const py::ssize_t samples = chain.Shape().Samples();
    const py::ssize_t reads = static_cast<py::ssize_t>(frame.readback.size());
    py::dict d;
    d["raw"] = Adopt(std::move(frame.raw), {bits});
    d["prec"] = Adopt(std::move(frame.prec), {bits});
    d["clean"] = Adopt(std::move(frame.clean), {samples});
    d["received"] = Adopt(std::move(frame.received), {samples});
    if (reads > 0) {
        d["readback"] = Adopt(std::move(frame.readback), {reads});
        d["readback_first"] = frame.readbackFirst;
    }
    return d;
}

ChannelRef MakeChannel(py::object target, py::object tail, py::object channel, py::object density,
                       py::object jitter, py::object taps, py::object predictor, py::object sigma,
                       py::object snr) {
    lab::ChannelOptions options =
        ChainOf({target, tail, channel, density, jitter, taps, predictor, py::none()}, false);
    const double s = NoiseSigma(sigma, snr, engine::SignalEnergy(lab::ChainFor(options, 0)), 0.0);
    py::gil_scoped_release release;
    return std::make_shared<ChannelBox>(std::move(options), s);
}

py::dict SettingsDict(const engine::ChainSettings& s) {
    py::dict d;
    d["channel"] = engine::ChannelName(s.channel);
    d["target"] = s.TargetName();
    d["tail"] = TailName(s.tail);
    if (s.Recording()) {
        d["density"] = s.density;
        d["jitter"] = s.jitter;
        d["taps"] = s.taps;
        d["predictor"] = s.predictor;
    }
    return d;
}

std::string Repr(const ChannelBox& c) {
    const engine::ChainSettings& s = c.settings();
    std::string text =
        "quorvane.Channel(target='" + s.TargetName() + "', tail='" + TailName(s.tail) + "'";
    if (s.Recording()) {
        char head[160];
        std::snprintf(head, sizeof head,
                      ", channel='%s', density=%g, jitter=%g, taps=%d, "
                      "predictor=%d",
                      engine::ChannelName(s.channel), s.density, s.jitter, s.taps, s.predictor);
        text += head;
    }
    char noise[48];
    std::snprintf(noise, sizeof noise, ", sigma=%.17g)", c.design().sigma);
    return text + noise;
}

struct NoiseSource {
    std::mutex mutex;
    channel::NoiseSource source;
};

py::array AddNoise(NoiseSource& n, py::handle samples, double sigma) {
    const Frames<float> in = SamplesIn("samples", samples);
    py::array_t<float> out = NewFrames<float>(in.count, in.length, in.rows);
    float* to = out.mutable_data();
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(n.mutex);
        for (int f = 0; f < in.count; ++f)
            n.source.AddNoise(in.Frame(f), to + static_cast<py::ssize_t>(f) * in.length, in.length,
                              sigma);
    }
    return out;
}

py::tuple Encode(py::object raw, py::object target, py::object tail) {
    const TargetRef t = TargetOf(target);
    const int memory = Tail(tail) ? t->target().Memory() : 0;
    const Frames<std::uint8_t> in = BitsIn("raw", raw);
    const channel::FrameEncoder& encoder = t->Encoder();
    py::array_t<std::uint8_t> prec = NewFrames<std::uint8_t>(in.count, in.length, in.rows);
    py::array_t<float> samples = NewFrames<float>(in.count, in.length + memory, in.rows);
    std::uint8_t* p = prec.mutable_data();
    float* s = samples.mutable_data();
    {
        py::gil_scoped_release release;
        for (int f = 0; f < in.count; ++f) {
            std::uint8_t* bits = p + static_cast<py::ssize_t>(f) * in.length;
            encoder.Precode(in.Frame(f), in.length, bits);
            encoder.Levels(bits, in.length, memory,
                           s + static_cast<py::ssize_t>(f) * (in.length + memory));
        }
    }
    return py::make_tuple(prec, samples);
}

// What a detector runs on: a target, or a Channel (its designed target, its
// tail unless another is given, and npml's predictor).
struct DetectorChoice {
    TargetRef target;
    ChannelRef channel;
    bool tail = true;

    bool Coloured() const { return channel && channel->settings().Recording(); }
    FrameDetector& Shared(detectors::Kind kind) const {
        return channel ? channel->DetectorFor(kind, tail) : target->DetectorFor(kind, tail);
    }
};

DetectorChoice Choose(py::handle target, py::handle tail) {
    if (py::isinstance<ChannelBox>(target)) {
        const ChannelRef c = target.cast<ChannelRef>();
        return {c->target(), c, tail.is_none() ? c->settings().tail : Tail(tail)};
    }
    return {TargetOf(target), nullptr, tail.is_none() || Tail(tail)};
}

// A detector that Python holds: what it runs on, and its own detector (not
// the shared one).
struct DetectorHandle {
    DetectorChoice on;
    std::unique_ptr<FrameDetector> detector;
};

py::array Decide(detectors::Kind kind, py::handle y, py::handle target, py::handle tail,
                 const char* name) {
    const DetectorChoice c = Choose(target, tail);
    if (std::string why = detectors::WhyNot(kind, c.target->target(), c.Coloured()); !why.empty())
        Refuse(name, why);
    return c.Shared(kind).Detect(y);
}

constexpr const char* kTailDoc =
    R"(tail is the command line's --tail: "zero" when the channel wrote the target's
memory of zero precoder bits after each frame, so a frame of n bits has n +
memory samples and the detector ends in state 0; "none" when the frame just
stops, n samples, and the detector ends in its best state. By default a
Channel's own, else "zero".)";

constexpr const char* kChannelDoc =
    R"(The channel from raw bits to the samples the detectors see, designed for one
noise level: Channel(target="e3pr4", tail="zero", channel="ideal", density=None,
jitter=None, taps=None, predictor=None, sigma=None, snr=None), the options of
quorvane-lab's ber, detect and eye.

channel "ideal" (the default) is the target's own levels plus white noise;
"lorentz" or "erf" a read head at user density `density` (PW50 / T, default
2), transition jitter `jitter` (bit periods, default 0), an equalizer of
`taps` taps (odd, default 15) to the target, and npml's whitening predictor of
`predictor` taps (default 2), all designed for the noise: sigma per sample, or
snr in dB against signal_energy (the head's bit energy E_i on a head; none by
default). On a head target may be "gprL" (L = 2 ... 6): a monic target of L + 1
real taps designed with the equalizer, which `target` then holds.)";

} // namespace

void AddChain(py::module_& m) {
    m.def("encode", &Encode, py::arg("raw"), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
          R"(The precoder bits and the ideal samples of raw bits (uint8 or bool, 0 or 1; one
frame, or a frame a row), each frame from an all-zero history: (prec, samples).
tail "zero" (the default) adds the target's memory of zero precoder bits'
samples after each frame, "none" does not.)");

    py::class_<ChannelBox, ChannelRef>(m, "Channel", kChannelDoc)
        .def(py::init(&MakeChannel), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
             py::arg("channel") = "ideal", py::arg("density") = py::none(),
             py::arg("jitter") = py::none(), py::arg("taps") = py::none(),
             py::arg("predictor") = py::none(), py::arg("sigma") = py::none(),
             py::arg("snr") = py::none())
        .def_property_readonly(
            "target", [](const ChannelBox& c) { return c.target(); },
            "The target the detectors decide on: the one given, or the designed gprL one.")
        .def_property_readonly("tail",
                               [](const ChannelBox& c) { return TailName(c.settings().tail); })
        .def_property_readonly("is_head",
                               [](const ChannelBox& c) { return c.settings().Recording(); })
        .def_property_readonly(
            "settings", [](const ChannelBox& c) { return SettingsDict(c.settings()); },
            "channel, target (its name: e3pr4, 1,2,1, gpr5), tail, and on a head density, "
            "jitter, taps and predictor.")
        .def_property_readonly("sigma", [](const ChannelBox& c) { return c.design().sigma; })
        .def_property_readonly(
            "signal_energy", [](const ChannelBox& c) { return engine::SignalEnergy(c.settings()); },
            "The energy SNR is quoted against: the target's sum of squares on the ideal "
            "channel, the head's bit energy E_i on a head.")
        .def_property_readonly("snr_db",
                               [](const ChannelBox& c) {
                                   return channel::SnrDb(engine::SignalEnergy(c.settings()),
                                                         c.design().sigma);
                               })
        .def_property_readonly(
            "equalizer",
            [](const ChannelBox& c) -> py::object {
                if (!c.settings().Recording()) return py::none();
                const channel::Equalizer& e = c.design().equalizer;
                py::dict d;
                d["taps"] =
                    py::array_t<double>(static_cast<py::ssize_t>(e.taps.size()), e.taps.data());
                d["delay"] = e.delay;
                d["offset"] = e.offset;
                d["mse"] = e.mse;
                return d;
            },
            "On a head: the equalizer's taps, delay, offset (the readback's mean taken off "
            "first) and designed mean-squared error; None on the ideal channel.")
        .def_property_readonly(
            "predictor",
            [](const ChannelBox& c) {
                const std::vector<float>& p = c.design().predictor;
                return py::array_t<float>(static_cast<py::ssize_t>(p.size()), p.data());
            },
            "npml's whitening predictor as designed (empty on the ideal channel).")
        .def_property_readonly(
            "noise_correlation",
            [](const ChannelBox& c) {
                const std::vector<double> r = c.design().DetectorNoise();
                return py::array_t<double>(static_cast<py::ssize_t>(r.size()), r.data());
            },
            "The autocorrelation r(0), r(1), ... of the noise the detectors see, as designed.")
        .def_property_readonly(
            "detectors",
            [](const ChannelBox& c) {
                py::list names;
                for (detectors::Kind kind :
                     detectors::KindsFor(c.design().target, c.settings().Recording()))
                    names.append(detectors::KindName(kind));
                return py::tuple(names);
            },
            "The detectors that apply here, as ber and detect run them by default.")
        .def(
            "readback",
            [](const ChannelBox& c, py::object raw, py::object seed, py::object stream) {
                return Transmit(c, raw, Count("seed", seed, 0, UINT64_MAX),
                                Count("stream", stream, 0, UINT64_MAX), false);
            },
            py::arg("raw"), py::arg("seed") = 1, py::arg("stream") = 0,
            R"(The received samples of raw bits (one frame, or a frame a row), as the detectors
see them: precoder, channel, noise (on a head the jitter first, then the noise,
then the equalizer) from the stream (seed, stream), the frames one after another.)")
        .def(
            "transmit",
            [](const ChannelBox& c, py::object raw, py::object seed, py::object stream) {
                return Transmit(c, raw, Count("seed", seed, 0, UINT64_MAX),
                                Count("stream", stream, 0, UINT64_MAX), true);
            },
            py::arg("raw"), py::arg("seed") = 1, py::arg("stream") = 0,
            R"(readback's every stage, as a dict: prec, clean (the target's ideal levels),
received, and on a head readback, the head's sampled readback with noise before
the equalizer, samples readback_first ... of each frame.)")
        .def(
            "frame",
            [](const ChannelBox& c, py::object bits, py::object seed, py::object stream) {
                return NextFrame(c, SmallCount("bits", bits, 1, lab::kMaxFrame),
                                 Count("seed", seed, 0, UINT64_MAX),
                                 Count("stream", stream, 0, UINT64_MAX));
            },
            py::arg("bits") = 4096, py::arg("seed") = 1, py::arg("stream") = 0,
            R"(One frame as an error-rate sweep makes it: random raw bits, then transmit, all
drawn from the stream (seed, stream). A dict of raw and transmit's arrays.)")
        .def("__repr__", &Repr);

    py::class_<NoiseSource>(m, "NoiseSource",
                            R"(The lab's random source: every (seed, stream) is its own stream.)")
        .def(py::init([](py::object seed, py::object stream) {
                 return std::unique_ptr<NoiseSource>(
                     new NoiseSource{{},
                                     channel::NoiseSource(Count("seed", seed, 0, UINT64_MAX),
                                                          Count("stream", stream, 0, UINT64_MAX))});
             }),
             py::arg("seed") = 1, py::arg("stream") = 0)
        .def(
            "add_noise",
            [](NoiseSource& n, py::object samples, py::object sigma) {
                return AddNoise(n, samples, Sigma("sigma", sigma));
            },
            py::arg("samples"), py::arg("sigma"),
            "samples plus N(0, sigma^2) each, in a new float32 array; the stream goes on.")
        .def(
            "random_bits",
            [](NoiseSource& n, py::object count) {
                const int bits = SmallCount("n", count, 1, static_cast<std::uint64_t>(kMaxLength));
                py::array_t<std::uint8_t> out(bits);
                std::uint8_t* to = out.mutable_data();
                {
                    py::gil_scoped_release release;
                    std::lock_guard<std::mutex> lock(n.mutex);
                    n.source.RandomBits(to, bits);
                }
                return out;
            },
            py::arg("n"), "n uniform raw bits.")
        .def(
            "normal",
            [](NoiseSource& n) {
                std::lock_guard<std::mutex> lock(n.mutex);
                return n.source.Normal();
            },
            "One N(0, 1) deviate.");

    m.def(
        "add_noise",
        [](py::object samples, py::object sigma, py::object seed, py::object stream) {
            const double s = Sigma("sigma", sigma);
            NoiseSource n{{},
                          channel::NoiseSource(Count("seed", seed, 0, UINT64_MAX),
                                               Count("stream", stream, 0, UINT64_MAX))};
            return AddNoise(n, samples, s);
        },
        py::arg("samples"), py::arg("sigma"), py::arg("seed") = 1, py::arg("stream") = 0,
        "samples (float32) plus white Gaussian noise of deviation sigma from the stream (seed, "
        "stream), in a new array.");

    py::class_<DetectorHandle>(
        m, "Detector",
        (std::string(
             R"(A detector kept for many frames: Detector(kind, target="e3pr4", tail=None),
kind "slicer", "viterbi" or "npml", on a target or on a Channel (its designed
target; npml needs one on a head, for its predictor). detect(y) gives the raw
bits of one frame of float32 samples (1-D) or of a frame a row (2-D). It
decides one call at a time: threads that detect at once each take a Detector of
their own.
)") + kTailDoc)
            .c_str())
        .def(py::init([](py::object kind, py::object target, py::object tail) {
                 DetectorChoice on = Choose(target, tail);
                 const detectors::Kind k = KindOf(kind, on.target->target(), on.Coloured());
                 std::vector<float> predictor;
                 if (k == detectors::Kind::kNpml) predictor = on.channel->design().predictor;
                 auto detector = std::make_unique<FrameDetector>(k, on.target->target(), on.tail,
                                                                 std::move(predictor));
                 return std::unique_ptr<DetectorHandle>(
                     new DetectorHandle{std::move(on), std::move(detector)});
             }),
             py::arg("kind"), py::arg("target") = "e3pr4", py::arg("tail") = py::none())
        .def_property_readonly(
            "kind", [](const DetectorHandle& d) { return detectors::KindName(d.detector->kind()); })
        .def_property_readonly("target", [](const DetectorHandle& d) { return d.on.target; })
        .def_property_readonly("channel",
                               [](const DetectorHandle& d) -> py::object {
                                   if (!d.on.channel) return py::none();
                                   return py::cast(d.on.channel);
                               })
        .def_property_readonly("tail",
                               [](const DetectorHandle& d) { return TailName(d.detector->tail()); })
        .def(
            "detect", [](DetectorHandle& d, py::object y) { return d.detector->Detect(y); },
            py::arg("y"));

    m.def(
        "slicer",
        [](py::object y, py::object target, py::object tail) {
            return Decide(detectors::Kind::kSlicer, y, target, tail, "target");
        },
        py::arg("y"), py::arg("target") = "e3pr4", py::arg("tail") = py::none(),
        (std::string("The slicer's raw bits of float32 samples (1-D, or a frame a row), on a "
                     "target or a Channel's. ") +
         kTailDoc)
            .c_str());
    m.def(
        "viterbi",
        [](py::object y, py::object target, py::object tail) {
            return Decide(detectors::Kind::kViterbi, y, target, tail, "target");
        },
        py::arg("y"), py::arg("target") = "e3pr4", py::arg("tail") = py::none(),
        (std::string("The Viterbi detector's raw bits of float32 samples (1-D, or a frame a "
                     "row), on a target or a Channel's. ") +
         kTailDoc)
            .c_str());
    m.def(
        "npml",
        [](py::object y, py::object channel, py::object tail) {
            if (!py::isinstance<ChannelBox>(channel))
                throw py::type_error("channel: expected a quorvane.Channel (npml's predictor is "
                                     "designed with a head's equalizer)");
            return Decide(detectors::Kind::kNpml, y, channel, tail, "channel");
        },
        py::arg("y"), py::arg("channel"), py::arg("tail") = py::none(),
        (std::string("The noise-predictive detector's raw bits of float32 samples (1-D, or a "
                     "frame a row) on a head's Channel: the Viterbi trellis of its target, the "
                     "equalized noise whitened along each survivor by the channel's designed "
                     "predictor. ") +
         kTailDoc)
            .c_str());
}

} // namespace pyquorvane
