// A temporary directory for one reference table file, with helpers to read and write it, and a
// board whose files are the directory's.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/board.h"
#include "values/bytes.h"
#include "platform/temporary_directory.h"

class TableFileTest : public ::testing::Test {
 protected:

  static bytes::Bytes fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes::Bytes(std::istreambuf_iterator<char>(in), {});
  }
  bytes::Bytes fileBytes() const { return fileBytes(path_); }
  void writeFile(bytes::View content) const {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                 static_cast<std::streamsize>(content.size()));
  }

  const platform::TemporaryDirectory directory_;
  const std::filesystem::path root_ = directory_.path();
  const std::filesystem::path path_ = root_ / "TABLE";
  const std::unique_ptr<platform::Board> board_ = platform::makeSimulatedBoard(root_.string());
};
