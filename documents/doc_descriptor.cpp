#include "documents/doc_descriptor.h"

#include <algorithm>
#include <stdexcept>

#include "values/crc.h"

DocDescriptor DocDescriptor::fromBytes(bytes::View stored) {
  if (stored.size() != kSize) throw std::invalid_argument("a document descriptor is 64 bytes");
  DocDescriptor descriptor;
  std::copy(stored.begin(), stored.end(), descriptor.raw_.begin());
  return descriptor;
}

std::uint8_t DocDescriptor::type() const { return bytes::loadU8(raw_, kTypeField); }
void DocDescriptor::setType(std::uint8_t type) { bytes::storeU8(raw_, kTypeField, type); }
std::uint32_t DocDescriptor::documentNumber() const { return bytes::loadU32(raw_, kDocumentNumberField); }
void DocDescriptor::setDocumentNumber(std::uint32_t number) { bytes::storeU32(raw_, kDocumentNumberField, number); }
std::uint32_t DocDescriptor::dateTime() const { return bytes::loadU32(raw_, kDateTimeField); }
void DocDescriptor::setDateTime(std::uint32_t seconds) { bytes::storeU32(raw_, kDateTimeField, seconds); }
std::uint16_t DocDescriptor::shiftNumber() const { return bytes::loadU16(raw_, kShiftNumberField); }
void DocDescriptor::setShiftNumber(std::uint16_t number) { bytes::storeU16(raw_, kShiftNumberField, number); }
std::uint32_t DocDescriptor::fiscalSign() const { return bytes::loadU32(raw_, kFiscalSignField); }
void DocDescriptor::setFiscalSign(std::uint32_t sign) { bytes::storeU32(raw_, kFiscalSignField, sign); }
std::uint8_t DocDescriptor::cashierNumber() const { return bytes::loadU8(raw_, kCashierNumberField); }
void DocDescriptor::setCashierNumber(std::uint8_t number) { bytes::storeU8(raw_, kCashierNumberField, number); }
std::uint16_t DocDescriptor::dataLength() const { return bytes::loadU16(raw_, kDataLengthField); }
void DocDescriptor::setDataLength(std::uint16_t length) { bytes::storeU16(raw_, kDataLengthField, length); }

std::uint64_t DocDescriptor::dataOffset() const { return bytes::loadU64(raw_, kDataOffsetField); }
void DocDescriptor::setDataOffset(std::uint64_t offset) { bytes::storeU64(raw_, kDataOffsetField, offset); }

std::uint16_t DocDescriptor::dataCheckValue() const { return bytes::loadU16(raw_, kDataCheckValueField); }
void DocDescriptor::setDataCheckValue(std::uint16_t value) { bytes::storeU16(raw_, kDataCheckValueField, value); }
std::uint32_t DocDescriptor::fiscalizationNumber() const { return bytes::loadU32(raw_, kFiscalizationNumberField); }
void DocDescriptor::setFiscalizationNumber(std::uint32_t number) {
  bytes::storeU32(raw_, kFiscalizationNumberField, number);
}
std::uint16_t DocDescriptor::headerCheckValue() const { return bytes::loadU16(raw_, kHeaderCheckValueField); }

std::uint16_t DocDescriptor::computeHeaderCheckValue() const {
  std::array<std::uint8_t, kHeaderCoveredSize> covered{};
  std::copy_n(raw_.begin(), kHeaderCoveredSize, covered.begin());
  bytes::storeU32(covered, kFiscalizationNumberField, 0);
  return crc::crc16(covered);
}

void DocDescriptor::sealHeader() { bytes::storeU16(raw_, kHeaderCheckValueField, computeHeaderCheckValue()); }
