#include "tools/host/document_commands.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "values/cp866.h"

namespace {

using bytes::Bytes;

const host::Operator kAdministrator{};

Bytes concat(std::initializer_list<bytes::View> parts) {
  Bytes out;
  for (const bytes::View part : parts) bytes::appendBytes(out, part);
  return out;
}

// An item's wire form: tag and length (u16 LE each), then the value.
Bytes wire(std::uint16_t tag, bytes::View value) {
  Bytes out;
  bytes::appendU16(out, tag);
  bytes::appendU16(out, static_cast<std::uint16_t>(value.size()));
  bytes::appendBytes(out, value);
  return out;
}

std::optional<host::Plan> registration(std::vector<std::string_view> arguments, std::string* problemOut = nullptr) {
  std::string problem;
  auto plan = host::registrationPlan(kAdministrator, arguments, problem);
  if (problemOut != nullptr) *problemOut = problem;
  return plan;
}

std::vector<std::string_view> withRequired(std::vector<std::string_view> more) {
  std::vector<std::string_view> arguments{"--user",  "ООО Ромашка", "--place", "Магазин",      "--address",
                                          "Москва", "--inn",       "7701234567", "--regnum", "0000000001"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST(OperatorPrefix, NumberThenPasswordLittleEndian) {
  EXPECT_EQ(host::operatorPrefix(kAdministrator), (Bytes{20, 30, 0, 0, 0}));
  EXPECT_EQ(host::operatorPrefix({.number = 3, .password = 0x01020304}), (Bytes{3, 0x04, 0x03, 0x02, 0x01}));
}

TEST(DocumentPlan, BareDocument_OpensWithPrefixAndFinishesEmpty) {
  const host::Plan plan = host::documentPlan(host::kShiftOpeningCodes, {.number = 1, .password = 7});
  EXPECT_TRUE(plan.opensDocument);
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_EQ(plan.steps[0].request.command, 17);
  EXPECT_EQ(plan.steps[0].request.payload, (Bytes{1, 7, 0, 0, 0}));
  EXPECT_EQ(plan.steps[0].label, "open shift opening (17)");
  EXPECT_EQ(plan.steps[1].request.command, 18);
  EXPECT_TRUE(plan.steps[1].request.payload.empty());
}

TEST(ParseHundredths, RoublesWithUpToTwoDecimals_GiveKopecks) {
  EXPECT_EQ(host::parseHundredths("150", 1'000'000), 15000u);
  EXPECT_EQ(host::parseHundredths("150.00", 1'000'000), 15000u);
  EXPECT_EQ(host::parseHundredths("0.50", 1'000'000), 50u);
  EXPECT_EQ(host::parseHundredths("0.5", 1'000'000), 50u);
  EXPECT_EQ(host::parseHundredths("0.05", 1'000'000), 5u);
  EXPECT_EQ(host::parseHundredths("0", 1'000'000), 0u);
  EXPECT_EQ(host::parseHundredths("99.99", 9999), 9999u);
}

TEST(ParseHundredths, MalformedOrAboveMaximum_GivesNothing) {
  for (const std::string_view text : {"", ".5", "5.", "1.234", "-1", "+1", "1,5", "1e3", "1.-5", " 1", "0x10",
                                      "1.5.0", "100"}) {
    EXPECT_FALSE(host::parseHundredths(text, 9999)) << text;
  }
  // Would wrap when multiplied by 100.
  EXPECT_FALSE(host::parseHundredths("184467440737095517", std::numeric_limits<std::uint64_t>::max()));
  EXPECT_FALSE(host::parseHundredths("99999999999999999999999", std::numeric_limits<std::uint64_t>::max()));
}

TEST(AmountData, IsSignedKopecksLittleEndian) {
  EXPECT_EQ(host::amountData("150"), (Bytes{0x98, 0x3A, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(host::amountData("0.50"), (Bytes{50, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(host::amountData("92233720368547758.07"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
  // One kopeck more would turn negative on the register.
  EXPECT_FALSE(host::amountData("92233720368547758.08"));
  EXPECT_FALSE(host::amountData("-1"));
}

TEST(SerialNumberPayload, PrefixThenExactlyTenDigits) {
  EXPECT_EQ(host::serialNumberPayload({.number = 20, .password = 0x1E}, "0123456789"),
            concat({Bytes{20, 0x1E, 0, 0, 0}, bytes::view("0123456789")}));
  EXPECT_FALSE(host::serialNumberPayload(kAdministrator, "012345678"));
  EXPECT_FALSE(host::serialNumberPayload(kAdministrator, "01234567890"));
  EXPECT_FALSE(host::serialNumberPayload(kAdministrator, "012345678A"));
}

TEST(RegistrationPlan, Arguments_GiveOpenItemsAndPaddedNumbers) {
  const auto plan = registration(withRequired({"--tax", "2:1:20:НДС 20%", "--tax", "1:0:0:БЕЗ НДС"}));
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->opensDocument);
  ASSERT_EQ(plan->steps.size(), 7u);

  EXPECT_EQ(plan->steps[0].request.command, 8);
  EXPECT_EQ(plan->steps[0].request.payload, (Bytes{20, 30, 0, 0, 0}));
  for (std::size_t i = 1; i <= 5; ++i) EXPECT_EQ(plan->steps[i].request.command, 7) << i;
  EXPECT_EQ(plan->steps[1].request.payload, wire(11048, bytes::view("ООО Ромашка"_cp866)));
  EXPECT_EQ(plan->steps[2].request.payload, wire(11187, bytes::view("Магазин"_cp866)));
  EXPECT_EQ(plan->steps[3].request.payload, wire(11009, bytes::view("Москва"_cp866)));
  // Tax index 2 is the container of slot 1; kind u8, percentage u16, name text.
  EXPECT_EQ(plan->steps[4].request.payload,
            wire(13106, concat({wire(13102, Bytes{1}), wire(13103, Bytes{0xD0, 0x07}),
                                wire(13104, bytes::view("НДС 20%"_cp866))})));
  EXPECT_EQ(plan->steps[4].label, "add tax rate 2 13106 (7)");
  EXPECT_EQ(plan->steps[5].request.payload,
            wire(13105, concat({wire(13102, Bytes{0}), wire(13103, Bytes{0, 0}),
                                wire(13104, bytes::view("БЕЗ НДС"_cp866))})));

  EXPECT_EQ(plan->steps[6].request.command, 9);
  EXPECT_EQ(plan->steps[6].request.payload,
            concat({bytes::view("7701234567"), Bytes(2, 0), bytes::view("0000000001"), Bytes(6, 0)}));
}

TEST(RegistrationPlan, TaxRateFields_AreReadAsGiven) {
  // The name is everything after the third colon; the percentage may carry decimals.
  const auto plan = registration(withRequired({"--tax", "5:2:9.5:A:B"}));
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->steps[4].request.payload,
            wire(13109, concat({wire(13102, Bytes{2}), wire(13103, Bytes{0xB6, 0x03}), wire(13104, bytes::view("A:B"))})));
}

TEST(RegistrationPlan, CashierName_IsOpenDataWithLengthByte) {
  const auto plan = registration(withRequired({"--cashier-name", "Иванов"}));
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->steps[0].request.payload, concat({Bytes{20, 30, 0, 0, 0, 6}, bytes::view("Иванов"_cp866)}));
  // Without rates: open, three texts, finish.
  EXPECT_EQ(plan->steps.size(), 5u);
}

TEST(RegistrationPlan, FullLengthNumbers_FillTheirFields) {
  const auto plan =
      registration({"--user", "u", "--place", "p", "--address", "a", "--inn", "123456789012", "--regnum", "1234567890123456"});
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->steps.back().request.payload, concat({bytes::view("123456789012"), bytes::view("1234567890123456")}));
}

TEST(RegistrationPlan, BadArguments_SayWhyAndGiveNothing) {
  const std::string longText(256, 'x');
  const std::string longTaxName = "1:1:20:" + std::string(31, 'n');
  for (const std::vector<std::string_view>& arguments : std::vector<std::vector<std::string_view>>{
           {"--user", "u", "--place", "p", "--address", "a", "--inn", "7701234567"},
           withRequired({"--user"}),
           withRequired({"--colour", "red"}),
           withRequired({"--user", ""}),
           withRequired({"--address", longText}),
           withRequired({"--inn", "770123456"}),
           withRequired({"--inn", "7701234567890"}),
           withRequired({"--inn", "770123456X"}),
           withRequired({"--regnum", "123456789"}),
           withRequired({"--regnum", "12345678901234567"}),
           withRequired({"--tax", "1:1:20"}),
           withRequired({"--tax", "0:1:20:НДС"}),
           withRequired({"--tax", "6:1:20:НДС"}),
           withRequired({"--tax", "1:3:20:НДС"}),
           withRequired({"--tax", "1:1:100:НДС"}),
           withRequired({"--tax", "1:1:20.001:НДС"}),
           withRequired({"--tax", "1:1:20:"}),
           withRequired({"--tax", longTaxName}),
           withRequired({"--tax", "1:1:20:a", "--tax", "1:1:10:b"}),
           withRequired({"--cashier-name", longText}),
       }) {
    std::string problem;
    EXPECT_FALSE(registration(arguments, &problem)) << arguments.back();
    EXPECT_FALSE(problem.empty()) << arguments.back();
  }
}

TEST(ParseCloseReply, EachKind_ReadsItsLayout) {
  Bytes base;
  bytes::appendU32(base, 42);
  bytes::appendU32(base, 0xDEADBEEF);
  bytes::appendU32(base, 1700000000);
  const host::CloseReply common{.documentNumber = 42, .fiscalSign = 0xDEADBEEF, .dateTime = 1700000000};

  EXPECT_EQ(host::parseCloseReply(1, base), common);
  EXPECT_EQ(host::parseCloseReply(4, base), common);

  Bytes shift = base;
  bytes::appendU16(shift, 0x0102);
  host::CloseReply withShift = common;
  withShift.shiftNumber = 0x0102;
  EXPECT_EQ(host::parseCloseReply(7, shift), withShift);
  EXPECT_EQ(host::parseCloseReply(2, shift), withShift);

  Bytes cash = shift;
  bytes::appendU64(cash, 7000);
  host::CloseReply withCash = withShift;
  withCash.drawerCash = 7000;
  EXPECT_EQ(host::parseCloseReply(5, cash), withCash);
  EXPECT_EQ(host::parseCloseReply(6, cash), withCash);
}

TEST(ParseCloseReply, WrongSizeOrKind_GivesNothing) {
  const Bytes twelve(12, 0);
  const Bytes fourteen(14, 0);
  const Bytes twentyTwo(22, 0);
  EXPECT_FALSE(host::parseCloseReply(7, twelve));
  EXPECT_FALSE(host::parseCloseReply(1, fourteen));
  EXPECT_FALSE(host::parseCloseReply(5, fourteen));
  EXPECT_FALSE(host::parseCloseReply(2, twentyTwo));
  EXPECT_FALSE(host::parseCloseReply(3, Bytes(32, 0)));
  EXPECT_FALSE(host::parseCloseReply(0, twelve));
  EXPECT_FALSE(host::parseCloseReply(1, {}));
}

}  // namespace
