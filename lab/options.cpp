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

std::string ParseSnrRange(const std::string& text, std::vector<double>& dbs) {
    dbs.clear();
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() != 3) return Quoted(text) + " is not FROM:TO:STEP";
    double from = 0, to = 0, step = 0;
    if (std::string error = ParseSnr(parts[0], from); !error.empty()) return error;
    if (std::string error = ParseSnr(parts[1], to); !error.empty()) return error;
    if (std::string error = ParseNumber(parts[2], step); !error.empty()) return error;
    if (to < from) return Quoted(text) + " is reversed: TO is below FROM";
    if (step <= 0) return Quoted(text) + " has a step that is not positive";
    // Each point from FROM directly, so no rounding adds up; a point that
    // misses TO only by rounding still counts.
    const double count = std::floor((to - from) / step + 1e-9) + 1;
    if (count > static_cast<double>(kMaxPoints))
        return Quoted(text) + " has more than " + std::to_string(kMaxPoints) + " points";
    for (int i = 0; i < static_cast<int>(count); ++i) dbs.push_back(from + i * step);
    return {};
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

double NoiseLevel::Sigma(const channel::Target& target) const {
    return bySnr ? channel::SigmaOfSnr(target.Energy(), snrDb) : sigma;
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
