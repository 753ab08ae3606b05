#include "platform/sync_switch_board.h"

#include "platform/file_wrapper.h"

namespace platform {

class SyncSwitchBoard::SwitchedFile final : public FileWrapper {
 public:
  SwitchedFile(std::unique_ptr<RandomAccessFile> target, SyncSwitchBoard& board)
      : FileWrapper(std::move(target)), board_(board) {}

  bool writeAt(std::uint64_t offset, bytes::View data) override {
    ++board_.writes_;
    return FileWrapper::writeAt(offset, data);
  }
  bool sync() override {
    if (!board_.syncsMade_) return true;
    ++board_.syncs_;
    return FileWrapper::sync();
  }

 private:
  SyncSwitchBoard& board_;
};

std::unique_ptr<RandomAccessFile> SyncSwitchBoard::openFile(const std::string& path, FileMode mode) {
  auto file = BoardWrapper::openFile(path, mode);
  if (!file) return nullptr;
  return std::make_unique<SwitchedFile>(std::move(file), *this);
}

}  // namespace platform
