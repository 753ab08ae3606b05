#include "documents/receipt_doc.h"

#include <gtest/gtest.h>

#include <limits>

#include "documents/document_factory.h"
#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "printer/print_layout.h"
#include "printer/printer_settings.h"

namespace {

using namespace document_testing;
using receipt_testing::Item;
using receipt_testing::openData;
using receipt_testing::payment;

constexpr std::uint32_t kNow = 1700000000;

// Rates: 1 VAT 20 % in prices (sealedRegistration), 3 without tax; 2, 4 and 5 not set.
RegData receiptRegistration() {
  RegData registration = sealedRegistration();
  registration.setTaxRateSlot(2, taxRateSlot(0, 0, "БЕЗ НДС"_cp866));
  registration.seal(kSerial, kKey);
  return registration;
}

bytes::Bytes varInt(std::uint64_t value) { return encodeVarInt(value); }

class ReceiptDocTest : public testing::Test {
 protected:
  ReceiptDocTest() : model_(sealedModel()), registration_(receiptRegistration()) {
    state_.setShiftNumber(5);
    state_.setReceiptCounter(11);
    state_.setDrawerCash(30000);
  }
  void TearDown() override { printerSettings().setPaperWidth(kDefaultPaperWidth); }

  ReceiptDoc make(Cashier cashier = operatorCashier()) {
    return ReceiptDoc(&model_, &registration_, std::move(cashier), tables_.tables());
  }
  ReceiptDoc opened(std::uint8_t kind) {
    ReceiptDoc receipt = make();
    EXPECT_EQ(receipt.applyOpenData(openData(kind), state_), 0);
    return receipt;
  }
  static int add(ReceiptDoc& receipt, const TlvItem& item) {
    std::string text;
    return receipt.addTag(item, text);
  }
  int finish(ReceiptDoc& receipt, bytes::View data) {
    std::uint16_t missing = 0;
    return receipt.finish(kNow, kKey, data, missing, state_);
  }
  // Kind 0: 2 × 45.50 of section 1 under VAT, 10.00 less 10 % (CLUB) of section 2 without
  // tax; paid 100.00 in cash and 5.00 by card.
  ReceiptDoc sale() {
    ReceiptDoc receipt = opened(0);
    Item bread;
    bread.quantity = Decimal(1000, 2000);
    bread.unit = std::string("ШТ"_cp866);
    Item milk;
    milk.name = "MILK";
    milk.price = 1000;
    milk.section = 2;
    milk.taxIndex = 3;
    milk.discount = 1;
    milk.productCode = "46";
    EXPECT_EQ(add(receipt, bread.tlv()), 0);
    EXPECT_EQ(add(receipt, milk.tlv()), 0);
    EXPECT_EQ(finish(receipt, payment(10000, 500)), 0);
    return receipt;
  }

