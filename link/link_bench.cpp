// Round trips over the host line of a simulated board, one request after the other: a
// link-level request (0x33 version) and a request the core loop answers (code 0x05, unknown).
//
// The specified pauses set the floor: every reply waits 10 ms; a core command's reply also
// waits for the link's first poll of the queue, 20 ms after it queued the command. Each
// repetition is one round trip, so the aggregates are those of single requests: the median,
// the 99th percentile and the minimum, and as "late" the share of replies that came more than
// 10 ms after their floor (where a second poll of the queue would put them).
//   link_bench [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "link/host_protocol.h"
#include "tools/sim/testing.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kAnsweredByTheCore = 0x05;
constexpr auto kLateBy = 10ms;

sim::TestBoard& servingBoard() {
  static sim::TestBoard board;
  static const bool serving = board.waitUntilServing();
  if (!serving) std::fprintf(stderr, "the service did not answer\n");
  return board;
}

double percentile(const std::vector<double>& values, double share) {
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  return sorted[static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1))];
}

void roundTrip(benchmark::State& state, std::uint8_t command, std::chrono::milliseconds floor) {
  static std::uint32_t identifier = 0;
  sim::TestBoard& board = servingBoard();
  bool late = false;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto reply = board.host().transact({command, ++identifier, {}});
    const auto took = Clock::now() - start;
    if (!reply) {
      state.SkipWithError("no reply");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    late = took > floor + kLateBy;
  }
  state.counters["floor_ms"] = static_cast<double>(floor.count());
  state.counters["late"] = late ? 1 : 0;
}

void BM_LinkLevelRequest(benchmark::State& state) { roundTrip(state, protocol::kVersion, 10ms); }
void BM_CoreCommand(benchmark::State& state) { roundTrip(state, kAnsweredByTheCore, 30ms); }

void singleRoundTrips(benchmark::internal::Benchmark* benchmark) {
  benchmark->Iterations(1)
      ->Repetitions(1000)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->ComputeStatistics("p99", [](const std::vector<double>& v) { return percentile(v, 0.99); })
      ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_LinkLevelRequest)->Apply(singleRoundTrips);
BENCHMARK(BM_CoreCommand)->Apply(singleRoundTrips);

}  // namespace

BENCHMARK_MAIN();
