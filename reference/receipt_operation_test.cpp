#include "reference/receipt_operation.h"

#include <gtest/gtest.h>

#include <limits>

#include "documents/document_testing.h"
#include "printer/printer_settings.h"
#include "values/cp866.h"

namespace {

using document_testing::appendItem;

const RegData& rates() {
  static const RegData registration = [] {
    RegData record = document_testing::sealedRegistration();  // 1: VAT 20 % in prices
    record.setTaxRateSlot(1, document_testing::taxRateSlot(0, 0, "БЕЗ НДС"_cp866));
    record.setTaxRateSlot(2, document_testing::taxRateSlot(2, 1000, "TAX10"));
    return record;
  }();
  return registration;
}
const TaxRate kVat = TaxRate::fromSlot(rates(), 0);
const TaxRate kNoTax = TaxRate::fromSlot(rates(), 1);
const Section kBakery{2, ""};
const Section kNamed{3, std::string("МОЛОКО"_cp866)};

Decimal money(std::int64_t kopecks) { return Decimal(Decimal::kMoneyScale, kopecks); }

ReceiptOperation bread() {
  ReceiptOperation operation;
  operation.name = std::string("ХЛЕБ"_cp866);
  operation.price = money(4550);
  operation.quantity = Decimal(1000, 2000);
  operation.unit = std::string("ШТ"_cp866);
  operation.taxIndex = 1;
  operation.taxRate = &kVat;
  operation.section = &kBakery;
  return operation;
}

TEST(ReceiptOperation, MoneyValues_FollowPriceQuantityAndDiscount) {
  const Discount tenPercent{1, 1, 1000, ""};
  const Discount unusable{2, 1, 0, ""};
  struct Case {
    std::int64_t price;
    Decimal quantity;
    const Discount* discount;
    std::int64_t manual;
    std::int64_t cost, discountAmount, total, tax;
  };
  const Case cases[] = {
      {1235, Decimal(1000, 333), nullptr, 0, 411, 0, 411, 68},
      {10000, Decimal(1, 1), &tenPercent, 0, 10000, 1000, 9000, 1500},
      {10000, Decimal(1, 1), &unusable, 500, 10000, 500, 9500, 1584},  // the manual one counts
      {4550, Decimal(1000, 2000), nullptr, 500, 9100, 500, 8600, 1434},
  };
  for (const Case& c : cases) {
    ReceiptOperation operation = bread();
    operation.price = money(c.price);
    operation.quantity = c.quantity;
    operation.discount = c.discount;
    operation.manualDiscount = money(c.manual);
    EXPECT_EQ(operation.cost().mantissa(), c.cost) << c.price;
    EXPECT_EQ(operation.itemDiscount().mantissa(), c.discountAmount) << c.price;
    EXPECT_EQ(operation.total().mantissa(), c.total) << c.price;
    EXPECT_EQ(operation.taxAmount().mantissa(), c.tax) << c.price;
    EXPECT_TRUE(operation.isValid()) << c.price;
  }
  ReceiptOperation untaxed = bread();
  untaxed.taxRate = nullptr;
  EXPECT_EQ(untaxed.taxAmount(), money(0));
}

TEST(ReceiptOperation, IsValid_RefusesIncompleteLinesAndAmountsThatDoNotFit) {
  const Section outside{21, ""};
  const std::pair<const char*, void (*)(ReceiptOperation&)> faults[] = {
      {"total below zero", [](ReceiptOperation& o) { o.manualDiscount = money(9101); }},
      {"no tax rate", [](ReceiptOperation& o) { o.taxRate = nullptr; }},
      {"tax index 6", [](ReceiptOperation& o) { o.taxIndex = 6; }},
      {"tax index 0", [](ReceiptOperation& o) { o.taxIndex = 0; }},
      {"no section", [](ReceiptOperation& o) { o.section = nullptr; }},
      {"empty name", [](ReceiptOperation& o) { o.name.clear(); }},
      {"quantity 0", [](ReceiptOperation& o) { o.quantity = Decimal(1000, 0); }},
      {"negative quantity", [](ReceiptOperation& o) { o.quantity = Decimal(1000, -1); }},
      {"128-byte name", [](ReceiptOperation& o) { o.name.assign(128, 'N'); }},
      {"128-byte product code", [](ReceiptOperation& o) { o.productCode.assign(128, 'P'); }},
      {"128-byte marking code", [](ReceiptOperation& o) { o.markingCode.assign(128, 'M'); }},
      {"16-byte unit", [](ReceiptOperation& o) { o.unit.assign(16, 'U'); }},
      // Unsigned host values that land in signed mantissas.
      {"negative price", [](ReceiptOperation& o) { o.price = Decimal(100, std::uint64_t{1} << 63); }},
      {"negative manual discount", [](ReceiptOperation& o) { o.manualDiscount = Decimal(100, std::uint64_t{1} << 63); }},
      {"ten places", [](ReceiptOperation& o) { o.quantity.setDigits(10); }},
      {"cost one kopeck above the limit", [](ReceiptOperation& o) { o.price = money(100000000001); o.quantity = Decimal(1, 1); }},
      {"cost that wraps", [](ReceiptOperation& o) { o.price = money(std::int64_t{1} << 62); o.quantity = Decimal(1, 4); }},
      {"cost beyond 64 bits", [](ReceiptOperation& o) { o.price = money(std::int64_t{1} << 40); o.quantity = Decimal(1, std::int64_t{1} << 40); }},
  };
  for (const auto& [what, damage] : faults) {
    ReceiptOperation operation = bread();
    damage(operation);
    EXPECT_FALSE(operation.isValid()) << what;
  }

  ReceiptOperation limit = bread();
  limit.price = money(ReceiptOperation::kMaxCost);
  limit.quantity = Decimal(1, 1);
  EXPECT_TRUE(limit.isValid());
  limit.quantity = Decimal(1000000000, 1000000000);  // nine places
  EXPECT_TRUE(limit.isValid());
  ReceiptOperation badSection = bread();
  badSection.section = &outside;
  EXPECT_FALSE(badSection.isValid());
}

// The item as the archive stores it, written out item by item.
TEST(ReceiptOperation, ToTlv_WritesTheStoredItemsInOrder) {
  const Discount tenPercent{1, 1, 1000, ""};
  ReceiptOperation operation = bread();
  operation.productCode = "46";
  operation.markingCode = "MK";
  operation.discount = &tenPercent;
  bytes::Bytes items;
  appendItem(items, 11163, bytes::view("46"));
  appendItem(items, 12000, bytes::view("MK"));
  appendItem(items, 11030, bytes::view("ХЛЕБ"_cp866));
  appendItem(items, 12108, bytes::view("ШТ"_cp866));
  appendItem(items, 11301, bytes::Bytes{2});
  appendItem(items, 11199, bytes::Bytes{1});
  appendItem(items, 11102, bytes::Bytes{0x55, 0x05});  // 13.65 of 81.90
  appendItem(items, 11079, bytes::Bytes{0xC6, 0x11});  // 45.50
  appendItem(items, 11304, bytes::Bytes{0x8E, 0x03});  // 9.10
  appendItem(items, 11043, bytes::Bytes{0xFE, 0x1F});  // 81.90
  appendItem(items, 11023, bytes::Bytes{3, 0xD0, 0x07});
  bytes::Bytes expected;
  appendItem(expected, 11059, items);
  EXPECT_EQ(operation.toTlv().encode(), expected);

  // A manual discount shows only in the total; a rate without tax gives no tax amount.
  ReceiptOperation manual = bread();
  manual.taxIndex = 2;
  manual.taxRate = &kNoTax;
  manual.manualDiscount = money(100);
  const TlvList stored = parseList(manual.toTlv());
  std::vector<std::uint16_t> tags;
  for (const TlvItem& item : stored) tags.push_back(item.tag());
  EXPECT_EQ(tags, (std::vector<std::uint16_t>{11030, 12108, 11301, 11199, 11079, 11043, 11023}));
  EXPECT_EQ(stored[5].getVarInt(), 9000u);
}

TEST(ReceiptOperation, SetStorageTag_RestoresFieldsAndLogsTheComputedOnes) {
  const Discount fixed{4, 0, 250, ""};
  ReceiptOperation original = bread();
  original.productCode = "46";
  original.markingCode = "MK";
  original.discount = &fixed;
  ReceiptOperation back;
  std::uint8_t section = 99, taxIndex = 99;
  testing::internal::CaptureStdout();
  back.setStorageTag(original.toTlv(), section, taxIndex);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log, "ReceiptOperation::setStorageTag UNKNOWN TAG 11102 2 C305\n");
  EXPECT_EQ(section, 2);
  EXPECT_EQ(taxIndex, 1);
  EXPECT_EQ(back.taxIndex, 1);
  EXPECT_EQ(back.name, original.name);
  EXPECT_EQ(back.unit, original.unit);
  EXPECT_EQ(back.productCode, "46");
  EXPECT_EQ(back.markingCode, "MK");
  EXPECT_EQ((compare(back.price, original.price)), std::strong_ordering::equal);
  EXPECT_EQ(back.quantity.scale(), 1000u);
  EXPECT_EQ(back.quantity.mantissa(), 2000);
  EXPECT_EQ(back.manualDiscount.mantissa(), 250);  // the programmed amount comes back as a plain one
  back.section = &kBakery;
  back.taxRate = &kVat;
  EXPECT_EQ(back.total().mantissa(), original.total().mantissa());
  EXPECT_EQ(back.section, &kBakery);

