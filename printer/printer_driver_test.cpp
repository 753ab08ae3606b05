#include "printer/printer_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/state/status_records.h"
#include "platform/sleep.h"
#include "printer/escpos.h"
#include "tools/sim/pseudo_terminal.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"

namespace {

using namespace std::chrono_literals;
using namespace std::literals;

constexpr int kSilent = -1;

// A printer on the master side of a pseudo-terminal: keeps every byte it receives and answers
// each paper status query with the next scripted byte (the last one repeats; kSilent answers
// nothing). It can also keep sending a byte unasked.
class ScriptedPrinter {
 public:
  ScriptedPrinter(sim::PseudoTerminal& line, std::deque<int> answers)
      : fd_(line.masterFd()), answers_(std::move(answers)), thread_([this] { run(); }) {}
  ~ScriptedPrinter() {
    stop_ = true;
    thread_.join();
  }

  std::string received() const {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
  }
  // What was received once it holds at least `count` bytes, or after a generous wait.
  std::string receivedAtLeast(std::size_t count) const {
    for (int i = 0; i < 500 && received().size() < count; ++i) platform::sleepFor(10ms);
    return received();
  }

  void flood(int byte) { flood_ = byte; }

 private:
  void run() {
    bool afterEscape = false;
    while (!stop_) {
      pollfd input{fd_, POLLIN, 0};
      if (::poll(&input, 1, 5) > 0) {
        char buffer[256];
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count <= 0) return;
        std::lock_guard<std::mutex> hold(lock_);
        received_.append(buffer, static_cast<std::size_t>(count));
        for (ssize_t i = 0; i < count; ++i) {
          if (afterEscape && buffer[i] == 'v') answerQuery();
          afterEscape = buffer[i] == '\x1B';
        }
      }
      if (flood_ != kSilent) send(std::string(64, static_cast<char>(flood_)));
    }
  }

  void answerQuery() {
    const int answer = answers_.front();
    if (answers_.size() > 1) answers_.pop_front();
    if (answer != kSilent) send(std::string(1, static_cast<char>(answer)));
  }

  // Sends only while the line has room, so the thread never blocks.
  void send(const std::string& data) {
    pollfd output{fd_, POLLOUT, 0};
    if (::poll(&output, 1, 0) > 0) static_cast<void>(::write(fd_, data.data(), data.size()));
  }

  const int fd_;
  std::deque<int> answers_;  // used by the thread only
  std::atomic<int> flood_{kSilent};
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::string received_;
  std::thread thread_;
};

const std::string kQuery(escpos::kPaperStatusQuery);
const std::string kSetup = std::string(escpos::kSetup1) + std::string(escpos::kSetup2) + std::string(escpos::kCodePage);

