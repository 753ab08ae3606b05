// The print layout: blocks of CP866 text lines with one style, rendered to ESC/POS bytes.
//
// Texts are CP866 byte strings, one byte per printed character. Rendering is pure text
// processing; the printer driver sends the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One 32-bit style word:
//   bits  0-12  paper width in millimetres
//   bits 13-14  font field; bit 14 set = large font, clear = small font
//   bits 15-19  line-spacing field; rendering drops its lowest bit
//   bits 24-31  attribute byte (kLeft ... kDoubleSize below)
class PrintStyle {
 public:
  static constexpr std::uint8_t kLeft = 0x01;
  static constexpr std::uint8_t kRight = 0x02;
  static constexpr std::uint8_t kCentred = 0x04;
  static constexpr std::uint8_t kBold = 0x08;
  static constexpr std::uint8_t kCarried = 0x10;  // kept in the word, never rendered
  static constexpr std::uint8_t kReverse = 0x20;  // white on black
  static constexpr std::uint8_t kDoubleSize = 0x40;

  static constexpr std::uint32_t kPaperWidthMask = 0x1FFF;

  // A style on the paper width currently set (printerSettings()). Fields wider than their
  // bits are cut to them.
  PrintStyle(std::uint8_t attributes, unsigned fontField, unsigned lineSpacingField = 0);

  static constexpr PrintStyle fromWord(std::uint32_t word) { return PrintStyle(word); }
  constexpr std::uint32_t word() const { return word_; }

  constexpr PrintStyle withPaperWidth(unsigned millimetres) const {
    return PrintStyle((word_ & ~kPaperWidthMask) | (millimetres & kPaperWidthMask));
  }

  constexpr unsigned paperWidth() const { return word_ & kPaperWidthMask; }
  constexpr unsigned fontField() const { return (word_ >> 13) & 0x3; }
  constexpr unsigned lineSpacingField() const { return (word_ >> 15) & 0x1F; }
  constexpr std::uint8_t attributes() const { return static_cast<std::uint8_t>(word_ >> 24); }

  // Paper wider than 60 mm: the printer aligns lines itself and wraps them.
  constexpr bool widePaper() const { return paperWidth() > 60; }
  constexpr bool largeFont() const { return (word_ & (1u << 14)) != 0; }
  constexpr bool has(std::uint8_t attribute) const { return (attributes() & attribute) != 0; }

 private:
  explicit constexpr PrintStyle(std::uint32_t word) : word_(word) {}

  std::uint32_t word_;
};

// Characters on one printed line: 80 mm paper 48 large / 64 small, 60 mm paper 34 large /
// 44 small; half of that in double size.
unsigned charsPerLine(PrintStyle style);

// A list of lines printed in one style.
class PrintBlock {
 public:
  explicit PrintBlock(PrintStyle style) : style_(style) {}
  PrintBlock(PrintStyle style, std::string_view text) : style_(style) { addText(text); }

  // Adds one line per line feed in `text` plus the text after the last one, so "a\n" adds
  // "a" and an empty line, and an empty text adds one empty line.
  void addText(std::string_view text);

  PrintStyle style() const { return style_; }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  PrintStyle style_;
  std::vector<std::string> lines_;
};

// The style prefix, then every line wrapped, aligned and ended with LF, then the feed-and-cut
// sequence when `withCut` is set.
std::string render(const PrintBlock& block, bool withCut);

// On 60 mm paper, breaks a line longer than the line width: at its first TAB, else at the last
// space that leaves a part shorter than the width (the space is dropped), else inside the word
// after a full line. Every piece is aligned; pieces are joined by LF. On wider paper the line
// is only aligned.
std::string wrap(std::string_view line, PrintStyle style);

// A line of at most the width with a TAB becomes exactly one line wide: the part before the
// first TAB at the left, the rest at the right, further TABs as single spaces. On 60 mm paper
// a line without TAB is centred or right-aligned with leading spaces.
std::string align(std::string_view line, PrintStyle style);
