#include "platform/file_wrapper.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fault_injecting_board.h"

namespace {

using platform::FileMode;

// Files in memory, on a board whose directory is never touched.
struct MemoryFiles {
  std::unique_ptr<platform::Board> simulated = platform::makeSimulatedBoard("/nonexistent-board");
  platform::FaultInjectingBoard board{*simulated};
};

TEST(FileWrappingBoard, WrapsEachOpenedFile_WhichForwardsWhatItDoesNotOverride) {
  struct RefusedWrites final : platform::FileWrapper {
    using FileWrapper::FileWrapper;
    bool writeAt(std::uint64_t, bytes::View) override { return false; }
  };
  MemoryFiles files;
  std::vector<std::string> wrapped;
  platform::FileWrappingBoard board(files.board, [&](const std::string& path, auto file) {
    wrapped.push_back(path);
    return std::make_unique<RefusedWrites>(std::move(file));
  });
  auto original = files.board.openFile("/file", FileMode::CreateNew);
  ASSERT_TRUE(original && original->writeAt(1 << 20, bytes::Bytes{1, 2}));

  EXPECT_FALSE(board.openFile("/missing", FileMode::ReadOnly));
  auto file = board.openFile("/file", FileMode::ReadWrite);
  ASSERT_TRUE(file);
  EXPECT_EQ(wrapped, std::vector<std::string>{"/file"}) << "only a file that opened";
  EXPECT_FALSE(file->writeAt(0, bytes::Bytes{9}));
  bytes::Bytes read(2);
  EXPECT_TRUE(file->readAt(1 << 20, read));
  EXPECT_EQ(read, (bytes::Bytes{1, 2}));
  EXPECT_EQ(file->size(), (1u << 20) + 2);
  EXPECT_EQ(file->nextData(0), 1u << 20) << "the hole is stepped over as the file itself steps over it";
  EXPECT_TRUE(file->sync());
}

}  // namespace
