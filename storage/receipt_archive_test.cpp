#include "storage/receipt_archive.h"

#include <gtest/gtest.h>

#include "core/state/result_code.h"
#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "platform/fault_injecting_board.h"
#include "storage/archive_layout.h"
#include "storage/archive_store.h"
#include "storage/archive_testing.h"
#include "values/crc.h"

namespace {

using namespace document_testing;
using namespace archive_layout;
using receipt_testing::Item;

constexpr std::uint32_t kNow = 1800000000;

// A fiscalized archive with an open shift.
class ReceiptArchiveTest : public ::testing::Test, protected archive_testing::StoreBoard {
 protected:
  ReceiptArchiveTest() {
    EXPECT_TRUE(store_->createOrValidate() && store_->openArchive());
    EXPECT_EQ(store_->storeDocument(finishedFiscalization(state_, store_->archiveId(), kNow)), 0);
    auto opening = finishedDocument(7, state_, kNow + 1);
    EXPECT_EQ(store_->storeDocument(opening), 0);
    state_.setShiftNumber(opening->shiftNumber());
  }

  // A finished receipt of `kind`; the device's drawer is set high enough for any payment.
  std::shared_ptr<ReceiptDoc> receipt(std::uint8_t kind, std::vector<Item> items, std::int64_t cash,
                                      std::int64_t electronic = 0) {
    auto document = std::make_shared<ReceiptDoc>(state_.currentModelData().get(), state_.currentRegData().get(),
                                                 operatorCashier(), tables_.tables());
    EXPECT_EQ(document->applyOpenData(receipt_testing::openData(kind), state_), 0);
    std::string text;
    for (const Item& item : items) EXPECT_EQ(document->addTag(item.tlv(), text), 0);
    state_.setDrawerCash(1000000);
    std::uint16_t missing = 0;
    EXPECT_EQ(document->finish(kNow + 60, kKey, receipt_testing::payment(cash, electronic), missing, state_), 0);
    return document;
  }

  static Item line(std::uint64_t price, std::uint8_t section, Decimal quantity = Decimal(1000, 1000)) {
    Item item;
    item.price = price;
    item.section = section;
    item.quantity = quantity;
    return item;
  }

  receipt_testing::Tables tables_;
};

TEST_F(ReceiptArchiveTest, Store_WritesAllPiecesAndTheLengthCoversThem) {
  auto sale = receipt(0, {line(12000, 1), line(6000, 2)}, 20000);
  ASSERT_EQ(store_->storeDocument(sale), 0);
  DocDescriptor descriptor;
  ASSERT_TRUE(store_->readDescriptor(3, descriptor));
  const bytes::Bytes storedForm = sale->toStored();
  bytes::Bytes expected = storedForm;
  bytes::appendBytes(expected, sale->storedTaxRates());
  bytes::appendBytes(expected, sale->storedSections());
  for (bytes::Bytes piece = sale->firstStoredOperation(); !piece.empty(); piece = sale->nextStoredOperation()) {
    bytes::appendBytes(expected, piece);
  }
  ASSERT_EQ(descriptor.dataLength(), expected.size());
  EXPECT_EQ(fileBytes(descriptor.dataOffset(), expected.size()), expected);
  // Both check values cover the stored form alone.
  EXPECT_EQ(descriptor.dataCheckValue(), crc::crc16(storedForm));
  DocDescriptor sealed = descriptor;
  sealed.setDataLength(static_cast<std::uint16_t>(storedForm.size()));
  EXPECT_EQ(descriptor.headerCheckValue(), sealed.computeHeaderCheckValue());
  EXPECT_EQ(fileBytes(kLastDocumentSlot, 64), bytes::Bytes(descriptor.bytes().begin(), descriptor.bytes().end()));

  // The next document starts behind every piece, and the receipt comes back whole.
  ASSERT_EQ(store_->storeDocument(receipt(0, {line(6000, 1)}, 0)), 0);
  DocDescriptor next;
  ASSERT_TRUE(store_->readDescriptor(4, next));
  EXPECT_EQ(next.dataOffset(), descriptor.dataOffset() + expected.size());
  std::shared_ptr<BaseWorkDocument> loaded;
  testing::internal::CaptureStdout();
  ASSERT_EQ(store_->loadDocument(3, loaded), 0);
  testing::internal::GetCapturedStdout();
  const auto rebuilt = std::dynamic_pointer_cast<ReceiptDoc>(loaded);
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(rebuilt->toStored(), storedForm);
  EXPECT_EQ(rebuilt->storedSections(), sale->storedSections());
  EXPECT_EQ(rebuilt->storedTaxRates(), sale->storedTaxRates());
  EXPECT_EQ(rebuilt->operations().size(), 2u);
  EXPECT_TRUE(rebuilt->verifySign(kKey, kSerial));
}

// Every kind in one shift; the expected sums are worked out here from the lines and payments.
// VAT (index 1) is 20 % in prices: 120.00 carries 20.00, 60.00 carries 10.00.
TEST_F(ReceiptArchiveTest, Counters_MixedShift_MatchTheSumsOfItsReceipts) {
  const Decimal two(1000, 2000);
  const std::shared_ptr<ReceiptDoc> receipts[] = {
      receipt(0, {line(12000, 1), line(6000, 2)}, 20000),  // 180.00, 20.00 change
      receipt(0, {line(6000, 1)}, 0, 6000),                 // by card
      receipt(1, {line(6000, 2)}, 6000),                    // purchase paid from the drawer
      receipt(2, {line(12000, 1)}, 0, 12000),               // sale return by card
      receipt(3, {line(6000, 1, two)}, 12000),              // purchase return
      receipt(7, {line(6000, 2)}, 6000),                    // kind 7: count and drawer only
  };
  for (const auto& document : receipts) ASSERT_EQ(store_->storeDocument(document), 0);

  struct KindSums {
    std::uint32_t count;
    std::int64_t total, cash, electronic, vat;
  };
  const KindSums kinds[4] = {{2, 24000, 18000, 6000, 4000}, {1, 6000, 6000, 0, 1000}, {1, 12000, 0, 12000, 2000},
                             {1, 12000, 12000, 0, 2000}};
  CounterSet shift, period;
  TotalCounters totals;
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Shift, shift));
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Period, period));
  ASSERT_TRUE(store_->readTotals(totals));
  EXPECT_EQ(shift.receipts, 6u);
  EXPECT_EQ(totals.receipts, 6u);
  EXPECT_EQ(shift.drawerCash, 18000 - 6000 + 12000 - 6000);
  for (std::size_t kind = 0; kind < 4; ++kind) {
    for (const OperationCounters& block : {shift.byKind[kind], period.byKind[kind]}) {
      EXPECT_EQ(block.receipts, kinds[kind].count) << kind;
      EXPECT_EQ(block.total, kinds[kind].total) << kind;
      EXPECT_EQ(block.cash, kinds[kind].cash) << kind;
      EXPECT_EQ(block.electronic, kinds[kind].electronic) << kind;
      EXPECT_EQ(block.taxSums[0], kinds[kind].vat) << kind;
    }
    EXPECT_EQ(totals.byKind[kind].receipts, kinds[kind].count) << kind;
    EXPECT_EQ(totals.byKind[kind].total, kinds[kind].total) << kind;
    EXPECT_EQ(totals.byKind[kind].cash, kinds[kind].cash) << kind;
    EXPECT_EQ(totals.byKind[kind].electronic, kinds[kind].electronic) << kind;
  }
  EXPECT_EQ(period.receipts, 6u);
  EXPECT_EQ(period.drawerCash, shift.drawerCash);

  std::vector<SectionSums> sums;
  ASSERT_TRUE(store_->readSectionSums(sums, 4));
  const std::array<std::pair<std::int64_t, std::int64_t>, 4> bySection = {
      {{18000, 6000}, {0, 6000}, {12000, 0}, {12000, 0}}};
  for (std::size_t kind = 0; kind < 4; ++kind) {
    EXPECT_EQ(sums[kind].bySection[0], bySection[kind].first) << kind;
    EXPECT_EQ(sums[kind].bySection[1], bySection[kind].second) << kind;
  }
  EXPECT_EQ(fileBytes(kSectionSumsOffset + 4 * SectionSums::kSize, 11 * SectionSums::kSize),
            bytes::Bytes(11 * SectionSums::kSize, 0))
      << "kinds above 3 keep no section sums";
}

