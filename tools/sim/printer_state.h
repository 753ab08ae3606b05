// The state a simulated printer is put in while the board runs: the file DIR/printer-state
// holding one word, read before every answer to the paper status query.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace sim {

enum class PrinterState : std::uint8_t {
  Ok,       // "ok": paper present; also when the file is absent or holds anything else
  NearEnd,  // "near-end": status 0x03, the roll is running out
  Out,      // "out": status 0x0F, no paper at either sensor
  Silent,   // "silent": the paper status query is not answered
};

// The state a word names (surrounding white space ignored); nullopt for any other text.
std::optional<PrinterState> parsePrinterState(std::string_view word);
std::string_view nameOf(PrinterState state);

// The answer to the paper status query in `state`; nullopt when the printer keeps silent.
std::optional<std::uint8_t> paperStatusByte(PrinterState state);

PrinterState readPrinterState(const std::filesystem::path& file);
// Replaces the file's content with the state's word; false when it cannot be written.
bool writePrinterState(const std::filesystem::path& file, PrinterState state);

}  // namespace sim