std::string repeated(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

class PrinterDriverTest : public ::testing::Test {
 protected:
  // A driver on a fresh line, every printer flag set so that each test sees them change.
  PrinterDriver& openDriver() {
    state_.setStatusFlag(FrStatus::kPrinterNotAnswering | FrStatus::kPaperNearEnd | FrStatus::kPaperOut, true);
    driver_ = std::make_unique<PrinterDriver>(line_->slavePath(), state_);
    driver_->ensureOpen();
    return *driver_;
  }
  ScriptedPrinter& printer(std::deque<int> answers) {
    printer_ = std::make_unique<ScriptedPrinter>(*line_, std::move(answers));
    return *printer_;
  }
  // The printer flags, 0x1000 not answering, 0x2000 near end, 0x4000 out.
  std::uint16_t printerFlags() const {
    return state_.statusFlags() & (FrStatus::kPrinterNotAnswering | FrStatus::kPaperNearEnd | FrStatus::kPaperOut);
  }

  DeviceState state_;
  std::unique_ptr<sim::PseudoTerminal> line_ = std::make_unique<sim::PseudoTerminal>();
  std::unique_ptr<ScriptedPrinter> printer_;  // stopped before the line goes away
  std::unique_ptr<PrinterDriver> driver_;
};

TEST_F(PrinterDriverTest, QueryStatus_StatusByte_SetsResultAndPaperFlags) {
  printer({0x00, 0x03, 0x0F, 0x0C, 0xF0});
  PrinterDriver& driver = openDriver();
  struct Case {
    int result;
    std::uint16_t flags;
  };
  const Case expected[] = {
      {0, 0},
      {0, FrStatus::kPaperNearEnd},
      {54, FrStatus::kPaperNearEnd | FrStatus::kPaperOut},
      {54, FrStatus::kPaperOut},
      {0, 0},
  };
  for (const Case& c : expected) {
    EXPECT_EQ(driver.queryStatus(), c.result);
    EXPECT_EQ(printerFlags(), c.flags);
  }
  EXPECT_EQ(printer_->received(), repeated(kQuery, 5));
}

TEST_F(PrinterDriverTest, QueryStatus_SilentPrinter_AsksFiveTimesThenReports53) {
  printer({kSilent});
  PrinterDriver& driver = openDriver();
  state_.setStatusFlag(FrStatus::kPrinterNotAnswering, false);
  EXPECT_EQ(driver.queryStatus(), 53);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kPrinterNotAnswering));
  EXPECT_EQ(printer_->receivedAtLeast(5 * kQuery.size()), repeated(kQuery, 5));
}

TEST_F(PrinterDriverTest, QueryStatus_PausesAfterEachUnansweredQuery) {
  printer({kSilent, kSilent, 0x00, kSilent});
  PrinterDriver& driver = openDriver();
  platform::SleepRecorder sleeps;
  EXPECT_EQ(driver.queryStatus(), 0) << "answered at the third query";
  EXPECT_EQ(sleeps.intervals(), std::vector<std::chrono::nanoseconds>(2, 100ms));
  EXPECT_EQ(driver.queryStatus(), 53);
  EXPECT_EQ(sleeps.intervals(), std::vector<std::chrono::nanoseconds>(7, 100ms)) << "the last query too";
}

TEST_F(PrinterDriverTest, QueryStatus_LateAnswerToAnEarlierQuery_IsDroppedBeforeAsking) {
  printer({0x0F, 0x00});
  PrinterDriver& driver = openDriver();
  EXPECT_EQ(driver.queryStatus(), 54);
  // A stray paper-out byte waits on the line when the printer has paper again.
  const std::string stray = "\x0F";
  ASSERT_EQ(::write(line_->masterFd(), stray.data(), stray.size()), 1);
  const int slave = ::open(line_->slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(slave, 0);
  int waiting = 0;
  for (int i = 0; i < 500 && waiting == 0; ++i) {
    ASSERT_EQ(::ioctl(slave, FIONREAD, &waiting), 0);
    if (waiting == 0) platform::sleepFor(10ms);
  }
  ::close(slave);
  ASSERT_EQ(waiting, 1);

  EXPECT_EQ(driver.queryStatus(), 0);
  EXPECT_EQ(printerFlags(), 0);
}

TEST_F(PrinterDriverTest, FloodingPrinter_DriverKeepsWorkingAndFollowsTheBytes) {
  printer({0x0C}).flood(0x0C);
  PrinterDriver& driver = openDriver();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(driver.printText("text\n"), 54);
    EXPECT_EQ(printerFlags(), FrStatus::kPaperOut);
  }
  printer_->flood(kSilent);
  EXPECT_EQ(driver.cut(), 0);
}

TEST_F(PrinterDriverTest, PrintText_SendsSetupTextAndQuery) {
  printer({0x00});
  const std::string text = "\x1B\x61\x00 line\n"s;
  EXPECT_EQ(openDriver().printText(text), 0);
  EXPECT_EQ(printer_->received(), kSetup + text + kQuery);
}

