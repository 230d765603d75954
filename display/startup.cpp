#include "display/startup.h"

#include "channel/random.h"
#include "display/form1.h"
#include "platform/application.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace display {

namespace {

const char* const kUsage =
    "Usage: quorvane [Qt options]\n"
    "       quorvane --help | --version\n"
    "Opens the Quorvane window: one block of data through an E3PR4 partial-response\n"
    "read channel, a new block at each press of its button. The window takes no\n"
    "options of its own; everything else on the command line goes to Qt (for example\n"
    "-platform wayland).\n"
    "  -h, --help  this text\n"
    "  --version   the program's name and version\n"
    "Without a display, quorvane-snapshot writes the window as a picture;\n"
    "quorvane-lab adds noise to the channel and recovers the data. More in the\n"
    "manual page quorvane(1).\n"
    "Exit status: 0 after the window is closed, 1 without a display or after an error.\n";

// Prints text on standard output; a failed write is an error like any other.
int Print(const char* text) {
    errno = 0;
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quorvane: cannot write standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write failed");
        return 1;
    }
    return 0;
}

} // namespace

void CreateMainWindow(platform::Application& app) {
    channel::SeedRandom(1);
    app.CreateForm(Form1);
}

int Main(int argc, char** argv) {
    // --help and --version answer without the toolkit, so without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return Print(kUsage);
        if (arg == "--version") return Print("quorvane " QUORVANE_VERSION "\n");
    }
    if (!platform::HasDisplay(argc, argv)) {
        std::fputs("quorvane: no display: neither DISPLAY nor WAYLAND_DISPLAY is set; "
                   "quorvane-snapshot writes the window as a picture\n",
                   stderr);
        return 1;
    }
    return platform::RunApplication(argc, argv, CreateMainWindow);
}

} // namespace display
