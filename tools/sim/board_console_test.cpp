#include "tools/sim/board_console.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/state/status_records.h"
#include "tools/sim/testing.h"

namespace {

using bytes::Bytes;

const Bytes kAdministrator{20, 30, 0, 0, 0};  // cashier 20, password 30

// A running register and the console of its board.
class BoardConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
    Bytes serial = kAdministrator;
    bytes::appendBytes(serial, bytes::view("0000012345"));
    ASSERT_EQ(send(0x3F, serial).code, 0) << "the status needs a serial number";
  }

  host::Reply send(std::uint8_t command, Bytes payload = {}) {
    const auto reply = board_.host().transact({.command = command, .identifier = ++identifier_, .payload = payload});
    return reply.value_or(host::Reply{.code = 255, .identifier = 0, .data = {}});
  }

  // Types `line` and expects frsim to say something containing `said`.
  void type(const std::string& line, const std::string& said) {
    EXPECT_NE(console_.run(line).find(said), std::string::npos) << line << ": " << console_.run("status");
  }

  void restart() {
    type("restart", "service restarted");
    ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  }

  std::uint16_t statusFlags() {
    const host::Reply status = send(0x30);
    EXPECT_EQ(status.code, 0);
    return status.data.size() == 10 + FrStatus::StatusStruct::kSize ? bytes::loadU16(status.data, 10) : 0;
  }

  sim::TestBoard board_;
  sim::BoardConsole console_{board_.board()};
  std::uint32_t identifier_ = 0x5100;
};

TEST_F(BoardConsoleTest, Card_RemovedInsertedAndFilled_AsTheRegisterSeesItFromItsNextStart) {
  EXPECT_TRUE(statusFlags() & FrStatus::kCardPresent);

  type("card remove", "card removed");
  restart();
  EXPECT_FALSE(statusFlags() & FrStatus::kCardPresent);

  type("card insert", "card inserted");
  type("card free 1000", "card free space 1000 bytes");
  restart();
  EXPECT_TRUE(statusFlags() & FrStatus::kCardPresent);
  EXPECT_EQ(send(0x08, kAdministrator).code, 6) << "the card is full";

  type("card free real", "that of its file system");
  restart();
  EXPECT_EQ(send(0x08, kAdministrator).code, 0);
}

TEST_F(BoardConsoleTest, Clock_MovesTheRegistersClockAtOnce) {
  const auto clock = [&] {
    const host::Reply reply = send(0x03);
    return reply.code == 0 && reply.data.size() == 4 ? std::int64_t{bytes::loadU32(reply.data, 0)} : 0;
  };
  const std::int64_t before = clock();
  EXPECT_EQ(console_.keptFromEarlierRuns(), "") << "a fresh board keeps nothing";
  type("clock +86400", "+86400 s from this machine's");
  EXPECT_NE(console_.keptFromEarlierRuns().find("+86400 s from this machine's, kept from an earlier run"),
            std::string::npos);
  EXPECT_NEAR(clock() - before, 86400, 5);
  type("clock -3600", "+82800 s");
  EXPECT_NEAR(clock() - before, 82800, 5);
  type("clock reset", "+0 s");
  EXPECT_NEAR(clock(), std::time(nullptr), 5);
}

TEST_F(BoardConsoleTest, PrinterStatusHelpAndMistakes_AreAnsweredInWords) {
  type("out", "printer out");
  EXPECT_EQ(send(0xC0).code, 54);
  type("  ok ", "printer ok");
  EXPECT_EQ(send(0xC0).code, 0);

  const std::string status = console_.run("status");
  for (const char* line : {"printer ok", "card    inserted", "clock   ", "service running, pid"}) {
    EXPECT_NE(status.find(line), std::string::npos) << line << " in " << status;
  }
  type("help", "card free BYTES");
  type("clock 5", "clock takes +SECONDS");
  type("clock +9223372036854775807", "at most 3155760000 s either way");
  type("card free lots", "card takes remove");
  type("paper jam", "\"paper jam\" is not what frsim takes; type help");
  EXPECT_EQ(console_.run(" \t"), "");
}

}  // namespace
