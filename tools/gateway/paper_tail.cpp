#include "tools/gateway/paper_tail.h"

#include <algorithm>
#include <fstream>

namespace gateway {
namespace {

constexpr std::size_t kBlockSize = 16 * 1024;

}  // namespace

std::optional<std::vector<std::string>> lastLines(const std::filesystem::path& file, std::size_t count) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;

  // Blocks from the end, each put in front of the ones before, until the text holds `count`
  // line ends before its last line's own end, or the file's start or the byte limit is reached.
  std::string text;
  auto start = static_cast<std::size_t>(size);
  const std::size_t floor = start > kMostPaperBytes ? start - kMostPaperBytes : 0;
  const auto lineEndsBeforeLast = [&text] {
    const std::size_t body = text.ends_with('\n') ? text.size() - 1 : text.size();
    return static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(body), '\n'));
  };
  while (start > floor && lineEndsBeforeLast() < count) {
    const std::size_t length = std::min(kBlockSize, start - floor);
    start -= length;
    std::string block(length, '\0');
    in.seekg(static_cast<std::streamoff>(start));
    if (!in.read(block.data(), static_cast<std::streamsize>(length))) return std::nullopt;
    text.insert(0, block);
  }
  // Cut short by the limit, the first line is a piece of one: left out.
  if (start > 0) {
    const std::size_t end = text.find('\n');
    text.erase(0, end == std::string::npos ? text.size() : end + 1);
  }

  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

}  // namespace gateway
