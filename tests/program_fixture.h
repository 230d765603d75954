#pragma once
// Runs one of our programs the way a user's shell does, in a private folder
// per test, and collects its status, standard output and standard error.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

inline std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Result {
    int status = -1; // the exit status, -1 when a signal ended the program
    std::string out, err;
};

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest(std::string program, std::string folderPrefix)
        : program_(std::move(program)), prefix_(std::move(folderPrefix)) {}

    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (prefix_ + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Starts the program with `args` (shell words) in the background; its
    // output goes to out.txt and err.txt in the test's folder.
    pid_t Start(const std::string& args) {
        const std::string cmd =
            "exec " + program_ + " " + args + " >" + P("out.txt") + " 2>" + P("err.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    Result Wait(pid_t pid) {
        int raw = 0;
        waitpid(pid, &raw, 0);
        Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(P("out.txt")), Slurp(P("err.txt"))};
        fs::remove(P("out.txt"));
        fs::remove(P("err.txt"));
        return r;
    }
    Result Run(const std::string& args) { return Wait(Start(args)); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    // What the program left in the test's folder.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        return names;
    }

    fs::path dir_;

  private:
    std::string program_;
    std::string prefix_;
};

} // namespace testsupport
