#include "tools/host/config_commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tools/sim/testing.h"
#include "values/cp866.h"

namespace {

using json = nlohmann::ordered_json;
using Arguments = std::vector<std::string_view>;

// A configuration command line read as frhost reads it: nullopt with `problem` set when it is
// not valid.
std::optional<host::ConfigArguments> parsed(Arguments words, std::string& problem) {
  host::ConfigArguments arguments(words[0]);
  CLI::App command;
  arguments.declare(command);
  if (!host::parseWords(command, host::Arguments(words).subspan(1), problem) || !arguments.check(problem)) {
    return std::nullopt;
  }
  return arguments;
}

TEST(ConfigEdits, FieldOptions) {
  std::string problem;
  Cashier cashier{3, CashierRights::kReceipts, 1, "A"};
  const auto edits = parsed(
      {"cashier", "set", "3", "--rights", "receipts,returns,cashier-table", "--password", "0x10", "--name", "Анна"},
      problem);
  ASSERT_TRUE(edits) << problem;
  edits->edit(cashier);
  EXPECT_EQ(cashier, (Cashier{3, 0x0111, 16, std::string("Анна"_cp866)}));

  Discount discount{2, Discount::kNotSet, 0, ""};
  for (const auto& [words, expected] : std::vector<std::pair<std::vector<std::string_view>, Discount>>{
           {{"discount", "set", "2", "--percent", "10", "--name", "CLUB"}, {2, Discount::kPercentage, 1000, "CLUB"}},
           {{"discount", "set", "2", "--amount", "0.50"}, {2, Discount::kAmount, 50, "CLUB"}},
           {{"discount", "set", "2", "--unset"}, {2, Discount::kNotSet, 0, "CLUB"}}}) {
    parsed(words, problem)->edit(discount);
    EXPECT_EQ(discount, expected) << words[3];
  }

  Section section{1, "OLD"};
  parsed({"section", "set", "1", "--name", ""}, problem)->edit(section);
  EXPECT_EQ(section.name, "");
}

// Each wrong line gives one line naming the argument at fault.
TEST(ConfigEdits, WrongLines_NameTheArgument) {
  const std::string tooLong(256, 'x');
  const struct {
    std::vector<std::string_view> words;
    std::string_view named;
  } cases[] = {
      {{"cashier", "set", "3", "--rights", "sales"}, "--rights"},
      {{"cashier", "set", "3", "--password", "-1"}, "--password"},
      {{"cashier", "set", "3", "--name"}, "--name"},
      {{"cashier", "set", "3", "--name", tooLong}, "--name"},
      {{"cashier", "set", "3", "--colour", "1"}, "--colour"},
      {{"cashier", "get", "21"}, "N"},
      {{"cashier", "put", "3"}, "ACTION"},
      {{"cashier", "set", "3"}, "set"},
      {{"cashier", "get", "3", "--name", "x"}, "get"},
      {{"section", "set", "1", "--number", "2"}, "--number"},
      {{"discount", "set", "1", "--percent", "-5"}, "--percent"},
      {{"discount", "set", "1", "--percent", "5", "--unset"}, "--unset"},
      {{"clock", "set", "yesterday"}, "clock set"},
      {{"clock", "now"}, "ACTION"},
      {{"paper-width", "set", "300"}, "MM"},
      {{"tables", "dump"}, "FILE"},
  };
  for (const auto& test : cases) {
    std::string problem;
    EXPECT_FALSE(parsed(test.words, problem)) << test.words[1];
    EXPECT_NE(problem.find(test.named), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
  }
}

TEST(ConfigClock, TimeArguments) {
  EXPECT_EQ(host::parseClockTime("now", 1800000000), 1800000000u);
  EXPECT_EQ(host::parseClockTime("1900000000", 0), 1900000000u);
  EXPECT_EQ(host::parseClockTime("2147483647", 0), 2147483647u);
  EXPECT_FALSE(host::parseClockTime("2147483648", 0)) << "past 2038";
  EXPECT_FALSE(host::parseClockTime("now", -1));
  std::tm local{};
  local.tm_year = 2030 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 17;
  local.tm_hour = 9;
  local.tm_min = 5;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  const auto expected = static_cast<std::uint32_t>(std::mktime(&local));
  EXPECT_EQ(host::parseClockTime("2030-03-17T09:05:00", 0), expected);
  EXPECT_EQ(host::parseClockTime("2030-03-17 09:05:00", 0), expected);
  for (const char* bad : {"", "soon", "2030-03-17", "2030-03-17T09:05:00Z", "2040-01-01T00:00:00", "12abc"}) {
    EXPECT_FALSE(host::parseClockTime(bad, 0)) << bad;
  }
}

// The commands against a register on a simulated board.
class ConfigCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board_.waitUntilServing()) << board_.log(); }

  int run(Arguments arguments) {
    output_.str("");
    std::string problem;
    const auto command = parsed(arguments, problem);
    if (!command) {
      output_ << problem;
      return host::kExitUsage;
    }
    host::Session session(board_.host(), {.timeout = std::chrono::seconds(5)}, output_, output_);
    command->run(session, {});
    return session.exitStatus();
  }
  std::string output() const { return output_.str(); }

  sim::TestBoard board_;
  std::ostringstream output_;
};

