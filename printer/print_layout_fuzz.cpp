// Renders arbitrary text in an arbitrary style word (the first four input bytes) and checks
// that on 60 mm paper no printed line is wider than the paper.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "printer/print_layout.h"
#include "values/bytes.h"

namespace {

constexpr std::size_t kStylePrefixSize = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const PrintStyle style = PrintStyle::fromWord(bytes::loadU32(bytes::View(data, 4), 0));
  const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
  const PrintBlock block(style, text);
  const std::string rendered = render(block, (data[0] & 1) != 0);

  if (!style.widePaper()) {
    // The feed-and-cut sequence holds one LF too, after three bytes.
    const std::string_view lines = std::string_view(rendered).substr(kStylePrefixSize);
    std::size_t start = 0;
    for (std::size_t feed = lines.find('\n'); feed != std::string_view::npos; feed = lines.find('\n', start)) {
      if (feed - start > charsPerLine(style)) __builtin_trap();
      start = feed + 1;
    }
  }
  return 0;
}
