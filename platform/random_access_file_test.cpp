#include "platform/random_access_file.h"
#include "platform/temporary_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class RandomAccessFileTest : public ::testing::Test {
 protected:
  const platform::TemporaryDirectory temporary_;
  const std::string directory_ = temporary_.path().string();
  const std::string path_ = directory_ + "/file";
};

TEST_F(RandomAccessFileTest, CreateNew_WritesAtOffsetsAndReadsBack) {
  EXPECT_EQ(platform::lookUpPath(path_), platform::PathState::Missing);
  auto file = platform::openDiskFile(path_, platform::FileMode::CreateNew);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->writeAt(100, bytes::Bytes{1, 2, 3}));
  ASSERT_TRUE(file->sync());
  EXPECT_EQ(file->size(), 103u);
  bytes::Bytes back(4);
  EXPECT_TRUE(file->readAt(99, back));
  EXPECT_EQ(back, (bytes::Bytes{0, 1, 2, 3}));
  EXPECT_FALSE(file->readAt(101, back)) << "only two bytes lie there";
  EXPECT_EQ(platform::lookUpPath(path_), platform::PathState::Exists);
}

TEST_F(RandomAccessFileTest, CreateNew_NeverReplacesAnExistingFile) {
  std::ofstream(path_) << "kept";
  EXPECT_FALSE(platform::openDiskFile(path_, platform::FileMode::CreateNew));
  EXPECT_EQ(fs::file_size(path_), 4u);
}

TEST_F(RandomAccessFileTest, ReadWrite_NeedsAnExistingFileAndKeepsItsContent) {
  EXPECT_FALSE(platform::openDiskFile(path_, platform::FileMode::ReadWrite));
  std::ofstream(path_) << "abcdef";
  auto file = platform::openDiskFile(path_, platform::FileMode::ReadWrite);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->writeAt(2, bytes::view("XY")));
  ASSERT_TRUE(file->sync());
  std::ifstream in(path_);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "abXYef");
}

// A replace leaves the new contents whole, shorter or longer than the old, and nothing staged;
// a staged file left by an earlier cut is written over; without the directory nothing changes.
TEST_F(RandomAccessFileTest, ReplaceDiskFile_SwapsInTheWholeContents) {
  const auto contents = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::ofstream(path_ + ".new") << "left staged by a power cut, longer than anything written";
  for (const std::string text : {"first contents", "short", "", "longer than the contents before"}) {
    ASSERT_TRUE(platform::replaceDiskFile(path_, bytes::view(text))) << text;
    EXPECT_EQ(contents(path_), text);
    EXPECT_FALSE(fs::exists(path_ + ".new"));
  }
  EXPECT_FALSE(platform::replaceDiskFile(directory_ + "/missing/file", bytes::view("x")));
  EXPECT_FALSE(fs::exists(directory_ + "/missing"));
  EXPECT_FALSE(platform::replaceDiskFile(directory_, bytes::view("x"))) << "a directory is not replaced";
  EXPECT_TRUE(fs::is_directory(directory_));

  EXPECT_TRUE(platform::makeDiskDirectories(directory_ + "/a/b/"));
  EXPECT_TRUE(platform::makeDiskDirectories(directory_ + "/a/b")) << "already there";
  EXPECT_FALSE(platform::makeDiskDirectories(path_ + "/c")) << "under a file";
}

// Whether the file system keeps holes or not, the next data never lies past a written byte.
TEST_F(RandomAccessFileTest, NextData_NeverStepsOverWrittenBytes) {
  auto file = platform::openDiskFile(path_, platform::FileMode::CreateNew);
  ASSERT_TRUE(file);
  constexpr std::uint64_t kFar = 8 << 20;
  ASSERT_TRUE(file->writeAt(0, bytes::Bytes{1}) && file->writeAt(kFar, bytes::Bytes{2}));
  for (const std::uint64_t from : {std::uint64_t{0}, std::uint64_t{1}, kFar / 2, kFar}) {
    const auto next = file->nextData(from);
    ASSERT_TRUE(next.has_value()) << from;
    EXPECT_GE(*next, from);
    EXPECT_LE(*next, from == 0 ? 0 : kFar);
  }
  EXPECT_EQ(file->nextData(kFar + 1), std::nullopt);
}

TEST_F(RandomAccessFileTest, PathState_UnknownWhenTheLookItselfFails) {
  std::ofstream(path_) << "x";
  EXPECT_EQ(platform::lookUpPath(path_ + "/below-a-file"), platform::PathState::Unknown);
  EXPECT_EQ(platform::lookUpPath(directory_ + "/absent"), platform::PathState::Missing);
}

}  // namespace
