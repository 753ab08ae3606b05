// Little-endian encoding of fixed-layout records and wire data.
//
// Every frame, descriptor, counter block, identity record and table slot is read and written
// through these helpers. Multi-byte integers are little-endian and written by shifts, so the
// code does not depend on the host's byte order or alignment. Fixed offsets inside a record of
// known size are checked and a bad offset is a programming error (std::out_of_range); data
// that comes from outside is read through ByteReader, which reports running short instead.
//
// A record's layout is one table of Fields in offset order, next to the record, with a
// static_assert that the table tiles the record; its accessors and every reader that names
// the record's fields (the archive checker) take their offsets and widths from that table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bytes {

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;
using MutableView = std::span<std::uint8_t>;

inline View view(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A named field of a fixed-layout record: `count` elements of `width` bytes from `offset`
// (count 1 for a single value). Reserved bytes are fields of their own.
struct Field {
  std::string_view name;
  std::size_t offset = 0;
  std::size_t width = 0;
  std::size_t count = 1;

  constexpr std::size_t size() const { return width * count; }
  constexpr std::size_t end() const { return offset + size(); }
  // Element `index` (from 0) as a single field; outside the array a programming error.
  constexpr Field element(std::size_t index) const {
    if (index >= count) throw std::out_of_range("element outside its field");
    return {name, offset + width * index, width};
  }
};

// Whether `fields`, in table order, lie back to back from byte 0 to byte `size`: no overlap,
// no gap, no empty field and nothing beyond the record.
constexpr bool tiles(std::span<const Field> fields, std::size_t size) {
  std::size_t at = 0;
  for (const Field& field : fields) {
    if (field.offset != at || field.size() == 0) return false;
    at = field.end();
  }
  return at == size;
}

namespace detail {
inline void checkRange(std::size_t size, std::size_t offset, std::size_t width) {
  if (offset > size || width > size - offset) {
    throw std::out_of_range("fixed-layout field outside its record");
  }
}

template <typename T>
T load(View data, std::size_t offset) {
  checkRange(data.size(), offset, sizeof(T));
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value | (static_cast<T>(data[offset + i]) << (8 * i)));
  }
  return value;
}

