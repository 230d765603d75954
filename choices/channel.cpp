#include "choices/channel.h"

#include <algorithm>
#include <cstdio>

#include "channel/adc.h"
#include "channel/equalizer.h"
#include "channel/head.h"
#include "channel/readback.h"
#include "choices/texts.h"
#include "choices/values.h"

namespace choices {

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

const char* const kTimingModel =
    R"(  timing   (any of --phase, --freq-offset, --phase-walk, --preamble, --loop-*,
           --ted-*) The receiver's clock reads sample k at k + tau_k - theta_k: tau_0 =
           --phase (bit periods), growing by --freq-offset ppm of the bit rate each bit,
           plus a random walk of deviation --phase-walk a bit; the readback is evaluated
           there from the channel's continuous response (the ideal channel's target
           sinc-interpolated over 64 bit periods, a head's low-passed readback with its
           jitter), at the nearest of 2048 phases a bit period, the noise white, sigma a
           sample. Each frame follows --preamble bits of the 2T pattern (write current
           1100..., precoder bypassed) and nu zero bits; no sync mark (the receiver
           counts samples from the preamble, as a found mark gives it). Zero-phase
           start: the preamble's middle half as a tone at 1/4 of the bit rate, its angle
           against that of the right instants. Then a Mueller-Mueller detector on the
           equalized samples less the levels' mean sum f / 2, with slicer decisions (no
           delay) or, --ted-decisions viterbi, a Viterbi detector's on the target's
           trellis run sample by sample (the best survivor's level --ted-delay samples
           back), scaled by its slope at zero error; loop nu += ki e, theta += kp e + nu
           with theta_n = B / (zeta + 1 / (4 zeta)), kp = 4 zeta theta_n / d, ki = 4
           theta_n^2 / d, d = 1 + 2 zeta theta_n + theta_n^2 for --loop-bandwidth B
           (noise bandwidth B_L T) and --loop-damping zeta; --loop-order 1: ki = 0, kp =
           4 B / (1 + 2 B). A frame whose recovered phase ends nearer a whole bit period
           off than the true one has slipped: ber's CSV gains slips (such frames) and
           rms_phase (the timing error over the data of the others). sfr reads each
           sector of both channels after its own preamble the same way; its CSV gains
           slips (the LDPC channel's slipped sectors, each also counted as failed,
           undetected or right as its decoder ended) and rms_phase.)";

namespace {

// The engines' defaults; made on first use, after every static they need.
const engine::ChainSettings& Defaults() {
    static const engine::ChainSettings defaults;
    return defaults;
}

std::string Number(double v) {
    return choices::Number("%g", v);
}

std::string Joined(const std::vector<std::string>& names, const char* separator) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : separator) + n;
    return text;
}

// ---- the rows' values ------------------------------------------------------

std::vector<std::string> ChannelNames() {
    std::vector<std::string> names = {"ideal"};
    for (const channel::HeadRow& h : channel::Heads()) names.push_back(h.name);
    return names;
}

std::string ParseChannel(const std::string& text, bool, ChannelChoice& c) {
    std::string name;
    if (std::string error = ParseName(text, ChannelNames(), name); !error.empty()) return error;
    const channel::HeadRow* head = channel::FindHead(name);
    c.chain.head = head ? std::optional<channel::HeadKind>(head->kind) : std::nullopt;
    return {};
}

std::string ShowChannel(const ChannelChoice& c) {
    return c.chain.ChannelName();
}

std::string HelpChannel(bool) {
    return "ideal (the default), " + channel::HeadNames() + ": see quorvane-lab --help";
}

template <double engine::ChainSettings::*Field, double Lo, double Hi>
std::string TakeNumber(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckNumberIn(v, Lo, Hi, shown); !error.empty()) return error;
    c.chain.*Field = v;
    return {};
}

template <double engine::ChainSettings::*Field, double Lo, double Hi>
std::string ParseNumberField(const std::string& text, bool, ChannelChoice& c) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    return TakeNumber<Field, Lo, Hi>(v, text, c);
}

template <double engine::ChainSettings::*Field> std::string ShowNumber(const ChannelChoice& c) {
    return Number(c.chain.*Field);
}

std::string TakeTaps(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, channel::kMinTaps, channel::kMaxTaps, shown);
        !error.empty())
        return error;
    if (std::string error = CheckOdd(static_cast<std::uint64_t>(v), shown); !error.empty())
        return error;
    c.chain.taps = static_cast<int>(v);
    return {};
}

std::string TakePredictor(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, 1, channel::kMaxPredictor, shown); !error.empty())
        return error;
    c.chain.predictor = static_cast<int>(v);
    return {};
}

std::string TakeDepth(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckDepth(v, shown); !error.empty()) return error;
    c.chain.depth = static_cast<int>(v);
    return {};
}

