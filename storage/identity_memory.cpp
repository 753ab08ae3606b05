#include "storage/identity_memory.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>

#include "platform/stdio_file.h"

namespace {

constexpr std::size_t kEraseBlock = 512;
constexpr std::size_t kRowSize = 64;
constexpr std::size_t kDigitsPerGroup = 16;

using platform::File;

File openForUpdate(const std::string& path) { return platform::openFile(path, "r+"); }

std::optional<bytes::Bytes> readAt(std::FILE* file, std::size_t offset, std::size_t count) {
  bytes::Bytes data(count);
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return std::nullopt;
  if (std::fread(data.data(), 1, count, file) != count) return std::nullopt;
  return data;
}

bool writeAt(std::FILE* file, std::size_t offset, bytes::View data) {
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  return std::fflush(file) == 0 && written;
}

// The key at 4080; a blank one (all 0xFF) is replaced by 16 bytes from the random device first.
std::optional<bytes::Bytes> loadDeviceKey(std::FILE* file) {
  auto key = readAt(file, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize);
  if (!key) return std::nullopt;
  if (std::all_of(key->begin(), key->end(), [](std::uint8_t b) { return b == 0xFF; })) {
    std::random_device random("default");
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : *key) b = static_cast<std::uint8_t>(byte(random));
    if (!writeAt(file, IdentityMemory::kDeviceKeyOffset, *key)) return std::nullopt;
  }
  return readAt(file, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize);
}

}  // namespace

void IdentityMemory::loadIdentity(DeviceState& state) const {
  File file = openForUpdate(path_);
  bool keyLoaded = false, modelLoaded = false, registrationLoaded = false;
  if (file) {
    if (auto key = loadDeviceKey(file.get())) {
      state.setDeviceKey(*key);
      keyLoaded = true;
    }
    if (auto stored = readAt(file.get(), kModelDataOffset, ModelData::kSize)) {
      // An erased name reads as no name.
      std::replace(stored->begin() + ModelData::kNameOffset,
                   stored->begin() + ModelData::kNameOffset + ModelData::kNameSize, std::uint8_t{0xFF},
                   std::uint8_t{0x00});
      state.publishModelData(ModelData::fromBytes(*stored));
      modelLoaded = true;
    }
    if (auto stored = readAt(file.get(), kRegDataOffset, RegData::kSize)) {
      state.publishRegData(RegData::fromBytes(*stored));
      registrationLoaded = true;
    }
  }
  if (!registrationLoaded || !keyLoaded || !modelLoaded) state.setStatusFlag(FrStatus::kIdentityFault, true);
}

bool IdentityMemory::writeAt(std::size_t offset, bytes::View data) const {
  File file = openForUpdate(path_);
  return file && ::writeAt(file.get(), offset, data);
}

bool IdentityMemory::writeModelData(const ModelData& record) const {
  return writeAt(kModelDataOffset, record.bytes());
}

bool IdentityMemory::writeRegData(const RegData& record) const { return writeAt(kRegDataOffset, record.bytes()); }

void IdentityMemory::erase() const {
  File file = openForUpdate(path_);
  if (!file) return;
  const bytes::Bytes blank(kEraseBlock, 0xFF);
  std::fseek(file.get(), 0, SEEK_SET);
  for (std::size_t written = 0; written < kSize; written += kEraseBlock) {
    std::fwrite(blank.data(), 1, blank.size(), file.get());
    std::fflush(file.get());
  }
}

std::vector<std::string> IdentityMemory::rows() const {
  std::vector<std::string> rows;
  File file = openForUpdate(path_);
  if (!file) return rows;
  for (std::size_t offset = 0; offset < kSize; offset += kRowSize) {
    bytes::Bytes row(kRowSize, 0xFF);
    if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0) {
      const std::size_t got = std::fread(row.data(), 1, kRowSize, file.get());
      (void)got;  // a short read leaves the rest of the row at 0xFF
    }
    std::string digits = bytes::hexUpper(row);
    for (std::size_t at = digits.size() - kDigitsPerGroup; at > 0; at -= kDigitsPerGroup) digits.insert(at, "  ");
    rows.push_back(std::move(digits));
  }
  return rows;
}
