#include "console/progress.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace console {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(200);

// "42s", "3:07", "1:02:09".
std::string Duration(double seconds) {
    const auto s = static_cast<std::uint64_t>(seconds + 0.5);
    char text[32];
    if (s < 60)
        std::snprintf(text, sizeof text, "%us", static_cast<unsigned>(s));
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(s / 60),
                      static_cast<unsigned>(s % 60));
    else
        std::snprintf(text, sizeof text, "%llu:%02u:%02u",
                      static_cast<unsigned long long>(s / 3600), static_cast<unsigned>(s / 60 % 60),
                      static_cast<unsigned>(s % 60));
    return text;
}

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace

std::string ProgressText(const std::string& label, std::uint64_t done, std::uint64_t total,
                         double seconds, const std::string& detail) {
    char text[160];
    const double percent = total > 0 ? 100.0 * static_cast<double>(done) / total : 100.0;
    std::snprintf(text, sizeof text, "%llu/%llu %s, %.0f%%", static_cast<unsigned long long>(done),
                  static_cast<unsigned long long>(total), label.c_str(), percent);
    std::string line = text;
    if (seconds > 0 && done > 0) {
        const double rate = static_cast<double>(done) / seconds;
        std::snprintf(text, sizeof text, " | %.0f %s/s", rate, label.c_str());
        line += text;
        if (done < total)
            line += " | " + Duration(static_cast<double>(total - done) / rate) + " left";
    }
    if (!detail.empty()) line += " | " + detail;
    return line;
}

Progress::Progress(std::string label, Show show)
    : label_(std::move(label)),
      active_(isatty(STDERR_FILENO) == 1 || (show == kAnyTerminal && isatty(STDOUT_FILENO) == 1)),
      start_(Clock::now()), last_(start_) {}

Progress::~Progress() {
    Finish();
}

void Progress::Update(std::uint64_t done, std::uint64_t total, const std::string& detail) {
    if (!active_) return;
    const Clock::time_point now = Clock::now();
    if (now - last_ < kRedraw) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = ProgressText(label_, done, total, seconds, detail);
    // One line that never wraps, so the carriage return redraws it in place.
    const auto columns = static_cast<std::size_t>(TerminalColumns() - 1);
    if (line.size() > columns) line.resize(columns);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Finish() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

} // namespace console
