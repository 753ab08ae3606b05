#include "tools/sim/simulated_board.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "link/host_protocol.h"
#include "platform/sleep.h"
#include "serial/line_timing.h"
#include "tools/host/port.h"
#include "tools/sim/host_line_faults.h"
#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;
using bytes::Bytes;
using namespace std::chrono_literals;

constexpr auto kPatience = 30s;

Bytes fileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& file, const std::string& content) { std::ofstream(file, std::ios::binary) << content; }

// Waits until `condition` holds; false when it still does not after a long while.
template <typename Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::sleepFor(10ms);
  }
  return true;
}

// A board whose service is a shell script run in the board's directory.
sim::BoardOptions scriptBoard(const fs::path& root, const std::string& script) {
  return {.root = root,
          .service = "/bin/sh",
          .serviceArguments = {"-c", "cd \"$FRCORE_ROOT\" && " + script},
          .logToFile = true,
          .launcher = {}};
}

// A service that sends back every byte the host sends.
constexpr const char* kEchoService = "exec cat <dev/ttyGS0 >dev/ttyGS0";

TEST(SimulatedBoard, Service_RunsWithAbsoluteRootAndItsOutputInTheLog) {
  platform::TemporaryDirectory directory;
  const fs::path relativeRoot = fs::relative(directory.path() / "board");
  sim::SimulatedBoard board(scriptBoard(relativeRoot, "echo \"root=$FRCORE_ROOT\"; echo oops >&2; exit 3"));
  EXPECT_TRUE(board.root().is_absolute());
  ASSERT_TRUE(eventually([&] { return board.serviceEnded().has_value(); }));
  EXPECT_EQ(WEXITSTATUS(*board.serviceEnded()), 3);

  board.startService();
  ASSERT_TRUE(eventually([&] { return board.serviceEnded().has_value(); }));
  std::ifstream log(board.logPath());
  std::stringstream text;
  text << log.rdbuf();
  const std::string once = "root=" + board.root().string() + "\noops\n";
  EXPECT_EQ(text.str(), once + once);
}

TEST(SimulatedBoard, LinesAreLinkedInDevAndRemovedWithTheBoard) {
  platform::TemporaryDirectory directory;
  const fs::path root = directory.path();
  {
    sim::SimulatedBoard board(scriptBoard(root, "exit 0"));
    for (const char* line : {"dev/ttyGS0", "dev/ttyS0"}) {
      EXPECT_TRUE(fs::read_symlink(root / line).string().starts_with("/proc/" + std::to_string(::getpid()) + "/fd/"));
      EXPECT_TRUE(fs::canonical(root / line).string().starts_with("/dev/pts/")) << line;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "host")));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "dev/ttyGS0")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "dev/ttyS0")));
}

TEST(SimulatedBoard, HostLine_CarriesBytesBothWaysAndSurvivesRestart) {
  platform::TemporaryDirectory directory;
  sim::SimulatedBoard board(scriptBoard(directory.path(), kEchoService));
  host::HostPort port(::dup(board.hostMasterFd()));
  const Bytes frame = host::frame(Bytes{0x33, 0x0D, 0x0A});

  ASSERT_TRUE(port.send(frame));
  EXPECT_EQ(port.readFrameBody(kPatience), (Bytes{0x33, 0x0D, 0x0A}));

  board.stopService();
  EXPECT_FALSE(board.serviceEnded());
  board.startService();
  ASSERT_TRUE(port.send(frame));
  EXPECT_EQ(port.readFrameBody(kPatience), (Bytes{0x33, 0x0D, 0x0A}));
}

