#include "storage/counter_blocks.h"

#include <algorithm>
#include <string>

#include "platform/log.h"
#include "values/tags.h"

namespace {

// The per-kind containers, by kind: the tags of purchase and sale return are not in order.
constexpr std::array<std::uint16_t, kReceiptKinds> kKindTags = {tag::kSaleCounters, tag::kPurchaseCounters,
                                                               tag::kSaleReturnCounters, tag::kPurchaseReturnCounters};

// Where an unknown tag was met, as the diagnostic line tells it.
enum class Level { CounterSet = 81, OperationCounters = 291, TotalCounters = 105, OperationTotals = 351 };

// The field [offset, offset + width) of a record to write; outside the record it is a
// programming error (std::out_of_range), as for bytes::slice.
bytes::MutableView mutableSlice(bytes::MutableView record, std::size_t offset, std::size_t width) {
  bytes::slice(record, offset, width);
  return record.subspan(offset, width);
}

// The fields both per-kind blocks have: OperationTotals' layout, the head of OperationCounters'.
template <typename PerKind>
void loadKindFields(PerKind& block, bytes::View record) {
  block.kind = bytes::loadU8(record, OperationCounters::kKindField);
  block.receipts = bytes::loadU32(record, OperationCounters::kReceiptsField);
  block.total = bytes::loadI64(record, OperationCounters::kTotalField);
  block.cash = bytes::loadI64(record, OperationCounters::kCashField);
  block.electronic = bytes::loadI64(record, OperationCounters::kElectronicField);
  const bytes::View unused = bytes::slice(record, OperationCounters::kUnusedField);
  std::copy(unused.begin(), unused.end(), block.unused.begin());
}

template <typename PerKind>
void storeKindFields(const PerKind& block, bytes::MutableView record) {
  bytes::storeU8(record, OperationCounters::kKindField, block.kind);
  bytes::storeU32(record, OperationCounters::kReceiptsField, block.receipts);
  bytes::storeI64(record, OperationCounters::kTotalField, block.total);
  bytes::storeI64(record, OperationCounters::kCashField, block.cash);
  bytes::storeI64(record, OperationCounters::kElectronicField, block.electronic);
  bytes::storeBytes(record, OperationCounters::kUnusedField, block.unused);
}

// The fields both top-level blocks have: CounterSet's up to the drawer cash.
template <typename Block>
void loadHead(Block& block, bytes::View record) {
  block.shiftNumber = bytes::loadU16(record, CounterSet::kShiftNumberField);
  block.deposits = bytes::loadU16(record, CounterSet::kDepositsField);
  block.payouts = bytes::loadU16(record, CounterSet::kPayoutsField);
  block.depositSum = bytes::loadI64(record, CounterSet::kDepositSumField);
  block.payoutSum = bytes::loadI64(record, CounterSet::kPayoutSumField);
  block.receipts = bytes::loadU32(record, CounterSet::kReceiptsField);
}

template <typename Block>
void storeHead(const Block& block, bytes::MutableView record) {
  bytes::storeU16(record, CounterSet::kShiftNumberField, block.shiftNumber);
  bytes::storeU16(record, CounterSet::kDepositsField, block.deposits);
  bytes::storeU16(record, CounterSet::kPayoutsField, block.payouts);
  bytes::storeI64(record, CounterSet::kDepositSumField, block.depositSum);
  bytes::storeI64(record, CounterSet::kPayoutSumField, block.payoutSum);
  bytes::storeU32(record, CounterSet::kReceiptsField, block.receipts);
}

template <typename Block>
void numberKindsOf(Block& block) {
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) block.byKind[kind].kind = static_cast<std::uint8_t>(kind);
}

// --- Tagged form ------------------------------------------------------------------------------

void appendSum(TlvList& items, std::uint16_t tag, std::int64_t sum) {
  items.emplace_back().setVarInt(tag, static_cast<std::uint64_t>(sum));
}

void appendSumIfNotZero(TlvList& items, std::uint16_t tag, std::int64_t sum) {
  if (sum != 0) appendSum(items, tag, sum);
}

std::int64_t sumOf(const TlvItem& item) { return static_cast<std::int64_t>(item.getVarInt()); }

