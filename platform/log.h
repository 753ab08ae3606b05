// Diagnostic lines on standard output.
#pragma once

#include <string_view>

namespace platform {

// Writes one line (a newline is added) and flushes it; lines from both threads never interleave.
void logLine(std::string_view line);

}  // namespace platform
