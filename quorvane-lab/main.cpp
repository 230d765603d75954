// quorvane-lab: the command line's commands (lab/) and the lab window
// (labwindow/, `quorvane-lab gui`) in one program. This folder sits above
// both, so neither includes the other.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "console/output_file.h"
#include "lab/program.h"
#include "labwindow/run.h"

int main(int argc, char** argv) {
    CLI::App app{lab::kSummary, "quorvane-lab"};
    app.set_version_flag("--version", std::string("quorvane-lab ") + QUORVANE_VERSION);
    app.require_subcommand(1);
    app.footer(lab::ModelText());

    lab::Program program(app);
    CLI::App* guiCommand = app.add_subcommand("gui", "the lab window: all of the above, live");
    guiCommand->footer(
        "Opens Quorvane Lab, a window with the channel's way back: a block's waveform with\n"
        "the noise, the received samples and every detector's decisions (Space: the next\n"
        "block, N: new noise), its trellis with the survivors and the error events, the\n"
        "eye growing live (on a head at the equalizer's output), an error-rate sweep on\n"
        "worker threads, the error events, and the block's phase track through a clock\n"
        "that is off (the Timing tab, with its own timing options).\n"
        "Settings and the window's place are remembered between starts. Needs a display\n"
        "(DISPLAY or WAYLAND_DISPLAY); the toolkit's own options (-platform NAME ...) are\n"
        "passed on. Exit status: 0 after the window is closed, 1 without a display.");
    guiCommand->allow_extras();

    try {
        // A word that is neither an option nor a command would otherwise be
        // reported as a missing command.
        std::vector<std::string> names = lab::Program::Names();
        names.push_back("gui");
        const std::string first = argc > 1 ? argv[1] : "-";
        bool known = first[0] == '-';
        std::string list;
        for (std::size_t i = 0; i < names.size(); ++i) {
            known = known || first == names[i];
            list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
        }
        if (!known)
            throw CLI::ExtrasError("unknown command '" + first + "'; the commands are " + list,
                                   CLI::ExitCodes::ExtrasError);
        app.parse(argc, argv);
        program.Check();
    } catch (const CLI::ParseError& e) {
        // --help, --version: a full standard output is a failure too.
        if (e.get_exit_code() == 0) return lab::FinishStdout(app.exit(e));
        std::string line = e.what();
        // One line, whatever the user typed: CLI11 quotes unknown words as
        // they came.
        for (char& c : line) {
            if (c == '\n') c = ' ';
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        }
        std::fprintf(stderr, "quorvane-lab: %s (see --help)\n", line.c_str());
        return lab::kExitUsage;
    }

    // A signal that ends the program removes what it had begun to write,
    // the window's saved files too.
    console::InstallCleanupHandlers();
    if (*guiCommand) {
        // The window gets the program's name and the toolkit's options.
        std::vector<std::string> words = {argv[0]};
        for (const std::string& w : guiCommand->remaining()) words.push_back(w);
        std::vector<char*> args;
        for (std::string& w : words) args.push_back(w.data());
        args.push_back(nullptr);
        return labwindow::RunLabWindow(static_cast<int>(words.size()), args.data());
    }
    return program.Run();
}
