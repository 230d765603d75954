// Feeds the lab's value parsers arbitrary text: the first byte picks the
// parser, the rest is the option's value. Whatever they are given, they must
// not throw, must refuse with one line, and what they accept must lie within
// the limits the engines rely on.
#include "channel/target.h"
#include "choices/targets.h"
#include "choices/values.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "lab_values_fuzz: %s for '%s'\n", what, text.c_str());
    std::abort();
}

void Refusal(const std::string& error, const std::string& text) {
    if (error.find('\n') != std::string::npos) Fail("refusal spans more than one line", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        switch (data[0] % 10) {
        case 0: {
            std::vector<double> sigmas;
            const std::string error = choices::ParseSigmaList(text, sigmas);
            if (!error.empty()) return Refusal(error, text), 0;
            if (sigmas.empty() || sigmas.size() > choices::kMaxPoints) Fail("sigma count", text);
            for (double s : sigmas)
                if (!(s >= 0 && s <= choices::kMaxSigma)) Fail("sigma out of range", text);
            break;
        }
        case 1: {
            std::vector<double> dbs;
            const std::string error = choices::ParseSnrRange(text, dbs);
            if (!error.empty()) return Refusal(error, text), 0;
            if (dbs.empty() || dbs.size() > choices::kMaxPoints) Fail("point count", text);
            for (std::size_t i = 0; i < dbs.size(); ++i) {
                if (!(dbs[i] >= choices::kMinSnrDb && dbs[i] <= choices::kMaxSnrDb + 1e-6))
                    Fail("SNR out of range", text);
                if (i > 0 && !(dbs[i] > dbs[i - 1])) Fail("SNR points not ascending", text);
            }
            break;
        }
        case 2: {
            int width = 0, height = 0;
            const std::string error = choices::ParseSize(text, width, height);
            if (!error.empty()) return Refusal(error, text), 0;
            for (int side : {width, height})
                if (side < choices::kMinPicture || side > choices::kMaxPicture)
                    Fail("size out of range", text);
            break;
        }
        case 3: {
            std::uint64_t count = 0;
            const std::string error = choices::ParseCount(text, 1, choices::kMaxBits, count);
            if (!error.empty()) return Refusal(error, text), 0;
            if (count < 1 || count > choices::kMaxBits) Fail("count out of range", text);
            break;
        }
        case 5: {
            std::vector<double> densities;
            const std::string error = choices::ParseRange(text, 0.5, 5, "D", densities);
            if (!error.empty()) return Refusal(error, text), 0;
            if (densities.empty() || densities.size() > choices::kMaxPoints)
                Fail("density count", text);
            for (double d : densities)
                if (!(d >= 0.5 && d <= 5)) Fail("density out of range", text);
            break;
        }
        case 6: {
            int taps = 0;
            const std::string error = choices::ParseTaps(text, 3, 63, taps);
            if (!error.empty()) return Refusal(error, text), 0;
            if (taps < 3 || taps > 63 || taps % 2 == 0) Fail("taps out of range or even", text);
            break;
        }
        case 7: {
            std::vector<choices::TargetChoice> targets;
            const std::string error = choices::ParseTargets(text, true, targets);
            if (!error.empty()) return Refusal(error, text), 0;
            if (targets.empty() || targets.size() > 16) Fail("target count", text);
            for (const choices::TargetChoice& t : targets)
                if (t.gpr != 0 && (t.gpr < 2 || t.gpr > 6)) Fail("gpr length out of range", text);
            break;
        }
        case 8: {
            std::vector<double> dbs;
            const std::string error = choices::ParseSnrList(text, dbs);
            if (!error.empty()) return Refusal(error, text), 0;
            if (dbs.empty() || dbs.size() > choices::kMaxPoints) Fail("point count", text);
            for (double db : dbs)
                if (!(db >= choices::kMinSnrDb && db <= choices::kMaxSnrDb))
                    Fail("SNR out of range", text);
            break;
        }
        case 9: {
            bool tail = false;
            const std::string error = choices::ParseTail(text, tail);
            if (!error.empty()) return Refusal(error, text), 0;
            if (text != (tail ? "zero" : "none")) Fail("a tail other than zero or none", text);
            break;
        }
        default: {
            channel::Target target;
            const std::string error = channel::Target::Parse(text, target);
            if (!error.empty()) return Refusal(error, text), 0;
            if (target.Memory() < channel::kMinMemory || target.Memory() > channel::kMaxMemory)
                Fail("memory out of range", text);
            for (double f : target.Coefficients())
                if (!(std::fabs(f) <= channel::kMaxCoefficient))
                    Fail("coefficient out of range", text);
            if (target.Coefficients().front() == 0 || target.Coefficients().back() == 0)
                Fail("a zero at either end", text);
            if (!(target.D2Min() > 0 && target.D2Min() <= target.Energy()))
                Fail("d2min outside (0, energy]", text);
            break;
        }
        }
    } catch (...) {
        Fail("a parser threw", text);
    }
    return 0;
}
