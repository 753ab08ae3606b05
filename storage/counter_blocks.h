// The running counters kept in the archive file, their byte layouts and their tagged form.
//
// All blocks are little-endian, unaligned, with fixed offsets. Sums are signed 64-bit counts of
// hundredths (kopecks). Receipt kinds: 0 sale, 1 purchase, 2 sale return, 3 purchase return;
// the four per-kind sub-blocks of a block lie in that order.
//
// Each block's layout is its kFields table below, in offset order, with the tag of each field
// in the tagged form. CounterSet holds the shift counters, and the period counters since the
// fiscalization; TotalCounters the archive totals, never reset, with CounterSet's fields up to
// the drawer cash and no drawer cash; SectionSums one receipt kind's sums by section.
//
// Tagged form: a container of the items named above, in layout order. u16 and u32 values
// have their width, the sums are variable integers. A per-kind container holds its 11118
// always and, when that count is not 0, 11201 and then 11136, 11138 and the tax sums, each
// only when not zero.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "values/bytes.h"
#include "values/tlv.h"

inline constexpr std::size_t kReceiptKinds = 4;

struct OperationCounters {
  static constexpr std::size_t kSize = 93;
  static constexpr std::size_t kTaxSums = 5;

  // The layout; OperationTotals is its fields up to the tax sums.
  static constexpr bytes::Field kKindField{"kind byte", 0, 1};       // the receipt kind
  static constexpr bytes::Field kReceiptsField{"receipts", 1, 4};      // 11118
  static constexpr bytes::Field kTotalField{"total", 5, 8};            // 11201
  static constexpr bytes::Field kCashField{"cash", 13, 8};             // 11136, paid in cash
  static constexpr bytes::Field kElectronicField{"electronic", 21, 8}; // 11138, paid electronically
  static constexpr bytes::Field kUnusedField{"unused bytes", 29, 24};  // three 64-bit values nothing writes
  static constexpr bytes::Field kTaxSumsField{"tax sum", 53, 8, kTaxSums};  // 13110 + i: tax index i + 1
  static constexpr std::array kFields = {kKindField,       kReceiptsField, kTotalField, kCashField,
                                         kElectronicField, kUnusedField,   kTaxSumsField};

  std::uint8_t kind = 0;
  std::uint32_t receipts = 0;
  std::int64_t total = 0;
  std::int64_t cash = 0;
  std::int64_t electronic = 0;
  std::array<std::uint8_t, kUnusedField.width> unused{};  // carried as read
  std::array<std::int64_t, kTaxSums> taxSums{};  // entry i: tax index i + 1

  // The block at `offset` of `record`; a record too short for it is a programming error
  // (std::out_of_range), as for store().
  static OperationCounters load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const OperationCounters&, const OperationCounters&) = default;
};

struct OperationTotals {
  static constexpr std::size_t kSize = 53;

  static constexpr std::array kFields = {OperationCounters::kKindField,     OperationCounters::kReceiptsField,
                                         OperationCounters::kTotalField,    OperationCounters::kCashField,
                                         OperationCounters::kElectronicField, OperationCounters::kUnusedField};

  std::uint8_t kind = 0;
  std::uint32_t receipts = 0;
  std::int64_t total = 0;
  std::int64_t cash = 0;
  std::int64_t electronic = 0;
  std::array<std::uint8_t, OperationCounters::kUnusedField.width> unused{};  // carried as read

  static OperationTotals load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const OperationTotals&, const OperationTotals&) = default;
};

struct CounterSet {
  static constexpr std::size_t kSize = 406;

  // The layout; TotalCounters shares its fields up to the drawer cash.
  static constexpr bytes::Field kShiftNumberField{"shift number", 0, 2};  // 11038
  static constexpr bytes::Field kDepositsField{"deposits", 2, 2};         // 12001
  static constexpr bytes::Field kPayoutsField{"payouts", 4, 2};           // 12003
  static constexpr bytes::Field kDepositSumField{"deposit sum", 6, 8};    // 12002
  static constexpr bytes::Field kPayoutSumField{"payout sum", 14, 8};     // 12004
  static constexpr bytes::Field kReceiptsField{"receipts", 22, 4};        // 11118
  static constexpr bytes::Field kDrawerCashField{"drawer cash", 26, 8};   // 11136, what should be in the drawer
  // 11129, 11131, 11130, 11132: the kinds in order.
  static constexpr bytes::Field kByKindField{"by kind", 34, OperationCounters::kSize, kReceiptKinds};
  static constexpr std::array kFields = {kShiftNumberField, kDepositsField,  kPayoutsField,    kDepositSumField,
                                         kPayoutSumField,   kReceiptsField,  kDrawerCashField, kByKindField};

