// The host's printer commands as the command line gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "values/bytes.h"

namespace host {

inline constexpr std::uint8_t kPrinterStatusCommand = 0xC0;
inline constexpr std::uint8_t kPrintTextCommand = 0xC3;
inline constexpr std::uint8_t kPrintRawCommand = 0xC4;
inline constexpr std::uint8_t kFeedAndCutCommand = 0xC5;

// The payload of the print-text command from
//   [--center|--right] [--bold] [--double] [--reverse] [--font N] [--spacing N] [--cut] [--] TEXT...
// The words of TEXT (UTF-8) are joined by single spaces and sent in CP866; a character CP866
// lacks is sent as '?'. Payload: line-spacing field (0-5, default 0), alignment (0 left,
// 1 centred, 2 right; the last option given counts), font field (0-3, default 1: ordinary
// text in the small font; 2 and 3 are the large font), style bits (0 bold, 2 reverse,
// 3 double size, 4 feed and cut after the text), then the text. nullopt for an unknown
// option, a value out of range or no TEXT, with `problem` saying which.
std::optional<bytes::Bytes> printTextPayload(std::span<const std::string_view> arguments, std::string& problem);
std::optional<bytes::Bytes> printTextPayload(std::span<const std::string_view> arguments);

}  // namespace host
