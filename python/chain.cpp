// The chain on arrays: encode, Channel, NoiseSource and add_noise, and the
// detectors (Detector, slicer, viterbi).
#include "python/chain.h"

#include <cstring>
#include <mutex>
#include <string>

#include "channel/noise.h"
#include "engine/chain.h"
#include "lab/options.h"
#include "python/arrays.h"
#include "python/target.h"
#include "python/values.h"

namespace pyquorvane {

double NoiseSigma(py::handle sigma, py::handle snr, const channel::Target& target,
                  double fallback) {
    if (!sigma.is_none() && !snr.is_none()) Refuse("sigma", "excludes snr");
    lab::NoiseLevel level;
    level.sigma = fallback;
    if (!sigma.is_none()) level.sigma = Sigma("sigma", sigma);
    if (!snr.is_none()) {
        level.bySnr = true;
        level.snrDb = Snr("snr", snr);
    }
    return level.Sigma(target);
}

engine::ChainSettings ChainOf(const channel::Target& target, py::handle tail) {
    engine::ChainSettings settings;
    settings.target = target;
    settings.tail = Tail(tail);
    return settings;
}

namespace {

// A channel as the chain's settings: the keyword arguments of its
// constructor are the fields of engine::ChainSettings.
struct Channel {
    TargetRef target;
    engine::ChainSettings settings;
};

Channel MakeChannel(py::object target, py::object tail) {
    const TargetRef t = TargetOf(target);
    return Channel{t, ChainOf(t->target(), tail)};
}

// Raw bits through the chain's precoder, channel and noise, one frame after
// another with the noise of one stream.
py::array Readback(const Channel& c, py::handle raw, double sigma, std::uint64_t seed,
                   std::uint64_t stream) {
    const Frames<std::uint8_t> in = BitsIn("raw", raw);
    engine::Chain chain(c.settings, in.length);
    engine::Frame frame = chain.MakeFrame();
    const int samples = chain.Shape().Samples();
    if (!in.rows) {
        {
            py::gil_scoped_release release;
            std::memcpy(frame.raw.data(), in.Frame(0), frame.raw.size());
            channel::NoiseSource source(seed, stream);
            chain.Transmit(source, sigma, frame);
        }
        return Adopt(std::move(frame.received), {samples});
    }
    py::array_t<float> out = NewFrames<float>(in.count, samples, true);
    float* to = out.mutable_data();
    {
        py::gil_scoped_release release;
        channel::NoiseSource source(seed, stream);
        for (int f = 0; f < in.count; ++f) {
            std::memcpy(frame.raw.data(), in.Frame(f), frame.raw.size());
            chain.Transmit(source, sigma, frame);
            std::memcpy(to + static_cast<py::ssize_t>(f) * samples, frame.received.data(),
                        frame.received.size() * sizeof(float));
        }
    }
    return out;
}

// One frame as a sweep's chunk makes it: random raw bits, then the chain,
// from one stream.
py::dict NextFrame(const Channel& c, int bits, double sigma, std::uint64_t seed,
                   std::uint64_t stream) {
    engine::Chain chain(c.settings, bits);
    engine::Frame frame = chain.MakeFrame();
    {
        py::gil_scoped_release release;
        channel::NoiseSource source(seed, stream);
        chain.Next(source, sigma, frame);
    }
    const py::ssize_t samples = chain.Shape().Samples();
    py::dict d;
    d["raw"] = Adopt(std::move(frame.raw), {bits});
    d["prec"] = Adopt(std::move(frame.prec), {bits});
    d["clean"] = Adopt(std::move(frame.clean), {samples});
    d["received"] = Adopt(std::move(frame.received), {samples});
    return d;
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

// A detector that Python holds: the target it came from, and its own
// detector (not the target's shared one).
struct DetectorHandle {
    TargetRef target;
    std::unique_ptr<FrameDetector> detector;
};

py::array Decide(detectors::Kind kind, py::object y, py::object target, py::object tail) {
    const TargetRef t = TargetOf(target);
    if (std::string why = detectors::WhyNot(kind, t->target()); !why.empty()) Refuse("target", why);
    return t->DetectorFor(kind, Tail(tail)).Detect(y);
}

constexpr const char* kTailDoc =
    R"(tail is the command line's --tail: "zero" (the default) when the channel wrote the
target's memory of zero precoder bits after each frame, so a frame of n bits has
n + memory samples and the detector ends in state 0; "none" when the frame just
stops, n samples, and the detector ends in its best state.)";

} // namespace

void AddChain(py::module_& m) {
    m.def("encode", &Encode, py::arg("raw"), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
          (std::string(
               R"(The precoder bits and the ideal samples of raw bits (uint8 or bool, 0 or 1; one
frame, or a frame a row), each frame from an all-zero history: (prec, samples).
)") + kTailDoc)
              .c_str());

    py::class_<Channel>(m, "Channel",
                        R"(The channel from the precoder's bits to the samples a detector sees.

Channel(target="e3pr4", tail="zero"): the ideal channel, the target's own levels.
Its keyword arguments are the settings of the lab's chain.)")
        .def(py::init(&MakeChannel), py::arg("target") = "e3pr4", py::arg("tail") = "zero")
        .def_property_readonly("target", [](const Channel& c) { return c.target; })
        .def_property_readonly("tail", [](const Channel& c) { return TailName(c.settings.tail); })
        .def(
            "readback",
            [](const Channel& c, py::object raw, py::object sigma, py::object snr, py::object seed,
               py::object stream) {
                const double s = NoiseSigma(sigma, snr, c.settings.target, 0.0);
                return Readback(c, raw, s, Count("seed", seed, 0, UINT64_MAX),
                                Count("stream", stream, 0, UINT64_MAX));
            },
            py::arg("raw"), py::arg("sigma") = py::none(), py::arg("snr") = py::none(),
            py::arg("seed") = 1, py::arg("stream") = 0,
            R"(The received samples of raw bits (one frame, or a frame a row): precoder,
channel, and white Gaussian noise of deviation sigma (or the SNR in dB against
the target's energy; none by default) from the stream (seed, stream), the
frames one after another.)")
        .def(
            "frame",
            [](const Channel& c, py::object bits, py::object sigma, py::object snr, py::object seed,
               py::object stream) {
                const double s = NoiseSigma(sigma, snr, c.settings.target, 0.0);
                return NextFrame(c, SmallCount("bits", bits, 1, lab::kMaxFrame), s,
                                 Count("seed", seed, 0, UINT64_MAX),
                                 Count("stream", stream, 0, UINT64_MAX));
            },
            py::arg("bits") = 4096, py::arg("sigma") = py::none(), py::arg("snr") = py::none(),
            py::arg("seed") = 1, py::arg("stream") = 0,
            R"(One frame as an error-rate sweep makes it: random raw bits, then readback, both
drawn from the stream (seed, stream). A dict of raw, prec, clean and received.)")
        .def("__repr__", [](const Channel& c) {
            return "quorvane.Channel(target='" + c.settings.target.Name() + "', tail='" +
                   TailName(c.settings.tail) + "')";
        });

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
             R"(A detector kept for many frames: Detector(kind, target="e3pr4", tail="zero"),
kind "slicer" or "viterbi". detect(y) gives the raw bits of one frame of float32
samples (1-D) or of a frame a row (2-D). It decides one call at a time: threads
that detect at once each take a Detector of their own.
)") + kTailDoc)
            .c_str())
        .def(py::init([](py::object kind, py::object target, py::object tail) {
                 const TargetRef t = TargetOf(target);
                 return std::unique_ptr<DetectorHandle>(new DetectorHandle{
                     t, std::make_unique<FrameDetector>(KindOf(kind, t->target()), t->target(),
                                                        Tail(tail))});
             }),
             py::arg("kind"), py::arg("target") = "e3pr4", py::arg("tail") = "zero")
        .def_property_readonly(
            "kind", [](const DetectorHandle& d) { return detectors::KindName(d.detector->kind()); })
        .def_property_readonly("target", [](const DetectorHandle& d) { return d.target; })
        .def_property_readonly("tail",
                               [](const DetectorHandle& d) { return TailName(d.detector->tail()); })
        .def(
            "detect", [](DetectorHandle& d, py::object y) { return d.detector->Detect(y); },
            py::arg("y"));

    m.def(
        "slicer",
        [](py::object y, py::object target, py::object tail) {
            return Decide(detectors::Kind::kSlicer, y, target, tail);
        },
        py::arg("y"), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
        (std::string("The slicer's raw bits of float32 samples (1-D, or a frame a row). ") +
         kTailDoc)
            .c_str());
    m.def(
        "viterbi",
        [](py::object y, py::object target, py::object tail) {
            return Decide(detectors::Kind::kViterbi, y, target, tail);
        },
        py::arg("y"), py::arg("target") = "e3pr4", py::arg("tail") = "zero",
        (std::string("The Viterbi detector's raw bits of float32 samples (1-D, or a frame a "
                     "row). ") +
         kTailDoc)
            .c_str());
}

} // namespace pyquorvane
