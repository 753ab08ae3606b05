#include "tools/sim/simulated_board.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "platform/sleep.h"
#include "printer/printer_driver.h"
#include "serial/line_timing.h"
#include "tools/sim/board_directory.h"

extern char** environ;

namespace sim {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

BoardOptions prepared(BoardOptions options) {
  options.root = fs::absolute(options.root);
  if (boardHeld(options.root)) throw BoardHeld(options.root);
  platform::prepareBoardDirectory(options.root);
  return options;
}

void makeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl O_NONBLOCK");
}

// Waits until some of `lines` have something to read; nullopt once the board is stopping.
// A master whose slave nobody holds reports a hang-up rather than data: that is a line with
// nothing on it yet, so the wait goes on after a short pause.
template <std::size_t N>
std::optional<std::array<bool, N>> waitReadable(const std::array<int, N>& lines, int stopEvent) {
  constexpr int kHangUpPauseMs = 20;
  while (true) {
    std::array<pollfd, N + 1> watched{};
    watched[0] = {stopEvent, POLLIN, 0};
    for (std::size_t i = 0; i < N; ++i) watched[i + 1] = {lines[i], POLLIN, 0};
    if (::poll(watched.data(), watched.size(), -1) < 0) continue;  // EINTR
    if (watched[0].revents != 0) return std::nullopt;
    std::array<bool, N> readable{};
    bool any = false;
    for (std::size_t i = 0; i < N; ++i) {
      readable[i] = (watched[i + 1].revents & POLLIN) != 0;
      any = any || readable[i];
    }
    if (any) return readable;
    if (::poll(watched.data(), 1, kHangUpPauseMs) > 0) return std::nullopt;
  }
}

// Reads what `fd` holds, at most `limit` bytes; empty when it holds nothing after all (EAGAIN,
// EIO of a master without a slave).
bytes::Bytes readSome(int fd, std::size_t limit = 4096) {
  std::array<std::uint8_t, 4096> buffer{};
  const ssize_t count = ::read(fd, buffer.data(), std::min(limit, buffer.size()));
  if (count <= 0) return {};
  return bytes::Bytes(buffer.begin(), buffer.begin() + count);
}

bool stopping(int stopEvent) {
  pollfd watched{stopEvent, POLLIN, 0};
  return ::poll(&watched, 1, 0) > 0;
}

// Writes all of `data` to the non-blocking `fd`, waiting while the line is full. Gives up when
// the board is stopping or the line fails.
void writeAll(int fd, bytes::View data, int stopEvent) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written > 0) {
      data = data.subspan(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return;
    std::array<pollfd, 2> watched{{{stopEvent, POLLIN, 0}, {fd, POLLOUT, 0}}};
    if (::poll(watched.data(), watched.size(), -1) > 0 && watched[0].revents != 0) return;
  }
}

// The service's environment: ours, with FRCORE_ROOT naming the board.
std::vector<std::string> serviceEnvironment(const fs::path& root) {
  constexpr std::string_view kRootVariable = "FRCORE_ROOT=";
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with(kRootVariable)) environment.emplace_back(*entry);
  }
  environment.push_back(std::string(kRootVariable) + root.string());
  return environment;
}

}  // namespace

// A service cross-built for another processor runs through the emulator that runs the tests:
// the variable FRCORE_LAUNCHER holds its command, words separated by spaces. On the
// board and in native builds it is unset.
std::vector<std::string> launcherFromEnvironment() {
  std::vector<std::string> words;
  const char* launcher = std::getenv("FRCORE_LAUNCHER");
  std::string_view rest = launcher != nullptr ? launcher : "";
  while (!rest.empty()) {
    const std::size_t space = std::min(rest.find(' '), rest.size());
    if (space > 0) words.emplace_back(rest.substr(0, space));
    rest.remove_prefix(std::min(space + 1, rest.size()));
  }
  return words;
}

