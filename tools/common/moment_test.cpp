#include "tools/common/moment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

class Moments : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

constexpr std::uint32_t k20261208 = 1796688000;  // 2026-12-08 00:00:00 UTC
constexpr std::uint32_t kDay = 86400;

TEST_F(Moments, IsoDatesAndTimesInLocalTimeOrSeconds_ImpossibleOnesRefused) {
  const std::pair<std::string_view, std::optional<std::uint32_t>> cases[] = {
      {"2026-12-08", k20261208},
      {"2026-12-08T09:30", k20261208 + 34200},
      {"2026-12-08 09:30:15", k20261208 + 34215},
      {"2026-12-08T23:59:59", k20261208 + kDay - 1},
      {"1796688000", k20261208},
      {"1970-01-01", 0},
      {"2106-02-07T06:28:15", 0xFFFFFFFF},
      {"2028-02-29", 1835395200},
      // Dates that do not exist, times past the end of their field, text that is not a moment.
      {"2027-02-31", std::nullopt},
      {"2027-02-29", std::nullopt},
      {"2026-13-01", std::nullopt},
      {"2026-00-10", std::nullopt},
      {"2026-12-00", std::nullopt},
      {"2026-12-08T24:00", std::nullopt},
      {"2026-12-08T09:60", std::nullopt},
      {"2026-12-08T09:30:60", std::nullopt},
      {"1969-12-31", std::nullopt},
      {"2106-02-08", std::nullopt},
      {"2026-12-8", std::nullopt},
      {"2026-12-08T9:30", std::nullopt},
      {"2026-12-08T09:30:", std::nullopt},
      {"2026-12-08X09:30", std::nullopt},
      {"2026/12/08", std::nullopt},
      {"", std::nullopt},
      {"-5", std::nullopt},
      {"4294967296", std::nullopt},
      // A time that names its zone, and zones that are not ones.
      {"2026-12-08T12:30:15+03:00", k20261208 + 34215},
      {"2026-12-08T04:00-05:30", k20261208 + 34200},
      {"2026-12-08T09:30Z", k20261208 + 34200},
      {"2026-12-08T09:30+3", std::nullopt},
      {"2026-12-08Z", std::nullopt},
      {"2026-12-08T09:30+24:00", std::nullopt},
      {"2026-12-08T09:30:15 +03:00", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(moment::parseMoment(text, false), seconds) << text;
  EXPECT_EQ(moment::parseMoment("2026-12-08", true), k20261208 + kDay - 1) << "a date alone ends with its last second";
  EXPECT_EQ(moment::parseMoment("2026-12-08T09:30", true), k20261208 + 34200);
}

TEST_F(Moments, ATimeWithItsZoneIsThatMomentWhateverTheLocalZone) {
  setenv("TZ", "JST-9", 1);  // nine hours east of UTC, without a time zone database
  tzset();
  EXPECT_EQ(moment::parseMoment("2026-12-08T12:30:15+03:00", false), k20261208 + 34215);
  EXPECT_EQ(moment::parseMoment("2026-12-08T09:30", false), k20261208 + 34200 - 9 * 3600);
}

TEST_F(Moments, Periods_ReversedBoundsSwapped_TheFaultyArgumentNamed) {
  const struct {
    std::string_view from, to;
    std::uint32_t start, end;
  } periods[] = {
      {"2026-12-08", "2026-12-08", k20261208, k20261208 + kDay - 1},
      {"2026-12-08", "2026-12-09", k20261208, k20261208 + 2 * kDay - 1},
      {"2026-12-09", "2026-12-08", k20261208, k20261208 + 2 * kDay - 1},
      {"2026-12-08T12:00", "2026-12-08", k20261208 + 43200, k20261208 + kDay - 1},
      {"2026-12-08T12:00", "2026-12-08T11:00", k20261208 + 39600, k20261208 + 43200},
      {"1796774400", "1796688000", k20261208, k20261208 + kDay},
  };
  for (const auto& period : periods) {
    std::string problem;
    const auto read = moment::parsePeriod(period.from, period.to, problem);
    ASSERT_TRUE(read) << period.from << " " << period.to;
    EXPECT_EQ(read->from, period.start) << period.from << " " << period.to;
    EXPECT_EQ(read->to, period.end) << period.from << " " << period.to;
    EXPECT_EQ(problem, "");
  }

  const struct {
    std::string_view from, to, named;
  } wrongs[] = {
      {"2027-02-31", "2027-03-01", "FROM 2027-02-31 "},
      {"2027-03-01", "2027-01-15T24:00", "TO 2027-01-15T24:00 "},
      {"2027-13-01", "bogus", "FROM 2027-13-01 "},
  };
  for (const auto& wrong : wrongs) {
    std::string problem;
    EXPECT_FALSE(moment::parsePeriod(wrong.from, wrong.to, problem)) << wrong.from << " " << wrong.to;
    EXPECT_TRUE(problem.starts_with(wrong.named)) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
  }
}

}  // namespace
