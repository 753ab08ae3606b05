// A temporary directory for one reference table file, with helpers to read and write it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "values/bytes.h"

class TableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/frcore-table-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    path_ = root_ / "TABLE";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  bytes::Bytes fileBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return bytes::Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void writeFile(bytes::View content) const {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                 static_cast<std::streamsize>(content.size()));
  }

  std::filesystem::path root_;
  std::filesystem::path path_;
};