  receipt_testing::Tables tables_;
  ModelData model_;
  RegData registration_;
  DeviceState state_;
};

TEST_F(ReceiptDocTest, Open_TakesKindShiftAndNumberAndChecksTheRights) {
  struct Case {
    bytes::Bytes data;
    std::uint16_t rights;
    int code;
    std::uint16_t receiptNumber;
  };
  const Case cases[] = {
      {{}, 0x11, 42, 0},          {{15}, 0x11, 42, 0},  {{0}, 0x01, 0, 12},  {{1}, 0x10, 16, 0},
      {{2}, 0x01, 16, 0},         {{3}, 0x10, 0, 12},   {{7}, 0x02, 0, 12},  {{14}, 0x00, 0, 12},
      {{0, 5, 'A', 'B'}, 0x01, 39, 0},
  };
  for (const Case& c : cases) {
    Cashier cashier = operatorCashier();
    cashier.rights = c.rights;
    ReceiptDoc receipt = make(cashier);
    EXPECT_EQ(receipt.applyOpenData(c.data, state_), c.code) << c.data.size();
    EXPECT_EQ(receipt.receiptNumber(), c.receiptNumber);
    if (c.code == 0) {
      EXPECT_EQ(receipt.shiftNumber(), 5);
    }
  }
  const std::pair<std::uint8_t, std::string_view> titles[] = {
      {0, "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК НА ТОВАРЫ (УСЛУГИ)"_cp866}, {1, "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК ВЫДАЧИ СРЕДСТВ"_cp866},
      {2, "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК ВЫДАЧИ СРЕДСТВ"_cp866}, {3, "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК НА ТОВАРЫ (УСЛУГИ)"_cp866},
      {7, ""}};
  for (const auto& [kind, title] : titles) {
    EXPECT_EQ(opened(kind).title(), title) << int{kind};
    EXPECT_EQ(ReceiptDoc::isIncomingKind(kind), kind == 0 || kind == 3);
  }
  EXPECT_EQ(ReceiptDoc().title(), "");
}

TEST_F(ReceiptDocTest, AddTag_RefusedLinesLeaveTheReceiptUnchanged) {
  const auto with = [](auto change) {
    Item item;
    change(item);
    return item.tlv();
  };
  const auto appended = [](const TlvItem& line, const bytes::Bytes& more) {
    bytes::Bytes value = line.value();
    bytes::appendBytes(value, more);
    return TlvItem(line.tag(), value);
  };
  TlvItem cashierName;
  cashierName.setText(11021, "X");
  const std::pair<TlvItem, int> cases[] = {
      {cashierName, 34},
      {TlvItem(11059, {}), 19},
      {TlvItem(11059, {1, 2, 3}), 19},
      {appended(Item().tlv(), {1, 2, 3}), 22},
      {appended(Item().tlv(), {0xDF, 0x2E, 2, 0, 1, 2}), 22},  // unknown sub-tag 11999
      {with([](Item& i) { i.taxIndex = 6; }), 45},
      {with([](Item& i) { i.taxIndex = 2; }), 45},  // a slot that is not set
      {with([](Item& i) { i.section = 21; }), 43},
      {with([](Item& i) { i.discount = 3; }), 44},  // not set
      {with([](Item& i) { i.discount = 21; }), 44},
      {with([](Item& i) { i.section = 0; }), 46},
      {with([](Item& i) { i.taxIndex = 0; }), 46},
      {with([](Item& i) { i.name.clear(); }), 46},
      {with([](Item& i) { i.price = std::uint64_t{1} << 63; }), 46},
      {with([](Item& i) { i.manualDiscount = std::uint64_t{1} << 63; }), 46},
      {with([](Item& i) { i.manualDiscount = 4551; }), 46},
      {with([](Item& i) { i.rawQuantity = {10, 1}; }), 46},  // ten places do not fit the scale
      {with([](Item& i) { i.price = 100000000001; }), 46},
      {with([](Item& i) { i.unit.assign(16, 'U'); }), 46},
      {with([](Item& i) { i.rawQuantity = {9, 1}; }), 0},   // nine do: the last case, accepted
  };
  ReceiptDoc receipt = opened(0);
  const bytes::Bytes before = receipt.statusReply();
  const std::uint32_t sizeBefore = receipt.storedSize();
  testing::internal::CaptureStdout();
  for (const auto& [item, code] : cases) {
    std::string text = "left";
    const bytes::Bytes status = receipt.statusReply();
    EXPECT_EQ(receipt.addTag(item, text), code) << item.encode().size();
    if (code != 0) {
      EXPECT_EQ(text, "left");
      EXPECT_EQ(receipt.statusReply(), status);
      EXPECT_EQ(receipt.storedSize(), sizeBefore);
      EXPECT_TRUE(receipt.storedTaxRates().empty());
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "UNKNOWN TAG 11999 0102\n");
  ASSERT_EQ(receipt.operations().size(), 1u);
  EXPECT_EQ(receipt.operations()[0].quantity.scale(), 1000000000u);
  const std::size_t sectionSize = Section{1, std::string("ХЛЕБ"_cp866)}.toTlv().encode().size();
  EXPECT_EQ(receipt.storedSections().size(), sectionSize)
      << "only the accepted line's records joined the receipt";
  EXPECT_EQ(receipt.taxSums().size(), 1u);
  EXPECT_GT(receipt.storedSize(), sizeBefore);
  EXPECT_EQ(before.size(), 14u);

  ReceiptDoc withoutTables(&model_, &registration_, operatorCashier());
  ASSERT_EQ(withoutTables.applyOpenData(openData(0), state_), 0);
  EXPECT_EQ(add(withoutTables, Item().tlv()), 43);
  Item discounted;
  discounted.discount = 1;
  discounted.section = 0;
  EXPECT_EQ(add(withoutTables, discounted.tlv()), 44);
}

TEST_F(ReceiptDocTest, AddTag_SumsTotalsTaxesAndSectionsAndGivesThePrintedLines) {
  ReceiptDoc receipt = opened(0);
  Item bread;
  bread.quantity = Decimal(1000, 2000);  // 91.00, VAT 15.17
  Item roll;
  roll.price = 1000;
  roll.discount = 1;  // 9.00, VAT 1.50
  Item milk;
  milk.price = 500;
  milk.section = 2;
  milk.taxIndex = 3;
  milk.manualDiscount = 100;  // 4.00 without tax
  std::string text;
  ASSERT_EQ(receipt.addTag(bread.tlv(), text), 0);
  EXPECT_EQ(text, receipt.operations().back().printText());
  ASSERT_EQ(add(receipt, roll.tlv()), 0);
  ASSERT_EQ(add(receipt, milk.tlv()), 0);

  EXPECT_EQ(receipt.total().mantissa(), 10400);
  const std::map<std::uint8_t, std::int64_t> sections{{1, 10000}, {2, 400}}, taxes{{1, 1667}, {3, 400}};
  std::map<std::uint8_t, std::int64_t> gotSections, gotTaxes;
  for (const auto& [number, sum] : receipt.sectionTotals()) gotSections[number] = sum.mantissa();
  for (const auto& [index, sum] : receipt.taxSums()) gotTaxes[index] = sum.mantissa();
  EXPECT_EQ(gotSections, sections);
  EXPECT_EQ(gotTaxes, taxes);
  ASSERT_EQ(receipt.operations().size(), 3u);
  EXPECT_EQ(receipt.operations()[1].discount->name, "CLUB");
  EXPECT_EQ(receipt.operations()[0].section, receipt.operations()[1].section) << "one record per section";

  bytes::Bytes status{3, 0, 12, 0, 3, 0};
  bytes::appendI64(status, 10400);
  EXPECT_EQ(receipt.statusReply(), status);

  // A later change of a table does not reach a record the receipt already holds.
  tables_.sections().saveSection(Section{1, "RENAMED"});
  ASSERT_EQ(add(receipt, bread.tlv()), 0);
  EXPECT_EQ(receipt.operations().back().section->name, "ХЛЕБ"_cp866);
}

// Totals stay within 0 .. 100000000000 kopecks for every kind.
TEST_F(ReceiptDocTest, AddTag_TotalAboveTheLimit_Refused48) {
  for (std::uint8_t kind : {0, 1, 7}) {
    ReceiptDoc receipt = opened(kind);
    Item big;
    big.price = 50000000000;
    ASSERT_EQ(add(receipt, big.tlv()), 0);
    ASSERT_EQ(add(receipt, big.tlv()), 0);
    Item kopeck;
    kopeck.price = 1;
    EXPECT_EQ(add(receipt, kopeck.tlv()), 48) << int{kind};
    EXPECT_EQ(receipt.total().mantissa(), 100000000000);
    EXPECT_EQ(receipt.operations().size(), 2u);
  }
}

// Whatever addTag accepts fits the archive: the size counted covers every stored piece, with
// the payments at their widest.
TEST_F(ReceiptDocTest, AddTag_CountsTheRealStoredSize) {
  ReceiptDoc receipt = opened(0);
  Item line;
  line.name.assign(127, 'N');
  line.productCode.assign(127, 'P');
  line.markingCode.assign(127, 'M');
  line.price = 1;
  int code = 0;
  while ((code = add(receipt, line.tlv())) == 0) {
  }
  EXPECT_EQ(code, 7);
  const std::size_t lineSize = receipt.operations().back().toTlv().encode().size();
  EXPECT_GE(receipt.storedSize() + lineSize, ReceiptDoc::kItemSizeLimit);
  ASSERT_EQ(finish(receipt, payment(std::numeric_limits<std::int64_t>::max() / 2, 0)), 0);
  std::size_t pieces = receipt.toStored().size() + receipt.storedTaxRates().size() + receipt.storedSections().size();
  for (bytes::Bytes piece = receipt.firstStoredOperation(); !piece.empty(); piece = receipt.nextStoredOperation()) {
    pieces += piece.size();
  }
  EXPECT_LE(pieces, receipt.storedSize());
  EXPECT_LT(receipt.storedSize(), ReceiptDoc::kItemSizeLimit);
  EXPECT_GT(pieces + 64, receipt.storedSize()) << "the count is tight: only amounts counted at their widest";
}

TEST_F(ReceiptDocTest, Finish_ChecksPaymentsAndGivesChange) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  struct Case {
    std::uint8_t kind;
    std::int64_t cash, electronic;
    std::uint64_t drawer;
    int code;
    std::int64_t cashKept, change;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 10000, 0},          {0, 15000, 0, 0, 0, 10000, 5000},  {0, 5000, 5000, 0, 0, 5000, 0},
      {0, 5000, 4999, 0, 47, 5000, 0},    {0, 0, 10001, 0, 48, 0, 0},        {0, 20000, 5000, 0, 0, 5000, 15000},
      {0, -100, 200, 0, 22, 0, 0},        {0, 200, -100, 0, 22, 0, 0},       {0, kMax, 1, 0, 48, kMax, 0},
      {3, 15000, 0, 0, 0, 10000, 5000},   {1, 15000, 0, 90000, 48, 15000, 0}, {1, 10000, 0, 9999, 40, 10000, 0},
      {1, 10000, 0, 10000, 0, 10000, 0},  {2, 0, 10000, 0, 0, 0, 0},         {7, 0, 0, 10000, 0, 10000, 0},
      {7, 0, 0, 9999, 40, 10000, 0},
  };
  for (const Case& c : cases) {
    ReceiptDoc receipt = opened(c.kind);
    Item item;
    item.price = 10000;
    ASSERT_EQ(add(receipt, item.tlv()), 0);
    state_.setDrawerCash(c.drawer);
    EXPECT_EQ(finish(receipt, payment(c.cash, c.electronic)), c.code) << int{c.kind} << " " << c.cash;
    if (c.code == 22) continue;
    EXPECT_EQ(receipt.cash().mantissa(), c.cashKept) << int{c.kind} << " " << c.cash;
    EXPECT_EQ(receipt.change().mantissa(), c.change) << int{c.kind} << " " << c.cash;
    EXPECT_EQ(receipt.dateTime(), kNow);
  }
}

