#pragma once
// A status line for long command-line jobs. No toolkit inside.
#include <chrono>
#include <cstdint>
#include <string>

namespace console {

// One status line on standard error, redrawn at most ~5 times a second, only
// when standard error is a terminal; otherwise it prints nothing at all. A
// job that ends within the first fifth of a second shows nothing either.
class Progress {
  public:
    // When the line shows: standard error is a terminal, or (for a process
    // whose output a launcher relays, as mpirun does, giving it a terminal
    // for standard output and a pipe for standard error) either is.
    enum Show { kStderr, kAnyTerminal };
    // label names the units counted: "runs", "bits", ...
    explicit Progress(std::string label, Show show = kStderr);
    ~Progress(); // erases the line if still shown
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool Active() const { return active_; }
    // done of total units, an optional detail text; shows the rate and the
    // time left.
    void Update(std::uint64_t done, std::uint64_t total, const std::string& detail = {});
    void Finish(); // erases the line

  private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    bool active_ = false;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
};

// The status line itself, without the terminal control: "1200/5000 runs,
// 24% | 3000 runs/s | 0:02 left | detail". Pure, for the line above.
std::string ProgressText(const std::string& label, std::uint64_t done, std::uint64_t total,
                         double seconds, const std::string& detail);

} // namespace console
