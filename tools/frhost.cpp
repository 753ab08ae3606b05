// frhost: the point-of-sale host's command line.
//
//   frhost --port PATH [--id N] [--timeout MS] COMMAND [ARGUMENTS]
//
// Sends one request on the host line at PATH and prints the reply: the result code with its
// meaning, the identifier, the data in hexadecimal and, for named commands, what the data say.
// Exit status: 0 when a reply came (whatever its code), 1 when none came, 2 for usage errors.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/host/port.h"
#include "tools/host/printer_commands.h"
#include "values/bytes.h"

namespace {

constexpr int kReplyCame = 0;
constexpr int kNoReply = 1;
constexpr int kUsageError = 2;

using Arguments = std::span<const std::string_view>;

struct ResultCodeText {
  std::uint8_t code;
  const char* meaning;
};

constexpr ResultCodeText kResultCodes[] = {
    {0, "success"},
    {3, "document could not be created or is not storable"},
    {4, "document could not be closed for storing"},
    {5, "archive not ready, or an archive read failed"},
    {6, "too little free space on the card"},
    {7, "stored data too long, or the receipt too large"},
    {8, "no port, or no result from the core"},
    {9, "frame CRC mismatch"},
    {10, "unknown command code"},
    {11, "bad frame length, short frame, or reply too long"},
    {12, "no start byte received"},
    {13, "device identity not valid"},
    {15, "no card"},
    {16, "cashier lacks the permission"},
    {17, "record not found or nothing to report"},
    {18, "cashier unknown, wrong password or not usable"},
    {19, "operator prefix too short or cashier number outside 1..20; receipt item without sub-items"},
    {20, "unknown table or setting selector"},
    {21, "record could not be saved"},
    {22, "payload of the wrong size or content"},
    {23, "time not later than the last document and the build moment"},
    {24, "factory serial number already set"},
    {25, "identity memory fault or no device key"},
    {26, "a shift is open"},
    {27, "no shift is open"},
    {28, "a document is already open"},
    {29, "no document is open"},
    {30, "wrong document type or unknown report"},
    {31, "archive closed"},
    {32, "archive belongs to another device"},
    {33, "registration count at its limit"},
    {34, "an item the document does not take"},
    {35, "registration text empty or too long, or a tax-rate item that does not decode"},
    {36, "sealed registration still not complete"},
    {37, "a mandatory item is missing (the data are its tag)"},
    {38, "registration data missing or incomplete"},
    {39, "open data announce more bytes than they hold"},
    {40, "no cash, or not enough cash in the drawer"},
    {41, "deposit too large"},
    {42, "receipt kind not valid or not set"},
    {43, "section of an item not found or not valid"},
    {44, "discount of an item not found or not valid"},
    {45, "tax rate of an item not found or not valid"},
    {46, "receipt item not valid"},
    {47, "payment below the total"},
    {48, "electronic payment above the total, outgoing receipt overpaid, or total too large"},
    {50, "3000 receipts in the shift"},
    {51, "shift open longer than 24 hours"},
    {52, "cash in the drawer is not zero"},
    {53, "printer not answering"},
    {54, "paper out"},
    {255, "empty result"},
};

const char* meaningOf(std::uint8_t code) {
  for (const ResultCodeText& entry : kResultCodes) {
    if (entry.code == code) return entry.meaning;
  }
  return "unknown code";
}

// A number in decimal or, with a 0x prefix, hexadecimal, at most `maximum`.
std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t maximum) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > maximum) {
    return std::nullopt;
  }
  return value;
}

// Hexadecimal digits, two per byte; spaces anywhere are ignored.
std::optional<bytes::Bytes> parseHex(Arguments pieces) {
  std::string digits;
  for (const std::string_view piece : pieces) {
    for (const char c : piece) {
      if (c != ' ') digits.push_back(c);
    }
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  bytes::Bytes out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    std::uint8_t byte = 0;
    const auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, byte, 16);
    if (error != std::errc() || end != digits.data() + i + 2) return std::nullopt;
    out.push_back(byte);
  }
  return out;
}