TEST_F(ReceiptDocTest, Finish_MissingData_NamesTheMissingTag) {
  ReceiptDoc receipt = opened(0);
  std::uint16_t missing = 0;
  EXPECT_EQ(receipt.finish(kNow, kKey, payment(0), missing, state_), 37);
  EXPECT_EQ(missing, 11059);
  ASSERT_EQ(add(receipt, Item().tlv()), 0);
  for (std::size_t size : {0u, 7u, 8u, 15u, 17u}) {
    EXPECT_EQ(receipt.finish(kNow, kKey, bytes::Bytes(size, 0), missing, state_), 37);
    EXPECT_EQ(missing, size <= 7 ? 11031 : 11081) << size;
  }
  Cashier nameless = operatorCashier();
  nameless.name.clear();
  ReceiptDoc anonymous = make(nameless);
  ASSERT_EQ(anonymous.applyOpenData(openData(0), state_), 0);
  EXPECT_EQ(anonymous.finish(kNow, kKey, payment(0), missing, state_), 37);
  EXPECT_EQ(missing, 11021);
  ReceiptDoc notOpened = make();
  ASSERT_EQ(add(notOpened, Item().tlv()), 0);
  EXPECT_EQ(notOpened.finish(kNow, kKey, payment(0), missing, state_), 42);
}

