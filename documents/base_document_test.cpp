#include "documents/base_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/state/result_code.h"
#include "documents/cash_ctrl_document.h"
#include "documents/cycle_open_document.h"
#include "documents/document_testing.h"
#include "values/crc.h"

namespace {

using namespace document_testing;

// A shift opening whose stored form is padded to a chosen length, for the size limit.
class PaddedDocument final : public BaseWorkDocument {
 public:
  PaddedDocument(const ModelData& model, const RegData& registration, std::size_t storedSize)
      : BaseWorkDocument(DocumentType::kShiftOpening, &model, &registration, operatorCashier()),
        storedSize_(storedSize) {}
  std::shared_ptr<BaseDocument> clone() const override { return nullptr; }
  std::string title() const override { return "PADDED"; }
  int finish(std::uint32_t, bytes::View, bytes::View, std::uint16_t&, const DeviceState&) override { return result::kSuccess; }
  bytes::Bytes toStored() const override {
    bytes::Bytes stored = BaseWorkDocument::toStored();
    stored.resize(storedSize_, 0xAA);
    return stored;
  }
  bytes::Bytes signData() const override { return {1, 2, 3}; }

 private:
  std::size_t storedSize_;
};

class BaseDocumentTest : public testing::Test {
 protected:
  BaseDocumentTest() : model_(sealedModel()), registration_(sealedRegistration()) {}

  std::shared_ptr<CycleOpenDocument> newShiftOpening() const {
    return std::make_shared<CycleOpenDocument>(&model_, &registration_, operatorCashier());
  }

  ModelData model_;
  RegData registration_;
  DeviceState state_;
};

TEST_F(BaseDocumentTest, ApplyOpenData_NameAndShift) {
  state_.setShiftNumber(4);
  CashCtrlDocument document(true, &model_, &registration_, operatorCashier());
  const std::string original = operatorCashier().name;

  EXPECT_EQ(document.applyOpenData({}, state_), 0);
  EXPECT_EQ(document.cashier().name, original);
  EXPECT_EQ(document.shiftNumber(), 4);

  const bytes::Bytes zeroLength = {0x00, 'X'};
  EXPECT_EQ(document.applyOpenData(zeroLength, state_), 0);
  EXPECT_EQ(document.cashier().name, original);

  const bytes::Bytes short4of5 = {0x05, 'A', 'B', 'C', 'D'};
  EXPECT_EQ(document.applyOpenData(short4of5, state_), 39);
  EXPECT_EQ(document.cashier().name, original);

  const bytes::Bytes named = {0x03, 'A', 'B', 'C', 'Z'};
  EXPECT_EQ(document.applyOpenData(named, state_), 0);
  EXPECT_EQ(document.cashier().name, "ABC");
}

TEST_F(BaseDocumentTest, AddTag_TakesOnlyTheCashierName) {
  auto document = newShiftOpening();
  std::string printText;
  TlvItem item;
  item.setText(11021, "PETROV");
  EXPECT_EQ(document->addTag(item, printText), 0);
  EXPECT_EQ(document->cashier().name, "PETROV");
  item.setText(11048, "SHOP");
  EXPECT_EQ(document->addTag(item, printText), 34);
  EXPECT_TRUE(printText.empty());
}

TEST_F(BaseDocumentTest, SetStoredTag_UnknownTag_LogsOneLineAndChangesNothing) {
  auto document = newShiftOpening();
  const bytes::Bytes before = document->toStored();
  testing::internal::CaptureStdout();
  document->setStoredTag(TlvItem(999, {0x0A, 0x0B, 0xFF}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "setStoredTag UNKNOWN TAG 999 3 0A0BFF\n");
  EXPECT_EQ(document->toStored(), before);
}

TEST_F(BaseDocumentTest, CloseDocument_FillsDescriptorAndStoredForm) {
  state_.setShiftNumber(6);
  auto document = newShiftOpening();
  std::uint16_t missing = 0;
  ASSERT_EQ(document->finish(1700000000, kKey, {}, missing, state_), 0);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  const std::uint64_t offset = 0x100000010ull;
  ASSERT_TRUE(document->closeDocument(descriptor, stored, 12, 7, kKey, offset));
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(stored, document->toStored());

  bytes::Bytes expected = {7};
  bytes::appendU32(expected, 12);
  bytes::appendU32(expected, 1700000000);
  bytes::appendU16(expected, 7);
  bytes::appendU32(expected, document->fiscalSign());
  bytes::appendU8(expected, 3);
  bytes::appendU16(expected, static_cast<std::uint16_t>(stored.size()));
  bytes::appendU32(expected, 0x00000010);
  bytes::appendU32(expected, 0x00000001);
  bytes::appendU16(expected, crc::crc16(stored));
  bytes::appendU32(expected, 0);  // the header check value covers the fiscalization number as zero
  expected.resize(38, 0);
  const std::uint16_t headerCheck = crc::crc16(expected);
  bytes::storeU32(expected, 28, 7);
  bytes::appendU16(expected, headerCheck);
  expected.resize(64, 0);
  EXPECT_EQ(bytes::Bytes(descriptor->bytes().begin(), descriptor->bytes().end()), expected);
}

TEST_F(BaseDocumentTest, CloseDocument_StoredSizeLimit) {
  for (const std::size_t size : {std::size_t{4096}, std::size_t{4097}}) {
    PaddedDocument document(model_, registration_, size);
    std::shared_ptr<DocDescriptor> descriptor;
    bytes::Bytes stored;
    EXPECT_EQ(document.closeDocument(descriptor, stored, 1, 1, kKey, 0), size == 4096) << size;
    EXPECT_EQ(stored.size(), size == 4096 ? 4096u : 0u);
  }
}

TEST_F(BaseDocumentTest, CloseDocument_IdentityNotOfTheKey_FailsUnsigned) {
  bytes::Bytes otherKey = kKey;
  otherKey[0] ^= 1;
  RegData unsealed = registration_;
  unsealed.seal(kSerial, otherKey);
  for (const auto& [model, registration] :
       {std::pair{sealedModel(), unsealed}, std::pair{ModelData(), registration_}}) {
    CycleOpenDocument document(&model, &registration, operatorCashier());
    std::shared_ptr<DocDescriptor> descriptor;
    bytes::Bytes stored;
    EXPECT_FALSE(document.closeDocument(descriptor, stored, 1, 1, kKey, 0));
    EXPECT_EQ(document.fiscalSign(), 0u);
    EXPECT_FALSE(document.isComplete());
    EXPECT_EQ(descriptor, nullptr);
  }
}

TEST_F(BaseDocumentTest, CloseDocument_RetryWithAnotherKey_DoesNotKeepTheEarlierSign) {
  auto document = newShiftOpening();
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document->closeDocument(descriptor, stored, 1, 1, kKey, 0));
  bytes::Bytes otherKey = kKey;
  otherKey[15] ^= 1;
  EXPECT_FALSE(document->closeDocument(descriptor, stored, 2, 1, otherKey, 0));
}

TEST_F(BaseDocumentTest, SignAndVerify) {
  auto document = newShiftOpening();
  ASSERT_TRUE(document->sign(kKey, kSerial));
  EXPECT_EQ(document->fiscalSign(), expectedSign(document->signData()));
  EXPECT_TRUE(document->verifySign(kKey, kSerial));
  bytes::Bytes otherKey = kKey;
  otherKey[3] ^= 1;
  EXPECT_FALSE(document->verifySign(otherKey, kSerial));
}

TEST_F(BaseDocumentTest, Completeness_AndStorability) {
  auto document = newShiftOpening();
  EXPECT_TRUE(document->isStorable());
  EXPECT_FALSE(document->isComplete()) << "not yet numbered nor signed";
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document->closeDocument(descriptor, stored, 1, 1, kKey, 0));
  EXPECT_TRUE(document->isComplete());

