// frhost as scripts run it: its exit status, several at once on one line, its JSON output and
// the README's walk-through, against the service on a simulated board.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/sim/host_line_faults.h"
#include "tools/sim/pseudo_terminal.h"
#include "tools/sim/shell_testing.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"

namespace {

using json = nlohmann::json;

using Outcome = sim::ShellOutcome;
using Running = sim::RunningShell;
using sim::shell;

// Every line of `output` as JSON; a line that is not JSON fails the test.
std::vector<json> jsonLines(const std::string& output) {
  std::vector<json> objects;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    objects.push_back(json::parse(line, nullptr, false));
    EXPECT_FALSE(objects.back().is_discarded()) << "not JSON: " << line;
  }
  return objects;
}

// The commands of the README's section "A first register": its indented lines up to the next
// heading, a line ending in a backslash continued by the next, without the line that sets $h.
std::string walkThroughScript() {
  std::ifstream readme(FRCORE_SOURCE_DIR "/README.md");
  std::string script;
  bool inSection = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("#")) {
      if (inSection) break;
      inSection = line == "## A first register";
      continue;
    }
    if (!inSection || !line.starts_with("    ") || line.starts_with("    h=")) continue;
    script += line.substr(4) + "\n";
  }
  return script;
}

// A simulated board whose host line is offered at root/host, as frsim offers it, through a
// relay that loses the frames a test asks it to.
class FrhostTest : public ::testing::Test {
 protected:
  FrhostTest()
      : board_(sim::BoardOptions{.root = directory_.path(),
                                 .service = FRCORE_BINARY,
                                 .logToFile = true,
                                 .hostRelay = true,
                                 .filterHostLine = faults_->filter()}) {}

  void SetUp() override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (frhost("--timeout 1000 version").status != 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the service does not answer";
    }
  }

  std::string command(const std::string& arguments) const {
    return std::string(FRHOST_COMMAND) + " --port " + board_.hostPortPath().string() + " " + arguments;
  }
  Outcome frhost(const std::string& arguments) const { return shell(command(arguments) + " 2>/dev/null"); }

  platform::TemporaryDirectory directory_;
  std::shared_ptr<sim::HostLineFaults> faults_ = std::make_shared<sim::HostLineFaults>();
  sim::SimulatedBoard board_;
};

TEST_F(FrhostTest, ExitStatus_SuccessRefusalUsageAndNoReply) {
  EXPECT_EQ(frhost("version").status, 0);
  const Outcome refused = frhost("state");  // no identity yet
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.output.find("13 (device identity not valid)"), std::string::npos) << refused.output;

  for (const char* wrong : {"", "sale --kind 99 name=a,price=1", "--operator 30 version", "version now", "bogus",
                            "print --font 9 text", "send 0x100", "cashier get 21"}) {
    const Outcome usage = shell(command(wrong) + " 2>&1");
    EXPECT_EQ(usage.status, 2) << wrong;
    EXPECT_EQ(std::count(usage.output.begin(), usage.output.end(), '\n'), 1) << wrong << ": " << usage.output;
  }
  EXPECT_NE(shell(command("sale --kind 99 name=a,price=1") + " 2>&1").output.find("--kind"), std::string::npos);
  // frhost's options may follow the command.
  EXPECT_EQ(jsonLines(frhost("version --json").output).size(), 1u);

  sim::PseudoTerminal silent;  // nobody reads its master
  const Outcome lost = shell(std::string(FRHOST_COMMAND) + " --timeout 200 --port " + silent.slavePath() +
                             " version 2>/dev/null");
  EXPECT_EQ(lost.status, 1);
  const Outcome noBoard =
      shell(std::string(FRHOST_COMMAND) + " --port " + (directory_.path() / "elsewhere/host").string() + " version 2>&1");
  EXPECT_EQ(noBoard.status, 1);
  EXPECT_NE(noBoard.output.find("no simulated board runs there (start one with: frsim " +
                                (directory_.path() / "elsewhere").string() + ")"),
            std::string::npos)
      << noBoard.output;
}

