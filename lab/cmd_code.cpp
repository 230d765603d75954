// `quorvane-lab code`: the built-in LDPC codes, and what a code is.
#include <cstdio>
#include <fstream>

#include "choices/codes.h"
#include "codes/alist.h"
#include "codes/builtin.h"
#include "codes/report.h"
#include "lab/commands.h"

namespace lab {

CLI::App* AddCodeCommand(CLI::App& app, CodeOptions& options) {
    CLI::App* cmd =
        app.add_subcommand("code", "the LDPC codes: list the built-in ones, or report one");
    cmd->footer(
        "Alone, lists the built-in codes. With --code, prints the code's length n, its\n"
        "checks and their rank over GF(2), k = n - rank, the rate k / n, how many columns\n"
        "and rows have each weight, and the girth of its graph (its shortest cycle) with the\n"
        "number of cycles of that length. A file is read as an alist text (MacKay's format);\n"
        "a malformed or inconsistent one is refused with the line of the file that is\n"
        "wrong. --write-alist writes the code in that format.");
    AddChecked(*cmd, "--code", "a built-in code's name or an alist file",
               [&options](const std::string& text) {
                   options.given = true;
                   return choices::ChooseCode(text, options.code);
               })
        ->type_name("NAME|FILE");
    cmd->add_option("--write-alist", options.alist, "write the code as an alist file")
        ->type_name("FILE");
    return cmd;
}

void CheckCodeOptions(const CodeOptions& options) {
    if (!options.alist.empty() && !options.given)
        throw CLI::ValidationError("--write-alist", "needs the --code to write");
}

int RunCode(const CodeOptions& options) {
    if (!options.given) {
        for (const codes::BuiltinCode& code : codes::BuiltinCodes())
            std::fprintf(stdout, "%-10s %s\n", code.name, code.title);
        return FinishStdout(0);
    }
    std::fputs(codes::FormatReport(codes::Report(options.code)).c_str(), stdout);
    if (!options.alist.empty()) {
        const std::string text = codes::WriteAlist(options.code);
        if (options.alist == "-") {
            std::fputs(text.c_str(), stdout);
        } else {
            std::ofstream file(options.alist, std::ios::binary | std::ios::trunc);
            file << text;
            file.close();
            if (!file) return FileError(options.alist, "the write failed");
        }
    }
    return FinishStdout(0);
}

} // namespace lab
