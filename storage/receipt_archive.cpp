#include "storage/receipt_archive.h"

#include <vector>

#include "core/result_code.h"
#include "storage/archive_layout.h"
#include "storage/counter_blocks.h"

namespace receipt_archive {

int writeData(ReceiptDoc& receipt, bytes::View storedForm, std::uint64_t offset, DocDescriptor& descriptor,
              const WriteData& write) {
  std::vector<bytes::Bytes> pieces{receipt.storedTaxRates(), receipt.storedSections()};
  for (bytes::Bytes line = receipt.firstStoredOperation(); !line.empty(); line = receipt.nextStoredOperation()) {
    pieces.push_back(std::move(line));
  }
  std::size_t total = storedForm.size();
  for (const bytes::Bytes& piece : pieces) total += piece.size();
  if (total > receipt.maxStoredSize()) return result::kTooLong;

  if (!write(offset, storedForm)) return result::kArchiveNotReady;
  std::uint64_t at = offset + storedForm.size();
  for (const bytes::Bytes& piece : pieces) {
    if (!piece.empty() && !write(at, piece)) return result::kArchiveNotReady;
    at += piece.size();
  }
  descriptor.setDataLength(static_cast<std::uint16_t>(total));
  return result::kSuccess;
}

namespace {

template <typename Block, typename Add>
bool update(std::uint64_t offset, const ReadArea& read, const ChangeArea& change, Add add) {
  bytes::Bytes record(Block::kSize);
  if (!read(offset, record)) return false;
  Block block = Block::load(record);
  if (!add(block)) return false;
  return change(offset, encodeBlock(block));
}

}  // namespace

bool addToCounters(const ReceiptDoc& receipt, const ReadArea& read, const ChangeArea& change) {
  using namespace archive_layout;
  const auto counters = [&receipt](CounterSet& block) {
    block.numberKinds();
    return receipt.addToCounters(&block);
  };
  const auto totals = [&receipt](TotalCounters& block) {
    block.numberKinds();
    return receipt.addToSummary(&block);
  };
  if (!update<CounterSet>(kShiftCountersOffset, read, change, counters) ||
      !update<CounterSet>(kPeriodCountersOffset, read, change, counters) ||
      !update<TotalCounters>(kTotalsOffset, read, change, totals)) {
    return false;
  }
  // Only kinds 0 to 3 have a block; behind the fourth the area must stay zero.
  if (receipt.kind() >= kReceiptKinds) return true;
  return update<SectionSums>(kSectionSumsOffset + SectionSums::kSize * receipt.kind(), read, change,
                             [&receipt](SectionSums& block) { return receipt.addToSectionSums(&block); });
}

}  // namespace receipt_archive
