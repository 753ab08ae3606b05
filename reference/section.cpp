#include "reference/section.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "reference/table_file.h"
#include "values/tags.h"

namespace {

std::size_t slotOffset(unsigned number) { return (number - 1) * Section::kSlotSize; }

}  // namespace

Section::Slot Section::encode() const {
  Slot slot{};
  bytes::storeU8(slot, 0, number);
  const bytes::View text = bytes::view(name);
  bytes::storeBytes(slot, kNameOffset, kNameSize, text.first(std::min(text.size(), kNameSize)));
  return slot;
}

Section Section::decode(SlotView slot) {
  return Section{bytes::loadU8(slot, 0), bytes::fieldText(bytes::slice(slot, kNameOffset, kNameSize))};
}

bool Section::decodeChecked(bytes::View data, Section& out) {
  if (data.size() != kSlotSize) return false;
  const Section record = decode(SlotView(data.data(), kSlotSize));
  if (!record.isValid()) return false;
  out = record;
  return true;
}

TlvItem Section::toTlv() const {
  if (!isValid()) return {};
  TlvList items(1);
  items[0].setU8(tag::kSectionNumber, number);
  if (!name.empty()) items.emplace_back().setText(tag::kSectionName, name);
  TlvItem container;
  container.setList(tag::kSection, items);
  return container;
}

bool Section::fromTlv(const TlvItem& item) {
  if (item.tag() != tag::kSection) return false;
  const TlvList items = parseList(item);
  if (items.empty()) return false;
  number = 0;
  name.clear();
  for (const TlvItem& field : items) {
    if (field.tag() == tag::kSectionNumber) number = field.getU8();
    if (field.tag() == tag::kSectionName) name = field.getText();
  }
  return isValid();
}

bool SectionTable::loadSections() {
  std::lock_guard guard(lock_);
  entries_.emplace();
  for (unsigned i = 0; i < Section::kCount; ++i) (*entries_)[i] = Section{static_cast<std::uint8_t>(i + 1), {}};
  const platform::PathState state = board_.pathState(path_);
  if (state == platform::PathState::Missing) {
    return table_file::createNumberedFile(board_, path_, Section::kCount, Section::kSlotSize);
  }
  const auto contents = state == platform::PathState::Exists ? platform::readWholeFile(board_, path_) : std::nullopt;
  if (!contents) return false;
  for (unsigned n = 1; n <= Section::kCount; ++n) {
    const bytes::View slot = table_file::slotIn(*contents, slotOffset(n), Section::kSlotSize);
    if (!slot.empty()) (*entries_)[n - 1].name = Section::decode(Section::SlotView(slot.data(), Section::kSlotSize)).name;
  }
  return true;
}

bool SectionTable::readSection(unsigned n, Section& out) {
  if (!Section::isNumber(n)) return false;
  std::lock_guard guard(lock_);
  if (!entries_) return false;
  out = (*entries_)[n - 1];
  return true;
}

bool SectionTable::saveSection(const Section& section) {
  if (!section.isValid()) return false;
  std::lock_guard guard(lock_);
  const Section::Slot slot = section.encode();
  if (!table_file::writeSlot(board_, path_, slotOffset(section.number), slot)) return false;
  if (entries_) (*entries_)[section.number - 1] = Section::decode(slot);
  return true;
}

namespace {

std::unique_ptr<SectionTable>& processTable() {
  static std::unique_ptr<SectionTable> table;
  return table;
}

}  // namespace

void bindSectionTable(platform::Board& board) {
  if (processTable()) throw std::logic_error("the section table is bound already");
  processTable() = std::make_unique<SectionTable>(board, board.nvPath("SECTIONS"));
}

SectionTable& sectionTable() {
  if (!processTable()) throw std::logic_error("the section table is not bound");
  return *processTable();
}
