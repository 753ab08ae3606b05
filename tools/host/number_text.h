// Numbers as the host's command line writes them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace host {

// A whole number in decimal or, with a 0x prefix, hexadecimal, from `minimum` to `maximum`;
// nullopt for anything else (signs, spaces, trailing characters).
std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t minimum, std::int64_t maximum);

// A whole decimal number from `first` to `last`, as a receipt item's or a tax rate's fields
// write it; nullopt for anything else (prefixes, signs, trailing characters).
std::optional<unsigned> decimalBetween(std::string_view text, unsigned first, unsigned last);

// `value` as the command line writes codes, bits and identifiers: "0x" and `digits` upper-case
// hexadecimal digits, more when the value needs them ("0x3F", "0x0100").
std::string hexNumber(std::uint32_t value, int digits);

// The codes a command sends, as its help names them: the link, printer and serial-number
// commands in hexadecimal ("(0x10, 0x30)"), the others in decimal ("(17, 18)").
std::string hexCodes(std::initializer_list<std::uint8_t> codes);
std::string decimalCodes(std::initializer_list<std::uint8_t> codes);

}  // namespace host