std::string spacedHex(bytes::View data) {
  std::ostringstream text;
  text << std::hex << std::uppercase << std::setfill('0');
  for (std::size_t i = 0; i < data.size(); ++i) text << (i == 0 ? "" : " ") << std::setw(2) << unsigned{data[i]};
  return text.str();
}

std::string timeText(std::uint32_t seconds) {
  if (seconds == 0) return "-";
  const std::time_t moment = seconds;
  std::tm local{};
  localtime_r(&moment, &local);
  std::ostringstream text;
  text << std::put_time(&local, "%Y-%m-%d %H:%M:%S") << " (" << seconds << ")";
  return text.str();
}

std::string moneyText(std::uint64_t hundredths) {
  std::ostringstream text;
  text << hundredths / 100 << '.' << std::setw(2) << std::setfill('0') << hundredths % 100;
  return text.str();
}

// The named commands: how each builds its request and what its reply's data say.
struct NamedCommand {
  std::string_view name;
  std::string_view arguments;
  std::string_view summary;
  // The request for the command's arguments; nullopt when they are not valid.
  std::optional<host::Request> (*request)(Arguments arguments);
  // Prints what the data of a successful reply mean; null when there is nothing to add.
  void (*describe)(bytes::View data);
};

std::optional<host::Request> sendRequest(Arguments arguments) {
  if (arguments.empty()) return std::nullopt;
  const auto code = parseNumber(arguments[0], 0xFF);
  auto payload = parseHex(arguments.subspan(1));
  if (!code || !payload) return std::nullopt;
  return host::Request{.command = static_cast<std::uint8_t>(*code), .payload = std::move(*payload)};
}

template <std::uint8_t kCode>
std::optional<host::Request> bareRequest(Arguments arguments) {
  if (!arguments.empty()) return std::nullopt;
  return host::Request{.command = kCode};
}

std::optional<host::Request> printRequest(Arguments arguments) {
  auto payload = host::printTextPayload(arguments);
  if (!payload) return std::nullopt;
  return host::Request{.command = host::kPrintTextCommand, .payload = std::move(*payload)};
}

std::optional<host::Request> rawRequest(Arguments arguments) {
  auto payload = parseHex(arguments);
  if (!payload || payload->empty()) return std::nullopt;
  return host::Request{.command = host::kPrintRawCommand, .payload = std::move(*payload)};
}

void describeVersion(bytes::View data) {
  if (data.size() != 3) return;
  std::cout << "version     " << unsigned{data[0]} << '.' << unsigned{data[1]} << '.' << unsigned{data[2]} << "\n";
}

// The state block: shift open (1 byte), shift number (u16), receipt counter (u16), then the
// shift record: last opening document and time, last closing document and time (u32 each),
// cash in the drawer (u64 hundredths).
void describeState(bytes::View data) {
  constexpr std::size_t kStateBlockSize = 29;
  if (data.size() != kStateBlockSize) {
    std::cout << "state block of " << data.size() << " bytes, expected " << kStateBlockSize << "\n";
    return;
  }
  bytes::ByteReader reader(data);
  const bool shiftOpen = reader.u8() != 0;
  const unsigned shiftNumber = reader.u16();
  const unsigned receiptCounter = reader.u16();
  const std::uint32_t openingDocument = reader.u32();
  const std::uint32_t openingTime = reader.u32();
  const std::uint32_t closingDocument = reader.u32();
  const std::uint32_t closingTime = reader.u32();
  const std::uint64_t cash = reader.u64();
  std::cout << "shift open      " << (shiftOpen ? "yes" : "no") << "\n"
            << "shift number    " << shiftNumber << "\n"
            << "receipt counter " << receiptCounter << "\n"
            << "last opening    document " << openingDocument << ", " << timeText(openingTime) << "\n"
            << "last closing    document " << closingDocument << ", " << timeText(closingTime) << "\n"
            << "drawer cash     " << moneyText(cash) << "\n";
}

