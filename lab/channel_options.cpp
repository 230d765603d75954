#include "lab/channel_options.h"

#include <cstdio>

#include "channel/equalizer.h"
#include "channel/head.h"
#include "channel/readback.h"

namespace lab {

const char* const kRecordingModel =
    R"(  channel  --channel ideal (the default): the target's own levels plus white noise.
           --channel lorentz (longitudinal) or erf (perpendicular): a read head whose
           response to one magnetic transition is g(t) = 1 / (1 + (2t/W)^2), or
           erf(2 sqrt(ln 2) t / W) whose derivative is W wide at half height; W =
           --density, the user density PW50 / T (T = 1). The precoder's output p_k is
           the write current a_k = 2 p_k - 1; transition b_k = (a_k - a_{k-1}) / 2
           lands at k + Delta_k, Delta_k Gaussian of deviation --jitter bit periods,
           and the readback is r(t) = sum b_k g(t - k - Delta_k). An ideal low-pass
           at the Nyquist frequency 1/2 on signal and noise, then a sample at every
           integer t (the Lorentzian's low-passed response in closed form, the erf
           head's by quadrature of its spectrum; each bit response summed over
           40 + 24 W^0.8 bit periods on either side, each jitter term over 40).
  noise    on a head: white, deviation sigma per sample after the low-pass; SNR =
           10 log10(E_i / sigma^2), E_i = the energy of the bit response g(t) -
           g(t - 1) (pi W / (2 (1 + W^2)) for the Lorentzian), so on the ideal
           channel's E_i = sum f^2 the SNR means the same thing.
  equalizer  an FIR of --taps taps (odd), designed for the least mean-squared
           error to the target's levels sum f_m a_{k-m} / 2 for independent
           equiprobable data at the point's SNR and jitter (the jitter's statistics
           exact for this model, by Gauss-Hermite quadrature; no training run), with
           the delay of least error; the readback's mean is taken off first and
           sum f / 2 added after, so the detectors see the levels sum f_m p_{k-m}.
           --target gprL (L = 2 ... 6) designs a monic target of L + 1 real taps with
           the equalizer, at each point; the normal equations are solved by Eigen.
  npml     the Viterbi trellis, the equalized noise whitened along each survivor
           by a --predictor P-tap predictor (P = 1 ... 4, default 2) designed from
           the noise's autocorrelation. On a head the union bound takes the
           equalized noise's autocorrelation as designed (residual ISI and jitter
           counted as noise) for the Viterbi detector, which is blind to it.)";

