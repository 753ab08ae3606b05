// The running counters kept in the archive file, their byte layouts and their tagged form.
//
// All blocks are little-endian, unaligned, with fixed offsets. Sums are signed 64-bit counts of
// hundredths (kopecks). Receipt kinds: 0 sale, 1 purchase, 2 sale return, 3 purchase return;
// the four per-kind sub-blocks of a block lie in that order.
//
// CounterSet (406 bytes; the shift counters and the period counters since the fiscalization):
//     0  u16  shift counters: the shift number; period counters: shifts opened   (11038)
//     2  u16  cash deposits                                                       (12001)
//     4  u16  cash payouts                                                        (12003)
//     6  i64  sum of deposits                                                     (12002)
//    14  i64  sum of payouts                                                      (12004)
//    22  u32  receipts                                                            (11118)
//    26  i64  drawer cash: what should be in the drawer                           (11136)
//    34  4 x 93  OperationCounters of kinds 0..3                  (11129, 11131, 11130, 11132)
// OperationCounters (93 bytes):
//     0  u8   the receipt kind
//     1  u32  receipts of this kind                                               (11118)
//     5  i64  total                                                               (11201)
//    13  i64  paid in cash                                                        (11136)
//    21  i64  paid electronically                                                 (11138)
//    29  24   three 64-bit values nothing writes (zero)
//    53  5 x i64  tax sums of tax indexes 1..5                              (13110..13114)
// TotalCounters (238 bytes; the archive totals, never reset): bytes 0-25 as in CounterSet,
//   then four OperationTotals at 26; there is no drawer cash.
// OperationTotals (53 bytes): bytes 0-52 of OperationCounters, without the tax sums.
// SectionSums (160 bytes): 20 x i64, entry k - 1 the sum taken in section k; one block per
//   receipt kind.
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

  std::uint8_t kind = 0;
  std::uint32_t receipts = 0;
  std::int64_t total = 0;
  std::int64_t cash = 0;
  std::int64_t electronic = 0;
  std::array<std::uint8_t, 24> unused{};   // carried as read
  std::array<std::int64_t, kTaxSums> taxSums{};  // entry i: tax index i + 1

  // The block at `offset` of `record`; a record too short for it is a programming error
  // (std::out_of_range), as for store().
  static OperationCounters load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const OperationCounters&, const OperationCounters&) = default;
};

struct OperationTotals {
  static constexpr std::size_t kSize = 53;

  std::uint8_t kind = 0;
  std::uint32_t receipts = 0;
  std::int64_t total = 0;
  std::int64_t cash = 0;
  std::int64_t electronic = 0;
  std::array<std::uint8_t, 24> unused{};  // carried as read

  static OperationTotals load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const OperationTotals&, const OperationTotals&) = default;
};

struct CounterSet {
  static constexpr std::size_t kSize = 406;

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

  std::array<std::int64_t, kSections> bySection{};  // entry k - 1: section k

  static SectionSums load(bytes::View record, std::size_t offset = 0);
  void store(bytes::MutableView record, std::size_t offset = 0) const;

  friend bool operator==(const SectionSums&, const SectionSums&) = default;
};

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
