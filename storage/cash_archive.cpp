#include "storage/cash_archive.h"

#include <algorithm>

#include "storage/archive_layout.h"
#include "storage/counter_blocks.h"

namespace cash_archive {

namespace {

// Sums wrap as 64-bit two's complement instead of overflowing.
std::int64_t addWrapping(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

template <typename Block>
void count(Block& block, bool deposit, std::int64_t amount) {
  if (deposit) {
    block.deposits = static_cast<std::uint16_t>(block.deposits + 1);
    block.depositSum = addWrapping(block.depositSum, amount);
  } else {
    block.payouts = static_cast<std::uint16_t>(block.payouts + 1);
    block.payoutSum = addWrapping(block.payoutSum, amount);
  }
}

}  // namespace

bool addToCounters(const CashCtrlDocument& cash, const receipt_archive::ReadArea& read,
                   const receipt_archive::ChangeArea& change) {
  using namespace archive_layout;
  std::int64_t amount = cash.amount().rescaled(100).mantissa();
  for (std::uint64_t offset : {kShiftCountersOffset, kPeriodCountersOffset}) {
    bytes::Bytes record(CounterSet::kSize);
    if (!read(offset, record)) return false;
    CounterSet counters = CounterSet::load(record);
    counters.numberKinds();
    if (!cash.isDeposit()) amount = std::min(amount, counters.drawerCash);
    count(counters, cash.isDeposit(), amount);
    counters.drawerCash = addWrapping(counters.drawerCash, cash.isDeposit() ? amount : -amount);
    if (!change(offset, encodeBlock(counters))) return false;
  }
  bytes::Bytes record(TotalCounters::kSize);
  if (!read(kTotalsOffset, record)) return false;
  TotalCounters totals = TotalCounters::load(record);
  totals.numberKinds();
  count(totals, cash.isDeposit(), amount);
  return change(kTotalsOffset, encodeBlock(totals));
}

}  // namespace cash_archive
