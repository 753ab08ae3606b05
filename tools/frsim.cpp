// frsim: runs a whole simulated board in the foreground.
//
//   frsim [DIR] [--frcore PATH] [-- ARGS...]
//
// Prepares DIR (default ./board), creates its serial lines, plays the printer, offers the
// host's end of the host line as DIR/host and runs the service on the board with ARGS. The
// service is the one built beside frsim unless --frcore or the environment variable
// FRCORE_BINARY names another. SIGINT or SIGTERM stop the service and frsim (exit 0); a service
// that ends by itself ends frsim too (exit 1).
//
// The printed paper grows in DIR/paper/paper.txt and DIR/paper/paper.html. A line typed on
// standard input puts the printer in a state while the board runs: "ok", "near-end" (the roll
// is running out), "out" (no paper) or "silent" (the paper status query goes unanswered). The
// state is kept in DIR/printer-state, so it also holds when frsim is started again.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/sim/printer_state.h"
#include "tools/sim/simulated_board.h"

namespace {

constexpr int kUsageError = 2;

void printUsage(std::ostream& out) {
  out << "usage: frsim [DIR] [--frcore PATH] [-- ARGS...]\n"
         "  DIR            the board's directory (default ./board)\n"
         "  --frcore PATH  the service to run (default: $FRCORE_BINARY, else the one built here)\n"
         "  ARGS           arguments for the service, for example -s\n";
}

// Takes the complete lines typed so far out of `typed` and puts the printer in the state each
// names.
void applyTypedStates(std::string& typed, const sim::SimulatedBoard& board) {
  for (std::size_t end = typed.find('\n'); end != std::string::npos; end = typed.find('\n')) {
    const std::string line = typed.substr(0, end);
    typed.erase(0, end + 1);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const auto state = sim::parsePrinterState(line);
    if (!state) {
      std::cout << "frsim: printer states are ok, near-end, out and silent" << std::endl;
    } else if (!sim::writePrinterState(board.printerStatePath(), *state)) {
      std::cout << "frsim: cannot write " << board.printerStatePath().string() << std::endl;
    } else {
      std::cout << "frsim: printer " << sim::nameOf(*state) << std::endl;
    }
  }
}

std::string describeEnd(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace

int main(int argc, char** argv) {
  sim::BoardOptions options{.root = "board", .service = FRCORE_BINARY, .hostRelay = true};
  if (const char* fromEnvironment = std::getenv("FRCORE_BINARY"); fromEnvironment != nullptr) {
    options.service = fromEnvironment;
  }
  bool rootGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") {
      options.serviceArguments.assign(argv + i + 1, argv + argc);
      break;
    }
    if (argument == "-h" || argument == "--help") {
      printUsage(std::cout);
      return 0;
    }
    if (argument == "--frcore" && i + 1 < argc) {
      options.service = argv[++i];
    } else if (!argument.starts_with("-") && !rootGiven) {
      options.root = argument;
      rootGiven = true;
    } else {
      printUsage(std::cerr);
      return kUsageError;
    }
  }

  // The signals are read from a signal descriptor below; blocked before any thread starts,
  // they stay blocked in every thread (the service gets a clean mask).
  sigset_t awaited;
  sigemptyset(&awaited);
  for (const int signal : {SIGINT, SIGTERM, SIGCHLD}) sigaddset(&awaited, signal);
  pthread_sigmask(SIG_BLOCK, &awaited, nullptr);
  const int signals = signalfd(-1, &awaited, SFD_CLOEXEC);
  if (signals < 0) {
    std::cerr << "frsim: signalfd failed" << std::endl;
    return 1;
  }

  try {
    sim::SimulatedBoard board(options);
    const std::string printerState(sim::nameOf(sim::readPrinterState(board.printerStatePath())));
    std::cout << "frsim: board     " << board.root().string() << "\n"
              << "frsim: host port " << board.hostPortPath().string() << "  (frhost --port "
              << board.hostPortPath().string() << " version)\n"
              << "frsim: paper     " << board.paperTextPath().string() << ", " << board.paperHtmlPath().string()
              << "\n"
              << "frsim: printer   " << printerState << "; type ok, near-end, out or silent to change it\n"
              << "frsim: service   " << options.service.string() << " (pid " << board.servicePid()
              << "); Ctrl-C stops it" << std::endl;

    // Standard input is watched until it ends (frsim may run without a terminal).
    std::array<pollfd, 2> watched{{{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}}};
    std::string typed;
    while (true) {
      if (::poll(watched.data(), watched.size(), -1) < 0) continue;  // EINTR
      if (watched[1].revents != 0) {
        std::array<char, 256> buffer{};
        const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (count > 0) {
          typed.append(buffer.data(), static_cast<std::size_t>(count));
          applyTypedStates(typed, board);
        } else if (count == 0 || errno != EINTR) {
          watched[1].fd = -1;
        }
      }
      if (watched[0].revents == 0) continue;
      signalfd_siginfo received{};
      if (::read(signals, &received, sizeof received) != sizeof received) continue;
      if (received.ssi_signo != SIGCHLD) {
        std::cout << "frsim: stopping the service" << std::endl;
        return 0;
      }
      if (const auto status = board.serviceEnded()) {
        std::cerr << "frsim: the service " << describeEnd(*status) << std::endl;
        return 1;
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "frsim: " << error.what() << std::endl;
    return 1;
  }
}