  back.setStorageTag(TlvItem(11059, {}), section, taxIndex);
  EXPECT_EQ(section, 0);
  EXPECT_EQ(taxIndex, 0);
}

// A line read back totals, taxes and prints as the line that was stored: a manual discount
// comes back from the stored total, a programmed one from its stored amount.
TEST(ReceiptOperation, SetStorageTag_LineReadBackTotalsAndPrintsAsStored) {
  const Discount fixed{4, Discount::kAmount, 250, ""};  // printed as "СКИДКА", as a manual one is
  struct Case {
    const char* what;
    std::int64_t manual;
    const Discount* discount;
    Decimal quantity;
  };
  const Case cases[] = {
      {"no discount", 0, nullptr, Decimal(1000, 2000)},
      {"manual", 910, nullptr, Decimal(1000, 2000)},
      {"manual, a quantity of three places", 3, nullptr, Decimal(1000, 333)},
      {"manual, the whole cost", 9100, nullptr, Decimal(1000, 2000)},
      {"programmed", 0, &fixed, Decimal(1000, 2000)},
  };
  for (const Case& c : cases) {
    ReceiptOperation original = bread();
    original.manualDiscount = money(c.manual);
    original.discount = c.discount;
    original.quantity = c.quantity;
    ASSERT_TRUE(original.isValid()) << c.what;
    ReceiptOperation back;
    std::uint8_t section = 0, taxIndex = 0;
    testing::internal::CaptureStdout();
    back.setStorageTag(original.toTlv(), section, taxIndex);
    testing::internal::GetCapturedStdout();
    back.section = &kBakery;
    back.taxRate = &kVat;
    EXPECT_EQ(back.total().mantissa(), original.total().mantissa()) << c.what;
    EXPECT_EQ(back.itemDiscount().mantissa(), original.itemDiscount().mantissa()) << c.what;
    EXPECT_EQ(back.taxAmount().mantissa(), original.taxAmount().mantissa()) << c.what;
    EXPECT_EQ(back.printText(), original.printText()) << c.what;
  }
}

