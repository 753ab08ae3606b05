#include "reference/receipt_operation.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/log.h"
#include "printer/print_layout.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

// Above this estimate of price × quantity in kopecks the cost surely exceeds kMaxCost; below
// it the exact product fits 64 bits, so the Decimal product is exact.
constexpr double kCostEstimateLimit = 2.0 * static_cast<double>(ReceiptOperation::kMaxCost);

// Printed labels. (Kept as named constants: one compiler in use crashes on a local variable
// initialised from a CP866 literal.)
constexpr std::string_view kSectionLabel = "ОТДЕЛ\t"_cp866;
constexpr std::string_view kCodeLabel = "КОД\t"_cp866;
constexpr std::string_view kAfterDiscountLabel = "C УЧЕТОМ СКИДКИ\t"_cp866;  // the first letter is a Latin C
constexpr std::string_view kManualDiscountLabel = "СКИДКА\t"_cp866;

std::uint64_t rawMantissa(const Decimal& value) { return static_cast<std::uint64_t>(value.mantissa()); }

std::string replaceFirstTab(std::string text) {
  if (const auto tab = text.find('\t'); tab != std::string::npos) text[tab] = ' ';
  return text;
}

// One line L TAB R when both fit with their first TABs as spaces, else two lines.
void addPair(PrintBlock& block, const std::string& left, const std::string& right) {
  if (left.size() + right.size() < charsPerLine(block.style())) {
    block.addText(replaceFirstTab(left) + "\t" + replaceFirstTab(right));
  } else {
    block.addText(left);
    block.addText(right);
  }
}

}  // namespace

Decimal ReceiptOperation::cost() const { return price * quantity; }

Decimal ReceiptOperation::itemDiscount() const {
  if (discount != nullptr && discount->isValid()) return discountAmount(*discount, cost());
  return manualDiscount;
}

Decimal ReceiptOperation::total() const { return cost() - itemDiscount(); }

Decimal ReceiptOperation::taxAmount() const {
  return taxRate != nullptr ? taxRate->taxAmountFor(total()) : Decimal(Decimal::kMoneyScale);
}

bool ReceiptOperation::hasTaxAmount() const { return taxRate != nullptr && !taxRate->hasNoTaxAmount(); }

bool ReceiptOperation::costFits() const {
  if (price.mantissa() < 0 || quantity.mantissa() <= 0 || !quantity.isRepresentable()) return false;
  if (price.toDouble() * quantity.toDouble() * Decimal::kMoneyScale > kCostEstimateLimit) return false;
  return cost().rescaled(Decimal::kMoneyScale).mantissa() <= kMaxCost;
}

bool ReceiptOperation::isValid() const {
  if (manualDiscount.mantissa() < 0 || !costFits()) return false;
  if (total().mantissa() < 0) return false;
  if (taxRate == nullptr || !taxRate->isValid()) return false;
  if (taxIndex < 1 || taxIndex > 5) return false;
  if (section == nullptr || !section->isValid()) return false;
  if (name.empty()) return false;
  return productCode.size() <= kMaxCodeSize && markingCode.size() <= kMaxCodeSize && name.size() <= kMaxNameSize &&
         unit.size() <= kMaxUnitSize;
}

TlvItem ReceiptOperation::toTlv() const {
  TlvList items;
  const auto addText = [&items](std::uint16_t tag, const std::string& text) {
    if (!text.empty()) items.emplace_back().setText(tag, text);
  };
  addText(tag::kProductCode, productCode);
  addText(tag::kMarkingCode, markingCode);
  addText(tag::kItemName, name);
  addText(tag::kUnit, unit);
  if (section != nullptr) items.emplace_back().setU8(tag::kSectionNumber, section->number);
  items.emplace_back().setU8(tag::kTaxIndex, taxIndex);
  if (hasTaxAmount()) items.emplace_back().setVarInt(tag::kItemTaxAmount, rawMantissa(taxAmount()));
  items.emplace_back().setVarInt(tag::kPrice, rawMantissa(price));
  if (discount != nullptr && discount->isValid()) {
    items.emplace_back().setVarInt(tag::kItemDiscount, rawMantissa(itemDiscount()));
  }
  items.emplace_back().setVarInt(tag::kItemTotal, rawMantissa(total()));
  items.emplace_back().setDecimal(tag::kQuantity, quantity);
  TlvItem container;
  container.setList(tag::kReceiptItem, items);
  return container;
}

void ReceiptOperation::setStorageTag(const TlvItem& container, std::uint8_t& sectionNumber,
                                     std::uint8_t& taxIndexOut) {
  sectionNumber = 0;
  taxIndexOut = 0;
  std::optional<Decimal> storedTotal;
  bool programmedDiscount = false;
  for (const TlvItem& item : parseList(container)) {
    switch (item.tag()) {
      case tag::kTaxIndex: taxIndex = taxIndexOut = item.getU8(); break;
      case tag::kItemName: name = item.getText(); break;
      case tag::kProductCode: productCode = item.getText(); break;
      case tag::kMarkingCode: markingCode = item.getText(); break;
      case tag::kUnit: unit = item.getText(); break;
      case tag::kQuantity: quantity = item.getDecimal(); break;
      case tag::kPrice: price = Decimal(Decimal::kMoneyScale, item.getVarInt()); break;
      case tag::kItemDiscount:
        manualDiscount = Decimal(Decimal::kMoneyScale, item.getVarInt());
        programmedDiscount = true;
        break;
      case tag::kItemTotal: storedTotal = Decimal(Decimal::kMoneyScale, item.getVarInt()); break;
      case tag::kSectionNumber: sectionNumber = item.getU8(); break;
      default:
        platform::logLine("ReceiptOperation::setStorageTag UNKNOWN TAG " + std::to_string(item.tag()) + " " +
                          std::to_string(item.value().size()) + " " + bytes::hexUpper(item.value()));
        break;
    }
  }
  // A manual discount is stored only inside the line's total.
  if (storedTotal && !programmedDiscount) manualDiscount = cost() - *storedTotal;
}

std::string ReceiptOperation::quantityText(bool withUnit) const {
  std::string text = quantity.toString();
  if (const auto point = text.find('.'); point != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  if (withUnit && !unit.empty()) text += " " + unit;
  return text;
}

std::string ReceiptOperation::printText() const {
  PrintBlock block(PrintStyle(PrintStyle::kLeft, 1));
  std::string sectionPart;
  if (section != nullptr) {
    sectionPart = section->name.empty() ? std::string(kSectionLabel) + std::to_string(section->number) : section->name;
  }
  const std::string codePart = productCode.empty() ? std::string() : std::string(kCodeLabel) + productCode;
  addPair(block, sectionPart, codePart);

  const std::string pricePart = "\t" + price.toString() + " x " + quantityText(true) + " = " + cost().toString();
  if (name.size() + pricePart.size() < charsPerLine(block.style())) {
    block.addText(name + pricePart);
  } else {
    block.addText(name);
    block.addText(pricePart);
  }

  const std::string afterDiscount = std::string(kAfterDiscountLabel) + total().toString();
  if (discount != nullptr && discount->isValid()) {
    addPair(block, displayName(*discount) + "\t" + itemDiscount().toString(), afterDiscount);
  } else if (manualDiscount.mantissa() > 0) {
    addPair(block, std::string(kManualDiscountLabel) + itemDiscount().toString(), afterDiscount);
  }

  if (taxRate != nullptr) {
    block.addText(taxRate->displayName() + (hasTaxAmount() ? "\t" + taxAmount().toString() : std::string()));
  }
  return render(block, false);
}
