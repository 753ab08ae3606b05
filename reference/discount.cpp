#include "reference/discount.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

#include "reference/table_file.h"

namespace {

constexpr std::size_t kKindOffset = 1;
constexpr std::size_t kValueOffset = 5;

std::size_t slotOffset(unsigned number) { return (number - 1) * Discount::kSlotSize; }

Decimal percentOf(const Decimal& base, std::int64_t hundredthsOfPercent) {
  return Decimal(base.scale(), base.toDouble() * (static_cast<double>(hundredthsOfPercent) / 100.0) / 100.0);
}

}  // namespace

Discount::Slot Discount::encode() const {
  Slot slot{};
  bytes::storeU8(slot, 0, number);
  bytes::storeU32(slot, kKindOffset, static_cast<std::uint32_t>(kind));
  bytes::storeI64(slot, kValueOffset, value);
  const bytes::View text = bytes::view(name);
  bytes::storeBytes(slot, kNameOffset, kNameSize, text.first(std::min(text.size(), kNameSize)));
  return slot;
}

Discount Discount::decode(SlotView slot) {
  Discount record;
  record.number = bytes::loadU8(slot, 0);
  record.kind = static_cast<std::int32_t>(bytes::loadU32(slot, kKindOffset));
  record.value = bytes::loadI64(slot, kValueOffset);
  record.name = bytes::fieldText(bytes::slice(slot, kNameOffset, kNameSize));  // the last byte counts as 0x00
  return record;
}

bool Discount::decodeChecked(bytes::View data, Discount& out) {
  if (data.size() != kSlotSize) return false;
  const Discount record = decode(SlotView(data.data(), kSlotSize));
  if (!isNumber(record.number)) return false;
  out = record;
  return true;
}

Decimal discountAmount(const Discount& discount, const Decimal& base) {
  const Decimal zero(base.scale());
  if (base <= zero || discount.value < 1) return zero;
  if (!discount.isPercentage()) return Decimal(Decimal::kMoneyScale, discount.value);
  return percentOf(base, discount.value);
}

std::string displayName(const Discount& discount) {
  if (!discount.isValid()) return {};
  if (!discount.name.empty()) return discount.name;
  std::string text(Discount::kDefaultName);
  if (discount.isPercentage()) text += " " + Decimal(Decimal::kMoneyScale, discount.value).toString() + "%";
  return text;
}

bool DiscountTable::loadDiscounts() {
  std::lock_guard guard(lock_);
  cache_.clear();
  const platform::PathState state = board_.pathState(path_);
  if (state == platform::PathState::Missing) {
    return table_file::createNumberedFile(board_, path_, Discount::kCount, Discount::kSlotSize);
  }
  const auto contents = state == platform::PathState::Exists ? platform::readWholeFile(board_, path_) : std::nullopt;
  if (!contents) return false;
  for (unsigned n = 1; n <= Discount::kCount; ++n) {
    const bytes::View slot = table_file::slotIn(*contents, slotOffset(n), Discount::kSlotSize);
    if (slot.empty()) continue;
    const Discount record = Discount::decode(Discount::SlotView(slot.data(), Discount::kSlotSize));
    if (record.isValid()) cache_.emplace(record.number, record);
  }
  return true;
}

bool DiscountTable::readDiscount(unsigned n, Discount& out) {
  if (!Discount::isNumber(n)) return false;
  std::lock_guard guard(lock_);
  const auto cached = cache_.find(static_cast<std::uint8_t>(n));
  if (cached != cache_.end()) {
    out = cached->second;
  } else {
    out = Discount{};
    out.number = static_cast<std::uint8_t>(n);
  }
  return true;
}

bool DiscountTable::saveDiscount(const Discount& record) {
  if (!Discount::isNumber(record.number)) return false;
  std::lock_guard guard(lock_);
  const Discount::Slot slot = record.encode();
  // A slot that could not be written leaves the discount as it was.
  if (!table_file::writeSlot(board_, path_, slotOffset(record.number), slot)) return false;
  cache_.erase(record.number);
  const Discount stored = Discount::decode(slot);
  if (stored.isValid()) cache_.emplace(stored.number, stored);
  return true;
}

namespace {

std::unique_ptr<DiscountTable>& processTable() {
  static std::unique_ptr<DiscountTable> table;
  return table;
}

}  // namespace

void bindDiscountTable(platform::Board& board) {
  if (processTable()) throw std::logic_error("the discount table is bound already");
  processTable() = std::make_unique<DiscountTable>(board, board.nvPath("DISCOUNTS"));
}

DiscountTable& discountTable() {
  if (!processTable()) throw std::logic_error("the discount table is not bound");
  return *processTable();
}
