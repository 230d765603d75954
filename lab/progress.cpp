#include "lab/progress.h"

#include <cstdio>
#include <unistd.h>

namespace lab {
namespace {

// 12345678 -> "12.3M": short enough for a status line.
std::string Short(double v) {
    const char* const prefixes[] = {"", "k", "M", "G", "T", "P"};
    int i = 0;
    while (v >= 1000 && i < 5) {
        v /= 1000;
        ++i;
    }
    char text[32];
    std::snprintf(text, sizeof text, i == 0 ? "%.0f%s" : "%.3g%s", v, prefixes[i]);
    return text;
}

} // namespace

Progress::Progress(std::string label) : label_(std::move(label)), active_(isatty(2) == 1) {}

void Progress::Update(std::uint64_t done, std::uint64_t total, const std::string& detail) {
    if (!active_) return;
    const Clock::time_point now = Clock::now();
    const bool restart = !shown_ || total != total_ || done < lastDone_;
    lastDone_ = done;
    if (restart) {
        start_ = now;
        startDone_ = done;
        total_ = total;
    } else if (now - lastDraw_ < std::chrono::milliseconds(200)) {
        return;
    }
    lastDraw_ = now;
    std::string line = "\r" + label_ + ": " + detail + (detail.empty() ? "" : ", ") +
                       Short(static_cast<double>(done)) + " of " +
                       Short(static_cast<double>(total));
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (seconds > 0.5 && done > startDone_) {
        const double rate = static_cast<double>(done - startDone_) / seconds;
        const double left = done < total ? static_cast<double>(total - done) / rate : 0.0;
        const long secs = static_cast<long>(left + 0.5);
        char tail[96];
        std::snprintf(tail, sizeof tail, ", %s/s, %ld:%02ld left", Short(rate).c_str(), secs / 60,
                      secs % 60);
        line += tail;
    }
    line += "\033[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Finish() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

} // namespace lab
