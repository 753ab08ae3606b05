#include "documents/receipt_doc.h"

#include <array>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "core/state/result_code.h"
#include "platform/log.h"
#include "printer/print_layout.h"
#include "values/cp866.h"
#include "values/tags.h"

namespace {

constexpr std::size_t kFinishingDataSize = 16;
constexpr std::size_t kNamedKinds = 4;
constexpr std::array<std::string_view, kNamedKinds> kKindNames = {
    "ПРОДАЖА"_cp866, "ПОКУПКА"_cp866, "ВОЗВРАТ ПРОДАЖИ"_cp866, "ВОЗВРАТ ПОКУПКИ"_cp866};
constexpr std::string_view kIncomingTitle = "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК НА ТОВАРЫ (УСЛУГИ)"_cp866;
constexpr std::string_view kOutgoingTitle = "ФИСКАЛЬНЫЙ КАССОВЫЙ ЧЕК ВЫДАЧИ СРЕДСТВ"_cp866;

// fromSlot of a slot above 4 gives the all-zero rate.
constexpr std::size_t kNoSlot = 5;

// An amount as wide as a variable integer gets.
const Decimal kWidestAmount(Decimal::kMoneyScale, std::numeric_limits<std::int64_t>::max());

std::int64_t kopecks(const Decimal& amount) { return amount.rescaled(Decimal::kMoneyScale).mantissa(); }

// Counter sums wrap as 64-bit two's complement instead of overflowing, whatever a damaged
// block holds.
std::int64_t addWrapping(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

std::uint32_t encodedSize(const TlvItem& item) { return static_cast<std::uint32_t>(item.encode().size()); }

TlvItem amountItem(std::uint16_t tag, const Decimal& amount) {
  TlvItem item;
  item.setVarInt(tag, static_cast<std::uint64_t>(kopecks(amount)));
  return item;
}

void addLine(std::string& text, PrintStyle style, const std::string& line) {
  text += render(PrintBlock(style, line), false);
}

}  // namespace

// The records an item line needs that the receipt does not hold yet; they join the receipt
// only with the line.
struct ReceiptDoc::Lookup {
  std::optional<TaxRate> taxRate;
  std::optional<Section> section;
  std::optional<Discount> discount;
};

ReceiptDoc::ReceiptDoc() : BaseWorkDocument(DocumentType::kReceipt) {}

ReceiptDoc::ReceiptDoc(const ModelData* model, const RegData* registration, Cashier cashier, ReceiptTables tables)
    : BaseWorkDocument(DocumentType::kReceipt, model, registration, std::move(cashier)), tables_(tables) {}

bool ReceiptDoc::isComplete() const { return BaseWorkDocument::isComplete() && receiptNumber_ != 0; }

std::shared_ptr<BaseDocument> ReceiptDoc::clone() const {
  auto copy = std::make_shared<ReceiptDoc>();
  copyTo(copy.get());
  return copy;
}

std::string ReceiptDoc::copyBodyText() const {
  std::string text;
  for (const ReceiptOperation& operation : operations_) text += operation.printText();
  return text;
}

std::string ReceiptDoc::kindName() const { return kind_ < kNamedKinds ? std::string(kKindNames[kind_]) : std::string(); }

std::string ReceiptDoc::title() const {
  if (kind_ >= kNamedKinds) return {};
  return std::string(isIncoming() ? kIncomingTitle : kOutgoingTitle);
}

std::string ReceiptDoc::headerText() const {
  return BaseWorkDocument::headerText() +
         render(PrintBlock(PrintStyle(PrintStyle::kLeft, 1), kindName() + std::string(" ЧЕК "_cp866) +
                                                                  std::to_string(receiptNumber_) +
                                                                  std::string("\tСМЕНА "_cp866) +
                                                                  std::to_string(shiftNumber_)),
                false);
}

std::string ReceiptDoc::taxLines() const {
  std::string text;
  for (const auto& [index, rate] : taxRates_) {
    const auto sum = taxSums_.find(index);
    if (sum != taxSums_.end()) addLine(text, PrintStyle(PrintStyle::kLeft, 1), rate.displayName() + "\t" + sum->second.toString());
  }
  return text;
}

std::string ReceiptDoc::footerText(bool withCut) const {
  std::string text;
  const Decimal zero;
  addLine(text, PrintStyle(PrintStyle::kLeft | PrintStyle::kDoubleSize, 0), std::string("ИТОГО\t"_cp866) + total_.toString());
  const Decimal handed = cash_ + change_;
  if (handed > zero) addLine(text, PrintStyle(PrintStyle::kLeft, 1), std::string("НАЛИЧНЫМИ\t"_cp866) + handed.toString());
  if (electronic_ > zero) {
    addLine(text, PrintStyle(PrintStyle::kLeft, 1), std::string("БЕЗНАЛИЧНЫМИ\t"_cp866) + electronic_.toString());
  }
  if (change_ > zero) {
    addLine(text, PrintStyle(PrintStyle::kLeft | PrintStyle::kDoubleSize, 1), std::string("СДАЧА\t"_cp866) + change_.toString());
  }
  text += taxLines();
  text += "\n";
  return text + BaseWorkDocument::footerText(withCut);
}

std::string ReceiptDoc::reprintHeaderText() const {
  PrintBlock block(PrintStyle(PrintStyle::kLeft, 1));
  block.addText(std::string("КАССИР\t"_cp866) + cashier_.name);
  block.addText(kindName() + std::string(" ЧЕК "_cp866) + std::to_string(receiptNumber_) + std::string("\tФД "_cp866) +
                std::to_string(documentNumber_));
  return render(block, false);
}

std::string ReceiptDoc::reprintTotalsText() const {
  PrintBlock block(PrintStyle(PrintStyle::kLeft, 1));
  block.addText(std::string("ИТОГО\t"_cp866) + total_.toString());
  block.addText(std::string("НАЛИЧНЫМИ\t"_cp866) + (cash_ + change_).toString());
  block.addText(std::string("БЕЗНАЛИЧНЫМИ\t"_cp866) + electronic_.toString());
  for (const auto& [index, rate] : taxRates_) {
    const auto sum = taxSums_.find(index);
    if (sum != taxSums_.end()) block.addText(rate.displayName() + "\t" + sum->second.toString());
  }
  return render(block, false);
}

BaseDocument* ReceiptDoc::copyTo(BaseDocument* other) const {
  BaseDocument* target = BaseWorkDocument::copyTo(other);
  auto* receipt = dynamic_cast<ReceiptDoc*>(target);
  if (receipt == nullptr || receipt == this) return target;
  receipt->kind_ = kind_;
  receipt->receiptNumber_ = receiptNumber_;
  receipt->total_ = total_;
  receipt->cash_ = cash_;
  receipt->electronic_ = electronic_;
  receipt->sections_ = sections_;
  receipt->taxRates_ = taxRates_;
  receipt->discounts_ = discounts_;
  receipt->taxSums_ = taxSums_;
  receipt->storedSize_ = storedSize_;
  receipt->operations_ = operations_;
  for (ReceiptOperation& operation : receipt->operations_) {
    if (operation.section != nullptr) operation.section = &receipt->sections_.at(operation.section->number);
    if (operation.taxRate != nullptr) operation.taxRate = &receipt->taxRates_.at(operation.taxIndex);
    if (operation.discount != nullptr) operation.discount = &receipt->discounts_.at(operation.discount->number);
  }
  return target;
}

std::uint32_t ReceiptDoc::widestStoredFormSize() const {
  TlvItem u16Item, u8Item;
  u16Item.setU16(tag::kReceiptNumber, 0);
  u8Item.setU8(tag::kReceiptKind, 0);
  const std::uint32_t widestAmount = encodedSize(amountItem(tag::kReceiptTotal, kWidestAmount));
  // Receipt and shift numbers, three amounts, the kind.
  return static_cast<std::uint32_t>(BaseWorkDocument::toStored().size()) + 2 * encodedSize(u16Item) +
         3 * widestAmount + encodedSize(u8Item);
}

int ReceiptDoc::applyOpenData(bytes::View openData, const DeviceState& state) {
  if (openData.empty() || openData[0] > kLastKind) return result::kBadReceiptKind;
  kind_ = openData[0];
  shiftNumber_ = state.shiftNumber();
  const int opened = BaseWorkDocument::applyOpenData(openData.subspan(1), state);
  if (opened != result::kSuccess) return opened;
  storedSize_ = widestStoredFormSize();
  std::uint16_t needed = 0;
  if (kind_ <= 1) needed = CashierRights::kReceipts;
  if (kind_ == 2 || kind_ == 3) needed = CashierRights::kReturns;
  if (needed != 0 && !(cashier_.rights & needed)) return result::kNoPermission;
  receiptNumber_ = static_cast<std::uint16_t>(state.receiptCounter() + 1);
  return opened;
}

int ReceiptDoc::findTaxRate(unsigned index, Lookup& lookup) const {
  if (index < 1 || index > 5) return result::kTaxRateNotFound;
  if (taxRates_.count(static_cast<std::uint8_t>(index)) != 0) return result::kSuccess;
  const TaxRate rate = TaxRate::fromSlot(registration_, index - 1);
  if (!rate.isValid()) return result::kTaxRateNotFound;
  lookup.taxRate = rate;
  return result::kSuccess;
}

int ReceiptDoc::findSection(unsigned number, Lookup& lookup) const {
  if (!Section::isNumber(number)) return result::kSectionNotFound;
  if (sections_.count(static_cast<std::uint8_t>(number)) != 0) return result::kSuccess;
  Section section;
  if (tables_.sections == nullptr || !tables_.sections->readSection(number, section) || !section.isValid()) {
    return result::kSectionNotFound;
  }
  lookup.section = section;
  return result::kSuccess;
}

int ReceiptDoc::findDiscount(unsigned number, Lookup& lookup) const {
  if (!Discount::isNumber(number)) return result::kDiscountNotFound;
  if (discounts_.count(static_cast<std::uint8_t>(number)) != 0) return result::kSuccess;
  Discount discount;
  if (tables_.discounts == nullptr || !tables_.discounts->readDiscount(number, discount) || !discount.isValid()) {
    return result::kDiscountNotFound;
  }
  lookup.discount = discount;
  return result::kSuccess;
}

int ReceiptDoc::applySubItem(const TlvItem& sub, ReceiptOperation& operation, Lookup& lookup) {
  switch (sub.tag()) {
    case tag::kQuantity: operation.quantity = sub.getDecimal(); return result::kSuccess;
    case tag::kItemName: operation.name = sub.getText(); return result::kSuccess;
    case tag::kPrice: operation.price = Decimal(Decimal::kMoneyScale, sub.getVarInt()); return result::kSuccess;
    case tag::kProductCode: operation.productCode = sub.getText(); return result::kSuccess;
    case tag::kMarkingCode: operation.markingCode = sub.getText(); return result::kSuccess;
    case tag::kUnit: operation.unit = sub.getText(); return result::kSuccess;
    case tag::kItemDiscount:
      operation.manualDiscount = Decimal(Decimal::kMoneyScale, sub.getVarInt());
      return result::kSuccess;
    case tag::kTaxIndex: {
      const std::uint8_t index = sub.getU8();
      lookup.taxRate.reset();
      if (const int found = findTaxRate(index, lookup); found != result::kSuccess) return found;
      operation.taxIndex = index;
      operation.taxRate = lookup.taxRate ? &*lookup.taxRate : &taxRates_.at(index);
      return result::kSuccess;
    }
    case tag::kSectionNumber: {
      const std::uint8_t number = sub.getU8();
      lookup.section.reset();
      if (const int found = findSection(number, lookup); found != result::kSuccess) return found;
      operation.section = lookup.section ? &*lookup.section : &sections_.at(number);
      return result::kSuccess;
    }
    case tag::kDiscountNumber: {
      const std::uint8_t number = sub.getU8();
      lookup.discount.reset();
      if (const int found = findDiscount(number, lookup); found != result::kSuccess) return found;
      operation.discount = lookup.discount ? &*lookup.discount : &discounts_.at(number);
      return result::kSuccess;
    }
    default:
      platform::logLine("UNKNOWN TAG " + std::to_string(sub.tag()) + " " + bytes::hexUpper(sub.value()));
      return result::kBadPayload;
  }
}

int ReceiptDoc::addTag(const TlvItem& item, std::string& printText) {
  if (item.tag() != tag::kReceiptItem) return result::kItemNotTaken;
  bool whole = false;
  const TlvList subItems = parseList(item, &whole);
  if (subItems.empty()) return result::kBadOperatorPrefix;
  if (!whole) return result::kBadPayload;

  ReceiptOperation operation;
  Lookup lookup;
  for (const TlvItem& sub : subItems) {
    if (const int applied = applySubItem(sub, operation, lookup); applied != result::kSuccess) return applied;
  }
  if (!operation.isValid()) return result::kBadReceiptItem;
  if (kopecks(total_) + kopecks(operation.total()) > kMaxTotal) return result::kOverpaid;

  std::uint32_t added = encodedSize(operation.toTlv());
  if (lookup.section) added += encodedSize(lookup.section->toTlv());
  if (lookup.taxRate) added += encodedSize(lookup.taxRate->toTlv(operation.taxIndex - 1u, kWidestAmount));
  if (storedSize_ + added >= kItemSizeLimit) return result::kTooLong;
  storedSize_ += added;

  accept(std::move(operation), lookup);
  printText = operations_.back().printText();
  return result::kSuccess;
}

void ReceiptDoc::accept(ReceiptOperation operation, const Lookup& lookup) {
  if (lookup.taxRate) taxRates_.emplace(operation.taxIndex, *lookup.taxRate);
  if (lookup.section) sections_.emplace(lookup.section->number, *lookup.section);
  if (lookup.discount) discounts_.emplace(lookup.discount->number, *lookup.discount);
  operation.taxRate = &taxRates_.at(operation.taxIndex);
  operation.section = &sections_.at(operation.section->number);
  if (operation.discount != nullptr) operation.discount = &discounts_.at(operation.discount->number);

  const Decimal lineTotal = operation.total();
  total_ += lineTotal;
  taxSums_.try_emplace(operation.taxIndex, Decimal(Decimal::kMoneyScale)).first->second += operation.taxAmount();
  sectionTotals_.try_emplace(operation.section->number, Decimal(Decimal::kMoneyScale)).first->second += lineTotal;
  operations_.push_back(std::move(operation));
}

int ReceiptDoc::finish(std::uint32_t now, bytes::View /*key*/, bytes::View finishingData, std::uint16_t& missingTag,
                       const DeviceState& state) {
  dateTime_ = now;
  if (const int refused = requireCashierName(missingTag); refused != result::kSuccess) return refused;
  if (finishingData.size() != kFinishingDataSize) {
    missingTag = finishingData.size() <= 7 ? tag::kCashPaid : tag::kElectronicPaid;
    return result::kMandatoryMissing;
  }
  if (operations_.empty()) {
    missingTag = tag::kReceiptItem;
    return result::kMandatoryMissing;
  }
  if (kind_ > kLastKind) return result::kBadReceiptKind;

  std::int64_t cash = bytes::loadI64(finishingData, 0);
  const std::int64_t electronic = bytes::loadI64(finishingData, 8);
  if (cash < 0 || electronic < 0) return result::kBadPayload;
  const std::int64_t total = kopecks(total_);
  if (cash == 0 && electronic == 0) cash = total;
  cash_ = Decimal(Decimal::kMoneyScale, cash);
  electronic_ = Decimal(Decimal::kMoneyScale, electronic);
  if (cash > std::numeric_limits<std::int64_t>::max() - electronic) return result::kOverpaid;
  const std::int64_t paid = cash + electronic;
  if (paid < total) return result::kPaymentShort;
  if (electronic > total) return result::kOverpaid;
  if (!isIncoming()) {
    if (paid > total) return result::kOverpaid;
    if (static_cast<std::uint64_t>(cash) > state.drawerCash()) return result::kDrawerShort;
  } else if (total > kMaxTotal) {
    return result::kOverpaid;
  }
  change_ = Decimal(Decimal::kMoneyScale);
  if (isIncoming() && paid > total) {
    change_ = Decimal(Decimal::kMoneyScale, paid - total);
    cash_ = Decimal(Decimal::kMoneyScale, cash - (paid - total));
  }
  return result::kSuccess;
}

bytes::Bytes ReceiptDoc::closeReply(const DeviceState& state) const {
  bytes::Bytes reply = BaseWorkDocument::closeReply(state);
  bytes::appendU16(reply, shiftNumber_);
  bytes::appendU16(reply, receiptNumber_);
  bytes::appendI64(reply, kopecks(total_));
  bytes::appendI64(reply, kopecks(change_));
  return reply;
}

bytes::Bytes ReceiptDoc::statusReply() const {
  bytes::Bytes reply{type_, kind_};
  bytes::appendU16(reply, receiptNumber_);
  bytes::appendU16(reply, static_cast<std::uint16_t>(operations_.size()));
  bytes::appendI64(reply, kopecks(total_));
  return reply;
}

void ReceiptDoc::setStoredTag(const TlvItem& item) {
  const std::uint16_t itemTag = item.tag();
  const auto amount = [&item] { return Decimal(Decimal::kMoneyScale, item.getVarInt()); };
  if (itemTag == tag::kReceiptTotal) {
    total_ = amount();
  } else if (itemTag == tag::kCashPaid) {
    cash_ = amount();
  } else if (itemTag == tag::kElectronicPaid) {
    electronic_ = amount();
  } else if (itemTag == tag::kReceiptNumber) {
    receiptNumber_ = item.getU16();
  } else if (itemTag == tag::kReceiptKind) {
    kind_ = item.getU8();
  } else if (itemTag == tag::kReceiptItem) {
    ReceiptOperation operation;
    std::uint8_t sectionNumber = 0, taxIndex = 0;
    operation.setStorageTag(item, sectionNumber, taxIndex);
    operation.section = &sections_.try_emplace(sectionNumber, Section{sectionNumber, {}}).first->second;
    operation.taxRate = &taxRates_.try_emplace(taxIndex, TaxRate::fromSlot(RegData(), kNoSlot)).first->second;
    sectionTotals_.try_emplace(sectionNumber, Decimal(Decimal::kMoneyScale)).first->second += operation.total();
    operations_.push_back(std::move(operation));
  } else if (itemTag == tag::kSection) {
    Section section;
    section.fromTlv(item);
    const auto [entry, added] = sections_.try_emplace(section.number, section);
    if (!added) entry->second.fromTlv(item);
  } else if (itemTag >= tag::kFirstTaxRate && itemTag < tag::kFirstTaxRate + RegData::kTaxRateSlots) {
    TaxRate rate;
    std::size_t slot = 0;
    Decimal sum;
    rate.fromTlv(item, slot, sum);
    const auto key = static_cast<std::uint8_t>(slot + 1);
    const auto [entry, added] = taxRates_.try_emplace(key, rate);
    if (!added) entry->second.fromTlv(item, slot, sum);
    taxSums_.try_emplace(key, sum);
  } else {
    BaseWorkDocument::setStoredTag(item);
  }
}

bytes::Bytes ReceiptDoc::toStored() const {
  bytes::Bytes stored = BaseWorkDocument::toStored();
  const Decimal zero;
  appendU16Item(stored, tag::kReceiptNumber, receiptNumber_);
  appendItem(stored, amountItem(tag::kReceiptTotal, total_));
  if (cash_ > zero) appendItem(stored, amountItem(tag::kCashPaid, cash_));
  if (electronic_ > zero) appendItem(stored, amountItem(tag::kElectronicPaid, electronic_));
  appendU16Item(stored, tag::kShiftNumber, shiftNumber_);
  TlvItem kind;
  kind.setU8(tag::kReceiptKind, kind_);
  appendItem(stored, kind);
  return stored;
}

bytes::Bytes ReceiptDoc::signData() const {
  bytes::Bytes data = toStored();
  // The sign cannot cover itself: its own item counts as 0, so that signing again after a
  // failed store gives the same sign and a stored receipt can be verified.
  bytes::View rest = bytes::View(data).subspan(1);
  TlvItem item;
  while (item.decodeFront(rest)) {
    if (item.tag() != tag::kFiscalSign) continue;
    const std::size_t valueEnd = data.size() - rest.size();
    bytes::storeU32(data, valueEnd - sizeof(std::uint32_t), 0);
    break;
  }
  appendRegistrationCheck(data);
  return data;
}

bytes::Bytes ReceiptDoc::storedTaxRates() const {
  bytes::Bytes out;
  for (const auto& [index, rate] : taxRates_) {
    const auto sum = taxSums_.find(index);
    appendItem(out, rate.toTlv(index - 1u, sum != taxSums_.end() ? sum->second : Decimal(Decimal::kMoneyScale)));
  }
  return out;
}

bytes::Bytes ReceiptDoc::storedSections() const {
  bytes::Bytes out;
  for (const auto& [number, section] : sections_) appendItem(out, section.toTlv());
  return out;
}

bytes::Bytes ReceiptDoc::firstStoredOperation() {
  operationCursor_ = -1;
  return nextStoredOperation();
}

bytes::Bytes ReceiptDoc::nextStoredOperation() {
  ++operationCursor_;
  if (operationCursor_ < 0 || static_cast<std::size_t>(operationCursor_) >= operations_.size()) return {};
  return operations_[static_cast<std::size_t>(operationCursor_)].toTlv().encode();
}

bool ReceiptDoc::addToCounters(CounterSet* block) const {
  if (block == nullptr) return false;
  const std::int64_t cash = kopecks(cash_);
  block->receipts += 1;
  if (isIncoming()) {
    block->drawerCash = addWrapping(block->drawerCash, cash);
  } else {
    block->drawerCash = block->drawerCash < cash ? 0 : block->drawerCash - cash;
  }
  if (kind_ >= kReceiptKinds) return true;
  OperationCounters& counters = block->byKind[kind_];
  counters.kind = kind_;
  counters.receipts += 1;
  counters.total = addWrapping(counters.total, kopecks(total_));
  counters.cash = addWrapping(counters.cash, cash);
  counters.electronic = addWrapping(counters.electronic, kopecks(electronic_));
  for (const auto& [index, sum] : taxSums_) {
    if (index >= 1 && index <= OperationCounters::kTaxSums) {
      counters.taxSums[index - 1u] = addWrapping(counters.taxSums[index - 1u], kopecks(sum));
    }
  }
  return true;
}

bool ReceiptDoc::addToSummary(TotalCounters* block) const {
  if (block == nullptr) return false;
  block->receipts += 1;
  if (kind_ >= kReceiptKinds) return true;
  OperationTotals& totals = block->byKind[kind_];
  totals.kind = kind_;
  totals.receipts += 1;
  totals.total = addWrapping(totals.total, kopecks(total_));
  totals.cash = addWrapping(totals.cash, kopecks(cash_));
  totals.electronic = addWrapping(totals.electronic, kopecks(electronic_));
  return true;
}

bool ReceiptDoc::addToSectionSums(SectionSums* block) const {
  if (block == nullptr) return false;
  for (const auto& [number, sum] : sectionTotals_) {
    if (Section::isNumber(number)) {
      block->bySection[number - 1u] = addWrapping(block->bySection[number - 1u], kopecks(sum));
    }
  }
  return true;
}