// The bytes the archive writes for a receipt, written out here item by item.
TEST_F(ReceiptDocTest, StoredPieces_ExactBytesAndTheFiscalSign) {
  ReceiptDoc receipt = sale();
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  ASSERT_TRUE(receipt.closeDocument(descriptor, stored, 42, 1, kKey, 16777220));

  bytes::Bytes expected = commonStoredForm(3, 42, 1, "ИВАНОВ"_cp866, kNow, 0);
  appendU16Item(expected, 11042, 12);
  appendItem(expected, 11020, varInt(10000));  // 91.00 + 9.00
  appendItem(expected, 11031, varInt(9500));   // 100.00 less 5.00 change
  appendItem(expected, 11081, varInt(500));
  appendU16Item(expected, 11038, 5);
  appendItem(expected, 11054, bytes::Bytes{0});
  bytes::Bytes signData = expected;
  bytes::appendU32(signData, registration_.checkValue());
  const std::uint32_t sign = expectedSign(signData);
  const std::size_t signAt = commonStoredForm(3, 42, 1, "ИВАНОВ"_cp866, kNow, 0).size() - 4;
  bytes::storeU32(expected, signAt, sign);
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(receipt.fiscalSign(), sign);
  EXPECT_TRUE(receipt.verifySign(kKey, kSerial));
  EXPECT_EQ(descriptor->dataCheckValue(), crc::crc16(expected));
  EXPECT_EQ(descriptor->dataLength(), expected.size());

  bytes::Bytes vat, noTax, rates;
  appendItem(vat, 13102, bytes::Bytes{1});
  appendU16Item(vat, 13103, 2000);
  appendItem(vat, 13104, bytes::view("VAT"));
  appendItem(vat, 11102, varInt(1517));
  appendItem(noTax, 13102, bytes::Bytes{0});
  appendU16Item(noTax, 13103, 0);
  appendItem(noTax, 13104, bytes::view("БЕЗ НДС"_cp866));
  appendItem(noTax, 11102, varInt(900));
  appendItem(rates, 13105, vat);
  appendItem(rates, 13107, noTax);
  EXPECT_EQ(receipt.storedTaxRates(), rates);

  bytes::Bytes bread, plain, sections;
  appendItem(bread, 11301, bytes::Bytes{1});
  appendItem(bread, 11302, bytes::view("ХЛЕБ"_cp866));
  appendItem(plain, 11301, bytes::Bytes{2});
  appendItem(sections, 11300, bread);
  appendItem(sections, 11300, plain);
  EXPECT_EQ(receipt.storedSections(), sections);

  bytes::Bytes first, second, line;
  appendItem(first, 11030, bytes::view("BREAD"));
  appendItem(first, 12108, bytes::view("ШТ"_cp866));
  appendItem(first, 11301, bytes::Bytes{1});
  appendItem(first, 11199, bytes::Bytes{1});
  appendItem(first, 11102, varInt(1517));
  appendItem(first, 11079, varInt(4550));
  appendItem(first, 11043, varInt(9100));
  appendItem(first, 11023, bytes::Bytes{3, 0xD0, 0x07});
  appendItem(line, 11059, first);
  EXPECT_EQ(receipt.firstStoredOperation(), line);
  appendItem(second, 11163, bytes::view("46"));
  appendItem(second, 11030, bytes::view("MILK"));
  appendItem(second, 11301, bytes::Bytes{2});
  appendItem(second, 11199, bytes::Bytes{3});
  appendItem(second, 11079, varInt(1000));
  appendItem(second, 11304, varInt(100));
  appendItem(second, 11043, varInt(900));
  appendItem(second, 11023, bytes::Bytes{3, 0xE8, 0x03});
  line.clear();
  appendItem(line, 11059, second);
  EXPECT_EQ(receipt.nextStoredOperation(), line);
  EXPECT_TRUE(receipt.nextStoredOperation().empty());
  EXPECT_TRUE(receipt.nextStoredOperation().empty());
  EXPECT_EQ(receipt.firstStoredOperation().size(), 4 + first.size()) << "the iterator starts again";

  bytes::Bytes reply;
  bytes::appendU32(reply, 42);
  bytes::appendU32(reply, sign);
  bytes::appendU32(reply, kNow);
  bytes::appendU16(reply, 5);
  bytes::appendU16(reply, 12);
  bytes::appendI64(reply, 10000);
  bytes::appendI64(reply, 500);
  EXPECT_EQ(receipt.closeReply(state_), reply);
}

