// frsim: runs a whole simulated board in the foreground.
//
//   frsim [DIR] [--frcore PATH] [--trace] [--printer-baud N] [-- ARGS...]
//
// Prepares DIR (default ./board), creates its serial lines, plays the printer, offers the
// host's end of the host line as DIR/host and runs the service on the board with ARGS. The
// service is the one built beside frsim (or, where the packages installed frsim, the installed
// one) unless --frcore or the environment variable FRCORE_BINARY names another. A board another service holds is refused before it is touched.
// SIGINT, SIGTERM, SIGHUP or SIGQUIT stop the service and frsim (exit 0); a service that ends by
// itself ends frsim too (exit 1); a frsim that is killed takes its service with it.
//
// The printed paper grows in DIR/paper/paper.txt and DIR/paper/paper.html. Lines typed on
// standard input are console words (BoardConsole): the printer's state, the card, its free
// space, the clock, the status and a restart of the service. --trace prints every frame on the
// host line, both ways, decoded (FrameTrace). The printer line carries bytes at the board's
// 57600 bit/s unless --printer-baud gives another speed (0: no pacing, every byte at once).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/board_console.h"
#include "tools/sim/frame_trace.h"
#include "tools/sim/printer_state.h"
#include "tools/sim/simulated_board.h"

namespace {

namespace fs = std::filesystem;

constexpr int kUsageError = 2;

// `path` as typed at this shell: relative to the working directory when it lies below it,
// quoted when the shell would split or expand it.
std::string typed(const fs::path& path) {
  const fs::path relative = path.lexically_relative(fs::current_path());
  const std::string text = !relative.empty() && *relative.begin() != ".." ? relative.string() : path.string();
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string_view("/._-+").find(c) != std::string_view::npos;
  });
  return plain ? text : "'" + text + "'";
}

// The frhost built or installed beside this frsim, as typed; "frhost" when there is none.
std::string frhostCommand() {
  std::error_code error;
  const fs::path beside = fs::read_symlink("/proc/self/exe", error).parent_path() / "frhost";
  if (error || !fs::exists(beside, error)) return "frhost";
  return typed(beside);
}

// Takes the complete lines typed so far out of `input` and carries each out.
void runTypedLines(std::string& input, sim::BoardConsole& console) {
  for (std::size_t end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
    std::cout << console.run(std::string_view(input).substr(0, end)) << std::flush;
    input.erase(0, end + 1);
  }
}

