// Doubles of the files a board opens: a file that forwards every operation to another, so that
// a test overrides only what it needs (a write that fails, a read it watches), as BoardWrapper
// does for boards; and a board that hands out each file it opens so wrapped.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/board.h"
#include "platform/random_access_file.h"

namespace platform {

// Owns the file it forwards to.
class FileWrapper : public RandomAccessFile {
 public:
  explicit FileWrapper(std::unique_ptr<RandomAccessFile> target) : target_(std::move(target)) {}

  bool readAt(std::uint64_t offset, bytes::MutableView out) override { return target_->readAt(offset, out); }
  bool writeAt(std::uint64_t offset, bytes::View data) override { return target_->writeAt(offset, data); }
  bool sync() override { return target_->sync(); }
  std::optional<std::uint64_t> size() override { return target_->size(); }
  std::optional<std::uint64_t> nextData(std::uint64_t offset) override { return target_->nextData(offset); }

 private:
  std::unique_ptr<RandomAccessFile> target_;
};

// Passes every file the wrapped board opens through `wrap`, with its path, and hands out what
// `wrap` gives; a file that does not open stays unopened.
class FileWrappingBoard : public BoardWrapper {
 public:
  using Wrap =
      std::function<std::unique_ptr<RandomAccessFile>(const std::string& path, std::unique_ptr<RandomAccessFile> file)>;

  FileWrappingBoard(Board& target, Wrap wrap) : BoardWrapper(target), wrap_(std::move(wrap)) {}

  std::unique_ptr<RandomAccessFile> openFile(const std::string& path, FileMode mode) override {
    auto file = BoardWrapper::openFile(path, mode);
    return file ? wrap_(path, std::move(file)) : nullptr;
  }

 private:
  Wrap wrap_;
};

}  // namespace platform
