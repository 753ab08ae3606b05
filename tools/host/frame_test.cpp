#include "tools/host/frame.h"

#include <gtest/gtest.h>

namespace {

using bytes::Bytes;

// A version request with a bare command byte and a version reply, with their CRCs worked out
// by hand (CRC-16/CCITT-FALSE over LEN and body, sent low byte first).
const Bytes kBareVersionRequest{0x04, 0x01, 0x00, 0x33, 0x9C, 0xFD};
const Bytes kVersionReply{0x04, 0x08, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0x04, 0x94, 0x37};

TEST(Frame, BareCommandBody_MatchesHandComputedBytes) {
  EXPECT_EQ(host::frame(Bytes{0x33}), kBareVersionRequest);
}

TEST(Frame, RequestWithIdentifierAndPayload_LaysOutBodyLittleEndian) {
  const host::Request request{.command = 0x10, .identifier = 0x12345678, .payload = {0xAB}};
  EXPECT_EQ(host::requestBody(request), (Bytes{0x10, 0x78, 0x56, 0x34, 0x12, 0xAB}));
  EXPECT_EQ(host::requestFrame(request), (Bytes{0x04, 0x06, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12, 0xAB, 0x8D, 0x9E}));
}

TEST(Frame, BodyTooLongForLengthField_Throws) {
  EXPECT_THROW(host::frame(Bytes(0x10000, 0)), std::length_error);
}

TEST(ParseReplyBody, OneByte_IsBareCode) {
  const auto reply = host::parseReplyBody(Bytes{11});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->code, 11);
  EXPECT_EQ(reply->identifier, 0u);
  EXPECT_TRUE(reply->data.empty());
}

TEST(ParseReplyBody, FiveOrMoreBytes_GiveCodeIdentifierAndData) {
  const auto bare = host::parseReplyBody(Bytes{9, 0, 0, 0, 0});
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->code, 9);
  EXPECT_TRUE(bare->data.empty());

  const auto full = host::parseReplyBody(Bytes(kVersionReply.begin() + 3, kVersionReply.end() - 2));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->code, 0);
  EXPECT_EQ(full->identifier, 0x11223344u);
  EXPECT_EQ(full->data, (Bytes{0x00, 0x00, 0x04}));
}

TEST(ParseReplyBody, EmptyOrTwoToFourBytes_IsNotAReply) {
  EXPECT_FALSE(host::parseReplyBody(Bytes{}));
  EXPECT_FALSE(host::parseReplyBody(Bytes{0, 1}));
  EXPECT_FALSE(host::parseReplyBody(Bytes{0, 1, 2, 3}));
}

Bytes bodyOf(const Bytes& frame) { return Bytes(frame.begin() + 3, frame.end() - 2); }

TEST(FrameReader, GarbageBeforeStartByte_IsSkipped) {
  host::FrameReader reader;
  Bytes stream{0xFF, 0x00, 0x05};
  stream.insert(stream.end(), kVersionReply.begin(), kVersionReply.end());
  reader.feed(stream);
  const auto frame = reader.next();
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->crcMatches);
  EXPECT_EQ(frame->body, bodyOf(kVersionReply));
  EXPECT_FALSE(reader.next());
  EXPECT_TRUE(reader.takeBuffered().empty());
}

TEST(FrameReader, FrameFedByteByByte_CompletesOnLastByte) {
  host::FrameReader reader;
  for (std::size_t i = 0; i + 1 < kVersionReply.size(); ++i) {
    reader.feed(bytes::View(kVersionReply).subspan(i, 1));
    ASSERT_FALSE(reader.next()) << "after byte " << i;
  }
  reader.feed(bytes::View(kVersionReply).last(1));
  const auto frame = reader.next();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->body, bodyOf(kVersionReply));
}

TEST(FrameReader, TwoFramesInOneFeed_AreYieldedInOrder) {
  host::FrameReader reader;
  reader.feed(kBareVersionRequest);
  reader.feed(kVersionReply);
  EXPECT_EQ(reader.next()->body, bodyOf(kBareVersionRequest));
  EXPECT_EQ(reader.next()->body, bodyOf(kVersionReply));
  EXPECT_FALSE(reader.next());
}

TEST(FrameReader, FeedAfterFramesTaken_KeepsTheUnreadBytes) {
  host::FrameReader reader;
  Bytes stream = kBareVersionRequest;
  stream.insert(stream.end(), kVersionReply.begin(), kVersionReply.begin() + 4);
  reader.feed(stream);
  EXPECT_EQ(reader.next()->body, bodyOf(kBareVersionRequest));
  EXPECT_FALSE(reader.next());
  reader.feed(bytes::View(kVersionReply).subspan(4));
  reader.feed(Bytes{0x00});
  EXPECT_EQ(reader.next()->body, bodyOf(kVersionReply));
  EXPECT_FALSE(reader.next());
  EXPECT_TRUE(reader.takeBuffered().empty());
}

TEST(FrameReader, BadCrc_IsReportedAndFollowingFrameStillFound) {
  host::FrameReader reader;
  Bytes damaged = kVersionReply;
  std::swap(damaged[damaged.size() - 1], damaged[damaged.size() - 2]);
  reader.feed(damaged);
  reader.feed(kBareVersionRequest);

  const auto rejected = reader.next();
  ASSERT_TRUE(rejected);
  EXPECT_FALSE(rejected->crcMatches);
  std::optional<host::FrameReader::Frame> frame;
  while ((frame = reader.next()) && !frame->crcMatches) {
  }
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->body, bodyOf(kBareVersionRequest));
}

TEST(FrameReader, StrayStartByteWithHugeLength_DoesNotSwallowNextFrame) {
  host::FrameReader reader;
  reader.feed(Bytes{0x04, 0xFF, 0xFF});
  reader.feed(kVersionReply);
  const auto frame = reader.next();
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->crcMatches);
  EXPECT_EQ(frame->body, bodyOf(kVersionReply));
}

TEST(FrameReader, StrayStartByteWithPlausibleLength_YieldsToCompleteFrameAfterIt) {
  host::FrameReader reader;
  reader.feed(Bytes{0x04});
  reader.feed(kVersionReply);  // the stray 0x04 reads as LEN 0x0804
  const auto frame = reader.next();
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->crcMatches);
  EXPECT_EQ(frame->body, bodyOf(kVersionReply));
}

TEST(FrameReader, LimitForRequests_AcceptsLongestRequestBody) {
  host::FrameReader reader(1024);
  const Bytes longest = host::frame(Bytes(1024, 0x5A));
  reader.feed(longest);
  const auto frame = reader.next();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->body.size(), 1024u);
  EXPECT_TRUE(frame->crcMatches);
}

TEST(FrameReader, TakeBuffered_ReturnsIncompleteFrameAndEmptiesReader) {
  host::FrameReader reader;
  const Bytes partial(kVersionReply.begin(), kVersionReply.begin() + 6);
  reader.feed(partial);
  EXPECT_FALSE(reader.next());
  EXPECT_EQ(reader.takeBuffered(), partial);
  reader.feed(bytes::View(kVersionReply).subspan(6));
  EXPECT_FALSE(reader.next());
}

}  // namespace
