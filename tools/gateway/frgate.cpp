// frgate: the register's HTTP and JSON gateway for point-of-sale software.
//
//   frgate --port PATH --db FILE [--listen HOST:PORT] [--token-file FILE]
//          [--operator N --password P] [--timeout MS] [--paper FILE]
//
// Holds the host line at PATH for itself (an exclusive lock, as frhost takes it), settles the
// document requests an earlier run left pending, then serves HTTP on HOST:PORT (default
// 127.0.0.1:8080; port 0 picks a free one) and says so on standard output:
//   frgate: listening on http://127.0.0.1:8080
// SIGTERM and SIGINT let the request on the line end and settle, then it exits 0. On a simulated
// board, --paper DIR/paper/paper.txt lets GET /v1/paper (and the admin page) show its paper.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>

#include <CLI/CLI.hpp>

#include "platform/sleep.h"
#include "tools/gateway/gateway.h"
#include "tools/host/number_text.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Handler threads: more than the clients a shop has, each holding its connection while alive.
constexpr std::size_t kHandlerThreads = 16;

struct ListenAddress {
  std::string host;
  int port;
};

std::optional<ListenAddress> parseListen(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const auto port = host::parseNumber(std::string_view(text).substr(colon + 1), 0, 65535);
  if (!port) return std::nullopt;
  return ListenAddress{text.substr(0, colon), static_cast<int>(*port)};
}

// The token: the file's text without its trailing line end.
std::optional<std::string> readToken(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string token{std::istreambuf_iterator<char>(file), {}};
  if (token.ends_with("\n")) token.pop_back();
  if (token.ends_with("\r")) token.pop_back();
  return token;
}

// Says so when another program holds the line: frgate then waits for it, as frhost does.
void noteWhenHeld(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    std::cerr << "frgate: another program holds " << path << "; waiting for it to let go\n";
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"frgate: the register's HTTP and JSON gateway"};
  std::string portPath, databasePath, listen = "127.0.0.1:8080", tokenFile, paperFile;
  unsigned cashierNumber = host::Operator{}.number;
  std::uint32_t password = host::Operator{}.password;
  unsigned timeoutMs = 5000;
  app.add_option("--port", portPath, "the host line: DIR/host on a simulated board")->required();
  app.add_option("--db", databasePath, "the gateway's SQLite database, created when missing")->required();
  app.add_option("--listen", listen, "HOST:PORT to serve HTTP on; port 0 picks a free one")->capture_default_str();
  app.add_option("--token-file", tokenFile, "a file holding the bearer token every request must carry");
  app.add_option("--operator", cashierNumber, "the cashier of requests that name none")
      ->check(CLI::Range(1, 20))
      ->capture_default_str();
  app.add_option("--password", password, "that cashier's password")->capture_default_str();
  app.add_option("--timeout", timeoutMs, "how long to wait for each reply on the line, in ms")
      ->check(CLI::Range(1, 600000))
      ->capture_default_str();
  app.add_option("--paper", paperFile,
                 "on a simulated board, its DIR/paper/paper.txt: GET /v1/paper and the admin page show it");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help answers 0; a command line that is not valid is said and answered 2, as frhost does.
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }

  const auto address = parseListen(listen);
  if (!address) {
    std::cerr << "frgate: --listen takes HOST:PORT, PORT 0 to 65535\n";
    return kExitUsage;
  }
  gateway::GatewayOptions options{.cashier = {static_cast<std::uint8_t>(cashierNumber), password}, .paper = paperFile};
  if (!tokenFile.empty()) {
    const auto token = readToken(tokenFile);
    if (!token || token->empty()) {
      std::cerr << "frgate: " << tokenFile << " holds no token\n";
      return kExitUsage;
    }
    options.token = *token;
  }

  // The signals are taken by one thread of ours; every thread started from here on blocks them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::string problem;
  auto store = gateway::RequestStore::open(databasePath, problem);
  if (!store) {
    std::cerr << "frgate: cannot use the database " << databasePath << ": " << problem << "\n";
    return kExitFailed;
  }
  noteWhenHeld(portPath);
  auto port = host::HostPort::open(portPath);
  if (!port) {
    std::cerr << "frgate: cannot use the port " << portPath << ": " << std::strerror(errno) << "\n";
    return kExitFailed;
  }
  gateway::Gateway gateway(gateway::RegisterLine(std::move(*port), std::chrono::milliseconds(timeoutMs)),
                           std::move(*store), options, std::cerr);

  httplib::Server server;
  std::atomic<bool> stopping = false, listenEnded = false;
  std::thread signals([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    stopping = true;
    gateway.stop();
    // The server may not be listening yet: stop it until it has ended.
    while (!listenEnded) {
      server.stop();
      platform::sleepFor(std::chrono::milliseconds(20));
    }
  });
  const auto end = [&](int status) {
    listenEnded = true;
    if (!stopping) pthread_kill(signals.native_handle(), SIGTERM);
    signals.join();
    return status;
  };

  if (!gateway.settleAtStart() && !stopping) {
    std::cerr << "frgate: the register does not answer; pending requests are settled as soon as it does\n";
  }
  server.new_task_queue = [] { return new httplib::ThreadPool(kHandlerThreads); };
  // An answer is written as its head and then its body: without this the body would wait for
  // the client to acknowledge the head, and a kept-alive client acknowledges late.
  server.set_tcp_nodelay(true);
  gateway.attach(server);
  const int boundPort = address->port == 0 ? server.bind_to_any_port(address->host)
                                           : (server.bind_to_port(address->host, address->port) ? address->port : -1);
  if (boundPort < 0) {
    std::cerr << "frgate: cannot listen on " << listen << "\n";
    return end(kExitFailed);
  }
  std::cout << "frgate: listening on http://" << address->host << ":" << boundPort << std::endl;
  if (!stopping) server.listen_after_bind();
  return end(0);
}
