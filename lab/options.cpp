#include "lab/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "channel/bounds.h"
#include "channel/target.h"

namespace lab {
namespace {

std::string Quoted(const std::string& text) {
    return channel::Quoted(text);
}

// The whole text as a finite number, or an error line.
std::string ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || std::isnan(value))
        return Quoted(text) + " is not a number";
    if (std::isinf(value) || errno == ERANGE) return Quoted(text) + " is out of range";
    return {};
}

std::string OutOfRange(const std::string& text, double lo, double hi, const char* unit = "") {
    char line[160];
    std::snprintf(line, sizeof line, " is not between %g%s and %g%s", lo, unit, hi, unit);
    return Quoted(text) + line;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

} // namespace

std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi,
                       std::uint64_t& value) {
    const std::string range = " (" + std::to_string(lo) + " ... " + std::to_string(hi) + ")";
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        errno = 0;
        const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
        if (errno == ERANGE || v < lo || v > hi) return Quoted(text) + " is out of range" + range;
        value = v;
        return {};
    }
    double v = 0;
    if (!ParseNumber(text, v).empty() || v != std::floor(v))
        return Quoted(text) + " is not a whole number";
    if (v < static_cast<double>(lo) || v > static_cast<double>(hi))
        return Quoted(text) + " is out of range" + range;
    value = static_cast<std::uint64_t>(v);
    return {};
}

std::string ParseSigma(const std::string& text, double& sigma) {
    if (std::string error = ParseNumber(text, sigma); !error.empty()) return error;
    if (sigma < 0) return Quoted(text) + " is negative";
    if (sigma > kMaxSigma) return OutOfRange(text, 0, kMaxSigma);
    return {};
}

std::string ParsePositive(const std::string& text, double& value) {
    if (std::string error = ParseNumber(text, value); !error.empty()) return error;
    if (!(value > 0)) return Quoted(text) + " is not positive";
    return {};
}

std::string ParseSigmaList(const std::string& text, std::vector<double>& sigmas) {
    sigmas.clear();
    for (const std::string& part : Split(text, ',')) {
        double sigma = 0;
        if (std::string error = ParseSigma(part, sigma); !error.empty()) return error;
        sigmas.push_back(sigma);
    }
    if (sigmas.size() > kMaxPoints) return "more than " + std::to_string(kMaxPoints) + " points";
    return {};
}

std::string ParseSnr(const std::string& text, double& db) {
    if (std::string error = ParseNumber(text, db); !error.empty()) return error;
    if (db < kMinSnrDb || db > kMaxSnrDb) return OutOfRange(text, kMinSnrDb, kMaxSnrDb, " dB");
    return {};
}

namespace {

// One value, or FROM:TO:STEP with both ends checked by `one` (`single`
// names the one value in a message: "DB", "D").
std::string ParseRange(const std::string& text, const char* single,
                       const std::function<std::string(const std::string&, double&)>& one,
                       std::vector<double>& values) {
    values.clear();
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() == 1) {
        double v = 0;
        if (std::string error = one(text, v); !error.empty()) return error;
        values.push_back(v);
        return {};
    }
    if (parts.size() != 3) return Quoted(text) + " is neither " + single + " nor FROM:TO:STEP";
    double from = 0, to = 0, step = 0;
    if (std::string error = one(parts[0], from); !error.empty()) return error;
    if (std::string error = one(parts[1], to); !error.empty()) return error;
    if (std::string error = ParseNumber(parts[2], step); !error.empty()) return error;
    if (to < from) return Quoted(text) + " is reversed: TO is below FROM";
    if (step <= 0) return Quoted(text) + " has a step that is not positive";
    // Each point from FROM directly, so no rounding adds up; a point that
    // misses TO only by rounding still counts, as TO.
    const double count = std::floor((to - from) / step + 1e-9) + 1;
    if (count > static_cast<double>(kMaxPoints))
        return Quoted(text) + " has more than " + std::to_string(kMaxPoints) + " points";
    for (int i = 0; i < static_cast<int>(count); ++i)
        values.push_back(std::min(to, from + i * step));
    return {};
}

} // namespace

std::string ParseSnrRange(const std::string& text, std::vector<double>& dbs) {
    return ParseRange(text, "DB", ParseSnr, dbs);
}

