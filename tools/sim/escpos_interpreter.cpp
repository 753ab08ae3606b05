#include "tools/sim/escpos_interpreter.h"

#include <algorithm>

#include "values/cp866.h"

namespace sim {
namespace {

constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kFileSeparator = 0x1C;
constexpr std::uint8_t kGroupSeparator = 0x1D;
constexpr std::uint8_t kDelete = 0x7F;

constexpr std::uint8_t kPaperPresent = 0x00;
constexpr std::size_t kTabStop = 8;

// Parameter bytes of the ESC commands of fixed length; the rest take none.
std::size_t escapeParameters(std::uint8_t code) {
  switch (code) {
    case ' ': case '!': case '%': case '-': case '3': case '=': case '?': case 'E': case 'G':
    case 'J': case 'M': case 'R': case 'U': case 'V': case 'a': case 'd': case 'e': case 'r':
    case 't': case '{':
      return 1;
    case '$': case '\\': case 'c':
      return 2;
    case 'p':
      return 3;
    default:
      return 0;
  }
}

// Parameter bytes of the GS commands, before any that depend on them; the rest take none.
std::size_t groupParameters(std::uint8_t code) {
  switch (code) {
    case '!': case 'B': case 'H': case 'I': case 'V': case 'a': case 'b': case 'd': case 'f':
    case 'h': case 'r': case 'w':
      return 1;
    case '$': case 'L': case 'P': case 'W': case '\\':
      return 2;
    case '(':  // function, then the length of its data (low, high)
      return 3;
    default:
      return 0;
  }
}

}  // namespace

std::vector<std::string> PrintedPaper::texts() const {
  std::vector<std::string> out;
  for (const PaperItem& item : items) {
    if (const auto* line = std::get_if<PrintedLine>(&item)) out.push_back(line->text);
  }
  return out;
}

std::size_t PrintedPaper::cutCount() const {
  return static_cast<std::size_t>(
      std::count_if(items.begin(), items.end(), [](const PaperItem& item) { return std::holds_alternative<PaperCut>(item); }));
}

std::vector<std::vector<std::string>> PrintedPaper::pieces() const {
  std::vector<std::vector<std::string>> out(1);
  for (const PaperItem& item : items) {
    if (const auto* line = std::get_if<PrintedLine>(&item)) {
      out.back().push_back(line->text);
    } else {
      out.emplace_back();
    }
  }
  return out;
}

EscPosInterpreter::EscPosInterpreter(StatusSource status) : status_(std::move(status)) {}

bytes::Bytes EscPosInterpreter::feed(bytes::View data) {
  bytes::Bytes answer;
  for (const std::uint8_t byte : data) {
    if (command_) {
      commandByte(byte, answer);
    } else {
      textByte(byte);
    }
  }
  return answer;
}

void EscPosInterpreter::textByte(std::uint8_t byte) {
  switch (byte) {
    case kEscape:
    case kGroupSeparator:
    case kFileSeparator:
      command_ = Command{.prefix = byte};
      return;
    case kLineFeed:
      endLine();
      return;
    case kTab:
      do {
        appendCharacter(' ');
      } while (line_.size() % kTabStop != 0);
      return;
    default:
      if (byte >= 0x20 && byte != kDelete) appendCharacter(static_cast<char>(byte));
  }
}

void EscPosInterpreter::commandByte(std::uint8_t byte, bytes::Bytes& answer) {
  if (!command_->code) {
    command_->code = byte;
    command_->remaining = parameterCount(*command_);
  } else {
    if (!command_->extended) command_->parameters.push_back(byte);
    --command_->remaining;
  }
  if (command_->remaining > 0 || !complete()) return;
  const Command done = std::move(*command_);
  command_.reset();
  execute(done, answer);
}

std::size_t EscPosInterpreter::parameterCount(const Command& command) const {
  switch (command.prefix) {
    case kEscape:
      return escapeParameters(*command.code);
    case kGroupSeparator:
      return groupParameters(*command.code);
    default:
      return 0;
  }
}

bool EscPosInterpreter::complete() {
  if (command_->extended || command_->prefix != kGroupSeparator) return true;
  const std::vector<std::uint8_t>& parameters = command_->parameters;
  std::size_t more = 0;
  if (command_->code == 'V' && (parameters[0] == 'A' || parameters[0] == 'B')) {
    more = 1;  // GS V 65/66 n: feed n, then cut
  } else if (command_->code == '(') {
    more = parameters[1] + 256u * parameters[2];
  }
  if (more == 0) return true;
  command_->extended = true;
  command_->remaining = more;
  return false;
}

void EscPosInterpreter::execute(const Command& command, bytes::Bytes& answer) {
  const std::uint8_t n = command.parameters.empty() ? 0 : command.parameters[0];
  if (command.prefix == kEscape) {
    switch (*command.code) {
      case '@':
        mode_ = Mode{};
        line_.clear();
        lineMode_.reset();
        break;
      case 'v':
        if (const std::optional<std::uint8_t> status = status_ ? status_() : kPaperPresent) answer.push_back(*status);
        break;
      case 'a':
        if (n == 0 || n == '0') mode_.alignment = Alignment::Left;
        if (n == 1 || n == '1') mode_.alignment = Alignment::Centred;
        if (n == 2 || n == '2') mode_.alignment = Alignment::Right;
        break;
      case '!':
        mode_.smallFont = (n & 0x01) != 0;
        mode_.bold = (n & 0x08) != 0;
        mode_.doubleSize = (n & 0x20) != 0;
        break;
      case 'E':
        mode_.bold = (n & 0x01) != 0;
        break;
      case 'M':
        mode_.smallFont = n == 1 || n == '1';
        break;
      case '3':
        mode_.lineSpacing = n;
        break;
      case '2':
        mode_.lineSpacing = kDefaultLineSpacing;
        break;
      case 'd':
        if (n == 0 && !line_.empty()) endLine();
        for (unsigned i = 0; i < n; ++i) endLine();
        break;
      case 'i':
      case 'm':
        cut();
        break;
      default:
        break;
    }
  } else if (command.prefix == kGroupSeparator) {
    switch (*command.code) {
      case '!':
        mode_.doubleSize = (n & 0x70) != 0;  // width magnification
        break;
      case 'B':
        mode_.reverse = (n & 0x01) != 0;
        break;
      case 'V':
        cut();
        break;
      default:
        break;
    }
  }
}

void EscPosInterpreter::appendCharacter(char cp866Byte) {
  if (!lineMode_) lineMode_ = mode_;
  line_.push_back(cp866Byte);
}

void EscPosInterpreter::endLine() {
  const Mode& mode = lineMode_ ? *lineMode_ : mode_;
  paper_.items.push_back(PrintedLine{.text = cp866::toUtf8(line_),
                                     .alignment = mode.alignment,
                                     .bold = mode.bold,
                                     .doubleSize = mode.doubleSize,
                                     .reverse = mode.reverse,
                                     .smallFont = mode.smallFont,
                                     .lineSpacing = mode_.lineSpacing});
  line_.clear();
  lineMode_.reset();
}

void EscPosInterpreter::cut() {
  if (!line_.empty()) endLine();
  paper_.items.emplace_back(std::in_place_type<PaperCut>);
}

PrintedPaper decodePaper(bytes::View raw) {
  EscPosInterpreter printer;
  printer.feed(raw);
  return printer.paper();
}

}  // namespace sim
