#pragma once
// Python arguments through the choices' checks (choices/values.h): a number
// is checked as a number and named by its repr, a str is read by the same
// parser as the command line's text, so a refusal is the command line's own
// line, raised as ValueError "name: line" with the argument's Python name in
// front.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pyquorvane {

namespace py = pybind11;

[[noreturn]] void Refuse(const char* name, const std::string& line);
inline void Take(const char* name, const std::string& error) {
    if (!error.empty()) Refuse(name, error);
}

// A number and how the user wrote it: an int as its digits, any other number
// as the repr of its float (what reads back as the same double).
struct Number {
    double value = 0;
    std::string shown;
};
// Whether the value is a number (not a str, not a bool, not a sequence).
bool IsNumber(py::handle value);
// The number of a value; a bool or anything but a number is refused.
Number NumberOf(const char* name, py::handle value);
// A str as it is, else a TypeError naming what was expected.
std::string TextOf(const char* name, py::handle value, const char* expected);

double Sigma(const char* name, py::handle value);
std::vector<double> Sigmas(const char* name, py::handle value);
double Snr(const char* name, py::handle value);
// "FROM:TO:STEP" as the command line's --snr, or one SNR or a list of them.
std::vector<double> Snrs(const char* name, py::handle value);
double Positive(const char* name, py::handle value);
std::uint64_t Count(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi);
int SmallCount(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi);
// None: every core, as the command line's default.
int Threads(py::handle value);
// "zero" or "none".
bool Tail(py::handle value);
const char* TailName(bool tail);
// "WxH" or a pair (width, height).
void Size(const char* name, py::handle value, int& width, int& height);

} // namespace pyquorvane
