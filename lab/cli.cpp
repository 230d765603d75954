#include "lab/cli.h"

#include <cstdio>

namespace lab {

CLI::Option* AddChecked(CLI::App& app, const std::string& name, const std::string& description,
                        std::function<std::string(const std::string&)> take) {
    const std::string flag = name.substr(0, name.find(','));
    return app.add_option_function<std::string>(
        name,
        [flag, take](const std::string& text) {
            if (std::string error = take(text); !error.empty())
                throw CLI::ValidationError(flag, error);
        },
        description);
}

void AddNoiseLevel(CLI::App& app, choices::NoiseLevel& level, const std::string& sigmaDescription) {
    CLI::Option* bySigma =
        AddChecked(app, "--sigma", sigmaDescription, [&level](const std::string& text) {
            level.bySnr = false;
            return choices::ParseSigma(text, level.sigma);
        })->type_name("S");
    CLI::Option* bySnr = AddChecked(app, "--snr", "noise as SNR in dB instead of --sigma",
                                    [&level](const std::string& text) {
                                        level.bySnr = true;
                                        return choices::ParseSnr(text, level.snrDb);
                                    })
                             ->type_name("DB");
    bySigma->excludes(bySnr);
}

CLI::Option* AddTarget(CLI::App& app, channel::Target& target) {
    return AddChecked(
               app, "--target",
               "the partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's, the "
               "default) or its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1)",
               [&target](const std::string& text) { return channel::Target::Parse(text, target); })
        ->type_name("NAME|LIST");
}

CLI::Option* AddPictureSize(CLI::App& app, int& width, int& height, const std::string& fallback) {
    return AddChecked(app, "--size", "the picture's size in pixels (default " + fallback + ")",
                      [&width, &height](const std::string& text) {
                          return choices::ParseSize(text, width, height);
                      })
        ->type_name("WxH");
}

void CheckChartSize(const std::string& png, int width, int height) {
    if (!png.empty() && (width < choices::kMinChart || height < choices::kMinChart))
        throw CLI::ValidationError("--size", "a chart needs at least " +
                                                 std::to_string(choices::kMinChart) +
                                                 " pixels each way");
}

CLI::Option* AddCount(CLI::App& app, const std::string& name, std::uint64_t& value,
                      std::uint64_t lo, std::uint64_t hi, const std::string& description) {
    return AddChecked(app, name, description,
                      [&value, lo, hi](const std::string& text) {
                          return choices::ParseCount(text, lo, hi, value);
                      })
        ->type_name("N");
}

CLI::Option* AddCount(CLI::App& app, const std::string& name, int& value, std::uint64_t lo,
                      std::uint64_t hi, const std::string& description) {
    return AddChecked(app, name, description,
                      [&value, lo, hi](const std::string& text) {
                          return choices::ParseCount(text, lo, hi, value);
                      })
        ->type_name("N");
}

int FileError(const std::string& name, const std::string& why) {
    std::fprintf(stderr, "quorvane-lab: cannot write %s: %s\n",
                 name == "-" ? "standard output" : name.c_str(), why.c_str());
    return kExitFile;
}

int FinishStdout(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return FileError("-", "write failed");
    return status;
}

} // namespace lab
