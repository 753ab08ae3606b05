#include "tools/host/reply_fields.h"

#include <gtest/gtest.h>

#include "tools/host/number_text.h"

namespace {

using bytes::Bytes;

// The named field of `fields`, or null.
const host::Field* find(const host::Fields& fields, std::string_view name) {
  for (const host::Field& field : fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

// A state block: shift open, shift 2, receipt counter 3, opened by document 7 at 1000, then
// the closing document and time given, 151.00 in the drawer.
Bytes stateBlock(bool shiftOpen, std::uint32_t closingDocument, std::uint32_t closingTime) {
  Bytes block{static_cast<std::uint8_t>(shiftOpen)};
  bytes::appendU16(block, 2);
  bytes::appendU16(block, 3);
  for (const std::uint32_t value : {7u, 1000u, closingDocument, closingTime}) bytes::appendU32(block, value);
  bytes::appendU64(block, 15100);
  return block;
}

TEST(ReplyFields, State_NamesTheClosingFieldForTheShiftState) {
  const host::Fields open = host::stateFields(stateBlock(true, 10, 0));
  ASSERT_NE(find(open, "newest document"), nullptr);
  EXPECT_EQ(find(open, "newest document")->value, 10);
  EXPECT_EQ(find(open, "closing document"), nullptr);
  EXPECT_EQ(find(open, "closed at"), nullptr);
  EXPECT_EQ(find(open, "shift open")->value, true);
  EXPECT_EQ(find(open, "drawer cash")->value, "151.00");

  const host::Fields closed = host::stateFields(stateBlock(false, 11, 2000));
  EXPECT_EQ(find(closed, "newest document"), nullptr);
  EXPECT_EQ(find(closed, "closing document")->value, 11);
  EXPECT_EQ(find(closed, "closed at")->value, 2000);

  // Before the first shift neither opening nor closing documents exist.
  const host::Fields none = host::stateFields(Bytes(29, 0));
  EXPECT_EQ(find(none, "opening document"), nullptr);
  EXPECT_EQ(find(none, "closing document"), nullptr);
}

// A status reply: serial number "012", then the record with `flags`.
Bytes statusReply(std::uint16_t flags) {
  Bytes data{'0', '1', '2'};
  bytes::appendU16(data, flags);
  data.resize(3 + 21, 0);
  return data;
}

TEST(ReplyFields, Status_NamesItsFlagsAndKeepsUnnamedBits) {
  const host::Fields fields = host::statusFields(statusReply(0x8019));
  EXPECT_EQ(find(fields, "serial number")->value, "012");
  EXPECT_EQ(find(fields, "flags")->value, 0x8019);
  EXPECT_EQ(find(fields, "flags")->text, "0x8019 (card present, shift open, archive ready, 0x8000)");
  EXPECT_EQ(find(fields, "flag names")->value,
            nlohmann::ordered_json({"card present", "shift open", "archive ready", "0x8000"}));
  EXPECT_EQ(find(fields, "open document")->value, "none");
  EXPECT_EQ(find(fields, "last document"), nullptr) << "no document yet";
}

// The card's and the archive's flags are named also when clear: the register then refuses
// every document (15, 5).
TEST(ReplyFields, StatusFlags_NameEachFlagInWords) {
  const std::pair<std::uint16_t, std::vector<std::string>> cases[] = {
      {0x0000, {"no card", "archive not ready"}},
      {0x0001, {"card present", "archive not ready"}},
      {0x0013, {"card present", "registration matches archive", "archive ready"}},
      {0x7074, {"no card", "archive of another device", "archive ready", "archive closed", "identity memory fault",
                "printer not answering", "paper near end", "paper out"}},
      {0x0180, {"no card", "archive not ready", "0x0080", "0x0100"}},
  };
  for (const auto& [flags, names] : cases) EXPECT_EQ(host::statusFlagNames(flags), names) << flags;
  const host::Fields alone = host::statusFlagFields(statusReply(0));
  ASSERT_EQ(alone.size(), 2u);
  EXPECT_EQ(alone[0].text, "0x0000 (no card, archive not ready)");
  EXPECT_EQ(alone[1].value, nlohmann::ordered_json({"no card", "archive not ready"}));
}

TEST(ReplyFields, RepliesOfAnotherSize_AreSaidToBeUnexpected) {
  for (const host::Fields& fields : {host::versionFields(Bytes{0, 0}), host::stateFields(Bytes(28, 0)),
                                     host::statusFields(Bytes(20, 0)), host::identityFields(Bytes(45, 0)),
                                     host::keyFields(Bytes(15, 0)), host::openDocumentFields(Bytes{}),
                                     host::closeReplyFields(5, Bytes(12, 0))}) {
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].name, "unexpected");
  }
}

// The fiscal sign shows as ten digits whatever its value.
TEST(ReplyFields, CloseReplyOfADeposit_HasItsSignInTenDigitsAndItsAmountAsExactText) {
  const std::pair<std::uint32_t, const char*> signs[] = {{0, "0000000000"}, {42, "0000000042"},
                                                         {4294967295u, "4294967295"}};
  for (const auto& [sign, text] : signs) {
    Bytes data;
    for (const std::uint32_t value : {3u, sign, 1000u}) bytes::appendU32(data, value);
    bytes::appendU16(data, 1);
    bytes::appendU64(data, 100000);
    const host::Fields fields = host::closeReplyFields(5, data);
    EXPECT_EQ(find(fields, "document")->value, 3);
    EXPECT_EQ(find(fields, "fiscal sign")->value, sign);
    EXPECT_EQ(find(fields, "fiscal sign")->text, text);
    EXPECT_EQ(find(fields, "drawer cash")->value, "1000.00");
  }
}

TEST(NumberText, DecimalOrHexWithinItsRange) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> value;
  };
  for (const Case& test : {Case{"0", 0}, Case{"255", 255}, Case{"0xFF", 255}, Case{"0X1e", 30}, Case{"256", {}},
                           Case{"", {}}, Case{"0x", {}}, Case{"-1", {}}, Case{"0x-1", {}}, Case{" 1", {}},
                           Case{"1 ", {}}, Case{"12a", {}}, Case{"99999999999999999999", {}}}) {
    EXPECT_EQ(host::parseNumber(test.text, 0, 255), test.value) << test.text;
  }
}

}  // namespace
