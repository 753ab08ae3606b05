// The integrators' examples run as an integrator runs them, against frgate on a simulated
// board: each makes its sale once, however often its lost answer makes it ask again.
#include <gtest/gtest.h>

#include <regex>

#include "tools/gateway/gateway_testing.h"
#include "tools/sim/shell_testing.h"

namespace {

using gateway::testing::bodyOf;
using nlohmann::json;

constexpr const char* kToken = "example-token";

struct Example {
  const char* language;
  const char* interpreter;
  const char* script;  // under examples/
  bool fromEnvironment;  // URL and token from FRGATE_URL and FRGATE_TOKEN, else from the command line
};

void PrintTo(const Example& example, std::ostream* out) { *out << example.language; }

const Example kExamples[] = {
    {"Python", "python3", "python/sale.py", false},
    {"JavaScript", "node", "javascript/sale.mjs", true},
};

// One register with a shift open and frgate on it with a token, for every example in turn.
class Examples : public ::testing::TestWithParam<Example> {
 protected:
  static void SetUpTestSuite() {
    board_ = new gateway::testing::RegisterBoard();
    frgate_ = new gateway::testing::GatewayProcess(board_->port(), board_->root() / "frgate.db",
                                                   gateway::testing::tokenArguments(board_->root(), kToken));
  }
  static void TearDownTestSuite() {
    delete frgate_;
    delete board_;
  }
  static json get(const std::string& path) {
    return bodyOf(frgate_->client().Get(path.c_str(), {{"Authorization", std::string("Bearer ") + kToken}}));
  }

  static gateway::testing::RegisterBoard* board_;
  static gateway::testing::GatewayProcess* frgate_;
};

gateway::testing::RegisterBoard* Examples::board_ = nullptr;
gateway::testing::GatewayProcess* Examples::frgate_ = nullptr;

TEST_P(Examples, Sale_MadeOnceThoughItsAnswerWasLostAndItAskedAgain) {
  const Example& example = GetParam();
  if (!sim::onPath(example.interpreter)) {
    GTEST_SKIP() << example.interpreter << " is not installed: the " << example.language << " example was not run";
  }
  const json before = get("/v1/status");
  const std::uint32_t expectedNumber = before["last_document"]["number"].get<std::uint32_t>() + 1;

  const std::string script = std::string(FRCORE_SOURCE_DIR "/examples/") + example.script;
  const std::string command =
      example.fromEnvironment
          ? "FRGATE_URL=" + frgate_->url() + " FRGATE_TOKEN=" + kToken + " " + example.interpreter + " " + script
          : std::string(example.interpreter) + " " + script + " " + frgate_->url() + " --token " + kToken;
  const sim::ShellOutcome outcome = sim::shell("env -u FRGATE_URL -u FRGATE_TOKEN " + command + " 2>&1");
  ASSERT_EQ(outcome.status, 0) << outcome.output;

  // What it says it did: a lost first answer, then the receipt, then the same receipt again.
  const std::string& said = outcome.output;
  std::smatch key;
  ASSERT_TRUE(std::regex_search(said, key, std::regex("sale with Idempotency-Key (\\S+)"))) << said;
  EXPECT_NE(said.find("try 1: no answer"), std::string::npos) << said;
  const int expectedReceipt = before["receipts_in_shift"].get<int>() + 1;
  const std::string receipt =
      "receipt " + std::to_string(expectedReceipt) + ", document " + std::to_string(expectedNumber) + ", fiscal sign ";
  EXPECT_NE(said.find(receipt), std::string::npos) << said;
  EXPECT_NE(said.find("total 151.00, change 49.00 (the answer recorded for this key)"), std::string::npos) << said;
  EXPECT_NE(said.find("one receipt, document " + std::to_string(expectedNumber) + ", however often"), std::string::npos)
      << said;

  // What the register and frgate hold: one receipt more, one record for the key.
  const json after = get("/v1/status");
  EXPECT_EQ(after["last_document"]["number"], expectedNumber) << after.dump();
  EXPECT_EQ(after["receipts_in_shift"], expectedReceipt) << after.dump();
  int records = 0;
  const json requests = get("/v1/requests?limit=100")["requests"];
  for (const json& record : requests) {
    if (record["key"] != key[1].str()) continue;
    ++records;
    EXPECT_EQ(record["state"], "done");
    EXPECT_EQ(record["document"], expectedNumber);
  }
  EXPECT_EQ(records, 1) << key[1] << " in " << requests.dump();
}

INSTANTIATE_TEST_SUITE_P(Languages, Examples, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<Example>& tested) { return std::string(tested.param.language); });

}  // namespace
