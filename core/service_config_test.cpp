// The configuration commands as a host uses them: the service on a simulated board, spoken to
// over its host line, with the reference store's files checked after every write.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/board_directory.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "tools/host/document_commands.h"
#include "tools/host/frame.h"
#include "tools/sim/testing.h"
#include "values/cp866.h"
#include "values/tlv.h"

namespace {

namespace fs = std::filesystem;

const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};

bytes::Bytes join(std::initializer_list<bytes::View> parts) {
  bytes::Bytes out;
  for (const bytes::View part : parts) bytes::appendBytes(out, part);
  return out;
}

bytes::Bytes seconds(std::uint32_t value) {
  bytes::Bytes out;
  bytes::appendU32(out, value);
  return out;
}

template <typename Record>
bytes::Bytes wire(const Record& record) {
  const auto slot = record.encode();
  return bytes::Bytes(slot.begin(), slot.end());
}

class ServiceConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board_.waitUntilServing()) << board_.log(); }

  host::Reply send(std::uint8_t command, bytes::Bytes payload = {}) {
    auto reply = board_.host().transact({command, ++identifier_, std::move(payload)});
    EXPECT_TRUE(reply.has_value()) << board_.log();
    return reply.value_or(host::Reply{255, 0, {}});
  }
  int code(std::uint8_t command, bytes::Bytes payload = {}) { return send(command, std::move(payload)).code; }

  bytes::Bytes nvFile(std::string_view name) const {
    std::ifstream in(board_.root() / "nv" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bytes::Bytes slotOf(std::string_view name, std::size_t slotSize, std::size_t number) const {
    const bytes::Bytes file = nvFile(name);
    if (file.size() < number * slotSize) return {};
    return bytes::Bytes(file.begin() + static_cast<long>((number - 1) * slotSize),
                        file.begin() + static_cast<long>(number * slotSize));
  }

  // Registers the register, so that a document carries the clock's time.
  host::Reply registerRegister() {
    TlvItem user, place, address, kind, percentage, name, rate;
    user.setText(11048, "SHOP");
    place.setText(11187, "HALL");
    address.setText(11009, "STREET 1");
    kind.setU8(13102, 1);
    percentage.setU16(13103, 2000);
    name.setText(13104, "VAT");
    rate.setList(13105, {kind, percentage, name});
    EXPECT_EQ(code(0x08, kAdministrator), 0);
    for (const TlvItem* item : {&user, &place, &address, &rate}) EXPECT_EQ(code(0x07, item->encode()), 0);
    bytes::Bytes numbers(28, 0);
    bytes::storeBytes(numbers, 0, 10, bytes::view("7701234567"));
    bytes::storeBytes(numbers, 12, 16, bytes::view("0000000000012345"));
    return send(0x09, numbers);
  }

  std::uint32_t clock() {
    const host::Reply reply = send(3);
    EXPECT_EQ(reply.data.size(), 4u);
    return reply.data.size() == 4 ? bytes::loadU32(reply.data, 0) : 0;
  }

  sim::TestBoard board_;
  std::uint32_t identifier_ = 0;
};

TEST_F(ServiceConfigTest, FreshRegister_TablesAndSettingAsCreated) {
  EXPECT_EQ(nvFile("CASHIERS").size(), CashierTable::kFileSize);
  EXPECT_EQ(nvFile("SECTIONS").size(), SectionTable::kFileSize);
  EXPECT_EQ(nvFile("DISCOUNTS").size(), DiscountTable::kFileSize);
  const host::Reply width = send(193, join({kAdministrator, bytes::Bytes{1}}));
  EXPECT_EQ(width.code, 0);
  EXPECT_EQ(width.data, bytes::Bytes{0x3C});
  const host::Reply section = send(1, join({kAdministrator, bytes::Bytes{2, 20}}));
  EXPECT_EQ(section.data, wire(Section{20, ""}));
  const host::Reply discount = send(1, join({kAdministrator, bytes::Bytes{3, 1}}));
  EXPECT_EQ(discount.data, wire(Discount{1, Discount::kNotSet, 0, ""}));
}

// A shop's set-up: a cashier with rights over the tables programs a section and a discount.
TEST_F(ServiceConfigTest, ProgrammingTheTables_EachWriteLandsInItsSlot) {
  const bytes::Bytes manager = wire(Cashier{2, CashierRights::kCashierTable | CashierRights::kGoodsTables, 2222,
                                            std::string("Петрова"_cp866)});
  const host::Reply written = send(2, join({kAdministrator, bytes::Bytes{1}, manager}));
  EXPECT_EQ(written.code, 0);
  EXPECT_EQ(written.data, manager);
  EXPECT_EQ(slotOf("CASHIERS", Cashier::kSlotSize, 2), manager);

  const bytes::Bytes asManager{2, 0xAE, 0x08, 0, 0};  // cashier 2, password 2222
  const bytes::Bytes bakery = wire(Section{3, std::string("ХЛЕБ"_cp866)});
  EXPECT_EQ(code(2, join({asManager, bytes::Bytes{2}, bakery})), 0);
  EXPECT_EQ(slotOf("SECTIONS", Section::kSlotSize, 3), bakery);
  const bytes::Bytes fiveRoubles = wire(Discount{2, Discount::kAmount, 500, ""});
  EXPECT_EQ(code(2, join({asManager, bytes::Bytes{3}, fiveRoubles})), 0);
  EXPECT_EQ(slotOf("DISCOUNTS", Discount::kSlotSize, 2), fiveRoubles);

  const host::Reply administrator = send(1, join({asManager, bytes::Bytes{1, 20}}));
  ASSERT_EQ(administrator.code, 0);
  EXPECT_EQ(bytes::loadU32(administrator.data, 3), 0u) << "the administrator's password stays hidden";
  EXPECT_EQ(code(2, join({asManager, bytes::Bytes{1}, wire(Cashier{20, 0, 0, ""})})), 16);

  board_.restart();
  ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  EXPECT_EQ(send(1, join({kAdministrator, bytes::Bytes{2, 3}})).data, bakery) << "loaded again at start-up";
  EXPECT_EQ(send(1, join({kAdministrator, bytes::Bytes{3, 2}})).data, fiveRoubles);
  EXPECT_EQ(send(1, join({kAdministrator, bytes::Bytes{1, 2}})).data, manager);
}

TEST_F(ServiceConfigTest, Operator_CheckedBeforeRightsAndAdministratorRules) {
  ASSERT_EQ(code(2, join({kAdministrator, bytes::Bytes{1}, wire(Cashier{5, CashierRights::kReceipts, 55, "C"})})), 0);
  EXPECT_EQ(code(1, join({bytes::Bytes{20, 31, 0, 0, 0}, bytes::Bytes{1, 1}})), 18);
  EXPECT_EQ(code(1, join({bytes::Bytes{5, 31, 0, 0, 0}, bytes::Bytes{1, 1}})), 18);
  EXPECT_EQ(code(1, join({bytes::Bytes{5, 55, 0, 0, 0}, bytes::Bytes{1, 1}})), 16);
  EXPECT_EQ(code(1, join({kAdministrator, bytes::Bytes{4, 1}})), 20);
  EXPECT_EQ(code(1, join({kAdministrator, bytes::Bytes{1}})), 19);

  const host::Reply blank = send(2, join({kAdministrator, bytes::Bytes{1}, wire(Cashier{20, 1, 0, ""})}));
  EXPECT_EQ(blank.code, 0);
  EXPECT_EQ(slotOf("CASHIERS", Cashier::kSlotSize, 20),
            wire(Cashier{20, CashierRights::kAdministrator, 30, std::string(Cashier::kDefaultAdministratorName)}));
  EXPECT_EQ(code(3), 0) << "no operator needed to read the clock";
}

TEST_F(ServiceConfigTest, Clock_SetMovesDocumentTimesAndSurvivesARestart) {
  constexpr std::uint32_t kTarget = 1900000000;  // 2030
  EXPECT_EQ(code(4, join({kAdministrator, bytes::Bytes{0, 0, 0}})), 22);
  EXPECT_EQ(code(4, join({kAdministrator, seconds(0x80000000u)})), 22) << "past 2038";
  const host::Reply set = send(4, join({kAdministrator, seconds(kTarget)}));
  ASSERT_EQ(set.code, 0);
  EXPECT_EQ(set.data, seconds(kTarget));
  EXPECT_NEAR(clock(), kTarget, 3.0);
  const std::int64_t offset = platform::clockOffset(board_.root());
  EXPECT_NEAR(static_cast<double>(offset), kTarget - static_cast<double>(std::time(nullptr)), 3.0);

  board_.restart();
  ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  EXPECT_NEAR(clock(), kTarget, 10.0) << "a service started later keeps the offset";

  ASSERT_EQ(code(0x3F, join({kAdministrator, bytes::view("0000012345")})), 0);
  const host::Reply registration = registerRegister();
  ASSERT_EQ(registration.code, 0) << board_.log();
  const auto reply = host::parseCloseReply(1, registration.data);
  ASSERT_TRUE(reply.has_value());
  EXPECT_NEAR(reply->dateTime, kTarget, 15.0) << "the document carries the register's time";
  EXPECT_EQ(code(4, join({kAdministrator, seconds(reply->dateTime)})), 23) << "the time of the last document";
}

TEST_F(ServiceConfigTest, PaperWidth_ChangesTheNextPrintedTextAndIsKept) {
  bytes::Bytes text{0x00, 0x02, 0x01, 0x00};  // right-aligned, small font
  bytes::appendBytes(text, bytes::view("TOTAL\t12.00"));
  ASSERT_EQ(code(0xC3, text), 0);
  const host::Reply set = send(194, join({kAdministrator, bytes::Bytes{1, 80}}));
  EXPECT_EQ(set.code, 0);
  EXPECT_TRUE(set.data.empty());
  EXPECT_EQ(nvFile("PRINTER_SETTINGS"), bytes::Bytes{80});
  ASSERT_EQ(code(0xC3, text), 0);
  const auto texts = sim::readPaper(board_.root()).texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "TOTAL" + std::string(44 - 10, ' ') + "12.00") << "60 mm: 44 characters";
  EXPECT_EQ(texts.back(), "TOTAL" + std::string(64 - 10, ' ') + "12.00") << "80 mm: 64 characters";

  board_.restart();
  ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  EXPECT_EQ(send(193, join({kAdministrator, bytes::Bytes{1}})).data, bytes::Bytes{80});
}

