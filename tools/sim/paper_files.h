// The simulated printer's paper as a person reads it, kept beside raw.bin:
//   paper.txt   one UTF-8 line per printed line and kCutMark at each cut, appended as lines
//               come out (tail -f shows the paper growing)
//   paper.html  the roll at its width in characters with bold, double size, reverse, small
//               font, alignment, line feeds and a tear line at each cut; rewritten whole
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

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

// The whole paper as one HTML page (UTF-8) showing a roll `paperWidth` millimetres wide.
std::string paperHtml(const PrintedPaper& paper, unsigned paperWidth);

class PaperFiles {
 public:
  // Starts paper.txt afresh in `paperDirectory`, which must exist. `paperWidthFile` is the
  // board's one-byte paper-width setting (absent: 60 mm), read at every update.
  PaperFiles(const std::filesystem::path& paperDirectory, std::filesystem::path paperWidthFile);

  // Appends to paper.txt what `paper` holds beyond the items written so far (it only ever
  // grows) and rewrites paper.html. Failures to write are not reported: the paper is for
  // reading, raw.bin keeps what was printed.
  void update(const PrintedPaper& paper);

 private:
  std::filesystem::path htmlPath_;
  std::filesystem::path paperWidthFile_;
  std::ofstream text_;
  std::size_t itemsWritten_ = 0;
};

}  // namespace sim
