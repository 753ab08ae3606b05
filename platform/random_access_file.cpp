#include "platform/random_access_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/stdio_file.h"

namespace platform {
namespace {

class StdioFile final : public RandomAccessFile {
 public:
  explicit StdioFile(File file) : file_(std::move(file)) {}

  bool readAt(std::uint64_t offset, bytes::MutableView out) override {
    if (!seek(offset)) return false;
    return std::fread(out.data(), 1, out.size(), file_.get()) == out.size();
  }

  bool writeAt(std::uint64_t offset, bytes::View data) override {
    if (!seek(offset)) return false;
    return std::fwrite(data.data(), 1, data.size(), file_.get()) == data.size();
  }

  bool flush() override { return std::fflush(file_.get()) == 0; }

  std::optional<std::uint64_t> size() override {
    if (fseeko64(file_.get(), 0, SEEK_END) != 0) return std::nullopt;
    const off64_t end = ftello64(file_.get());
    if (end < 0) return std::nullopt;
    return static_cast<std::uint64_t>(end);
  }

 private:
  bool seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return fseeko64(file_.get(), static_cast<off64_t>(offset), SEEK_SET) == 0;
  }

  File file_;
};

const char* modeText(FileMode mode) {
  switch (mode) {
    case FileMode::ReadOnly: return "rb";
    case FileMode::ReadWrite: return "r+b";
    case FileMode::CreateNew: return "w+bx";  // exclusive: never replaces an existing file
  }
  return "rb";
}

}  // namespace

std::unique_ptr<RandomAccessFile> openStdioFile(const std::string& path, FileMode mode) {
  File file(fopen64(path.c_str(), modeText(mode)));
  if (!file) return nullptr;
  return std::make_unique<StdioFile>(std::move(file));
}

PathState lookUpPath(const std::string& path) {
  struct stat64 info {};
  if (stat64(path.c_str(), &info) == 0) return PathState::Exists;
  return errno == ENOENT ? PathState::Missing : PathState::Unknown;
}

}  // namespace platform