// A sample of lengths (every length is run in the worker's own test): random bytes after no
// prefix or the administrator's answer a code of the command, and a command that does not
// succeed leaves every file of the reference store as it was.
TEST_F(ServiceConfigTest, BadInput_AnswersKnownCodesAndChangesNoFileOnFailure) {
  const std::map<std::uint8_t, std::set<int>> codes{
      {1, {0, 16, 17, 18, 19, 20}},     {2, {0, 16, 18, 19, 20, 21, 22}}, {3, {0}},
      {4, {0, 16, 18, 19, 21, 22, 23}}, {193, {0, 18, 19, 20, 22}},      {194, {0, 16, 18, 19, 20, 21, 22}},
  };
  const char* files[] = {"CASHIERS", "SECTIONS", "DISCOUNTS", "PRINTER_SETTINGS"};
  std::mt19937 random(8122026);
  for (const auto& [command, allowed] : codes) {
    for (std::size_t length = 0; length <= 300; length += 37) {
      for (const bytes::Bytes& start : {bytes::Bytes{}, kAdministrator}) {
        bytes::Bytes payload = start;
        while (payload.size() < length) payload.push_back(static_cast<std::uint8_t>(random()));
        payload.resize(length);
        std::map<std::string, bytes::Bytes> before;
        for (const char* name : files) before[name] = nvFile(name);
        const host::Reply reply = send(command, payload);
        EXPECT_TRUE(allowed.count(reply.code)) << "command " << int(command) << ", " << length << " bytes: "
                                               << int(reply.code);
        if (reply.code == 0) continue;
        for (const char* name : files) EXPECT_EQ(nvFile(name), before[name]) << name;
      }
    }
  }
  EXPECT_EQ(code(0x33), 0) << "the service still serves";
}

}  // namespace
