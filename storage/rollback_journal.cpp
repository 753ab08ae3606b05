#include "storage/rollback_journal.h"

#include "values/crc.h"

namespace journal {

bytes::Bytes encode(const Record& record) {
  bytes::Bytes body;
  bytes::appendBytes(body, record.committing.bytes());
  bytes::appendU16(body, static_cast<std::uint16_t>(record.oldContents.size()));
  for (const Area& area : record.oldContents) {
    bytes::appendU64(body, area.offset);
    bytes::appendU32(body, static_cast<std::uint32_t>(area.contents.size()));
    bytes::appendBytes(body, area.contents);
  }
  bytes::Bytes out(kHeaderSize);
  bytes::storeU32(out, kMagicField, kMagic);
  bytes::storeU32(out, kBodyLengthField, static_cast<std::uint32_t>(body.size()));
  bytes::storeU32(out, kBodyCheckValueField, crc::crc32(body));
  bytes::appendBytes(out, body);
  return out;
}

std::optional<std::uint32_t> bodySize(bytes::View header) {
  if (header.size() != kHeaderSize || bytes::loadU32(header, kMagicField) != kMagic) return std::nullopt;
  const std::uint32_t size = bytes::loadU32(header, kBodyLengthField);
  if (size < DocDescriptor::kSize + 2 || size > kMaxBodySize) return std::nullopt;
  return size;
}

std::optional<Record> decode(bytes::View header, bytes::View body) {
  const auto size = bodySize(header);
  if (!size || body.size() != *size || crc::crc32(body) != bytes::loadU32(header, kBodyCheckValueField)) return std::nullopt;
  bytes::ByteReader reader(body);
  Record record;
  record.committing = DocDescriptor::fromBytes(reader.take(DocDescriptor::kSize));
  const std::uint16_t count = reader.u16();
  for (std::uint16_t i = 0; i < count && reader.ok(); ++i) {
    Area area;
    area.offset = reader.u64();
    const bytes::View contents = reader.take(reader.u32());
    area.contents.assign(contents.begin(), contents.end());
    record.oldContents.push_back(std::move(area));
  }
  if (!reader.ok() || reader.remaining() != 0) return std::nullopt;
  return record;
}

bytes::Bytes invalidHead() { return bytes::Bytes(kHeaderSize, 0); }

}  // namespace journal
