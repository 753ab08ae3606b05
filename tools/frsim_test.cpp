// frsim as a program: the board it refuses and how its service ends with it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/sleep.h"
#include "tools/sim/pseudo_terminal.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kPatience = 30s;

// frsim started on a board with its standard input held open and its output read back.
class RunningFrsim {
 public:
  explicit RunningFrsim(const fs::path& root) {
    std::array<int, 2> input{};
    std::array<int, 2> output{};
    if (::pipe2(input.data(), O_CLOEXEC) != 0 || ::pipe2(output.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    std::vector<std::string> arguments = sim::launcherFromEnvironment();
    arguments.insert(arguments.end(), {FRSIM_BINARY, root.string()});
    std::vector<char*> argv = sim::execArguments(arguments);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(input[0], STDIN_FILENO);
      ::dup2(output[1], STDOUT_FILENO);
      ::dup2(output[1], STDERR_FILENO);
      ::execve(argv[0], argv.data(), environ);
      ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    input_ = input[1];
    output_ = output[0];
  }

  ~RunningFrsim() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(input_);
    ::close(output_);
  }

  pid_t pid() const { return pid_; }

  // Reads the output until it matches `pattern`; the first group of the match, or nullopt
  // when the output ended or took too long.
  std::optional<std::string> awaitOutput(const std::regex& pattern) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::smatch match;
    while (!std::regex_search(received_, match, pattern)) {
      pollfd readable{output_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > deadline || ::poll(&readable, 1, 100) < 0) return std::nullopt;
      if (readable.revents == 0) continue;
      std::array<char, 512> buffer{};
      const ssize_t count = ::read(output_, buffer.data(), buffer.size());
      if (count <= 0) return std::nullopt;
      received_.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return match.size() > 1 ? match[1].str() : match[0].str();
  }

  // Waits for frsim to end; its wait status.
  int wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    return status;
  }

  const std::string& output() const { return received_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string received_;
  std::optional<int> status_;
};

// A process that has ended, reaped or not.
bool processGone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int i = 0; i < 3 && stat >> field; ++i) {
  }
  return !stat || field == "Z";
}

bool eventuallyGone(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!processGone(pid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::sleepFor(10ms);
  }
  return true;
}

TEST(Frsim, BoardHeldByAnotherService_IsRefusedPlainlyAndLeftAsItWas) {
  sim::TestBoard held;
  ASSERT_TRUE(held.waitUntilServing()) << held.log();
  const fs::path hostLine = fs::read_symlink(held.root() / "dev/ttyGS0");

  RunningFrsim frsim(held.root());
  EXPECT_EQ(frsim.awaitOutput(std::regex("frsim: another service runs on the board (\\S+) ")), held.root().string())
      << frsim.output();
  const int status = frsim.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << frsim.output();
  EXPECT_EQ(fs::read_symlink(held.root() / "dev/ttyGS0"), hostLine);
  EXPECT_FALSE(fs::exists(fs::symlink_status(held.root() / "host")));
  EXPECT_TRUE(held.host().transact({.command = 0x33, .identifier = 7})) << "the service goes on serving";
}

TEST(Frsim, EndedBySignal_TakesItsServiceWithIt) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    platform::TemporaryDirectory directory;
    RunningFrsim frsim(directory.path());
    const auto service = frsim.awaitOutput(std::regex(R"(\(pid (\d+)\))"));
    ASSERT_TRUE(service) << frsim.output();
    const pid_t servicePid = std::stoi(*service);
    EXPECT_FALSE(processGone(servicePid));

    ::kill(frsim.pid(), signal);
    const int status = frsim.wait();
    EXPECT_TRUE(eventuallyGone(servicePid));
    if (signal == SIGKILL) {
      // The links stay behind; the pseudo-terminals they named are handed out again.
      const std::array<sim::PseudoTerminal, 3> reused;
      for (const char* line : {"dev/ttyGS0", "dev/ttyS0", "host"}) {
        const int opened = ::open((directory.path() / line).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_LT(opened, 0) << line << " leads to another board's line";
        if (opened >= 0) ::close(opened);
      }
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << frsim.output();
    EXPECT_FALSE(fs::exists(fs::symlink_status(directory.path() / "dev/ttyGS0"))) << "the line's link goes";
  }
}

}  // namespace