namespace {

const std::vector<std::string> kDetectorNames = {"slicer", "viterbi", "npml"};

detectors::Kind KindOf(const std::string& name) {
    for (detectors::Kind k : detectors::AllKinds())
        if (name == detectors::KindName(k)) return k;
    return detectors::Kind::kViterbi;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

} // namespace

std::string ParseChannel(const std::string& text, engine::ChannelKind& kind) {
    for (engine::ChannelKind k :
         {engine::ChannelKind::kIdeal, engine::ChannelKind::kLorentz, engine::ChannelKind::kErf}) {
        if (text == engine::ChannelName(k)) {
            kind = k;
            return {};
        }
    }
    return channel::Quoted(text) + " is none of ideal, lorentz, erf";
}

std::string ParseSurveyChannel(const std::string& text, engine::ChannelKind& kind) {
    if (text == "lorentz")
        kind = engine::ChannelKind::kLorentz;
    else if (text == "erf")
        kind = engine::ChannelKind::kErf;
    else
        return channel::Quoted(text) +
               " is neither lorentz nor erf (targets are chosen for a head)";
    return {};
}

std::string ParseSurveyDensities(const std::string& text, std::vector<double>& densities) {
    return ParseDensities(text, channel::kMinDensity, channel::kMaxDensity, densities);
}

std::string ParseDensity(const std::string& text, double& density) {
    return ParseNumberIn(text, channel::kMinDensity, channel::kMaxDensity, density);
}

std::string ParseJitter(const std::string& text, double& jitter) {
    return ParseNumberIn(text, 0, channel::kMaxJitter, jitter);
}

std::string ParseEqualizerTaps(const std::string& text, int& taps) {
    return ParseTaps(text, channel::kMinTaps, channel::kMaxTaps, taps);
}

std::string ParsePredictor(const std::string& text, int& predictor) {
    std::uint64_t v = 0;
    std::string error = ParseCount(text, 1, channel::kMaxPredictor, v);
    if (error.empty()) predictor = static_cast<int>(v);
    return error;
}

std::string ParseTargetTexts(const std::vector<std::string>& texts, bool several,
                             std::vector<TargetChoice>& targets) {
    targets.clear();
    for (const std::string& text : texts) {
        std::vector<TargetChoice> parsed;
        if (std::string error = ParseTargets(text, several, parsed); !error.empty()) return error;
        for (const TargetChoice& t : parsed) targets.push_back(t);
    }
    if (targets.size() > 16) return "more than 16 targets";
    return {};
}

std::string ParseDetectors(const std::string& text, std::vector<std::string>& names) {
    return ParseChoices(text, kDetectorNames, "detector", names);
}

void AddChannelOptions(CLI::App& app, ChannelOptions& o, bool severalTargets, bool detectors) {
    AddChecked(app, "--channel", "ideal (the default), lorentz or erf: see quorvane-lab --help",
               [&o](const std::string& text) { return ParseChannel(text, o.chain.channel); })
        ->type_name("ideal|lorentz|erf");
    o.density =
        AddChecked(app, "--density",
                   "a head's user density PW50 / T, " + Number(channel::kMinDensity) + " ... " +
                       Number(channel::kMaxDensity) + " (default 2)",
                   [&o](const std::string& text) { return ParseDensity(text, o.chain.density); })
            ->type_name("D");
    o.jitter =
        AddChecked(app, "--jitter",
                   "a head's transition jitter, deviation in bit periods, 0 ... " +
                       Number(channel::kMaxJitter) + " (default 0)",
                   [&o](const std::string& text) { return ParseJitter(text, o.chain.jitter); })
            ->type_name("J");
    o.taps =
        AddChecked(app, "--taps",
                   "a head's equalizer taps, odd, " + std::to_string(channel::kMinTaps) + " ... " +
                       std::to_string(channel::kMaxTaps) + " (default 15)",
                   [&o](const std::string& text) { return ParseEqualizerTaps(text, o.chain.taps); })
            ->type_name("N");
    o.predictor =
        AddChecked(
            app, "--predictor", "npml's whitening predictor taps on a head (default 2)",
            [&o](const std::string& text) { return ParsePredictor(text, o.chain.predictor); })
            ->type_name("P");
    const std::string help =
        std::string("the partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's, the "
                    "default), its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1), or "
                    "gprL (L = 2 ... 6, on a head: L + 1 taps designed with the equalizer)") +
        (severalTargets ? "; several as a list of names (e2pr4,e3pr4,gpr5) or by giving "
                          "--target again"
                        : "");
    auto take = [&o, severalTargets](const std::vector<std::string>& texts) {
        if (std::string error = ParseTargetTexts(texts, severalTargets, o.targets); !error.empty())
            throw CLI::ValidationError("--target", error);
    };
    CLI::Option* target = app.add_option_function<std::vector<std::string>>("--target", take, help);
    target->type_name("NAME|LIST|gprL");
    target->multi_option_policy(severalTargets ? CLI::MultiOptionPolicy::TakeAll
                                               : CLI::MultiOptionPolicy::Throw);
    if (detectors) {
        AddChecked(app, "--detector",
                   "slicer,viterbi,npml or some of them (default: every one that applies)",
                   [&o](const std::string& text) { return ParseDetectors(text, o.detectors); })
            ->type_name("LIST");
    }
    AddTail(app, o.chain.tail);
}

ChannelRefusal CheckChannel(const ChannelOptions& o, const std::vector<std::string>& given) {
    if (!o.chain.Recording() && !given.empty())
        return {given.front(), "the ideal channel takes no " + given.front() +
                                   " (choose --channel lorentz or erf)"};
    for (const TargetChoice& t : o.targets) {
        if (t.gpr > 0 && !o.chain.Recording())
            return {"--target", "gpr" + std::to_string(t.gpr) +
                                    " is designed with a head's equalizer "
                                    "(choose --channel lorentz or erf)"};
        for (const std::string& name : o.detectors) {
            const detectors::Kind kind = KindOf(name);
            // A designed target has real taps: no precoder, no slicer.
            if (t.gpr > 0 && kind == detectors::Kind::kSlicer)
                return {"--detector", "the slicer needs an integer target with a parity "
                                      "precoder; gpr" +
                                          std::to_string(t.gpr) + " has real taps"};
            if (t.gpr > 0) continue;
            if (std::string why = detectors::WhyNot(kind, t.target, o.chain.Recording());
                !why.empty())
                return {"--detector", why};
        }
    }
    return {};
}

void CheckChannelOptions(const ChannelOptions& o) {
    std::vector<std::string> given;
    for (CLI::Option* option : {o.density, o.jitter, o.taps, o.predictor})
        if (option != nullptr && option->count() > 0) given.push_back(option->get_name());
    const ChannelRefusal refusal = CheckChannel(o, given);
    if (!refusal.line.empty()) throw CLI::ValidationError(refusal.option, refusal.line);
}

std::string CheckEyeTarget(const engine::ChainSettings& chain) {
    if (chain.gpr == 0) return {};
    return "the eye draws the head's readback; a gprL target shapes only what the equalizer "
           "makes of it";
}

engine::ChainSettings ChainFor(const ChannelOptions& o, std::size_t target) {
    engine::ChainSettings chain = o.chain;
    chain.target = o.targets[target].target;
    chain.gpr = o.targets[target].gpr;
    return chain;
}

std::vector<detectors::Kind> DetectorsFor(const ChannelOptions& o,
                                          const engine::ChannelDesign& design) {
    if (o.detectors.empty()) return detectors::KindsFor(design.target, design.settings.Recording());
    std::vector<detectors::Kind> kinds;
    for (detectors::Kind k : detectors::AllKinds())
        for (const std::string& name : o.detectors)
            if (name == detectors::KindName(k)) kinds.push_back(k);
    return kinds;
}

std::string ChannelText(const engine::ChainSettings& chain) {
    if (!chain.Recording()) return "ideal channel";
    return std::string(engine::ChannelName(chain.channel)) + " head, density " +
           Number(chain.density) + ", jitter " + Number(chain.jitter) + ", " +
           std::to_string(chain.taps) + " taps";
}

} // namespace lab
