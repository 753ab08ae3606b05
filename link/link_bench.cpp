// Round trips over the host line of a simulated board: link-level requests (version) and
// requests that go through the core (an unknown command, answered by the core loop).
//
// The specified pauses set a floor: every reply waits 10 ms; a core command also waits for
// the core loop (up to 20 ms between passes) and for the link's poll of the queue (up to
// 20 ms).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "tools/sim/testing.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double median;
  double p99;
  double min;
};

Figures measure(sim::TestBoard& board, std::uint8_t command, int count) {
  std::vector<double> millis;
  millis.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const auto reply = board.host().transact({command, static_cast<std::uint32_t>(i + 1), {}});
    const auto end = Clock::now();
    if (!reply) {
      std::fprintf(stderr, "no reply to request %d\n", i);
      continue;
    }
    millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(millis.begin(), millis.end());
  return {millis[millis.size() / 2], millis[millis.size() * 99 / 100], millis.front()};
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  sim::TestBoard board;
  if (!board.waitUntilServing()) {
    std::fprintf(stderr, "the service did not answer\n");
    return 1;
  }
  const Figures link = measure(board, 0x33, count);
  const Figures core = measure(board, 0x05, count);
  std::printf("%d round trips each over the pseudo-terminal host line\n", count);
  std::printf("link-level 0x33: median %.2f ms, p99 %.2f ms, min %.2f ms (floor 10 ms)\n", link.median, link.p99,
              link.min);
  std::printf("core command:    median %.2f ms, p99 %.2f ms, min %.2f ms (floor 10 ms + up to 20 ms core loop "
              "+ up to 20 ms queue poll)\n",
              core.median, core.p99, core.min);
  return 0;
}
