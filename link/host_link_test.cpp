#include "link/host_link.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "core/core_worker.h"
#include "link/host_protocol.h"
#include "platform/sleep.h"
#include "platform/temporary_directory.h"
#include "tools/host/frame.h"
#include "tools/host/port.h"
#include "tools/sim/pseudo_terminal.h"
#include "values/crc.h"

namespace {

using namespace std::chrono_literals;

const bytes::Bytes kDeviceKey(16, 0x5A);

// A host link on one end of a pseudo-terminal, the test as the host on the other.
class HostLinkTest : public ::testing::Test {
 protected:
  HostLinkTest()
      : board_(platform::makeSimulatedBoard("/nonexistent")),
        link_(line_.slavePath(), state_, *board_),
        host_(dup(line_.masterFd())) {}

  void SetUp() override { ASSERT_TRUE(link_.openPort()); }

  void send(const bytes::Bytes& data) { ASSERT_TRUE(host_.send(data)); }

  static bytes::Bytes rawFrame(std::uint16_t length, const bytes::Bytes& body) {
    bytes::Bytes frame{0x04};
    bytes::appendU16(frame, length);
    bytes::appendBytes(frame, body);
    bytes::appendU16(frame, crc::Crc16().update(bytes::View(frame).subspan(1)).value());
    return frame;
  }

  // Sends `bytes` and reads one frame with the link; returns the link's code.
  int readAfterSending(const bytes::Bytes& data, CoreTransaction& transaction) {
    send(data);
    return link_.readFrame(transaction);
  }

  host::Reply nextReply() {
    auto body = host_.readFrameBody(5s);
    EXPECT_TRUE(body.has_value());
    auto reply = host::parseReplyBody(body.value_or(bytes::Bytes{}));
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(host::Reply{255, 0, {}});
  }

  void makeIdentityValid() {
    state_.setDeviceKey(kDeviceKey);
    ModelData model;
    model.setSerialNumber("0123456789");
    ASSERT_TRUE(model.seal(kDeviceKey));
    state_.publishModelData(model);
  }

  CoreApiResult handle(std::uint8_t command, bytes::Bytes payload = {}) {
    CoreTransaction transaction{command, 0x01020304, std::move(payload)};
    CoreApiResult result;
    EXPECT_TRUE(link_.handleRequest(transaction, result));
    EXPECT_EQ(result.identifier(), 0x01020304u);
    return result;
  }

