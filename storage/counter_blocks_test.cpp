#include "storage/counter_blocks.h"
#include "values/tags.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

namespace {

// Tags of the tagged form, as the register's documents carry them.
constexpr std::uint16_t kReceiptsTag = 11118;
constexpr std::uint16_t kTotalTag = 11201;
constexpr std::uint16_t kCashTag = 11136;
constexpr std::uint16_t kElectronicTag = 11138;
constexpr std::uint16_t kSaleTag = 11129;

std::vector<std::uint16_t> tagsOf(const TlvList& items) {
  std::vector<std::uint16_t> tags;
  for (const TlvItem& item : items) tags.push_back(item.tag());
  return tags;
}

TlvItem container(std::uint16_t tag, const TlvList& items) {
  TlvItem item;
  item.setList(tag, items);
  return item;
}

TlvItem u16Item(std::uint16_t tag, std::uint16_t value) {
  TlvItem item;
  item.setU16(tag, value);
  return item;
}

TlvItem varIntItem(std::uint16_t tag, std::uint64_t value) {
  TlvItem item;
  item.setVarInt(tag, value);
  return item;
}

// Random contents the tagged form can carry: the unused bytes stay zero, a kind without
// receipts has no sums, and sums are often zero, sometimes negative or at the 64-bit ends.
class RandomBlocks {
 public:
  std::int64_t sum() {
    switch (pick(6)) {
      case 0: return 0;
      case 1: return std::numeric_limits<std::int64_t>::min();
      case 2: return -static_cast<std::int64_t>(pick(100000));
      default: return static_cast<std::int64_t>(engine_() >> pick(64));
    }
  }
  std::uint32_t count() { return pick(4) == 0 ? 0 : static_cast<std::uint32_t>(engine_() >> pick(32)); }
  std::uint16_t count16() { return static_cast<std::uint16_t>(count()); }

  template <typename PerKind>
  void fillKind(PerKind& block) {
    block.receipts = count();
    if (block.receipts == 0) return;
    block.total = sum();
    block.cash = sum();
    block.electronic = sum();
  }

  template <typename Block>
  void fillHead(Block& block) {
    block.shiftNumber = count16();
    block.deposits = count16();
    block.payouts = count16();
    block.depositSum = sum();
    block.payoutSum = sum();
    block.receipts = count();
  }

  CounterSet counters() {
    CounterSet block;
    fillHead(block);
    block.drawerCash = sum();
    for (OperationCounters& kind : block.byKind) {
      fillKind(kind);
      if (kind.receipts != 0) {
        for (std::int64_t& tax : kind.taxSums) tax = sum();
      }
    }
    block.numberKinds();
    return block;
  }

  TotalCounters totals() {
    TotalCounters block;
    fillHead(block);
    for (OperationTotals& kind : block.byKind) fillKind(kind);
    block.numberKinds();
    return block;
  }

 private:
  unsigned pick(unsigned range) { return static_cast<unsigned>(engine_() % range); }

