// The simulated printer's paper as a person reads it, kept beside raw.bin:
//   paper.txt   one UTF-8 line per printed line and kCutMark at each cut, appended as lines
//               come out (tail -f shows the paper growing)
//   paper.html  the roll at its width in characters with bold, double size, reverse, small
//               font, alignment, line feeds and a tear line at each cut; appended as lines
//               come out, the page left open at its end (a browser closes what is open). It
//               reloads itself every two seconds and then shows the end of the roll, unless
//               the reader has scrolled away from it.
// Both files only grow: what a print costs does not depend on how long the roll already is.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/sim/escpos_interpreter.h"

namespace sim {

inline constexpr std::string_view kCutMark = "------------------------ ✂ ------------------------";

// The characters on one line of a roll `paperWidth` millimetres wide in the line's font and
// size, as the register's layout counts them: 80 mm paper 48 large / 64 small, 60 mm paper
// 34 / 44, half of that in double size.
unsigned charactersPerLine(const PrintedLine& line, unsigned paperWidth);

// The line of paper.txt for `item`, without its line feed. A centred or right-aligned line
// shorter than the line width is padded with leading spaces as the printer places it, by the
// same rule the register uses where it aligns with spaces itself (centred: half the free
// characters, rounded down). The printer is not told the paper width: the board's paper-width
// setting stands for it.
std::string paperTextLine(const PaperItem& item, unsigned paperWidth);

// The HTML page (UTF-8) of a paper printed on a roll `paperWidth` millimetres wide, as
// PaperFiles writes it when the width stays the same throughout.
std::string paperHtml(const PrintedPaper& paper, unsigned paperWidth);

// The two files the paper goes to; each call adds its bytes at the end of one file.
class PaperOutput {
 public:
  virtual ~PaperOutput() = default;
  virtual void appendText(std::string_view bytes) = 0;
  virtual void appendHtml(std::string_view bytes) = 0;
};

// paper.txt and paper.html in `paperDirectory` (which must exist), both started afresh. Failures
// to write are not reported: the paper is for reading, raw.bin keeps what was printed.
std::unique_ptr<PaperOutput> paperFilesIn(const std::filesystem::path& paperDirectory);

class PaperFiles {
 public:
  // Starts the page. `paperWidthFile` is the board's one-byte paper-width setting (absent:
  // 60 mm), read at every update.
  PaperFiles(std::unique_ptr<PaperOutput> output, std::filesystem::path paperWidthFile);

  // Appends to both files what `paper` holds beyond the items written so far (it only ever
  // grows). Items printed after the paper width changed start a roll of the new width.
  void update(const PrintedPaper& paper);

 private:
  std::unique_ptr<PaperOutput> output_;
  std::filesystem::path paperWidthFile_;
  std::size_t itemsWritten_ = 0;
  std::optional<unsigned> openRollWidth_;  // in millimetres; none before the first item
};

}  // namespace sim