  std::uint16_t shiftNumber = 0;  // shifts opened, in the period counters
  std::uint16_t deposits = 0;
  std::uint16_t payouts = 0;
  std::int64_t depositSum = 0;
  std::int64_t payoutSum = 0;
  std::uint32_t receipts = 0;
  std::int64_t drawerCash = 0;
  std::array<OperationCounters, kReceiptKinds> byKind{};

  static CounterSet load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;
  // Sets each sub-block's kind byte to its position, as the archive keeps them.
  void numberKinds();

  friend bool operator==(const CounterSet&, const CounterSet&) = default;
};

struct TotalCounters {
  static constexpr std::size_t kSize = 238;

  static constexpr bytes::Field kByKindField{"by kind", 26, OperationTotals::kSize, kReceiptKinds};
  static constexpr std::array kFields = {CounterSet::kShiftNumberField, CounterSet::kDepositsField,
                                         CounterSet::kPayoutsField,     CounterSet::kDepositSumField,
                                         CounterSet::kPayoutSumField,   CounterSet::kReceiptsField,
                                         kByKindField};

  std::uint16_t shiftNumber = 0;  // the current shift
  std::uint16_t deposits = 0;
  std::uint16_t payouts = 0;
  std::int64_t depositSum = 0;
  std::int64_t payoutSum = 0;
  std::uint32_t receipts = 0;
  std::array<OperationTotals, kReceiptKinds> byKind{};

  static TotalCounters load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;
  void numberKinds();

  friend bool operator==(const TotalCounters&, const TotalCounters&) = default;
};

struct SectionSums {
  static constexpr std::size_t kSections = 20;
  static constexpr std::size_t kSize = 160;

  static constexpr bytes::Field kSectionsField{"section", 0, 8, kSections};  // element k - 1: section k
  static constexpr std::array kFields = {kSectionsField};

  std::array<std::int64_t, kSections> bySection{};  // entry k - 1: section k

  static SectionSums load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const SectionSums&, const SectionSums&) = default;
};

static_assert(bytes::tiles(OperationCounters::kFields, OperationCounters::kSize));
static_assert(bytes::tiles(OperationTotals::kFields, OperationTotals::kSize));
static_assert(bytes::tiles(CounterSet::kFields, CounterSet::kSize));
static_assert(bytes::tiles(TotalCounters::kFields, TotalCounters::kSize));
static_assert(bytes::tiles(SectionSums::kFields, SectionSums::kSize));

// The stored bytes of a whole block.
template <typename Block>
bytes::Bytes encodeBlock(const Block& block) {
  bytes::Bytes record(Block::kSize);
  block.store(record);
  return record;
}

// The tagged form: container 11194 for shift counters (`shiftCounters` set), else 11158.
TlvItem countersToTlv(const CounterSet& block, bool shiftCounters);
// The tagged form, container 11157.
TlvItem totalsToTlv(const TotalCounters& block);

// Read a tagged form into `block`, which the caller has cleared; the container's own tag is not
// looked at. Each item goes to its field by tag; a u16 or u32 of the wrong width reads 0, and
// a per-kind container also sets its sub-block's kind byte. An unknown tag is logged as
// "tlvToCounters N UNKNOWN TAG T" and skipped, N telling the level: 81 CounterSet,
// 291 OperationCounters, 105 TotalCounters, 351 OperationTotals. False when the value, or a
// per-kind container's, is not a run of whole items; the items before the damage are taken.
bool tlvToCounters(const TlvItem& item, CounterSet& block);
bool tlvToCounters(const TlvItem& item, TotalCounters& block);