std::string describeEnd(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

std::string printerLine(int baud) {
  return baud == sim::kUnpacedPrinterLine ? "unpaced line" : "line at " + std::to_string(baud) + " bit/s";
}

// Prints every frame on the host line, both ways, decoded.
std::function<void(sim::HostLineDirection, bytes::View)> frameTrace() {
  return [frames = std::make_shared<sim::FrameTrace>()](sim::HostLineDirection direction, bytes::View data) {
    const auto lines = direction == sim::HostLineDirection::FromHost ? frames->fromHost(data) : frames->fromService(data);
    std::string text;
    for (const std::string& line : lines) text += "frsim: " + line + "\n";
    std::cout << text << std::flush;
  };
}

// The service built beside frsim when it is there, else the one the packages install.
std::filesystem::path defaultService() {
  std::error_code error;
  if (std::filesystem::exists(FRCORE_BINARY, error)) return FRCORE_BINARY;
  return "/usr/sbin/frcore";
}

// The board's options from the command line; the exit status when that is all (help shown, or a
// usage error).
std::optional<int> readCommandLine(int argc, char** argv, sim::BoardOptions& options) {
  // Everything after "--" is the service's, whatever it looks like.
  const auto separator = std::find(argv + 1, argv + argc, std::string_view("--"));
  if (separator != argv + argc) options.serviceArguments.assign(separator + 1, argv + argc);

  CLI::App app("frsim: runs a whole simulated board in the foreground: its serial lines, its printer and the "
               "service on it.\nArguments after -- go to the service (for example: frsim board -- -s).",
               "frsim");
  std::string root = options.root.string();
  std::string service = options.service.string();
  bool trace = false;
  app.add_option("DIR", root, "the board's directory")->capture_default_str();
  app.add_option("--frcore", service, "the service to run (default: $FRCORE_BINARY, else the one built here, else /usr/sbin/frcore)");
  app.add_flag("--trace", trace, "print every frame on the host line, both ways, decoded");
  app.add_option("--printer-baud", options.printerBaud,
                 "the printer line's speed in bit/s: the printer takes and answers bytes as fast as the board's "
                 "line carries them (0: no pacing, every byte at once)")
      ->capture_default_str()
      ->check(CLI::Range(0, 4000000));
  app.footer("Words to type while the board runs:\n" + std::string(sim::consoleWords()));
  try {
    app.parse(static_cast<int>(separator - argv), argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "frsim: " << error.what() << " (frsim --help shows the usage)" << std::endl;
    return kUsageError;
  }
  options.root = root;
  options.service = service;
  if (trace) options.watchHostLine = frameTrace();
  return std::nullopt;
}

// The signals frsim ends on, and SIGCHLD, as a descriptor to read them from; -1 when it cannot be
// made. Blocked before any thread starts, they stay blocked in every thread (the service gets a
// clean mask). Every way frsim ends short of SIGKILL then runs the board's destructor, which
// stops the service and removes the lines' links; on SIGKILL the service gets its own SIGKILL as
// frsim dies.
int awaitedSignals() {
  sigset_t awaited;
  sigemptyset(&awaited);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&awaited, signal);
  pthread_sigmask(SIG_BLOCK, &awaited, nullptr);
  return signalfd(-1, &awaited, SFD_CLOEXEC);
}

void announce(sim::SimulatedBoard& board, sim::BoardConsole& console, const sim::BoardOptions& options) {
  const std::string hostCommand = frhostCommand() + " --port " + typed(board.hostPortPath());
  std::cout << "frsim: board     " << typed(board.root()) << "\n"
            << "frsim: host port " << typed(board.hostPortPath()) << "  (try: " << hostCommand << " version)\n"
            << "frsim: paper     " << typed(board.paperTextPath()) << ", " << typed(board.paperHtmlPath()) << "\n"
            << "frsim: printer   " << sim::nameOf(sim::readPrinterState(board.printerStatePath())) << ", "
            << printerLine(options.printerBaud) << "; type help for the words that change the board while it runs\n"
            << "frsim: service   " << options.service.string() << " (pid " << board.servicePid()
            << "); Ctrl-C stops it\n"
            << console.keptFromEarlierRuns() << std::flush;
}

// Runs the board until a signal stops it (0) or its service ends by itself (1), carrying out the
// lines typed meanwhile. Standard input is watched until it ends (frsim may run without a
// terminal).
int runBoard(const sim::BoardOptions& options, int signals) {
  sim::SimulatedBoard board(options);
  sim::BoardConsole console(board);
  announce(board, console, options);
  std::array<pollfd, 2> watched{{{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}}};
  std::string input;
  while (true) {
    if (::poll(watched.data(), watched.size(), -1) < 0) continue;  // EINTR
    if (watched[1].revents != 0) {
      std::array<char, 256> buffer{};
      const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (count > 0) {
        input.append(buffer.data(), static_cast<std::size_t>(count));
        runTypedLines(input, console);
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
}

}  // namespace

int main(int argc, char** argv) {
  sim::BoardOptions options{
      .root = "board", .service = defaultService(), .hostRelay = true, .printerBaud = sim::boardPrinterBaud()};
  if (const char* fromEnvironment = std::getenv("FRCORE_BINARY"); fromEnvironment != nullptr) {
    options.service = fromEnvironment;
  }
  if (const auto status = readCommandLine(argc, argv, options)) return *status;
  const int signals = awaitedSignals();
  if (signals < 0) {
    std::cerr << "frsim: signalfd failed" << std::endl;
    return 1;
  }
  try {
    return runBoard(options, signals);
  } catch (const std::exception& error) {
    std::cerr << "frsim: " << error.what() << std::endl;
    return 1;
  }
}
