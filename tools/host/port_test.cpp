#include "tools/host/port.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "link/host_protocol.h"
#include "tools/sim/pseudo_terminal.h"

namespace {

using bytes::Bytes;
using namespace std::chrono_literals;

// A host port on a pseudo-terminal master, and the register's end of the line on its slave.
class HostPortTest : public ::testing::Test {
 protected:
  HostPortTest() : port_(::fcntl(line_.masterFd(), F_DUPFD_CLOEXEC, 0)) {
    registerEnd_ = ::open(line_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~HostPortTest() override {
    if (responder_.joinable()) responder_.join();
    ::close(registerEnd_);
  }

  void writeRegisterEnd(const Bytes& data) {
    ASSERT_EQ(::write(registerEnd_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  }

  // Reads one request frame on the register's end, then writes each of `pieces` in turn.
  void answerWith(std::vector<Bytes> pieces) {
    responder_ = std::thread([this, pieces = std::move(pieces)] {
      host::FrameReader reader(1024);
      std::optional<host::FrameReader::Frame> request;
      while (!(request = reader.next())) {
        std::uint8_t buffer[64];
        const ssize_t count = ::read(registerEnd_, buffer, sizeof buffer);
        if (count <= 0) return;
        reader.feed(bytes::View(buffer, static_cast<std::size_t>(count)));
      }
      received_ = request->body;
      for (const Bytes& piece : pieces) {
        if (::write(registerEnd_, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size())) return;
      }
    });
  }

  Bytes finishedRequest() {
    responder_.join();
    return received_;
  }

  sim::PseudoTerminal line_;
  host::HostPort port_;
  int registerEnd_ = -1;
  std::thread responder_;
  Bytes received_;
};

Bytes replyFrame(std::uint8_t code, std::uint32_t identifier, const Bytes& data) {
  Bytes body{code};
  bytes::appendU32(body, identifier);
  bytes::appendBytes(body, data);
  return host::frame(body);
}

TEST_F(HostPortTest, Transact_ReplyInPiecesAfterNoise_IsAssembled) {
  const Bytes reply = replyFrame(0, 0x01020304, {0x00, 0x00, 0x04});
  answerWith({{0xEE, 0x04}, Bytes(reply.begin(), reply.begin() + 4), Bytes(reply.begin() + 4, reply.end())});

  const auto answer = port_.transact({.command = protocol::kVersion}, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(answer->identifier, 0x01020304u);
  EXPECT_EQ(answer->data, (Bytes{0x00, 0x00, 0x04}));
  EXPECT_EQ(finishedRequest(), (Bytes{0x33, 0, 0, 0, 0}));
}

TEST_F(HostPortTest, Transact_WithIdentifier_SkipsRepliesToOtherRequests) {
  Bytes stream = replyFrame(0, 0x0BAD, {0x01});
  bytes::appendBytes(stream, replyFrame(0, 0x600D, {0x02}));
  answerWith({stream});

  const auto answer = port_.transact({.command = protocol::kVersion, .identifier = 0x600D}, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->data, Bytes{0x02});
}

TEST_F(HostPortTest, Transact_FrameErrorReplyWithIdentifierZero_IsTheAnswer) {
  answerWith({replyFrame(9, 0, {})});
  const auto answer = port_.transact({.command = protocol::kVersion, .identifier = 0x600D}, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 9);
}

TEST_F(HostPortTest, Transact_ReplyLeftFromEarlier_IsDiscardedBeforeSending) {
  writeRegisterEnd(replyFrame(17, 0, {}));
  pollfd arrived{line_.masterFd(), POLLIN, 0};
  ASSERT_EQ(::poll(&arrived, 1, 10'000), 1);

  answerWith({replyFrame(0, 7, {})});
  const auto answer = port_.transact({.command = protocol::kVersion}, 10s);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
}

TEST_F(HostPortTest, Transact_NoReply_GivesNothing) {
  EXPECT_FALSE(port_.transact({.command = protocol::kVersion}, 100ms));
}

TEST_F(HostPortTest, ReadAvailable_ReturnsExactBytesIncludingUnfinishedFrame) {
  const Bytes partial{0x04, 0x08, 0x00, 0x00};
  writeRegisterEnd(partial);
  EXPECT_FALSE(port_.readFrameBody(200ms));
  writeRegisterEnd({0xAA});
  Bytes expected = partial;
  expected.push_back(0xAA);
  EXPECT_EQ(port_.readAvailable(200ms), expected);
}

TEST(HostPortOpen, TerminalPath_IsRawAndStartsWithEmptyInput) {
  sim::PseudoTerminal line;
  const Bytes stale{0x04, 0x01};
  ASSERT_EQ(::write(line.masterFd(), stale.data(), stale.size()), 2);

  auto port = host::HostPort::open(line.slavePath());
  ASSERT_TRUE(port);
  // Carriage return, line feed and the interrupt character pass unchanged.
  const Bytes body{0x0D, 0x0A, 0x03, 0x7F};
  const Bytes frame = host::frame(body);
  ASSERT_EQ(::write(line.masterFd(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  EXPECT_EQ(port->readFrameBody(10s), body);
}

TEST(HostPortOpen, NotATerminal_Fails) {
  EXPECT_FALSE(host::HostPort::open("/dev/null"));
  EXPECT_FALSE(host::HostPort::open("/nonexistent/tty"));
}

}  // namespace