  Cashier noPassword = operatorCashier();
  noPassword.password = 0;
  CycleOpenDocument unusableCashier(&model_, &registration_, noPassword);
  EXPECT_FALSE(unusableCashier.closeDocument(descriptor, stored, 1, 1, kKey, 0));
  EXPECT_FALSE(CycleOpenDocument(&model_, nullptr, operatorCashier()).isStorable());
  EXPECT_FALSE(CycleOpenDocument(nullptr, &registration_, operatorCashier()).isStorable());
  EXPECT_FALSE(document->closeDocument(descriptor, stored, 0, 1, kKey, 0)) << "document number 0";
}

TEST_F(BaseDocumentTest, CopyTo_SameTypeCopiesOtherTypeUntouchedNullGivesNull) {
  state_.setShiftNumber(2);
  auto document = newShiftOpening();
  document->applyOpenData({}, state_);
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(document->closeDocument(descriptor, stored, 9, 4, kKey, 0));

  const auto copy = std::dynamic_pointer_cast<BaseWorkDocument>(document->clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->toStored(), document->toStored());
  EXPECT_EQ(copy->modelData(), document->modelData());
  EXPECT_EQ(copy->regData(), document->regData());
  EXPECT_EQ(copy->cashier(), document->cashier());

  CashCtrlDocument deposit(true);
  const bytes::Bytes before = deposit.toStored();
  EXPECT_EQ(document->copyTo(&deposit), &deposit);
  EXPECT_EQ(deposit.toStored(), before);
  EXPECT_EQ(document->copyTo(nullptr), nullptr);
}

TEST_F(BaseDocumentTest, PrintedHeaderAndFooter) {
  setenv("TZ", "UTC", 1);
  tzset();
  auto document = newShiftOpening();
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  std::uint16_t missing = 0;
  document->finish(1700000000, kKey, {}, missing, state_);
  ASSERT_TRUE(document->closeDocument(descriptor, stored, 12, 1, kKey, 0));

  const std::string header = document->headerText();
  EXPECT_TRUE(header.starts_with(registration_.headerBlock()));
  for (const std::string_view part : {"Открытие смены"_cp866, "КАССИР"_cp866, "ИВАНОВ"_cp866, "СМЕНА"_cp866}) {
    EXPECT_NE(header.find(part), std::string::npos) << cp866::toUtf8(part);
  }

  const std::string footer = document->footerText(false);
  EXPECT_TRUE(footer.starts_with(registration_.footerBlock(false)));
  char sign[16];
  std::snprintf(sign, sizeof sign, "%010u", static_cast<unsigned>(document->fiscalSign()));
  for (const std::string& part :
       {std::string("ДАТА"_cp866), std::string("14.11.2023 22:13:20"), std::string("ФД 12"_cp866),
        model_.modelName() + " " + std::string(kSerial), std::string("ФП "_cp866) + sign}) {
    EXPECT_NE(footer.find(part), std::string::npos) << cp866::toUtf8(part);
  }
  const std::string withCut = document->footerText(true);
  EXPECT_TRUE(withCut.starts_with(footer));
  EXPECT_GT(withCut.size(), footer.size());
}

}  // namespace
