// Little-endian encoding of fixed-layout records and wire data.
//
// Every frame, descriptor, counter block, identity record and table slot is read and written
// through these helpers. Multi-byte integers are little-endian and written by shifts, so the
// code does not depend on the host's byte order or alignment. Fixed offsets inside a record of
// known size are checked and a bad offset is a programming error (std::out_of_range); data
// that comes from outside is read through ByteReader, which reports running short instead.
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
