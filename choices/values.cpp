#include "choices/values.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "channel/bounds.h"
#include "channel/target.h"

namespace choices {
namespace {

std::string OutOfRange(const std::string& shown, double lo, double hi, const char* unit = "") {
    char line[160];
    std::snprintf(line, sizeof line, " is not between %g%s and %g%s", lo, unit, hi, unit);
    return Quoted(shown) + line;
}

std::string Range(std::uint64_t lo, std::uint64_t hi) {
    return " (" + std::to_string(lo) + " ... " + std::to_string(hi) + ")";
}

} // namespace

int DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxThreads));
}

std::string Quoted(const std::string& text) {
    return channel::Quoted(text);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// ---- checks on numbers -------------------------------------------------

std::string CheckFinite(double value, const std::string& shown) {
    if (std::isnan(value)) return Quoted(shown) + " is not a number";
    if (std::isinf(value)) return Quoted(shown) + " is out of range";
    return {};
}

std::string CheckSigma(double sigma, const std::string& shown) {
    if (std::string error = CheckFinite(sigma, shown); !error.empty()) return error;
    if (sigma < 0) return Quoted(shown) + " is negative";
    if (sigma > kMaxSigma) return OutOfRange(shown, 0, kMaxSigma);
    return {};
}

std::string CheckSnr(double db, const std::string& shown) {
    if (std::string error = CheckFinite(db, shown); !error.empty()) return error;
    if (db < kMinSnrDb || db > kMaxSnrDb) return OutOfRange(shown, kMinSnrDb, kMaxSnrDb, " dB");
    return {};
}

std::string CheckPositive(double value, const std::string& shown) {
    if (std::string error = CheckFinite(value, shown); !error.empty()) return error;
    if (!(value > 0)) return Quoted(shown) + " is not positive";
    return {};
}

std::string CheckNumberIn(double value, double lo, double hi, const std::string& shown) {
    if (std::string error = CheckFinite(value, shown); !error.empty()) return error;
    if (value < lo || value > hi) return OutOfRange(shown, lo, hi);
    return {};
}

std::string CheckRse(double rse, const std::string& shown) {
    return CheckNumberIn(rse, kMinRse, kMaxRse, shown);
}

std::string ParseRse(const std::string& text, double& rse) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    if (std::string error = CheckRse(v, text); !error.empty()) return error;
    rse = v;
    return {};
}

std::string CheckCount(double value, std::uint64_t lo, std::uint64_t hi, const std::string& shown) {
    if (!std::isfinite(value) || value != std::floor(value))
        return Quoted(shown) + " is not a whole number";
    if (value < static_cast<double>(lo) || value > static_cast<double>(hi))
        return CountOutOfRange(lo, hi, shown);
    return {};
}

std::string CheckCount(std::uint64_t value, std::uint64_t lo, std::uint64_t hi,
                       const std::string& shown) {
    if (value < lo || value > hi) return CountOutOfRange(lo, hi, shown);
    return {};
}

std::string CountOutOfRange(std::uint64_t lo, std::uint64_t hi, const std::string& shown) {
    return Quoted(shown) + " is out of range" + Range(lo, hi);
}

std::string CheckDepth(double depth, const std::string& shown) {
    return CheckCount(depth, 0, kMaxDepth, shown);
}

std::string CheckOdd(std::uint64_t taps, const std::string& shown) {
    if (taps % 2 == 0) return Quoted(shown) + " is even; the equalizer has an odd number of taps";
    return {};
}

std::string CheckSize(double width, double height, const std::string& shown) {
    for (double side : {width, height})
        if (!std::isfinite(side) || side != std::floor(side))
            return Quoted(shown) + " is not WIDTHxHEIGHT in pixels";
    if (width < kMinPicture || width > kMaxPicture || height < kMinPicture || height > kMaxPicture)
        return Quoted(shown) + " has a side outside " + std::to_string(kMinPicture) + " ... " +
               std::to_string(kMaxPicture) + " pixels";
    return {};
}

// ---- parsers of text -----------------------------------------------------

std::string ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || std::isnan(v))
        return Quoted(text) + " is not a number";
    if (std::isinf(v) || errno == ERANGE) return Quoted(text) + " is out of range";
    value = v;
    return {};
}

std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi,
                       std::uint64_t& value) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        errno = 0;
        const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
        if (errno == ERANGE) return CountOutOfRange(lo, hi, text);
        if (std::string error = CheckCount(static_cast<std::uint64_t>(v), lo, hi, text);
            !error.empty())
            return error;
        value = v;
        return {};
    }
    double v = 0;
    if (!ParseNumber(text, v).empty()) return Quoted(text) + " is not a whole number";
    if (std::string error = CheckCount(v, lo, hi, text); !error.empty()) return error;
    value = static_cast<std::uint64_t>(v);
    return {};
}

std::string ParseCount(const std::string& text, std::uint64_t lo, std::uint64_t hi, int& value) {
    std::uint64_t v = 0;
    std::string error = ParseCount(text, lo, hi, v);
    if (error.empty()) value = static_cast<int>(v);
    return error;
}

std::string ParseSigma(const std::string& text, double& sigma) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    if (std::string error = CheckSigma(v, text); !error.empty()) return error;
    sigma = v;
    return {};
}

std::string ParsePositive(const std::string& text, double& value) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    if (std::string error = CheckPositive(v, text); !error.empty()) return error;
    value = v;
    return {};
}

