// The README's "frgate in five minutes" run as a person pastes it, with curl, against frgate on
// a simulated board registered as "A first register" leaves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "tools/gateway/gateway_testing.h"
#include "tools/sim/shell_testing.h"

namespace {

using gateway::testing::bodyOf;
using nlohmann::json;

constexpr const char* kSection = "### frgate in five minutes";
constexpr const char* kMark = "@@ command ";

// Whether `command` is one the test may run on this machine: curl, or setting a variable.
bool harmless(const std::string& command) {
  const std::size_t equals = command.find('=');
  const bool setting = equals != std::string::npos && equals > 0 &&
                       std::all_of(command.begin(), command.begin() + static_cast<std::ptrdiff_t>(equals),
                                   [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
  return command.starts_with("curl ") || setting;
}

// The commands of the section: its indented lines up to the next heading, without the line that
// starts frgate (the test starts its own) and the one that sets g (the test's frgate's address).
std::vector<std::string> quickStartCommands() {
  std::ifstream readme(FRCORE_SOURCE_DIR "/README.md");
  std::vector<std::string> commands;
  bool inSection = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("#")) {
      if (inSection) break;
      inSection = line == kSection;
      continue;
    }
    if (!inSection || !line.starts_with("    ")) continue;
    const std::string command = line.substr(4);
    if (command.starts_with("build/tools/gateway/frgate") || command.starts_with("g=")) continue;
    commands.push_back(command);
  }
  return commands;
}

// curl -si's answer: the status line, the headers and the body.
struct HttpAnswer {
  std::string statusLine;
  std::map<std::string, std::string> headers;
  json body;
};

HttpAnswer parseAnswer(const std::string& text) {
  HttpAnswer answer;
  std::istringstream lines(text);
  std::getline(lines, answer.statusLine);
  for (std::string line; std::getline(lines, line) && line != "\r";) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) answer.headers[line.substr(0, colon)] = line.substr(colon + 2, line.size() - colon - 3);
  }
  answer.body = json::parse(std::string(std::istreambuf_iterator<char>(lines), {}), nullptr, false);
  return answer;
}

TEST(QuickStart, CurlCommands_OneReceiptForTwoSalesWithOneKeyAndTheXReportsFigures) {
  if (!sim::onPath("curl")) GTEST_SKIP() << "curl is not installed (Debian package curl): the quick start was not run";
  const std::vector<std::string> commands = quickStartCommands();
  ASSERT_GE(commands.size(), 6u) << "the section " << kSection << " is in README.md";
  for (const std::string& command : commands) ASSERT_TRUE(harmless(command)) << "not run here: " << command;

  gateway::testing::RegisterBoard board({.shiftOpen = false});
  gateway::testing::GatewayProcess frgate(board.port(), board.root() / "frgate.db");
  // Each command's output after a line that marks it.
  std::string script = "set -e\ng=" + frgate.url() + "\n";
  for (std::size_t i = 0; i < commands.size(); ++i) {
    script += "echo '" + std::string(kMark) + std::to_string(i) + "'\n" + commands[i] + "\necho\n";
  }
  std::ofstream(board.root() / "quick-start.sh") << script;
  const sim::ShellOutcome outcome = sim::shell("sh " + (board.root() / "quick-start.sh").string() + " 2>&1");
  ASSERT_EQ(outcome.status, 0) << outcome.output;

  std::vector<std::string> outputs(commands.size());
  std::size_t at = 0;
  while ((at = outcome.output.find(kMark, at)) != std::string::npos) {
    const std::size_t number = std::stoul(outcome.output.substr(at + std::string_view(kMark).size()));
    const std::size_t from = outcome.output.find('\n', at) + 1;
    at = outcome.output.find(kMark, from);
    ASSERT_LT(number, outputs.size());
    outputs[number] = outcome.output.substr(from, (at == std::string::npos ? outcome.output.size() : at) - from);
  }
  // The output of the commands that name `path`, in their order.
  const auto outputsOf = [&](const std::string& path) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (commands[i].find(path + " ") != std::string::npos) found.push_back(outputs[i]);
    }
    return found;
  };

  const auto status = outputsOf("$g/v1/status");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(json::parse(status[0])["registered"], true) << status[0];
  EXPECT_EQ(json::parse(status[0])["shift"]["open"], false) << status[0];
  const auto opened = outputsOf("$g/v1/shifts/open");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(json::parse(opened[0])["document"]["type"], "shift-open") << opened[0];

  const auto sales = outputsOf("$g/v1/receipts");
  ASSERT_EQ(sales.size(), 2u);
  HttpAnswer first = parseAnswer(sales[0]), again = parseAnswer(sales[1]);
  EXPECT_TRUE(first.statusLine.starts_with("HTTP/1.1 201")) << sales[0];
  EXPECT_FALSE(first.headers.contains("Idempotency-Replayed")) << sales[0];
  EXPECT_EQ(first.body["total"], "91.00") << sales[0];
  EXPECT_EQ(first.body["change"], "9.00") << sales[0];
  EXPECT_TRUE(again.statusLine.starts_with("HTTP/1.1 201")) << sales[1];
  EXPECT_EQ(again.headers["Idempotency-Replayed"], "true") << sales[1];
  EXPECT_EQ(again.body, first.body);

  const auto x = outputsOf("$g/v1/reports/x");
  ASSERT_EQ(x.size(), 1u);
  const json counters = json::parse(x[0])["counters"];
  EXPECT_EQ(counters["receipts"], 1) << x[0];
  EXPECT_EQ(counters["kinds"]["sale"]["total"], "91.00") << x[0];

  // The register made one receipt, and every other command of the section was answered.
  const json state = bodyOf(frgate.client().Get("/v1/status"));
  EXPECT_EQ(state["receipts_in_shift"], 1) << state.dump();
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const json answer = json::parse(outputs[i].find('{') == std::string::npos ? "{}" : outputs[i].substr(outputs[i].find('{')),
                                    nullptr, false);
    EXPECT_FALSE(answer.is_discarded() || answer.contains("error")) << commands[i] << ": " << outputs[i];
  }
}

}  // namespace
