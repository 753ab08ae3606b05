// Sections: the 20 departments of the shop, each with a printed name, kept one slot each in
// a fixed-size file and held in memory as 20 entries.
//
// Slot layout (128 bytes), also the record's form on the host link:
//     0    1  number, u8 (1 to 20)
//     1  126  name, CP866 padded with 0x00; a field without 0x00 is read as all 126 bytes
//   127    1  0x00, ignored when read
// The file holds exactly 20 slots, the slot of section n at (n - 1) * 128, 2560 bytes in all.
//
// Stored receipts keep the sections their items use as TLV:
//   11300 container: 11301 number (u8), then 11302 name (text, only when not empty)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/board.h"
#include "values/bytes.h"
#include "values/tlv.h"

struct Section {
  static constexpr std::size_t kSlotSize = 128;
  static constexpr std::size_t kNameOffset = 1;
  static constexpr std::size_t kNameSize = 126;
  static constexpr std::uint8_t kCount = 20;

  using Slot = std::array<std::uint8_t, kSlotSize>;
  using SlotView = std::span<const std::uint8_t, kSlotSize>;

  std::uint8_t number = 0;
  std::string name;  // at most 126 bytes, no zero bytes, once stored; may be empty

  static bool isNumber(unsigned number) { return number >= 1 && number <= kCount; }
  bool isValid() const { return isNumber(number); }

  // The slot; a name longer than its field is cut to its first 126 bytes.
  Slot encode() const;
  static Section decode(SlotView slot);
  // A record from the host: exactly one slot whose number is 1 to 20.
  static bool decodeChecked(bytes::View data, Section& out);

  // The 11300 container of a valid section; an empty item (tag 0) for any other.
  TlvItem toTlv() const;
  // Reads an 11300 container: false, the section unchanged, for another tag or a container
  // without items; otherwise number and name are cleared and taken from 11301 and 11302
  // (other tags ignored), and true when the number is 1 to 20.
  bool fromTlv(const TlvItem& item);

  bool operator==(const Section&) const = default;
};

// The table file with its 20 entries, on the board. Every operation holds the table's lock for
// its own duration only; a write replaces the file whole, so that a failed one leaves it as it
// was.
class SectionTable {
 public:
  static constexpr std::size_t kFileSize = Section::kCount * Section::kSlotSize;

  SectionTable(platform::Board& board, std::string path) : board_(board), path_(std::move(path)) {}
  SectionTable(const SectionTable&) = delete;
  SectionTable& operator=(const SectionTable&) = delete;

  const std::string& path() const { return path_; }

  // Start-up: every entry becomes its number with an empty name; a missing file is created
  // with 20 unnamed slots, else each entry takes the name in its slot (the number comes from
  // the slot's place, whatever its first byte holds). A slot the file does not hold whole
  // keeps an empty name. False when the file could neither be read nor created.
  bool loadSections();

  // Entry n. False for n outside 1 to 20 or before the table was loaded.
  bool readSection(unsigned n, Section& out);

  // Writes the slot, then the entry. False for a number outside 1 to 20, without the file,
  // or when the file was not replaced (file and entry are then unchanged).
  bool saveSection(const Section& section);

 private:
  platform::Board& board_;
  const std::string path_;
  std::mutex lock_;  // guards the file and the entries
  std::optional<std::array<Section, Section::kCount>> entries_;  // from the first load on
};

// The service's table, on the board's reference store. Bound once at start-up, before the
// core uses it; binding again, or using it unbound, is a programming error (std::logic_error).
void bindSectionTable(platform::Board& board);
SectionTable& sectionTable();
