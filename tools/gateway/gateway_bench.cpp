// What frgate adds to a request over talking to the register directly, and documents per second
// through it with 1 and 8 clients (bounded by the register's one document a second).
//
// The same two line requests as GET /v1/status (0x30 and 0x10) are timed first straight over
// the line, then as GET /v1/status through frgate; the difference of the medians is what the
// gateway adds. Then deposits, each with its own key, from 1 and from 8 clients at once.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <vector>

#include "tools/gateway/gateway_testing.h"
#include "tools/host/port.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const int documents = argc > 2 ? std::atoi(argv[2]) : 8;
  gateway::testing::RegisterBoard board;

  std::vector<double> direct;
  {
    auto port = host::HostPort::open(board.port().string());
    if (!port) return 1;
    for (int i = 0; i < count; ++i) {
      const auto start = Clock::now();
      const auto identifier = static_cast<std::uint32_t>(2 * i + 1);
      if (!port->transact({.command = 0x30, .identifier = identifier}) ||
          !port->transact({.command = 0x10, .identifier = identifier + 1})) {
        return 1;
      }
      direct.push_back(millisecondsSince(start));
    }
  }

  gateway::testing::GatewayProcess frgate(board.port(), board.root() / "frgate.db");
  std::vector<double> through;
  auto client = frgate.client();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const auto answer = client.Get("/v1/status");
    if (!answer || answer->status != 200) return 1;
    through.push_back(millisecondsSince(start));
  }
  std::printf("%d status requests: direct median %.2f ms, through frgate %.2f ms, added %.2f ms\n", count,
              median(direct), median(through), median(through) - median(direct));

  int key = 0;
  for (const int clients : {1, 8}) {
    const auto start = Clock::now();
    std::vector<std::future<int>> running;
    for (int c = 0; c < clients; ++c) {
      running.push_back(std::async(std::launch::async, [&, first = key + c * documents] {
        auto own = frgate.client();
        int made = 0;
        for (int d = 0; d < documents; ++d) {
          const auto answer = own.Post("/v1/cash/deposit", {{"Idempotency-Key", "bench-" + std::to_string(first + d)}},
                                       R"({"amount": "1.00"})", "application/json");
          made += answer && answer->status == 201 ? 1 : 0;
        }
        return made;
      }));
    }
    int made = 0;
    for (auto& each : running) made += each.get();
    key += clients * documents;
    const double seconds = millisecondsSince(start) / 1000;
    std::printf("%d client(s), %d deposits: %.2f documents per second\n", clients, made, made / seconds);
  }
  return 0;
}
