// The archive file's layout: fixed offsets, all integers little-endian and unaligned.
//
//          0      4  magic 03 89 23 F4
//          4      4  archive id, u32, written once at creation
//          8  16 000 000  index: the 64-byte descriptor of document n at 8 + 64 (n - 1)
// 16 000 008     64  last shift-open slot     (the index's 64-byte grid runs on over the
// 16 000 072     64  last shift-close slot     four slots: every record offset is
// 16 000 136     64  last fiscalization slot   8 + 64 k, k = 0 .. 250 003)
// 16 000 200     64  last document slot: the newest document of any type
// 16 000 264     48  ModelData of the fiscalization in force
// 16 000 312    968  RegData of the fiscalization in force
// 16 001 280    406  shift counters
// 16 001 686    406  period counters (since the last fiscalization)
// 16 002 092    238  archive totals
// 16 002 330      1  fiscalization count
// 16 002 331    200  fiscalization table: 50 u32 document numbers
// 16 002 531    640  section sums of receipt kinds 0, 1, 2, 3
// 16 777 216      4  magic again
// 16 777 220         document data, appended back to back
//
// Each record's size is its own kSize; the checks below hold the offsets to them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "documents/doc_descriptor.h"
#include "documents/reg_data.h"
#include "storage/counter_blocks.h"
#include "storage/model_data.h"

namespace archive_layout {

inline constexpr std::uint32_t kMagic = 0xF4238903;
inline constexpr std::uint64_t kMagicOffset = 0;
inline constexpr std::uint64_t kArchiveIdOffset = 4;
inline constexpr std::uint64_t kIndexOffset = 8;
inline constexpr std::uint64_t kRecordSize = DocDescriptor::kSize;  // index records and slots
inline constexpr std::uint32_t kIndexCapacity = 250000;
inline constexpr std::uint64_t kLastShiftOpenSlot = 16000008;
inline constexpr std::uint64_t kLastShiftCloseSlot = 16000072;
inline constexpr std::uint64_t kLastFiscalizationSlot = 16000136;
inline constexpr std::uint64_t kLastDocumentSlot = 16000200;
inline constexpr std::uint64_t kModelDataOffset = 16000264;
inline constexpr std::uint64_t kRegDataOffset = 16000312;
inline constexpr std::uint64_t kShiftCountersOffset = 16001280;
inline constexpr std::uint64_t kPeriodCountersOffset = 16001686;
inline constexpr std::uint64_t kTotalsOffset = 16002092;
inline constexpr std::uint64_t kFiscalizationCountOffset = 16002330;
inline constexpr std::uint64_t kFiscalizationTableOffset = 16002331;
inline constexpr std::uint32_t kMaxFiscalizations = 50;
inline constexpr std::size_t kFiscalizationEntrySize = 4;  // u32 document number
inline constexpr std::uint64_t kSectionSumsOffset = 16002531;
inline constexpr std::uint64_t kZeroAreaOffset = 16003171;  // after the four kinds' section sums
inline constexpr std::uint64_t kSecondMagicOffset = 16777216;
inline constexpr std::uint64_t kDataOffset = 16777220;

inline constexpr std::uint64_t indexRecordOffset(std::uint32_t number) {
  return kIndexOffset + kRecordSize * (number - 1);
}

static_assert(indexRecordOffset(kIndexCapacity) + kRecordSize == kLastShiftOpenSlot);
static_assert(kLastShiftOpenSlot + kRecordSize == kLastShiftCloseSlot);
static_assert(kLastShiftCloseSlot + kRecordSize == kLastFiscalizationSlot);
static_assert(kLastFiscalizationSlot + kRecordSize == kLastDocumentSlot);
static_assert(kLastDocumentSlot + kRecordSize == kModelDataOffset);
static_assert(kModelDataOffset + ModelData::kSize == kRegDataOffset);
static_assert(kRegDataOffset + RegData::kSize == kShiftCountersOffset);
static_assert(kShiftCountersOffset + CounterSet::kSize == kPeriodCountersOffset);
static_assert(kPeriodCountersOffset + CounterSet::kSize == kTotalsOffset);
static_assert(kTotalsOffset + TotalCounters::kSize == kFiscalizationCountOffset);
static_assert(kFiscalizationCountOffset + 1 == kFiscalizationTableOffset);
static_assert(kFiscalizationTableOffset + kFiscalizationEntrySize * kMaxFiscalizations == kSectionSumsOffset);
static_assert(kSectionSumsOffset + SectionSums::kSize * kReceiptKinds == kZeroAreaOffset);
static_assert(kZeroAreaOffset <= kSecondMagicOffset);
static_assert(kSecondMagicOffset + 4 == kDataOffset);

}  // namespace archive_layout
