// The register's own rules over a stored receipt's pieces, which no check value covers: the
// tax-rate items, the section items and the item lines after the stored form. Part of the
// archive consistency checker.
//
// Each line must be one the register accepts (a name, codes and unit within their sizes, a
// quantity above zero, a tax index naming a rate of the registration, a section 1 to 20), and
// its total must be price × quantity less its programmed discount (11304), or, without one,
// lie between 0 and price × quantity (the difference is a manual discount); its tax amount
// (11102) is the rate's tax of its total, present exactly when the rate yields one. The lines'
// totals add up to the receipt's total; each tax-rate item is the registration's rate of its
// index with the tax sum of the lines under it; the tax rates and sections stored are exactly
// those the lines name.
//
// A changed byte is reported once, at the field it changed where the rules tell which one:
// a line total that breaks both its line's rule and the receipt's sum is that total; a tax
// amount that fits another stored rate tells a changed tax index. Where they cannot tell
// (price, quantity and discount together make the line's total), the break is reported at the
// line.
//
// No rule sees a changed byte in a text the register keeps as given (item names, product and
// marking codes, units, section names), a price or quantity raised on a line without a
// programmed discount (it reads as a manual discount), or a section number changed to another
// section the receipt uses.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "documents/reg_data.h"
#include "values/bytes.h"

namespace receipt_checker {

struct Break {
  std::size_t offset = 0;  // within the receipt's data
  std::string field;       // "item line 2: total"
  std::string detail;      // the values found and expected
};

struct Result {
  std::vector<Break> breaks;
  // The data as the register stored them, where the breaks tell what was changed (a line's
  // total, a tax-rate item); empty when nothing was put right. What the receipt adds to the
  // counters is taken from these.
  bytes::Bytes repaired;
};

// `data`: the receipt's data, whose items all decode (type byte, stored form, pieces).
// `registration`: the registration the receipt was made under; null when it is not known (the
// tax rates are then taken as stored and not compared).
Result checkReceipt(bytes::View data, const RegData* registration);

}  // namespace receipt_checker
