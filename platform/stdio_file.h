// A stdio file that closes itself: files are opened, used and closed within one operation.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace platform {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// fopen with the given mode; empty when the file cannot be opened.
inline File openFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode)); }

}  // namespace platform