constexpr NamedCommand kCommands[] = {
    {"send", "CODE [HEX]", "any command: code in decimal or 0x-hex, payload as hex digits", sendRequest, nullptr},
    {"version", "", "program version (0x33)", bareRequest<0x33>, describeVersion},
    {"state", "", "shift, receipt counter and drawer (0x10)", bareRequest<0x10>, describeState},
    {"printer-status", "", "paper status: 0 ready, 53 not answering, 54 paper out (0xC0)",
     bareRequest<host::kPrinterStatusCommand>, nullptr},
    {"print", "[OPTIONS] TEXT", "print TEXT (UTF-8) in one style, options below (0xC3)", printRequest, nullptr},
    {"raw", "HEX", "send bytes to the printer unchanged (0xC4)", rawRequest, nullptr},
    {"cut", "", "feed the paper and cut it (0xC5)", bareRequest<host::kFeedAndCutCommand>, nullptr},
};

void printUsage(std::ostream& out) {
  out << "usage: frhost --port PATH [--id N] [--timeout MS] COMMAND [ARGUMENTS]\n"
         "  --port PATH   the host line (a simulated board offers DIR/host)\n"
         "  --id N        transaction identifier (default 0: the register makes one up)\n"
         "  --timeout MS  how long to wait for the reply (default 5000)\n"
         "commands:\n";
  for (const NamedCommand& command : kCommands) {
    out << "  " << std::left << std::setw(22) << (std::string(command.name) + " " + std::string(command.arguments))
        << command.summary << "\n";
  }
  out << "print options:\n"
         "  --center | --right   alignment (default left)\n"
         "  --bold --double --reverse\n"
         "  --font N             font field 0-3: 0, 1 small font, 2, 3 large (default 1)\n"
         "  --spacing N          line-spacing field 0-5 (default 0)\n"
         "  --cut                feed and cut after the text\n";
}

void printReply(const host::Reply& reply, const NamedCommand& command) {
  std::cout << "result      " << unsigned{reply.code} << " (" << meaningOf(reply.code) << ")\n"
            << "identifier  0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << reply.identifier
            << std::dec << std::setfill(' ') << "\n"
            << "data        " << (reply.data.empty() ? "(none)" : spacedHex(reply.data)) << "\n";
  if (reply.code == 0 && command.describe != nullptr) command.describe(reply.data);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  std::string port;
  std::uint32_t identifier = 0;
  std::chrono::milliseconds timeout{5000};

  std::size_t next = 0;
  for (; next < arguments.size() && arguments[next].starts_with("--"); next += 2) {
    const std::string_view option = arguments[next];
    if (option == "--help") {
      printUsage(std::cout);
      return kReplyCame;
    }
    if (next + 1 >= arguments.size()) {
      printUsage(std::cerr);
      return kUsageError;
    }
    const std::string_view value = arguments[next + 1];
    const auto number = parseNumber(value, UINT32_MAX);
    if (option == "--port") {
      port = value;
    } else if (option == "--id" && number) {
      identifier = static_cast<std::uint32_t>(*number);
    } else if (option == "--timeout" && number) {
      timeout = std::chrono::milliseconds(*number);
    } else {
      std::cerr << "frhost: bad option " << option << " " << value << "\n";
      printUsage(std::cerr);
      return kUsageError;
    }
  }
  if (port.empty() || next >= arguments.size()) {
    printUsage(std::cerr);
    return kUsageError;
  }

  const NamedCommand* command = nullptr;
  for (const NamedCommand& candidate : kCommands) {
    if (candidate.name == arguments[next]) command = &candidate;
  }
  const auto request = command ? command->request(std::span(arguments).subspan(next + 1)) : std::nullopt;
  if (!request) {
    std::cerr << "frhost: bad command: " << arguments[next] << "\n";
    printUsage(std::cerr);
    return kUsageError;
  }

  auto line = host::HostPort::open(port);
  if (!line) {
    std::cerr << "frhost: cannot open " << port << ": " << std::strerror(errno) << "\n";
    return kNoReply;
  }
  host::Request withIdentifier = *request;
  withIdentifier.identifier = identifier;
  const auto reply = line->transact(withIdentifier, timeout);
  if (!reply) {
    std::cerr << "frhost: no reply within " << timeout.count() << " ms\n";
    return kNoReply;
  }
  printReply(*reply, *command);
  return kReplyCame;
}