  sim::PseudoTerminal line_;
  DeviceState state_;
  std::unique_ptr<platform::Board> board_;
  HostLink link_;
  host::HostPort host_;
};

TEST_F(HostLinkTest, ReadFrame_VersionRequestWithoutIdentifier_MakesOneUp) {
  CoreTransaction transaction;
  ASSERT_EQ(readAfterSending({0x04, 0x01, 0x00, 0x33, 0x9C, 0xFD}, transaction), 0)
      << "the request 04 01 00 33 with the CRC of 01 00 33";
  EXPECT_EQ(transaction.command, 0x33);
  EXPECT_NE(transaction.identifier, 0u);
  EXPECT_TRUE(transaction.payload.empty());
}

TEST_F(HostLinkTest, ReadFrame_IdentifierAndPayloadAreSplitOff) {
  CoreTransaction transaction;
  ASSERT_EQ(readAfterSending(host::requestFrame({0x07, 0xA1B2C3D4, {1, 2, 3}}), transaction), 0);
  EXPECT_EQ(transaction, (CoreTransaction{0x07, 0xA1B2C3D4, {1, 2, 3}}));

  // A body of 2 to 4 bytes carries the command only.
  ASSERT_EQ(readAfterSending(rawFrame(3, {0x07, 0xAA, 0xBB}), transaction), 0);
  EXPECT_EQ(transaction.command, 0x07);
  EXPECT_TRUE(transaction.payload.empty());
  EXPECT_NE(transaction.identifier, 0u);
}

TEST_F(HostLinkTest, ReadFrame_LengthLimits) {
  CoreTransaction transaction;
  bytes::Bytes longest(1024, 0x11);
  longest[0] = 0x07;
  EXPECT_EQ(readAfterSending(rawFrame(1024, longest), transaction), 0);
  EXPECT_EQ(transaction.payload.size(), 1024u - 5);

  send({0x04, 0x01, 0x04});  // LEN 1025
  EXPECT_EQ(link_.readFrame(transaction), 11);
  EXPECT_EQ(transaction.identifier, 0u);

  EXPECT_EQ(readAfterSending(rawFrame(0, {}), transaction), 11);
  // Nothing of the rejected frames is left to confuse the next one.
  EXPECT_EQ(readAfterSending(host::requestFrame({0x33, 9, {}}), transaction), 0);
  EXPECT_EQ(transaction.identifier, 9u);
}

TEST_F(HostLinkTest, ReadFrame_SwappedCrcBytes_Gives9) {
  bytes::Bytes frame = host::requestFrame({0x33, 1, {}});
  std::swap(frame[frame.size() - 1], frame[frame.size() - 2]);
  CoreTransaction transaction;
  EXPECT_EQ(readAfterSending(frame, transaction), 9);
}

TEST_F(HostLinkTest, ReadFrame_StrayBytesBeforeTheStart_AreDropped) {
  bytes::Bytes data{0x00, 0xFF, 0x13, 0x37};
  bytes::appendBytes(data, host::requestFrame({0x33, 5, {}}));
  CoreTransaction transaction;
  EXPECT_EQ(readAfterSending(data, transaction), 0);
  EXPECT_EQ(transaction.identifier, 5u);
}

TEST_F(HostLinkTest, ReadFrame_FrameInPieces_IsAcceptedWhileEachPieceComesInTime) {
  const bytes::Bytes frame = host::requestFrame({0x07, 77, bytes::Bytes(40, 0x22)});
  auto reading = std::async(std::launch::async, [&] {
    CoreTransaction transaction;
    const int code = link_.readFrame(transaction);
    return std::make_pair(code, transaction);
  });
  for (std::size_t at = 0; at < frame.size(); at += 7) {
    send(bytes::Bytes(frame.begin() + static_cast<long>(at),
                      frame.begin() + static_cast<long>(std::min(frame.size(), at + 7))));
    std::this_thread::sleep_for(30ms);
  }
  const auto [code, transaction] = reading.get();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(transaction.identifier, 77u);
  EXPECT_EQ(transaction.payload, bytes::Bytes(40, 0x22));
}

TEST_F(HostLinkTest, ReadFrame_RestOfFrameNeverComes_Gives11) {
  const bytes::Bytes frame = host::requestFrame({0x07, 77, bytes::Bytes(10, 0x22)});
  send(bytes::Bytes(frame.begin(), frame.begin() + 8));
  CoreTransaction transaction;
  EXPECT_EQ(link_.readFrame(transaction), 11);
}

// A stage that gets nothing logs the bytes the stage before it left in the buffer.
TEST_F(HostLinkTest, ReadFrame_StageGettingNothing_LogsWhatThePreviousStageRead) {
  const std::pair<bytes::Bytes, std::string> cases[] = {
      {{0x04}, "read 110 04\n"},
      {{0x04, 0x05, 0x00}, "read 124  5 0500\n"},
      {{0x04, 0x05, 0x00, 0x33}, "read 124  5 33\n"},
  };
  for (const auto& [sent, logged] : cases) {
    CoreTransaction transaction;
    testing::internal::CaptureStdout();
    const int code = readAfterSending(sent, transaction);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), logged);
    EXPECT_EQ(code, 11);
  }
}

TEST_F(HostLinkTest, SendReply_FramesCodeIdentifierAndData) {
  CoreApiResult result(0, {0xAA, 0xBB});
  result.setIdentifier(0x11223344);
  link_.sendReply(result);
  const bytes::Bytes body{0x00, 0x44, 0x33, 0x22, 0x11, 0xAA, 0xBB};
  EXPECT_EQ(host_.readAvailable(200ms), rawFrame(7, body));
}

