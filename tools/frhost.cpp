// frhost: the point-of-sale host's command line.
//
//   frhost --port PATH [--id N] [--timeout MS] [--operator N] [--password P] COMMAND [ARGUMENTS]
//
// Sends a command's requests on the host line at PATH and prints the replies: the result code
// with its meaning, the identifier, the data in hexadecimal and, for named commands, what the
// data say. A document command sends several requests (open, items, finish) and stops at the
// first that fails; a document it opened and could not finish is cancelled.
// Exit status: 0 when every request sent got a reply (whatever its code), 1 when one got none,
// 2 for usage errors.
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

#include "tools/host/config_commands.h"
#include "tools/host/document_commands.h"
#include "tools/host/port.h"
#include "tools/host/printer_commands.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/report_commands.h"
#include "values/bytes.h"
#include "values/cp866.h"

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

// The named commands: how each builds its requests and what the data of its last reply say.
struct NamedCommand {
  std::string_view name;
  std::string_view arguments;
  std::string_view summary;
  // The requests for the arguments, with `cashier` as the operator prefix where the command
  // takes one; nullopt when the arguments are not valid (`problem` may tell why).
  std::optional<host::Plan> (*plan)(const host::Operator& cashier, Arguments arguments, std::string& problem);
  // Prints what the data of a successful last reply mean; null when there is nothing to add.
  void (*describe)(bytes::View data);
};

// A command of one request, which takes no operator prefix.
template <std::optional<host::Request> (*kRequest)(Arguments)>
std::optional<host::Plan> oneRequest(const host::Operator& /*cashier*/, Arguments arguments, std::string& /*problem*/) {
  auto request = kRequest(arguments);
  if (!request) return std::nullopt;
  return host::Plan{.steps = {{.label = "", .request = std::move(*request)}}};
}

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

std::optional<host::Plan> serialNumberPlan(const host::Operator& cashier, Arguments arguments,
                                           std::string& problem) {
  auto payload = arguments.size() == 1 ? host::serialNumberPayload(cashier, arguments[0]) : std::nullopt;
  if (!payload) {
    problem = "the serial number is 10 digits";
    return std::nullopt;
  }
  return host::Plan{
      .steps = {{.label = "", .request = {.command = host::kSerialNumberCommand, .payload = std::move(*payload)}}}};
}

// A document that takes neither open data, items nor finishing data.
template <const host::DocumentCodes& kCodes>
std::optional<host::Plan> bareDocumentPlan(const host::Operator& cashier, Arguments arguments,
                                           std::string& /*problem*/) {
  if (!arguments.empty()) return std::nullopt;
  return host::documentPlan(kCodes, cashier);
}

