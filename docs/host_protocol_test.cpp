// The host protocol page against the code: every command code the protocol names and every
// result code the register names has its row in the page's tables, the tables name nothing
// more, and every example frame carries its true length and check value. The commands named are
// also exactly the commands served.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/command_table.h"
#include "core/state/device_state.h"
#include "core/state/result_code.h"
#include "link/host_link.h"
#include "link/host_protocol.h"
#include "platform/board.h"
#include "values/crc.h"

namespace {

std::string readSource(const std::string& path) {
  std::ifstream file(std::string(FRCORE_SOURCE_DIR) + "/" + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

const std::string& page() {
  static const std::string text = readSource("docs/host-protocol.md");
  return text;
}

// The numbers in the first column of the tables under the heading `section`, read in `base`.
std::set<unsigned> firstColumn(const std::string& section, int base) {
  std::set<unsigned> numbers;
  std::istringstream lines(page());
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.rfind("## ", 0) == 0) inside = line == "## " + section;
    if (!inside || line.rfind("| ", 0) != 0) continue;
    const std::string cell = line.substr(2, line.find(" |", 2) - 2);
    std::size_t used = 0;
    try {
      const unsigned long number = std::stoul(cell, &used, base);
      if (used == cell.size()) numbers.insert(static_cast<unsigned>(number));
    } catch (const std::logic_error&) {
      // the header and the separator row
    }
  }
  return numbers;
}

std::string listed(const std::set<unsigned>& numbers) {
  std::string text;
  for (const unsigned number : numbers) text += " " + std::to_string(number);
  return text;
}

// Both ways: whatever the code has lacks no row, and no row names what the code lacks.
void expectSameRows(const std::set<unsigned>& rows, const std::set<unsigned>& inCode, const char* what) {
  std::set<unsigned> missing, extra;
  std::set_difference(inCode.begin(), inCode.end(), rows.begin(), rows.end(), std::inserter(missing, missing.end()));
  std::set_difference(rows.begin(), rows.end(), inCode.begin(), inCode.end(), std::inserter(extra, extra.end()));
  EXPECT_TRUE(missing.empty()) << what << " without a row (decimal):" << listed(missing);
  EXPECT_TRUE(extra.empty()) << "rows for no " << what << " (decimal):" << listed(extra);
}

// A line that never serves a request: the link commands answer without touching it.
class SilentPort : public LinkPort {
 public:
  bool open() override { return false; }
  void close() override {}
  bool isOpen() const override { return false; }
  int read(bytes::Bytes&, std::size_t) override { return -1; }
  int readWithin(bytes::Bytes&, std::size_t, int) override { return -1; }
  int write(bytes::View) override { return -1; }
};

// The codes the link answers itself: without a core, every other code gets no result.
std::set<unsigned> linkCommands() {
  DeviceState state;
  const auto board = platform::makeSimulatedBoard("/nonexistent");
  HostLink link(std::make_unique<SilentPort>(), state, *board, HostLink::Core::Absent);
  std::set<unsigned> served;
  for (unsigned code = 0; code < 256; ++code) {
    CoreApiResult result;
    if (link.handleRequest({static_cast<std::uint8_t>(code), 1, {}}, result)) served.insert(code);
  }
  return served;
}

std::set<unsigned> commandsNamed() {
  return {std::begin(protocol::kAllCommands), std::end(protocol::kAllCommands)};
}

TEST(HostProtocolPage, CommandIndex_ListsExactlyTheCommandsNamed) {
  expectSameRows(firstColumn("Command index", 16), commandsNamed(), "commands named");
}

TEST(HostProtocolPage, CommandsNamed_AreDistinctAndExactlyTheCommandsServed) {
  EXPECT_EQ(commandsNamed().size(), std::size(protocol::kAllCommands)) << "two names for one code";
  std::set<unsigned> served = linkCommands();
  ASSERT_FALSE(served.empty());
  for (unsigned code = 0; code < 256; ++code) {
    if (routeOf(static_cast<std::uint8_t>(code)) != CommandRoute::Unknown) served.insert(code);
  }
  expectSameRows(commandsNamed(), served, "commands served");
}

TEST(HostProtocolPage, ResultCodeTable_ListsExactlyTheCodesNamed) {
  const std::string header = readSource("core/state/result_code.h");
  const std::regex named(R"(\bk\w+\s*=\s*(\d+))");
  std::set<unsigned> codes;
  for (auto it = std::sregex_iterator(header.begin(), header.end(), named); it != std::sregex_iterator(); ++it) {
    codes.insert(static_cast<unsigned>(std::stoul((*it)[1])));
  }
  ASSERT_GT(codes.size(), 40u);
  expectSameRows(firstColumn("Result codes", 10), codes, "result codes named");
  expectSameRows({std::begin(result::kAllCodes), std::end(result::kAllCodes)}, codes,
                 "result codes named (in the list of all codes)");
}

// Lines ">> 04 ..." and "<< 04 ...": a start byte, LEN, LEN body bytes and the CRC-16 of LEN
// and body, low byte first.
TEST(HostProtocolPage, ExampleFrames_CarryTheirLengthAndCheckValue) {
  std::istringstream lines(page());
  std::string line;
  int frames = 0;
  while (std::getline(lines, line)) {
    line.erase(0, line.find_first_not_of(' '));
    if (line.rfind(">> 04 ", 0) != 0 && line.rfind("<< 04 ", 0) != 0) continue;
    std::istringstream hex(line.substr(3));
    bytes::Bytes frame;
    std::string byte;
    while (hex >> byte) frame.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    ++frames;
    ASSERT_GE(frame.size(), 5u) << line;
    const std::size_t length = bytes::loadU16(frame, 1);
    ASSERT_EQ(frame.size(), length + 5) << line;
    EXPECT_EQ(bytes::loadU16(frame, 3 + length), crc::crc16(bytes::View(frame).subspan(1, length + 2))) << line;
  }
  EXPECT_GE(frames, 10);
}

TEST(HostProtocolPage, CheckValueNamed_IsTheLinksCrc) {
  EXPECT_EQ(crc::crc16(bytes::view(std::string_view("123456789"))), 0x29B1);
  EXPECT_NE(page().find("`123456789` give `0x29B1`"), std::string::npos);
}

}  // namespace
