// One item line of a receipt: what was sold, at what price and quantity, in which section,
// under which tax rate and with which discount; its money values, its stored form and its
// printed lines.
//
// Stored form: container 11059 of, in this order,
//   11163 product code (text, when not empty)   12000 marking code (text, when not empty)
//   11030 name (text, when not empty)           12108 unit (text, when not empty)
//   11301 section number (u8, with a section)   11199 tax index (u8)
//   11102 tax amount (variable integer, kopecks; with a rate that yields one)
//   11079 price (variable integer, kopecks)
//   11304 programmed discount amount (variable integer, kopecks; with a usable discount)
//   11043 total after the discount (variable integer, kopecks)
//   11023 quantity (decimal number)
// A manual discount is not stored on its own: it shows only in the total, and a line read back
// without 11304 takes the cost less 11043 as its manual discount.
//
// The section, tax rate and discount are records owned by the receipt; an operation only
// points at them.
#pragma once

#include <cstdint>
#include <string>

#include "reference/discount.h"
#include "reference/section.h"
#include "reference/tax_rate.h"
#include "values/decimal.h"
#include "values/tlv.h"

class ReceiptOperation {
 public:
  static constexpr std::size_t kMaxCodeSize = 127;
  static constexpr std::size_t kMaxNameSize = 127;
  static constexpr std::size_t kMaxUnitSize = 15;
  // The largest cost of one item, in kopecks (1 000 000 000.00).
  static constexpr std::int64_t kMaxCost = 100000000000;

  std::string productCode;
  std::string markingCode;
  std::string name;
  std::string unit;
  Decimal price;     // scale 100
  Decimal quantity;  // the scale its source gave
  std::uint8_t taxIndex = 0;
  const Section* section = nullptr;
  const TaxRate* taxRate = nullptr;
  const Discount* discount = nullptr;
  Decimal manualDiscount;  // scale 100; counts only without a usable programmed discount

  // price × quantity at the price's scale. Exact for every operation that isValid() accepts.
  Decimal cost() const;
  // The programmed discount's amount of the cost when the discount is usable, else the manual
  // discount.
  Decimal itemDiscount() const;
  Decimal total() const;
  // The rate's tax of the total; zero at scale 100 without a rate.
  Decimal taxAmount() const;
  // True when the rate is set and yields a tax amount.
  bool hasTaxAmount() const;

  // A complete line whose money values are exact: price and manual discount not negative, a
  // quantity above zero with at most nine decimal places, a cost of at most kMaxCost and a
  // total not negative; a usable tax rate with index 1 to 5, a section 1 to 20, a name, and
  // codes, name and unit within their sizes.
  bool isValid() const;

  // The container 11059 (layout above).
  TlvItem toTlv() const;
  // Fills the fields from a stored container; the section number and tax index it names go to
  // the out values (0 when absent), and the caller sets the references. A stored programmed
  // discount (11304) becomes the manual discount; without one, the cost less the stored total
  // (11043) does, so that total() is the stored total. Unknown items (including the 11102 that
  // toTlv writes) are logged and skipped.
  void setStorageTag(const TlvItem& container, std::uint8_t& sectionNumber, std::uint8_t& taxIndexOut);

  // The quantity without trailing zero places (2.000 gives "2", 0.250 gives "0.25"), with " "
  // and the unit when asked for and there is one.
  std::string quantityText(bool withUnit) const;
  // The item's printed lines, rendered without the cut: the section and code line, the price
  // line, a discount line and a tax line.
  std::string printText() const;

 private:
  // Whether price × quantity stays within kMaxCost, decided without the product wrapping.
  bool costFits() const;
};
