// The service as a host sees it: frcore started on a simulated board, spoken to over its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>

#include "link/host_protocol.h"
#include "tools/host/frame.h"
#include "tools/sim/testing.h"
#include "values/crc.h"

namespace {

using namespace std::chrono_literals;

bytes::Bytes frameWithLength(std::uint16_t length, const bytes::Bytes& body) {
  bytes::Bytes frame{0x04};
  bytes::appendU16(frame, length);
  bytes::appendBytes(frame, body);
  bytes::appendU16(frame, crc::Crc16().update(bytes::View(frame).subspan(1)).value());
  return frame;
}

class ServiceTest : public ::testing::Test {
 protected:
  explicit ServiceTest(std::vector<std::string> arguments = {}) : board_({.serviceArguments = std::move(arguments)}) {}

  void SetUp() override { ASSERT_TRUE(board_.waitUntilServing()) << board_.log(); }

  host::Reply transact(std::uint8_t command, std::uint32_t identifier = 0, bytes::Bytes payload = {}) {
    auto reply = board_.host().transact({command, identifier, std::move(payload)});
    EXPECT_TRUE(reply.has_value()) << board_.log();
    return reply.value_or(host::Reply{255, 0, {}});
  }

  // Sends raw bytes and takes the next reply frame.
  host::Reply replyTo(const bytes::Bytes& data) {
    board_.host().readAvailable(50ms);
    EXPECT_TRUE(board_.host().send(data));
    auto body = board_.host().readFrameBody(5s);
    EXPECT_TRUE(body.has_value()) << board_.log();
    return host::parseReplyBody(body.value_or(bytes::Bytes{})).value_or(host::Reply{255, 0, {}});
  }

  sim::TestBoard board_;
};

TEST_F(ServiceTest, Version_AnswersWithAMadeUpIdentifier) {
  const host::Reply first = transact(0x33);
  EXPECT_EQ(first.code, 0);
  EXPECT_EQ(first.data, (bytes::Bytes{0, 0, 4}));
  EXPECT_NE(first.identifier, 0u);
  const host::Reply second = transact(0x33);
  EXPECT_NE(second.identifier, first.identifier) << "two identical requests in the same second";
}

TEST_F(ServiceTest, CoreCommands_AreAnsweredByTheCoreWithTheHostsIdentifier) {
  const host::Reply unknown = transact(0x05, 0xCAFE0001);
  EXPECT_EQ(unknown.code, 10);
  EXPECT_EQ(unknown.identifier, 0xCAFE0001u);
  EXPECT_TRUE(unknown.data.empty());
  EXPECT_EQ(transact(0x3B, 2).code, 10);
  const host::Reply counters = transact(0x36, 3);
  EXPECT_EQ(counters.code, 0);
  EXPECT_EQ(counters.data.size(), 406u);
}

TEST_F(ServiceTest, StateCommands_OnABlankBoard) {
  EXPECT_EQ(transact(0x10, 1).code, 13);
  EXPECT_EQ(transact(0x31, 1).code, 13);
  EXPECT_EQ(transact(0x30, 1).code, 13);
  EXPECT_EQ(transact(0x44, 1, {0x25, 0x2B}).code, 38);
  EXPECT_EQ(transact(0x44, 1, {0x25}).code, 22);
}

TEST_F(ServiceTest, DamagedFrames_AreAnsweredWithIdentifierZero) {
  bytes::Bytes swapped = host::requestFrame({0x33, 5, {}});
  std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
  const host::Reply crc = replyTo(swapped);
  EXPECT_EQ(crc.code, 9);
  EXPECT_EQ(crc.identifier, 0u);

  EXPECT_EQ(replyTo({0x04, 0x01, 0x04}).code, 11);            // LEN 1025
  EXPECT_EQ(replyTo(frameWithLength(0, {})).code, 11);        // no command byte
  bytes::Bytes longest(1024, 0);
  longest[0] = 0x33;
  EXPECT_EQ(replyTo(frameWithLength(1024, longest)).code, 0);  // the longest request

  bytes::Bytes garbageFirst{0x00, 0x13, 0xFF};
  bytes::appendBytes(garbageFirst, host::requestFrame({0x33, 6, {}}));
  const host::Reply afterGarbage = replyTo(garbageFirst);
  EXPECT_EQ(afterGarbage.code, 0);
  EXPECT_EQ(afterGarbage.identifier, 6u);
}

TEST_F(ServiceTest, FrameInPieces_IsAnswered) {
  const bytes::Bytes frame = host::requestFrame({0x33, 9, bytes::Bytes(20, 1)});
  board_.host().readAvailable(50ms);
  for (std::size_t at = 0; at < frame.size(); at += 5) {
    board_.host().send(bytes::View(frame).subspan(at, std::min<std::size_t>(5, frame.size() - at)));
    std::this_thread::sleep_for(100ms);
  }
  auto body = board_.host().readFrameBody(5s);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(host::parseReplyBody(*body)->identifier, 9u);

  // A frame whose rest never comes is answered 11 after the piece time-out, and the link
  // goes on serving.
  EXPECT_EQ(replyTo(bytes::Bytes(frame.begin(), frame.begin() + 6)).code, 11);
  EXPECT_EQ(transact(0x33, 10).identifier, 10u);
}

TEST_F(ServiceTest, ResendByte_RepeatsTheLastReply) {
  transact(0x33, 0xABCD);
  const host::Reply again = replyTo({0x05});
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(again.identifier, 0xABCDu);
}

TEST_F(ServiceTest, FloodOfGarbage_NeitherCrashesNorWedgesTheLink) {
  std::mt19937 random(1234);
  bytes::Bytes flood(4000);
  for (auto& b : flood) b = static_cast<std::uint8_t>(random());
  bytes::appendBytes(flood, bytes::Bytes(500, 0x05));
  board_.host().send(flood);
  board_.host().readAvailable(2s);  // everything the link answers to the noise
  std::optional<host::Reply> reply;
  for (int attempt = 0; attempt < 10 && !(reply && reply->identifier == 77); ++attempt) {
    reply = board_.host().transact({protocol::kVersion, 77, {}}, 2s);
  }
  ASSERT_TRUE(reply.has_value()) << board_.log();
  EXPECT_EQ(reply->identifier, 77u);
}

TEST(ServiceStart, ResendBeforeAnyRequest_Answers17) {
  sim::TestBoard board;
  std::optional<bytes::Bytes> body;
  for (int attempt = 0; attempt < 100 && !body; ++attempt) {
    board.host().send(bytes::Bytes{0x05});
    body = board.host().readFrameBody(300ms);
  }
  ASSERT_TRUE(body.has_value()) << board.log();
  const auto reply = host::parseReplyBody(*body);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->code, 17);
  EXPECT_EQ(reply->identifier, 0u);
}

