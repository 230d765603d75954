#include "labwindow/model/display_check.h"

#include "channel/target.h"

#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace labmodel {
namespace {

bool Set(const char* value) {
    return value != nullptr && value[0] != '\0';
}

// The argument after -name or --name, or null.
const char* Argument(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') continue;
        if (arg[1] == '-') ++arg;
        if (std::strcmp(arg + 1, name) == 0) return argv[i + 1];
    }
    return nullptr;
}

bool IsSocket(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

std::string NoDisplayReason(const std::function<const char*(const char*)>& env, int argc,
                            char** argv) {
    const char* display = Argument(argc, argv, "display");
    const bool x11 = Set(display) || Set(env("DISPLAY"));
    const char* runtime = env("XDG_RUNTIME_DIR");
    const bool wayland = Set(env("WAYLAND_DISPLAY")) ||
                         (Set(runtime) && IsSocket(std::string(runtime) + "/wayland-0"));
    const char* chosen = Argument(argc, argv, "platform");
    const bool byArgument = Set(chosen);
    if (!byArgument) chosen = env("QT_QPA_PLATFORM");
    if (!Set(chosen)) {
        if (x11 || wayland) return {};
        return "neither DISPLAY nor WAYLAND_DISPLAY is set (the other commands need none)";
    }
    // Each entry of the list, without its options ("xcb:option").
    std::vector<std::string> names(1);
    for (const char* c = chosen; *c != '\0'; ++c) {
        if (*c == ';')
            names.emplace_back();
        else
            names.back() += *c;
    }
    for (std::string& name : names) {
        name = name.substr(0, name.find(':'));
        if (name == "xcb" ? x11 : name.rfind("wayland", 0) == 0 ? wayland : !name.empty())
            return {};
    }
    const std::string where = byArgument ? "-platform" : "QT_QPA_PLATFORM";
    return where + " is " + channel::Quoted(chosen) + ", but " +
           (names.front().rfind("wayland", 0) == 0 ? "WAYLAND_DISPLAY" : "DISPLAY") + " is not set";
}

} // namespace labmodel
