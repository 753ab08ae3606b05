#include "tools/sim/host_line_faults.h"

#include <gtest/gtest.h>

#include "tools/host/frame.h"

namespace sim {
namespace {

constexpr auto kFromHost = HostLineDirection::FromHost;
constexpr auto kFromService = HostLineDirection::FromService;

bytes::Bytes request(std::uint8_t command, std::uint32_t identifier) {
  return host::requestFrame({.command = command, .identifier = identifier, .payload = {1, 2, 3}});
}

bytes::Bytes reply(std::uint8_t code, std::uint32_t identifier) {
  bytes::Bytes body{code};
  bytes::appendU32(body, identifier);
  return host::frame(body);
}

bytes::Bytes joined(std::initializer_list<bytes::Bytes> pieces) {
  bytes::Bytes all;
  for (const auto& piece : pieces) bytes::appendBytes(all, piece);
  return all;
}

TEST(HostLineFaults, FramesPassWholeOnceTheirLastByteArrivesAndControlBytesAtOnce) {
  HostLineFaults faults;
  const bytes::Bytes frame = request(0x33, 7);
  const bytes::Bytes head(frame.begin(), frame.begin() + 4);
  const bytes::Bytes tail(frame.begin() + 4, frame.end());

  EXPECT_EQ(faults.pass(kFromHost, bytes::Bytes{0x05}), bytes::Bytes{0x05});
  EXPECT_TRUE(faults.pass(kFromHost, head).empty());
  EXPECT_EQ(faults.pass(kFromHost, tail), frame);
  // A start byte whose length no frame has is a stray byte and does not hold up the rest.
  EXPECT_EQ(faults.pass(kFromService, bytes::Bytes{0x04, 0xFF, 0xFF}), (bytes::Bytes{0x04, 0xFF, 0xFF}));
  EXPECT_EQ(faults.requestsPassed(), std::vector<std::uint8_t>{0x33});
}

TEST(HostLineFaults, DropsOnlyTheReplyToTheArmedCommandAndLetsItsResentCopyPass) {
  HostLineFaults faults;
  int actions = 0;
  faults.dropReplyTo(22, [&] { ++actions; });

  EXPECT_EQ(faults.pass(kFromHost, request(7, 1)), request(7, 1));
  EXPECT_EQ(faults.pass(kFromService, reply(0, 1)), reply(0, 1));
  EXPECT_EQ(faults.pass(kFromHost, request(22, 2)), request(22, 2));
  EXPECT_TRUE(faults.pass(kFromService, reply(0, 2)).empty());
  EXPECT_EQ(actions, 1);
  // The host asks for the last reply again: the copy answers no new request and passes.
  EXPECT_EQ(faults.pass(kFromHost, bytes::Bytes{0x05}), bytes::Bytes{0x05});
  EXPECT_EQ(faults.pass(kFromService, reply(0, 2)), reply(0, 2));
  // Armed once: the next finish's reply passes.
  EXPECT_EQ(faults.pass(kFromHost, request(22, 3)), request(22, 3));
  EXPECT_EQ(faults.pass(kFromService, reply(0, 3)), reply(0, 3));
  EXPECT_EQ(faults.dropped(), 1u);
}

TEST(HostLineFaults, ADroppedRequestNeverReachesTheServiceAndLeavesNoReplyToDrop) {
  HostLineFaults faults;
  faults.dropRequest(22);
  faults.dropReplyTo(22);

  // Two frames in one read: the first is dropped, the second passes.
  EXPECT_EQ(faults.pass(kFromHost, joined({request(22, 4), request(0x33, 5)})), request(0x33, 5));
  EXPECT_EQ(faults.requestsPassed(), std::vector<std::uint8_t>{0x33});
  EXPECT_EQ(faults.pass(kFromService, reply(0, 5)), reply(0, 5));
  EXPECT_EQ(faults.pass(kFromHost, request(22, 6)), request(22, 6));
  EXPECT_TRUE(faults.pass(kFromService, reply(0, 6)).empty());
  EXPECT_EQ(faults.dropped(), 2u);
}

TEST(HostLineFaults, ACutLineCarriesNothingEitherWayUntilMended) {
  HostLineFaults faults;
  faults.cut(true);
  EXPECT_TRUE(faults.pass(kFromHost, request(0x33, 8)).empty());
  EXPECT_TRUE(faults.pass(kFromService, reply(0, 8)).empty());
  faults.cut(false);
  EXPECT_EQ(faults.pass(kFromHost, request(0x33, 9)), request(0x33, 9));
}

}  // namespace
}  // namespace sim