TEST(ReceiptOperation, QuantityText_DropsTrailingZeroPlaces) {
  const std::pair<Decimal, std::string> cases[] = {
      {Decimal(1000, 2000), "2"}, {Decimal(1000, 1500), "1.5"}, {Decimal(1000, 250), "0.25"},
      {Decimal(100, 0), "0"},     {Decimal(1, 10), "10"},        {Decimal(100, 1005), "10.05"}};
  for (const auto& [quantity, text] : cases) {
    ReceiptOperation operation;
    operation.quantity = quantity;
    EXPECT_EQ(operation.quantityText(false), text);
    operation.unit = "KG";
    EXPECT_EQ(operation.quantityText(true), text + " KG");
  }
}

class ReceiptOperationPrint : public testing::Test {
 protected:
  void TearDown() override { printerSettings().setPaperWidth(kDefaultPaperWidth); }
  // The rendered block's lines after the 12-byte style prefix of (left, font field 1).
  static std::string lines(const ReceiptOperation& operation, unsigned paper) {
    printerSettings().setPaperWidth(static_cast<std::uint8_t>(paper));
    const std::string text = operation.printText();
    EXPECT_EQ(text.substr(0, 12), std::string("\x1B" "a\x00\x1B" "3\x01\x1B!\x01\x1D" "B\x00", 12));
    return text.substr(12);
  }
};

