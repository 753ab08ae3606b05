#include "tools/host/report_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

using Arguments = std::vector<std::string_view>;

const host::Operator kCashier{.number = 3, .password = 0x01020304};

// The one request's command and payload after the operator prefix; nullopt when refused.
std::optional<std::pair<std::uint8_t, bytes::Bytes>> request(decltype(&host::reportPlan) plan, Arguments arguments) {
  std::string problem;
  const auto made = plan(kCashier, arguments, problem);
  if (!made) return std::nullopt;
  EXPECT_EQ(made->steps.size(), 1u);
  const host::Request& sent = made->steps[0].request;
  const bytes::Bytes prefix{3, 4, 3, 2, 1};
  EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), sent.payload.begin()));
  return std::pair{sent.command, bytes::Bytes(sent.payload.begin() + 5, sent.payload.end())};
}

class ReportCommands : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(ReportCommands, Moments_IsoDatesInLocalTimeOrSeconds) {
  const std::pair<std::string_view, std::optional<std::uint32_t>> cases[] = {
      {"2026-12-08", 1796688000},          {"2026-12-08T09:30", 1796722200}, {"2026-12-08 09:30:15", 1796722215},
      {"1796688000", 1796688000},          {"1970-01-01", 0},                {"2106-02-07T06:28:15", 0xFFFFFFFF},
      {"1969-12-31", std::nullopt},        {"2106-02-08", std::nullopt},     {"2026-02-30", std::nullopt},
      {"2026-13-01", std::nullopt},        {"2026-12-8", std::nullopt},      {"2026-12-08T9:30", std::nullopt},
      {"2026-12-08T09:60", std::nullopt},  {"2026-12-08T09:30:", std::nullopt}, {"2026/12/08", std::nullopt},
      {"", std::nullopt},                  {"-5", std::nullopt},             {"4294967296", std::nullopt},
      // A time that names its zone is that moment wherever the machine is.
      {"2026-12-08T12:30:15+03:00", 1796722215}, {"2026-12-08T04:00-05:30", 1796722200},
      {"2026-12-08T09:30Z", 1796722200},    {"2026-12-08T09:30+3", std::nullopt}, {"2026-12-08Z", std::nullopt},
      {"2026-12-08T09:30+24:00", std::nullopt}, {"2026-12-08T09:30:15 +03:00", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(host::parseMoment(text, false), seconds) << text;
  EXPECT_EQ(host::parseMoment("2026-12-08", true), 1796688000u + 86399) << "a date alone ends with its last second";
  EXPECT_EQ(host::parseMoment("2026-12-08T09:30", true), 1796722200u);
}

TEST_F(ReportCommands, Reports_BodiesOfCode177) {
  using Expected = std::optional<std::pair<std::uint8_t, bytes::Bytes>>;
  const std::pair<Arguments, Expected> cases[] = {
      {{"x"}, Expected({177, {1}})},
      {{"fiscal"}, Expected({177, {2}})},
      {{"totals"}, Expected({177, {3}})},
      {{"sections"}, Expected({177, {4}})},
      {{"shifts", "2", "258"}, Expected({177, {6, 2, 0, 2, 1}})},
      {{"period", "2026-12-08", "2026-12-08"}, Expected({177, {5, 0x80, 0x48, 0x17, 0x6B, 0xFF, 0x99, 0x18, 0x6B}})},
      {{"period", "1", "0x10"}, std::nullopt},
      {{"shifts", "1", "65536"}, std::nullopt},
      {{"shifts", "1"}, std::nullopt},
      {{"x", "1"}, std::nullopt},
      {{"z"}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(request(host::reportPlan, arguments), expected) << (arguments.empty() ? "" : arguments[0]);
  }
}

TEST_F(ReportCommands, TapeAndCopy_TakeADocumentNumber) {
  using Expected = std::optional<std::pair<std::uint8_t, bytes::Bytes>>;
  EXPECT_EQ(request(host::tapePlan, {}), Expected({58, {}}));
  EXPECT_EQ(request(host::tapePlan, {"258"}), Expected({58, {2, 1, 0, 0}}));
  EXPECT_EQ(request(host::tapePlan, {"1", "2"}), std::nullopt);
  EXPECT_EQ(request(host::copyPlan, {"4294967295"}), Expected({178, {0xFF, 0xFF, 0xFF, 0xFF}}));
  for (Arguments refused : {Arguments{}, Arguments{"4294967296"}, Arguments{"x"}, Arguments{"1", "2"}}) {
    EXPECT_EQ(request(host::copyPlan, refused), std::nullopt);
  }
}

TEST_F(ReportCommands, TapeContinuation_NamesTheNextNumber) {
  EXPECT_EQ(host::tapeContinuation(58, 54, bytes::Bytes{7, 0, 0, 0}),
            "the tape stopped: printed completely up to receipt document 7; once the printer is ready, go on with: "
            "frhost tape 8\n");
  EXPECT_NE(host::tapeContinuation(58, 5, bytes::Bytes{0, 0, 0, 0}).find("no receipt"), std::string::npos);
  EXPECT_EQ(host::tapeContinuation(58, 0, bytes::Bytes{7, 0, 0, 0}), "");
  EXPECT_EQ(host::tapeContinuation(58, 54, bytes::Bytes{}), "");
  EXPECT_EQ(host::tapeContinuation(178, 54, bytes::Bytes{7, 0, 0, 0}), "");
}

}  // namespace
