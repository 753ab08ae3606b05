// The rollback journal: a file beside the archive on the card that makes a store all-or-nothing
// across a crash or a power cut.
//
// Before a store changes any fixed area of the archive, the journal receives the old contents
// of every area the store will change (the last-document slot among them) and the descriptor
// the store is about to commit, and is synced. After the commit the journal is invalidated. At
// start-up a valid journal is resolved before anything reads the archive: when the
// last-document slot holds the journal's descriptor the store had committed and the journal is
// dropped; otherwise the old contents are written back.
//
// Layout (little-endian): the header of kHeaderFields below, then the body of n bytes: the
// 64-byte descriptor being committed, u16 area count, then per area u64 offset, u32 length and
// the old bytes.
// An invalidated journal has twelve zero bytes at its head; a journal whose body does not fit,
// whose check value fails or whose areas run past the body is no journal.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "documents/doc_descriptor.h"
#include "values/bytes.h"

namespace journal {

inline constexpr const char* kFileSuffix = ".JNL";  // the archive's name with it stays an 8.3 name
inline constexpr std::uint32_t kMagic = 0x314C4E4A;  // 4A 4E 4C 31
inline constexpr bytes::Field kMagicField{"magic", 0, 4};
inline constexpr bytes::Field kBodyLengthField{"body length", 4, 4};
inline constexpr bytes::Field kBodyCheckValueField{"body check value", 8, 4};  // CRC-32 of the body
inline constexpr std::array kHeaderFields = {kMagicField, kBodyLengthField, kBodyCheckValueField};
inline constexpr std::size_t kHeaderSize = 12;
static_assert(bytes::tiles(kHeaderFields, kHeaderSize));
// Far above any store's areas; a larger length is damage.
inline constexpr std::uint32_t kMaxBodySize = 1u << 20;

struct Area {
  std::uint64_t offset = 0;
  bytes::Bytes contents;
  friend bool operator==(const Area&, const Area&) = default;
};

struct Record {
  DocDescriptor committing;
  std::vector<Area> oldContents;
  friend bool operator==(const Record&, const Record&) = default;
};

bytes::Bytes encode(const Record& record);
// Header and body; the journal is read by first taking the header, then `bodySize` bytes.
std::optional<std::uint32_t> bodySize(bytes::View header);
std::optional<Record> decode(bytes::View header, bytes::View body);
// The head of an invalidated journal.
bytes::Bytes invalidHead();

}  // namespace journal
