#include "printer/printer_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class PrinterSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/frcore-printer-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    fs::create_directories(directory_ + "/nv");
    path_ = directory_ + "/nv/PRINTER_SETTINGS";
    board_ = platform::makeSimulatedBoard(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& content) const { std::ofstream(path_, std::ios::binary) << content; }

  std::string directory_;
  std::string path_;
  std::unique_ptr<platform::Board> board_;
};

TEST_F(PrinterSettingsFile, MissingOrEmpty_ReadsAsSixtyAndSavingWritesOneByte) {
  EXPECT_EQ(readPaperWidth(path_), 60);
  write("");
  EXPECT_EQ(readPaperWidth(path_), 60);
  EXPECT_TRUE(savePaperWidth(*board_, 80));
  EXPECT_EQ(contents(), "\x50");
  EXPECT_EQ(readPaperWidth(*board_), 80);
}

TEST_F(PrinterSettingsFile, ByteAbove127_ReadsUnsigned) {
  write("\xC8");
  EXPECT_EQ(readPaperWidth(path_), 200);
}

TEST_F(PrinterSettingsFile, SaveIntoMissingDirectory_Fails) {
  EXPECT_FALSE(savePaperWidth(*platform::makeSimulatedBoard(directory_ + "/no-such-directory"), 80));
}

}  // namespace
