// A pseudo-terminal standing in for one serial line of the board.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

// The master is put in raw mode before the slave is ever opened, so nothing written on either
// side is echoed or translated. The pseudo-terminal keeps a descriptor of its own on the slave:
// the line then stays up while no program has the slave open (the master neither hangs up nor
// fails reads with EIO), which lets a service be stopped and started again on the same line.
// Failures to set it up throw std::system_error.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int masterFd() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

  // Makes `link` a symbolic link to the slave, replacing whatever was there. The link is
  // removed again when the pseudo-terminal goes away. It goes through this process's own
  // descriptor of the slave (/proc/PID/fd/N), so it leads nowhere once the process has ended
  // however it ended: a program that keeps reopening the path cannot reach the pseudo-terminal
  // of the same number that the system hands to someone else later.
  void linkSlaveAt(const std::filesystem::path& link);

  // Discards what was written on the master and not yet read on the slave, as a line that
  // is powered up afresh holds nothing.
  void discardSlaveInput();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::filesystem::path link_;
  std::filesystem::path linkTarget_;
};

}  // namespace sim
