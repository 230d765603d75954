// The chain on arrays: encode, Channel, NoiseSource and add_noise, and the
// detectors (Detector, slicer, viterbi, npml).
#include "python/chain.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "channel/bounds.h"
#include "channel/noise.h"
#include "choices/values.h"
#include "engine/chain.h"
#include "python/arrays.h"
#include "python/values.h"

namespace pyquorvane {

Arguments::Arguments(const char* function, const py::args& args, const py::kwargs& kwargs,
                     const std::vector<std::string>& positional,
                     const std::vector<std::string>& takes) {
    if (args.size() > positional.size())
        throw py::type_error(std::string(function) + "() takes at most " +
                             std::to_string(positional.size()) + " positional arguments (" +
                             std::to_string(args.size()) + " given)");
    for (std::size_t i = 0; i < args.size(); ++i)
        values_[positional[i]] = py::reinterpret_borrow<py::object>(args[i]);
    for (auto [key, value] : kwargs) {
        const std::string name = py::str(key);
        if (std::find(takes.begin(), takes.end(), name) == takes.end())
            throw py::type_error(std::string(function) + "() got an unexpected keyword argument '" +
                                 name + "'");
        if (values_.count(name) != 0)
            throw py::type_error(std::string(function) + "() got multiple values for argument '" +
                                 name + "'");
        values_[name] = py::reinterpret_borrow<py::object>(value);
    }
}

py::object Arguments::Get(const std::string& name) const {
    const auto at = values_.find(name);
    return at == values_.end() ? py::none() : at->second;
}

std::vector<std::string> ChannelKeywords(unsigned command) {
    std::vector<std::string> names;
    for (const choices::ChannelOption& row : choices::ChannelOptions())
        if ((row.commands & command) != 0) names.push_back(row.keyword);
    return names;
}

std::vector<std::string> Keywords(std::vector<std::string> own, unsigned command) {
    for (const std::string& name : ChannelKeywords(command)) own.push_back(name);
    return own;
}

double NoiseSigma(py::handle sigma, py::handle snr, double energy, double fallback) {
    if (!sigma.is_none() && !snr.is_none()) Refuse("sigma", "excludes snr");
    choices::NoiseLevel level;
    level.sigma = fallback;
    if (!sigma.is_none()) level.sigma = Sigma("sigma", sigma);
    if (!snr.is_none()) {
        level.bySnr = true;
        level.snrDb = Snr("snr", snr);
    }
    return level.Sigma(energy);
}

namespace {

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
    return {CoefficientText("target", value)};
}

// A list of names, or their text "a,b".
std::string NamesText(const char* name, py::handle value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    std::string text;
    for (py::handle item : py::module_::import("builtins").attr("list")(value))
        text += (text.empty() ? "" : ",") + TextOf(name, item, "names");
    return text;
}

// "\"ideal\", \"lorentz\" or \"erf\"": what a name's argument takes.
std::string Expected(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::string(i == 0                  ? ""
                            : i + 1 == names.size() ? " or "
                                                    : ", ") +
                "\"" + names[i] + "\"";
    return text;
}

} // namespace

choices::ChannelChoice ChoiceOf(const Arguments& args, unsigned command, bool several) {
    choices::ChannelChoice c;
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        if ((row.commands & command) == 0) continue;
        const py::object value = args.Get(row.keyword);
        if (value.is_none()) continue;
        const char* name = row.keyword;
        switch (row.shape) {
        case choices::Shape::kNumber:
        case choices::Shape::kCount:
            if (py::isinstance<py::str>(value)) {
                Take(name, row.parse(value.cast<std::string>(), several, c));
            } else {
                const Number n = NumberOf(name, value);
                Take(name, row.number(n.value, n.shown, c));
            }
            break;
        case choices::Shape::kName:
            Take(name, row.parse(TextOf(name, value, Expected(row.names()).c_str()), several, c));
            break;
        case choices::Shape::kTargets:
            Take(name, choices::ParseTargetTexts(TargetTexts(value, several), several, c.targets,
                                                 command == choices::kSfr));
            break;
        case choices::Shape::kDetectors:
            Take(name, row.parse(NamesText(name, value), several, c));
            break;
        }
        choices::Given(row, c);
    }
    const choices::Refusal refusal = choices::CheckChannel(c);
    if (!refusal.line.empty()) {
        const choices::ChannelOption* row = choices::FindOption(refusal.option);
        Refuse(row != nullptr ? row->keyword : refusal.option.c_str(), refusal.line);
    }
    return c;
}