TEST_F(ReceiptDocTest, Rebuild_FromAllPieces_GivesTheReceiptFieldByField) {
  ReceiptDoc receipt = sale();
  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes data;
  ASSERT_TRUE(receipt.closeDocument(descriptor, data, 42, 1, kKey, 16777220));
  bytes::appendBytes(data, receipt.storedTaxRates());
  bytes::appendBytes(data, receipt.storedSections());
  for (bytes::Bytes piece = receipt.firstStoredOperation(); !piece.empty(); piece = receipt.nextStoredOperation()) {
    bytes::appendBytes(data, piece);
  }
  descriptor->setDataLength(static_cast<std::uint16_t>(data.size()));

  testing::internal::CaptureStdout();
  const auto rebuilt = std::dynamic_pointer_cast<ReceiptDoc>(rebuildDocument(*descriptor, data, &model_, &registration_));
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(log.find("UNKNOWN TAG 11102 2"), log.find("UNKNOWN TAG")) << "the computed items are logged";
  EXPECT_EQ(rebuilt->kind(), 0);
  EXPECT_EQ(rebuilt->receiptNumber(), 12);
  EXPECT_EQ(rebuilt->documentNumber(), 42u);
  EXPECT_EQ(rebuilt->shiftNumber(), 5);
  EXPECT_EQ(rebuilt->dateTime(), kNow);
  EXPECT_EQ(rebuilt->cashier().name, "ИВАНОВ"_cp866);
  EXPECT_EQ(rebuilt->total().mantissa(), 10000);
  EXPECT_EQ(rebuilt->cash().mantissa(), 9500);
  EXPECT_EQ(rebuilt->electronic().mantissa(), 500);
  EXPECT_EQ(rebuilt->toStored(), receipt.toStored());
  EXPECT_EQ(rebuilt->storedTaxRates(), receipt.storedTaxRates());
  EXPECT_EQ(rebuilt->storedSections(), receipt.storedSections());
  EXPECT_TRUE(rebuilt->verifySign(kKey, kSerial));
  EXPECT_EQ(rebuilt->taxSums().size(), 2u);
  ASSERT_EQ(rebuilt->operations().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const ReceiptOperation& a = receipt.operations()[i];
    const ReceiptOperation& b = rebuilt->operations()[i];
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.unit, a.unit);
    EXPECT_EQ(b.productCode, a.productCode);
    EXPECT_EQ(b.markingCode, a.markingCode);
    EXPECT_EQ(b.price.mantissa(), a.price.mantissa());
    EXPECT_EQ(b.quantity.scale(), a.quantity.scale());
    EXPECT_EQ(b.quantity.mantissa(), a.quantity.mantissa());
    EXPECT_EQ(b.taxIndex, a.taxIndex);
    EXPECT_EQ(b.section->number, a.section->number);
    EXPECT_EQ(b.section->name, a.section->name);
    EXPECT_EQ(b.taxRate->displayName(), a.taxRate->displayName());
    EXPECT_EQ(b.total().mantissa(), a.total().mantissa());
    EXPECT_EQ(b.taxAmount().mantissa(), a.taxAmount().mantissa());
    EXPECT_EQ(b.printText(), i == 0 ? a.printText() : b.printText());
  }
  EXPECT_EQ(rebuilt->sectionTotals().at(1).mantissa(), 9100);
  EXPECT_EQ(rebuilt->reprintHeaderText(), receipt.reprintHeaderText());
}

