// quorvane as a user first meets it: outside a desktop session, asked for
// its usage or version, or told to use a platform that cannot start.
#include "tests/program_fixture.h"

#include <gtest/gtest.h>
#include <string>

namespace {

class Startup : public testsupport::ProgramTest {
  protected:
    // No session around the program; a case may set one variable back.
    Startup() : ProgramTest("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "qv-start-") {}
};

TEST_F(Startup, AnswersWithoutADisplayAndNeverAborts) {
    const std::string q = QUORVANE_PROGRAM;
    const std::string noDisplay = "quorvane: no display: neither DISPLAY nor WAYLAND_DISPLAY is "
                                  "set; quorvane-snapshot writes the window as a picture\n";
    // Under a platform that does not exist, status 0 shows the toolkit never started.
    const std::string none = "QT_QPA_PLATFORM=quorvane-none ";
    struct Case {
        std::string args;
        int status;
        std::string out; // the start of standard output
        std::string err; // all of standard error, or (after '~') a part of it
    };
    const Case cases[] = {
        {q, 1, "", noDisplay},
        {"DISPLAY= WAYLAND_DISPLAY= " + q, 1, "", noDisplay},
        {none + q + " --help", 0, "Usage: quorvane [Qt options]\n", ""},
        {none + q + " -h", 0, "Usage: quorvane [Qt options]\n", ""},
        {none + q + " -platform xcb --version", 0, "quorvane " QUORVANE_VERSION "\n", ""},
        // The user's choice is left to the toolkit, whose refusal is status 1.
        {none + q, 1, "", "~\"quorvane-none\""},
        {q + " -platform quorvane-none", 1, "", "~\"quorvane-none\""},
        {"DISPLAY=:65000 " + q, 1, "", "~could not connect to display :65000"},
        {"sh -c '" + q + " --version >/dev/full'", 1, "",
         "quorvane: cannot write standard output: No space left on device\n"},
    };
    for (const Case& c : cases) {
        const testsupport::Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.args;
        if (c.err.rfind('~', 0) == 0) {
            EXPECT_NE(r.err.find(c.err.substr(1)), std::string::npos) << c.args << ": " << r.err;
        } else {
            EXPECT_EQ(r.err, c.err) << c.args;
        }
    }
    // The usage names the manual page and both other programs.
    const std::string usage = Run(q + " --help").out;
    for (const char* name : {"quorvane(1)", "quorvane-snapshot", "quorvane-lab"})
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    EXPECT_TRUE(Files().empty());
}

} // namespace