template <typename T>
void store(MutableView data, std::size_t offset, T value) {
  checkRange(data.size(), offset, sizeof(T));
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    data[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// The offset of a single field as wide as T; anything else is a programming error.
template <typename T>
std::size_t at(const Field& field) {
  if (field.width != sizeof(T) || field.count != 1) throw std::out_of_range("field not as wide as its value");
  return field.offset;
}

template <typename T>
void append(Bytes& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}
}  // namespace detail

// Fixed offsets inside a record.
inline std::uint8_t loadU8(View data, std::size_t offset) { return detail::load<std::uint8_t>(data, offset); }
inline std::uint16_t loadU16(View data, std::size_t offset) { return detail::load<std::uint16_t>(data, offset); }
inline std::uint32_t loadU32(View data, std::size_t offset) { return detail::load<std::uint32_t>(data, offset); }
inline std::uint64_t loadU64(View data, std::size_t offset) { return detail::load<std::uint64_t>(data, offset); }
inline std::int64_t loadI64(View data, std::size_t offset) {
  return static_cast<std::int64_t>(loadU64(data, offset));  // two's complement, defined since C++20
}

inline void storeU8(MutableView data, std::size_t offset, std::uint8_t v) { detail::store(data, offset, v); }
inline void storeU16(MutableView data, std::size_t offset, std::uint16_t v) { detail::store(data, offset, v); }
inline void storeU32(MutableView data, std::size_t offset, std::uint32_t v) { detail::store(data, offset, v); }
inline void storeU64(MutableView data, std::size_t offset, std::uint64_t v) { detail::store(data, offset, v); }
inline void storeI64(MutableView data, std::size_t offset, std::int64_t v) {
  storeU64(data, offset, static_cast<std::uint64_t>(v));
}

// A record's field from its table; the field must be a single value of the width read.
inline std::uint8_t loadU8(View data, const Field& f) { return loadU8(data, detail::at<std::uint8_t>(f)); }
inline std::uint16_t loadU16(View data, const Field& f) { return loadU16(data, detail::at<std::uint16_t>(f)); }
inline std::uint32_t loadU32(View data, const Field& f) { return loadU32(data, detail::at<std::uint32_t>(f)); }
inline std::uint64_t loadU64(View data, const Field& f) { return loadU64(data, detail::at<std::uint64_t>(f)); }
inline std::int64_t loadI64(View data, const Field& f) { return loadI64(data, detail::at<std::int64_t>(f)); }

inline void storeU8(MutableView data, const Field& f, std::uint8_t v) { storeU8(data, detail::at<std::uint8_t>(f), v); }
inline void storeU16(MutableView data, const Field& f, std::uint16_t v) { storeU16(data, detail::at<std::uint16_t>(f), v); }
inline void storeU32(MutableView data, const Field& f, std::uint32_t v) { storeU32(data, detail::at<std::uint32_t>(f), v); }
inline void storeU64(MutableView data, const Field& f, std::uint64_t v) { storeU64(data, detail::at<std::uint64_t>(f), v); }
inline void storeI64(MutableView data, const Field& f, std::int64_t v) { storeI64(data, detail::at<std::int64_t>(f), v); }

// Copies `source` into the field [offset, offset + width); a longer source is an error.
inline void storeBytes(MutableView data, std::size_t offset, std::size_t width, View source) {
  detail::checkRange(data.size(), offset, width);
  if (source.size() > width) throw std::out_of_range("bytes longer than their field");
  for (std::size_t i = 0; i < width; ++i) data[offset + i] = i < source.size() ? source[i] : 0;
}

inline View slice(View data, std::size_t offset, std::size_t width) {
  detail::checkRange(data.size(), offset, width);
  return data.subspan(offset, width);
}

// The bytes of a whole field, all its elements; a field's bytes written from `source` as
// storeBytes writes them.
inline View slice(View data, const Field& field) { return slice(data, field.offset, field.size()); }
inline void storeBytes(MutableView data, const Field& field, View source) {
  storeBytes(data, field.offset, field.size(), source);
}

// Appending to a growing buffer.
inline void appendU8(Bytes& out, std::uint8_t v) { out.push_back(v); }
inline void appendU16(Bytes& out, std::uint16_t v) { detail::append(out, v); }
inline void appendU32(Bytes& out, std::uint32_t v) { detail::append(out, v); }
inline void appendU64(Bytes& out, std::uint64_t v) { detail::append(out, v); }
inline void appendI64(Bytes& out, std::int64_t v) { appendU64(out, static_cast<std::uint64_t>(v)); }
inline void appendBytes(Bytes& out, View more) { out.insert(out.end(), more.begin(), more.end()); }

// Sequential reader over bytes from outside. A read past the end yields zeros and marks the
// reader failed; nothing is read beyond the view.
class ByteReader {
 public:
  explicit ByteReader(View data) : data_(data) {}

  std::uint8_t u8() { return take<std::uint8_t>(); }
  std::uint16_t u16() { return take<std::uint16_t>(); }
  std::uint32_t u32() { return take<std::uint32_t>(); }
  std::uint64_t u64() { return take<std::uint64_t>(); }

  // The next `count` bytes, or an empty view (and failure) when fewer remain.
  View take(std::size_t count) {
    if (count > remaining()) {
      failed_ = true;
      position_ = data_.size();
      return {};
    }
    View out = data_.subspan(position_, count);
    position_ += count;
    return out;
  }
  View rest() { return take(remaining()); }

  std::size_t remaining() const { return data_.size() - position_; }
  std::size_t position() const { return position_; }
  bool ok() const { return !failed_; }

 private:
  template <typename T>
  T take() {
    View field = take(sizeof(T));
    return field.empty() ? T{0} : detail::load<T>(field, 0);
  }

  View data_;
  std::size_t position_ = 0;
  bool failed_ = false;
};

// Upper-case hexadecimal, two digits per byte, no separators.
std::string hexUpper(View data);

// Text of a fixed-size text field: its bytes up to the first zero, or all of them.
std::string fieldText(View field);

}  // namespace bytes