std::string TakeAdcBits(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, channel::kMinAdcBits, channel::kMaxAdcBits, shown);
        !error.empty())
        return error;
    c.chain.adcBits = static_cast<int>(v);
    return {};
}

// A whole number as the command line writes it, through the number's check.
template <std::string (*Take)(double, const std::string&, ChannelChoice&), std::uint64_t Lo,
          std::uint64_t Hi>
std::string ParseCountField(const std::string& text, bool, ChannelChoice& c) {
    std::uint64_t v = 0;
    if (std::string error = ParseCount(text, Lo, Hi, v); !error.empty()) return error;
    return Take(static_cast<double>(v), text, c);
}

std::string ParseAdcBits(const std::string& text, bool several, ChannelChoice& c) {
    if (text == "none") {
        c.chain.adcBits = 0;
        return {};
    }
    return ParseCountField<TakeAdcBits, channel::kMinAdcBits, channel::kMaxAdcBits>(text, several,
                                                                                    c);
}

std::string ShowTaps(const ChannelChoice& c) {
    return std::to_string(c.chain.taps);
}
std::string ShowPredictor(const ChannelChoice& c) {
    return std::to_string(c.chain.predictor);
}
std::string ShowDepth(const ChannelChoice& c) {
    return std::to_string(c.chain.depth);
}
std::string ShowAdcBits(const ChannelChoice& c) {
    return c.chain.adcBits == 0 ? "none" : std::to_string(c.chain.adcBits);
}

std::string ParseTargetText(const std::string& text, bool several, ChannelChoice& c) {
    return ParseTargetTexts({text}, several, c.targets);
}

std::string ShowTargets(const ChannelChoice& c) {
    std::string text;
    for (const TargetChoice& t : c.targets)
        text += (text.empty() ? "" : ",") +
                (t.gpr > 0 ? "gpr" + std::to_string(t.gpr) : t.target.Name());
    return text;
}

std::string HelpTarget(bool several) {
    return std::string("the partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's, the "
                       "default), its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1), or "
                       "gprL (L = 2 ... 6, on a head: L + 1 taps designed with the equalizer)") +
           (several ? "; several as a list of names (e2pr4,e3pr4,gpr5) or by giving "
                      "--target again"
                    : "");
}

std::vector<std::string> DetectorNames() {
    std::vector<std::string> names;
    for (const detectors::Row& r : detectors::Table()) names.push_back(r.name);
    return names;
}

std::string ParseDetectors(const std::string& text, bool, ChannelChoice& c) {
    std::vector<std::string> names;
    if (std::string error = ParseChoices(text, DetectorNames(), "detector", names); !error.empty())
        return error;
    c.detectors.clear();
    for (const std::string& n : names) c.detectors.push_back(detectors::Find(n)->kind);
    return {};
}

std::string ShowDetectors(const ChannelChoice& c) {
    std::string text;
    for (detectors::Kind k : c.detectors)
        text += (text.empty() ? "" : ",") + std::string(detectors::KindName(k));
    return text;
}

std::string HelpDetectors(bool) {
    std::vector<std::string> byDefault, asked;
    for (const detectors::Row& r : detectors::Table())
        (r.byDefault ? byDefault : asked).push_back(r.name);
    return Joined(byDefault, ",") + " or some of them (default: every one that applies)" +
           (asked.empty() ? "" : "; also " + Joined(asked, ", ") + ", only when named");
}

std::vector<std::string> TailNames() {
    return {"zero", "none"};
}

std::string ParseTailText(const std::string& text, bool, ChannelChoice& c) {
    return ParseTail(text, c.chain.tail);
}

std::string ShowTail(const ChannelChoice& c) {
    return c.chain.tail ? "zero" : "none";
}

// The noise streams by name, in the order of ChainSettings::Noise.
struct Stream {
    engine::ChainSettings::Noise noise;
    const char* name;
};
constexpr Stream kStreams[] = {{engine::ChainSettings::Noise::kSerial, "serial"},
                               {engine::ChainSettings::Noise::kLanes, "lanes"},
                               {engine::ChainSettings::Noise::kLanes16, "lanes16"}};

std::vector<std::string> StreamNames() {
    std::vector<std::string> names;
    for (const Stream& s : kStreams) names.push_back(s.name);
    return names;
}

std::string ParseStream(const std::string& text, bool, ChannelChoice& c) {
    std::string name;
    if (std::string error = ParseName(text, StreamNames(), name); !error.empty()) return error;
    for (const Stream& s : kStreams)
        if (name == s.name) c.chain.noise = s.noise;
    return {};
}

std::string ShowStream(const ChannelChoice& c) {
    for (const Stream& s : kStreams)
        if (c.chain.noise == s.noise) return s.name;
    return kStreams[0].name;
}

