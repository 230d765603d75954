#include "platform/format.h"

#include <QLocale>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

namespace {

struct Pattern {
    std::string prefix;
    std::string suffix;
    int intDigits = 0;  // '0's before the point: the least number of digits shown
    int fracDigits = 0; // '0's after the point: exactly this many shown
    bool point = false;
};

Pattern Parse(std::string_view text) {
    Pattern p;
    std::size_t i = 0;
    auto isDigitChar = [](char c) { return c == '0' || c == '#' || c == '.'; };
    while (i < text.size() && !isDigitChar(text[i])) p.prefix += text[i++];
    for (; i < text.size() && isDigitChar(text[i]); ++i) {
        const char c = text[i];
        if (c == '.') {
            p.point = true;
        } else if (c == '0') {
            (p.point ? p.fracDigits : p.intDigits) += 1;
        }
    }
    p.suffix = std::string(text.substr(i));
    return p;
}

// The magnitude's decimal digits, rounded to `decimals` places, half away
// from zero. The value is first written out exactly (every long double
// above the rounding threshold has a finite expansion within this many
// places), so a value a hair below a half rounds down and an exact half up.
std::string RoundedDigits(long double magnitude, int decimals, std::string& integerPart) {
    constexpr int kExact = 200;
    std::vector<char> buffer(static_cast<std::size_t>(kExact + decimals + 5000));
    const int n =
        std::snprintf(buffer.data(), buffer.size(), "%.*Lf", kExact + decimals, magnitude);
    std::string text(buffer.data(), static_cast<std::size_t>(std::max(n, 0)));
    const std::size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    const bool up =
        static_cast<int>(frac.size()) > decimals && frac[static_cast<std::size_t>(decimals)] >= '5';
    frac.resize(static_cast<std::size_t>(decimals));
    std::string digits = whole + frac;
    if (up) {
        int k = static_cast<int>(digits.size()) - 1;
        while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9')
            digits[static_cast<std::size_t>(k--)] = '0';
        if (k >= 0) {
            ++digits[static_cast<std::size_t>(k)];
        } else {
            digits.insert(digits.begin(), '1');
        }
    }
    integerPart = digits.substr(0, digits.size() - static_cast<std::size_t>(decimals));
    return digits.substr(digits.size() - static_cast<std::size_t>(decimals));
}

} // namespace

std::string FormatFloat(std::string_view pattern, long double value) {
    const Pattern p = Parse(pattern);
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";

    std::string whole;
    const std::string frac = RoundedDigits(std::fabs(value), p.fracDigits, whole);
    // Leading zeros beyond the pattern's minimum go; "0.0" keeps one.
    std::size_t strip = 0;
    while (strip + 1 < whole.size() && whole[strip] == '0' &&
           static_cast<int>(whole.size() - strip) > p.intDigits) {
        ++strip;
    }
    whole.erase(0, strip);
    if (p.intDigits == 0 && whole == "0") whole.clear();
    while (static_cast<int>(whole.size()) < p.intDigits) whole.insert(whole.begin(), '0');

    // A value that rounds to zero shows no sign.
    const bool zero = (whole + frac).find_first_not_of('0') == std::string::npos;
    std::string out;
    if (value < 0 && !zero) out += '-';
    out += p.prefix;
    out += whole;
    if (p.fracDigits > 0) {
        out += QLocale().decimalPoint().toStdString();
        out += frac;
    }
    out += p.suffix;
    return out;
}

} // namespace platform