TEST_F(ReceiptDocTest, Accumulation_AddsTheReceiptToEachBlock) {
  ReceiptDoc receipt = sale();
  CounterSet counters;
  counters.receipts = 4;
  counters.drawerCash = 100;
  counters.byKind[0].receipts = 2;
  counters.byKind[0].total = 7;
  counters.byKind[0].taxSums[0] = 3;
  CounterSet expected = counters;
  expected.receipts = 5;
  expected.drawerCash = 100 + 9500;
  expected.byKind[0] = {0, 3, 10007, 9500, 500, {}, {1520, 0, 900, 0, 0}};
  ASSERT_TRUE(receipt.addToCounters(&counters));
  EXPECT_EQ(counters, expected);

  TotalCounters totals;
  TotalCounters expectedTotals;
  expectedTotals.receipts = 1;
  expectedTotals.byKind[0] = {0, 1, 10000, 9500, 500, {}};
  ASSERT_TRUE(receipt.addToSummary(&totals));
  EXPECT_EQ(totals, expectedTotals);

  SectionSums sums;
  sums.bySection[1] = 1;
  ASSERT_TRUE(receipt.addToSectionSums(&sums));
  SectionSums expectedSums;
  expectedSums.bySection[0] = 9100;
  expectedSums.bySection[1] = 901;
  EXPECT_EQ(sums, expectedSums);
  EXPECT_FALSE(receipt.addToCounters(nullptr));
  EXPECT_FALSE(receipt.addToSummary(nullptr));
  EXPECT_FALSE(receipt.addToSectionSums(nullptr));

  // Outgoing: the drawer never goes below 0. Kinds above 3 change only the count and the drawer.
  for (std::uint8_t kind : {1, 7}) {
    ReceiptDoc outgoing = opened(kind);
    ASSERT_EQ(add(outgoing, Item().tlv()), 0);
    ASSERT_EQ(finish(outgoing, payment(4550)), 0);
    CounterSet block;
    block.drawerCash = 4000;
    CounterSet after = block;
    after.receipts = 1;
    after.drawerCash = 0;
    if (kind == 1) after.byKind[1] = {1, 1, 4550, 4550, 0, {}, {758, 0, 0, 0, 0}};
    ASSERT_TRUE(outgoing.addToCounters(&block));
    EXPECT_EQ(block, after) << int{kind};
    TotalCounters summary;
    ASSERT_TRUE(outgoing.addToSummary(&summary));
    EXPECT_EQ(summary.receipts, 1u);
    EXPECT_EQ(summary.byKind[1].receipts, kind == 1 ? 1u : 0u);
  }
}

