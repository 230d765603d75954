#pragma once
// Python arguments read by the lab's own parsers (lab/options.h). A number
// or a list becomes the text the command line would have been given, and a
// refusal is the command line's own line, raised as ValueError
// "name: line" with the argument's Python name in front.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pyquorvane {

namespace py = pybind11;

[[noreturn]] void Refuse(const char* name, const std::string& line);

// A number as the command line would spell it: an integer in decimal, any
// other number as Python's repr of its float, which reads back as the same
// double. A str is taken as it is; anything else is refused.
std::string NumberText(const char* name, py::handle value);
// A list of numbers joined with commas, or a str as it is.
std::string ListText(const char* name, py::handle value);

double Sigma(const char* name, py::handle value);
std::vector<double> Sigmas(const char* name, py::handle value);
double Snr(const char* name, py::handle value);
// "FROM:TO:STEP" as the command line's --snr, or one SNR or a list of them.
std::vector<double> Snrs(const char* name, py::handle value);
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
