// The discount table: up to 20 programmed discounts, kept one slot each in a fixed-size file
// and mirrored by a cache of the usable ones.
//
// Slot layout (141 bytes, little-endian), also the record's form on the host link:
//     0    1  number, u8 (1 to 20)
//     1    4  kind, i32: 0 fixed amount, 1 percentage, 2 not set
//     5    8  value, i64: kopecks, or hundredths of a percent (1000 is 10.00 %)
//    13  127  name, CP866 padded with 0x00; a field without 0x00 is read as all 127 bytes
//   140    1  0x00, ignored when read
// The file holds exactly 20 slots, the slot of discount n at (n - 1) * 141, 2820 bytes in all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/board.h"
#include "values/bytes.h"
#include "values/cp866.h"
#include "values/decimal.h"

struct Discount {
  static constexpr std::size_t kSlotSize = 141;
  static constexpr std::size_t kNameOffset = 13;
  static constexpr std::size_t kNameSize = 127;
  static constexpr std::uint8_t kCount = 20;
  static constexpr std::int32_t kAmount = 0;
  static constexpr std::int32_t kPercentage = 1;
  static constexpr std::int32_t kNotSet = 2;
  static constexpr std::string_view kDefaultName = "СКИДКА"_cp866;

  using Slot = std::array<std::uint8_t, kSlotSize>;
  using SlotView = std::span<const std::uint8_t, kSlotSize>;

  std::uint8_t number = 0;
  std::int32_t kind = kNotSet;
  std::int64_t value = 0;
  std::string name;  // at most 127 bytes, no zero bytes, once stored

  static bool isNumber(unsigned number) { return number >= 1 && number <= kCount; }

  // Kind at most 1 (as a signed number) and a value of at least 1. Every usable kind other
  // than 1 is a fixed amount.
  bool isValid() const { return kind <= kPercentage && value >= 1; }
  bool isPercentage() const { return kind == kPercentage; }

  // The slot; a name longer than its field is cut to its first 127 bytes.
  Slot encode() const;
  // The record in a slot, whatever its bytes hold.
  static Discount decode(SlotView slot);
  // A record from the host: exactly one slot whose number is 1 to 20.
  static bool decodeChecked(bytes::View data, Discount& out);

  bool operator==(const Discount&) const = default;
};

// What the discount takes off `base`, at the base's scale: zero for a base not above zero or
// an unusable discount; a fixed amount is its value in kopecks, not capped by the base; a
// percentage is base × value / 10000, rounded as Decimal::setDouble rounds.
Decimal discountAmount(const Discount& discount, const Decimal& base);

// The text printed for the discount: empty for an unusable one, else its name, else
// "СКИДКА", for a percentage followed by " " and the percentage with two places and "%".
std::string displayName(const Discount& discount);

// One table file on the board with its cache of the usable discounts. Every operation holds
// the table's lock for its own duration only; a write replaces the file whole, so that a failed
// one leaves it as it was.
class DiscountTable {
 public:
  static constexpr std::size_t kFileSize = Discount::kCount * Discount::kSlotSize;

  DiscountTable(platform::Board& board, std::string path) : board_(board), path_(std::move(path)) {}
  DiscountTable(const DiscountTable&) = delete;
  DiscountTable& operator=(const DiscountTable&) = delete;

  const std::string& path() const { return path_; }

  // Start-up: empties the cache; creates a missing file with 20 unset slots, or caches the
  // usable records of an existing one under the number in their first byte (the first slot
  // naming a number wins). A slot the file does not hold whole counts as unset. False when
  // the file could neither be read nor created.
  bool loadDiscounts();

  // The cached discount n, or an unset record (kind 2, value 0, no name) numbered n. False
  // only for n outside 1 to 20.
  bool readDiscount(unsigned n, Discount& out);

  // Writes the record's slot; a usable record is then cached, an unusable one withdraws the
  // discount. False for a number outside 1 to 20, without the file, or when the file was not
  // replaced (file and discount are then left as they were).
  bool saveDiscount(const Discount& record);

 private:
  platform::Board& board_;
  const std::string path_;
  std::mutex lock_;  // guards the file and the cache
  std::map<std::uint8_t, Discount> cache_;
};

// The service's table, on the board's reference store. Bound once at start-up, before the
// core uses it; binding again, or using it unbound, is a programming error (std::logic_error).
void bindDiscountTable(platform::Board& board);
DiscountTable& discountTable();
