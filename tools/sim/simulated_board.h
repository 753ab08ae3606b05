// A whole simulated board: its directory, its two serial lines, the service running on it and
// the printer at the other end of the printer line.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/board_directory.h"
#include "tools/sim/pseudo_terminal.h"
#include "tools/sim/virtual_printer.h"
#include "values/bytes.h"

namespace sim {

// The command that runs a program built for the board on this machine, from the environment
// (FRCORE_LAUNCHER, e.g. "qemu-arm -L /" when the tests of a cross build run under an
// emulator); empty when the programs run natively.
std::vector<std::string> launcherFromEnvironment();

// The argument vector exec takes for `words`: pointers into them, ended by a null pointer. The
// words must outlive it.
std::vector<char*> execArguments(std::vector<std::string>& words);

enum class HostLineDirection { FromHost, FromService };

// The speed of the board's printer line in bits per second, as the register's printer driver
// sets it.
int boardPrinterBaud();
// A printer line without a speed: every byte reaches the printer as soon as it is written,
// as the pseudo-terminal carries it. Quick, for tests that are not about the line's time.
inline constexpr int kUnpacedPrinterLine = 0;

struct BoardOptions {
  std::filesystem::path root;
  // The program run as the board's service, and its arguments (for example "-s").
  std::filesystem::path service;
  std::vector<std::string> serviceArguments = {};
  // Append the service's standard output and error to root/frcore.log instead of sharing ours.
  bool logToFile = false;
  // Offer the host's end of the host line as the pseudo-terminal root/host. Without the relay
  // the host's end is hostMasterFd().
  bool hostRelay = false;
  // Put before the service's command: the emulator for a service built for the board. A native
  // program such as a shell takes none.
  std::vector<std::string> launcher = launcherFromEnvironment();
  // With the relay: called on the relay's thread with the bytes read from one side; what it
  // returns is written to the other (HostLineFaults loses chosen frames). None passes all.
  std::function<bytes::Bytes(HostLineDirection, bytes::View)> filterHostLine = {};
  // With the relay: called on the relay's thread with the bytes it carries, as they pass.
  std::function<void(HostLineDirection, bytes::View)> watchHostLine = {};
  // The printer line's speed in bits per second (8N1), for example boardPrinterBaud(): the
  // printer takes each byte only once the line has carried it, after the bytes before it,
  // and its answers come back at the same speed, so the service waits on its printer as long
  // as on the board. The pseudo-terminal holds what the printer has not taken yet (more than
  // the board's line would before a write blocks; the time to the printer's answers is the
  // same). Unpaced unless set.
  int printerBaud = kUnpacedPrinterLine;
};

// Thrown by a board whose directory another running service holds.
class BoardHeld : public std::runtime_error {
 public:
  explicit BoardHeld(const std::filesystem::path& root);
};

// Construction refuses a board another service holds (BoardHeld) before it touches anything,
// then prepares the directory (platform::prepareBoardDirectory), creates the host line (slave
// linked at root/dev/ttyGS0) and the printer line (slave linked at root/dev/ttyS0), starts the
// printer (and the relay) and then the service, with FRCORE_ROOT set to the absolute root.
// The lines outlive the service: it can be stopped and started again on the same board.
// Setup failures throw (std::system_error, std::filesystem::filesystem_error).
//
// The service is killed when the thread that started it ends (so a crashed test or simulator
// leaves no service behind); start it from a thread that lives as long as the board.
class SimulatedBoard {
 public:
  explicit SimulatedBoard(BoardOptions options);
  ~SimulatedBoard();
  SimulatedBoard(const SimulatedBoard&) = delete;
  SimulatedBoard& operator=(const SimulatedBoard&) = delete;

  const std::filesystem::path& root() const { return options_.root; }
  std::filesystem::path hostPortPath() const { return options_.root / "host"; }
  std::filesystem::path rawPaperPath() const { return platform::paperDirectory(options_.root) / "raw.bin"; }
  std::filesystem::path paperTextPath() const { return platform::paperDirectory(options_.root) / "paper.txt"; }
  std::filesystem::path paperHtmlPath() const { return platform::paperDirectory(options_.root) / "paper.html"; }
  // Holds the printer's state word (PrinterState), read at every paper status query.
  std::filesystem::path printerStatePath() const { return printerStateFile(options_.root); }
  std::filesystem::path logPath() const { return options_.root / "frcore.log"; }
  int hostMasterFd() const { return hostLine_.masterFd(); }
  pid_t servicePid() const { return service_; }

  // Starts the service unless it is running. Both lines start empty: whatever the previous
  // service left unread is discarded.
  void startService();
  // Kills the service (it has no orderly shutdown) and waits for it to end.
  void stopService();
  // The wait status of the service once it has ended by itself; nullopt while it runs or
  // after stopService.
  std::optional<int> serviceEnded();

 private:
  void runPrinter();
  void runPacedPrinter();
  void runRelay();
  // Wakes the printer and relay threads and waits for them to end.
  void stopThreads();

  BoardOptions options_;
  PseudoTerminal hostLine_;
  PseudoTerminal printerLine_;
  std::optional<PseudoTerminal> relayLine_;
  VirtualPrinter printer_;
  // Readable once the board is being destroyed.
  int stopEvent_ = -1;
  pid_t service_ = -1;
  std::optional<int> endStatus_;
  std::thread printerThread_;
  std::thread relayThread_;
};

}  // namespace sim
