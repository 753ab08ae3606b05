#include "reference/cashier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "reference/table_testing.h"

namespace {

namespace fs = std::filesystem;

Cashier makeCashier(std::uint8_t number, std::int32_t password, std::string name) {
  return Cashier{number, CashierRights::kReceipts, password, std::move(name)};
}

TEST(Cashier, Encode_PutsFieldsAtTheirOffsets) {
  const Cashier::Slot slot = Cashier{7, 0x0102, -2, "AB"}.encode();
  const std::uint8_t head[] = {7, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 'A', 'B'};
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), slot.begin()));
  EXPECT_TRUE(std::all_of(slot.begin() + 9, slot.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(Cashier::decode(slot), (Cashier{7, 0x0102, -2, "AB"}));
}

TEST(Cashier, Name_LongerThanItsField_IsCutTo255Bytes) {
  const std::string name255(255, 'N');
  EXPECT_EQ(Cashier::decode(makeCashier(1, 1, name255).encode()).name, name255);
  const Cashier::Slot slot = makeCashier(1, 1, std::string(300, 'N')).encode();
  EXPECT_EQ(slot.back(), 0);
  EXPECT_EQ(Cashier::decode(slot).name, name255);
}

TEST(Cashier, Decode_NameWithoutZero_EndsBeforeTheLastByte) {
  Cashier::Slot slot;
  slot.fill('Z');
  EXPECT_EQ(Cashier::decode(slot).name, std::string(255, 'Z'));
  slot[10] = 0;
  EXPECT_EQ(Cashier::decode(slot).name, "ZZZ");
}

TEST(Cashier, DecodeChecked_NeedsOneSlotWithNumber1To20) {
  Cashier out;
  for (std::size_t size : {0u, 262u, 264u}) {
    EXPECT_FALSE(Cashier::decodeChecked(bytes::Bytes(size, 1), out)) << size;
  }
  Cashier::Slot slot = makeCashier(0, 1, "X").encode();
  EXPECT_FALSE(Cashier::decodeChecked(slot, out));
  slot[0] = 21;
  EXPECT_FALSE(Cashier::decodeChecked(slot, out));
  slot[0] = 20;
  ASSERT_TRUE(Cashier::decodeChecked(slot, out));
  EXPECT_EQ(out, makeCashier(20, 1, "X"));
}

TEST(Cashier, PasswordMatches_ComparesThe32Bits) {
  EXPECT_TRUE(makeCashier(1, -1, "X").passwordMatches(0xFFFFFFFFu));
  EXPECT_FALSE(makeCashier(1, -1, "X").passwordMatches(0x7FFFFFFFu));
}

class CashierTableTest : public TableFileTest {
 protected:
  // A fresh table on a file of exactly `content`.
  CashierTable tableWith(bytes::View content) const {
    writeFile(content);
    return CashierTable(*board_, path_.string());
  }
  bytes::Bytes defaultFile() const {
    EXPECT_TRUE(CashierTable(*board_, (root_ / "DEFAULT").string()).ensureCashierFile());
    return fileBytes(root_ / "DEFAULT");
  }
};

TEST_F(CashierTableTest, Ensure_NoFile_CreatesTheDefaultTable) {
  CashierTable table(*board_, path_.string());
  ASSERT_TRUE(table.ensureCashierFile());
  const bytes::Bytes file = fileBytes();
  ASSERT_EQ(file.size(), 5260u);
  for (unsigned n = 1; n <= 19; ++n) {
    const auto slot = bytes::slice(file, (n - 1) * 263, 263);
    EXPECT_EQ(slot[0], n);
    EXPECT_TRUE(std::all_of(slot.begin() + 1, slot.end(), [](std::uint8_t b) { return b == 0; })) << n;
  }
  const std::uint8_t administrator[] = {20, 0xFF, 0x03, 30, 0, 0, 0, 0x96, 0x92, 0x8E, 0};
  EXPECT_TRUE(std::equal(std::begin(administrator), std::end(administrator), file.begin() + 4997));

  Cashier out;
  ASSERT_TRUE(table.checkCashier(20, 30, out));
  EXPECT_EQ(out, (Cashier{20, 0x03FF, 30, std::string("ЦТО"_cp866)}));
  EXPECT_FALSE(table.checkCashier(1, 0, out));
  EXPECT_FALSE(table.checkCashier(1, 30, out));
}

TEST_F(CashierTableTest, Ensure_WholeFile_IsLeftAsItIs) {
  const bytes::Bytes custom(5300, 0xA5);
  writeFile(custom);
  CashierTable table(*board_, path_.string());
  EXPECT_TRUE(table.ensureCashierFile());
  EXPECT_EQ(fileBytes(), custom);
}

// A power cut while the file was created leaves it short; the slots it holds whole are kept.
TEST_F(CashierTableTest, Ensure_ShortFile_CompletesTheSlotsItLacks) {
  const bytes::Bytes defaults = defaultFile();
  const Cashier kept = makeCashier(1, 77, "Kept");
  for (std::size_t length : {0u, 263u + 100u, 5259u}) {
    bytes::Bytes content(length, 0xEE);
    if (length >= 263) bytes::storeBytes(content, 0, 263, kept.encode());
    writeFile(content);
    CashierTable table(*board_, path_.string());
    ASSERT_TRUE(table.ensureCashierFile()) << length;

    bytes::Bytes expected = defaults;
    const std::size_t whole = length / 263 * 263;
    std::copy(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(whole), expected.begin());
    EXPECT_EQ(fileBytes(), expected) << length;
    Cashier out;
    EXPECT_TRUE(table.checkCashier(20, 30, out)) << length;
  }
  Cashier out;
  EXPECT_TRUE(CashierTable(*board_, path_.string()).checkCashier(1, 77, out));
}

TEST_F(CashierTableTest, Ensure_PathUnusable_Fails) {
  EXPECT_FALSE(CashierTable(*board_, (root_ / "missing" / "CASHIERS").string()).ensureCashierFile());
  EXPECT_FALSE(CashierTable(*board_, root_.string()).ensureCashierFile());  // a directory
}

TEST_F(CashierTableTest, Check_WrongPasswordThenRight_SecondSucceedsFromTheCache) {
  CashierTable table(*board_, path_.string());
  ASSERT_TRUE(table.ensureCashierFile());
  Cashier out;
  EXPECT_FALSE(table.checkCashier(20, 31, out));
  EXPECT_EQ(out.rights, 0x03FF);  // the stored record, for the permission test of a read
  fs::remove(path_);
  EXPECT_FALSE(table.readCashier(20, out));  // reads go to the file
  EXPECT_TRUE(table.checkCashier(20, 30, out));
  EXPECT_EQ(out.name, "ЦТО"_cp866);
}

TEST_F(CashierTableTest, Check_NumberOutsideRangeOrNoFile_FailsWithAnEmptyRecord) {
  CashierTable table(*board_, path_.string());
  Cashier out = makeCashier(5, 5, "Left over");
  EXPECT_FALSE(table.checkCashier(20, 30, out));
  EXPECT_EQ(out, Cashier{});
  ASSERT_TRUE(table.ensureCashierFile());
  for (unsigned n : {0u, 21u, 276u}) {  // 276 would be 20 if cut to 8 bits
    out = makeCashier(5, 5, "Left over");
    EXPECT_FALSE(table.checkCashier(n, 30, out)) << n;
    EXPECT_EQ(out, Cashier{});
    EXPECT_FALSE(table.readCashier(n, out)) << n;
  }
}

TEST_F(CashierTableTest, ReadAndCheck_ShortFile_FailForSlotsPastItsEnd) {
  bytes::Bytes content(263 * 2 + 100, 0);
  bytes::storeBytes(content, 263, 263, makeCashier(2, 9, "Two").encode());
  CashierTable table = tableWith(content);
  Cashier out;
  EXPECT_TRUE(table.checkCashier(2, 9, out));
  EXPECT_TRUE(table.readCashier(2, out));
  EXPECT_FALSE(table.readCashier(3, out));
  EXPECT_FALSE(table.checkCashier(3, 0, out));
  EXPECT_FALSE(table.checkCashier(20, 30, out));
}

// A damaged slot whose first byte names another cashier must not let that cashier log in with
// this slot's password, nor hide that cashier's own record.
TEST_F(CashierTableTest, Check_SlotHoldingAnotherNumber_FailsAndIsNotCached) {
  bytes::Bytes content = defaultFile();
  bytes::storeBytes(content, 2 * 263, 263, makeCashier(5, 7, "Stray").encode());
  bytes::storeBytes(content, 4 * 263, 263, makeCashier(5, 9, "Five").encode());
  CashierTable table = tableWith(content);
  Cashier out;
  EXPECT_FALSE(table.checkCashier(3, 7, out));
  EXPECT_EQ(out, Cashier{});
  EXPECT_FALSE(table.checkCashier(5, 7, out));
  EXPECT_TRUE(table.checkCashier(5, 9, out));
  EXPECT_EQ(out.name, "Five");
  ASSERT_TRUE(table.readCashier(3, out));  // read as stored, under the number asked for
  EXPECT_EQ(out, makeCashier(3, 7, "Stray"));
}

TEST_F(CashierTableTest, Save_ThenCheckAndRead_GiveTheRecordAsStored) {
  CashierTable table(*board_, path_.string());
  ASSERT_TRUE(table.ensureCashierFile());
  Cashier out;
  ASSERT_TRUE(table.checkCashier(20, 30, out));
  ASSERT_TRUE(table.saveCashier(makeCashier(20, -5, std::string(300, 'A'))));
  EXPECT_FALSE(table.checkCashier(20, 30, out));
  ASSERT_TRUE(table.checkCashier(20, 0xFFFFFFFBu, out));
  EXPECT_EQ(out.name, std::string(255, 'A'));
  ASSERT_TRUE(table.readCashier(20, out));
  EXPECT_EQ(out, makeCashier(20, -5, std::string(255, 'A')));
  EXPECT_EQ(fileBytes().size(), 5260u);

  ASSERT_TRUE(table.saveCashier(makeCashier(20, 0, "Withdrawn")));
  EXPECT_FALSE(table.checkCashier(20, 0, out));
}

TEST_F(CashierTableTest, Save_NoFileOrNumberOutsideRange_Fails) {
  CashierTable table(*board_, path_.string());
  EXPECT_FALSE(table.saveCashier(makeCashier(3, 3, "Three")));
  EXPECT_FALSE(fs::exists(path_));
  Cashier out;
  EXPECT_FALSE(table.checkCashier(3, 3, out));  // the failed save cached nothing
  ASSERT_TRUE(table.ensureCashierFile());
  EXPECT_FALSE(table.saveCashier(makeCashier(0, 3, "Zero")));
  EXPECT_FALSE(table.saveCashier(makeCashier(21, 3, "TwentyOne")));
  EXPECT_EQ(fileBytes(), defaultFile());
}

TEST_F(CashierTableTest, Table_UsedFromTwoThreads_KeepsEveryRecordWhole) {
  CashierTable table(*board_, path_.string());
  ASSERT_TRUE(table.ensureCashierFile());
  auto work = [&table](std::uint8_t number) {
    for (std::int32_t round = 1; round <= 100; ++round) {
      Cashier out;
      EXPECT_TRUE(table.saveCashier(makeCashier(number, round, "Busy")));
      EXPECT_TRUE(table.checkCashier(number, static_cast<std::uint32_t>(round), out));
      EXPECT_TRUE(table.checkCashier(20, 30, out));
    }
  };
  std::thread other(work, std::uint8_t{1});
  work(2);
  other.join();
  Cashier out;
  EXPECT_TRUE(CashierTable(*board_, path_.string()).checkCashier(1, 100, out));
  EXPECT_TRUE(CashierTable(*board_, path_.string()).checkCashier(2, 100, out));
}

// Unbound use and a second binding are refused; the binding holds the board's path.
bool processTableBindsOnce(platform::Board& board) {
  auto refused = [](auto operation) {
    try {
      operation();
    } catch (const std::logic_error&) {
      return true;
    }
    return false;
  };
  if (!refused([] { cashierTable(); })) return false;
  bindCashierTable(board);
  return cashierTable().path() == board.nvPath("CASHIERS") && refused([&board] { bindCashierTable(board); });
}

// The binding lasts for the process, so it is tried in a child process.
TEST_F(CashierTableTest, ProcessTable_IsBoundOnceToTheBoardsStore) {
  const auto board = platform::makeSimulatedBoard(root_.string());
  EXPECT_EXIT(std::exit(processTableBindsOnce(*board) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
