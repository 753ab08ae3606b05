#include "documents/document_factory.h"

#include <gtest/gtest.h>

#include "documents/cash_ctrl_document.h"
#include "documents/cycle_open_document.h"
#include "documents/document_testing.h"

namespace {

using namespace document_testing;

TEST(DocumentFactory, CreateDocument_ByType) {
  const ModelData model = sealedModel();
  const RegData registration = sealedRegistration();
  for (std::uint8_t type : {1, 2, 3, 4, 5, 6, 7}) {
    const auto document = createDocument(type, &model, &registration, operatorCashier());
    ASSERT_NE(document, nullptr) << int{type};
    EXPECT_EQ(document->type(), type);
    EXPECT_EQ(document->cashier(), operatorCashier());
    EXPECT_EQ(document->modelData(), model);
    EXPECT_EQ(document->regData() == registration, type != 1) << "a fiscalization starts from the default record";
    EXPECT_EQ(createEmptyDocument(type)->type(), type);
  }
  for (std::uint8_t type : {0, 8, 255}) {
    EXPECT_EQ(createDocument(type, &model, &registration, operatorCashier()), nullptr) << int{type};
    EXPECT_EQ(createEmptyDocument(type), nullptr) << int{type};
  }
  EXPECT_TRUE(std::dynamic_pointer_cast<CashCtrlDocument>(createDocument(6, nullptr, nullptr, {}))->isPayout());
}

class RebuildDocumentTest : public testing::Test {
 protected:
  RebuildDocumentTest() {
    descriptor_.setType(7);
    descriptor_.setDocumentNumber(21);
    descriptor_.setDateTime(1700000000);
    descriptor_.setShiftNumber(4);
    descriptor_.setFiscalSign(0xCAFE);
    descriptor_.setCashierNumber(3);
    descriptor_.setFiscalizationNumber(2);
  }

  DocDescriptor descriptor_;
  const ModelData model_ = sealedModel();
  const RegData registration_ = sealedRegistration();
};

TEST_F(RebuildDocumentTest, DescriptorFieldsThenItems) {
  bytes::Bytes stored = {7};
  appendItem(stored, 11021, bytes::view("PETROV"));
  appendU16Item(stored, 11038, 5);
  const auto document = rebuildDocument(descriptor_, stored, &model_, &registration_);
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->documentNumber(), 21u);
  EXPECT_EQ(document->fiscalizationNumber(), 2u);
  EXPECT_EQ(document->dateTime(), 1700000000u);
  EXPECT_EQ(document->fiscalSign(), 0xCAFEu);
  EXPECT_EQ(document->shiftNumber(), 5) << "the stored item comes after the descriptor";
  EXPECT_EQ(document->cashier().number, 3);
  EXPECT_EQ(document->cashier().name, "PETROV");
  EXPECT_EQ(document->cashier().rights, 0);
  EXPECT_EQ(document->regData(), registration_);
}

TEST_F(RebuildDocumentTest, DamagedOrUnknown_GivesNull) {
  bytes::Bytes stored = {7};
  appendU16Item(stored, 11038, 5);
  bytes::Bytes pastTheEnd = stored;
  pastTheEnd[3] = 3;  // the shift item announces one byte more than remains
  EXPECT_EQ(rebuildDocument(descriptor_, pastTheEnd, &model_, &registration_), nullptr);
  bytes::Bytes partialHeader = stored;
  bytes::appendBytes(partialHeader, bytes::Bytes{0x01, 0x02, 0x03});
  EXPECT_EQ(rebuildDocument(descriptor_, partialHeader, &model_, &registration_), nullptr);
  EXPECT_NE(rebuildDocument(descriptor_, bytes::Bytes{7}, &model_, &registration_), nullptr);

  descriptor_.setType(9);
  EXPECT_EQ(rebuildDocument(descriptor_, stored, &model_, &registration_), nullptr);
}

}  // namespace
