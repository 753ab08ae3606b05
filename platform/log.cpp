#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::atomic<int> quietLogs{0};

}  // namespace

QuietLog::QuietLog() { quietLogs.fetch_add(1); }

QuietLog::~QuietLog() { quietLogs.fetch_sub(1); }

void logLine(std::string_view line) {
  if (quietLogs.load(std::memory_order_relaxed) > 0) return;
  static std::mutex outputLock;
  std::lock_guard<std::mutex> hold(outputLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace platform