std::vector<char*> execArguments(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

BoardHeld::BoardHeld(const fs::path& root)
    : std::runtime_error("another service runs on the board " + root.string() + " (it holds " +
                         serviceLockFile(root).string() + "); stop it, or give another directory") {}

SimulatedBoard::SimulatedBoard(BoardOptions options)
    : options_(prepared(std::move(options))), printer_(options_.root) {
  hostLine_.linkSlaveAt(options_.root / "dev/ttyGS0");
  printerLine_.linkSlaveAt(options_.root / "dev/ttyS0");
  makeNonBlocking(printerLine_.masterFd());
  if (options_.hostRelay) {
    relayLine_.emplace();
    relayLine_->linkSlaveAt(hostPortPath());
    makeNonBlocking(relayLine_->masterFd());
    makeNonBlocking(hostLine_.masterFd());
  }

  stopEvent_ = ::eventfd(0, EFD_CLOEXEC);
  if (stopEvent_ < 0) fail("eventfd");
  printerThread_ = std::thread(&SimulatedBoard::runPrinter, this);
  if (relayLine_) relayThread_ = std::thread(&SimulatedBoard::runRelay, this);

  try {
    startService();
  } catch (...) {
    stopThreads();
    throw;
  }
}

SimulatedBoard::~SimulatedBoard() {
  stopService();
  stopThreads();
}

void SimulatedBoard::stopThreads() {
  const std::uint64_t one = 1;
  if (::write(stopEvent_, &one, sizeof one) != sizeof one) std::terminate();
  printerThread_.join();
  if (relayThread_.joinable()) relayThread_.join();
  ::close(stopEvent_);
}

void SimulatedBoard::startService() {
  if (service_ > 0) return;
  hostLine_.discardSlaveInput();
  printerLine_.discardSlaveInput();

  // An emulator starts whatever it is given, so a missing program is caught here.
  if (::access(options_.service.c_str(), X_OK) != 0) {
    throw std::system_error(errno, std::generic_category(), "starting " + options_.service.string());
  }
  std::vector<std::string> arguments = options_.launcher;
  arguments.push_back(options_.service.string());
  arguments.insert(arguments.end(), options_.serviceArguments.begin(), options_.serviceArguments.end());
  std::vector<std::string> environment = serviceEnvironment(options_.root);
  std::vector<char*> argv = execArguments(arguments);
  std::vector<char*> envp = execArguments(environment);

  int log = -1;
  if (options_.logToFile) {
    log = ::open(logPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0) fail("opening the service log");
  }
  // The child reports a failed exec through this pipe; it closes unwritten on success.
  std::array<int, 2> execError{};
  if (::pipe2(execError.data(), O_CLOEXEC) != 0) {
    if (log >= 0) ::close(log);
    fail("pipe2");
  }

  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls from here to exec: other threads of ours may hold locks.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);  // a Ctrl-C meant for the simulator does not reach the service
    if (log >= 0 && (::dup2(log, STDOUT_FILENO) < 0 || ::dup2(log, STDERR_FILENO) < 0)) ::_exit(127);
    ::execvpe(argv[0], argv.data(), envp.data());  // the launcher may be named without its path
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(execError[1], &error, sizeof error);
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(execError[1]);
  if (log >= 0) ::close(log);
  if (child < 0) {
    ::close(execError[0]);
    errno = forkError;
    fail("fork");
  }

  int error = 0;
  ssize_t count;
  do {
    count = ::read(execError[0], &error, sizeof error);
  } while (count < 0 && errno == EINTR);
  ::close(execError[0]);
  if (count > 0) {
    ::waitpid(child, nullptr, 0);
    throw std::system_error(error, std::generic_category(), "starting " + options_.service.string());
  }
  service_ = child;
  endStatus_.reset();
}

void SimulatedBoard::stopService() {
  endStatus_.reset();
  if (service_ <= 0) return;
  ::kill(service_, SIGKILL);
  while (::waitpid(service_, nullptr, 0) < 0 && errno == EINTR) {
  }
  service_ = -1;
}

std::optional<int> SimulatedBoard::serviceEnded() {
  int status = 0;
  if (service_ > 0 && ::waitpid(service_, &status, WNOHANG) == service_) {
    service_ = -1;
    endStatus_ = status;
  }
  return endStatus_;
}

int boardPrinterBaud() { return rs::bitsPerSecond(kPrinterLineSpeed); }

void SimulatedBoard::runPrinter() {
  if (options_.printerBaud != kUnpacedPrinterLine) return runPacedPrinter();
  const int line = printerLine_.masterFd();
  while (waitReadable(std::array{line}, stopEvent_)) {
    const bytes::Bytes received = readSome(line);
    if (!received.empty()) writeAll(line, printer_.receive(received), stopEvent_);
  }
}

// The line carries bytes back to back while the service has more waiting, and starts again
// when it writes after a pause. The printer takes them about a millisecond's worth at a time,
// each piece once its last byte has crossed the line (to a deadline, so that lateness in
// waking does not add up), and answers after its answer has crossed back. Bytes left in the
// pseudo-terminal meanwhile are those still waiting to go out on the board's line.
void SimulatedBoard::runPacedPrinter() {
  const int line = printerLine_.masterFd();
  const int baud = options_.printerBaud;
  const std::size_t piece = std::max<std::size_t>(1, static_cast<std::size_t>(baud) / rs::kBitsPerByte / 1000);
  platform::SteadyClock::time_point lineFree{};
  platform::SteadyClock::time_point answerLineFree{};
  while (waitReadable(std::array{line}, stopEvent_)) {
    lineFree = std::max(lineFree, platform::steadyNow());  // the line was idle until now
    for (bytes::Bytes received = readSome(line, piece); !received.empty(); received = readSome(line, piece)) {
      lineFree += rs::transmissionTime(received.size(), baud);
      platform::sleepUntil(lineFree);
      const bytes::Bytes answer = printer_.receive(received);
      if (!answer.empty()) {
        answerLineFree = std::max(answerLineFree, lineFree) + rs::transmissionTime(answer.size(), baud);
        platform::sleepUntil(answerLineFree);
        writeAll(line, answer, stopEvent_);
      }
      if (stopping(stopEvent_)) return;
    }
  }
}

void SimulatedBoard::runRelay() {
  const int hostSide = relayLine_->masterFd();
  const int serviceSide = hostLine_.masterFd();
  const auto carry = [&](int from, int to, HostLineDirection direction) {
    bytes::Bytes data = readSome(from);
    if (options_.filterHostLine && !data.empty()) data = options_.filterHostLine(direction, data);
    if (options_.watchHostLine && !data.empty()) options_.watchHostLine(direction, data);
    writeAll(to, data, stopEvent_);
  };
  while (const auto readable = waitReadable(std::array{hostSide, serviceSide}, stopEvent_)) {
    if ((*readable)[0]) carry(hostSide, serviceSide, HostLineDirection::FromHost);
    if ((*readable)[1]) carry(serviceSide, hostSide, HostLineDirection::FromService);
  }
}

}  // namespace sim
