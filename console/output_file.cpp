#include "console/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace console {

namespace {

// Temporary files not yet renamed into place, and folders of this run, for
// the signal handler. Plain
// arrays: a slot's path is written before the count that exposes it, and the
// handler reads them with async-signal-safe calls only.
constexpr int kMaxPending = 16;
char pendingPaths[kMaxPending][4096];
volatile sig_atomic_t pendingCount = 0;

extern "C" void RemovePendingAndDie(int signal) {
    RemovePendingNow();
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
    if (!add) return;
    // Reuse a freed slot before taking a new one.
    for (int i = 0; i < pendingCount; ++i) {
        if (pendingPaths[i][0] == '\0' && temp.size() < sizeof pendingPaths[i]) {
            std::memcpy(pendingPaths[i] + 1, temp.c_str() + 1, temp.size());
            pendingPaths[i][0] = temp[0]; // the first byte last: the slot is whole when seen
            return;
        }
    }
    if (pendingCount < kMaxPending && temp.size() < sizeof pendingPaths[0]) {
        std::memcpy(pendingPaths[pendingCount], temp.c_str(), temp.size() + 1);
        pendingCount = pendingCount + 1;
    }
}

} // namespace

bool OutputFile::Open(const std::string& target) {
    target_ = target;
    if (target == "-") {
        isStdout_ = true;
        direct_ = true;
        file_ = stdout;
        return true;
    }
    // A device or a pipe (/dev/null, /dev/stdout, a named pipe) is written in
    // place: renaming a file over it would replace the device itself.
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            error_ = std::strerror(EISDIR);
            return false;
        }
        direct_ = true;
        file_ = std::fopen(target.c_str(), "wb");
        if (file_ == nullptr) error_ = std::strerror(errno);
        return file_ != nullptr;
    }
    // Through a symbolic link the file it names is replaced, not the link.
    const bool exists = stat(target.c_str(), &st) == 0;
    destination_ = target;
    if (char* real = exists ? realpath(target.c_str(), nullptr) : nullptr) {
        destination_ = real;
        std::free(real);
    }
    temp_ = destination_ + ".tmp.XXXXXX";
    const int fd = mkstemp(temp_.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        temp_.clear();
        return false;
    }
    Track(temp_, true);
    // mkstemp makes the file private; give it the mode of the file it
    // replaces, or the mode a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? st.st_mode & 07777 : 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        close(fd);
        return false;
    }
    return true;
}

std::string OutputFile::Shown() const {
    return isStdout_ ? "standard output" : target_;
}

bool OutputFile::Finish() {
    if (file_ == nullptr) return error_.empty();
    // A write that failed just before (ferror set) left its cause in errno.
    const int earlier = std::ferror(file_) != 0 ? errno : 0;
    errno = 0;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const int flushError = errno != 0 ? errno : earlier;
    if (!isStdout_) ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) error_ = flushError != 0 ? std::strerror(flushError) : "write failed";
    return ok;
}

bool OutputFile::Commit() {
    if (direct_ || temp_.empty()) return true;
    if (std::rename(temp_.c_str(), destination_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    Track(temp_, false);
    temp_.clear();
    return true;
}

OutputFile::~OutputFile() {
    if (file_ != nullptr && !isStdout_) std::fclose(file_);
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        Track(temp_, false);
    }
}

void RemovePendingNow() {
    for (int i = 0; i < pendingCount; ++i) {
        // A file, or an empty folder of this run.
        if (pendingPaths[i][0] != '\0' && unlink(pendingPaths[i]) != 0) rmdir(pendingPaths[i]);
    }
}

void RemoveOnSignal(const std::string& path, bool remove) {
    Track(path, remove);
}

void InstallCleanupHandlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, RemovePendingAndDie);
}

} // namespace console
