#pragma once
// One status line on standard error, redrawn at most five times a second and
// only when standard error is a terminal; otherwise it prints nothing at all.
#include <chrono>
#include <cstdint>
#include <string>

namespace lab {

class Progress {
  public:
    explicit Progress(std::string label);
    ~Progress() { Finish(); }
    bool Active() const { return active_; }
    // `done` of `total` units, an optional detail; shows the rate and the time
    // left. A new `total` or a `done` that goes back starts a new rate.
    void Update(std::uint64_t done, std::uint64_t total, const std::string& detail = {});
    void Finish(); // erases the line

  private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    bool active_ = false;
    bool shown_ = false;
    Clock::time_point start_, lastDraw_;
    std::uint64_t startDone_ = 0, lastDone_ = 0, total_ = 0;
};

} // namespace lab