TEST_F(HostLinkTest, SendReply_DataAbove4092Bytes_SendsBareCode11) {
  CoreApiResult fits(0, bytes::Bytes(4092, 1));
  link_.sendReply(fits);
  EXPECT_EQ(nextReply().data.size(), 4092u);

  CoreApiResult tooLong(0, bytes::Bytes(4093, 1));
  tooLong.setIdentifier(3);
  link_.sendReply(tooLong);
  EXPECT_EQ(host_.readAvailable(200ms), rawFrame(1, {11}));
}

TEST_F(HostLinkTest, ResendByte_RepeatsTheLastReply) {
  const auto readInBackground = [&] {
    return std::async(std::launch::async, [&] {
      CoreTransaction transaction;
      return link_.readFrame(transaction);
    });
  };
  auto reading = readInBackground();
  send({0x05});
  const host::Reply initial = nextReply();
  EXPECT_EQ(initial.code, 17);
  EXPECT_EQ(initial.identifier, 0u);
  send(host::requestFrame({0x33, 1, {}}));
  EXPECT_EQ(reading.get(), 0);

  CoreApiResult sent(0, {7});
  sent.setIdentifier(42);
  link_.sendReply(sent);
  EXPECT_EQ(nextReply().identifier, 42u);

  reading = readInBackground();
  send({0x05, 0x05});
  EXPECT_EQ(nextReply().identifier, 42u);
  EXPECT_EQ(nextReply().data, bytes::Bytes{7});
  send(host::requestFrame({0x33, 2, {}}));
  EXPECT_EQ(reading.get(), 0);
}

TEST_F(HostLinkTest, StateCommands_WithoutValidIdentity_Give13) {
  EXPECT_EQ(handle(protocol::kState).code(), 13);
  EXPECT_EQ(handle(protocol::kIdentity).code(), 13);
  EXPECT_EQ(handle(protocol::kDeviceKey).code(), 25);  // no device key yet
}

TEST_F(HostLinkTest, StateCommands_WithValidIdentity_AnswerTheRecords) {
  makeIdentityValid();
  state_.setStatusFlag(FrStatus::kShiftOpen, true);
  state_.setShiftNumber(0x0102);
  state_.setReceiptCounter(7);
  state_.setDrawerCash(500);

  const CoreApiResult stateReply = handle(protocol::kState);
  ASSERT_EQ(stateReply.code(), 0);
  bytes::Bytes expected{1, 0x02, 0x01, 7, 0};
  bytes::appendBytes(expected, state_.recordBytes().cycle);
  EXPECT_EQ(stateReply.data(), expected);

  const CoreApiResult model = handle(protocol::kIdentity);
  ASSERT_EQ(model.code(), 0);
  EXPECT_EQ(model.data(), bytes::Bytes(state_.currentModelData()->bytes().begin(),
                                       state_.currentModelData()->bytes().begin() + 44));

  const CoreApiResult key = handle(protocol::kDeviceKey);
  ASSERT_EQ(key.code(), 0);
  bytes::Bytes expectedKey{0, 0, 4, 0x3E, 0, 0, 0, 0, 0, 0, 0};
  bytes::appendBytes(expectedKey, kDeviceKey);
  EXPECT_EQ(key.data(), expectedKey);

  EXPECT_EQ(handle(protocol::kVersion).data(), (bytes::Bytes{0, 0, 4}));
}

// The writer moves the shift number first and the opening number after it, so at every moment
// the shift number equals the opening number or is one ahead; a block mixing the status record
// of one moment with the shift record of a later one breaks that.
TEST_F(HostLinkTest, StateBlock_WhileTheCoreWrites_TakesBothRecordsFromOneMoment) {
  makeIdentityValid();
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (std::uint16_t shift = 1; !stop; ++shift) {
      state_.setShiftNumber(shift);
      state_.setShiftOpeningNumber(shift);
    }
  });
  while (state_.shiftNumber() == 0) std::this_thread::yield();
  for (int i = 0; i < 200000; ++i) {
    const bytes::Bytes block = handle(protocol::kState).data();
    const auto shift = bytes::loadU16(block, 1);
    const auto opening = static_cast<std::uint16_t>(bytes::loadU32(block, 5));
    const auto ahead = static_cast<std::uint16_t>(shift - opening);
    if (ahead > 1) {
      ADD_FAILURE() << "shift " << shift << " with the opening of shift " << opening;
      break;
    }
  }
  stop = true;
  writer.join();
}

