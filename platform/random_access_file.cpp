#include "platform/random_access_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace platform {
namespace {

// pread and pwrite may move fewer bytes than asked (or be interrupted); both loop until done.
class DiskFile final : public RandomAccessFile {
 public:
  explicit DiskFile(int descriptor) : descriptor_(descriptor) {}
  ~DiskFile() override { ::close(descriptor_); }
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  bool readAt(std::uint64_t offset, bytes::MutableView out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      if (!fits(offset, done)) return false;
      const ssize_t got = ::pread64(descriptor_, out.data() + done, out.size() - done,
                                    static_cast<off64_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

  bool writeAt(std::uint64_t offset, bytes::View data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      if (!fits(offset, done)) return false;
      const ssize_t put = ::pwrite64(descriptor_, data.data() + done, data.size() - done,
                                     static_cast<off64_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<std::size_t>(put);
    }
    return true;
  }

  // A device attribute (the identity memory on the board) takes each write at once and has
  // nothing to sync: it answers EINVAL, which counts as synced.
  bool sync() override {
    while (::fdatasync(descriptor_) != 0) {
      if (errno == EINVAL) return true;
      if (errno != EINTR) return false;
    }
    return true;
  }

  // The file system's own record of holes; one that keeps none counts every byte as data.
  std::optional<std::uint64_t> nextData(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    const off64_t found = ::lseek64(descriptor_, static_cast<off64_t>(offset), SEEK_DATA);
    if (found >= 0) return static_cast<std::uint64_t>(found);
    if (errno == ENXIO) return std::nullopt;  // only holes, or past the end
    return RandomAccessFile::nextData(offset);
  }

  std::optional<std::uint64_t> size() override {
    struct stat64 info {};
    if (::fstat64(descriptor_, &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
  }

 private:
  static bool fits(std::uint64_t offset, std::size_t done) {
    return offset <= static_cast<std::uint64_t>(INT64_MAX) - done;
  }

  int descriptor_;
};

int openFlags(FileMode mode) {
  switch (mode) {
    case FileMode::ReadOnly: return O_RDONLY;
    case FileMode::ReadWrite: return O_RDWR;
    case FileMode::CreateNew: return O_RDWR | O_CREAT | O_EXCL;  // never replaces an existing file
    case FileMode::OpenOrCreate: return O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

// A new file's name, or a rename, is durable only once its directory is synced.
bool syncDirectoryOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const char* directory = parent.empty() ? "." : parent.c_str();
  const int descriptor = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool synced = ::fsync(descriptor) == 0;
  ::close(descriptor);
  return synced;
}

}  // namespace

std::optional<std::uint64_t> RandomAccessFile::nextData(std::uint64_t offset) {
  const auto length = size();
  if (!length || offset >= *length) return std::nullopt;
  return offset;
}

std::unique_ptr<RandomAccessFile> openDiskFile(const std::string& path, FileMode mode) {
  const bool mayCreate = mode == FileMode::CreateNew || mode == FileMode::OpenOrCreate;
  const bool existed = lookUpPath(path) == PathState::Exists;
  const int descriptor = ::open(path.c_str(), openFlags(mode) | O_CLOEXEC | O_LARGEFILE, 0644);
  if (descriptor < 0) return nullptr;
  if (mayCreate && !existed) syncDirectoryOf(path);
  return std::make_unique<DiskFile>(descriptor);
}

bool replaceDiskFile(const std::string& path, bytes::View contents) {
  const std::string staged = path + ".new";
  // A file left staged by an earlier cut is written over from its start.
  const int descriptor = ::open(staged.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_LARGEFILE, 0644);
  if (descriptor < 0) return false;
  DiskFile file(descriptor);
  if (!file.writeAt(0, contents) || !file.sync() || std::rename(staged.c_str(), path.c_str()) != 0) {
    ::unlink(staged.c_str());
    return false;
  }
  return syncDirectoryOf(path);
}

bool makeDiskDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

PathState lookUpPath(const std::string& path) {
  struct stat64 info {};
  if (stat64(path.c_str(), &info) == 0) return PathState::Exists;
  return errno == ENOENT ? PathState::Missing : PathState::Unknown;
}

}  // namespace platform
