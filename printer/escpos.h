// The fixed ESC/POS byte strings the register sends to its printer.
#pragma once

#include <string_view>

namespace escpos {

inline constexpr std::string_view kReset = "\x1B\x40";              // ESC @: initialise the printer
inline constexpr std::string_view kPaperStatusQuery = "\x1B\x76";   // ESC v: answered with one status byte
inline constexpr std::string_view kSetup1 = {"\x1D\x64\x00", 3};    // GS d 0
inline constexpr std::string_view kSetup2 = {"\x1D\x50\x00\x00", 4};  // GS P 0 0: default motion units
inline constexpr std::string_view kCodePage = "\x1B\x74\x07";       // ESC t 7: character table 7, CP866
// ESC 3 255, LF, ESC i: widest line spacing, one line feed, then cut.
inline constexpr std::string_view kFeedAndCut = "\x1B\x33\xFF\x0A\x1B\x69";

// Bits of the paper status byte.
inline constexpr unsigned kPaperNearEndBits = 0x03;  // both set: the roll is near its end
inline constexpr unsigned kPaperOutBits = 0x0C;      // both set: no paper

}  // namespace escpos
