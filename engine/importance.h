#pragma once
// Rare error rates by importance sampling along the target's error events.
//
// Counting needs about 100 / BER bits for a 10 % error: 10^14 at 10^-12.
// Here every trial is a short frame whose data and noise are drawn from a
// mixture that puts most of them where the detector errs, and each error is
// weighted by how much more often the mixture drew that frame than the
// channel would:
//
//   component j = (event or single sample, sign, metric, start k)
//     data:  uniform precoder bits, those under the event's nonzero entries
//            set so that the event can happen at k (the true path is 1 under
//            every +1, 0 under every -1): q/p = 2^w on such data, w those
//            entries, 0 elsewhere
//     noise: white Gaussian of the channel's deviation, its mean moved by the
//            least shift u_j that puts the detector's input on the boundary
//            between the true path and the wrong one (on a head, the shift of
//            the noise before the equalizer, through its taps)
//   weight = p(data) p(noise) / (a_0 p(data) p(noise) + Sum_j a_j q_j(data, noise))
//
// the balance heuristic of multiple importance sampling (E. Veach and L.
// Guibas, SIGGRAPH 1995; for ISI channels the mixture over error events of
// J. S. Sadowsky and J. A. Bucklew, IEEE Trans. IT 1990, and of M. Ferrari
// and S. Bellini, IEEE Trans. Comm. 2001). Component 0 is the channel itself
// (a defensive share, T. Hesterberg 1995): it keeps every weight below 1 /
// a_0, and reaches any error region the events miss, as counting would. The
// real detectors decide every trial; the estimate is unbiased whatever the
// mixture, which only sets how fast the error shrinks.
//
// Three metrics give shifts: the target's own (Viterbi and every detector
// that compares paths in plain squared distance), the whitened one of a
// detector that takes the predictor (npml: the boundary of |P(y - path)|^2,
// P the prediction-error filter), and single samples to the midpoint of the
// nearest levels (the slicer). The jitter of a head's transitions is drawn
// from its own law: its density ratio is 1, so the weights stay exact; its
// effect on the readback is a nonlinear function of the data, with no least
// shift of its own to aim at, so the Gaussian noise alone is moved.
//
// Trials come in fixed chunks as the counting engine's frames do: chunk c of
// point i draws from the stream (seed, ChunkStream(i, c)), and chunks are
// added in chunk order, so the estimates do not depend on the thread count.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/error_rate.h"

namespace engine {

// How a sweep measures its rates: counting (every version's) or importance
// sampling.
enum class Estimator { kCounting, kImportance };

struct ImportanceSettings {
    double rse = 0.1; // a point ends once every detector's relative standard error is this
    // The events: squared distance up to reach times the target's d2min, at
    // most maxLength bits. Behind a head the events are picked by the
    // target's distance while the noise is coloured (and npml's metric
    // whitened), so the events that matter reach further: with 1.75 there,
    // seeds spread by twice the rse they claimed at 1e-4 (the bursts were
    // left to the channel's own trials).
    double reach = 1.75;
    double headReach = 2.5;
    int maxLength = 12;
    int frame = 128; // bits whose errors a trial counts (the counting frame, when shorter)
    // Bits decided on each side of them and not counted, so that the counted
    // bits see the detector as the middle of a long frame does: its known
    // start and end states make a short frame's edges err less (about 3 % of
    // a 128-bit frame's errors on E3PR4 at 1e-3 ... 1e-4).
    int guard = 32;
    double plainShare = 0.1;    // the channel's own share of the mixture; 1: plain counting
    double shiftScale = 1;      // how far toward the boundary the noise is moved
    std::uint64_t minHits = 20; // error trials a detector needs before its error is believed
    // A region of errors the events miss (long bursts at low SNR) is seen
    // only by the channel's own trials, and its error is then not in the
    // relative error: so a point also waits until those trials alone expect
    // checkErrors wrong bits at its estimate, unless that takes more than
    // checkBits of them (where counting no longer reaches).
    double checkErrors = 100;
    std::uint64_t checkBits = 4'000'000;
};

// One detector's estimate at a point.
struct Estimate {
    double ber = 0;
    double rse = 0;              // relative standard error, 0 without errors
    double low = 0, high = 0;    // the 95 % interval (normal), low at least 0
    std::uint64_t hits = 0;      // trials with an error
    std::uint64_t bitErrors = 0; // wrong bits seen, unweighted
    // What the channel's own trials counted, as counting would: their bits,
    // wrong bits and trials with an error.
    std::uint64_t plainBits = 0, plainBitErrors = 0, plainHits = 0;
};

// Sums of the weighted errors per trial: X_t = weight_t * wrong bits of t.
struct ImportanceSums {
    std::uint64_t trials = 0;
    std::uint64_t plainTrials = 0; // drawn from the channel itself
    int frame = 0;                 // bits counted per trial
    struct Sums {
        long double sum = 0, squares = 0;
        std::uint64_t hits = 0, bitErrors = 0;
        std::uint64_t plainHits = 0, plainBitErrors = 0; // of the channel's own trials
    };
    std::vector<Sums> detectors;