// The estimators by name, in the order of engine::Estimator.
struct EstimatorName {
    engine::Estimator estimator;
    const char* name;
};
constexpr EstimatorName kEstimators[] = {{engine::Estimator::kCounting, "mc"},
                                         {engine::Estimator::kImportance, "is"}};

std::vector<std::string> EstimatorNames() {
    std::vector<std::string> names;
    for (const EstimatorName& e : kEstimators) names.push_back(e.name);
    return names;
}

std::string ParseEstimator(const std::string& text, bool, ChannelChoice& c) {
    std::string name;
    if (std::string error = ParseName(text, EstimatorNames(), name); !error.empty()) return error;
    for (const EstimatorName& e : kEstimators)
        if (name == e.name) c.estimator = e.estimator;
    return {};
}

std::string ShowEstimator(const ChannelChoice& c) {
    for (const EstimatorName& e : kEstimators)
        if (c.estimator == e.estimator) return e.name;
    return kEstimators[0].name;
}

std::string HelpEstimator(bool) {
    return "mc (the default): count the errors of random frames; is: importance sampling along "
           "the target's error events, each point to --rse or --bits, with its estimate, "
           "relative standard error and 95 % interval per detector (rates of 1e-15 in seconds)";
}

std::string TakeRse(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckRse(v, shown); !error.empty()) return error;
    c.rse = v;
    return {};
}

std::string ParseRseText(const std::string& text, bool, ChannelChoice& c) {
    return ParseRse(text, c.rse);
}

std::string ShowRse(const ChannelChoice& c) {
    return Number(c.rse);
}

std::string HelpRse(bool) {
    return "with --estimator is, end a point once every detector's relative standard error is "
           "at most this, " +
           Number(kMinRse) + " ... " + Number(kMaxRse) + " (default " +
           Number(engine::ImportanceSettings{}.rse) + ")";
}

constexpr double kMinDensity = channel::kMinDensity;
constexpr double kMaxDensity = channel::kMaxDensity;
constexpr double kNoJitter = 0;
constexpr double kMaxJitter = channel::kMaxJitter;

std::string HelpDensity(bool) {
    return "a head's user density PW50 / T, " + Number(channel::kMinDensity) + " ... " +
           Number(channel::kMaxDensity) + " (default " + Number(Defaults().density) + ")";
}

std::string HelpJitter(bool) {
    return "a head's transition jitter, deviation in bit periods, 0 ... " +
           Number(channel::kMaxJitter) + " (default " + Number(Defaults().jitter) + ")";
}

std::string HelpTaps(bool) {
    return "a head's equalizer taps, odd, " + std::to_string(channel::kMinTaps) + " ... " +
           std::to_string(channel::kMaxTaps) + " (default " + std::to_string(Defaults().taps) + ")";
}

std::string HelpPredictor(bool) {
    return "npml's whitening predictor taps on a head, 1 ... " +
           std::to_string(channel::kMaxPredictor) + " (default " +
           std::to_string(Defaults().predictor) + ")";
}

std::string HelpDepth(bool) {
    return "sova's update depth in bits, 1 ... " + std::to_string(kMaxDepth) +
           ": each bit's reliability is updated by the paths that merge within that many bits "
           "after it (0, the default: five times the target's memory plus one, 30 on E3PR4, "
           "the span of its dominant error events; a depth of the frame's length gives "
           "max-log-MAP's ratios)";
}

std::string HelpTail(bool) {
    return "zero (the default): the channel writes the target's memory of zero precoder bits "
           "after each frame, the detector sees their samples and ends in state 0; none: the "
           "frame just stops and the detector ends in its best state, so the last bits are "
           "decided without the samples that follow them";
}

std::string HelpAdcBits(bool) {
    return "quantize the detectors' input with a converter of B bits (" +
           std::to_string(channel::kMinAdcBits) + " ... " + std::to_string(channel::kMaxAdcBits) +
           "), uniform over the target's levels with clamping: m = floor((2^B - 1) / (highest - "
           "lowest level)) codes a level step, code c for lowest + c/m, c = 0 ... m (highest - "
           "lowest), each sample to the nearest code (halfway up); on a head it quantizes the "
           "equalizer's output; the Viterbi detector then runs in integers on the codes (default: "
           "none, float samples)";
}

std::string HelpStream(bool) {
    return "serial (the default): the noise from one generator, the stream of every earlier "
           "version; lanes: from eight generators side by side, a stream of its own and about "
           "twice as fast; lanes16: float deviates from sixteen 32-bit lanes, a stream of its "
           "own and faster again";
}

// ---- the timing model's rows: any of them models the timing --------------

template <double channel::TimingSettings::*Field, double Lo, double Hi>
std::string TakeTiming(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckNumberIn(v, Lo, Hi, shown); !error.empty()) return error;
    c.chain.timing.*Field = v;
    c.chain.timing.on = true;
    return {};
}