// Paced, the printer takes the text and the query only as fast as the line carries them, and
// its answer crosses back as fast: it cannot come sooner. Unpaced, nothing holds it back.
TEST(SimulatedBoard, Printer_AnswersStatusQueryAfterTheBytesAheadHaveCrossedAndKeepsThePaper) {
  const std::string sent = std::string(960, 'x') + "\n\x1Bv";
  for (const int baud : {sim::kUnpacedPrinterLine, 19200}) {
    platform::TemporaryDirectory directory;
    writeFile(directory.path() / "sent.bin", sent);
    sim::BoardOptions options =
        scriptBoard(directory.path(), "cat sent.bin >dev/ttyS0 && head -c 1 <dev/ttyS0 >answer.bin");
    options.printerBaud = baud;
    const auto start = std::chrono::steady_clock::now();
    sim::SimulatedBoard board(options);
    ASSERT_TRUE(eventually([&] { return board.serviceEnded().has_value(); })) << "the printer did not answer";
    const auto answered = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(fileBytes(board.root() / "answer.bin"), Bytes{0x00}) << baud;
    const Bytes paper = fileBytes(board.rawPaperPath());
    EXPECT_EQ(std::string(paper.begin(), paper.end()), sent) << baud;
    if (baud != sim::kUnpacedPrinterLine) {
      EXPECT_GE(answered, rs::transmissionTime(sent.size() + 1, baud));
    }
  }
}

TEST(SimulatedBoard, Relay_OffersHostEndAsTerminalBothWays) {
  platform::TemporaryDirectory directory;
  sim::BoardOptions options = scriptBoard(directory.path(), kEchoService);
  options.hostRelay = true;
  std::mutex watching;
  std::array<Bytes, 2> watched;  // from the host, from the service
  options.watchHostLine = [&](sim::HostLineDirection direction, bytes::View data) {
    const std::lock_guard hold(watching);
    bytes::appendBytes(watched[direction == sim::HostLineDirection::FromHost ? 0 : 1], data);
  };
  sim::SimulatedBoard board(options);

  auto port = host::HostPort::open(board.hostPortPath());
  ASSERT_TRUE(port);
  const auto reply = port->readFrameBody(0ms);
  EXPECT_FALSE(reply);
  const Bytes frame = host::frame(Bytes{0x10, 0x03});
  ASSERT_TRUE(port->send(frame));
  EXPECT_EQ(port->readFrameBody(kPatience), (Bytes{0x10, 0x03}));
  const std::lock_guard hold(watching);
  EXPECT_EQ(watched, (std::array{frame, frame})) << "the watcher sees what passes either way";
}

TEST(SimulatedBoard, Relay_CarriesOnlyWhatItsFilterPasses) {
  platform::TemporaryDirectory directory;
  sim::BoardOptions options = scriptBoard(directory.path(), kEchoService);
  options.hostRelay = true;
  const auto faults = std::make_shared<sim::HostLineFaults>();
  faults->dropRequest(protocol::kState);
  options.filterHostLine = faults->filter();
  sim::SimulatedBoard board(options);

  auto port = host::HostPort::open(board.hostPortPath());
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->send(host::frame(Bytes{0x10, 0x03})));
  ASSERT_TRUE(port->send(host::frame(Bytes{0x11, 0x03})));
  EXPECT_EQ(port->readFrameBody(kPatience), (Bytes{0x11, 0x03})) << "the dropped frame never reached the service";
  EXPECT_EQ(faults->dropped(), 1u);
}

TEST(SimulatedBoard, Destruction_KillsTheService) {
  platform::TemporaryDirectory directory;
  pid_t service = -1;
  {
    sim::SimulatedBoard board(scriptBoard(directory.path(), kEchoService));
    service = board.servicePid();
    ASSERT_GT(service, 0);
    EXPECT_EQ(::kill(service, 0), 0);
  }
  EXPECT_NE(::kill(service, 0), 0);
}

TEST(SimulatedBoard, MissingServiceProgram_Throws) {
  platform::TemporaryDirectory directory;
  EXPECT_THROW(sim::SimulatedBoard({.root = directory.path(), .service = directory.path() / "no-such-service"}),
               std::system_error);
}

TEST(TestBoard, Restart_ServiceOnTheSameBoardServesAgain) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  board.restart();
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  const auto reply = board.host().transact({.command = protocol::kVersion, .identifier = 42});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->identifier, 42u);
}

}  // namespace
