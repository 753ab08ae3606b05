#include "printer/printer_settings.h"
#include "platform/temporary_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class PrinterSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(directory_ + "/nv");
    path_ = directory_ + "/nv/PRINTER_SETTINGS";
    board_ = platform::makeSimulatedBoard(directory_);
  }

  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const std::string& content) const { std::ofstream(path_, std::ios::binary) << content; }

  const platform::TemporaryDirectory temporary_;
  const std::string directory_ = temporary_.path().string();
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
