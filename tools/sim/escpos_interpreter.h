// The receipt printer's command language as the simulator understands it: ESC/POS bytes in,
// printed lines and cuts out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "values/bytes.h"

namespace sim {

enum class Alignment : std::uint8_t { Left, Centred, Right };

// Line spacing after ESC @ and ESC 2, in dots.
inline constexpr unsigned kDefaultLineSpacing = 30;

// One line as it came out of the printer, in the print mode of its first character.
struct PrintedLine {
  std::string text = {};  // UTF-8
  Alignment alignment = Alignment::Left;
  bool bold = false;
  bool doubleSize = false;  // double width (and, as the register sends it, double height)
  bool reverse = false;     // white on black
  bool smallFont = false;
  // The paper feed that ended the line, in dots.
  unsigned lineSpacing = kDefaultLineSpacing;

  bool operator==(const PrintedLine&) const = default;
};

struct PaperCut {
  bool operator==(const PaperCut&) const = default;
};

using PaperItem = std::variant<PrintedLine, PaperCut>;

// Everything printed so far, lines and cuts in the order they came out.
struct PrintedPaper {
  std::vector<PaperItem> items;

  // The text of every printed line, without the cuts.
  std::vector<std::string> texts() const;
  std::size_t cutCount() const;
  // The texts of each piece of paper torn off at a cut, then of the paper after the last cut
  // (possibly none): one entry more than there are cuts.
  std::vector<std::vector<std::string>> pieces() const;
};

// Interprets the bytes sent to the printer, fed in pieces as they arrive: a command may be
// split anywhere. Text bytes are CP866 (the register always selects that table with ESC t).
//
// Understood and applied:
//   ESC @        reset: print mode, alignment and line spacing to defaults; text not yet ended
//                by a line feed is dropped, as the printer clears its buffer
//   ESC v        paper status query, answered through the status source
//   ESC a n      alignment 0/48 left, 1/49 centred, 2/50 right
//   ESC ! n      print mode: bit 0 small font, bit 3 bold, bit 5 double width (bit 4 double
//                height alone changes nothing here)
//   ESC E n, ESC M n, GS ! n, GS B n   bold, font, character size, reverse
//   ESC 3 n, ESC 2                     line spacing n dots, default spacing
//   LF           ends the line; ESC d n feeds n lines
//   ESC i, ESC m, GS V m [n]           cut; text not yet ended becomes a line first
//   HT           spaces up to the next multiple of 8 characters
// Accepted and ignored: ESC t n (code table), GS d n, GS P x y and the other commands of
// fixed length listed in the implementation, GS ( with its length-counted data.
// Any other ESC, GS or FS sequence counts as the prefix and one command byte and nothing more:
// the interpreter never waits for parameters it cannot count, so bytes after an unknown
// command are read afresh (printable ones as text) and the stream never desynchronises.
// Other control bytes (CR, NUL, DLE, ...) are dropped.
// A line is on the paper once it has ended; text still waiting for its line feed is not.
class EscPosInterpreter {
 public:
  // The paper status byte the printer answers to ESC v; nullopt answers nothing.
  using StatusSource = std::function<std::optional<std::uint8_t>()>;

  // Without a source every query is answered 0x00: paper present, not near its end.
  explicit EscPosInterpreter(StatusSource status = {});

  // Interprets `data` and returns what the printer sends back.
  bytes::Bytes feed(bytes::View data);

  const PrintedPaper& paper() const { return paper_; }

 private:
  struct Mode {
    Alignment alignment = Alignment::Left;
    bool bold = false;
    bool doubleSize = false;
    bool reverse = false;
    bool smallFont = false;
    unsigned lineSpacing = kDefaultLineSpacing;
  };

  // A command being collected: its prefix byte (ESC, GS or FS), the command byte, the
  // parameters so far and how many more bytes belong to it. Once `extended`, the remaining
  // bytes are data counted by the parameters and are skipped.
  struct Command {
    std::uint8_t prefix = 0;
    std::optional<std::uint8_t> code = std::nullopt;
    std::vector<std::uint8_t> parameters = {};
    std::size_t remaining = 0;
    bool extended = false;
  };

  void textByte(std::uint8_t byte);
  void commandByte(std::uint8_t byte, bytes::Bytes& answer);
  // The number of parameter bytes the command takes before it can run.
  std::size_t parameterCount(const Command& command) const;
  // Called when the bytes counted so far are in: true when the command is complete, else
  // extends it by the bytes its parameters announce (GS V 65/66 n, GS ( data).
  bool complete();
  void execute(const Command& command, bytes::Bytes& answer);
  void endLine();
  void cut();
  void appendCharacter(char cp866Byte);

  StatusSource status_;
  Mode mode_;
  std::optional<Command> command_;
  // The CP866 text of the line not yet ended, and the mode of its first character.
  std::string line_;
  std::optional<Mode> lineMode_;
  PrintedPaper paper_;
};

// The paper that `raw` would print, from a reset printer.
PrintedPaper decodePaper(bytes::View raw);

}  // namespace sim
