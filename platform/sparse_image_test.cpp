#include "platform/sparse_image.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

bytes::Bytes filled(std::size_t count, std::uint8_t value) { return bytes::Bytes(count, value); }

TEST(SparseImageTest, HolesReadAsZerosAndHoldNoMemory) {
  SparseImage image;
  ASSERT_TRUE(image.write(16 << 20, filled(4, 0xAB)));
  ASSERT_TRUE(image.write(4, filled(4, 0xCD)));
  EXPECT_EQ(image.size(), (16u << 20) + 4);
  EXPECT_EQ(image.heldBytes(), 8u);
  EXPECT_EQ(image.contents(0, 10), (bytes::Bytes{0, 0, 0, 0, 0xCD, 0xCD, 0xCD, 0xCD, 0, 0}));
  bytes::Bytes out(8);
  EXPECT_FALSE(image.read(image.size() - 4, out));  // past the end: nothing read
  EXPECT_EQ(image.nextData(0), 4u);
  EXPECT_EQ(image.nextData(6), 6u);
  EXPECT_EQ(image.nextData(8), 16u << 20);
  EXPECT_EQ(image.nextData(image.size()), std::nullopt);
}

TEST(SparseImageTest, AppendedAndBridgingWritesBecomeOneRange) {
  SparseImage image;
  ASSERT_TRUE(image.write(100, filled(10, 1)));
  ASSERT_TRUE(image.write(110, filled(10, 2)));  // touching its end
  ASSERT_TRUE(image.write(130, filled(10, 3)));
  ASSERT_TRUE(image.write(115, filled(20, 4)));  // bridging the two
  EXPECT_EQ(image.heldBytes(), 40u);
  EXPECT_EQ(image.nextData(120), 120u);
  EXPECT_EQ(image.contents(100, 40), [] {
    bytes::Bytes expected = filled(40, 4);
    std::fill_n(expected.begin(), 10, 1);
    std::fill_n(expected.begin() + 10, 5, 2);
    std::fill_n(expected.begin() + 35, 5, 3);
    return expected;
  }());
}

TEST(SparseImageTest, UndoingPutsBackBytesHolesAndSize) {
  SparseImage image;
  ASSERT_TRUE(image.write(0, filled(8, 1)));
  ASSERT_TRUE(image.write(1000, filled(8, 2)));
  image.clearChanges();
  ASSERT_TRUE(image.write(4, filled(2000, 9)));  // over both and the hole between, past the end
  ASSERT_TRUE(image.write(5000, filled(1, 9)));
  EXPECT_EQ(image.changeCount(), 2u);
  EXPECT_EQ(image.changedBytes(), 2001u);
  image.undoChanges(0);
  EXPECT_EQ(image.size(), 1008u);
  EXPECT_EQ(image.heldBytes(), 16u);
  EXPECT_EQ(image.nextData(8), 1000u);
  EXPECT_EQ(image.contents(0, 9), (bytes::Bytes{1, 1, 1, 1, 1, 1, 1, 1, 0}));
}

TEST(SparseImageTest, ReplaceUndonePutsBackTheOldContentsLongerOrShorter) {
  for (const std::size_t length : {0u, 3u, 5000u}) {
    SparseImage image;
    ASSERT_TRUE(image.write(0, filled(8, 1)));
    ASSERT_TRUE(image.write(1000, filled(8, 2)));
    image.clearChanges();
    image.replace(filled(length, 7));
    EXPECT_EQ(image.contents(), filled(length, 7)) << length;
    image.undoChanges(0);
    EXPECT_EQ(image.size(), 1008u) << length;
    EXPECT_EQ(image.heldBytes(), 16u) << length;
    EXPECT_EQ(image.contents(990, 12), (bytes::Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2})) << length;
  }
}

TEST(SparseImageTest, NewestWriteUndoneFromAnOffsetKeepsItsHead) {
  SparseImage image;
  ASSERT_TRUE(image.write(0, filled(512, 1)));
  image.clearChanges();
  ASSERT_TRUE(image.write(256, filled(1024, 2)));
  image.undoNewestFrom(512);
  EXPECT_EQ(image.size(), 512u);
  EXPECT_EQ(image.contents(255, 2), (bytes::Bytes{1, 2}));
}

TEST(SparseImageTest, WritesPastTheLargestFileAreRefused) {
  SparseImage image;
  EXPECT_FALSE(image.write(SparseImage::kMaxSize, filled(1, 1)));
  EXPECT_FALSE(image.write(UINT64_MAX - 2, filled(4, 1)));
  EXPECT_EQ(image.size(), 0u);
  EXPECT_EQ(image.changeCount(), 0u);
}

// Against a dense copy kept the plain way: random writes over a small space with holes, undone
// in part or in whole, must read the same at every step, and the next data never skips a byte
// that is not zero.
TEST(SparseImageTest, AgreesWithADenseFileUnderRandomWritesAndUndos) {
  struct Dense {
    bytes::Bytes data;
    std::vector<std::pair<std::size_t, bytes::Bytes>> before;  // size and whole contents before each write
  };
  std::mt19937 random(27);
  for (int round = 0; round < 50; ++round) {
    SparseImage image;
    Dense dense;
    for (int step = 0; step < 60; ++step) {
      const unsigned action = random() % 10;
      if (action < 7) {
        const std::size_t offset = random() % 3000, length = random() % 300;
        const bytes::Bytes data = filled(length, static_cast<std::uint8_t>(1 + random() % 255));
        dense.before.emplace_back(dense.data.size(), dense.data);
        if (offset + length > dense.data.size() && length > 0) dense.data.resize(offset + length, 0);
        std::copy(data.begin(), data.end(), dense.data.begin() + static_cast<std::ptrdiff_t>(std::min(offset, dense.data.size())));
        ASSERT_TRUE(image.write(offset, data));
      } else if (action < 9) {
        const std::size_t keep = dense.before.empty() ? 0 : random() % dense.before.size();
        if (keep < dense.before.size()) dense.data = dense.before[keep].second;
        dense.before.resize(keep);
        image.undoChanges(keep);
      } else {
        dense.before.clear();
        image.clearChanges();
      }
      ASSERT_EQ(image.size(), dense.data.size());
      ASSERT_EQ(image.contents(), dense.data);
      for (std::size_t at = 0; at < dense.data.size(); ++at) {
        if (dense.data[at] == 0) continue;
        const auto next = image.nextData(at > 40 ? at - 40 : 0);
        ASSERT_TRUE(next.has_value() && *next <= at);
      }
      ASSERT_LE(image.heldBytes(), dense.data.size());
    }
  }
}

}  // namespace
}  // namespace platform
