#include "tools/gateway/answer_forms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "core/state/status_records.h"
#include "documents/base_document.h"

namespace {

using gateway::RegisterStatus;

TEST(AnswerForms, StatusNamesThePrinterByItsWorstFlagAndTheOpenDocumentByItsType) {
  struct Case {
    std::uint16_t flags;
    const char* printer;
  };
  const Case cases[] = {
      {FrStatus::kShiftOpen, "ok"},
      {FrStatus::kPaperNearEnd, "near-end"},
      {FrStatus::kPaperOut | FrStatus::kPaperNearEnd, "paper-out"},
      {FrStatus::kPrinterNotAnswering | FrStatus::kPaperOut, "not-answering"},
  };
  for (const Case& c : cases) {
    RegisterStatus flagged;
    flagged.flags = c.flags;
    const auto status = gateway::statusJson(flagged, std::nullopt);
    EXPECT_EQ(status["printer"], c.printer) << c.flags;
    EXPECT_TRUE(status["flags"].is_array());
  }

  const RegisterStatus open{.serial = "0000012345",
                            .flags = FrStatus::kCardPresent | FrStatus::kShiftOpen | FrStatus::kArchiveReady,
                            .fiscalizations = 1, .shift = 4,
                            .lastNumber = 9, .lastTime = 1'800'000'000, .receipts = 3,
                            .openDocument = DocumentType::kReceipt};
  const auto status = gateway::statusJson(open, 15050);
  EXPECT_EQ(status["serial"], "0000012345");
  EXPECT_EQ(status["registered"], true);
  EXPECT_EQ(status["shift"], gateway::Json({{"open", true}, {"number", 4}}));
  EXPECT_EQ(status["receipts_in_shift"], 3);
  EXPECT_EQ(status["drawer_cash"], "150.50");
  EXPECT_EQ(status["last_document"]["number"], 9);
  EXPECT_EQ(status["open_document"], "receipt");
  EXPECT_EQ(status["flags"], gateway::Json::array({"card present", "shift open", "archive ready"}));

  const auto fresh = gateway::statusJson(RegisterStatus{}, std::nullopt);
  EXPECT_EQ(fresh["registered"], false);
  EXPECT_EQ(fresh["last_document"], nullptr) << "no document yet";
  EXPECT_EQ(fresh["open_document"], nullptr);
  EXPECT_EQ(fresh["drawer_cash"], nullptr) << "the drawer could not be read";
}

// Sets TZ for the test's length (POSIX zones need no time zone files: "UTC-3" is three hours east).
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (old_) ::setenv("TZ", old_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(AnswerForms, TimesAreIso8601WithTheOffsetAndAmountsExactDecimals) {
  struct Case {
    const char* zone;
    const char* time;
  };
  const Case cases[] = {{"UTC0", "2027-01-15T08:00:05+00:00"},
                        {"MSK-3", "2027-01-15T11:00:05+03:00"},
                        {"NST+3:30", "2027-01-15T04:30:05-03:30"}};
  for (const Case& c : cases) {
    const TimeZone zone(c.zone);
    EXPECT_EQ(gateway::isoTime(1'800'000'005), c.time) << c.zone;
  }
  EXPECT_EQ(gateway::moneyText(15100), "151.00");
  EXPECT_EQ(gateway::moneyText(-50), "-0.50");
  EXPECT_EQ(gateway::moneyText(7), "0.07");
}

}  // namespace
