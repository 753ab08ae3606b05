// Feeds arbitrary bytes to the trace of the host line, in pieces alternating between the two
// directions: each byte that starts a piece gives its length (1 to 64) and direction. The trace
// must neither crash nor read outside a frame.
#include <cstddef>
#include <cstdint>

#include "tools/sim/frame_trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::FrameTrace trace;
  bytes::View rest(data, size);
  while (!rest.empty()) {
    const std::uint8_t control = rest[0];
    rest = rest.subspan(1);
    const bytes::View piece = rest.first(std::min<std::size_t>(rest.size(), (control & 0x3F) + 1u));
    rest = rest.subspan(piece.size());
    if (control & 0x80) {
      trace.fromService(piece);
    } else {
      trace.fromHost(piece);
    }
  }
  return 0;
}