class LinkOnlyServiceTest : public ServiceTest {
 protected:
  LinkOnlyServiceTest() : ServiceTest({"-s"}) {}
};

TEST_F(LinkOnlyServiceTest, CoreCommandsAnswer8AndLinkCommandsAreServed) {
  EXPECT_EQ(transact(0x05, 1).code, 8);
  EXPECT_EQ(transact(0x30, 1).code, 13);
  EXPECT_EQ(transact(0x33, 1).code, 0);
}

}  // namespace

namespace {

const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};

bytes::Bytes keyOf(const host::Reply& reply) { return bytes::Bytes(reply.data.end() - 16, reply.data.end()); }

// The register's life from a blank board to a stored identity, across restarts.
TEST(ServiceIdentity, BlankBoardToSerialNumber_SurvivesRestarts) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  auto key = board.host().transact({protocol::kDeviceKey, 1, {}});
  ASSERT_TRUE(key && key->code == 0) << board.log();
  ASSERT_EQ(key->data.size(), 3u + 8u + 16u);
  const bytes::Bytes deviceKey = keyOf(*key);

  board.restart();
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  EXPECT_EQ(keyOf(*board.host().transact({protocol::kDeviceKey, 2, {}})), deviceKey) << "the key is made once";
  EXPECT_EQ(board.host().transact({protocol::kIdentity, 3, {}})->code, 13);

  bytes::Bytes payload = kAdministrator;
  bytes::appendBytes(payload, bytes::view("0000012345"));
  EXPECT_EQ(board.host().transact({protocol::kSetSerialNumber, 4, payload})->code, 0);

  const auto model = board.host().transact({protocol::kIdentity, 5, {}});
  ASSERT_EQ(model->code, 0);
  ASSERT_EQ(model->data.size(), 44u);
  EXPECT_EQ(bytes::fieldText(bytes::View(model->data).subspan(2, 10)), "0000012345");
  const auto status = board.host().transact({protocol::kStatus, 6, {}});
  ASSERT_EQ(status->code, 0);
  EXPECT_EQ(std::string(status->data.begin(), status->data.begin() + 10), "0000012345");
  ASSERT_EQ(status->data.size(), 10u + 21u);
  EXPECT_EQ(bytes::loadU16(status->data, 10) & 0x0011, 0x0011) << "card and archive flags";
  EXPECT_EQ(status->data[10 + 3], 0x32);
  EXPECT_EQ(board.host().transact({protocol::kState, 7, {}})->data.size(), 29u);

  board.restart();
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  const auto again = board.host().transact({protocol::kIdentity, 8, {}});
  ASSERT_EQ(again->code, 0);
  EXPECT_EQ(again->data, model->data);
  EXPECT_EQ(board.host().transact({protocol::kSetSerialNumber, 9, payload})->code, 24);
}