// A deposit or payout of the amount in roubles given as the only argument.
template <const host::DocumentCodes& kCodes>
std::optional<host::Plan> cashPlan(const host::Operator& cashier, Arguments arguments, std::string& problem) {
  const auto amount = arguments.size() == 1 ? host::amountData(arguments[0]) : std::nullopt;
  if (!amount) {
    problem = "AMOUNT is roubles with at most two decimals, like 150 or 0.50";
    return std::nullopt;
  }
  return host::documentPlan(kCodes, cashier, {}, {}, *amount);
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

// The serial number (up to 10 digits) and the 21-byte status record: flags, fiscalizations,
// format byte, shift, last document and its time, receipts, open document, capacity.
void describeStatus(bytes::View data) {
  constexpr std::size_t kStatusSize = 21;
  if (data.size() < kStatusSize) return;
  const std::size_t serialSize = data.size() - kStatusSize;
  bytes::ByteReader reader(data.subspan(serialSize));
  const unsigned flags = reader.u16();
  const unsigned fiscalizations = reader.u8();
  reader.u8();  // the format byte
  const unsigned shift = reader.u16();
  const std::uint32_t lastDocument = reader.u32();
  const std::uint32_t lastTime = reader.u32();
  const unsigned receipts = reader.u16();
  const unsigned openDocument = reader.u8();
  const std::uint32_t capacity = reader.u32();
  std::cout << "serial number   " << std::string(data.begin(), data.begin() + static_cast<long>(serialSize)) << "\n"
            << "flags           0x" << std::hex << std::setw(4) << std::setfill('0') << flags << std::dec
            << std::setfill(' ') << "\n"
            << "fiscalizations  " << fiscalizations << "\n"
            << "shift number    " << shift << "\n"
            << "last document   " << lastDocument << ", " << timeText(lastTime) << "\n"
            << "receipt counter " << receipts << "\n"
            << "open document   " << openDocument << "\n"
            << "capacity        " << capacity << " documents\n";
}

// The first 44 bytes of the model record: model code, serial number, model name.
void describeIdentity(bytes::View data) {
  constexpr std::size_t kIdentitySize = 44;
  if (data.size() != kIdentitySize) return;
  std::cout << "model code    0x" << std::hex << bytes::loadU16(data, 0) << std::dec << "\n"
            << "serial number " << bytes::fieldText(data.subspan(2, 10)) << "\n"
            << "model name    " << cp866::toUtf8(bytes::fieldText(data.subspan(12, 32))) << "\n";
}

// The version, eight fixed bytes, then the 16-byte device key.
void describeKey(bytes::View data) {
  constexpr std::size_t kKeySize = 16;
  if (data.size() < kKeySize) return;
  std::cout << "device key  " << bytes::hexUpper(data.last(kKeySize)) << "\n";
}

template <std::uint8_t kType>
void describeCloseReply(bytes::View data) {
  const auto reply = host::parseCloseReply(kType, data);
  if (!reply) {
    std::cout << "close reply of " << data.size() << " bytes, not that of a " << host::documentTypeName(kType)
              << "\n";
    return;
  }
  std::cout << "document    " << reply->documentNumber << "\n"
            << "fiscal sign " << std::setw(10) << std::setfill('0') << reply->fiscalSign << std::setfill(' ') << "\n"
            << "time        " << timeText(reply->dateTime) << "\n";
  if (reply->shiftNumber) std::cout << "shift       " << *reply->shiftNumber << "\n";
  if (reply->drawerCash) std::cout << "drawer cash " << moneyText(*reply->drawerCash) << "\n";
}

void describeOpenDocument(bytes::View data) {
  if (data.empty()) return;
  std::cout << "open        " << unsigned{data[0]} << " (" << host::documentTypeName(data[0]) << ")\n";
}

constexpr NamedCommand kCommands[] = {
    {"send", "CODE [HEX]", "any command: code in decimal or 0x-hex, payload as hex digits", oneRequest<sendRequest>,
     nullptr},
    {"version", "", "program version (0x33)", oneRequest<bareRequest<0x33>>, describeVersion},
    {"state", "", "shift, receipt counter and drawer (0x10)", oneRequest<bareRequest<0x10>>, describeState},
    {"status", "", "serial number and status record (0x30)", oneRequest<bareRequest<0x30>>, describeStatus},
    {"identity", "", "model code, serial number and model name (0x31)", oneRequest<bareRequest<0x31>>,
     describeIdentity},
    {"key", "", "the device key (0x32)", oneRequest<bareRequest<0x32>>, describeKey},
    {"printer-status", "", "paper status: 0 ready, 53 not answering, 54 paper out (0xC0)",
     oneRequest<bareRequest<host::kPrinterStatusCommand>>, nullptr},
    {"print", "[OPTIONS] TEXT", "print TEXT (UTF-8) in one style, options below (0xC3)", oneRequest<printRequest>,
     nullptr},
    {"raw", "HEX", "send bytes to the printer unchanged (0xC4)", oneRequest<rawRequest>, nullptr},
    {"cut", "", "feed the paper and cut it (0xC5)", oneRequest<bareRequest<host::kFeedAndCutCommand>>, nullptr},
    {"serial-number", "DIGITS", "set the factory serial number, 10 digits (0x3F)", serialNumberPlan, nullptr},
    {"register", "OPTIONS", "register the taxpayer, options below (8, 7 ..., 9)", host::registrationPlan,
     describeCloseReply<host::kFiscalizationCodes.type>},
    {"shift-open", "", "open a shift (17, 18)", bareDocumentPlan<host::kShiftOpeningCodes>,
     describeCloseReply<host::kShiftOpeningCodes.type>},
    {"shift-close", "", "close the shift (19, 20)", bareDocumentPlan<host::kShiftClosingCodes>,
     describeCloseReply<host::kShiftClosingCodes.type>},
    {"sale", "[OPTIONS] ITEM...", "a receipt, options below (21, 7 ..., 22)", host::salePlan, host::describeReceipt},
    {"deposit", "AMOUNT", "put AMOUNT roubles into the drawer (162, 163)", cashPlan<host::kCashDepositCodes>,
     describeCloseReply<host::kCashDepositCodes.type>},
    {"payout", "AMOUNT", "take AMOUNT roubles out of the drawer (164, 165)", cashPlan<host::kCashPayoutCodes>,
     describeCloseReply<host::kCashPayoutCodes.type>},
    {"close-archive", "", "close the archive for good (24, 25)", bareDocumentPlan<host::kArchiveClosingCodes>,
     describeCloseReply<host::kArchiveClosingCodes.type>},
    {"cancel", "", "cancel the open document (6)", oneRequest<bareRequest<host::kCancelCommand>>, nullptr},
    {"document", "", "the type of the open document (176)", oneRequest<bareRequest<host::kOpenDocumentStateCommand>>,
     describeOpenDocument},
    {"report", "KIND [ARGS]", "x, fiscal, totals, sections, shifts A B, period FROM TO (177)", host::reportPlan, nullptr},
    {"tape", "[FROM-NUMBER]", "the control tape of the shift's receipts (58)", host::tapePlan, nullptr},
    {"copy", "N", "a copy of stored document N (178)", host::copyPlan, nullptr},
};

void printUsage(std::ostream& out) {
  out << "usage: frhost --port PATH [--id N] [--timeout MS] [--operator N] [--password P] COMMAND [ARGUMENTS]\n"
         "  --port PATH    the host line (a simulated board offers DIR/host)\n"
         "  --id N         transaction identifier (default 0: the register makes one up)\n"
         "  --timeout MS   how long to wait for each reply (default 5000)\n"
         "  --operator N   cashier 1-20 who opens documents and sets the serial number (default 20)\n"
         "  --password P   that cashier's password (default 30)\n"
         "commands:\n";
  for (const NamedCommand& command : kCommands) {
    out << "  " << std::left << std::setw(22) << (std::string(command.name) + " " + std::string(command.arguments))
        << command.summary << "\n";
  }
  host::printConfigUsage(out);
  out << "print options:\n"
         "  --center | --right   alignment (default left)\n"
         "  --bold --double --reverse\n"
         "  --font N             font field 0-3: 0, 1 small font, 2, 3 large (default 1)\n"
         "  --spacing N          line-spacing field 0-5 (default 0)\n"
         "  --cut                feed and cut after the text\n"
         "register options:\n"
         "  --user TEXT --place TEXT --address TEXT   user name, place and address of settlement\n"
         "  --inn DIGITS         taxpayer number, 10 to 12 digits\n"
         "  --regnum DIGITS      registration number, 10 to 16 digits\n"
         "  --tax SLOT:KIND:PERCENT:NAME   tax index 1-5; kind 0 without tax, 1 included in prices,\n"
         "                       2 on top; PERCENT like 20 or 20.00; repeat for each rate\n"
         "  --cashier-name TEXT  the cashier name the document carries\n"
      << host::kSaleUsage;
}

void printReply(const host::Reply& reply, void (*describe)(bytes::View data)) {
  std::cout << "result      " << unsigned{reply.code} << " (" << meaningOf(reply.code) << ")\n"
            << "identifier  0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << reply.identifier
            << std::dec << std::setfill(' ') << "\n"
            << "data        " << (reply.data.empty() ? "(none)" : spacedHex(reply.data)) << "\n";
  if (reply.code == host::kMissingItemCode && reply.data.size() == sizeof(std::uint16_t)) {
    const std::uint16_t tag = bytes::loadU16(reply.data, 0);
    const std::string_view name = host::missingItemName(tag);
    std::cout << "missing     tag " << tag << (name.empty() ? "" : " (" + std::string(name) + ")") << "\n";
  }
  if (reply.code == 0 && describe != nullptr) describe(reply.data);
}

void printNoReply(std::chrono::milliseconds timeout) {
  std::cerr << "frhost: no reply within " << timeout.count() << " ms\n";
}

void printDocumentMayBeOpen() {
  std::cout << "the register may still hold the document; \"frhost document\" tells, \"frhost cancel\" drops it\n";
}

// Cancels the document a plan opened and could not finish. kReplyCame or kNoReply.
int cancelUnfinished(host::HostPort& line, std::uint32_t identifier, std::chrono::milliseconds timeout) {
  std::cout << "cancel (" << unsigned{host::kCancelCommand} << "): " << std::flush;
  const auto reply = line.transact({.command = host::kCancelCommand, .identifier = identifier}, timeout);
  if (!reply) {
    std::cout << "no reply\n";
    printNoReply(timeout);
    printDocumentMayBeOpen();
    return kNoReply;
  }
  std::cout << unsigned{reply->code} << " (" << meaningOf(reply->code) << ")\n";
  if (reply->code == 0) {
    std::cout << "the unfinished document was cancelled: the register holds no half-made document\n";
  } else if (reply->code != host::kNothingOpenCode) {
    printDocumentMayBeOpen();
  }
  return kReplyCame;
}

// Sends the plan's requests in order until one is answered with a non-zero code, printing a
// line for each success and the whole reply of the last request sent. kReplyCame or kNoReply.
int runPlan(host::HostPort& line, const host::Plan& plan, const NamedCommand& command, std::uint32_t identifier,
            std::chrono::milliseconds timeout) {
  const bool labelled = plan.steps.size() > 1;
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const host::Step& step = plan.steps[i];
    const bool last = i + 1 == plan.steps.size();
    // Once the open has succeeded, a document is open until the last request finishes it.
    const bool documentOpen = plan.opensDocument && i > 0;
    if (labelled) std::cout << step.label << ":" << std::flush;
    host::Request request = step.request;
    request.identifier = identifier;
    const auto reply = line.transact(request, timeout);
    if (!reply) {
      if (labelled) std::cout << " no reply\n";
      printNoReply(timeout);
      // Even a lost reply to the open may have left a document open.
      if (plan.opensDocument) printDocumentMayBeOpen();
      return kNoReply;
    }
    if (reply->code == 0 && !last) {
      std::cout << " 0 (" << meaningOf(0) << ")\n";
      continue;
    }
    if (labelled) std::cout << "\n";
    printReply(*reply, last ? command.describe : nullptr);
    std::cout << host::tapeContinuation(request.command, reply->code, reply->data);
    if (reply->code == 0) return kReplyCame;
    if (labelled) std::cout << "stopped     at " << step.label << ", code " << unsigned{reply->code} << "\n";
    return documentOpen ? cancelUnfinished(line, identifier, timeout) : kReplyCame;
  }
  return kReplyCame;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  std::string port;
  std::uint32_t identifier = 0;
  std::chrono::milliseconds timeout{5000};
  host::Operator cashier;

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
    } else if (option == "--operator" && number && *number >= host::Operator::kFirstNumber &&
               *number <= host::Operator::kLastNumber) {
      cashier.number = static_cast<std::uint8_t>(*number);
    } else if (option == "--password" && number) {
      cashier.password = static_cast<std::uint32_t>(*number);
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

  if (host::isConfigCommand(arguments[next])) {
    return host::configMain(port, {cashier, identifier, timeout, meaningOf}, std::span(arguments).subspan(next));
  }
  const NamedCommand* command = nullptr;
  for (const NamedCommand& candidate : kCommands) {
    if (candidate.name == arguments[next]) command = &candidate;
  }
  std::string problem;
  const auto plan = command ? command->plan(cashier, std::span(arguments).subspan(next + 1), problem) : std::nullopt;
  if (!plan) {
    std::cerr << "frhost: bad command: " << arguments[next] << (problem.empty() ? "" : ": " + problem) << "\n";
    printUsage(std::cerr);
    return kUsageError;
  }

  auto line = host::HostPort::open(port);
  if (!line) {
    std::cerr << "frhost: cannot open " << port << ": " << std::strerror(errno) << "\n";
    return kNoReply;
  }
  return runPlan(*line, *plan, *command, identifier, timeout);
}
