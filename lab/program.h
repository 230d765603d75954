#pragma once
// quorvane-lab's commands on one parser: the program's summary and model
// text, every command's subcommand and options, and the chosen one checked
// and run. The program's own main (quorvane-lab/) adds the lab window's
// `gui` beside them, so that this folder never reaches up to the window.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "lab/commands.h"

namespace lab {

extern const char* const kSummary;
// The model of the lab, for the program's --help.
std::string ModelText();

class Program {
  public:
    // Adds every command to `app`.
    explicit Program(CLI::App& app);
    // The commands' names, as a user types them.
    static std::vector<std::string> Names();
    // After the parse: what the parser cannot see by itself (throws
    // CLI::ParseError).
    void Check();
    // Whether one of these commands was given, and its exit status once run.
    bool Chosen() const;
    int Run();

  private:
    EventsOptions events_;
    DetectOptions detect_;
    BerOptions ber_;
    EyeOptions eye_;
    TargetsOptions targets_;
    LlrOptions llr_;
    ExitOptions exit_;
    CodeOptions code_;
    SfrOptions sfr_;
    TimingOptions timing_;
    ConstraintsOptions constraints_;
    CLI::App* eventsCommand_ = nullptr;
    CLI::App* detectCommand_ = nullptr;
    CLI::App* berCommand_ = nullptr;
    CLI::App* eyeCommand_ = nullptr;
    CLI::App* targetsCommand_ = nullptr;
    CLI::App* llrCommand_ = nullptr;
    CLI::App* exitCommand_ = nullptr;
    CLI::App* codeCommand_ = nullptr;
    CLI::App* sfrCommand_ = nullptr;
    CLI::App* timingCommand_ = nullptr;
    CLI::App* constraintsCommand_ = nullptr;
};

} // namespace lab