TEST_F(ConfigCommandsTest, SetChangesOnlyTheNamedFieldsAndGetShowsThem) {
  ASSERT_EQ(run({"cashier", "set", "3", "--name", "Анна", "--rights", "receipts", "--password", "1234"}), 0);
  ASSERT_EQ(run({"cashier", "set", "3", "--rights", "receipts,reports"}), 0);
  EXPECT_EQ(run({"cashier", "get", "3"}), 0);
  EXPECT_NE(output().find("name            Анна\n"), std::string::npos) << output();
  EXPECT_NE(output().find("rights          0x0003 (receipts, reports)\n"), std::string::npos) << output();
  EXPECT_NE(output().find("password        1234\n"), std::string::npos) << output();

  ASSERT_EQ(run({"discount", "set", "4", "--percent", "7.5"}), 0);
  EXPECT_EQ(run({"discount", "get", "4"}), 0);
  EXPECT_NE(output().find("printed as      СКИДКА 7.50%\n"), std::string::npos) << output();

  EXPECT_EQ(run({"cashier", "get", "21"}), host::kExitUsage);
  EXPECT_EQ(run({"cashier", "set", "3"}), host::kExitUsage);
  EXPECT_EQ(run({"clock", "set", "yesterday"}), host::kExitUsage);
}

TEST_F(ConfigCommandsTest, ClockAndPaperWidth) {
  ASSERT_EQ(run({"clock", "set", "1900000000"}), 0);
  EXPECT_NE(output().find("result          0 (success)"), std::string::npos) << output();
  ASSERT_EQ(run({"clock"}), 0);
  EXPECT_NE(output().find("(19000000"), std::string::npos) << output();
  ASSERT_EQ(run({"paper-width", "set", "80"}), 0);
  ASSERT_EQ(run({"paper-width"}), 0);
  EXPECT_NE(output().find("paper width     80 mm"), std::string::npos) << output();
}

TEST_F(ConfigCommandsTest, DumpThenProgram_RestoresTheTables) {
  const std::string file = (board_.root() / "tables.json").string();
  ASSERT_EQ(run({"section", "set", "2", "--name", "МОЛОКО"}), 0);
  ASSERT_EQ(run({"discount", "set", "1", "--amount", "5", "--name", "КУПОН"}), 0);
  ASSERT_EQ(run({"cashier", "set", "4", "--name", "Олег", "--rights", "1", "--password", "44"}), 0);
  ASSERT_EQ(run({"tables", "dump", file}), 0);
  EXPECT_NE(output().find("20 cashiers, 20 sections, 20 discounts"), std::string::npos) << output();
  const json dumped = json::parse(std::ifstream(file));
  EXPECT_EQ(dumped["sections"][1], json::parse(R"({"number":2,"name":"МОЛОКО"})"));

  ASSERT_EQ(run({"section", "set", "2", "--name", "ДРУГОЕ"}), 0);
  ASSERT_EQ(run({"discount", "set", "1", "--unset"}), 0);
  ASSERT_EQ(run({"cashier", "set", "4", "--password", "0"}), 0);
  ASSERT_EQ(run({"tables", "program", file}), 0);
  EXPECT_NE(output().find("programmed 60 of 60 records"), std::string::npos) << output();
  const std::string again = (board_.root() / "again.json").string();
  ASSERT_EQ(run({"tables", "dump", again}), 0);
  EXPECT_EQ(json::parse(std::ifstream(again)), dumped);

  std::ofstream(board_.root() / "bad.json") << R"({"sections": [{"number": 30}]})";
  EXPECT_EQ(run({"tables", "program", (board_.root() / "bad.json").string()}), host::kExitUsage);
  EXPECT_NE(output().find("\"number\" must be 1 to 20"), std::string::npos) << output();
}

}  // namespace