std::string ParseSnrList(const std::string& text, std::vector<double>& dbs) {
    dbs.clear();
    for (const std::string& part : Split(text, ',')) {
        double db = 0;
        if (std::string error = ParseSnr(part, db); !error.empty()) return error;
        dbs.push_back(db);
    }
    if (dbs.size() > kMaxPoints) return "more than " + std::to_string(kMaxPoints) + " points";
    return {};
}

std::string ParseTail(const std::string& text, bool& tail) {
    if (text == "zero" || text == "none") {
        tail = text == "zero";
        return {};
    }
    return Quoted(text) + " is neither zero nor none";
}

std::string CheckEventReach(const channel::Target& target, double& maxD2) {
    const double d2min = target.D2Min();
    if (maxD2 == 0) maxD2 = 2 * d2min;
    if (maxD2 <= kMaxEventReach * d2min) return {};
    char line[200];
    std::snprintf(line, sizeof line, "%g is beyond %g, %g times the target's d2min of %g", maxD2,
                  kMaxEventReach * d2min, kMaxEventReach, d2min);
    return line;
}

std::string ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find('x');
    std::uint64_t w = 0, h = 0;
    if (x == std::string::npos || !ParseCount(text.substr(0, x), 0, UINT64_MAX, w).empty() ||
        !ParseCount(text.substr(x + 1), 0, UINT64_MAX, h).empty() ||
        text.find_first_not_of("0123456789x") != std::string::npos)
        return Quoted(text) + " is not WIDTHxHEIGHT in pixels";
    if (w < kMinPicture || w > kMaxPicture || h < kMinPicture || h > kMaxPicture)
        return Quoted(text) + " has a side outside " + std::to_string(kMinPicture) + " ... " +
               std::to_string(kMaxPicture) + " pixels";
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return {};
}

std::string ParseNumberIn(const std::string& text, double lo, double hi, double& value) {
    if (std::string error = ParseNumber(text, value); !error.empty()) return error;
    if (value < lo || value > hi) return OutOfRange(text, lo, hi);
    return {};
}

std::string ParseDensities(const std::string& text, double lo, double hi,
                           std::vector<double>& values) {
    return ParseRange(
        text, "D",
        [lo, hi](const std::string& part, double& v) { return ParseNumberIn(part, lo, hi, v); },
        values);
}

std::string ParseTaps(const std::string& text, int lo, int hi, int& taps) {
    std::uint64_t v = 0;
    if (std::string error =
            ParseCount(text, static_cast<std::uint64_t>(lo), static_cast<std::uint64_t>(hi), v);
        !error.empty())
        return error;
    if (v % 2 == 0) return Quoted(text) + " is even; the equalizer has an odd number of taps";
    taps = static_cast<int>(v);
    return {};
}

std::string ParseChoices(const std::string& text, const std::vector<std::string>& allowed,
                         const char* what, std::vector<std::string>& chosen) {
    chosen.clear();
    for (const std::string& part : Split(text, ',')) {
        if (std::find(allowed.begin(), allowed.end(), part) == allowed.end()) {
            std::string names;
            for (const std::string& a : allowed) names += (names.empty() ? "" : ", ") + a;
            return Quoted(part) + " is not a " + what + " (" + names + ")";
        }
        if (std::find(chosen.begin(), chosen.end(), part) != chosen.end())
            return Quoted(part) + " is given twice";
        chosen.push_back(part);
    }
    return {};
}

std::string ParseTargets(const std::string& text, bool several,
                         std::vector<TargetChoice>& targets) {
    targets.clear();
    const bool list = !text.empty() &&
                      text.find_first_not_of("0123456789.,+-eE \t") == std::string::npos &&
                      text.find_first_of("0123456789") != std::string::npos;
    std::vector<std::string> parts =
        list || !several ? std::vector<std::string>{text} : Split(text, ',');
    for (const std::string& part : parts) {
        TargetChoice choice;
        if (part.size() == 4 && part.compare(0, 3, "gpr") == 0 && part[3] >= '0' &&
            part[3] <= '9') {
            choice.gpr = part[3] - '0';
            if (choice.gpr < 2 || choice.gpr > 6)
                return Quoted(part) + ": gprL has L from 2 to 6 (a target of L + 1 taps)";
        } else if (std::string error = channel::Target::Parse(part, choice.target);
                   !error.empty()) {
            return error;
        }
        for (const TargetChoice& t : targets)
            if (t.gpr == choice.gpr &&
                (t.gpr > 0 || t.target.Coefficients() == choice.target.Coefficients()))
                return Quoted(part) + " is given twice";
        targets.push_back(choice);
    }
    if (targets.size() > 16) return Quoted(text) + " has more than 16 targets";
    return {};
}