// A sale whose finish or item got no reply: frhost cancels whatever the register still holds,
// says which happened, and exits with 1.
TEST_F(FrhostTest, LostReply_DocumentCancelledOrFoundStored) {
  ASSERT_EQ(frhost("serial-number 0000012345").status, 0);
  ASSERT_EQ(frhost("register --user U --place P --address A --inn 7701234567 --regnum 0000000000012345 "
                   "--tax 1:1:20:VAT").status, 0);
  ASSERT_EQ(frhost("shift-open").status, 0);
  const auto receiptsInShift = [this] {
    const std::vector<json> replies = jsonLines(frhost("--json status").output);
    return replies.size() == 1 ? replies[0].value("receipt_counter", -1) : -1;
  };
  const struct {
    const char* what;
    void (sim::HostLineFaults::*lose)(std::uint8_t, sim::HostLineFaults::Action);
    std::uint8_t command;
    const char* said;
    int receipts;  // in the shift afterwards
  } cases[] = {
      {"finish stored, its reply lost", &sim::HostLineFaults::dropReplyTo, 22,
       "no document was open: the register had stored the document before the reply was lost", 1},
      {"finish lost on its way", &sim::HostLineFaults::dropRequest, 22,
       "the finish never reached the register: the document was cancelled", 1},
      {"an item's reply lost", &sim::HostLineFaults::dropReplyTo, 7,
       "the register still held the document open: it was cancelled", 1},
  };
  for (const auto& c : cases) {
    ((*faults_).*c.lose)(c.command, {});
    const Outcome sale = shell(command("--timeout 500 sale name=a,price=1") + " 2>&1");
    EXPECT_EQ(sale.status, 1) << c.what << "\n" << sale.output;
    EXPECT_NE(sale.output.find(c.said), std::string::npos) << c.what << "\n" << sale.output;
    EXPECT_EQ(frhost("document").status, 3) << c.what << ": a document is still open";
    EXPECT_EQ(receiptsInShift(), c.receipts) << c.what;
  }
  EXPECT_EQ(faults_->dropped(), 3u);
}

// A command's help lists its own options and positionals; a wrong line is one line that names
// the argument at fault. Neither needs a board.
TEST(FrhostCommandLine, HelpListsEachCommandsArguments_ErrorsNameTheArgument) {
  const std::string frhost = std::string(FRHOST_COMMAND) + " ";
  const struct {
    const char* arguments;
    std::vector<std::string> named;
  } helps[] = {
      {"--help", {"--port", "--json", "sale", "cashier", "exit status"}},
      {"print --help", {"--center", "--bold", "--font N", "--spacing N", "--cut", "TEXT"}},
      {"help register", {"--user TEXT", "--place", "--address", "--inn DIGITS", "--regnum", "--tax", "--cashier-name"}},
      {"sale --help", {"--kind N", "--cash ROUBLES", "--card", "--cashier-name", "--items FILE", "ITEM"}},
      {"help send", {"CODE", "HEX"}},
      {"report --help", {"KIND", "A|FROM", "B|TO"}},
      {"help deposit", {"AMOUNT"}},
      {"cashier --help", {"ACTION", "N", "--name", "--rights BITS", "--password N"}},
      {"help discount", {"--percent", "--amount", "--unset"}},
      {"clock --help", {"TIME"}},
      {"help tables", {"dump", "program", "FILE"}},
  };
  for (const auto& help : helps) {
    const Outcome outcome = shell(frhost + help.arguments + " 2>&1");
    EXPECT_EQ(outcome.status, 0) << help.arguments;
    for (const std::string& name : help.named) {
      EXPECT_NE(outcome.output.find(name), std::string::npos) << help.arguments << ": " << name << "\n"
                                                              << outcome.output;
    }
  }

  const struct {
    const char* arguments;
    const char* named;
  } wrongs[] = {
      {"print --font 9 text", "--font"},
      {"register --user U --place P", "--address"},
      {"sale --cash 1.234 name=a,price=1", "--cash"},
      {"sale --colour red name=a,price=1", "--colour"},
      {"send", "CODE"},
      {"tape 1 2", "2"},
      {"deposit 1,50", "AMOUNT"},
      {"discount set 1 --percent 5 --unset", "--unset"},
      {"cashier get 3 --name X", "get"},
      {"help bogus", "bogus"},
  };
  for (const auto& wrong : wrongs) {
    const Outcome outcome = shell(frhost + wrong.arguments + " 2>&1");
    EXPECT_EQ(outcome.status, 2) << wrong.arguments;
    EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1) << outcome.output;
    EXPECT_NE(outcome.output.find(wrong.named), std::string::npos) << wrong.arguments << ": " << outcome.output;
  }
}

