#include "reference/cashier.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

#include "reference/table_file.h"

namespace {

constexpr std::size_t kRightsOffset = 1;
constexpr std::size_t kPasswordOffset = 3;

std::size_t slotOffset(unsigned number) { return (number - 1) * Cashier::kSlotSize; }

// The slots of a new table from cashier `first` on: empty slots that carry only their number,
// and the administrator's.
bytes::Bytes defaultSlots(unsigned first) {
  bytes::Bytes slots;
  for (unsigned n = first; n <= Cashier::kCount; ++n) {
    Cashier record;
    record.number = static_cast<std::uint8_t>(n);
    if (record.isAdministrator()) {
      record.rights = CashierRights::kAdministrator;
      record.password = Cashier::kDefaultAdministratorPassword;
      record.name = Cashier::kDefaultAdministratorName;
    }
    bytes::appendBytes(slots, record.encode());
  }
  return slots;
}

}  // namespace

bool Cashier::isValid() const { return isNumber(number) && password != 0 && rights != 0 && !name.empty(); }

Cashier::Slot Cashier::encode() const {
  Slot slot{};
  bytes::storeU8(slot, 0, number);
  bytes::storeU16(slot, kRightsOffset, rights);
  bytes::storeU32(slot, kPasswordOffset, static_cast<std::uint32_t>(password));
  const bytes::View text = bytes::view(name);
  bytes::storeBytes(slot, kNameOffset, kNameSize, text.first(std::min(text.size(), kNameSize)));
  return slot;
}

Cashier Cashier::decode(SlotView slot) {
  Cashier record;
  record.number = bytes::loadU8(slot, 0);
  record.rights = bytes::loadU16(slot, kRightsOffset);
  record.password = static_cast<std::int32_t>(bytes::loadU32(slot, kPasswordOffset));
  record.name = bytes::fieldText(bytes::slice(slot, kNameOffset, kNameSize));  // the last byte counts as 0x00
  return record;
}

bool Cashier::decodeChecked(bytes::View data, Cashier& out) {
  if (data.size() != kSlotSize) return false;
  const Cashier record = decode(SlotView(data.data(), kSlotSize));
  if (!isNumber(record.number)) return false;
  out = record;
  return true;
}

bool CashierTable::ensureCashierFile() {
  std::lock_guard guard(lock_);
  const platform::PathState state = board_.pathState(path_);
  if (state == platform::PathState::Missing) return board_.replaceFile(path_, defaultSlots(1));
  auto contents = state == platform::PathState::Exists ? platform::readWholeFile(board_, path_) : std::nullopt;
  if (!contents) return false;
  if (contents->size() >= kFileSize) return true;
  // A file cut short by an earlier version's write in place: the slots it holds whole stay, a
  // part of a slot does not count.
  const std::size_t wholeSlots = contents->size() / Cashier::kSlotSize;
  contents->resize(slotOffset(static_cast<unsigned>(wholeSlots) + 1));
  bytes::appendBytes(*contents, defaultSlots(static_cast<unsigned>(wholeSlots) + 1));
  return board_.replaceFile(path_, *contents);
}

bool CashierTable::readSlot(unsigned n, Cashier::Slot& slot) const {
  return table_file::readSlot(board_, path_, slotOffset(n), slot);
}

bool CashierTable::readCashier(unsigned n, Cashier& out) {
  if (!Cashier::isNumber(n)) return false;
  std::lock_guard guard(lock_);
  Cashier::Slot slot;
  if (!readSlot(n, slot)) return false;
  out = Cashier::decode(slot);
  out.number = static_cast<std::uint8_t>(n);
  return true;
}

bool CashierTable::saveCashier(const Cashier& record) {
  if (!Cashier::isNumber(record.number)) return false;
  std::lock_guard guard(lock_);
  const Cashier::Slot slot = record.encode();
  if (!table_file::writeSlot(board_, path_, slotOffset(record.number), slot)) {
    // The file was not replaced; the slot is read from it again when next asked for.
    cache_.erase(record.number);
    return false;
  }
  cache_.insert_or_assign(record.number, Cashier::decode(slot));
  return true;
}

bool CashierTable::checkCashier(unsigned n, std::uint32_t password, Cashier& out) {
  out = Cashier{};
  if (!Cashier::isNumber(n)) return false;
  std::lock_guard guard(lock_);
  const auto number = static_cast<std::uint8_t>(n);
  auto cached = cache_.find(number);
  if (cached == cache_.end()) {
    Cashier::Slot slot;
    if (!readSlot(n, slot)) return false;
    const Cashier stored = Cashier::decode(slot);
    if (stored.number != number) return false;
    cached = cache_.emplace(number, stored).first;
  }
  out = cached->second;
  return out.passwordMatches(password) && out.isValid();
}

namespace {

std::unique_ptr<CashierTable>& processTable() {
  static std::unique_ptr<CashierTable> table;
  return table;
}

}  // namespace

void bindCashierTable(platform::Board& board) {
  if (processTable()) throw std::logic_error("the cashier table is bound already");
  processTable() = std::make_unique<CashierTable>(board, board.nvPath("CASHIERS"));
}

CashierTable& cashierTable() {
  if (!processTable()) throw std::logic_error("the cashier table is not bound");
  return *processTable();
}