template <double channel::TimingSettings::*Field, double Lo, double Hi>
std::string ParseTiming(const std::string& text, bool, ChannelChoice& c) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    return TakeTiming<Field, Lo, Hi>(v, text, c);
}

template <double channel::TimingSettings::*Field> std::string ShowTiming(const ChannelChoice& c) {
    return Number(c.chain.timing.*Field);
}

std::string TakePreamble(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, channel::kMinPreamble, channel::kMaxPreamble, shown);
        !error.empty())
        return error;
    c.chain.timing.preamble = static_cast<int>(v);
    c.chain.timing.on = true;
    return {};
}

std::string TakeLoopOrder(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, 1, 2, shown); !error.empty()) return error;
    c.chain.timing.order = static_cast<int>(v);
    c.chain.timing.on = true;
    return {};
}

std::string TakeDecisionDelay(double v, const std::string& shown, ChannelChoice& c) {
    if (std::string error = CheckCount(v, 0, channel::kMaxDecisionDelay, shown); !error.empty())
        return error;
    c.chain.timing.decisionDelay = static_cast<int>(v);
    c.chain.timing.on = true;
    return {};
}

// The timing-error detector's decisions by name, in the order of TedDecisions.
std::vector<std::string> DecisionNames() {
    return {"slicer", "viterbi"};
}

std::string ParseDecisions(const std::string& text, bool, ChannelChoice& c) {
    std::string name;
    if (std::string error = ParseName(text, DecisionNames(), name); !error.empty()) return error;
    c.chain.timing.decisions =
        name == "viterbi" ? channel::TedDecisions::kViterbi : channel::TedDecisions::kSlicer;
    c.chain.timing.on = true;
    return {};
}

std::string ShowDecisions(const ChannelChoice& c) {
    return DecisionNames()[c.chain.timing.decisions == channel::TedDecisions::kViterbi ? 1 : 0];
}

std::string ShowDecisionDelay(const ChannelChoice& c) {
    return std::to_string(c.chain.timing.decisionDelay);
}

std::string ShowPreamble(const ChannelChoice& c) {
    return std::to_string(c.chain.timing.preamble);
}
std::string ShowLoopOrder(const ChannelChoice& c) {
    return std::to_string(c.chain.timing.order);
}

const channel::TimingSettings& TimingDefaults() {
    static const channel::TimingSettings defaults;
    return defaults;
}

std::string HelpPhase(bool) {
    return "model the timing: the sampling clock's initial phase, bit periods, -" +
           Number(channel::kMaxPhase) + " ... " + Number(channel::kMaxPhase) + " (default " +
           Number(TimingDefaults().phase) + ")";
}
std::string HelpFreqOffset(bool) {
    return "model the timing: the clock's frequency offset, ppm of the bit rate, -" +
           Number(channel::kMaxFreqPpm) + " ... " + Number(channel::kMaxFreqPpm) + " (default " +
           Number(TimingDefaults().freqPpm) + ")";
}
std::string HelpPhaseWalk(bool) {
    return "model the timing: the clock phase's random walk, deviation a bit, 0 ... " +
           Number(channel::kMaxPhaseWalk) + " (default " + Number(TimingDefaults().walk) + ")";
}
std::string HelpPreamble(bool) {
    return "model the timing: bits of the 2T preamble before each frame, " +
           std::to_string(channel::kMinPreamble) + " ... " + std::to_string(channel::kMaxPreamble) +
           " (default " + std::to_string(TimingDefaults().preamble) + ")";
}
std::string HelpLoopBandwidth(bool) {
    return "model the timing: the loop's noise bandwidth B_L T, " +
           Number(channel::kMinLoopBandwidth) + " ... " + Number(channel::kMaxLoopBandwidth) +
           " (default " + Number(TimingDefaults().bandwidth) + ")";
}
std::string HelpLoopDamping(bool) {
    return "model the timing: the second-order loop's damping, " + Number(channel::kMinDamping) +
           " ... " + Number(channel::kMaxDamping) + " (default " +
           Number(TimingDefaults().damping) + ")";
}
std::string HelpDecisions(bool) {
    return "model the timing: the timing-error detector's decisions, slicer (the default: the "
           "nearest level, no delay) or viterbi (the Viterbi detector's early decisions, "
           "--ted-delay samples late)";
}
std::string HelpDecisionDelay(bool) {
    return "model the timing: the delay of the Viterbi detector's early decisions, samples, 0 "
           "... " +
           std::to_string(channel::kMaxDecisionDelay) + " (default " +
           std::to_string(TimingDefaults().decisionDelay) + ")";
}
std::string HelpLoopOrder(bool) {
    return "model the timing: 2 (the default) a proportional and an integral path, 1 the "
           "proportional path alone (a frequency offset then leaves a constant lag)";
}

