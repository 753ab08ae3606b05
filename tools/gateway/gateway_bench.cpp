// What frgate adds to a request over talking to the register directly, and documents per second
// through it with 1 and 8 clients (bounded by the register's one document a second).
//
//   gateway_bench [REQUESTS [DOCUMENTS [RUNS]]]     (default 200 requests, 8 documents, 3 runs)
//
// Each run times the same two line requests as GET /v1/status (0x30 and 0x10) straight over the
// line, then GET /v1/status through a frgate started for the run: with a connection of its own
// for each request, and all on one kept-alive connection; and an unknown route (answered 404
// without the line) on a kept-alive connection, which is what HTTP alone costs. The difference
// of the medians is what the gateway adds. Then deposits, each with its own key, from 1 and from
// 8 clients at once.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <vector>

#include "link/host_protocol.h"
#include "tools/gateway/gateway_testing.h"
#include "tools/host/port.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
  double median;
  double p90;
};

// The median and the 90th percentile of `count` timed calls of `request`, in milliseconds;
// nullopt when one failed.
std::optional<Timing> time(int count, const std::function<bool()>& request) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (!request()) return std::nullopt;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return Timing{times[times.size() / 2], times[times.size() * 9 / 10]};
}

bool answered(const httplib::Result& answer, int status) { return answer && answer->status == status; }

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const int documents = argc > 2 ? std::atoi(argv[2]) : 8;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  if (count < 1 || documents < 1 || runs < 1) {
    std::fprintf(stderr, "usage: gateway_bench [REQUESTS [DOCUMENTS [RUNS]]]\n");
    return 2;
  }
  gateway::testing::RegisterBoard board;
  const auto database = board.root() / "frgate.db";

  std::printf("%d status requests a run, medians (90th percentiles) in ms\n", count);
  std::uint32_t identifier = 1;
  for (int run = 1; run <= runs; ++run) {
    std::optional<Timing> direct;
    {
      auto port = host::HostPort::open(board.port().string());
      if (!port) return 1;
      direct = time(count, [&] {
        return port->transact({.command = protocol::kStatus, .identifier = identifier++}) &&
               port->transact({.command = protocol::kState, .identifier = identifier++});
      });
    }
    gateway::testing::GatewayProcess frgate(board.port(), database);
    const auto fresh = time(count, [&] { return answered(frgate.client().Get("/v1/status"), 200); });
    auto kept = frgate.client();
    kept.set_keep_alive(true);
    const auto alive = time(count, [&] { return answered(kept.Get("/v1/status"), 200); });
    const auto http = time(count, [&] { return answered(kept.Get("/v1/none"), 404); });
    if (!direct || !fresh || !alive || !http) return 1;
    std::printf("run %d: direct %.2f (%.2f); through frgate %.2f (%.2f), added %.2f; kept alive %.2f (%.2f), "
                "added %.2f; HTTP alone %.3f (%.3f)\n",
                run, direct->median, direct->p90, fresh->median, fresh->p90, fresh->median - direct->median,
                alive->median, alive->p90, alive->median - direct->median, http->median, http->p90);
  }

  gateway::testing::GatewayProcess frgate(board.port(), database);
  int key = 0;
  for (const int clients : {1, 8}) {
    const auto start = Clock::now();
    std::vector<std::future<int>> running;
    for (int c = 0; c < clients; ++c) {
      running.push_back(std::async(std::launch::async, [&, first = key + c * documents] {
        auto own = frgate.client();
        own.set_keep_alive(true);
        int made = 0;
        for (int d = 0; d < documents; ++d) {
          const auto answer = own.Post("/v1/cash/deposit", {{"Idempotency-Key", "bench-" + std::to_string(first + d)}},
                                       R"({"amount": "1.00"})", "application/json");
          made += answered(answer, 201) ? 1 : 0;
        }
        return made;
      }));
    }
    int made = 0;
    for (auto& each : running) made += each.get();
    key += clients * documents;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d client(s), %d deposits: %.2f documents per second\n", clients, made, made / seconds);
  }
  return 0;
}
