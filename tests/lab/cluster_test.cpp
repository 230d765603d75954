// quorvane-lab ber under mpirun: the same files and table for any number of
// processes as without it, SIGTERM keeps the finished points, and a process
// that dies ends the run with nothing written.
#include "tests/program_fixture.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using testsupport::Result;
using testsupport::Slurp;

namespace {

class Cluster : public testsupport::ProgramTest {
  protected:
    Cluster() : ProgramTest(QUORVANE_LAB, "qv-cluster-") {
        // CI may run as root, which mpirun refuses unless told.
        setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
        setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
        // Under the sanitizers: Open MPI unloads its components when it
        // finalises, and what they keep allocated can then be traced to no
        // module at all, so the processes it runs are checked for memory
        // errors but not for leaks (the lab's other tests still are).
        if (const char* asan = std::getenv("ASAN_OPTIONS"))
            setenv("ASAN_OPTIONS", (std::string(asan) + ":detect_leaks=0").c_str(), 1);
    }
    // A tree configured with Open MPI that has lost its mpirun since.
    void SetUp() override {
        ProgramTest::SetUp();
        if (access(QUORVANE_MPIRUN, X_OK) != 0) GTEST_SKIP() << QUORVANE_MPIRUN << " is missing";
    }
    // `args` on n processes, as many slots as asked for whatever the cores.
    Result Mpi(int n, const std::string& args) { return Wait(StartMpi(n, args)); }
    pid_t StartMpi(int n, const std::string& args) {
        return StartWith(std::string(QUORVANE_MPIRUN) + " --oversubscribe -n " + std::to_string(n) +
                             " " + QUORVANE_LAB,
                         args);
    }
    pid_t StartWith(const std::string& program, const std::string& args) {
        const std::string cmd =
            "exec " + program + " " + args + " >" + P("out.txt") + " 2>" + P("err.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
};

// The process under `parent` whose MPI rank is `rank`, or 0.
pid_t RankOf(pid_t parent, int rank) {
    DIR* proc = opendir("/proc");
    pid_t found = 0;
    for (dirent* e; found == 0 && (e = readdir(proc)) != nullptr;) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::istringstream stat(Slurp("/proc/" + std::to_string(pid) + "/stat"));
        std::string field;
        for (int i = 0; i < 4 && stat >> field; ++i) {
        }
        if (std::atoi(field.c_str()) != parent) continue;
        const std::string env = Slurp("/proc/" + std::to_string(pid) + "/environ");
        if (env.find(std::string("OMPI_COMM_WORLD_RANK=") + std::to_string(rank) + '\0') !=
            std::string::npos)
            found = pid;
    }
    closedir(proc);
    return found;
}

TEST_F(Cluster, AnyNumberOfProcessesWritesTheSameFiles) {
    // Points that end on errors within a round and one that ends on bits
    // with a short last chunk; each process with one thread or two.
    const std::string sweep = "ber --snr 14:22:2 --bits 300000 --errors 100 --frame 1000";
    const Result plain = Run(sweep + " --csv " + P("plain.csv"));
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string want = Slurp(P("plain.csv"));
    ASSERT_EQ(std::count(want.begin(), want.end(), '\n'), 6);
    const struct {
        int processes;
        const char* threads;
    } cases[] = {{1, ""}, {2, " --threads 1"}, {3, " --threads 2"}, {2, ""}};
    for (const auto& c : cases) {
        const Result r = Mpi(c.processes, sweep + c.threads + " --csv " + P("mpi.csv"));
        ASSERT_EQ(r.status, 0) << c.processes << ": " << r.err;
        EXPECT_EQ(Slurp(P("mpi.csv")), want) << c.processes << c.threads;
        EXPECT_EQ(r.out, plain.out) << c.processes << c.threads;
    }
    // "-": only rank 0 writes to standard output.
    EXPECT_EQ(Mpi(3, sweep + " --csv -").out, want);
    // Every rank designs the same channel: a head (equalizer, predictor, a
    // gprL target per point), and the fast path (the lanes, the converter).
    for (const char* args :
         {"ber --channel lorentz --density 2.5 --jitter 0.05 --snr 18:22:2 --bits 3e5 --errors 100",
          "ber --target e2pr4,gpr3 --channel erf --snr 18:20:2 --bits 2e5 --errors 100",
          "ber --snr 14:22:2 --bits 3e5 --errors 100 --noise-stream lanes --adc-bits 6"}) {
        const std::string frame = std::string(args) + " --frame 1000 --csv ";
        ASSERT_EQ(Run(frame + P("plain.csv")).status, 0) << args;
        const Result r = Mpi(2, frame + P("mpi.csv"));
        ASSERT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(Slurp(P("mpi.csv")), Slurp(P("plain.csv"))) << args;
    }
}

TEST_F(Cluster, SigtermKeepsTheFinishedPointsAndALostProcessWritesNothing) {
    // The first point ends at once, the second would run for hours.
    const std::string args = "ber --sigma 3,0.05 --errors 100 --bits 1e13 --threads 1 --csv ";
    // SIGTERM to mpirun, to rank 1 alone (rank 0 stops with it and says so),
    // SIGKILL to rank 1.
    for (const int how : {0, 1, 2}) {
        const bool kill9 = how == 2;
        const pid_t mpirun = StartMpi(2, args + P("ber.csv"));
        for (int i = 0; i < 600 && Slurp(P("out.txt")).find("4.93") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (how > 0) {
            const pid_t rank1 = RankOf(mpirun, 1);
            ASSERT_NE(rank1, 0);
            kill(rank1, kill9 ? SIGKILL : SIGTERM);
        } else {
            // What mpirun does with Ctrl-C and SIGTERM: SIGTERM to every
            // process, SIGKILL a second later.
            kill(mpirun, SIGTERM);
        }
        const Result r = Wait(mpirun);
        EXPECT_NE(r.status, 0) << r.err;
        if (kill9) {
            EXPECT_NE(r.err.find("quorvane-lab (rank 0 of 2): a process of the MPI run is gone; "
                                 "stopped after 1 of 2 points, nothing written"),
                      std::string::npos)
                << r.err;
            EXPECT_TRUE(Files().empty());
        } else {
            EXPECT_NE(r.err.find(how == 0 ? "quorvane-lab: stopped by SIGTERM after 1 of 2 points"
                                          : "quorvane-lab: stopped by a signal to another "
                                            "process of the run after 1 of 2 points"),
                      std::string::npos)
                << r.err;
            const std::string csv = Slurp(P("ber.csv"));
            EXPECT_EQ(csv.rfind("snr_db,", 0), 0u);
            EXPECT_NE(csv.find("\n4.92915522,3,65536,"), std::string::npos) << csv;
            EXPECT_EQ(Files(), std::vector<std::string>{"ber.csv"});
            std::remove(P("ber.csv").c_str());
        }
    }
}

} // namespace