  std::mt19937_64 engine_{20240611};
};

TEST(CounterBlocks, CounterSet_FieldsAtTheirOffsets) {
  CounterSet block;
  block.shiftNumber = 0x0102;
  block.receipts = 0x03040506;
  block.drawerCash = -2;
  block.byKind[1].kind = 1;
  block.byKind[1].electronic = 0x0708;
  block.byKind[3].taxSums[4] = 0x090A;
  const bytes::Bytes record = encodeBlock(block);
  ASSERT_EQ(record.size(), 406u);
  EXPECT_EQ(bytes::loadU16(record, 0), 0x0102);
  EXPECT_EQ(bytes::loadU32(record, 22), 0x03040506u);
  EXPECT_EQ(bytes::loadI64(record, 26), -2);
  EXPECT_EQ(record[127], 1) << "kind byte of the second sub-block";
  EXPECT_EQ(bytes::loadI64(record, 127 + 21), 0x0708);
  EXPECT_EQ(bytes::loadI64(record, 313 + 53 + 8 * 4), 0x090A);
  EXPECT_EQ(CounterSet::load(record), block);
}

TEST(CounterBlocks, TotalsAndSections_FieldsAtTheirOffsets) {
  TotalCounters totals;
  totals.payoutSum = 77;
  totals.byKind[3].kind = 3;
  totals.byKind[3].cash = 0x1122;
  const bytes::Bytes record = encodeBlock(totals);
  ASSERT_EQ(record.size(), 238u);
  EXPECT_EQ(bytes::loadI64(record, 14), 77);
  EXPECT_EQ(record[185], 3);
  EXPECT_EQ(bytes::loadI64(record, 185 + 13), 0x1122);
  EXPECT_EQ(TotalCounters::load(record), totals);

  SectionSums sums;
  sums.bySection[19] = 5;
  const bytes::Bytes sectionRecord = encodeBlock(sums);
  ASSERT_EQ(sectionRecord.size(), 160u);
  EXPECT_EQ(bytes::loadI64(sectionRecord, 152), 5);
  EXPECT_EQ(SectionSums::load(sectionRecord), sums);
}

TEST(CounterBlocks, Load_KeepsTheUnusedBytesAndTheKindBytesAsStored) {
  bytes::Bytes record(CounterSet::kSize, 0);
  record[34] = 9;        // kind byte of the first sub-block
  record[34 + 30] = 0xAB;  // inside its unused values
  const CounterSet block = CounterSet::load(record);
  EXPECT_EQ(block.byKind[0].kind, 9);
  EXPECT_EQ(encodeBlock(block), record);
  CounterSet numbered = block;
  numbered.numberKinds();
  EXPECT_EQ(numbered.byKind[0].kind, 0);
  EXPECT_EQ(numbered.byKind[3].kind, 3);
}

TEST(CounterBlocks, ShortRecord_IsAProgrammingError) {
  const bytes::Bytes record(CounterSet::kSize - 1, 0);
  EXPECT_THROW(CounterSet::load(record), std::out_of_range);
  bytes::Bytes target(TotalCounters::kSize + 10, 0);
  EXPECT_THROW(TotalCounters().store(target, 11), std::out_of_range);
}

TEST(CounterTags, RandomBlocks_SurviveTheTaggedForm) {
  RandomBlocks random;
  for (int round = 0; round < 500; ++round) {
    const CounterSet counters = random.counters();
    CounterSet countersBack;
    ASSERT_TRUE(tlvToCounters(countersToTlv(counters, round % 2 == 0), countersBack));
    ASSERT_EQ(countersBack, counters) << "round " << round;

    const TotalCounters totals = random.totals();
    TotalCounters totalsBack;
    ASSERT_TRUE(tlvToCounters(totalsToTlv(totals), totalsBack));
    ASSERT_EQ(totalsBack, totals) << "round " << round;
  }
}

TEST(CounterTags, Counters_ContainerTagByFlagAndItemsInLayoutOrder) {
  CounterSet block;
  block.drawerCash = 256;
  const TlvItem shift = countersToTlv(block, true);
  EXPECT_EQ(shift.tag(), tag::kShiftCounters);
  EXPECT_EQ(countersToTlv(block, false).tag(), tag::kPeriodCounters);
  const TlvList items = parseList(shift);
  EXPECT_EQ(tagsOf(items), (std::vector<std::uint16_t>{11038, 12001, 12003, 12002, 12004, 11118, 11136, 11129,
                                                       11131, 11130, 11132}));
  EXPECT_EQ(items[3].value(), bytes::Bytes{0x00}) << "a zero sum is one byte";
  EXPECT_EQ(items[6].value(), (bytes::Bytes{0x00, 0x01}));
  EXPECT_EQ(items[5].value().size(), 4u);
}

TEST(CounterTags, KindWithoutReceipts_CarriesOnlyItsCount) {
  CounterSet block;
  block.byKind[0].total = 500;  // nothing writes a total without receipts; it is not carried
  block.byKind[2].receipts = 2;
  block.byKind[2].total = 300;
  block.byKind[2].electronic = 300;
  block.byKind[2].taxSums[1] = 50;
  const TlvList kinds = parseList(countersToTlv(block, true));
  EXPECT_EQ(tagsOf(parseList(kinds[7])), std::vector<std::uint16_t>{kReceiptsTag});
  const TlvItem& saleReturns = kinds[9];
  EXPECT_EQ(saleReturns.tag(), 11130);
  EXPECT_EQ(tagsOf(parseList(saleReturns)),
            (std::vector<std::uint16_t>{kReceiptsTag, kTotalTag, kElectronicTag, 13111}));
}

TEST(CounterTags, Totals_NoDrawerCashAndNoTaxSums) {
  TotalCounters block;
  block.byKind[1].receipts = 1;
  block.byKind[1].total = 10;
  block.byKind[1].cash = 10;
  const TlvItem item = totalsToTlv(block);
  EXPECT_EQ(item.tag(), tag::kTotalCounters);
  const TlvList items = parseList(item);
  EXPECT_EQ(tagsOf(items), (std::vector<std::uint16_t>{11038, 12001, 12003, 12002, 12004, 11118, 11129, 11131,
                                                       11130, 11132}));
  EXPECT_EQ(tagsOf(parseList(items[7])), (std::vector<std::uint16_t>{kReceiptsTag, kTotalTag, kCashTag}));
}

TEST(CounterTags, UnknownTags_LoggedAtTheirLevelAndSkipped) {
  const TlvItem counters = container(tag::kPeriodCounters, {u16Item(12001, 4), u16Item(12345, 1),
                                                          container(kSaleTag, {varIntItem(13999, 1), varIntItem(13114, 8)}),
                                                          u16Item(12003, 5)});
  CounterSet block;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(tlvToCounters(counters, block));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tlvToCounters 81 UNKNOWN TAG 12345\ntlvToCounters 291 UNKNOWN TAG 13999\n");
  EXPECT_EQ(block.deposits, 4);
  EXPECT_EQ(block.payouts, 5);
  EXPECT_EQ(block.byKind[0].taxSums[4], 8);

  // The drawer cash and the tax sums belong to the counters only.
  const TlvItem totals =
      container(tag::kTotalCounters, {varIntItem(kCashTag, 1), container(11132, {varIntItem(13110, 2)})});
  TotalCounters totalsBlock;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(tlvToCounters(totals, totalsBlock));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "tlvToCounters 105 UNKNOWN TAG 11136\ntlvToCounters 351 UNKNOWN TAG 13110\n");
  EXPECT_EQ(totalsBlock.byKind[3].kind, 3) << "the kind comes from the container tag";
}

