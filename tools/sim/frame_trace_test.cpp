#include "tools/sim/frame_trace.h"

#include <gtest/gtest.h>

#include "link/host_protocol.h"

namespace {

using bytes::Bytes;
using Lines = std::vector<std::string>;

TEST(FrameTrace, FramesBothWays_AreDecodedOncePerFrameWhateverThePieces) {
  sim::FrameTrace trace;
  const Bytes request = host::requestFrame({.command = protocol::kReadClock, .identifier = 0x01020304});
  EXPECT_EQ(trace.fromHost(bytes::View(request).first(3)), Lines{});
  EXPECT_EQ(trace.fromHost(bytes::View(request).subspan(3)), Lines{">> 0x03 read clock, id 0x01020304, no payload"});

  const Bytes reply = host::frame(Bytes{0, 4, 3, 2, 1, 0xAA, 0xBB, 0xCC, 0xDD});
  EXPECT_EQ(trace.fromService(reply),
            Lines{"<< 0 success, id 0x01020304, 4 bytes AABBCCDD, to 0x03 read clock"});

  Bytes two = host::requestFrame({.command = 0xEE, .identifier = 1, .payload = Bytes(40, 0x11)});
  bytes::appendBytes(two, host::frame(Bytes{protocol::kStatus}));
  EXPECT_EQ(trace.fromHost(two),
            (Lines{">> 0xEE unknown, id 0x00000001, 40 bytes " + std::string(64, '1') + "...", ">> 0x30 status"}));
  EXPECT_EQ(trace.fromService(host::frame(Bytes{11})), Lines{"<< 11 bad frame length, short frame, or reply too long, to 0x30 status"});
  EXPECT_EQ(trace.fromService(host::frame(Bytes{200, 0, 0, 0, 0})), Lines{"<< 200 unknown code, id 0x00000000, no data"});

  Bytes damaged = host::frame(Bytes{0x33});
  damaged.back() ^= 0xFF;
  EXPECT_EQ(trace.fromHost(damaged), Lines{">> frame with a bad check value: 1 byte 33"});
  EXPECT_EQ(trace.fromService(host::frame(Bytes{1, 2})), Lines{"<< reply that does not decode: 2 bytes 0102"});
}

}  // namespace
