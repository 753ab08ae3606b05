// Diagnostic lines on standard output.
#pragma once

#include <string_view>

namespace platform {

// Writes one line (a newline is added) and flushes it; lines from both threads never interleave.
void logLine(std::string_view line);

// For fuzzing, where millions of inputs would each log: while one lives, logLine writes
// nothing, on any thread. They nest.
class QuietLog {
 public:
  QuietLog();
  ~QuietLog();
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;
};

}  // namespace platform
