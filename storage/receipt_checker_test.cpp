// The receipt rules on one receipt under three tax rates (20 % included, 10 % on top, without
// tax), where a changed tax index shows in its line's tax amount.
#include "storage/receipt_checker.h"

#include <gtest/gtest.h>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "storage/receipt_archive.h"
#include "values/tags.h"

namespace {

using receipt_testing::Item;

class ReceiptCheckerTest : public ::testing::Test {
 protected:
  ReceiptCheckerTest() {
    registration_.setTaxRateSlot(1, document_testing::taxRateSlot(2, 1000, "ON TOP 10"));
    registration_.setTaxRateSlot(2, document_testing::taxRateSlot(0, 0, "NONE"));
    const ModelData model = document_testing::sealedModel();
    ReceiptDoc receipt(&model, &registration_, document_testing::operatorCashier(), tables_.tables());
    EXPECT_EQ(receipt.applyOpenData(receipt_testing::openData(0), state_), 0);
    std::string printed;
    for (const std::uint8_t index : {1, 2, 3}) {
      Item item;
      item.price = 1000u * index;
      item.taxIndex = index;
      EXPECT_EQ(receipt.addTag(item.tlv(), printed), 0);
    }
    std::uint16_t missing = 0;
    EXPECT_EQ(receipt.finish(1800000000, document_testing::kKey, receipt_testing::payment(0), missing, state_), 0);
    DocDescriptor descriptor;
    const bytes::Bytes form = receipt.toStored();
    EXPECT_EQ(receipt_archive::writeData(receipt, form, 0, descriptor,
                                         [this](std::uint64_t at, bytes::View piece) {
                                           data_.resize(std::max<std::size_t>(data_.size(), at + piece.size()));
                                           std::copy(piece.begin(), piece.end(), data_.begin() + static_cast<long>(at));
                                           return true;
                                         }),
              0);
  }

  // The offset of the value of the tax index of line n (1, 2, 3).
  std::size_t taxIndexAt(int n) const {
    const bytes::Bytes wire{0xBF, 0x2B, 0x01, 0x00};  // 11199, one byte
    auto at = data_.begin();
    for (int i = 0; i < n; ++i) at = std::search(at + (i > 0 ? 1 : 0), data_.end(), wire.begin(), wire.end());
    return static_cast<std::size_t>(at - data_.begin()) + 4;
  }

  RegData registration_ = document_testing::sealedRegistration();
  receipt_testing::Tables tables_;
  DeviceState state_;
  bytes::Bytes data_;
};

TEST_F(ReceiptCheckerTest, SoundReceipt_KeepsEveryRule_WithOrWithoutTheRegistration) {
  for (const RegData* registration : {static_cast<const RegData*>(&registration_), static_cast<const RegData*>(nullptr)}) {
    const receipt_checker::Result result = receipt_checker::checkReceipt(data_, registration);
    EXPECT_TRUE(result.breaks.empty()) << (result.breaks.empty() ? "" : result.breaks.front().field);
    EXPECT_TRUE(result.repaired.empty());
  }
}

// Line 2 is taxed 10 % on top, line 3 without tax: an index changed to 1 leaves a tax amount
// that only the rate it names fits.
TEST_F(ReceiptCheckerTest, ChangedTaxIndex_IsToldByTheLinesTaxAmount) {
  const struct {
    int line;
    std::string field;
  } cases[] = {{2, "item line 2: tax index"}, {3, "item line 3: tax index"}};
  for (const auto& c : cases) {
    bytes::Bytes damaged = data_;
    const std::size_t at = taxIndexAt(c.line);
    damaged[at] = 1;
    const receipt_checker::Result result = receipt_checker::checkReceipt(damaged, &registration_);
    ASSERT_EQ(result.breaks.size(), 1u) << c.field;
    EXPECT_EQ(result.breaks[0].offset, at);
    EXPECT_EQ(result.breaks[0].field, c.field);
    EXPECT_EQ(result.breaks[0].detail,
              "stored 1, expected " + std::to_string(c.line) + ": its tax amount is that rate's");
  }
}

}  // namespace