TEST(CounterTags, WrongWidths_ReadAsZero) {
  TlvItem shortCount(kReceiptsTag, {1, 2, 3});
  TlvItem longShift(11038, {1, 2, 3});
  TlvItem longSum(kCashTag, bytes::Bytes(12, 0x01));  // only the first eight bytes count
  CounterSet block;
  block.receipts = 99;  // the caller clears the block; a value read as 0 still overwrites
  EXPECT_TRUE(tlvToCounters(container(tag::kShiftCounters, {shortCount, longShift, longSum}), block));
  EXPECT_EQ(block.receipts, 0u);
  EXPECT_EQ(block.shiftNumber, 0);
  EXPECT_EQ(block.drawerCash, 0x0101010101010101);
}

TEST(CounterTags, DamagedContainers_Fail_ItemsBeforeTheDamageKept) {
  const bytes::Bytes deposits = u16Item(12001, 7).encode();
  bytes::Bytes truncated = deposits;
  bytes::appendBytes(truncated, bytes::Bytes{0x21, 0x2F, 0x08, 0x00, 0x01});  // 12003 announcing 8 bytes
  CounterSet block;
  EXPECT_FALSE(tlvToCounters(TlvItem(tag::kShiftCounters, truncated), block));
  EXPECT_EQ(block.deposits, 7);

  // A purchase container holding garbage: its kind byte is set, the rest is read.
  CounterSet nested;
  EXPECT_FALSE(tlvToCounters(container(tag::kPeriodCounters, {TlvItem(11131, {0xFF, 0xFF, 0xFF}), u16Item(12003, 2)}),
                             nested));
  EXPECT_EQ(nested.payouts, 2);
  OperationCounters purchases;
  purchases.kind = 1;
  EXPECT_EQ(nested.byKind[1], purchases);

  TotalCounters totals;
  EXPECT_FALSE(tlvToCounters(TlvItem(tag::kTotalCounters, {0x01}), totals));
  EXPECT_EQ(totals, TotalCounters{});
  EXPECT_TRUE(tlvToCounters(TlvItem(tag::kTotalCounters, {}), totals)) << "no items is a whole list";
}

}  // namespace
