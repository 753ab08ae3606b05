#include "storage/receipt_archive.h"

#include <algorithm>
#include <vector>

#include "core/state/result_code.h"
#include "documents/reg_data.h"
#include "storage/archive_layout.h"
#include "storage/counter_blocks.h"
#include "reference/tax_rate.h"
#include "values/tags.h"

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

std::size_t storedFormLength(bytes::View data) {
  std::size_t at = 1;  // past the type byte
  // Each step needs a whole tag and length; an item running past the data ends the form.
  while (data.size() >= at + 4) {
    const std::uint16_t itemTag = bytes::loadU16(data, at);
    const bool piece = itemTag == tag::kReceiptItem || itemTag == tag::kSection ||
                       (itemTag >= tag::kFirstTaxRate && itemTag < tag::kFirstTaxRate + RegData::kTaxRateSlots);
    if (piece) return at;
    at += 4 + std::size_t{bytes::loadU16(data, at + 2)};
  }
  return std::min(at, data.size());
}

bool headerSound(const DocDescriptor& descriptor, bytes::View data) {
  if (descriptor.type() != DocumentType::kReceipt) {
    return descriptor.headerCheckValue() == descriptor.computeHeaderCheckValue();
  }
  DocDescriptor asClosed = descriptor;
  asClosed.setDataLength(static_cast<std::uint16_t>(storedFormLength(data)));
  return descriptor.headerCheckValue() == asClosed.computeHeaderCheckValue();
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
