// Arbitrary identity memory contents: the model record and the registration read from them, and
// loadIdentity over the whole memory on an in-memory board. A broken invariant aborts.
#include <cstdlib>
#include <filesystem>

#include "platform/memory_board.h"
#include "storage/identity_memory.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Made once; each input replaces the identity memory whole.
platform::MemoryBoard& board() {
  static platform::MemoryBoard board(std::filesystem::temp_directory_path() / "frcore-identity-fuzz");
  return board;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bytes::Bytes memory(data, data + size);
  memory.resize(IdentityMemory::kSize, 0xFF);
  const ModelData model = ModelData::fromBytes(bytes::slice(memory, 0, ModelData::kSize));
  const bytes::View key = bytes::slice(memory, IdentityMemory::kDeviceKeyOffset, IdentityMemory::kDeviceKeySize);
  ModelData resealed = model;
  require(resealed.seal(key) == resealed.isValid() && resealed.verify(key));
  require(ModelData::fromBytes(model.bytes()) == model);
  const RegData registration = RegData::fromBytes(bytes::slice(memory, IdentityMemory::kRegDataOffset, RegData::kSize));
  (void)registration.verify(model.serialNumber(), key);
  require(RegData::fromBytes(registration.bytes()) == registration);

  // Inputs shorter than the memory also try a short memory.
  if (size < IdentityMemory::kSize && size % 2 == 1) memory.resize(size);
  board().setContents(board().identityMemoryPath(), memory);
  DeviceState state;
  IdentityMemory(board()).loadIdentity(state);
  require(state.deviceKey().size() == IdentityMemory::kDeviceKeySize ||
          state.hasStatusFlag(FrStatus::kIdentityFault));
  return 0;
}
