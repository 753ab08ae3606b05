#include "tools/sim/shell_testing.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <utility>

namespace sim {

RunningShell::RunningShell(const std::string& command) : pipe_(::popen(command.c_str(), "r")) {}

RunningShell::~RunningShell() {
  if (pipe_ != nullptr) finish();
}

RunningShell::RunningShell(RunningShell&& other) noexcept : pipe_(std::exchange(other.pipe_, nullptr)) {}

ShellOutcome RunningShell::finish() {
  ShellOutcome outcome;
  if (pipe_ == nullptr) return outcome;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe_)) > 0) outcome.output.append(buffer, count);
  const int status = ::pclose(std::exchange(pipe_, nullptr));
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

ShellOutcome shell(const std::string& command) { return RunningShell(command).finish(); }

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "");
  for (std::string directory; std::getline(directories, directory, ':');) {
    if (!directory.empty() && ::access((directory + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace sim
