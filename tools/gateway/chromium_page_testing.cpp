#include "tools/gateway/chromium_page_testing.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tools/sim/shell_testing.h"
#include "tools/sim/simulated_board.h"

namespace gateway::testing {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr std::chrono::seconds kAnswerTimeout{60};
constexpr std::chrono::seconds kCloseTimeout{10};
constexpr std::chrono::milliseconds kPollPause{200};
// The end of the browser's log that a failure shows (it is mostly notes about missing services).
constexpr std::size_t kLogShown = 4000;
// The browser's descriptors for the protocol, as --remote-debugging-pipe expects them.
constexpr int kBrowserCommands = 3;
constexpr int kBrowserEvents = 4;

bool truthy(const json& value) {
  if (value.is_boolean()) return value.get<bool>();
  if (value.is_number()) return value.get<double>() != 0;
  if (value.is_string()) return !value.get<std::string>().empty();
  return !value.is_null();
}

void writeAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw std::runtime_error("the browser no longer takes commands");
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace

bool ChromiumPage::available() { return sim::onPath("chromium"); }

ChromiumPage::ChromiumPage(const std::string& url) {
  // A command written after the browser ended fails with EPIPE instead of ending the test.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> command = {"chromium",
                                      "--headless=new",
                                      "--no-sandbox",  // tests run as root in containers
                                      "--disable-gpu",
                                      "--no-first-run",
                                      "--no-default-browser-check",
                                      "--disable-background-networking",
                                      "--remote-debugging-pipe",
                                      "--user-data-dir=" + (profile_.path() / "profile").string(),
                                      "about:blank"};
  std::vector<char*> argv = sim::execArguments(command);
  const std::string logPath = (profile_.path() / "browser.log").string();

  std::array<int, 2> toBrowser{}, fromBrowser{};
  if (::pipe2(toBrowser.data(), O_CLOEXEC) != 0 || ::pipe2(fromBrowser.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2");
  }
  const int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec. The browser's group is its own, so that
    // its helper processes go with it if it must be killed.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    // Moved above 4 first: a pipe's end may itself be 3 or 4.
    const int commands = ::fcntl(toBrowser[0], F_DUPFD_CLOEXEC, 10);
    const int events = ::fcntl(fromBrowser[1], F_DUPFD_CLOEXEC, 10);
    if (commands < 0 || events < 0 || ::dup2(commands, kBrowserCommands) < 0 || ::dup2(events, kBrowserEvents) < 0) {
      ::_exit(127);
    }
    if (logFd >= 0) {
      ::dup2(logFd, STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
    }
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(toBrowser[0]);
  ::close(fromBrowser[1]);
  if (logFd >= 0) ::close(logFd);
  commands_ = toBrowser[1];
  events_ = fromBrowser[0];
  if (pid_ < 0) throw std::runtime_error("fork");

  const json target = call("Target.createTarget", {{"url", url}}, false);
  const json attached =
      call("Target.attachToTarget", {{"targetId", target.at("targetId")}, {"flatten", true}}, false);
  session_ = attached.at("sessionId").get<std::string>();
}

ChromiumPage::~ChromiumPage() {
  if (pid_ > 0) {
    try {
      call("Browser.close", json::object(), false);
    } catch (const std::exception&) {
      // It may close before it answers, or be gone already: the wait below tells.
    }
    int status = 0;
    const auto deadline = Clock::now() + kCloseTimeout;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (ended == 0) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
  }
  if (commands_ >= 0) ::close(commands_);
  if (events_ >= 0) ::close(events_);
}

json ChromiumPage::call(const std::string& method, const json& params, bool toPage) {
  const int id = nextId_++;
  json message = {{"id", id}, {"method", method}, {"params", params}};
  if (toPage) message["sessionId"] = session_;
  writeAll(commands_, message.dump() + '\0');
  const auto deadline = Clock::now() + kAnswerTimeout;
  for (;;) {
    const json answer = receive(deadline);
    if (answer.value("id", 0) != id) continue;  // an event, or the answer to another command
    if (answer.contains("error")) {
      throw std::runtime_error(method + ": " + answer["error"].value("message", answer["error"].dump()));
    }
    return answer.value("result", json::object());
  }
}

json ChromiumPage::receive(Clock::time_point deadline) {
  std::size_t end = 0;
  while ((end = received_.find('\0')) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd readable{events_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
      throw std::runtime_error("the browser did not answer in time; it said: " + log());
    }
    char buffer[65536];
    const ssize_t count = ::read(events_, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw std::runtime_error("the browser ended; it said: " + log());
    received_.append(buffer, static_cast<std::size_t>(count));
  }
  const json message = json::parse(received_.substr(0, end), nullptr, false);
  received_.erase(0, end + 1);
  return message;
}

json ChromiumPage::evaluate(const std::string& expression) {
  const json result =
      call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}}, true);
  if (result.contains("exceptionDetails")) {
    const json& details = result["exceptionDetails"];
    throw std::runtime_error(expression + " threw: " +
                             details.value("exception", json::object()).value("description", details.value("text", "")));
  }
  return result.value("result", json::object()).value("value", json());
}

bool ChromiumPage::waitFor(const std::string& expression, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    try {
      if (truthy(evaluate(expression))) return true;
    } catch (const std::runtime_error&) {
      // Not there yet: the page may still be loading.
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollPause);
  }
}

std::string ChromiumPage::log() const {
  std::ifstream file(profile_.path() / "browser.log", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  return text.size() > kLogShown ? "..." + text.substr(text.size() - kLogShown) : text;
}

}  // namespace gateway::testing
