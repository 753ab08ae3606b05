#include "link/host_protocol.h"
#include "tools/sim/virtual_printer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/board_directory.h"
#include "tools/host/printer_commands.h"
#include "tools/sim/board_directory.h"
#include "tools/sim/printer_state.h"
#include "tools/sim/testing.h"

namespace {

namespace fs = std::filesystem;
using bytes::Bytes;

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A board directory for a printer without the rest of the board running.
class VirtualPrinterTest : public ::testing::Test {
 protected:
  VirtualPrinterTest() { platform::prepareBoardDirectory(root()); }
  const fs::path& root() const { return directory_.path(); }
  void setState(const std::string& content) { std::ofstream(sim::printerStateFile(root())) << content; }

 private:
  platform::TemporaryDirectory directory_;
};

TEST_F(VirtualPrinterTest, StatusQuery_AnsweredWithPaperPresentEvenWhenSplit) {
  sim::VirtualPrinter printer(root());
  EXPECT_EQ(printer.receive(Bytes{0x1B, 0x40, 0x1B, 0x76}), Bytes{0x00});
  EXPECT_EQ(printer.receive(Bytes{'v', 0x1B}), Bytes{});
  EXPECT_EQ(printer.receive(Bytes{0x76}), Bytes{0x00});
  // ESC ESC is a command of its own: the 'v' after it is plain text.
  EXPECT_EQ(printer.receive(Bytes{0x1B, 0x1B, 0x76}), Bytes{});
}

TEST_F(VirtualPrinterTest, StatusQuery_FollowsTheStateFileAtEachQuery) {
  sim::VirtualPrinter printer(root());
  const Bytes query{0x1B, 0x76};
  setState("near-end\n");
  EXPECT_EQ(printer.receive(query), Bytes{0x03});
  setState("out");
  EXPECT_EQ(printer.receive(query), Bytes{0x0F});
  setState("silent");
  EXPECT_EQ(printer.receive(query), Bytes{});
  setState("jammed");
  EXPECT_EQ(printer.receive(query), Bytes{0x00});
  ASSERT_TRUE(sim::writePrinterState(sim::printerStateFile(root()), sim::PrinterState::Silent));
  EXPECT_EQ(printer.receive(query), Bytes{});
}

TEST_F(VirtualPrinterTest, PaperAcrossRuns_KeepsEveryByteAndGoesOnWhereItStopped) {
  sim::VirtualPrinter(root()).receive(Bytes{'o', 'n', 'e', '\n', 't', 'w'});
  sim::VirtualPrinter(root()).receive(Bytes{'o', '\n', 0x1B, 0x69});

  const std::string raw = fileText(platform::paperDirectory(root()) / "raw.bin");
  EXPECT_EQ(raw, "one\ntwo\n\x1Bi");
  EXPECT_EQ(fileText(platform::paperDirectory(root()) / "paper.txt"), "one\ntwo\n" + std::string(sim::kCutMark) + "\n");
  const sim::PrintedPaper paper = sim::readPaper(root());
  EXPECT_EQ(paper.texts(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(paper.cutCount(), 1u);
  EXPECT_EQ(fileText(platform::paperDirectory(root()) / "paper.html"), sim::paperHtml(paper, 60));
}

TEST(PrinterState, Words_ParseTrimmedAndRoundTripThroughTheFile) {
  EXPECT_EQ(sim::parsePrinterState(" near-end\r\n"), sim::PrinterState::NearEnd);
  EXPECT_EQ(sim::parsePrinterState("Out"), std::nullopt);
  EXPECT_EQ(sim::parsePrinterState(""), std::nullopt);

  platform::TemporaryDirectory directory;
  const fs::path file = directory.path() / "printer-state";
  EXPECT_EQ(sim::readPrinterState(file), sim::PrinterState::Ok);
  for (const auto state : {sim::PrinterState::Out, sim::PrinterState::Silent, sim::PrinterState::Ok}) {
    ASSERT_TRUE(sim::writePrinterState(file, state));
    EXPECT_EQ(sim::readPrinterState(file), state) << sim::nameOf(state);
  }
}

// The service on a simulated board, driven through its printer commands while the printer
// changes state under it.
TEST(BoardPrinter, HostPrinterCommands_PrintOnThePaperAndFollowThePrinterState) {
  sim::TestBoard board;
  ASSERT_TRUE(board.waitUntilServing()) << board.log();
  const auto command = [&](std::uint8_t code, Bytes payload = {}) {
    const auto reply = board.host().transact({.command = code, .payload = std::move(payload)}, std::chrono::seconds(30));
    return reply ? int{reply->code} : -1;
  };
  const auto setState = [&](sim::PrinterState state) {
    ASSERT_TRUE(sim::writePrinterState(board.board().printerStatePath(), state));
  };

  const std::vector<std::string_view> words{"--center", "--cut", "Привет"};
  EXPECT_EQ(command(protocol::kPrintText, *host::printTextPayload(words)), 0);
  const sim::PrintedPaper paper = sim::readPaper(board.root());
  ASSERT_FALSE(paper.texts().empty());
  EXPECT_EQ(paper.texts().back(), "") << "the feed before the cut";
  EXPECT_NE(fileText(board.board().paperTextPath()).find("Привет\n"), std::string::npos);
  EXPECT_GE(paper.cutCount(), 2u) << "the start-up printout and the text are each cut off";

  setState(sim::PrinterState::NearEnd);
  EXPECT_EQ(command(protocol::kPrinterStatus), 0);
  setState(sim::PrinterState::Out);
  EXPECT_EQ(command(protocol::kPrinterStatus), 54);
  setState(sim::PrinterState::Silent);
  EXPECT_EQ(command(protocol::kPrinterStatus), 53);
  EXPECT_EQ(command(protocol::kPrintText, *host::printTextPayload(words)), 53);
  setState(sim::PrinterState::Ok);
  EXPECT_EQ(command(protocol::kPrinterStatus), 0);
  EXPECT_EQ(command(protocol::kFeedAndCut), 0);
  EXPECT_EQ(command(protocol::kPrintRaw, Bytes{'r', 'a', 'w', '\n'}), 0);
  EXPECT_EQ(command(protocol::kPrinterStatus), 0);
  EXPECT_EQ(sim::readPaper(board.root()).texts().back(), "raw");
}

}  // namespace
