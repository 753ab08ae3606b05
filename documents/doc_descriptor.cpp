#include "documents/doc_descriptor.h"

#include <algorithm>
#include <stdexcept>

#include "values/crc.h"

namespace {

constexpr std::size_t kTypeOffset = 0;
constexpr std::size_t kNumberOffset = 1;
constexpr std::size_t kDateTimeOffset = 5;
constexpr std::size_t kShiftOffset = 9;
constexpr std::size_t kSignOffset = 11;
constexpr std::size_t kCashierOffset = 15;
constexpr std::size_t kLengthOffset = 16;
constexpr std::size_t kOffsetLowOffset = 18;
constexpr std::size_t kOffsetHighOffset = 22;
constexpr std::size_t kDataCheckOffset = 26;
constexpr std::size_t kFiscalizationOffset = 28;
constexpr std::size_t kHeaderCheckOffset = 38;

static_assert(kHeaderCheckOffset == DocDescriptor::kHeaderCoveredSize);
static_assert(kFiscalizationOffset + 4 <= DocDescriptor::kHeaderCoveredSize);

}  // namespace

DocDescriptor DocDescriptor::fromBytes(bytes::View stored) {
  if (stored.size() != kSize) throw std::invalid_argument("a document descriptor is 64 bytes");
  DocDescriptor descriptor;
  std::copy(stored.begin(), stored.end(), descriptor.raw_.begin());
  return descriptor;
}

std::uint8_t DocDescriptor::type() const { return bytes::loadU8(raw_, kTypeOffset); }
void DocDescriptor::setType(std::uint8_t type) { bytes::storeU8(raw_, kTypeOffset, type); }
std::uint32_t DocDescriptor::documentNumber() const { return bytes::loadU32(raw_, kNumberOffset); }
void DocDescriptor::setDocumentNumber(std::uint32_t number) { bytes::storeU32(raw_, kNumberOffset, number); }
std::uint32_t DocDescriptor::dateTime() const { return bytes::loadU32(raw_, kDateTimeOffset); }
void DocDescriptor::setDateTime(std::uint32_t seconds) { bytes::storeU32(raw_, kDateTimeOffset, seconds); }
std::uint16_t DocDescriptor::shiftNumber() const { return bytes::loadU16(raw_, kShiftOffset); }
void DocDescriptor::setShiftNumber(std::uint16_t number) { bytes::storeU16(raw_, kShiftOffset, number); }
std::uint32_t DocDescriptor::fiscalSign() const { return bytes::loadU32(raw_, kSignOffset); }
void DocDescriptor::setFiscalSign(std::uint32_t sign) { bytes::storeU32(raw_, kSignOffset, sign); }
std::uint8_t DocDescriptor::cashierNumber() const { return bytes::loadU8(raw_, kCashierOffset); }
void DocDescriptor::setCashierNumber(std::uint8_t number) { bytes::storeU8(raw_, kCashierOffset, number); }
std::uint16_t DocDescriptor::dataLength() const { return bytes::loadU16(raw_, kLengthOffset); }
void DocDescriptor::setDataLength(std::uint16_t length) { bytes::storeU16(raw_, kLengthOffset, length); }

std::uint64_t DocDescriptor::dataOffset() const {
  return std::uint64_t{bytes::loadU32(raw_, kOffsetHighOffset)} << 32 | bytes::loadU32(raw_, kOffsetLowOffset);
}

void DocDescriptor::setDataOffset(std::uint64_t offset) {
  bytes::storeU32(raw_, kOffsetLowOffset, static_cast<std::uint32_t>(offset));
  bytes::storeU32(raw_, kOffsetHighOffset, static_cast<std::uint32_t>(offset >> 32));
}

std::uint16_t DocDescriptor::dataCheckValue() const { return bytes::loadU16(raw_, kDataCheckOffset); }
void DocDescriptor::setDataCheckValue(std::uint16_t value) { bytes::storeU16(raw_, kDataCheckOffset, value); }
std::uint32_t DocDescriptor::fiscalizationNumber() const { return bytes::loadU32(raw_, kFiscalizationOffset); }
void DocDescriptor::setFiscalizationNumber(std::uint32_t number) {
  bytes::storeU32(raw_, kFiscalizationOffset, number);
}
std::uint16_t DocDescriptor::headerCheckValue() const { return bytes::loadU16(raw_, kHeaderCheckOffset); }

std::uint16_t DocDescriptor::computeHeaderCheckValue() const {
  std::array<std::uint8_t, kHeaderCoveredSize> covered{};
  std::copy_n(raw_.begin(), kHeaderCoveredSize, covered.begin());
  bytes::storeU32(covered, kFiscalizationOffset, 0);
  return crc::crc16(covered);
}

void DocDescriptor::sealHeader() { bytes::storeU16(raw_, kHeaderCheckOffset, computeHeaderCheckValue()); }
