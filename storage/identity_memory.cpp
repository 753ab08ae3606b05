#include "storage/identity_memory.h"

#include <algorithm>
#include <optional>
#include <random>

namespace {

constexpr std::size_t kEraseBlock = 512;
constexpr std::size_t kRowSize = 64;
constexpr std::size_t kDigitsPerGroup = 16;

using platform::RandomAccessFile;

std::optional<bytes::Bytes> readAt(RandomAccessFile& file, std::size_t offset, std::size_t count) {
  bytes::Bytes data(count);
  if (!file.readAt(offset, data)) return std::nullopt;
  return data;
}

// The key at 4080; a blank one (all 0xFF) is replaced by 16 bytes from the random device first.
std::optional<bytes::Bytes> loadDeviceKey(RandomAccessFile& file) {
  auto key = readAt(file, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize);
  if (!key) return std::nullopt;
  if (std::all_of(key->begin(), key->end(), [](std::uint8_t b) { return b == 0xFF; })) {
    std::random_device random("default");
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : *key) b = static_cast<std::uint8_t>(byte(random));
    if (!file.writeAt(IdentityMemory::kDeviceKeyOffset, *key) || !file.sync()) return std::nullopt;
  }
  return readAt(file, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize);
}

}  // namespace

std::unique_ptr<RandomAccessFile> IdentityMemory::open() const {
  return board_.openFile(board_.identityMemoryPath(), platform::FileMode::ReadWrite);
}

void IdentityMemory::loadIdentity(DeviceState& state) const {
  auto file = open();
  bool keyLoaded = false, modelLoaded = false, registrationLoaded = false;
  if (file) {
    if (auto key = loadDeviceKey(*file)) {
      state.setDeviceKey(*key);
      keyLoaded = true;
    }
    if (auto stored = readAt(*file, kModelDataOffset, ModelData::kSize)) {
      state.publishModelData(ModelData::fromIdentityMemory(*stored));
      modelLoaded = true;
    }
    if (auto stored = readAt(*file, kRegDataOffset, RegData::kSize)) {
      state.publishRegData(RegData::fromBytes(*stored));
      registrationLoaded = true;
    }
  }
  if (!registrationLoaded || !keyLoaded || !modelLoaded) state.setStatusFlag(FrStatus::kIdentityFault, true);
}

bool IdentityMemory::writeAt(std::size_t offset, bytes::View data) {
  auto file = open();
  return file && file->writeAt(offset, data) && file->sync();
}

bool IdentityMemory::writeModelData(const ModelData& record) { return writeAt(kModelDataOffset, record.bytes()); }

bool IdentityMemory::writeRegData(const RegData& record) { return writeAt(kRegDataOffset, record.bytes()); }

void IdentityMemory::erase() {
  auto file = open();
  if (!file) return;
  const bytes::Bytes blank(kEraseBlock, 0xFF);
  for (std::size_t offset = 0; offset < kSize; offset += kEraseBlock) file->writeAt(offset, blank);
  file->sync();
}

std::vector<std::string> IdentityMemory::rows() const {
  std::vector<std::string> rows;
  auto file = open();
  if (!file) return rows;
  for (std::size_t offset = 0; offset < kSize; offset += kRowSize) {
    bytes::Bytes row(kRowSize, 0xFF);
    if (!file->readAt(offset, row)) std::fill(row.begin(), row.end(), 0xFF);  // unreadable rows show as erased
    std::string digits = bytes::hexUpper(row);
    for (std::size_t at = digits.size() - kDigitsPerGroup; at > 0; at -= kDigitsPerGroup) digits.insert(at, "  ");
    rows.push_back(std::move(digits));
  }
  return rows;
}
