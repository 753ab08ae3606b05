// The cashier table: the register's 20 operators, kept one slot each in a fixed-size file.
//
// Slot layout (263 bytes, little-endian), also the record's form on the host link:
//     0    1  number, u8 (1 to 20; 20 is the administrator)
//     1    2  rights, u16 bit mask
//     3    4  password, i32 two's complement; 0 means no password
//     7  255  name, CP866 padded with 0x00; a field without 0x00 is read as all 255 bytes
//   262    1  0x00, ignored when read
// The file holds exactly 20 slots, the slot of cashier n at (n - 1) * 263, 5260 bytes in all.
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

// What a cashier may do; a command tests the bits it needs.
namespace CashierRights {
inline constexpr std::uint16_t kReceipts = 0x0001;       // sale and purchase receipts
inline constexpr std::uint16_t kReports = 0x0002;        // reports, document copies, shift and cash documents
inline constexpr std::uint16_t kClock = 0x0004;          // the clock and the printer setting
inline constexpr std::uint16_t kFiscalization = 0x0008;  // fiscalization and archive closing
inline constexpr std::uint16_t kReturns = 0x0010;        // return receipts
inline constexpr std::uint16_t kSerialNumber = 0x0020;   // writing the factory serial number
inline constexpr std::uint16_t kGoodsTables = 0x0080;    // the section and discount tables
inline constexpr std::uint16_t kCashierTable = 0x0100;   // the cashier table
inline constexpr std::uint16_t kAdministrator = 0x03FF;  // all ten low bits, always the administrator's
}  // namespace CashierRights

struct Cashier {
  static constexpr std::size_t kSlotSize = 263;
  static constexpr std::size_t kNameOffset = 7;
  static constexpr std::size_t kNameSize = 255;
  static constexpr std::uint8_t kCount = 20;
  static constexpr std::uint8_t kAdministrator = 20;
  static constexpr std::int32_t kDefaultAdministratorPassword = 30;
  static constexpr std::string_view kDefaultAdministratorName = "ЦТО"_cp866;

  using Slot = std::array<std::uint8_t, kSlotSize>;
  using SlotView = std::span<const std::uint8_t, kSlotSize>;

  std::uint8_t number = 0;
  std::uint16_t rights = 0;
  std::int32_t password = 0;
  std::string name;  // at most 255 bytes, no zero bytes, once stored

  static bool isNumber(unsigned number) { return number >= 1 && number <= kCount; }

  // A number 1 to 20, a password, some rights and a name.
  bool isValid() const;
  bool isAdministrator() const { return number == kAdministrator; }
  // The host sends passwords as u32: equal when the 32 bits are.
  bool passwordMatches(std::uint32_t given) const { return static_cast<std::uint32_t>(password) == given; }

  // The slot; a name longer than its field is cut to its first 255 bytes.
  Slot encode() const;
  // The record in a slot, whatever its bytes hold.
  static Cashier decode(SlotView slot);
  // A record from the host: exactly one slot whose number is 1 to 20.
  static bool decodeChecked(bytes::View data, Cashier& out);

  bool operator==(const Cashier&) const = default;
};

// One table file on the board with its cache. Every operation holds the table's lock for its
// own duration only; a write replaces the file whole, so that a failed one leaves it as it was.
// The cache holds slots as read from the file or as written to it; a slot whose write failed is
// dropped from it, so that the file is read again.
class CashierTable {
 public:
  static constexpr std::size_t kFileSize = Cashier::kCount * Cashier::kSlotSize;

  CashierTable(platform::Board& board, std::string path) : board_(board), path_(std::move(path)) {}
  CashierTable(const CashierTable&) = delete;
  CashierTable& operator=(const CashierTable&) = delete;

  const std::string& path() const { return path_; }

  // Makes sure the file holds all 20 slots: a missing file is created with the default table
  // (19 empty slots and the administrator with the default password), and a file cut short is
  // completed with the default slots it lacks, the slots it holds whole left as they are.
  // False when that could not be done.
  bool ensureCashierFile();

  // Slot n straight from the file, bypassing the cache; `out.number` is n whatever the slot's
  // first byte holds. False for n outside 1 to 20, or when the slot cannot be read whole.
  bool readCashier(unsigned n, Cashier& out);

  // Writes the record's slot and caches the record as stored. An unusable record is stored
  // too: that withdraws the cashier. False for a number outside 1 to 20, without the file, or
  // when the file was not replaced (it then holds the slot as before).
  bool saveCashier(const Cashier& record);

  // The log-in check: cashier n exists, is usable and has this password. The record comes from
  // the cache, else from slot n of the file (and is then cached). On success `out` holds the
  // record; on failure it holds the stored record when one was found (so that its rights can
  // still be examined) and an empty record otherwise. A slot whose first byte is not n belongs
  // to no one: it fails and is not cached.
  bool checkCashier(unsigned n, std::uint32_t password, Cashier& out);

 private:
  bool readSlot(unsigned n, Cashier::Slot& slot) const;

  platform::Board& board_;
  const std::string path_;
  std::mutex lock_;  // guards the file and the cache
  std::map<std::uint8_t, Cashier> cache_;
};

// The service's table, on the board's reference store. Bound once at start-up, before the
// core uses it; binding again, or using it unbound, is a programming error (std::logic_error).
void bindCashierTable(platform::Board& board);
CashierTable& cashierTable();
