#include "tools/sim/board_console.h"

#include <array>
#include <charconv>
#include <ctime>
#include <fstream>
#include <optional>
#include <vector>

#include "tools/sim/board_directory.h"
#include "tools/sim/printer_state.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

// The furthest the console moves the clock from the machine's, about a century: the register
// keeps its time in 32 bits.
constexpr std::int64_t kFurthestOffset = 3'155'760'000;

std::vector<std::string_view> wordsOf(std::string_view line) {
  constexpr std::string_view kSpace = " \t\r\n";
  std::vector<std::string_view> words;
  while (true) {
    const std::size_t start = line.find_first_not_of(kSpace);
    if (start == std::string_view::npos) return words;
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(kSpace), line.size());
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

template <typename Number>
std::optional<Number> numberIn(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The first decimal number in `file`; nullopt when it is absent or holds none.
template <typename Number>
std::optional<Number> numberInFile(const fs::path& file) {
  std::ifstream in(file);
  Number value{};
  if (in >> value) return value;
  return std::nullopt;
}

std::string said(const std::string& text) { return "frsim: " + text + "\n"; }

std::string signedSeconds(std::int64_t seconds) { return (seconds >= 0 ? "+" : "") + std::to_string(seconds) + " s"; }

// The board's time now, in this machine's time zone.
std::string boardTime(std::int64_t offset) {
  const std::time_t moment = std::time(nullptr) + static_cast<std::time_t>(offset);
  std::tm parts{};
  std::array<char, 32> text{};
  if (localtime_r(&moment, &parts) == nullptr || std::strftime(text.data(), text.size(), "%F %T", &parts) == 0) {
    return std::to_string(moment);
  }
  return text.data();
}

std::string printer(SimulatedBoard& board, std::string_view word, std::string_view) {
  const PrinterState state = *parsePrinterState(word);
  if (!writePrinterState(board.printerStatePath(), state)) return said("cannot write " + board.printerStatePath().string());
  return said("printer " + std::string(nameOf(state)) + " from its next paper status query");
}

std::string card(SimulatedBoard& board, std::string_view, std::string_view rest) {
  const std::vector<std::string_view> words = wordsOf(rest);
  const fs::path device = platform::cardDeviceFile(board.root());
  const fs::path freeBytes = platform::cardFreeBytesFile(board.root());
  std::error_code error;
  if (words.size() == 1 && words[0] == "remove") {
    fs::remove(device, error);
    if (error) return said("cannot remove " + device.string() + ": " + error.message());
    return said("card removed (the register finds no card from its next start; type restart)");
  }
  if (words.size() == 1 && words[0] == "insert") {
    if (!fs::exists(device, error) && !replaceFile(device, "")) return said("cannot create " + device.string());
    return said("card inserted (the register finds it from its next start; type restart)");
  }
  if (words.size() == 2 && words[0] == "free" && words[1] == "real") {
    fs::remove(freeBytes, error);
    if (error) return said("cannot remove " + freeBytes.string() + ": " + error.message());
    return said("card free space is that of its file system (counted at the next document or start)");
  }
  const auto bytes = words.size() == 2 && words[0] == "free" ? numberIn<std::uint64_t>(words[1]) : std::nullopt;
  if (!bytes) return said("card takes remove, insert, free BYTES or free real");
  if (!replaceFile(freeBytes, std::to_string(*bytes) + "\n")) return said("cannot write " + freeBytes.string());
  return said("card free space " + std::to_string(*bytes) + " bytes (counted at the next document or start)");
}

std::string clock(SimulatedBoard& board, std::string_view, std::string_view rest) {
  const std::vector<std::string_view> words = wordsOf(rest);
  std::int64_t offset = platform::clockOffset(board.root());
  if (words.size() == 1 && words[0] == "reset") {
    offset = 0;
  } else if (const auto move = words.size() == 1 && (words[0].starts_with('+') || words[0].starts_with('-'))
                                   ? numberIn<std::int64_t>(words[0])
                                   : std::nullopt) {
    std::int64_t moved = 0;
    if (__builtin_add_overflow(offset, *move, &moved) || moved < -kFurthestOffset || moved > kFurthestOffset) {
      return said("the clock goes at most " + std::to_string(kFurthestOffset) + " s either way");
    }
    offset = moved;
  } else {
    return said("clock takes +SECONDS, -SECONDS or reset");
  }
  if (!platform::setClockOffset(board.root(), offset)) {
    return said("cannot write " + platform::clockOffsetFile(board.root()).string());
  }
  return said("clock " + boardTime(offset) + " (" + signedSeconds(offset) + " from this machine's)");
}

std::string status(SimulatedBoard& board, std::string_view, std::string_view) {
  const fs::path root = board.root();
  std::error_code error;
  const bool inserted = fs::exists(platform::cardDeviceFile(root), error);
  const auto freeBytes = numberInFile<std::uint64_t>(platform::cardFreeBytesFile(root));
  const std::int64_t offset = platform::clockOffset(root);
  const pid_t service = board.servicePid();
  return said("board   " + root.string()) +
         said("printer " + std::string(nameOf(readPrinterState(board.printerStatePath())))) +
         said("card    " + std::string(inserted ? "inserted" : "removed") + ", free space " +
              (freeBytes ? std::to_string(*freeBytes) + " bytes" : std::string("that of its file system"))) +
         said("clock   " + boardTime(offset) + " (" + signedSeconds(offset) + " from this machine's)") +
         said("service " + (service > 0 && !board.serviceEnded() ? "running, pid " + std::to_string(service)
                                                                  : std::string("not running; type restart")));
}

std::string restart(SimulatedBoard& board, std::string_view, std::string_view) {
  board.stopService();
  board.startService();
  return said("service restarted, pid " + std::to_string(board.servicePid()));
}

std::string help(SimulatedBoard&, std::string_view, std::string_view) {
  return "frsim: the words it takes while the board runs:\n" + std::string(consoleWords());
}

// A word the console takes: its lines in the help (the words, then at column 33 what they do),
// which first words it is, whether more words may follow, and what carries it out with the
// first word and the rest of the line.
struct ConsoleWord {
  std::string_view help;
  bool (*takes)(std::string_view first);
  bool alone;
  std::string (*run)(SimulatedBoard& board, std::string_view first, std::string_view rest);
};

constexpr ConsoleWord kConsoleWords[] = {
    {"  ok | near-end | out | silent   the printer has paper, the roll runs out, no paper, it does not answer\n",
     [](std::string_view first) { return parsePrinterState(first).has_value(); }, true, printer},
    {"  card remove | card insert      take the card out or put it in (the register sees it when it starts)\n"
     "  card free BYTES | card free real\n"
     "                                 the card shows BYTES free, or the space its file system has\n",
     [](std::string_view first) { return first == "card"; }, false, card},
    {"  clock +SECONDS | clock -SECONDS | clock reset\n"
     "                                 move the board's clock, or set it back to this machine's\n",
     [](std::string_view first) { return first == "clock"; }, false, clock},
    {"  status                         the printer, the card, the clock and the service\n",
     [](std::string_view first) { return first == "status"; }, true, status},
    {"  restart                        stop the service and start it again, as switching the board off and on\n",
     [](std::string_view first) { return first == "restart"; }, true, restart},
    {"  help                           these words\n", [](std::string_view first) { return first == "help"; }, true,
     help},
};

}  // namespace

std::string_view consoleWords() {
  static const std::string words = [] {
    std::string all;
    for (const ConsoleWord& word : kConsoleWords) all += word.help;
    return all;
  }();
  return words;
}

std::string BoardConsole::run(std::string_view line) {
  const std::vector<std::string_view> words = wordsOf(line);
  if (words.empty()) return "";
  const std::string_view first = words[0];
  const std::string_view rest(first.end(), words.back().end());
  for (const ConsoleWord& word : kConsoleWords) {
    if (word.takes(first) && (!word.alone || words.size() == 1)) return word.run(board_, first, rest);
  }
  return said("\"" + std::string(first.begin(), words.back().end()) + "\" is not what frsim takes; type help");
}

std::string BoardConsole::keptFromEarlierRuns() {
  const std::int64_t offset = platform::clockOffset(board_.root());
  if (offset == 0) return "";
  return said("clock   " + boardTime(offset) + " (" + signedSeconds(offset) +
              " from this machine's, kept from an earlier run; type clock reset for this machine's)");
}

}  // namespace sim
