#include "tools/archive/archive_files.h"

#include <filesystem>

#include "platform/board.h"
#include "storage/card.h"
#include "storage/identity_memory.h"

namespace frarchive {

namespace {

bool isDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

std::string archivePathOf(const std::string& given) {
  if (!isDirectory(given)) return given;
  return platform::makeSimulatedBoard(given)->cardMountPoint() + card::kArchiveFileName;
}

std::string boardIdentityPathOf(const std::string& given) {
  return isDirectory(given) ? platform::makeSimulatedBoard(given)->identityMemoryPath() : "";
}

std::optional<DeviceIdentity> readIdentity(const std::string& path, std::string& reason) {
  auto file = platform::openDiskFile(path, platform::FileMode::ReadOnly);
  bytes::Bytes memory(IdentityMemory::kSize);
  if (!file || file->size().value_or(0) != IdentityMemory::kSize || !file->readAt(0, memory)) {
    reason = "identity memory " + path + " cannot be read as " + std::to_string(IdentityMemory::kSize) + " bytes";
    return std::nullopt;
  }
  DeviceIdentity identity;
  identity.model = ModelData::fromIdentityMemory(bytes::slice(memory, IdentityMemory::kModelDataOffset, ModelData::kSize));
  identity.key.assign(memory.begin() + IdentityMemory::kDeviceKeyOffset,
                      memory.begin() + IdentityMemory::kDeviceKeyOffset + IdentityMemory::kDeviceKeySize);
  return identity;
}

}  // namespace frarchive