constexpr double kMaxPhase = channel::kMaxPhase, kMinPhase = -channel::kMaxPhase;
constexpr double kMaxFreq = channel::kMaxFreqPpm, kMinFreq = -channel::kMaxFreqPpm;
constexpr double kMaxWalk = channel::kMaxPhaseWalk;
constexpr double kMinBandwidth = channel::kMinLoopBandwidth;
constexpr double kMaxBandwidth = channel::kMaxLoopBandwidth;
constexpr double kMinDamping = channel::kMinDamping, kMaxDamping = channel::kMaxDamping;

std::vector<std::string> ConstraintNameList() {
    std::vector<std::string> names;
    for (const channel::ConstraintRow& row : channel::Constraints()) names.push_back(row.name);
    return names;
}

std::string ParseConstraintText(const std::string& text, bool, ChannelChoice& c) {
    return ParseConstraint(text, c.chain.constraint);
}

std::string ShowConstraint(const ChannelChoice& c) {
    return channel::ConstraintOf(c.chain.constraint).name;
}

std::string HelpConstraint(bool ber) {
    return "a constraint code over the user bits (none, the default; " +
           channel::ConstraintNames() +
           "): its words through the NRZI precoder 1 / (1 xor D), Viterbi, npml and the soft "
           "detectors on the trellis without the runs it never writes; on a head written at the "
           "user density D as D / R with sigma^2 / R a sample, the SNR the uncoded channel's at "
           "D; " +
           (ber ? std::string("the CSV gains user_bits and each detector's user-bit errors after "
                              "the code's decoder")
                : std::string("llr and exit: the ratios are of the coded bits, --frame user bits "
                              "coded; detect: the window's 40 user bits in whole words, the CSV "
                              "gains user and each detector's decoded <name>_user"));
}

} // namespace

