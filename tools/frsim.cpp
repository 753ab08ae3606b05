// frsim: runs a whole simulated board in the foreground.
//
//   frsim [DIR] [--frcore PATH] [-- ARGS...]
//
// Prepares DIR (default ./board), creates its serial lines, plays the printer, offers the
// host's end of the host line as DIR/host and runs the service on the board with ARGS. The
// service is the one built beside frsim unless --frcore or the environment variable
// FRCORE_BINARY names another. SIGINT or SIGTERM stop the service and frsim (exit 0); a service
// that ends by itself ends frsim too (exit 1).
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/sim/simulated_board.h"

namespace {

constexpr int kUsageError = 2;

void printUsage(std::ostream& out) {
  out << "usage: frsim [DIR] [--frcore PATH] [-- ARGS...]\n"
         "  DIR            the board's directory (default ./board)\n"
         "  --frcore PATH  the service to run (default: $FRCORE_BINARY, else the one built here)\n"
         "  ARGS           arguments for the service, for example -s\n";
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

  // The signals are taken by sigwait below; blocked before any thread starts, they stay
  // blocked in every thread (the service gets a clean mask).
  sigset_t awaited;
  sigemptyset(&awaited);
  for (const int signal : {SIGINT, SIGTERM, SIGCHLD}) sigaddset(&awaited, signal);
  pthread_sigmask(SIG_BLOCK, &awaited, nullptr);

  try {
    sim::SimulatedBoard board(options);
    std::cout << "frsim: board     " << board.root().string() << "\n"
              << "frsim: host port " << board.hostPortPath().string() << "  (frhost --port "
              << board.hostPortPath().string() << " version)\n"
              << "frsim: paper     " << board.rawPaperPath().string() << "\n"
              << "frsim: service   " << options.service.string() << " (pid " << board.servicePid()
              << "); Ctrl-C stops it" << std::endl;

    while (true) {
      int signal = 0;
      if (sigwait(&awaited, &signal) != 0) continue;
      if (signal != SIGCHLD) {
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
