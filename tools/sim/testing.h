// A simulated board for end-to-end tests, with the service under test running on it.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/temporary_directory.h"
#include "tools/host/port.h"
#include "tools/sim/escpos_interpreter.h"
#include "tools/sim/simulated_board.h"

namespace sim {

// What the printer of the board at `boardRoot` has printed so far: every byte in its raw.bin
// read by the same interpreter as the simulated printer's, from a reset printer. For example
// EXPECT_THAT(sim::readPaper(board.root()).texts(), Contains(HasSubstr("ИТОГО"))).
PrintedPaper readPaper(const std::filesystem::path& boardRoot);

struct TestBoardOptions {
  std::vector<std::string> serviceArguments = {};
  // Paced (boardPrinterBaud()) only for tests and benchmarks about how long the service waits
  // on its printer: the board's line takes 28 ms for each receipt item.
  int printerBaud = kUnpacedPrinterLine;
};

// A fresh board in a temporary directory running the service built with the tests (its output
// goes to root()/frcore.log). The test speaks to it through host(), the host's end of the line.
class TestBoard {
 public:
  explicit TestBoard(TestBoardOptions options = {});

  host::HostPort& host() { return host_; }
  SimulatedBoard& board() { return board_; }
  const std::filesystem::path& root() const { return board_.root(); }

  // Sends the version request until a reply comes; false when none came in time or the
  // service ended.
  bool waitUntilServing(std::chrono::milliseconds timeout = std::chrono::seconds(60));

  // Kills the service and starts it again on the same board and lines.
  void restart();

  // What the service has written to its standard output and error so far.
  std::string log() const;

 private:
  platform::TemporaryDirectory directory_;
  SimulatedBoard board_;
  host::HostPort host_;
};

}  // namespace sim
