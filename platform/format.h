#pragma once
// Number texts as the window shows them.
#include <string>
#include <string_view>

namespace platform {

// Formats a value by "0.0" or "+0.0" style patterns: digits before the point
// at least as many as '0's there, exactly as many after it as '0's there,
// leading literal characters copied; the point becomes the locale's decimal mark.
std::string FormatFloat(std::string_view pattern, long double value);

} // namespace platform
