#pragma once
// Outputs of the command-line programs: each one is written in full or not
// at all. Plain POSIX, no toolkit: the window's toolkit layer and every
// command-line front end use it alike.
#include <cstdio>
#include <string>

namespace console {

// An output a program writes in full or not at all: a temporary file beside
// the target, renamed into place by Commit(), removed otherwise and also when
// SIGINT/SIGTERM/SIGHUP/SIGPIPE ends the process (after
// InstallCleanupHandlers()). The name "-" means standard output, which is
// written directly and never closed; an existing device or pipe is written
// directly too. Replacing a file keeps its mode, and through a symbolic link
// the file it names is replaced.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile(); // removes an uncommitted temporary

    bool Open(const std::string& target); // false + error() when it cannot be created
    std::FILE* get() const { return file_; }
    bool IsStdout() const { return isStdout_; }
    const std::string& target() const { return target_; }
    // The path to write by name (e.g. for an encoder that takes a path);
    // empty for "-" and once committed.
    const std::string& temp() const { return temp_; }
    // What went wrong, for "cannot write NAME: error()".
    const std::string& error() const { return error_; }
    // The target as a message should name it: "standard output" for "-".
    std::string Shown() const;

    bool Finish(); // flush/close, false on a write error
    bool Commit(); // rename into place (no-op for "-")

  private:
    std::string target_;
    std::string destination_; // the target with symbolic links resolved
    std::string temp_;
    std::string error_;
    std::FILE* file_ = nullptr;
    bool isStdout_ = false;
    bool direct_ = false; // no temporary: standard output, a device or a pipe
};

// From now on a signal that ends the process removes every temporary file
// not yet committed, then ends the process as the signal would have.
void InstallCleanupHandlers();
// Adds a path of this run (a file, or a folder that is empty by then) to what
// such a signal removes, or with remove false takes it off again.
void RemoveOnSignal(const std::string& path, bool remove);
// Removes now what such a signal would remove: for a program that has to end
// at once, without unwinding. Async-signal-safe.
void RemovePendingNow();

} // namespace console