std::string ParseSigmaList(const std::string& text, std::vector<double>& sigmas) {
    std::vector<double> list;
    for (const std::string& part : Split(text, ',')) {
        double sigma = 0;
        if (std::string error = ParseSigma(part, sigma); !error.empty()) return error;
        list.push_back(sigma);
    }
    if (list.size() > kMaxPoints) return "more than " + std::to_string(kMaxPoints) + " points";
    sigmas = list;
    return {};
}

std::string ParseSnr(const std::string& text, double& db) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    if (std::string error = CheckSnr(v, text); !error.empty()) return error;
    db = v;
    return {};
}

namespace {

// One value, or FROM:TO:STEP with both ends checked by `one` (`single`
// names the one value in a message: "DB", "D").
template <typename One>
std::string ParseSteps(const std::string& text, const char* single, One one,
                       std::vector<double>& values) {
    std::vector<double> list;
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() == 1) {
        double v = 0;
        if (std::string error = one(text, v); !error.empty()) return error;
        values = {v};
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
    for (int i = 0; i < static_cast<int>(count); ++i) list.push_back(std::min(to, from + i * step));
    values = list;
    return {};
}

} // namespace

std::string ParseSnrRange(const std::string& text, std::vector<double>& dbs) {
    return ParseSteps(text, "DB", ParseSnr, dbs);
}

std::string ParseSnrList(const std::string& text, std::vector<double>& dbs) {
    std::vector<double> list;
    for (const std::string& part : Split(text, ',')) {
        double db = 0;
        if (std::string error = ParseSnr(part, db); !error.empty()) return error;
        list.push_back(db);
    }
    if (list.size() > kMaxPoints) return "more than " + std::to_string(kMaxPoints) + " points";
    dbs = list;
    return {};
}

std::string ParseTail(const std::string& text, bool& tail) {
    if (text == "zero" || text == "none") {
        tail = text == "zero";
        return {};
    }
    return Quoted(text) + " is neither zero nor none";
}

std::string ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find('x');
    std::uint64_t w = 0, h = 0;
    if (x == std::string::npos || !ParseCount(text.substr(0, x), 0, UINT64_MAX, w).empty() ||
        !ParseCount(text.substr(x + 1), 0, UINT64_MAX, h).empty() ||
        text.find_first_not_of("0123456789x") != std::string::npos)
        return Quoted(text) + " is not WIDTHxHEIGHT in pixels";
    if (std::string error = CheckSize(static_cast<double>(w), static_cast<double>(h), text);
        !error.empty())
        return error;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return {};
}

std::string ParseNumberIn(const std::string& text, double lo, double hi, double& value) {
    double v = 0;
    if (std::string error = ParseNumber(text, v); !error.empty()) return error;
    if (std::string error = CheckNumberIn(v, lo, hi, text); !error.empty()) return error;
    value = v;
    return {};
}

std::string ParseRange(const std::string& text, double lo, double hi, const char* single,
                       std::vector<double>& values) {
    return ParseSteps(
        text, single,
        [lo, hi](const std::string& part, double& v) { return ParseNumberIn(part, lo, hi, v); },
        values);
}

std::string ParseTaps(const std::string& text, int lo, int hi, int& taps) {
    std::uint64_t v = 0;
    if (std::string error =
            ParseCount(text, static_cast<std::uint64_t>(lo), static_cast<std::uint64_t>(hi), v);
        !error.empty())
        return error;
    if (std::string error = CheckOdd(v, text); !error.empty()) return error;
    taps = static_cast<int>(v);
    return {};
}

std::string ParseChoices(const std::string& text, const std::vector<std::string>& allowed,
                         const char* what, std::vector<std::string>& chosen) {
    std::vector<std::string> list;
    for (const std::string& part : Split(text, ',')) {
        if (std::find(allowed.begin(), allowed.end(), part) == allowed.end()) {
            std::string names;
            for (const std::string& a : allowed) names += (names.empty() ? "" : ", ") + a;
            return Quoted(part) + " is not a " + what + " (" + names + ")";
        }
        if (std::find(list.begin(), list.end(), part) != list.end())
            return Quoted(part) + " is given twice";
        list.push_back(part);
    }
    chosen = list;
    return {};
}

std::string ParseName(const std::string& text, const std::vector<std::string>& allowed,
                      std::string& chosen) {
    if (std::find(allowed.begin(), allowed.end(), text) != allowed.end()) {
        chosen = text;
        return {};
    }
    if (allowed.size() == 2)
        return Quoted(text) + " is neither " + allowed[0] + " nor " + allowed[1];
    std::string names;
    for (const std::string& a : allowed) names += (names.empty() ? "" : ", ") + a;
    return Quoted(text) + " is none of " + names;
}

std::string ParseConstraint(const std::string& text, channel::ConstraintKind& kind) {
    std::vector<std::string> names;
    for (const channel::ConstraintRow& row : channel::Constraints()) names.push_back(row.name);
    std::string name;
    if (std::string error = ParseName(text, names, name); !error.empty()) return error;
    const channel::ConstraintRow& row = *channel::FindConstraint(name);
    const channel::ConstraintCode& code = channel::ConstraintCode::Of(row.kind);
    if (!code.Exists()) return code.WhyNot() + "; choose mtr2-4/5 or tvmtr-8/9";
    kind = row.kind;
    return {};
}

double NoiseLevel::Sigma(double energy) const {
    return bySnr ? channel::SigmaOfSnr(energy, snrDb) : sigma;
}

} // namespace choices