ChannelBox::ChannelBox(choices::ChannelChoice choice, double sigma)
    : choice_(std::move(choice)), design_(std::make_shared<const engine::ChannelDesign>(
                                      engine::DesignChannel(choices::ChainFor(choice_, 0), sigma))),
      target_(std::make_shared<TargetBox>(design_->target)) {
    if (design_->settings.adcBits > 0)
        adc_ = std::make_unique<const channel::Adc>(design_->target, design_->settings.adcBits);
}

detectors::Setup ChannelBox::SetupFor(bool tail) const {
    return engine::SetupOf(*design_, {0, tail ? design_->target.Memory() : 0}, adc_.get());
}

FrameDetector& ChannelBox::DetectorFor(detectors::Kind kind, bool tail) {
    std::unique_ptr<FrameDetector>& d = detectors_[{kind, tail}];
    if (!d) d = std::make_unique<FrameDetector>(kind, SetupFor(tail), tail);
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
// With a constraint code the raw bits are its words, of random user bits
// (returned as "user"): the detectors search the code's trellis, and random
// raw bits would write runs it forbids.
py::dict NextFrame(const ChannelBox& c, int bits, std::uint64_t seed, std::uint64_t stream) {
    const channel::ConstraintCode& code =
        channel::ConstraintCode::Of(c.design().settings.constraint);
    if (!code.IsNone() && bits % code.CodeBits() != 0)
        throw py::value_error("bits: " + std::to_string(bits) + " is not a whole number of " +
                              code.row().name + " words of " + std::to_string(code.CodeBits()) +
                              " bits");
    engine::Chain chain(c.design(), bits);
    engine::Frame frame = chain.MakeFrame();
    const int words = code.IsNone() ? 0 : bits / code.CodeBits();
    std::vector<std::uint8_t> user(static_cast<std::size_t>(words * code.UserBits()));
    {
        py::gil_scoped_release release;
        channel::NoiseSource source(seed, stream);
        chain.NextCoded(code, source, frame, user);
    }
    const py::ssize_t samples = chain.Shape().Samples();
    const py::ssize_t reads = static_cast<py::ssize_t>(frame.readback.size());
    py::dict d;
    if (!code.IsNone()) {
        const py::ssize_t n = static_cast<py::ssize_t>(user.size());
        d["user"] = Adopt(std::move(user), {n});
    }
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

ChannelRef MakeChannel(const py::args& args, const py::kwargs& kwargs) {
    // Everything of the chain but the detectors, which are made one by one.
    std::vector<std::string> takes = {"sigma", "snr"};
    for (const std::string& name : ChannelKeywords(choices::kBer | choices::kDetect))
        if (name != "detectors") takes.push_back(name);
    const Arguments a(
        "Channel", args, kwargs,
        {"target", "tail", "channel", "density", "jitter", "taps", "predictor", "sigma", "snr"},
        takes);
    choices::ChannelChoice choice = ChoiceOf(a, choices::kBer | choices::kDetect, false);
    const double s = NoiseSigma(a.Get("sigma"), a.Get("snr"),
                                engine::SignalEnergy(choices::ChainFor(choice, 0)), 0.0);
    py::gil_scoped_release release;
    return std::make_shared<ChannelBox>(std::move(choice), s);
}

// A channel option's value as Python shows it: a number as a number, a
// converter of none as None, a name as its str.
py::object OptionValue(const choices::ChannelOption& row, const choices::ChannelChoice& choice) {
    const std::string text = row.show(choice);
    switch (row.shape) {
    case choices::Shape::kNumber:
        return py::float_(std::stod(text));
    case choices::Shape::kCount:
        if (text == "none") return py::none();
        return py::int_(std::stoll(text));
    default:
        return py::str(text);
    }
}

py::dict SettingsDict(const ChannelBox& c) {
    const engine::ChainSettings& s = c.settings();
    py::dict d;
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        if (row.shape == choices::Shape::kDetectors || (row.headOnly && !s.Recording())) continue;
        if (row.shape == choices::Shape::kTargets)
            d["target"] = s.TargetName();
        else
            d[row.keyword] = OptionValue(row, c.choice());
    }
    return d;
}

std::string Repr(const ChannelBox& c) {
    const engine::ChainSettings& s = c.settings();
    std::string text = "quorvane.Channel(target='" + s.TargetName() + "'";
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        if (row.shape == choices::Shape::kDetectors || row.shape == choices::Shape::kTargets ||
            (row.headOnly && !s.Recording()))
            continue;
        const std::string shown = row.show(c.choice());
        // What a call need not say: the channel, the converter and the noise
        // stream at their defaults (the tail always shows).
        const choices::ChannelChoice defaults;
        if (std::string(row.keyword) != "tail" && !row.headOnly && shown == row.show(defaults))
            continue;
        text += std::string(", ") + row.keyword + "=";
        text += row.shape == choices::Shape::kName ? "'" + shown + "'" : shown;
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
// tail unless another is given, and what a kind takes of its design).
struct DetectorChoice {
    TargetRef target;
    ChannelRef channel;
    bool tail = true;

    detectors::Where Where() const {
        if (channel) return engine::WhereOf(channel->design());
        return {&target->target(), target->target().Name(), false, 0};
    }
    FrameDetector& Shared(detectors::Kind kind) const {
        return channel ? channel->DetectorFor(kind, tail) : target->DetectorFor(kind, tail);
    }
    detectors::Setup SetupFor() const {
        if (channel) return channel->SetupFor(tail);
        detectors::Setup setup;
        setup.target = target->target();
        return setup;
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

// A kind that takes channel options of its own (npml's predictor), or the
// noise's variance (a soft one), runs on a Channel, whose design holds them.
bool NeedsChannel(const detectors::Row& row) {
    return !row.options.empty() || row.soft;
}

py::array Decide(const detectors::Row& row, py::handle y, py::handle target, py::handle tail,
                 py::handle apriori, bool extrinsic) {
    const char* name = NeedsChannel(row) ? "channel" : "target";
    if (NeedsChannel(row) && !py::isinstance<ChannelBox>(target))
        throw py::type_error(
            std::string("channel: expected a quorvane.Channel (") + row.name + " takes its " +
            (row.options.empty() ? std::string("noise variance") : row.options.front()) +
            " from the channel's design)");
    const DetectorChoice c = Choose(target, tail);
    Take(name, row.whyNot(c.Where()));
    FrameDetector& detector = c.Shared(row.kind);
    return row.soft ? detector.Soft(y, apriori, extrinsic) : detector.Detect(y);
}

constexpr const char* kTailDoc =
    R"(tail is the command line's --tail: "zero" when the channel wrote the target's
memory of zero precoder bits after each frame, so a frame of n bits has n +
memory samples and the detector ends in state 0; "none" when the frame just
stops, n samples, and the detector ends in its best state. By default a
Channel's own, else "zero".)";

} // namespace

// The keyword arguments of the channel option table's rows that `command`
// takes, a line each, for a docstring.
std::string KeywordsDoc(unsigned command) {
    std::string doc;
    for (const choices::ChannelOption& row : choices::ChannelOptions())
        if ((row.commands & command) != 0)
            doc += std::string("\n  ") + row.keyword + ": " + row.help(command == choices::kBer);
    return doc;
}

namespace {

std::string ChannelDoc() {
    return R"(The channel from raw bits to the samples the detectors see, designed for one
noise level: Channel(target="e3pr4", tail="zero", **options, sigma=None,
snr=None), the options of quorvane-lab's ber and detect by their keywords:
channel "ideal" (the default) is the target's own levels plus white noise, a
head ("lorentz" or "erf") its readback at a user density with jitter, an
equalizer to the target and npml's whitening predictor, all designed for the
noise: sigma per sample, or snr in dB against signal_energy (the head's bit
energy E_i on a head; none by default). On a head target may be "gprL" (L = 2
... 6): a monic target of L + 1 real taps designed with the equalizer, which
`target` then holds. The keywords:)" +
           KeywordsDoc(choices::kDetect);
}

} // namespace

void AddChain(py::module_& m) {
    m.def("encode", &Encode, py::arg("raw"), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
          R"(The precoder bits and the ideal samples of raw bits (uint8 or bool, 0 or 1; one
frame, or a frame a row), each frame from an all-zero history: (prec, samples).
tail "zero" (the default) adds the target's memory of zero precoder bits'
samples after each frame, "none" does not.)");

    const std::string channelDoc = ChannelDoc();
    py::class_<ChannelBox, ChannelRef>(m, "Channel", channelDoc.c_str())
        .def(py::init([](const py::args& args, const py::kwargs& kwargs) {
            return MakeChannel(args, kwargs);
        }))
        .def_property_readonly(
            "target", [](const ChannelBox& c) { return c.target(); },
            "The target the detectors decide on: the one given, or the designed gprL one.")
        .def_property_readonly("tail",
                               [](const ChannelBox& c) { return TailName(c.settings().tail); })
        .def_property_readonly("is_head",
                               [](const ChannelBox& c) { return c.settings().Recording(); })
        .def_property_readonly(
            "settings", [](const ChannelBox& c) { return SettingsDict(c); },
            "Every channel option by its keyword (target by its name: e3pr4, 1,2,1, gpr5); a "
            "head's own values only on a head.")
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
                for (detectors::Kind kind : detectors::DefaultKinds(engine::WhereOf(c.design())))
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
                return NextFrame(c, SmallCount("bits", bits, 1, choices::kMaxFrame),
                                 Count("seed", seed, 0, UINT64_MAX),
                                 Count("stream", stream, 0, UINT64_MAX));
            },
            py::arg("bits") = 4096, py::arg("seed") = 1, py::arg("stream") = 0,
            R"(One frame as an error-rate sweep makes it: random raw bits, then transmit, all
drawn from the stream (seed, stream). A dict of raw and transmit's arrays. With
a constraint code the raw bits are its words of random user bits (bits a whole
number of words; the dict adds "user"), written at the channel's own density.)")
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

    std::string kinds;
    for (const detectors::Row& row : detectors::Table())
        kinds += std::string(kinds.empty() ? "" : ", ") + "\"" + row.name + "\"";
    py::class_<DetectorHandle>(
        m, "Detector",
        ("A detector kept for many frames: Detector(kind, target=\"e3pr4\", tail=None),\nkind " +
         kinds + R"(,
on a target or on a Channel (its designed target; a kind that takes options of
its channel, as npml its predictor, needs one on a head). detect(y) gives the
raw bits of one frame of float32 samples (1-D) or of a frame a row (2-D);
soft(y, apriori=None, extrinsic=False) their log-likelihood ratios L = ln P(0 |
y) / P(1 | y) (float32, a hard detector's infinite), given a-priori ratios of
the bits' shape or none, the posterior less the a-priori with extrinsic. It
decides one call at a time: threads that detect at once each take a Detector of
their own.
)" + kTailDoc)
            .c_str())
        .def(py::init([](py::object kind, py::object target, py::object tail) {
                 DetectorChoice on = Choose(target, tail);
                 const detectors::Kind k = KindOf(kind, on.Where());
                 auto detector = std::make_unique<FrameDetector>(k, on.SetupFor(), on.tail);
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
            py::arg("y"))
        .def(
            "soft",
            [](DetectorHandle& d, py::object y, py::object apriori, bool extrinsic) {
                return d.detector->Soft(y, apriori, extrinsic);
            },
            py::arg("y"), py::arg("apriori") = py::none(), py::arg("extrinsic") = false);

    // One function a row of the detector table: slicer(y, target), viterbi(y,
    // target), npml(y, channel), ...; a soft detector's gives its ratios.
    for (const detectors::Row& row : detectors::Table()) {
        const detectors::Row* r = &row;
        const char* on = NeedsChannel(row) ? "channel" : "target";
        const std::string what =
            row.soft
                ? std::string("The log-likelihood ratios L = ln P(0 | y) / P(1 | y) (float32) of "
                              "the raw bits of float32 samples (1-D, or a frame a row) ")
                : std::string("The raw bits of float32 samples (1-D, or a frame a row) ");
        std::string doc =
            what + (NeedsChannel(row) ? "on a head's Channel" : "on a target or a Channel's") +
            " by the " + row.title + " detector: " + row.help + ". " +
            (row.soft ? "apriori: ratios of the bits' shape fed in (None: none); "
                        "extrinsic: the posterior less the a-priori. "
                      : "") +
            kTailDoc;
        // A py::arg_v keeps its default only as itself: a head's detector
        // takes a Channel with no default, the others a target, e3pr4 unless given.
        auto define = [&](auto on) {
            if (row.soft)
                m.def(
                    row.name,
                    [r](py::object y, py::object target, py::object tail, py::object apriori,
                        bool extrinsic) { return Decide(*r, y, target, tail, apriori, extrinsic); },
                    py::arg("y"), on, py::arg("tail") = py::none(), py::arg("apriori") = py::none(),
                    py::arg("extrinsic") = false, doc.c_str());
            else
                m.def(
                    row.name,
                    [r](py::object y, py::object target, py::object tail) {
                        return Decide(*r, y, target, tail, py::none(), false);
                    },
                    py::arg("y"), on, py::arg("tail") = py::none(), doc.c_str());
        };
        if (NeedsChannel(row))
            define(py::arg(on));
        else
            define(py::arg(on) = "e3pr4");
    }
}

} // namespace pyquorvane
