#pragma once
// The files a command writes, each in full or not at all (console/output_file.h),
// with one line on standard error and kExitFile when one cannot be written.
#include <string>
#include <vector>

#include "console/output_file.h"
#include "platform/picture.h"

namespace lab {

// Opens `name` when one was asked for: 0, or the status of the failure.
int Open(console::OutputFile& file, const std::string& name);
// Flushes and renames it into place: 0, or the status of the failure.
int Finish(console::OutputFile& file, const std::string& name);
// Draws the charts side by side into an opened PNG and finishes it.
int WriteCharts(console::OutputFile& png, const std::string& name,
                const std::vector<platform::Chart>& charts);

} // namespace lab
