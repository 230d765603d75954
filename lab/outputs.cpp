#include "lab/outputs.h"

#include <cstdio>

#include "lab/cli.h"

namespace lab {

int Open(console::OutputFile& file, const std::string& name) {
    if (name.empty() || file.Open(name)) return 0;
    return FileError(name, file.error());
}

int Finish(console::OutputFile& file, const std::string& name) {
    if (file.get() == nullptr || (file.Finish() && file.Commit())) return 0;
    return FileError(name, file.error());
}

int WriteCharts(console::OutputFile& png, const std::string& name,
                const std::vector<platform::Chart>& charts) {
    if (png.get() == nullptr) return 0;
    platform::OffscreenToolkit toolkit;
    if (!platform::WritePng(charts, png.get()) && std::ferror(png.get()) == 0)
        return FileError(name, "PNG encoding failed");
    return Finish(png, name);
}

} // namespace lab