const std::vector<ChannelOption>& ChannelOptions() {
    using S = engine::ChainSettings;
    using T = channel::TimingSettings;
    constexpr unsigned kAll = kBer | kDetect | kEye | kLlr | kExit | kSfr;
    constexpr unsigned kFrames = kBer | kDetect | kLlr | kExit | kSfr; // what runs detectors
    static const std::vector<ChannelOption> rows = {
        {.flag = "--channel",
         .keyword = "channel",
         .typeName = nullptr,
         .label = "Cha&nnel",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kAll,
         .help = HelpChannel,
         .names = ChannelNames,
         .parse = ParseChannel,
         .number = nullptr,
         .show = ShowChannel},
        {.flag = "--density",
         .keyword = "density",
         .typeName = "D",
         .label = "&Density",
         .shape = Shape::kNumber,
         .headOnly = true,
         .commands = kAll,
         .help = HelpDensity,
         .names = nullptr,
         .parse = ParseNumberField<&S::density, kMinDensity, kMaxDensity>,
         .number = TakeNumber<&S::density, kMinDensity, kMaxDensity>,
         .show = ShowNumber<&S::density>},
        {.flag = "--jitter",
         .keyword = "jitter",
         .typeName = "J",
         .label = "&Jitter",
         .shape = Shape::kNumber,
         .headOnly = true,
         .commands = kAll,
         .help = HelpJitter,
         .names = nullptr,
         .parse = ParseNumberField<&S::jitter, kNoJitter, kMaxJitter>,
         .number = TakeNumber<&S::jitter, kNoJitter, kMaxJitter>,
         .show = ShowNumber<&S::jitter>},
        {.flag = "--taps",
         .keyword = "taps",
         .typeName = "N",
         .label = "E&qualizer taps",
         .shape = Shape::kCount,
         .headOnly = true,
         .commands = kAll,
         .help = HelpTaps,
         .names = nullptr,
         .parse = ParseCountField<TakeTaps, channel::kMinTaps, channel::kMaxTaps>,
         .number = TakeTaps,
         .show = ShowTaps},
        {.flag = "--predictor",
         .keyword = "predictor",
         .typeName = "P",
         .label = "Predi&ctor taps",
         .shape = Shape::kCount,
         .headOnly = true,
         .commands = kAll,
         .help = HelpPredictor,
         .names = nullptr,
         .parse = ParseCountField<TakePredictor, 1, channel::kMaxPredictor>,
         .number = TakePredictor,
         .show = ShowPredictor},
        {.flag = "--depth",
         .keyword = "depth",
         .typeName = "BITS",
         .label = "SOVA depth (&y)",
         .shape = Shape::kCount,
         .headOnly = false,
         .commands = kFrames,
         .help = HelpDepth,
         .names = nullptr,
         .parse = ParseCountField<TakeDepth, 0, kMaxDepth>,
         .number = TakeDepth,
         .show = ShowDepth},
        {.flag = "--target",
         .keyword = "target",
         .typeName = "NAME|LIST|gprL",
         .label = "&Target",
         .shape = Shape::kTargets,
         .headOnly = false,
         .commands = kAll,
         .help = HelpTarget,
         .names = nullptr,
         .parse = ParseTargetText,
         .number = nullptr,
         .show = ShowTargets},
        {.flag = "--detector",
         .keyword = "detectors",
         .typeName = "LIST",
         .label = "Detectors",
         .shape = Shape::kDetectors,
         .headOnly = false,
         .commands = kFrames,
         .help = HelpDetectors,
         .names = DetectorNames,
         .parse = ParseDetectors,
         .number = nullptr,
         .show = ShowDetectors},
        {.flag = "--tail",
         .keyword = "tail",
         .typeName = "zero|none",
         .label = "T&ail",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kAll,
         .help = HelpTail,
         .names = TailNames,
         .parse = ParseTailText,
         .number = nullptr,
         .show = ShowTail},
        {.flag = "--adc-bits",
         .keyword = "adc_bits",
         .typeName = "B",
         .label = "Converter bits",
         .shape = Shape::kCount,
         .headOnly = false,
         .commands = kFrames,
         .help = HelpAdcBits,
         .names = nullptr,
         .parse = ParseAdcBits,
         .number = TakeAdcBits,
         .show = ShowAdcBits},
        {.flag = "--noise-stream",
         .keyword = "noise_stream",
         .typeName = nullptr,
         .label = "Noise &generators",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kBer,
         .help = HelpStream,
         .names = StreamNames,
         .parse = ParseStream,
         .number = nullptr,
         .show = ShowStream},
        {.flag = "--phase",
         .keyword = "phase",
         .typeName = "TAU",
         .label = "Clock &phase",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpPhase,
         .names = nullptr,
         .parse = ParseTiming<&T::phase, kMinPhase, kMaxPhase>,
         .number = TakeTiming<&T::phase, kMinPhase, kMaxPhase>,
         .show = ShowTiming<&T::phase>},
        {.flag = "--freq-offset",
         .keyword = "freq_offset",
         .typeName = "PPM",
         .label = "Frequency offset",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpFreqOffset,
         .names = nullptr,
         .parse = ParseTiming<&T::freqPpm, kMinFreq, kMaxFreq>,
         .number = TakeTiming<&T::freqPpm, kMinFreq, kMaxFreq>,
         .show = ShowTiming<&T::freqPpm>},
        {.flag = "--phase-walk",
         .keyword = "phase_walk",
         .typeName = "W",
         .label = "Phase walk",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpPhaseWalk,
         .names = nullptr,
         .parse = ParseTiming<&T::walk, kNoJitter, kMaxWalk>,
         .number = TakeTiming<&T::walk, kNoJitter, kMaxWalk>,
         .show = ShowTiming<&T::walk>},
        {.flag = "--preamble",
         .keyword = "preamble",
         .typeName = "N",
         .label = "Preamble bits",
         .shape = Shape::kCount,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpPreamble,
         .names = nullptr,
         .parse = ParseCountField<TakePreamble, channel::kMinPreamble, channel::kMaxPreamble>,
         .number = TakePreamble,
         .show = ShowPreamble},
        {.flag = "--loop-bandwidth",
         .keyword = "loop_bandwidth",
         .typeName = "B",
         .label = "Loop bandwidth",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpLoopBandwidth,
         .names = nullptr,
         .parse = ParseTiming<&T::bandwidth, kMinBandwidth, kMaxBandwidth>,
         .number = TakeTiming<&T::bandwidth, kMinBandwidth, kMaxBandwidth>,
         .show = ShowTiming<&T::bandwidth>},
        {.flag = "--loop-damping",
         .keyword = "loop_damping",
         .typeName = "ZETA",
         .label = "Loop damping",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpLoopDamping,
         .names = nullptr,
         .parse = ParseTiming<&T::damping, kMinDamping, kMaxDamping>,
         .number = TakeTiming<&T::damping, kMinDamping, kMaxDamping>,
         .show = ShowTiming<&T::damping>},
        {.flag = "--loop-order",
         .keyword = "loop_order",
         .typeName = "1|2",
         .label = "Loop order",
         .shape = Shape::kCount,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpLoopOrder,
         .names = nullptr,
         .parse = ParseCountField<TakeLoopOrder, 1, 2>,
         .number = TakeLoopOrder,
         .show = ShowLoopOrder},
        {.flag = "--estimator",
         .keyword = "estimator",
         .typeName = nullptr,
         .label = "&Estimator",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kBer,
         .help = HelpEstimator,
         .names = EstimatorNames,
         .parse = ParseEstimator,
         .number = nullptr,
         .show = ShowEstimator},
        {.flag = "--rse",
         .keyword = "rse",
         .typeName = "R",
         .label = "Relative e&rror",
         .shape = Shape::kNumber,
         .headOnly = false,
         .commands = kBer,
         .help = HelpRse,
         .names = nullptr,
         .parse = ParseRseText,
         .number = TakeRse,
         .show = ShowRse},
        {.flag = "--constraint",
         .keyword = "constraint",
         .typeName = nullptr,
         .label = "Constraint code",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kBer | kDetect | kLlr | kExit,
         .help = HelpConstraint,
         .names = ConstraintNameList,
         .parse = ParseConstraintText,
         .number = nullptr,
         .show = ShowConstraint},
        {.flag = "--ted-decisions",
         .keyword = "ted_decisions",
         .typeName = nullptr,
         .label = "Loop decisions",
         .shape = Shape::kName,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpDecisions,
         .names = DecisionNames,
         .parse = ParseDecisions,
         .number = nullptr,
         .show = ShowDecisions},
        {.flag = "--ted-delay",
         .keyword = "ted_delay",
         .typeName = "D",
         .label = "Decision delay",
         .shape = Shape::kCount,
         .headOnly = false,
         .commands = kBer | kTiming | kEyeTiming | kSfr,
         .help = HelpDecisionDelay,
         .names = nullptr,
         .parse = ParseCountField<TakeDecisionDelay, 0, channel::kMaxDecisionDelay>,
         .number = TakeDecisionDelay,
         .show = ShowDecisionDelay},
    };
    return rows;
}

