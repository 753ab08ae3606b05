#include "tools/sim/printer_state.h"

#include <array>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/sim/board_directory.h"

namespace sim {
namespace {

struct StateWord {
  PrinterState state;
  std::string_view word;
  std::optional<std::uint8_t> statusByte;
};

constexpr std::array<StateWord, 4> kStates = {{
    {PrinterState::Ok, "ok", 0x00},
    {PrinterState::NearEnd, "near-end", 0x03},
    {PrinterState::Out, "out", 0x0F},
    {PrinterState::Silent, "silent", std::nullopt},
}};

const StateWord& entryFor(PrinterState state) {
  for (const StateWord& entry : kStates) {
    if (entry.state == state) return entry;
  }
  return kStates[0];
}

}  // namespace

std::optional<PrinterState> parsePrinterState(std::string_view word) {
  constexpr std::string_view kSpace = " \t\r\n";
  const std::size_t first = word.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return std::nullopt;
  word = word.substr(first, word.find_last_not_of(kSpace) - first + 1);
  for (const StateWord& entry : kStates) {
    if (entry.word == word) return entry.state;
  }
  return std::nullopt;
}

std::string_view nameOf(PrinterState state) { return entryFor(state).word; }

std::optional<std::uint8_t> paperStatusByte(PrinterState state) { return entryFor(state).statusByte; }

PrinterState readPrinterState(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string content(std::istreambuf_iterator<char>(in), {});
  return parsePrinterState(content).value_or(PrinterState::Ok);
}

bool writePrinterState(const std::filesystem::path& file, PrinterState state) {
  return replaceFile(file, std::string(nameOf(state)) + '\n');
}

}  // namespace sim