template <typename Block>
TlvList headItems(const Block& block) {
  TlvList items;
  items.emplace_back().setU16(tag::kShiftNumber, block.shiftNumber);
  items.emplace_back().setU16(tag::kDeposits, block.deposits);
  items.emplace_back().setU16(tag::kPayouts, block.payouts);
  appendSum(items, tag::kDepositSum, block.depositSum);
  appendSum(items, tag::kPayoutSum, block.payoutSum);
  items.emplace_back().setU32(tag::kReceipts, block.receipts);
  return items;
}

// The tax sums of a per-kind block that has them.
void appendTaxSums(TlvList& items, const OperationCounters& block) {
  for (std::size_t i = 0; i < OperationCounters::kTaxSums; ++i) {
    appendSumIfNotZero(items, static_cast<std::uint16_t>(tag::kFirstTaxSum + i), block.taxSums[i]);
  }
}

void appendTaxSums(TlvList&, const OperationTotals&) {}

template <typename PerKind>
TlvItem kindContainer(const PerKind& block, std::size_t kind) {
  TlvList items;
  items.emplace_back().setU32(tag::kReceipts, block.receipts);
  if (block.receipts != 0) {
    appendSum(items, tag::kTotal, block.total);
    appendSumIfNotZero(items, tag::kCash, block.cash);
    appendSumIfNotZero(items, tag::kElectronic, block.electronic);
    appendTaxSums(items, block);
  }
  TlvItem container;
  container.setList(kKindTags[kind], items);
  return container;
}

template <typename Block>
void appendKindContainers(TlvList& items, const Block& block) {
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) items.push_back(kindContainer(block.byKind[kind], kind));
}

void logUnknownTag(Level level, std::uint16_t tag) {
  platform::logLine("tlvToCounters " + std::to_string(static_cast<int>(level)) + " UNKNOWN TAG " +
                    std::to_string(tag));
}

// The items of a container; false when its value is not a run of whole items (an empty
// value is a run of none).
bool childrenOf(const TlvItem& container, TlvList& children) {
  bool parsed = false;
  children = parseList(container, &parsed);
  return parsed || container.value().empty();
}

// The fields both per-kind blocks have; false for another tag.
template <typename PerKind>
bool takeKindField(PerKind& block, const TlvItem& child) {
  switch (child.tag()) {
    case tag::kReceipts: block.receipts = child.getU32(); return true;
    case tag::kTotal: block.total = sumOf(child); return true;
    case tag::kCash: block.cash = sumOf(child); return true;
    case tag::kElectronic: block.electronic = sumOf(child); return true;
    default: return false;
  }
}

bool takeExtraKindField(OperationCounters& block, const TlvItem& child) {
  if (child.tag() < tag::kFirstTaxSum || child.tag() >= tag::kFirstTaxSum + OperationCounters::kTaxSums) return false;
  block.taxSums[child.tag() - tag::kFirstTaxSum] = sumOf(child);
  return true;
}

bool takeExtraKindField(OperationTotals&, const TlvItem&) { return false; }

template <typename PerKind>
bool readKindContainer(PerKind& block, std::size_t kind, const TlvItem& container, Level level) {
  block.kind = static_cast<std::uint8_t>(kind);
  TlvList children;
  const bool whole = childrenOf(container, children);
  for (const TlvItem& child : children) {
    if (!takeKindField(block, child) && !takeExtraKindField(block, child)) logUnknownTag(level, child.tag());
  }
  return whole;
}

// The fields both top-level blocks have; false for another tag.
template <typename Block>
bool takeHeadField(Block& block, const TlvItem& child) {
  switch (child.tag()) {
    case tag::kShiftNumber: block.shiftNumber = child.getU16(); return true;
    case tag::kDeposits: block.deposits = child.getU16(); return true;
    case tag::kPayouts: block.payouts = child.getU16(); return true;
    case tag::kDepositSum: block.depositSum = sumOf(child); return true;
    case tag::kPayoutSum: block.payoutSum = sumOf(child); return true;
    case tag::kReceipts: block.receipts = child.getU32(); return true;
    default: return false;
  }
}

bool takeExtraHeadField(CounterSet& block, const TlvItem& child) {
  if (child.tag() != tag::kCash) return false;
  block.drawerCash = sumOf(child);
  return true;
}

bool takeExtraHeadField(TotalCounters&, const TlvItem&) { return false; }

