// Outputs written in full or not at all, and the progress line's text.
#include "platform/output_file.h"
#include "platform/progress.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(OutputFile, AppearsOnlyWhenCommitted) {
    const fs::path dir = fs::temp_directory_path() / ("qv-out-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string target = (dir / "a.txt").string();
    for (bool commit : {false, true}) {
        { // the temporary goes with the object unless committed
            platform::OutputFile f;
            ASSERT_TRUE(f.Open(target)) << f.error();
            EXPECT_TRUE(std::fputs("abc", f.get()) >= 0 && f.Finish() && fs::exists(f.temp()));
            EXPECT_FALSE(fs::exists(target));
            if (commit) {
                EXPECT_TRUE(f.Commit() && f.temp().empty());
            }
        }
        EXPECT_EQ(fs::exists(target), commit);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), commit);
    }
    EXPECT_EQ(fs::file_size(target), 3u);
    for (const auto& [path, error] :
         {std::pair{dir, "Is a directory"}, {dir / "no/a", "No such"}}) {
        platform::OutputFile f;
        EXPECT_FALSE(f.Open(path.string()));
        EXPECT_EQ(f.error().rfind(error, 0), 0u) << f.error();
    }
    fs::remove_all(dir);
}

TEST(ProgressText, RateAndTimeLeft) {
    struct Case {
        std::uint64_t done, total;
        double seconds;
        const char *detail, *text;
    } const cases[] = {
        {0, 10, 0.5, "", "0/10 runs, 0%"},
        {250, 1000, 2.0, "", "250/1000 runs, 25% | 125 runs/s | 6s left"},
        {10, 700, 1.0, "", "10/700 runs, 1% | 10 runs/s | 1:09 left"},
        {1, 3601, 1.0, "", "1/3601 runs, 0% | 1 runs/s | 1:00:00 left"},
        {1000, 1000, 4.0, "last", "1000/1000 runs, 100% | 250 runs/s | last"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::ProgressText("runs", c.done, c.total, c.seconds, c.detail), c.text);
}

} // namespace