const ChannelOption* FindOption(const std::string& name) {
    for (const ChannelOption& o : ChannelOptions())
        if (name == o.flag || name == o.keyword) return &o;
    return nullptr;
}

void Given(const ChannelOption& option, ChannelChoice& choice) {
    if (std::find(choice.given.begin(), choice.given.end(), option.flag) != choice.given.end())
        return;
    std::vector<std::string> given;
    for (const ChannelOption& o : ChannelOptions())
        if (&o == &option ||
            std::find(choice.given.begin(), choice.given.end(), o.flag) != choice.given.end())
            given.push_back(o.flag);
    choice.given = given;
}

detectors::Where WhereOf(const engine::ChainSettings& chain, const TargetChoice& target) {
    return {target.gpr > 0 ? nullptr : &target.target,
            target.gpr > 0 ? "gpr" + std::to_string(target.gpr) : target.target.Name(),
            chain.Recording(), chain.adcBits};
}

std::string ConstraintWhyNot(detectors::Kind kind) {
    return kind == detectors::Kind::kSlicer
               ? std::string("a constraint code is decided by viterbi, npml or a soft detector, "
                             "not by ") +
                     detectors::KindName(kind)
               : std::string();
}

Refusal ConstraintRefusal(const ChannelChoice& c) {
    // A constraint code: Viterbi, npml and the soft detectors search its
    // trellis; the slicer's parity is no coded bit under NRZI, and the
    // integer detector behind a converter has no constrained trellis yet.
    if (c.chain.constraint == channel::ConstraintKind::kNone) return {};
    for (detectors::Kind kind : c.detectors)
        if (std::string why = ConstraintWhyNot(kind); !why.empty()) return {"--detector", why};
    if (c.chain.adcBits > 0)
        return {"--adc-bits", "a constraint code is decided by the float detectors; drop "
                              "--adc-bits or --constraint"};
    if (c.chain.timing.on)
        return {"--constraint", "a constraint code runs with the timing at its ideal instants"};
    return {};
}

Refusal CheckChannel(const ChannelChoice& c) {
    const bool head = c.chain.Recording();
    for (const std::string& flag : c.given) {
        const ChannelOption* o = FindOption(flag);
        if (o != nullptr && o->headOnly && !head)
            return {flag, "the ideal channel takes no " + flag + " (choose --channel " +
                              channel::HeadNames() + ")"};
    }
    for (const TargetChoice& t : c.targets) {
        if (t.gpr > 0 && !head)
            return {"--target", "gpr" + std::to_string(t.gpr) +
                                    " is designed with a head's equalizer (choose --channel " +
                                    channel::HeadNames() + ")"};
        for (detectors::Kind kind : c.detectors)
            if (std::string why = detectors::WhyNot(kind, WhereOf(c.chain, t)); !why.empty())
                return {"--detector", why};
    }
    if (Refusal r = ConstraintRefusal(c); !r.line.empty()) return r;
    // The converter needs every target's levels on its codes: integer
    // targets whose range its codes hold. A gprL target is designed with
    // real taps.
    if (c.chain.adcBits > 0) {
        for (const TargetChoice& t : c.targets) {
            if (t.gpr > 0)
                return {"--adc-bits", "gpr" + std::to_string(t.gpr) +
                                          " is designed with real taps, but the converter puts "
                                          "the levels on its codes, which needs an integer "
                                          "target"};
            if (std::string why = channel::Adc::WhyNot(t.target, c.chain.adcBits); !why.empty())
                return {"--adc-bits", why};
        }
    }
    return {};
}

