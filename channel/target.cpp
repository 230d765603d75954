#include "channel/target.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "channel/events.h"

namespace channel {

namespace {

struct Named {
    const char* name;
    std::vector<double> f;
};

// The classic family (1 - D)(1 + D)^n: PR4 n = 1, EPR4 2, E2PR4 3, E3PR4 4.
const Named kNamed[] = {
    {"pr4", {1, 0, -1}},
    {"epr4", {1, 1, -1, -1}},
    {"e2pr4", {1, 2, 0, -2, -1}},
    {"e3pr4", {1, 3, 2, -2, -3, -1}},
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

std::string Joined(const std::vector<double>& f) {
    std::string text;
    for (std::size_t m = 0; m < f.size(); ++m) {
        if (m > 0) text += ',';
        text += Number(f[m]);
    }
    return text;
}

// The ideal sample of window w: bit nu - m holds p_{k-m}.
double WindowLevel(const std::vector<double>& f, int w) {
    const int nu = static_cast<int>(f.size()) - 1;
    double v = 0;
    for (int m = 0; m <= nu; ++m)
        if ((w >> (nu - m)) & 1) v += f[static_cast<std::size_t>(m)];
    return v;
}

} // namespace

std::string Quoted(const std::string& text) {
    std::string shown = text.substr(0, 200);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "'" + shown + (text.size() > 200 ? "...'" : "'");
}

Target::Target() : Target(kNamed[3].f, kNamed[3].name) {}

Target::Target(std::vector<double> coefficients, std::string name)
    : name_(std::move(name)), f_(std::move(coefficients)) {
    if (name_.empty()) name_ = Joined(f_);
    const int nu = Memory();
    integer_ = std::all_of(f_.begin(), f_.end(), [](double v) { return v == std::floor(v); });
    for (double v : f_) energy_ += v * v;

    if (integer_ && std::fmod(std::fabs(f_[0]), 2.0) == 1.0) {
        precoder_ = true;
        for (int m = 1; m <= nu; ++m)
            if (std::fmod(std::fabs(f_[static_cast<std::size_t>(m)]), 2.0) == 1.0)
                taps_ |= 1u << (m - 1);
    }

    trellis_.memory = nu;
    trellis_.states = 1 << nu;
    trellis_.level.resize(std::size_t{2} << nu);
    for (int w = 0; w < (2 << nu); ++w)
        trellis_.level[static_cast<std::size_t>(w)] = static_cast<float>(WindowLevel(f_, w));
    levels_ = trellis_.level;
    std::sort(levels_.begin(), levels_.end());
    levels_.erase(std::unique(levels_.begin(), levels_.end()), levels_.end());
    consecutive_ = integer_ && levels_.back() - levels_.front() + 1 == levels_.size();

    // Memory 0 (coded runs' binary input on white noise): an error event is
    // any set of wrong bits, the closest one bit, f0^2 away.
    d2min_ = nu == 0 ? energy_ : MinimumDistance(*this, kMinDistanceMaxLen);
}

std::string Target::CoefficientText() const {
    return Joined(f_);
}

std::vector<std::string> Target::NamedList() {
    std::vector<std::string> list;
    for (const Named& t : kNamed) list.push_back(std::string(t.name) + " " + Joined(t.f));
    return list;
}

std::string Target::Parse(const std::string& text, Target& target) {
    const std::string quoted = Quoted(text);
    const std::string lower = Lower(text);
    for (const Named& t : kNamed) {
        if (lower == t.name) {
            target = Target(t.f, t.name);
            return {};
        }
    }
    if (text.empty() || (text.find(',') == std::string::npos && !std::isdigit(text[0]) &&
                         text[0] != '-' && text[0] != '+' && text[0] != '.')) {
        std::string names;
        for (const Named& t : kNamed) names += std::string(names.empty() ? "" : ", ") + t.name;
        return quoted + " is neither a named target (" + names + ") nor a list like 1,2,1";
    }
    std::vector<double> f;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        std::string part = text.substr(from, comma == std::string::npos ? comma : comma - from);
        // Blanks around a number are allowed, as in "1, 2, 1".
        part.erase(0, part.find_first_not_of(" \t"));
        part.erase(part.find_last_not_of(" \t") + 1);
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(part.c_str(), &end);
        if (part.empty() || end != part.c_str() + part.size() || std::isnan(v))
            return quoted + ": " + Quoted(part) + " is not a number";
        if (!(std::fabs(v) <= kMaxCoefficient) || errno == ERANGE)
            return quoted + ": " + Quoted(part) + " is not between -" + Number(kMaxCoefficient) +
                   " and " + Number(kMaxCoefficient);
        f.push_back(v == 0 ? 0.0 : v); // no -0 in the names
        if (f.size() > kMaxMemory + 1) break;
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (f.size() < kMinMemory + 1 || f.size() > kMaxMemory + 1)
        return quoted + " has " + (f.size() > kMaxMemory + 1 ? "more than " : "") +
               std::to_string(std::min<std::size_t>(f.size(), kMaxMemory + 1)) +
               (f.size() == 1 ? " coefficient" : " coefficients") + "; a target has " +
               std::to_string(kMinMemory + 1) + " to " + std::to_string(kMaxMemory + 1) +
               " (memory " + std::to_string(kMinMemory) + " ... " + std::to_string(kMaxMemory) +
               ")";
    if (f.front() == 0) return quoted + " starts with 0, a delay rather than a target";
    if (f.back() == 0) return quoted + " ends with 0, memory the target never uses";
    target = Target(std::move(f));
    return {};
}

} // namespace channel
