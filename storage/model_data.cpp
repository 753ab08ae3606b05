#include "storage/model_data.h"

#include <algorithm>
#include <stdexcept>

#include "values/crc.h"

namespace {

bool storeText(bytes::MutableView record, std::size_t offset, std::size_t width, std::string_view text) {
  if (text.size() > width) return false;
  bytes::storeBytes(record, offset, width, bytes::view(text));
  return true;
}

}  // namespace

ModelData::ModelData() {
  setModelCode(kModelCode);
  setModelName(kModelName);
}

ModelData ModelData::fromBytes(bytes::View stored) {
  if (stored.size() != kSize) throw std::invalid_argument("a model record is 48 bytes");
  ModelData record;
  std::copy(stored.begin(), stored.end(), record.raw_.begin());
  return record;
}

std::uint16_t ModelData::modelCode() const { return bytes::loadU16(raw_, 0); }
void ModelData::setModelCode(std::uint16_t code) { bytes::storeU16(raw_, 0, code); }

std::string ModelData::serialNumber() const {
  return bytes::fieldText(bytes::slice(raw_, kSerialOffset, kSerialSize));
}

bool ModelData::setSerialNumber(std::string_view text) {
  return storeText(raw_, kSerialOffset, kSerialSize, text);
}

std::string ModelData::modelName() const { return bytes::fieldText(bytes::slice(raw_, kNameOffset, kNameSize)); }

bool ModelData::setModelName(std::string_view text) { return storeText(raw_, kNameOffset, kNameSize, text); }

std::uint32_t ModelData::checkValue() const { return bytes::loadU32(raw_, kCheckValueOffset); }

std::uint32_t ModelData::computeCheckValue(bytes::View deviceKey) const {
  const std::string code = std::to_string(modelCode());
  const std::string serial = serialNumber();
  return crc::Crc32().update(bytes::view(code)).update(bytes::view(serial)).update(deviceKey).value();
}

bool ModelData::seal(bytes::View deviceKey) {
  bytes::storeU32(raw_, kCheckValueOffset, computeCheckValue(deviceKey));
  return isValid();
}

bool ModelData::verify(bytes::View deviceKey) const { return checkValue() == computeCheckValue(deviceKey); }

bool ModelData::isValid() const {
  const std::string serial = serialNumber();
  const std::uint32_t check = checkValue();
  return modelCode() != 0 && !serial.empty() && !modelName().empty() && check != 0 && check != 0xFFFFFFFFu &&
         std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool operator==(const ModelData& a, const ModelData& b) {
  return a.modelCode() == b.modelCode() && a.modelName() == b.modelName() &&
         a.serialNumber() == b.serialNumber() && a.checkValue() == b.checkValue();
}
