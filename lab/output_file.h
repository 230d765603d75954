#pragma once
// An output the lab writes in full or not at all: a temporary file beside the
// target, renamed into place by Commit() and removed otherwise, also when
// SIGTERM, SIGHUP or SIGPIPE ends the process (after InstallCleanupHandlers()). The
// name "-" means standard output, which is written directly.
#include <cstdio>
#include <string>

namespace lab {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile(); // removes an uncommitted temporary

    bool Open(const std::string& target); // false + error() when it cannot be created
    std::FILE* get() const { return file_; }
    bool IsStdout() const { return target_ == "-"; }
    const std::string& target() const { return target_; }
    const std::string& temp() const { return temp_; } // empty for "-"
    const std::string& error() const { return error_; }
    bool Finish(); // flush and close; false on a write error
    bool Commit(); // rename into place (nothing to do for "-")

  private:
    std::string target_;
    std::string temp_;
    std::string error_;
    std::FILE* file_ = nullptr;
};

// Removes every uncommitted temporary when SIGTERM, SIGHUP or SIGPIPE ends
// the process. SIGINT is left to the program, which stops cleanly on it.
void InstallCleanupHandlers();

} // namespace lab