// A line of the start-up banner: large font on 60 mm paper, 34 characters, centred.
std::string centredBannerLine(const std::string& utf8, std::size_t characters) {
  return std::string((34 - characters) / 2, ' ') + utf8;
}

// The printout of every start: the model, the serial number or that none is set, the time.
TEST(ServicePrinting, StartupPrintout_BlankBoardThenWithSerialNumber) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  auto pieces = sim::readPaper(board.root()).pieces();
  ASSERT_EQ(pieces.size(), 2u) << "one printout, ended by a cut";
  ASSERT_EQ(pieces[0].size(), 4u) << "three lines and the feed before the cut";
  EXPECT_EQ(pieces[0][0], centredBannerLine("", 0)) << "a blank board has no model name";
  EXPECT_EQ(pieces[0][1], centredBannerLine("НЕ УСТАНОВЛЕН ЗАВОДСКОЙ НОМЕР", 29));
  EXPECT_EQ(pieces[0][2].size(), centredBannerLine("07.12.2026 21:30", 16).size());

  bytes::Bytes payload = kAdministrator;
  bytes::appendBytes(payload, bytes::view("0000012345"));
  ASSERT_EQ(board.host().transact({protocol::kSetSerialNumber, 1, payload})->code, 0);
  board.restart();
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  pieces = sim::readPaper(board.root()).pieces();
  ASSERT_EQ(pieces.size(), 3u);
  ASSERT_EQ(pieces[1].size(), 4u);
  EXPECT_EQ(pieces[1][0], centredBannerLine("ТЕРНА-1-К", 9));
  EXPECT_EQ(pieces[1][1], centredBannerLine("ЗН 0000012345", 13));
}

TEST(ServicePrinting, HostTextRawBytesAndCut) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  bytes::Bytes text{0x00, 0x02, 0x01, 0x01};  // right-aligned, bold
  bytes::appendBytes(text, bytes::view("TOTAL\t12.00"));
  EXPECT_EQ(board.host().transact({protocol::kPrintText, 1, text})->code, 0);
  EXPECT_EQ(board.host().transact({protocol::kPrintText, 2, {0, 0, 0}})->code, 22);
  EXPECT_EQ(board.host().transact({protocol::kPrintRaw, 3, {}})->code, 22);
  EXPECT_EQ(board.host().transact({protocol::kPrintRaw, 4, {'R', 'A', 'W', 0x0A}})->code, 0);
  EXPECT_EQ(board.host().transact({protocol::kFeedAndCut, 5, {}})->code, 0);
  EXPECT_EQ(board.host().transact({protocol::kPrinterStatus, 6, {}})->code, 0);
  const auto pieces = sim::readPaper(board.root()).pieces();
  ASSERT_EQ(pieces.size(), 3u) << "the start-up printout, the host's text, the paper after the cut";
  const std::vector<std::string> expected{"TOTAL" + std::string(34, ' ') + "12.00", "RAW", ""};
  EXPECT_EQ(pieces[1], expected);
}

std::string runServiceMode(const sim::TestBoard& board, const std::string& mode) {
  const std::string command = "FRCORE_ROOT='" + board.root().string() + "' $FRCORE_LAUNCHER '" FRCORE_BINARY "' " + mode;
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    EXPECT_EQ(pclose(pipe), 0);
  }
  return output;
}

TEST(ServiceModes, EraseThenShow_LeavesABlankMemory) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  board.board().stopService();
  const std::string shown = runServiceMode(board, "-d");
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 64);
  EXPECT_NE(shown.substr(shown.size() - 20), std::string(18, 'F') + "\n") << "the key is not blank";

  const std::string erased = runServiceMode(board, "-c");
  const std::string group(16, 'F');
  std::string blankRow = group;
  for (int i = 1; i < 8; ++i) blankRow += "  " + group;
  std::string blank;
  for (int i = 0; i < 64; ++i) blank += blankRow + "\n";
  EXPECT_EQ(erased, blank);
}

// A second service on a board that one serves says so, exits non-zero and touches nothing.
TEST(ServiceModes, SecondServiceOnABoard_IsRefused) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  const std::string command = "FRCORE_ROOT='" + board.root().string() + "' $FRCORE_LAUNCHER '" FRCORE_BINARY "' -c";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  EXPECT_NE(pclose(pipe), 0);
  EXPECT_EQ(output.rfind("ANOTHER SERVICE RUNS ON THIS BOARD", 0), 0u) << output;
  board.board().stopService();
  const std::string shown = runServiceMode(board, "-d");
  EXPECT_NE(shown.substr(shown.size() - 20), std::string(18, 'F') + "\n") << "the erase did not run";
}

}  // namespace
