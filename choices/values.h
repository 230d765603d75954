#pragma once
// The values a user can choose, as numbers and as text. Each check looks at
// the number and names it as the user wrote it (`shown`): the command line
// and the lab window parse text with the parsers below, which sit on these
// checks, and the Python module passes its numbers with their repr, so all
// three refuse with the same line. Every check and parser returns an empty
// string, or one line naming the problem; a parser stores its value only
// once it is taken.
#include <cstdint>
#include <string>
#include <vector>

#include "channel/constraint.h"

namespace choices {

inline constexpr std::uint64_t kMaxRuns = 10'000'000;
inline constexpr std::uint64_t kMaxBits = 10'000'000'000'000;
inline constexpr std::uint64_t kMaxErrors = kMaxBits;
inline constexpr std::uint64_t kMaxFrame = 1 << 20;
inline constexpr std::uint64_t kMaxThreads = 256;
inline constexpr std::size_t kMaxPoints = 1000;
inline constexpr double kMaxSigma = 100;
inline constexpr double kMinSnrDb = -20;
inline constexpr double kMaxSnrDb = 100;
// A picture size WxH, each side kMinPicture ... kMaxPicture pixels; a chart
// at least kMinChart each way.
inline constexpr int kMinPicture = 64;
inline constexpr int kMaxPicture = 4096;
inline constexpr int kMinChart = 240;
// The pictures' sizes when none is asked for: the eye's and a chart's.
inline constexpr int kEyeWidth = 560;
inline constexpr int kEyeHeight = 360;
inline constexpr int kChartWidth = 800;
inline constexpr int kChartHeight = 520;
// The error-event search grows quickly with both limits; these keep it to
// seconds.
inline constexpr double kMaxEventReach = 5;
inline constexpr std::uint64_t kMaxEventLen = 24;
// The soft-output Viterbi detector's update depth, in bits: 0 for its
// default (five times the target's memory plus one), or 1 ... kMaxDepth.
// Each state keeps a window of that many bits, so the bound keeps the
// largest trellis's windows to a few tens of megabytes.
inline constexpr std::uint64_t kMaxDepth = 65536;

// An importance-sampled point ends at this relative standard error: from
// kMinRse (a few thousand error trials) to kMaxRse (the estimate's own size).
inline constexpr double kMinRse = 0.005;
inline constexpr double kMaxRse = 1;

// Worker threads when none are asked for: every core, at most kMaxThreads.
int DefaultThreads();

// A user's text in a line: in single quotes, control bytes as '?', cut
// after 200 bytes.
std::string Quoted(const std::string& text);
// The text cut at `separator`: "a,b," gives a, b and an empty part.
std::vector<std::string> Split(const std::string& text, char separator);

// ---- checks on numbers -------------------------------------------------
// A finite number (not NaN, not infinite).
std::string CheckFinite(double value, const std::string& shown);
std::string CheckSigma(double sigma, const std::string& shown); // 0 ... kMaxSigma
std::string CheckSnr(double db, const std::string& shown);      // kMinSnrDb ... kMaxSnrDb
std::string CheckPositive(double value, const std::string& shown);
std::string CheckNumberIn(double value, double lo, double hi, const std::string& shown);
// A whole number lo ... hi: a double (1e7 is one), or one given as an
// integer (as Python's int is), whose magnitude may not fit: `negative` or
// `huge` then say so.
std::string CheckCount(double value, std::uint64_t lo, std::uint64_t hi, const std::string& shown);
std::string CheckCount(std::uint64_t value, std::uint64_t lo, std::uint64_t hi,
                       const std::string& shown);
std::string CountOutOfRange(std::uint64_t lo, std::uint64_t hi, const std::string& shown);
// An odd whole number of equalizer taps lo ... hi (after CheckCount).
std::string CheckOdd(std::uint64_t taps, const std::string& shown);

// An update depth 0 ... kMaxDepth.
std::string CheckDepth(double depth, const std::string& shown);
// A relative standard error kMinRse ... kMaxRse.
std::string CheckRse(double rse, const std::string& shown);

// A picture's sides, each a whole number kMinPicture ... kMaxPicture.
std::string CheckSize(double width, double height, const std::string& shown);

// ---- parsers of text -----------------------------------------------------
// The whole text as a finite number.
std::string ParseNumber(const std::string& text, double& value);
// A whole number lo ... hi; "1e7" is accepted for 10000000.
std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi,
                       std::uint64_t& value);
std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi, int& value);
std::string ParseSigma(const std::string& text, double& sigma);
std::string ParsePositive(const std::string& text, double& value); // a finite number > 0
std::string ParseSigmaList(const std::string& text, std::vector<double>& sigmas); // S[,S...]
std::string ParseSnr(const std::string& text, double& db);
std::string ParseRse(const std::string& text, double& rse);
std::string ParseSnrRange(const std::string& text, std::vector<double>& dbs); // DB or FROM:TO:STEP
std::string ParseSnrList(const std::string& text, std::vector<double>& dbs);  // DB[,DB...]
// zero (true: the target's memory of zero precoder bits after each frame) or none.
std::string ParseTail(const std::string& text, bool& tail);
std::string ParseSize(const std::string& text, int& width, int& height); // WxH
// A number within lo ... hi, e.g. a density or a jitter.
std::string ParseNumberIn(const std::string& text, double lo, double hi, double& value);
// Values as V or FROM:TO:STEP, each within lo ... hi (`single` names V).
std::string ParseRange(const std::string& text, double lo, double hi, const char* single,
                       std::vector<double>& values);
// An odd whole number of equalizer taps within lo ... hi.
std::string ParseTaps(const std::string& text, int lo, int hi, int& taps);
// Names from `allowed`, comma-separated, each at most once, in the order given.
std::string ParseChoices(const std::string& text, const std::vector<std::string>& allowed,
                         const char* what, std::vector<std::string>& chosen);
// One name of `allowed`: "'x' is none of a, b, c" (two: "is neither a nor b").
std::string ParseName(const std::string& text, const std::vector<std::string>& allowed,
                      std::string& chosen);

// A constraint code by its name (channel/constraint.h): one of the table's,
// and one whose block code exists (mtr2-6/7 is refused with the reason).
std::string ParseConstraint(const std::string& text, channel::ConstraintKind& kind);

// The noise of one run: a deviation, or an SNR in dB quoted against an energy
// known only once the channel is: Sigma() resolves it then.
struct NoiseLevel {
    double sigma = 0;
    double snrDb = 0;
    bool bySnr = false;
    double Sigma(double energy) const;
};

} // namespace choices