std::string ParseSurveyHead(const std::string& text, channel::HeadKind& head) {
    const channel::HeadRow* row = channel::FindHead(text);
    if (row == nullptr) {
        std::vector<std::string> names;
        for (const channel::HeadRow& h : channel::Heads()) names.push_back(h.name);
        std::string name;
        return ParseName(text, names, name) + " (targets are chosen for a head)";
    }
    head = row->kind;
    return {};
}

std::string ParseSurveyDensities(const std::string& text, std::vector<double>& densities) {
    return ParseRange(text, channel::kMinDensity, channel::kMaxDensity, "D", densities);
}

std::string CheckJitter(double jitter, const std::string& shown) {
    return CheckNumberIn(jitter, 0, channel::kMaxJitter, shown);
}

std::string ParseJitter(const std::string& text, double& jitter) {
    return ParseNumberIn(text, 0, channel::kMaxJitter, jitter);
}

std::string CheckEqualizerTaps(double taps, const std::string& shown) {
    if (std::string error = CheckCount(taps, channel::kMinTaps, channel::kMaxTaps, shown);
        !error.empty())
        return error;
    return CheckOdd(static_cast<std::uint64_t>(taps), shown);
}

std::string ParseEqualizerTaps(const std::string& text, int& taps) {
    return ParseTaps(text, channel::kMinTaps, channel::kMaxTaps, taps);
}

std::string SoftDetectors(const ChannelChoice& c, std::vector<detectors::Kind>& kinds) {
    std::string soft;
    for (const detectors::Row& r : detectors::Table())
        if (r.soft) soft += std::string(soft.empty() ? "" : ", ") + r.name;
    kinds.clear();
    if (c.detectors.empty()) {
        const detectors::Where where = WhereOf(c.chain, c.targets.front());
        for (const detectors::Row& r : detectors::Table())
            if (r.soft && r.whyNot(where).empty()) kinds.push_back(r.kind);
        if (kinds.empty()) return "no soft detector runs here (the soft ones: " + soft + ")";
        return {};
    }
    for (detectors::Kind kind : NamedDetectors(c)) {
        const detectors::Row& r = detectors::RowOf(kind);
        if (!r.soft)
            return std::string(r.name) + " gives no ratios of its own (a hard detector); the " +
                   "soft ones: " + soft;
        kinds.push_back(kind);
    }
    return {};
}

std::string CheckEyeTarget(const engine::ChainSettings& chain) {
    if (chain.gpr == 0) return {};
    return "the eye draws the head's readback; a gprL target shapes only what the equalizer "
           "makes of it";
}

std::vector<std::string> EyePointNames() {
    return {"readback", "equalized"};
}

const char* EyePointName(engine::EyePoint point) {
    return point == engine::EyePoint::kEqualized ? "equalized" : "readback";
}

std::string ParseEyePoint(const std::string& text, engine::EyePoint& point) {
    std::string name;
    if (std::string error = ParseName(text, EyePointNames(), name); !error.empty()) return error;
    point = name == "equalized" ? engine::EyePoint::kEqualized : engine::EyePoint::kReadback;
    return {};
}

std::string EyePointHelp() {
    return "where the eye looks: readback (the default; on a head before the equalizer) or "
           "equalized (on a head the equalizer's output, the designed FIR applied to the "
           "readback at k + tau, at the target's levels with the openings marked; on the ideal "
           "channel there is no equalizer and it is the target's sinc-interpolated waveform "
           "itself, as readback)";
}

engine::ChainSettings ChainFor(const ChannelChoice& c, std::size_t t) {
    engine::ChainSettings chain = c.chain;
    chain.target = c.targets[t].target;
    chain.gpr = c.targets[t].gpr;
    return chain;
}

std::vector<engine::ChainSettings> ChainsOf(const ChannelChoice& c) {
    std::vector<engine::ChainSettings> chains;
    for (std::size_t t = 0; t < c.targets.size(); ++t) chains.push_back(ChainFor(c, t));
    return chains;
}

std::vector<detectors::Kind> NamedDetectors(const ChannelChoice& c) {
    std::vector<detectors::Kind> kinds;
    for (const detectors::Row& r : detectors::Table())
        if (std::find(c.detectors.begin(), c.detectors.end(), r.kind) != c.detectors.end())
            kinds.push_back(r.kind);
    return kinds;
}

std::vector<detectors::Kind> DetectorsFor(const ChannelChoice& c,
                                          const engine::ChannelDesign& design) {
    if (c.detectors.empty()) return detectors::DefaultKinds(engine::WhereOf(design));
    return NamedDetectors(c);
}

} // namespace choices
