#include "platform/log.h"

#include <cstdio>
#include <mutex>

namespace platform {

void logLine(std::string_view line) {
  static std::mutex outputLock;
  std::lock_guard<std::mutex> hold(outputLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace platform