CLI::Option* AddChecked(CLI::App& app, const std::string& name, const std::string& description,
                        std::function<std::string(const std::string&)> take) {
    const std::string flag = name.substr(0, name.find(','));
    return app.add_option_function<std::string>(
        name,
        [flag, take](const std::string& text) {
            if (std::string error = take(text); !error.empty())
                throw CLI::ValidationError(flag, error);
        },
        description);
}

double NoiseLevel::Sigma(double energy) const {
    return bySnr ? channel::SigmaOfSnr(energy, snrDb) : sigma;
}

void AddNoiseLevel(CLI::App& app, NoiseLevel& level, const std::string& sigmaDescription) {
    CLI::Option* bySigma =
        AddChecked(app, "--sigma", sigmaDescription, [&level](const std::string& text) {
            level.bySnr = false;
            return ParseSigma(text, level.sigma);
        })->type_name("S");
    CLI::Option* bySnr = AddChecked(app, "--snr", "noise as SNR in dB instead of --sigma",
                                    [&level](const std::string& text) {
                                        level.bySnr = true;
                                        return ParseSnr(text, level.snrDb);
                                    })
                             ->type_name("DB");
    bySigma->excludes(bySnr);
}

CLI::Option* AddTarget(CLI::App& app, channel::Target& target) {
    return AddChecked(
               app, "--target",
               "the partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's, the "
               "default) or its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1)",
               [&target](const std::string& text) { return channel::Target::Parse(text, target); })
        ->type_name("NAME|LIST");
}

CLI::Option* AddPictureSize(CLI::App& app, int& width, int& height, const std::string& fallback) {
    return AddChecked(app, "--size", "the picture's size in pixels (default " + fallback + ")",
                      [&width, &height](const std::string& text) {
                          return ParseSize(text, width, height);
                      })
        ->type_name("WxH");
}

void CheckChartSize(const std::string& png, int width, int height) {
    if (!png.empty() && (width < kMinChart || height < kMinChart))
        throw CLI::ValidationError("--size", "a chart needs at least " + std::to_string(kMinChart) +
                                                 " pixels each way");
}

CLI::Option* AddTail(CLI::App& app, bool& tail) {
    return AddChecked(app, "--tail",
                      "zero (the default): the channel writes the target's memory of zero "
                      "precoder bits after each frame, the detector sees their samples and ends "
                      "in state 0; none: the frame just stops and the detector ends in its best "
                      "state, so the last bits are decided without the samples that follow them",
                      [&tail](const std::string& text) { return ParseTail(text, tail); })
        ->type_name("zero|none");
}

CLI::Option* AddCount(CLI::App& app, const std::string& name, std::uint64_t& value,
                      std::uint64_t lo, std::uint64_t hi, const std::string& description) {
    return AddChecked(app, name, description,
                      [&value, lo, hi](const std::string& text) {
                          return ParseCount(text, lo, hi, value);
                      })
        ->type_name("N");
}

CLI::Option* AddCount(CLI::App& app, const std::string& name, int& value, std::uint64_t lo,
                      std::uint64_t hi, const std::string& description) {
    return AddChecked(app, name, description,
                      [&value, lo, hi](const std::string& text) {
                          std::uint64_t v = 0;
                          std::string error = ParseCount(text, lo, hi, v);
                          if (error.empty()) value = static_cast<int>(v);
                          return error;
                      })
        ->type_name("N");
}

int DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxThreads));
}

int FileError(const std::string& name, const std::string& why) {
    std::fprintf(stderr, "quorvane-lab: cannot write %s: %s\n",
                 name == "-" ? "standard output" : name.c_str(), why.c_str());
    return kExitFile;
}

int FinishStdout(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return FileError("-", "write failed");
    return status;
}

} // namespace lab
