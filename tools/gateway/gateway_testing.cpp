#include "tools/gateway/gateway_testing.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "link/host_protocol.h"
#include "tools/host/document_commands.h"
#include "tools/host/pacing.h"
#include "tools/host/port.h"

namespace gateway::testing {
namespace {

constexpr std::string_view kListening = "frgate: listening on http://";
constexpr std::chrono::seconds kStartTimeout{60};

void check(bool done, const std::string& what) {
  if (!done) throw std::runtime_error("setting up the test register: " + what);
}

// The register's requests for the set-up, over the line the test holds for now.
class SetupLine {
 public:
  explicit SetupLine(const std::filesystem::path& path) : port_(openPort(path)) {}

  bool waitUntilServing() {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (port_.transact({.command = protocol::kVersion, .identifier = next()}, std::chrono::seconds(1))) {
        port_.readAvailable(std::chrono::milliseconds(300));  // late answers to earlier tries
        return true;
      }
    }
    return false;
  }

  // Every request of the plan answered 0, its documents paced past the last one's second.
  bool run(const std::optional<host::Plan>& plan) {
    if (!plan) return false;
    if (plan->opensDocument) {
      const auto status = send(protocol::kStatus);
      const auto moment = status ? host::lastDocumentTime(*status) : std::nullopt;
      if (moment && !host::waitPastMoment([this](std::uint8_t command) { return send(command); }, *moment)) {
        return false;
      }
    }
    for (const host::Step& step : plan->steps) {
      host::Request request = step.request;
      request.identifier = next();
      const auto reply = port_.transact(request, std::chrono::seconds(10));
      if (!reply || reply->code != 0) return false;
    }
    return true;
  }

 private:
  static host::HostPort openPort(const std::filesystem::path& path) {
    auto port = host::HostPort::open(path.string());
    check(port.has_value(), "opening " + path.string());
    return std::move(*port);
  }
  std::optional<host::Reply> send(std::uint8_t command) {
    return port_.transact({.command = command, .identifier = next()}, std::chrono::seconds(10));
  }
  std::uint32_t next() { return identifier_++; }

  host::HostPort port_;
  std::uint32_t identifier_ = 0x5E700001;
};

}  // namespace

RegisterBoard::RegisterBoard(Setup setup)
    : faults_(std::make_shared<sim::HostLineFaults>()),
      board_(sim::BoardOptions{.root = directory_.path(),
                               .service = FRCORE_BINARY,
                               .logToFile = true,
                               .hostRelay = true,
                               .filterHostLine = faults_->filter()}) {
  SetupLine line(port());
  check(line.waitUntilServing(), "the service does not answer");
  if (!setup.registered) return;
  const host::Operator administrator;
  const std::string_view registration[] = {"--user",  "ООО Ромашка", "--place", "Магазин", "--address",
                                           "Москва",   "--inn",        "7701234567", "--regnum",
                                           "0000000000012345", "--tax", "1:1:20:НДС 20%"};
  std::string problem;
  const auto serial = host::serialNumberPayload(administrator, "0000012345");
  check(line.run(host::Plan{.steps = {{"serial number", {.command = protocol::kSetSerialNumber, .payload = *serial}}}}),
        "the serial number");
  check(line.run(host::registrationPlan(administrator, registration, problem)), "the registration " + problem);
  if (setup.shiftOpen) check(line.run(host::documentPlan(host::kShiftOpeningCodes, administrator)), "the shift");
}

std::vector<std::string> RegisterBoard::paper() const { return sim::readPaper(board_.root()).texts(); }

GatewayProcess::GatewayProcess(const std::filesystem::path& port, const std::filesystem::path& database,
                               std::vector<std::string> arguments, std::filesystem::path log) {
  std::vector<std::string> command = sim::launcherFromEnvironment();
  command.insert(command.end(), {FRGATE_BINARY, "--port", port.string(), "--db", database.string(), "--listen",
                                 "127.0.0.1:0"});
  command.insert(command.end(), arguments.begin(), arguments.end());
  if (log.empty()) log = database.string() + ".log";
  std::vector<char*> argv = sim::execArguments(command);

  std::array<int, 2> output{};
  if (::pipe2(output.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // no frgate outlives a crashed test
    if (::getppid() != parent || ::dup2(output[1], STDOUT_FILENO) < 0) ::_exit(127);
    if (logFd >= 0) ::dup2(logFd, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output[1]);
  if (logFd >= 0) ::close(logFd);
  output_ = output[0];
  if (pid_ < 0) throw std::runtime_error("fork");

  std::string said;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (said.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{output_, POLLIN, 0};
    char buffer[256];
    const ssize_t count =
        left.count() > 0 && ::poll(&readable, 1, static_cast<int>(left.count())) > 0 ? ::read(output_, buffer, sizeof buffer) : 0;
    if (count <= 0) {
      stop(SIGKILL);
      throw std::runtime_error("frgate did not say it listens; it said: " + said);
    }
    said.append(buffer, static_cast<std::size_t>(count));
  }
  const std::size_t at = said.find(kListening);
  const std::size_t colon = at == std::string::npos ? std::string::npos : said.find(':', at + kListening.size());
  if (colon == std::string::npos) {
    stop(SIGKILL);
    throw std::runtime_error("frgate said: " + said);
  }
  port_ = std::stoi(said.substr(colon + 1));
}

GatewayProcess::~GatewayProcess() {
  stop();
  if (output_ >= 0) ::close(output_);
}

std::string GatewayProcess::url() const { return "http://127.0.0.1:" + std::to_string(port_); }

httplib::Client GatewayProcess::client() const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(std::chrono::seconds(10));
  client.set_read_timeout(std::chrono::seconds(120));
  client.set_write_timeout(std::chrono::seconds(30));
  return client;
}

int GatewayProcess::stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> tokenArguments(const std::filesystem::path& directory, const std::string& token) {
  const auto file = directory / "token";
  std::ofstream(file) << token << "\n";
  return {"--token-file", file.string()};
}

nlohmann::json bodyOf(const httplib::Result& result) {
  if (!result) return nullptr;
  const nlohmann::json body = nlohmann::json::parse(result->body, nullptr, false);
  return body.is_discarded() ? nlohmann::json(nullptr) : body;
}

}  // namespace gateway::testing
