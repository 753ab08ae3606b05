// Shell commands for tests that run programs as scripts and people run them: the exit status
// and what the command wrote on its standard output.
#pragma once

#include <cstdio>
#include <string>

namespace sim {

struct ShellOutcome {
  int status = -1;  // the exit status, -1 when a signal ended it
  std::string output;
};

// Starts `command` under sh; finish() waits for it and collects its standard output. Several
// may run at once.
class RunningShell {
 public:
  explicit RunningShell(const std::string& command);
  ~RunningShell();
  RunningShell(const RunningShell&) = delete;
  RunningShell& operator=(const RunningShell&) = delete;
  RunningShell(RunningShell&& other) noexcept;

  ShellOutcome finish();

 private:
  std::FILE* pipe_;
};

// Runs `command` under sh to its end.
ShellOutcome shell(const std::string& command);

// Whether an executable `program` lies in a directory of PATH (for tests that need a tool the
// machine may not have, and skip without it).
bool onPath(const std::string& program);

}  // namespace sim
