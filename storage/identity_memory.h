// The identity memory: the board's 4096-byte EEPROM, seen as a file.
//
// Layout (byte offsets):
//      0    48  ModelData
//     48   968  RegData
//   1016  3064  not used
//   4080    16  device key, made once on a blank board and never changed
// A blank memory reads 0xFF in every byte.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/state/device_state.h"
#include "documents/reg_data.h"
#include "platform/board.h"
#include "storage/model_data.h"

class IdentityMemory {
 public:
  static constexpr std::size_t kSize = 4096;
  static constexpr std::size_t kModelDataOffset = 0;
  static constexpr std::size_t kRegDataOffset = 48;
  static constexpr std::size_t kDeviceKeyOffset = 4080;
  static constexpr std::size_t kDeviceKeySize = 16;

  // The board's identity memory, opened through the board for each load and each write.
  explicit IdentityMemory(platform::Board& board) : board_(board) {}

  // Reads the device key (making one on a blank memory), the model record and the
  // registration, and publishes what it could read. Sets the identity fault flag when the
  // registration could not be read, or the key or the model record could not.
  void loadIdentity(DeviceState& state) const;

  // Write one record at its offset and sync; false when the memory cannot be opened or not
  // every byte was written.
  bool writeModelData(const ModelData& record);
  bool writeRegData(const RegData& record);

  // Service modes: erase every byte to 0xFF, and the 64 rows of 64 bytes as text (two
  // upper-case hexadecimal digits a byte, a gap of two spaces after every eight bytes).
  // Nothing happens, and no rows come, when the memory cannot be opened.
  void erase();
  std::vector<std::string> rows() const;

 private:
  bool writeAt(std::size_t offset, bytes::View data);
  std::unique_ptr<platform::RandomAccessFile> open() const;

  platform::Board& board_;
};