// A failure at any write leaves nothing counted, and the number is used again.
TEST_F(ReceiptArchiveTest, Store_FailingAtEveryWrite_LeavesNothingCounted) {
  const bytes::Bytes before = fileBytes(kLastShiftOpenSlot, kSecondMagicOffset - kLastShiftOpenSlot);
  int failures = 0;
  for (std::uint64_t write = 0;; ++write) {
    auto sale = receipt(0, {line(12000, 1), line(6000, 2)}, 20000);
    board_->failAt(platform::FaultInjectingBoard::Operation::Write, write, false);
    const int code = store_->storeDocument(sale);
    board_->clearFaults();
    if (code == 0) break;
    ++failures;
    EXPECT_EQ(code, result::kArchiveNotReady) << write;
    EXPECT_EQ(fileBytes(kLastShiftOpenSlot, before.size()), before) << write;
    EXPECT_EQ(store_->lastDocumentInfo().first, 2u) << write;
  }
  EXPECT_GE(failures, 8) << "data pieces, index record, three counter blocks, section sums, last slot";
  EXPECT_EQ(store_->lastDocumentInfo().first, 3u);
}

TEST(ReceiptArchive, WriteData_StopsAtTheFirstFailedPieceAndRefusesAnOversizedReceipt) {
  receipt_testing::Tables tables;
  const ModelData model = sealedModel();
  const RegData registration = sealedRegistration();
  DeviceState state;
  ReceiptDoc receipt(&model, &registration, operatorCashier(), tables.tables());
  ASSERT_EQ(receipt.applyOpenData(receipt_testing::openData(0), state), 0);
  std::string text;
  ASSERT_EQ(receipt.addTag(Item().tlv(), text), 0);
  const bytes::Bytes storedForm = receipt.toStored();
  DocDescriptor descriptor;
  std::vector<std::uint64_t> offsets;
  const auto record = [&offsets](std::uint64_t at, bytes::View) {
    offsets.push_back(at);
    return offsets.size() < 3;
  };
  EXPECT_EQ(receipt_archive::writeData(receipt, storedForm, 100, descriptor, record), result::kArchiveNotReady);
  ASSERT_EQ(offsets.size(), 3u);
  EXPECT_EQ(offsets[1], 100 + storedForm.size());
  EXPECT_EQ(descriptor.dataLength(), 0) << "the length is set only when all pieces are written";

  offsets.clear();
  const bytes::Bytes oversized(ReceiptDoc::kReceiptMaxStoredSize, 0);
  EXPECT_EQ(receipt_archive::writeData(receipt, oversized, 100, descriptor, record), result::kTooLong);
  EXPECT_TRUE(offsets.empty());
}

}  // namespace
