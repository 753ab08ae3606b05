// frgate on a simulated board, for tests and benchmarks: a board whose host line passes a
// relay that can lose chosen frames, a register on it ready to sell, and the built frgate
// program running on its line.
//
//   gateway::testing::RegisterBoard board;                    // registered, a shift open
//   gateway::testing::GatewayProcess frgate(board.port(), board.root() / "frgate.db");
//   auto client = frgate.client();
//   auto answer = client.Post("/v1/cash/deposit", {{"Idempotency-Key", "k1"}}, R"({"amount": "10.00"})",
//                             "application/json");
#pragma once

#include <sys/types.h>

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/sim/host_line_faults.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"

namespace gateway::testing {

// A fresh board in a temporary directory with the service built with the tests, its host line
// offered at port() through a relay whose faults() lose the frames a test asks to lose. The
// constructor waits until the service answers, then gives the register a serial number,
// registers it (tax rate 1: 20 % included) and opens a shift, each unless asked not to.
// Everything is set up through the line before any frgate holds it.
class RegisterBoard {
 public:
  struct Setup {
    bool registered = true;
    bool shiftOpen = true;
  };
  RegisterBoard() : RegisterBoard(Setup{}) {}
  explicit RegisterBoard(Setup setup);

  sim::SimulatedBoard& board() { return board_; }
  sim::HostLineFaults& faults() { return *faults_; }
  const std::filesystem::path& root() const { return board_.root(); }
  std::filesystem::path port() const { return board_.hostPortPath(); }
  // What the board's printer has printed, as text lines.
  std::vector<std::string> paper() const;

 private:
  platform::TemporaryDirectory directory_;
  std::shared_ptr<sim::HostLineFaults> faults_;
  sim::SimulatedBoard board_;
};

// The frgate built with the tests (through FRCORE_LAUNCHER under an emulator), started on
// `port` with `database`, listening on 127.0.0.1 on a free port, its standard error appended to
// `log`. The constructor returns once it said it listens (std::runtime_error if it ended or
// did not say so within a minute); the destructor stops it with SIGTERM.
class GatewayProcess {
 public:
  GatewayProcess(const std::filesystem::path& port, const std::filesystem::path& database,
                 std::vector<std::string> arguments = {}, std::filesystem::path log = {});
  ~GatewayProcess();
  GatewayProcess(const GatewayProcess&) = delete;
  GatewayProcess& operator=(const GatewayProcess&) = delete;

  pid_t pid() const { return pid_; }
  int port() const { return port_; }
  // http://127.0.0.1:PORT
  std::string url() const;
  // A client of this frgate that waits long enough for a burst of documents.
  httplib::Client client() const;

  // Sends `signal` and waits for the program to end: its exit status, or -1 when a signal
  // ended it.
  int stop(int signal = SIGTERM);

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  int port_ = 0;
};

// Writes `token` into DIRECTORY/token and returns frgate's arguments that make it the token.
std::vector<std::string> tokenArguments(const std::filesystem::path& directory, const std::string& token);

// The JSON body of an answer (null when it has none or it is not JSON).
nlohmann::json bodyOf(const httplib::Result& result);

}  // namespace gateway::testing
