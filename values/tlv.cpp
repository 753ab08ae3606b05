#include "values/tlv.h"

#include <algorithm>
#include <array>

namespace {

// Writes `ok` (when given) and tells whether the value has exactly `width` bytes.
bool hasWidth(const bytes::Bytes& value, std::size_t width, bool* ok) {
  const bool fits = value.size() == width;
  if (ok != nullptr) *ok = fits;
  return fits;
}

}  // namespace

void TlvItem::clear() {
  tag_ = 0;
  value_.clear();
}

bool TlvItem::isValid() const { return tag_ != 0 && value_.size() <= kMaxValueSize; }

void TlvItem::setU8(std::uint16_t tag, std::uint8_t value) { *this = TlvItem(tag, {value}); }

void TlvItem::setU16(std::uint16_t tag, std::uint16_t value) {
  bytes::Bytes out;
  bytes::appendU16(out, value);
  *this = TlvItem(tag, std::move(out));
}

void TlvItem::setU32(std::uint16_t tag, std::uint32_t value) {
  bytes::Bytes out;
  bytes::appendU32(out, value);
  *this = TlvItem(tag, std::move(out));
}

void TlvItem::setU64(std::uint16_t tag, std::uint64_t value) {
  bytes::Bytes out;
  bytes::appendU64(out, value);
  *this = TlvItem(tag, std::move(out));
}

void TlvItem::setVarInt(std::uint16_t tag, std::uint64_t value) { *this = TlvItem(tag, encodeVarInt(value)); }
void TlvItem::setDecimal(std::uint16_t tag, const Decimal& value) { *this = TlvItem(tag, value.toTlvValue()); }
void TlvItem::setList(std::uint16_t tag, const TlvList& items) { *this = TlvItem(tag, encodeList(items)); }

void TlvItem::setText(std::uint16_t tag, std::string_view text) {
  const bytes::View textBytes = bytes::view(text);
  *this = TlvItem(tag, bytes::Bytes(textBytes.begin(), textBytes.end()));
}

std::uint8_t TlvItem::getU8(bool* ok) const { return hasWidth(value_, 1, ok) ? bytes::loadU8(value_, 0) : 0; }
std::uint16_t TlvItem::getU16(bool* ok) const { return hasWidth(value_, 2, ok) ? bytes::loadU16(value_, 0) : 0; }
std::uint32_t TlvItem::getU32(bool* ok) const { return hasWidth(value_, 4, ok) ? bytes::loadU32(value_, 0) : 0; }
std::uint64_t TlvItem::getU64(bool* ok) const { return hasWidth(value_, 8, ok) ? bytes::loadU64(value_, 0) : 0; }

std::uint64_t TlvItem::getInt4or8(bool* ok) const {
  return value_.size() == sizeof(std::uint32_t) ? getU32(ok) : getU64(ok);
}

std::uint64_t TlvItem::getVarInt() const { return decodeVarInt(value_); }
Decimal TlvItem::getDecimal() const { return Decimal::fromTlvValue(value_); }
std::string TlvItem::getText() const { return std::string(value_.begin(), value_.end()); }

bytes::Bytes TlvItem::encode() const {
  bytes::Bytes out;
  if (!isValid()) return out;
  out.reserve(kHeaderSize + value_.size());
  bytes::appendU16(out, tag_);
  bytes::appendU16(out, static_cast<std::uint16_t>(value_.size()));
  bytes::appendBytes(out, value_);
  return out;
}

bool TlvItem::decodeFront(bytes::View& data) {
  clear();
  bytes::ByteReader reader(data);
  const std::uint16_t tag = reader.u16();
  const std::uint16_t length = reader.u16();
  // take() checks the announced length against what remains, so nothing is read past the end.
  const bytes::View value = reader.take(length);
  if (!reader.ok()) return false;
  tag_ = tag;
  value_.assign(value.begin(), value.end());
  data = data.subspan(reader.position());
  return true;
}

bool TlvItem::decodeFront(bytes::Bytes& data) {
  bytes::View rest(data);
  if (!decodeFront(rest)) return false;
  data.erase(data.begin(), data.end() - static_cast<std::ptrdiff_t>(rest.size()));
  return true;
}

bool TlvItem::decodeExact(bytes::View data) {
  clear();
  bytes::ByteReader reader(data);
  const std::uint16_t tag = reader.u16();
  const std::uint16_t length = reader.u16();
  if (!reader.ok()) return false;
  tag_ = tag;
  if (reader.remaining() != length) return false;
  const bytes::View value = reader.rest();
  value_.assign(value.begin(), value.end());
  return true;
}

bytes::Bytes encodeList(const TlvList& items) {
  bytes::Bytes out;
  for (const TlvItem& item : items) bytes::appendBytes(out, item.encode());
  return out;
}

TlvList parseItems(bytes::View data, bool* ok) {
  if (ok != nullptr) *ok = false;
  TlvList items;
  TlvItem item;
  while (!data.empty()) {
    if (!item.decodeFront(data)) return items;
    if (item.isValid()) items.push_back(std::move(item));  // drops tag 0 and 65535-byte values
  }
  if (ok != nullptr) *ok = !items.empty();
  return items;
}

TlvList parseList(const TlvItem& container, bool* ok) {
  if (!container.isValid()) {
    if (ok != nullptr) *ok = false;
    return {};
  }
  return parseItems(container.value(), ok);
}

bytes::Bytes encodeVarInt(std::uint64_t value) {
  bytes::Bytes out;
  bytes::appendU64(out, value);
  while (out.size() > 1 && out.back() == 0) out.pop_back();
  return out;
}

std::uint64_t decodeVarInt(bytes::View value) {
  std::array<std::uint8_t, sizeof(std::uint64_t)> padded{};
  std::copy_n(value.begin(), std::min(value.size(), padded.size()), padded.begin());
  return bytes::loadU64(padded, 0);
}