    void Add(const ImportanceSums& other);
    Estimate EstimateOf(std::size_t detector) const;
    // The counts as the counting engine's reporter takes them: bits of the
    // trials, and the wrong bits seen (unweighted).
    PointCounts Counts() const;
};

// One component of the mixture (the sign and metric of an event, or a single
// sample), at any of its start positions.
struct MixtureComponent {
    std::uint64_t mask = 0, pattern = 0; // precoder bits from the start: those forced, their values
    int bits = 1;                        // the precoder bits it spans
    int forced = 0;                      // bits set in mask
    int shiftFirst = 0;                  // noise index of shift[0], less the start
    std::vector<double> shift;           // the noise's mean
    int firstStart = 0, lastStart = 0;   // where it may start
    double share = 0;                    // its probability, over all its starts
    std::string what;                    // "+-+ viterbi", for the tests and a report
};

struct Mixture {
    double plainShare = 1;
    std::vector<MixtureComponent> components;
    bool recording = false; // the noise is the readback's (before the equalizer)
    int noiseCount = 0;     // Gaussian deviates a trial draws
};

// The mixture for a design's detectors and trial frames of `shape` whose
// bits first ... first + counted - 1 are counted (every start of a component
// has its event within or across them).
Mixture MakeMixture(const ImportanceSettings& settings, const ChannelDesign& design,
                    const std::vector<detectors::Kind>& kinds, detectors::FrameShape shape,
                    int first, int counted);

// A trial frame: its bits, and the run of them whose errors are counted. A
// counting frame no longer than the window and its guards is the trial frame
// itself, every bit counted (the estimate is of that frame's rate); a longer
// one is met by the window between its guards.
struct TrialShape {
    int bits = 1;
    int first = 0;   // the first counted bit
    int counted = 1; // bits counted
};
TrialShape TrialFrame(const BerSettings& settings, const ImportanceSettings& importance);

// The sums of `trials` trials of chunk `chunk` of point `point`.
ImportanceSums RunImportanceChunk(const BerSettings& settings, const ImportanceSettings& importance,
                                  const BerSetup& setup, const ChannelDesign& design, int point,
                                  std::uint64_t chunk, int trials);

// Whether a point with these sums has ended: every detector's relative
// error at most settings.rse with minHits error trials, or the bits spent.
bool EnoughImportance(const BerSettings& settings, const ImportanceSettings& importance,
                      const ImportanceSums& total);

// Runs one point to its end, or until `stop` (false, `total` the chunks added
// so far). `report` is called on the calling thread a few times a second.
bool RunImportancePoint(const BerSettings& settings, const ImportanceSettings& importance,
                        const BerSetup& setup, const ChannelDesign& design, int point,
                        const std::atomic<bool>& stop, ImportanceSums& total,
                        const std::function<void(const ImportanceSums&)>& report = {});

} // namespace engine