TEST_F(HostLinkTest, RegistrationQuery_ChecksPayloadThenCompleteness) {
  EXPECT_EQ(handle(protocol::kRegistrationValue, {0x1D}).code(), 22);
  EXPECT_EQ(handle(protocol::kRegistrationValue, {0x1D, 0x2B, 0}).code(), 22);
  EXPECT_EQ(handle(protocol::kRegistrationValue, {0x1D, 0x2B}).code(), 38);

  makeIdentityValid();
  RegData registration;
  registration.setText(RegData::Text::RegistrationNumber, "0000000001");
  registration.setText(RegData::Text::TaxpayerNumber, "7700000000");
  registration.setText(RegData::Text::UserName, "SHOP");
  registration.setText(RegData::Text::Place, "PLACE");
  registration.setText(RegData::Text::Address, "ADDRESS");
  registration.setRegistrationTime(1656666000);
  ASSERT_TRUE(registration.seal("0123456789", kDeviceKey));
  state_.publishRegData(registration);

  const CoreApiResult cashierName = handle(protocol::kRegistrationValue, {0x0D, 0x2B});  // 11021, not a registration value
  EXPECT_EQ(cashierName.code(), 0);
  EXPECT_TRUE(cashierName.data().empty());

  const CoreApiResult time = handle(protocol::kRegistrationValue, {0x04, 0x2B});  // 11012
  EXPECT_EQ(time.data(), (bytes::Bytes{0x04, 0x2B, 0x04, 0x00, 0x90, 0xB7, 0xBE, 0x62}));
  const CoreApiResult unsetRate = handle(protocol::kRegistrationValue, {0x32, 0x33});  // 13106, tax-rate slot 1
  EXPECT_EQ(unsetRate.data(), (bytes::Bytes{0x32, 0x33, 15, 0,                 // container
                                           0x2E, 0x33, 1, 0, 3,              // kind 3: not set
                                           0x2F, 0x33, 2, 0, 0, 0,           // percentage 0
                                           0x30, 0x33, 0, 0}));              // empty name
  const CoreApiResult user = handle(protocol::kRegistrationValue, {0x28, 0x2B});  // 11048, the user name
  EXPECT_EQ(user.data(), (bytes::Bytes{0x28, 0x2B, 4, 0, 'S', 'H', 'O', 'P'}));
}

// The link's session on a thread of its own, with a core that answers every transaction with
// code 0 as soon as it is pushed. With `recordSleeps` the session's sleeps take no time and are
// kept (platform::SleepRecorder).
class RunningSession {
 public:
  RunningSession(HostLink& link, host::HostPort& host, bool recordSleeps)
      : link_(link),
        host_(host),
        core_([this] {
          CoreQueue queue;
          while (!stopCore_) {
            CoreTransaction next;
            if (!queue.popWithin(next, 5ms)) continue;
            CoreApiResult answer(0);
            answer.setIdentifier(next.identifier);
            queue.pushResult(answer);
          }
        }),
        session_([this, recordSleeps] {
          std::optional<platform::SleepRecorder> recorder;
          if (recordSleeps) recorder.emplace();
          link_.run();
          if (recorder) sleeps_ = recorder->intervals();
        }) {}

  // Stops the session and the core; the sleeps the session recorded. A session waiting in its
  // read ends after serving one more version request; one that saw the stop before reading again
  // has ended already and leaves that request unanswered, so the sleeps may end with one more.
  std::vector<std::chrono::nanoseconds> stop() {
    link_.stop();
    host_.transact({protocol::kVersion, 0xFFFF, {}});
    session_.join();
    stopCore_ = true;
    core_.join();
    return sleeps_;
  }