// A printed line of `width` columns: `left` at the left end, `right` at the right end.
std::string justified(std::string_view left, std::string_view right, std::size_t width) {
  return std::string(left) + std::string(width - left.size() - right.size(), ' ') + std::string(right) + "\n";
}

TEST_F(ReceiptOperationPrint, Lines_FollowThePairRuleOn60And80Millimetres) {
  const Discount club{5, 1, 750, "CLUB"};
  const Section longName{4, std::string(40, 'S')};
  ReceiptOperation plain = bread();
  ReceiptOperation coded = bread();
  coded.productCode = "4600000000001";
  coded.section = &kNamed;
  coded.discount = &club;
  coded.name.assign(30, 'N');
  ReceiptOperation manual = bread();
  manual.manualDiscount = money(50);
  manual.taxIndex = 2;
  manual.taxRate = &kNoTax;
  ReceiptOperation split = bread();
  split.section = &longName;
  split.productCode = std::string(30, '7');

  const std::string priceText = std::string("45.50 x 2 ШТ = 91.00"_cp866);
  for (std::size_t width : {44u, 64u}) {
    const unsigned paper = width == 44 ? 60 : 80;
    EXPECT_EQ(lines(plain, paper), justified("ОТДЕЛ 2"_cp866, "", width) + justified("ХЛЕБ"_cp866, priceText, width) +
                                       justified("VAT", "15.17", width))
        << paper;
    // 7.5 % of 91.00 is 6.825, which rounds to the even 6.82.
    const std::string namePrice = width == 44 ? std::string(30, 'N') + "\n" + justified("", priceText, width)
                                              : justified(std::string(30, 'N'), priceText, width);
    EXPECT_EQ(lines(coded, paper), justified("МОЛОКО"_cp866, "КОД 4600000000001"_cp866, width) + namePrice +
                                       justified("CLUB 6.82", "C УЧЕТОМ СКИДКИ 84.18"_cp866, width) +
                                       justified("VAT", "14.03", width))
        << paper;
    EXPECT_EQ(lines(manual, paper), justified("ОТДЕЛ 2"_cp866, "", width) + justified("ХЛЕБ"_cp866, priceText, width) +
                                        justified("СКИДКА 0.50"_cp866, "C УЧЕТОМ СКИДКИ 90.50"_cp866, width) +
                                        std::string("БЕЗ НДС\n"_cp866))
        << paper;
    // 40 + 34 bytes do not fit either width: two lines, each with its TAB.
    EXPECT_EQ(lines(split, paper), std::string(40, 'S') + "\n" + justified("КОД"_cp866, std::string(30, '7'), width) +
                                       justified("ХЛЕБ"_cp866, priceText, width) + justified("VAT", "15.17", width))
        << paper;
  }
}

}  // namespace
