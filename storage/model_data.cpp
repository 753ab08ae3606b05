#include "storage/model_data.h"

#include <algorithm>
#include <stdexcept>

#include "values/crc.h"

namespace {

bool storeText(bytes::MutableView record, const bytes::Field& field, std::string_view text) {
  if (text.size() > field.size()) return false;
  bytes::storeBytes(record, field, bytes::view(text));
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

ModelData ModelData::fromIdentityMemory(bytes::View stored) {
  ModelData record = fromBytes(stored);
  const auto name = record.raw_.begin() + static_cast<std::ptrdiff_t>(kNameField.offset);
  std::replace(name, name + static_cast<std::ptrdiff_t>(kNameField.size()), std::uint8_t{0xFF}, std::uint8_t{0x00});
  return record;
}

std::uint16_t ModelData::modelCode() const { return bytes::loadU16(raw_, kModelCodeField); }
void ModelData::setModelCode(std::uint16_t code) { bytes::storeU16(raw_, kModelCodeField, code); }

std::string ModelData::serialNumber() const {
  return bytes::fieldText(bytes::slice(raw_, kSerialField));
}

bool ModelData::setSerialNumber(std::string_view text) {
  return storeText(raw_, kSerialField, text);
}

std::string ModelData::modelName() const { return bytes::fieldText(bytes::slice(raw_, kNameField)); }

bool ModelData::setModelName(std::string_view text) { return storeText(raw_, kNameField, text); }

std::uint32_t ModelData::checkValue() const { return bytes::loadU32(raw_, kCheckValueField); }

std::uint32_t ModelData::computeCheckValue(bytes::View deviceKey) const {
  const std::string code = std::to_string(modelCode());
  const std::string serial = serialNumber();
  return crc::Crc32().update(bytes::view(code)).update(bytes::view(serial)).update(deviceKey).value();
}

bool ModelData::seal(bytes::View deviceKey) {
  bytes::storeU32(raw_, kCheckValueField, computeCheckValue(deviceKey));
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
