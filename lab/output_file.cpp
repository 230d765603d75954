#include "lab/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lab {
namespace {

// Temporaries not yet renamed into place, for the signal handler. Plain
// arrays, written before a signal can need them and read only with
// async-signal-safe calls.
constexpr int kMaxPending = 4;
char pendingPaths[kMaxPending][4096];
volatile std::sig_atomic_t pendingCount = 0;

extern "C" void RemovePendingAndDie(int signal) {
    for (int i = 0; i < pendingCount; ++i) {
        if (pendingPaths[i][0] != '\0') unlink(pendingPaths[i]);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void Track(const std::string& temp, bool add) {
    for (int i = 0; i < pendingCount; ++i) {
        if (temp == pendingPaths[i]) {
            if (!add) pendingPaths[i][0] = '\0';
            return;
        }
    }
    if (add && pendingCount < kMaxPending && temp.size() < sizeof pendingPaths[0]) {
        std::memcpy(pendingPaths[pendingCount], temp.c_str(), temp.size() + 1);
        pendingCount = pendingCount + 1;
    }
}

} // namespace

bool OutputFile::Open(const std::string& target) {
    target_ = target;
    if (IsStdout()) {
        file_ = stdout;
        return true;
    }
    // A target the rename could not replace is refused now, before any work.
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        error_ = "is a directory";
        return false;
    }
    temp_ = target + ".tmp.XXXXXX";
    const int fd = mkstemp(temp_.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        temp_.clear();
        return false;
    }
    Track(temp_, true);
    // mkstemp makes the file private; give it the mode a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        close(fd);
        return false;
    }
    return true;
}

bool OutputFile::Finish() {
    if (file_ == nullptr) return error_.empty();
    const bool ok = std::ferror(file_) == 0;
    const bool closed = IsStdout() ? std::fflush(file_) == 0 : std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed) error_ = "write failed";
    return ok && closed;
}

bool OutputFile::Commit() {
    if (IsStdout() || temp_.empty()) return true;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    Track(temp_, false);
    temp_.clear();
    return true;
}

OutputFile::~OutputFile() {
    if (file_ != nullptr && !IsStdout()) std::fclose(file_);
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        Track(temp_, false);
    }
}

void InstallCleanupHandlers() {
    std::signal(SIGTERM, RemovePendingAndDie);
    std::signal(SIGHUP, RemovePendingAndDie);
    // A closed pipe on standard output ends the program as usual, but not
    // with a half-written file beside it.
    std::signal(SIGPIPE, RemovePendingAndDie);
}

} // namespace lab
