#include "printer/print_layout.h"

#include <algorithm>

#include "printer/escpos.h"
#include "printer/printer_settings.h"

PrintStyle::PrintStyle(std::uint8_t attributes, unsigned fontField, unsigned lineSpacingField)
    : word_((std::uint32_t{printerSettings().paperWidth()} & kPaperWidthMask) | ((fontField & 0x3u) << 13) |
            ((lineSpacingField & 0x1Fu) << 15) | (std::uint32_t{attributes} << 24)) {}

unsigned charsPerLine(PrintStyle style) {
  unsigned width = 0;
  if (style.widePaper()) {
    width = style.largeFont() ? 48 : 64;
  } else {
    width = style.largeFont() ? 34 : 44;
  }
  return style.has(PrintStyle::kDoubleSize) ? width / 2 : width;
}

void PrintBlock::addText(std::string_view text) {
  for (;;) {
    const std::size_t feed = text.find('\n');
    lines_.emplace_back(text.substr(0, feed));
    if (feed == std::string_view::npos) return;
    text.remove_prefix(feed + 1);
  }
}

namespace {

// ESC a n, ESC 3 n, ESC ! n and GS B n for the style.
std::string stylePrefix(PrintStyle style) {
  char alignment = 0;
  if (style.widePaper()) {
    if (style.has(PrintStyle::kRight)) {
      alignment = 2;
    } else if (style.has(PrintStyle::kCentred)) {
      alignment = 1;
    }
  }

  // Line spacing in dots from the field without its lowest bit: 0 -> 1, 2 -> 71, 4 -> 141,
  // 6 and above -> 255.
  const unsigned spacingStep = style.lineSpacingField() & 0x1E;
  const auto spacing = static_cast<char>(spacingStep < 6 ? 35 * spacingStep + 1 : 255);

  unsigned mode = 0;
  if (style.has(PrintStyle::kDoubleSize)) mode |= 0x30;
  if (style.has(PrintStyle::kBold)) mode |= 0x08;
  if (!style.largeFont()) mode |= 0x01;

  const char reverse = style.has(PrintStyle::kReverse) ? 1 : 0;
  return {'\x1B', 'a', alignment, '\x1B', '3', spacing, '\x1B', '!', static_cast<char>(mode), '\x1D', 'B', reverse};
}

// Breaks a line without TAB on 60 mm paper; see wrap().
void wrapWithoutTab(std::string& out, std::string_view line, PrintStyle style, std::size_t width) {
  while (line.size() > width) {
    const std::size_t firstSpace = line.find(' ');
    if (firstSpace == std::string_view::npos || firstSpace >= width) {
      out.append(line.substr(0, width));
      line.remove_prefix(width);
    } else {
      // The last space before position `width`; found because the first one is.
      const std::size_t breakAt = line.substr(0, width).rfind(' ');
      out += align(line.substr(0, breakAt), style);
      line.remove_prefix(breakAt + 1);
    }
    out += '\n';
  }
  out += align(line, style);
}

}  // namespace

std::string wrap(std::string_view line, PrintStyle style) {
  const std::size_t width = charsPerLine(style);
  std::string out;
  // A line that fits is aligned whole, even with TABs in it; a longer one is broken at each
  // TAB until the rest fits.
  while (!style.widePaper() && line.size() > width) {
    const std::size_t tab = line.find('\t');
    wrapWithoutTab(out, line.substr(0, tab), style, width);
    if (tab == std::string_view::npos) return out;
    out += '\n';
    line.remove_prefix(tab + 1);
  }
  out += align(line, style);
  return out;
}

std::string align(std::string_view line, PrintStyle style) {
  const std::size_t width = charsPerLine(style);
  const std::size_t tab = line.find('\t');
  if (tab != std::string_view::npos && line.size() <= width) {
    // The TAB widens to fill the line exactly: n - 1 characters and width - n + 1 spaces.
    std::string justified(line.substr(0, tab));
    justified.append(width - line.size() + 1, ' ');
    justified.append(line.substr(tab + 1));
    std::replace(justified.begin(), justified.end(), '\t', ' ');
    return justified;
  }
  if (line.size() >= width || style.widePaper()) return std::string(line);
  // Centring is tested before right alignment, unlike the printer's own alignment on wide paper.
  std::size_t padding = 0;
  if (style.has(PrintStyle::kCentred)) {
    padding = (width - line.size()) / 2;
  } else if (style.has(PrintStyle::kRight)) {
    padding = width - line.size();
  }
  return std::string(padding, ' ').append(line);
}

std::string render(const PrintBlock& block, bool withCut) {
  std::string out = stylePrefix(block.style());
  for (const std::string& line : block.lines()) {
    out += wrap(line, block.style());
    out += '\n';
  }
  if (withCut) out += escpos::kFeedAndCut;
  return out;
}
