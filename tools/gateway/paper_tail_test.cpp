#include "tools/gateway/paper_tail.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/temporary_directory.h"

namespace {

using Lines = std::vector<std::string>;

class PaperTail : public ::testing::Test {
 protected:
  std::filesystem::path paper(const std::string& text) {
    const auto file = directory_.path() / "paper.txt";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    return file;
  }
  // "line 1\nline 2\n..." up to line `count`, each line `width` characters or more.
  static std::string numbered(int count, std::size_t width = 0) {
    std::string text;
    for (int line = 1; line <= count; ++line) {
      std::string one = "line " + std::to_string(line);
      one.resize(std::max(width, one.size()), '.');
      text += one + "\n";
    }
    return text;
  }
  platform::TemporaryDirectory directory_;
};

TEST_F(PaperTail, LastLines_OldestFirstWithoutLineEnds) {
  struct Case {
    const char* what;
    std::string text;
    std::size_t count;
    Lines expected;
  };
  const Case cases[] = {
      {"empty paper", "", 5, {}},
      {"fewer lines than asked", "a\nb\n", 5, {"a", "b"}},
      {"exactly as many", "a\nb\nc\n", 3, {"a", "b", "c"}},
      {"the last ones", "a\nb\nc\n", 2, {"b", "c"}},
      {"a line being written counts", "a\nb\nc", 2, {"b", "c"}},
      {"empty lines are lines", "a\n\n\n", 2, {"", ""}},
      {"none asked", "a\n", 0, {}},
      {"UTF-8 as it stands", "ИТОГО =91.00\n", 1, {"ИТОГО =91.00"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gateway::lastLines(paper(c.text), c.count), c.expected) << c.what;
  }
}

TEST_F(PaperTail, LastLines_AcrossBlocksWholeLinesOnly) {
  // Lines of 100 bytes over several 16 KiB blocks: the ones cut at a block's start are whole.
  const auto file = paper(numbered(2000, 99));
  const auto last = gateway::lastLines(file, 500);
  ASSERT_TRUE(last.has_value());
  ASSERT_EQ(last->size(), 500u);
  EXPECT_TRUE(last->front().starts_with("line 1501.")) << last->front();
  EXPECT_TRUE(last->back().starts_with("line 2000.")) << last->back();
  for (const std::string& line : *last) EXPECT_EQ(line.size(), 99u);

  EXPECT_EQ(gateway::lastLines(file, 5000)->size(), 2000u) << "the whole roll";
}

TEST_F(PaperTail, LastLines_ReadNoMoreThanTheLimitAndNothingFromAMissingFile) {
  // 3 MiB of lines: asking for all of them gives only the whole lines of the last MiB.
  const auto last = gateway::lastLines(paper(numbered(30000, 104)), 30000);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->size(), gateway::kMostPaperBytes / 105);
  EXPECT_TRUE(last->back().starts_with("line 30000.")) << last->back();

  const auto oneLongLine = gateway::lastLines(paper(std::string(2 * gateway::kMostPaperBytes, 'x')), 3);
  EXPECT_EQ(oneLongLine, Lines{}) << "a line longer than the limit is left out, not cut";

  EXPECT_EQ(gateway::lastLines(directory_.path() / "no-such-file", 3), std::nullopt);
}

}  // namespace
