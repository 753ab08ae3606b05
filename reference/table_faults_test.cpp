// Every table's write under every fault of the card: afterwards the file holds the table as it
// was, or as saved where the fault struck once the new file was durable, never a part of each;
// and the table answers what the file holds.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/fault_injecting_board.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"

namespace {

using platform::FaultInjectingBoard;
using Operation = FaultInjectingBoard::Operation;

struct Fault {
  const char* name;
  std::function<void(FaultInjectingBoard&)> arm;
  bool savedWhenDurable;  // the new file was durable before the service stopped
};

const Fault kFaults[] = {
    {"the read fails", [](FaultInjectingBoard& b) { b.failAt(Operation::Read, 0, false); }, false},
    {"the write fails", [](FaultInjectingBoard& b) { b.failAt(Operation::Write, 0, false); }, false},
    {"the write is cut short", [](FaultInjectingBoard& b) { b.shortWriteAt(0); }, false},
    {"the sync fails", [](FaultInjectingBoard& b) { b.failAt(Operation::Sync, 0, false); }, false},
    {"the service dies at the write", [](FaultInjectingBoard& b) { b.dieAt(Operation::Write, 0, true); }, false},
    {"the service dies in the sync", [](FaultInjectingBoard& b) { b.dieAt(Operation::Sync, 0, false); }, false},
    {"the service dies after the sync", [](FaultInjectingBoard& b) { b.dieAt(Operation::Sync, 0, true); }, true},
};

// One table: how it comes up on its file, and a save that changes slot 3.
struct Table {
  const char* name;
  std::function<bool(platform::Board&, const std::string&)> load;
  std::function<bool(platform::Board&, const std::string&)> save;
};

const Table kTables[] = {
    {"cashiers", [](platform::Board& b, const std::string& p) { return CashierTable(b, p).ensureCashierFile(); },
     [](platform::Board& b, const std::string& p) { return CashierTable(b, p).saveCashier({3, 1, 33, "Three"}); }},
    {"sections", [](platform::Board& b, const std::string& p) { return SectionTable(b, p).loadSections(); },
     [](platform::Board& b, const std::string& p) {
       SectionTable table(b, p);
       return table.loadSections() && table.saveSection({3, "Three"});
     }},
    {"discounts", [](platform::Board& b, const std::string& p) { return DiscountTable(b, p).loadDiscounts(); },
     [](platform::Board& b, const std::string& p) {
       DiscountTable table(b, p);
       return table.loadDiscounts() && table.saveDiscount({3, Discount::kAmount, 500, "Three"});
     }},
};

TEST(TableFaults, EverySaveUnderEveryFault_LeavesTheOldTableOrTheNewWhole) {
  const std::string path = "/nonexistent/TABLE";
  for (const Table& table : kTables) {
    // The file as a save with no fault leaves it.
    auto disk = platform::makeSimulatedBoard("/nonexistent");
    FaultInjectingBoard clean(*disk);
    ASSERT_TRUE(table.load(clean, path) && table.save(clean, path)) << table.name;
    const bytes::Bytes saved = clean.contents(path);

    for (const Fault& fault : kFaults) {
      for (const auto cut : {FaultInjectingBoard::PowerCut::DropUnsynced, FaultInjectingBoard::PowerCut::TearLastWrite}) {
        SCOPED_TRACE(std::string(table.name) + ": " + fault.name);
        FaultInjectingBoard board(*disk);
        ASSERT_TRUE(table.load(board, path));
        const bytes::Bytes old = board.contents(path);
        ASSERT_NE(old, saved);
        fault.arm(board);
        EXPECT_FALSE(table.save(board, path));
        board.powerCut(cut);
        EXPECT_EQ(board.contents(path), fault.savedWhenDurable ? saved : old);
        // The table comes up on what the file holds, and saves on it again.
        EXPECT_TRUE(table.load(board, path));
        EXPECT_TRUE(table.save(board, path));
        EXPECT_EQ(board.contents(path), saved);
      }
    }
  }
}

// A failed save drops the cashier from the cache, so that the log-in check answers what the
// file holds, whichever record that is.
TEST(TableFaults, CashierSaveFailing_LogInAnswersTheFile) {
  auto disk = platform::makeSimulatedBoard("/nonexistent");
  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    FaultInjectingBoard board(*disk);
    CashierTable table(board, "/nonexistent/CASHIERS");
    Cashier out;
    ASSERT_TRUE(table.ensureCashierFile() && table.checkCashier(20, 30, out));
    fault.arm(board);
    EXPECT_FALSE(table.saveCashier({20, CashierRights::kAdministrator, 77, "New"}));
    board.clearFaults();
    EXPECT_EQ(table.checkCashier(20, 30, out), !fault.savedWhenDurable);
    EXPECT_EQ(table.checkCashier(20, 77, out), fault.savedWhenDurable);
  }
}

}  // namespace