 private:
  HostLink& link_;
  host::HostPort& host_;
  std::atomic<bool> stopCore_{false};
  std::vector<std::chrono::nanoseconds> sleeps_;
  std::thread core_;
  std::thread session_;
};

// However quick the core, a core command waits for the link's first poll of the queue, 20 ms
// after the push, and then the pause; both in one sleep, so that the wake-up from the first
// does not add to the second.
TEST_F(HostLinkTest, Session_OneSleepBeforeEachReply_CoreCommandsThirtyMilliseconds) {
  RunningSession session(link_, host_, true);
  EXPECT_EQ(host_.transact({protocol::kVersion, 1, {}})->code, 0);
  EXPECT_EQ(host_.transact({0x05, 2, {}})->code, 0);
  const std::vector<std::chrono::nanoseconds> sleeps = session.stop();
  ASSERT_GE(sleeps.size(), 2u);
  EXPECT_EQ(std::vector(sleeps.begin(), sleeps.begin() + 2),
            (std::vector<std::chrono::nanoseconds>{10ms, 30ms}));
}

TEST_F(HostLinkTest, Session_RepliesNeverComeSoonerThanTheirFloor) {
  RunningSession session(link_, host_, false);
  for (const auto& [command, floor] : {std::pair{0x33, 10ms}, std::pair{0x05, 30ms}}) {
    const auto sent = std::chrono::steady_clock::now();
    const auto reply = host_.transact({static_cast<std::uint8_t>(command), 3, {}});
    EXPECT_GE(std::chrono::steady_clock::now() - sent, floor) << "command " << command;
    EXPECT_TRUE(reply.has_value());
  }
  session.stop();
}

TEST_F(HostLinkTest, CoreCommands_GoThroughTheQueueToTheCore) {
  CashierTable cashiers(*board_, "/nonexistent/CASHIERS");
  DiscountTable discounts(*board_, "/nonexistent/DISCOUNTS");
  SectionTable sections(*board_, "/nonexistent/SECTIONS");
  CoreWorker core(state_, *board_, cashiers, discounts, sections);
  std::atomic<bool> stop{false};
  std::thread coreThread([&] {
    while (!stop) core.runPass();
  });
  const CoreApiResult unknown = handle(0x05);
  EXPECT_EQ(unknown.code(), 10);
  EXPECT_TRUE(unknown.data().empty());
  EXPECT_EQ(handle(protocol::kShiftCounters).code(), 5);
  stop = true;
  coreThread.join();
}

TEST(HostLinkWithoutCore, CoreCommands_AreRefused) {
  sim::PseudoTerminal line;
  DeviceState state;
  auto board = platform::makeSimulatedBoard("/nonexistent");
  HostLink link(line.slavePath(), state, *board, HostLink::Core::Absent);
  CoreApiResult result;
  EXPECT_FALSE(link.handleRequest(CoreTransaction{0x05, 1, {}}, result));
  EXPECT_TRUE(link.handleRequest(CoreTransaction{0x33, 1, {}}, result));
}

}  // namespace

// A port that is not there when the session starts is opened once it appears.
TEST(HostLinkSession, PortAppearingLater_IsOpenedAndServed) {
  sim::PseudoTerminal line;
  const platform::TemporaryDirectory directory;
  const std::string linkPath = directory.path() / "ttyGS0";
  DeviceState state;
  auto board = platform::makeSimulatedBoard("/nonexistent");
  HostLink link(linkPath, state, *board, HostLink::Core::Absent);
  std::thread session([&] { link.run(); });

  std::this_thread::sleep_for(300ms);
  line.linkSlaveAt(linkPath);
  host::HostPort host(dup(line.masterFd()));
  std::optional<host::Reply> reply;
  for (int attempt = 0; attempt < 20 && !reply; ++attempt) reply = host.transact({protocol::kVersion, 7, {}}, 500ms);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->code, 0);
  EXPECT_EQ(reply->identifier, 7u);

  link.stop();
  host.send(host::requestFrame({0x33, 8, {}}));  // wakes the session's blocking read
  session.join();
}
