#include "storage/identity_image.h"

bytes::Bytes identityImage(bytes::View deviceKey, const std::optional<ModelData>& model) {
  bytes::Bytes memory(IdentityMemory::kSize, 0xFF);
  bytes::storeBytes(memory, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize, deviceKey);
  if (model) bytes::storeBytes(memory, IdentityMemory::kModelDataOffset, ModelData::kSize, model->bytes());
  return memory;
}
