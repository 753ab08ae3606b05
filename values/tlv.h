// Tagged values: command bodies, stored documents, receipt items, counters and registration
// parameters are runs of TLV items.
//
// Wire form of one item, little-endian:
//   offset 0  u16  tag
//   offset 2  u16  length L of the value
//   offset 4  L    value
// A list is its items' wire forms back to back, with nothing before, between or after them;
// a container item's value is the wire form of its list.
//
// Value encodings:
//   u8 / u16 / u32 / u64  exactly 1 / 2 / 4 / 8 bytes (date-times are u32 epoch seconds)
//   4-or-8 integer        a u32 or a u64, by length
//   variable integer      a u64's little-endian bytes without trailing zero bytes, at least one
//   decimal number        Decimal's byte form (values/decimal.h)
//   text                  the bytes as they are (CP866 for Russian text)
//   container             the wire form of a list
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "values/bytes.h"
#include "values/decimal.h"

class TlvItem;
using TlvList = std::vector<TlvItem>;

class TlvItem {
 public:
  // The longest value an item may hold; a length field of 0xFFFF is never written.
  static constexpr std::size_t kMaxValueSize = 65534;
  static constexpr std::size_t kHeaderSize = 4;

  // Tag 0, empty value: no item.
  TlvItem() = default;
  TlvItem(std::uint16_t tag, bytes::Bytes value) : tag_(tag), value_(std::move(value)) {}

  void clear();
  std::uint16_t tag() const { return tag_; }
  const bytes::Bytes& value() const { return value_; }
  // A tag other than 0 and a value of at most kMaxValueSize bytes; only a valid item encodes.
  bool isValid() const;

  // Each setter replaces both the tag and the value.
  void setU8(std::uint16_t tag, std::uint8_t value);
  void setU16(std::uint16_t tag, std::uint16_t value);
  void setU32(std::uint16_t tag, std::uint32_t value);
  void setU64(std::uint16_t tag, std::uint64_t value);
  void setVarInt(std::uint16_t tag, std::uint64_t value);
  void setDecimal(std::uint16_t tag, const Decimal& value);
  void setText(std::uint16_t tag, std::string_view text);
  // The value becomes the wire form of `items`; invalid items contribute nothing.
  void setList(std::uint16_t tag, const TlvList& items);

  // Fixed-width getters: `ok` (when given) is written false first and true when the value
  // has exactly the width; a wrong width returns 0.
  std::uint8_t getU8(bool* ok = nullptr) const;
  std::uint16_t getU16(bool* ok = nullptr) const;
  std::uint32_t getU32(bool* ok = nullptr) const;
  std::uint64_t getU64(bool* ok = nullptr) const;
  // A 4-byte value as u32, an 8-byte value as u64; any other length fails.
  std::uint64_t getInt4or8(bool* ok = nullptr) const;
  // These never fail: missing bytes read as zero, bytes after the eighth of a variable
  // integer (the ninth of a decimal number) are ignored.
  std::uint64_t getVarInt() const;
  Decimal getDecimal() const;
  std::string getText() const;

  // The wire form; an invalid item encodes to nothing.
  bytes::Bytes encode() const;

  // Reads one item from the front of `data` and advances `data` past it. Fails when the
  // header or the announced value runs past the end; the item is then clear and `data`
  // untouched.
  bool decodeFront(bytes::View& data);
  // The same, removing the item's bytes from the front of a buffer.
  bool decodeFront(bytes::Bytes& data);
  // Reads one item that must fill `data` exactly. With a complete header but a length that
  // does not match, the item keeps the tag read, with an empty value, and this fails.
  bool decodeExact(bytes::View data);

  friend bool operator==(const TlvItem&, const TlvItem&) = default;

 private:
  std::uint16_t tag_ = 0;
  bytes::Bytes value_;
};

// The wire form of a list: the encodings of its valid items back to back.
bytes::Bytes encodeList(const TlvList& items);

// Splits a run of items. Stops at the first item that runs past the end and then returns
// the items before it with `ok` false; otherwise `ok` tells whether any item was found.
// Items with tag 0 are dropped.
TlvList parseItems(bytes::View data, bool* ok = nullptr);
// parseItems of a container's value; an invalid container gives an empty list, `ok` false.
TlvList parseList(const TlvItem& container, bool* ok = nullptr);

// Variable integer: the little-endian bytes of `value` without trailing zero bytes, at
// least one byte (0 is the single byte 00, 256 is 00 01).
bytes::Bytes encodeVarInt(std::uint64_t value);
// The first eight bytes zero-extended and read little-endian; empty bytes read 0.
std::uint64_t decodeVarInt(bytes::View value);
