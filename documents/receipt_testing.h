// Test support for receipts: section and discount tables on temporary files, item lines as the
// host sends them, and payment data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "documents/receipt_doc.h"
#include "platform/temporary_directory.h"
#include "values/bytes.h"
#include "values/cp866.h"
#include "values/tags.h"
#include "values/tlv.h"

namespace receipt_testing {

// Sections 1 "ХЛЕБ" and 2 (unnamed) and discounts 1 ("CLUB", 10 %) and 2 (unnamed, 5.00) in
// tables on a fresh temporary directory.
class Tables {
 public:
  Tables()
      : sections_((root_.path() / "SECTIONS").string()), discounts_((root_.path() / "DISCOUNTS").string()) {
    sections_.loadSections();
    discounts_.loadDiscounts();
    sections_.saveSection(Section{1, std::string("ХЛЕБ"_cp866)});
    discounts_.saveDiscount(Discount{1, Discount::kPercentage, 1000, "CLUB"});
    discounts_.saveDiscount(Discount{2, Discount::kAmount, 500, ""});
  }

  ReceiptTables tables() { return ReceiptTables{&sections_, &discounts_}; }
  SectionTable& sections() { return sections_; }
  DiscountTable& discounts() { return discounts_; }

 private:
  platform::TemporaryDirectory root_;
  SectionTable sections_;
  DiscountTable discounts_;
};

// One item line as the host sends it; empty texts and zero numbers are left out.
struct Item {
  std::string name = "BREAD";
  std::uint64_t price = 4550;
  Decimal quantity = Decimal(1000, 1000);
  std::uint8_t section = 1;
  std::uint8_t taxIndex = 1;
  std::uint8_t discount = 0;
  std::uint64_t manualDiscount = 0;
  std::string unit;
  std::string productCode;
  std::string markingCode;
  bytes::Bytes rawQuantity;  // when not empty, the quantity item's value as it stands

  TlvItem tlv() const {
    TlvList items;
    if (!name.empty()) items.emplace_back().setText(tag::kItemName, name);
    items.emplace_back().setVarInt(tag::kPrice, price);
    if (rawQuantity.empty()) {
      items.emplace_back().setDecimal(tag::kQuantity, quantity);
    } else {
      items.emplace_back(tag::kQuantity, rawQuantity);
    }
    if (section != 0) items.emplace_back().setU8(tag::kSectionNumber, section);
    if (taxIndex != 0) items.emplace_back().setU8(tag::kTaxIndex, taxIndex);
    if (discount != 0) items.emplace_back().setU8(tag::kDiscountNumber, discount);
    if (manualDiscount != 0) items.emplace_back().setVarInt(tag::kItemDiscount, manualDiscount);
    if (!unit.empty()) items.emplace_back().setText(tag::kUnit, unit);
    if (!productCode.empty()) items.emplace_back().setText(tag::kProductCode, productCode);
    if (!markingCode.empty()) items.emplace_back().setText(tag::kMarkingCode, markingCode);
    TlvItem container;
    container.setList(tag::kReceiptItem, items);
    return container;
  }
};

// Finishing data: cash, then electronic payment, i64 kopecks each.
inline bytes::Bytes payment(std::int64_t cash, std::int64_t electronic = 0) {
  bytes::Bytes data;
  bytes::appendI64(data, cash);
  bytes::appendI64(data, electronic);
  return data;
}

// Open data of a receipt of `kind` without a cashier name.
inline bytes::Bytes openData(std::uint8_t kind) { return bytes::Bytes{kind}; }

}  // namespace receipt_testing