// Each line of the footer is its own block; font fields 0 and 1 both print the small font.
TEST_F(ReceiptDocTest, PrintedTexts_HeaderFooterAndCopy) {
  const std::string left = "\x1B" "a" + std::string(1, '\0') + "\x1B" "3\x01\x1B!\x01\x1D" "B" + std::string(1, '\0');
  const std::string big = "\x1B" "a" + std::string(1, '\0') + "\x1B" "3\x01\x1B!\x31\x1D" "B" + std::string(1, '\0');
  const auto line = [](std::string_view l, std::string_view r, std::size_t width) {
    return std::string(l) + std::string(width - l.size() - r.size(), ' ') + std::string(r) + "\n";
  };
  for (unsigned paper : {60u, 80u}) {
    printerSettings().setPaperWidth(static_cast<std::uint8_t>(paper));
    const std::size_t small = paper == 60 ? 44 : 64;
    ReceiptDoc receipt = sale();
    ASSERT_EQ(finish(receipt, payment(10000, 500)), 0);
    const std::string header = receipt.headerText();
    EXPECT_EQ(header.substr(header.size() - left.size() - small - 1),
              left + line("ПРОДАЖА ЧЕК 12"_cp866, "СМЕНА 5"_cp866, small));
    const std::string expectedLines =
        big + line("ИТОГО"_cp866, "100.00", small / 2) + left + line("НАЛИЧНЫМИ"_cp866, "100.00", small) + left +
        line("БЕЗНАЛИЧНЫМИ"_cp866, "5.00", small) + big + line("СДАЧА"_cp866, "5.00", small / 2) + left +
        line("VAT", "15.17", small) + left + line("БЕЗ НДС"_cp866, "9.00", small) + "\n";
    EXPECT_EQ(receipt.footerText(true), expectedLines + receipt.BaseWorkDocument::footerText(true)) << paper;
    EXPECT_EQ(receipt.reprintHeaderText(),
              left + line("КАССИР"_cp866, "ИВАНОВ"_cp866, small) + line("ПРОДАЖА ЧЕК 12"_cp866, "ФД 0"_cp866, small));
    EXPECT_EQ(receipt.reprintTotalsText(), left + line("ИТОГО"_cp866, "100.00", small) +
                                               line("НАЛИЧНЫМИ"_cp866, "100.00", small) +
                                               line("БЕЗНАЛИЧНЫМИ"_cp866, "5.00", small) + line("VAT", "15.17", small) +
                                               line("БЕЗ НДС"_cp866, "9.00", small));
  }
  // Without change or card payment those lines are left out of the footer, not of the copy.
  ReceiptDoc plain = opened(7);
  ASSERT_EQ(add(plain, Item().tlv()), 0);
  ASSERT_EQ(finish(plain, payment(0)), 0);
  EXPECT_EQ(plain.footerText(false).find("СДАЧА"_cp866), std::string::npos);
  EXPECT_EQ(plain.footerText(false).find("БЕЗНАЛИЧНЫМИ"_cp866), std::string::npos);
  EXPECT_NE(plain.reprintTotalsText().find("БЕЗНАЛИЧНЫМИ"_cp866), std::string::npos);
}

TEST_F(ReceiptDocTest, Clone_CopiesTheReceiptWithItsOwnRecords) {
  ReceiptDoc receipt = sale();
  const auto copy = std::dynamic_pointer_cast<ReceiptDoc>(receipt.clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->toStored(), receipt.toStored());
  EXPECT_EQ(copy->storedTaxRates(), receipt.storedTaxRates());
  EXPECT_EQ(copy->storedSections(), receipt.storedSections());
  EXPECT_EQ(copy->storedSize(), receipt.storedSize());
  ASSERT_EQ(copy->operations().size(), 2u);
  EXPECT_NE(copy->operations()[1].discount, receipt.operations()[1].discount);
  EXPECT_EQ(copy->operations()[1].toTlv(), receipt.operations()[1].toTlv());
  EXPECT_EQ(copy->change().mantissa(), 0) << "change is not copied";
}

}  // namespace