TEST_F(PrinterDriverTest, WriteRawAndCut_SendExactlyTheirBytes) {
  printer({0x00});
  PrinterDriver& driver = openDriver();
  EXPECT_EQ(driver.writeRaw({}), 0);
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  EXPECT_EQ(driver.writeRaw(bytes::view(everyByte)), 0);
  EXPECT_EQ(driver.cut(), 0);
  EXPECT_EQ(driver.setup(), 0);
  const std::string expected = everyByte + std::string(escpos::kFeedAndCut) + kSetup;
  EXPECT_EQ(printer_->receivedAtLeast(expected.size()), expected);
}

TEST_F(PrinterDriverTest, Initialise_WaitsUntilReadyThenSetsUp) {
  printer({0x0C, 0x0C, 0x00});
  EXPECT_EQ(openDriver().initialise(), 0);
  EXPECT_EQ(printer_->receivedAtLeast(2 + 3 * 2 + kSetup.size()), "\x1B\x40" + repeated(kQuery, 3) + kSetup);
  EXPECT_EQ(printerFlags(), 0);
}

TEST_F(PrinterDriverTest, Initialise_NeverReady_GivesUpAfterTenQueriesWithoutSetup) {
  printer({0x0C});
  EXPECT_EQ(openDriver().initialise(), 54);
  EXPECT_EQ(printer_->receivedAtLeast(2 + 10 * 2), "\x1B\x40" + repeated(kQuery, 10));
}

TEST_F(PrinterDriverTest, PrinterGoneMidPrint_EveryOperationReports53) {
  printer({0x00});
  PrinterDriver& driver = openDriver();
  EXPECT_EQ(driver.printText("first\n"), 0);
  printer_.reset();
  line_.reset();

  EXPECT_EQ(driver.printText("second\n"), 53);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kPrinterNotAnswering));
  EXPECT_EQ(driver.writeRaw(bytes::view("raw"sv)), 53);
  EXPECT_EQ(driver.cut(), 53);
  EXPECT_EQ(driver.setup(), 53);
  EXPECT_EQ(driver.queryStatus(), 53);
}

// At the board's line speed the 11,000 bytes of a long report take 1.9 s to reach the printer,
// longer than five unanswered queries last: the one query sent after them is answered.
TEST(PrinterDriver, LongTextAtTheBoardsLineSpeed_TheOneQueryAfterItIsAnswered) {
  platform::TemporaryDirectory directory;
  sim::SimulatedBoard board({.root = directory.path(),
                             .service = "/bin/sleep",
                             .serviceArguments = {"3600"},
                             .launcher = {},
                             .printerBaud = sim::boardPrinterBaud()});
  DeviceState state;
  PrinterDriver driver((board.root() / "dev/ttyS0").string(), state);
  driver.ensureOpen();
  const std::string text = repeated(std::string(43, 'x') + "\n", 250);

  EXPECT_EQ(driver.printText(text), 0);
  EXPECT_FALSE(state.hasStatusFlag(FrStatus::kPrinterNotAnswering));
  const bytes::Bytes paper = sim::readRawPaper(board.root());
  const std::string expected = kSetup + text + kQuery;
  EXPECT_TRUE(std::string(paper.begin(), paper.end()) == expected)
      << "the printer got " << paper.size() << " bytes, not the " << expected.size() << " of one query after the text";
}

TEST(PrinterDriver, NoPrinterDevice_EveryOperationReports53) {
  DeviceState state;
  PrinterDriver driver("/nonexistent/ttyS0", state);
  driver.ensureOpen();
  EXPECT_EQ(driver.queryStatus(), 53);
  EXPECT_TRUE(state.hasStatusFlag(FrStatus::kPrinterNotAnswering));
  EXPECT_EQ(driver.setup(), 53);
  EXPECT_EQ(driver.printText("text\n"), 53);
  EXPECT_EQ(driver.writeRaw(bytes::view("raw"sv)), 53);
  EXPECT_EQ(driver.writeRaw({}), 53);
  EXPECT_EQ(driver.cut(), 53);
}

}  // namespace