TEST_F(FrhostTest, SeveralAtOnceOnOneLine_EachGetsItsOwnReplies) {
  std::vector<Running> running;
  for (int i = 0; i < 8; ++i) running.emplace_back(command(i % 2 == 0 ? "--json version" : "--json clock"));
  for (int i = 0; i < 8; ++i) {
    const Outcome outcome = running[static_cast<std::size_t>(i)].finish();
    EXPECT_EQ(outcome.status, 0) << i;
    const std::vector<json> replies = jsonLines(outcome.output);
    ASSERT_EQ(replies.size(), 1u) << outcome.output;
    if (i % 2 == 0) {
      EXPECT_EQ(replies[0]["version"], "0.0.4") << replies[0];
    } else {
      EXPECT_TRUE(replies[0]["time"].is_number()) << replies[0];
    }
  }
}

// Each command with --json, in an order that makes each valid: the exit status, the number of
// objects (one per request) and one decoded field of the last.
TEST_F(FrhostTest, Json_EveryCommandPrintsOneObjectPerRequest) {
  const std::string tables = (directory_.path() / "tables.json").string();
  struct Case {
    std::string arguments;
    int status;
    std::size_t objects;
    const char* key;
    json value;  // null: the key must merely be there
  };
  const Case cases[] = {
      {"version", 0, 1, "version", "0.0.4"},
      {"state", 3, 1, "code", 13},
      {"serial-number 0000012345", 0, 1, "code", 0},
      {"identity", 0, 1, "serial_number", "0000012345"},
      {"key", 0, 1, "device_key", nullptr},
      {"register --user U --place P --address A --inn 7701234567 --regnum 0000000000012345 --tax 1:1:20:VAT", 0, 6,
       "document", 1},
      {"clock", 0, 1, "time", nullptr},
      {"paper-width", 0, 1, "paper_width", nullptr},
      {"cashier get 20", 0, 1, "rights", nullptr},
      {"section set 1 --name Хлеб", 0, 2, "name", "Хлеб"},
      {"discount get 1", 0, 1, "kind", "unset"},
      {"shift-open", 0, 2, "shift", 1},
      {"deposit 1000.00", 0, 2, "drawer_cash", "1000.00"},
      {"sale --cash 200 name=Батон,price=45.50,qty=2.000", 0, 3, "change", "109.00"},
      {"state", 0, 2, "flag_names", json({"card present", "registration matches archive", "shift open",
                                           "archive ready"})},
      {"status", 0, 1, "flag_names", nullptr},
      {"document", 3, 1, "code", 29},  // no document open
      {"printer-status", 0, 1, "code", 0},
      {"print --bold hello", 0, 1, "code", 0},
      {"raw 1B40", 0, 1, "code", 0},
      {"cut", 0, 1, "code", 0},
      {"report x", 0, 1, "code", 0},
      {"tape", 0, 1, "code", 0},
      {"copy 3", 0, 1, "code", 0},
      {"payout 1091", 0, 2, "drawer_cash", "0.00"},
      {"shift-close", 0, 2, "shift", 1},
      {"report shifts 1 1", 0, 1, "code", 0},
      {"cancel", 3, 1, "code", 29},
      {"send 0x33", 0, 1, "data", "000004"},
      {"tables dump " + tables, 0, 60, "code", 0},
      {"tables program " + tables, 0, 60, "code", 0},
  };
  for (const Case& test : cases) {
    const Outcome outcome = frhost("--json " + test.arguments);
    EXPECT_EQ(outcome.status, test.status) << test.arguments << "\n" << outcome.output;
    const std::vector<json> objects = jsonLines(outcome.output);
    ASSERT_EQ(objects.size(), test.objects) << test.arguments << "\n" << outcome.output;
    for (const json& object : objects) {
      for (const char* key : {"request", "command", "code", "meaning", "identifier", "data"}) {
        EXPECT_TRUE(object.contains(key)) << test.arguments << ": " << key;
      }
    }
    const json& last = objects.back();
    ASSERT_TRUE(last.contains(test.key)) << test.arguments << ": " << last;
    if (!test.value.is_null()) {
      EXPECT_EQ(last[test.key], test.value) << test.arguments;
    }
  }
}

TEST_F(FrhostTest, ReadmeWalkThrough_RunsAsOneScript) {
  const std::string script = walkThroughScript();
  ASSERT_NE(script.find("$h shift-close"), std::string::npos) << script;
  std::ofstream(directory_.path() / "walk-through.sh")
      << "set -e\ncd " << directory_.path().string() << "\nh=\"" << FRHOST_COMMAND << " --port "
      << board_.hostPortPath().string() << "\"\n"
      << script;
  const Outcome outcome = shell("sh " + (directory_.path() / "walk-through.sh").string() + " 2>&1");
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("total           151.00"), std::string::npos) << outcome.output;
}

}  // namespace