template <typename Block>
bool readBlock(Block& block, const TlvItem& item, Level level, Level kindLevel) {
  TlvList children;
  bool whole = childrenOf(item, children);
  for (const TlvItem& child : children) {
    if (takeHeadField(block, child) || takeExtraHeadField(block, child)) continue;
    const auto kindTag = std::find(kKindTags.begin(), kKindTags.end(), child.tag());
    if (kindTag == kKindTags.end()) {
      logUnknownTag(level, child.tag());
      continue;
    }
    const auto kind = static_cast<std::size_t>(kindTag - kKindTags.begin());
    whole = readKindContainer(block.byKind[kind], kind, child, kindLevel) && whole;
  }
  return whole;
}

}  // namespace

OperationCounters OperationCounters::load(bytes::View record, std::size_t offset) {
  const bytes::View block = bytes::slice(record, offset, kSize);
  OperationCounters counters;
  loadKindFields(counters, block);
  for (std::size_t i = 0; i < kTaxSums; ++i) counters.taxSums[i] = bytes::loadI64(block, kTaxSumsField.element(i));
  return counters;
}

void OperationCounters::store(bytes::MutableView record, std::size_t offset) const {
  const bytes::MutableView block = mutableSlice(record, offset, kSize);
  storeKindFields(*this, block);
  for (std::size_t i = 0; i < kTaxSums; ++i) bytes::storeI64(block, kTaxSumsField.element(i), taxSums[i]);
}

OperationTotals OperationTotals::load(bytes::View record, std::size_t offset) {
  OperationTotals totals;
  loadKindFields(totals, bytes::slice(record, offset, kSize));
  return totals;
}

void OperationTotals::store(bytes::MutableView record, std::size_t offset) const {
  storeKindFields(*this, mutableSlice(record, offset, kSize));
}

CounterSet CounterSet::load(bytes::View record, std::size_t offset) {
  const bytes::View block = bytes::slice(record, offset, kSize);
  CounterSet counters;
  loadHead(counters, block);
  counters.drawerCash = bytes::loadI64(block, kDrawerCashField);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    counters.byKind[kind] = OperationCounters::load(block, kByKindField.element(kind).offset);
  }
  return counters;
}

void CounterSet::store(bytes::MutableView record, std::size_t offset) const {
  const bytes::MutableView block = mutableSlice(record, offset, kSize);
  storeHead(*this, block);
  bytes::storeI64(block, kDrawerCashField, drawerCash);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    byKind[kind].store(block, kByKindField.element(kind).offset);
  }
}

void CounterSet::numberKinds() { numberKindsOf(*this); }

TotalCounters TotalCounters::load(bytes::View record, std::size_t offset) {
  const bytes::View block = bytes::slice(record, offset, kSize);
  TotalCounters totals;
  loadHead(totals, block);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    totals.byKind[kind] = OperationTotals::load(block, kByKindField.element(kind).offset);
  }
  return totals;
}

void TotalCounters::store(bytes::MutableView record, std::size_t offset) const {
  const bytes::MutableView block = mutableSlice(record, offset, kSize);
  storeHead(*this, block);
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    byKind[kind].store(block, kByKindField.element(kind).offset);
  }
}

void TotalCounters::numberKinds() { numberKindsOf(*this); }

SectionSums SectionSums::load(bytes::View record, std::size_t offset) {
  const bytes::View block = bytes::slice(record, offset, kSize);
  SectionSums sums;
  for (std::size_t i = 0; i < kSections; ++i) sums.bySection[i] = bytes::loadI64(block, kSectionsField.element(i));
  return sums;
}

void SectionSums::store(bytes::MutableView record, std::size_t offset) const {
  const bytes::MutableView block = mutableSlice(record, offset, kSize);
  for (std::size_t i = 0; i < kSections; ++i) bytes::storeI64(block, kSectionsField.element(i), bySection[i]);
}

TlvItem countersToTlv(const CounterSet& block, bool shiftCounters) {
  TlvList items = headItems(block);
  appendSum(items, tag::kCash, block.drawerCash);
  appendKindContainers(items, block);
  TlvItem container;
  container.setList(shiftCounters ? tag::kShiftCounters : tag::kPeriodCounters, items);
  return container;
}

TlvItem totalsToTlv(const TotalCounters& block) {
  TlvList items = headItems(block);
  appendKindContainers(items, block);
  TlvItem container;
  container.setList(tag::kTotalCounters, items);
  return container;
}

bool tlvToCounters(const TlvItem& item, CounterSet& block) {
  return readBlock(block, item, Level::CounterSet, Level::OperationCounters);
}

bool tlvToCounters(const TlvItem& item, TotalCounters& block) {
  return readBlock(block, item, Level::TotalCounters, Level::OperationTotals);
}
