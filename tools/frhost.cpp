// frhost: the point-of-sale host's command line.
//
//   frhost [--port PATH] [--id N] [--timeout MS] [--operator N] [--password P] [--json] [--no-wait]
//          COMMAND [ARGUMENTS]
// (frhost's options may also follow the command; a command's own option of the same name, such
// as cashier set's --password, is the command's.)
//   frhost help [COMMAND]
//
// Holds the host line at PATH for itself (an exclusive lock: several frhost take turns), sends
// a command's requests, each with an identifier of its own, and prints the replies. A document
// command sends several requests (open, items, finish) and stops at the first that fails; a
// document it opened and could not finish is cancelled, also when a reply was lost (the cancel
// then tells whether the register still held the document). Before opening a document it waits
// until the register's clock has left the second of its last document.
// Exit status: 0 when every request was answered with code 0, 3 when one was refused, 1 when a
// reply did not come, 2 for usage errors.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "core/state/result_code.h"
#include "link/host_protocol.h"
#include "tools/host/config_commands.h"
#include "tools/host/document_commands.h"
#include "tools/host/number_text.h"
#include "tools/host/pacing.h"
#include "tools/host/port.h"
#include "tools/host/printer_commands.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/reply_fields.h"
#include "tools/host/report_commands.h"
#include "tools/host/session.h"

namespace {

using host::Arguments;
using host::addNumber;
using host::Fields;
using host::Session;

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

// The codes a command sends, as its summary names them: the link, printer and serial-number
// commands in hexadecimal ("(0x10, 0x30)"), the others in decimal ("(17, 18)").
template <typename Format>
std::string codeList(std::initializer_list<std::uint8_t> codes, Format format) {
  std::string text;
  for (const std::uint8_t code : codes) text += (text.empty() ? "(" : ", ") + format(code);
  return text + ")";
}

std::string hexCodes(std::initializer_list<std::uint8_t> codes) {
  return codeList(codes, [](std::uint8_t code) { return host::hexNumber(code, 2); });
}

std::string decimalCodes(std::initializer_list<std::uint8_t> codes) {
  return codeList(codes, [](std::uint8_t code) { return std::to_string(code); });
}

// A document's open and finish, and between them the items it adds: "(21, 7 ..., 22)".
std::string documentWithItemsCodes(const host::DocumentCodes& codes) {
  return "(" + std::to_string(codes.open) + ", " + std::to_string(protocol::kAddItem) + " ..., " +
         std::to_string(codes.finish) + ")";
}

std::string documentCodes(const host::DocumentCodes& codes) { return decimalCodes({codes.open, codes.finish}); }

// The named commands: their arguments, and what the data of their last reply say.
struct NamedCommand {
  std::string_view name;
  std::string summary;
  std::unique_ptr<host::CommandArguments> arguments;
  // What the data of a successful last reply say; null when there is nothing to add.
  Fields (*describe)(bytes::View data) = nullptr;
  // The state block has no flags: after it the status flags are asked for and shown too.
  bool withFlags = false;
};

host::Plan onePlan(host::Request request) {
  return host::Plan{.steps = {{.label = "", .request = std::move(request)}}};
}

std::optional<host::Plan> sendPlan(const host::Operator&, Arguments arguments, std::string& problem) {
  const auto code = host::parseNumber(arguments[0], 0, 0xFF);
  if (!code) {
    problem = "CODE is a command code from 0 to 255 (or 0x00 to 0xFF)";
    return std::nullopt;
  }
  auto payload = parseHex(arguments.subspan(1));
  if (!payload) {
    problem = "HEX is pairs of hexadecimal digits, like \"01 1E 00 00 00\"";
    return std::nullopt;
  }
  return onePlan({.command = static_cast<std::uint8_t>(*code), .payload = std::move(*payload)});
}

template <std::uint8_t kCode>
std::optional<host::Plan> barePlan(const host::Operator&, Arguments, std::string&) {
  return onePlan({.command = kCode});
}

std::optional<host::Plan> rawPlan(const host::Operator&, Arguments arguments, std::string& problem) {
  auto payload = parseHex(arguments);
  if (!payload || payload->empty()) {
    problem = "HEX is one or more pairs of hexadecimal digits";
    return std::nullopt;
  }
  return onePlan({.command = protocol::kPrintRaw, .payload = std::move(*payload)});
}

std::optional<host::Plan> serialNumberPlan(const host::Operator& cashier, Arguments arguments,
                                           std::string& problem) {
  auto payload = host::serialNumberPayload(cashier, arguments[0]);
  if (!payload) {
    problem = "the serial number is 10 digits";
    return std::nullopt;
  }
  return onePlan({.command = protocol::kSetSerialNumber, .payload = std::move(*payload)});
}

// A document that takes neither open data, items nor finishing data.
template <const host::DocumentCodes& kCodes>
std::optional<host::Plan> bareDocumentPlan(const host::Operator& cashier, Arguments, std::string&) {
  return host::documentPlan(kCodes, cashier);
}

// A deposit or payout of the amount in roubles given as the only argument.
template <const host::DocumentCodes& kCodes>
std::optional<host::Plan> cashPlan(const host::Operator& cashier, Arguments arguments, std::string& problem) {
  const auto amount = host::amountData(arguments[0]);
  if (!amount) {
    problem = "AMOUNT is roubles with at most two decimals, like 150 or 0.50";
    return std::nullopt;
  }
  return host::documentPlan(kCodes, cashier, {}, {}, *amount);
}

template <std::uint8_t kType>
Fields closeReply(bytes::View data) {
  return host::closeReplyFields(kType, data);
}

// A command whose positionals `plan` reads.
std::unique_ptr<host::CommandArguments> positionals(host::WordsPlan wordsPlan, std::vector<host::Positional> list = {}) {
  return host::positionalArguments(std::move(list), wordsPlan);
}

constexpr int kAnyNumber = -1;

std::vector<NamedCommand> namedCommands() {
  const host::Positional hex{"HEX", "bytes as pairs of hexadecimal digits, like \"01 1E 00\"", 0, kAnyNumber};
  const host::Positional amount{"AMOUNT", "roubles with at most two decimals, like 150 or 0.50"};
  std::vector<NamedCommand> commands;
  commands.push_back({"send", "any command: code in decimal or 0x-hex, payload as hex digits",
                      positionals(sendPlan, {{"CODE", "the command code, 0 to 255 or 0x00 to 0xFF"}, hex})});
  commands.push_back({"version", "program version " + hexCodes({protocol::kVersion}),
                      positionals(barePlan<protocol::kVersion>), host::versionFields});
  commands.push_back({"state",
                      "shift, receipt counter, drawer and status flags " +
                          hexCodes({protocol::kState, protocol::kStatus}),
                      positionals(barePlan<protocol::kState>), host::stateFields, true});
  commands.push_back({"status", "serial number, status flags and counters " + hexCodes({protocol::kStatus}),
                      positionals(barePlan<protocol::kStatus>), host::statusFields});
  commands.push_back({"identity", "model code, serial number and model name " + hexCodes({protocol::kIdentity}),
                      positionals(barePlan<protocol::kIdentity>), host::identityFields});
  commands.push_back({"key", "the device key " + hexCodes({protocol::kDeviceKey}),
                      positionals(barePlan<protocol::kDeviceKey>), host::keyFields});
  commands.push_back({"printer-status",
                      "paper status: " + std::to_string(result::kSuccess) + " ready, " +
                          std::to_string(result::kPrinterSilent) + " not answering, " +
                          std::to_string(result::kPaperOut) + " paper out " + hexCodes({protocol::kPrinterStatus}),
                      positionals(barePlan<protocol::kPrinterStatus>)});
  commands.push_back({"print", "print TEXT (UTF-8) in one style " + hexCodes({protocol::kPrintText}),
                      std::make_unique<host::PrintTextArguments>()});
  commands.push_back({"raw", "send bytes to the printer unchanged " + hexCodes({protocol::kPrintRaw}),
                      positionals(rawPlan, {{hex.name, hex.description, 1, kAnyNumber}})});
  commands.push_back({"cut", "feed the paper and cut it " + hexCodes({protocol::kFeedAndCut}),
                      positionals(barePlan<protocol::kFeedAndCut>)});
  commands.push_back({"serial-number",
                      "set the factory serial number, 10 digits " + hexCodes({protocol::kSetSerialNumber}),
                      positionals(serialNumberPlan, {{"DIGITS", "the serial number, 10 digits"}})});
  commands.push_back({"register", "register the taxpayer " + documentWithItemsCodes(host::kFiscalizationCodes),
                      std::make_unique<host::RegistrationArguments>(), closeReply<host::kFiscalizationCodes.type>});
  commands.push_back({"shift-open", "open a shift " + documentCodes(host::kShiftOpeningCodes),
                      positionals(bareDocumentPlan<host::kShiftOpeningCodes>),
                      closeReply<host::kShiftOpeningCodes.type>});
  commands.push_back({"shift-close", "close the shift " + documentCodes(host::kShiftClosingCodes),
                      positionals(bareDocumentPlan<host::kShiftClosingCodes>),
                      closeReply<host::kShiftClosingCodes.type>});
  commands.push_back({"sale", "a receipt " + documentWithItemsCodes(host::kReceiptCodes),
                      std::make_unique<host::SaleArguments>(), host::receiptFields});
  commands.push_back({"deposit", "put AMOUNT roubles into the drawer " + documentCodes(host::kCashDepositCodes),
                      positionals(cashPlan<host::kCashDepositCodes>, {amount}),
                      closeReply<host::kCashDepositCodes.type>});
  commands.push_back({"payout", "take AMOUNT roubles out of the drawer " + documentCodes(host::kCashPayoutCodes),
                      positionals(cashPlan<host::kCashPayoutCodes>, {amount}),
                      closeReply<host::kCashPayoutCodes.type>});
  commands.push_back({"close-archive", "close the archive for good " + documentCodes(host::kArchiveClosingCodes),
                      positionals(bareDocumentPlan<host::kArchiveClosingCodes>),
                      closeReply<host::kArchiveClosingCodes.type>});
  commands.push_back({"cancel", "cancel the open document " + decimalCodes({protocol::kCancelDocument}),
                      positionals(barePlan<protocol::kCancelDocument>)});
  commands.push_back({"document", "the type of the open document " + decimalCodes({protocol::kOpenDocumentState}),
                      positionals(barePlan<protocol::kOpenDocumentState>), host::openDocumentFields});
  commands.push_back(
      {"report", "x, fiscal, totals, sections, shifts A B, period FROM TO " + decimalCodes({protocol::kReport}),
       positionals(host::reportPlan,
                   {{"KIND", "x the open shift, fiscal since the last fiscalization, totals since the archive began, "
                             "sections the shift's sections, shifts or period"},
                    {"A|FROM", "shifts: the first shift number; period: a date like 2026-12-08[T09:30[:15]] or "
                               "seconds", 0, 1},
                    {"B|TO", "shifts: the last shift number; period: the last moment (a date alone: to its end)", 0,
                     1}})});
  commands.push_back({"tape", "the control tape of the shift's receipts " + decimalCodes({protocol::kControlTape}),
                      positionals(host::tapePlan, {{"FROM-NUMBER", "the first receipt document to print", 0, 1}})});
  commands.push_back({"copy", "a copy of stored document N " + decimalCodes({protocol::kDocumentCopy}),
                      positionals(host::copyPlan, {{"N", "a document number"}})});
  return commands;
}

// The configuration commands: ConfigArguments reads and runs them.
struct ConfigCommand {
  std::string_view name;
  std::string summary;
};

const std::string kRecordCodes = decimalCodes({protocol::kReadRecord, protocol::kWriteRecord});
const ConfigCommand kConfigCommands[] = {
    {"cashier", "read or change cashier N " + kRecordCodes},
    {"section", "read or change section N " + kRecordCodes},
    {"discount", "read or change discount N " + kRecordCodes},
    {"clock", "read or set the register's clock " + decimalCodes({protocol::kReadClock, protocol::kSetClock})},
    {"paper-width", "read or set the paper width " + decimalCodes({protocol::kReadSetting, protocol::kWriteSetting})},
    {"tables", "all cashiers, sections and discounts to or from a JSON file"},
};

const std::string kExitStatusHelp =
    "exit status:\n"
    "  0  every request was answered with code 0\n"
    "  3  the register refused a request (its code and meaning are printed)\n"
    "  1  a reply did not come, or the port or a file could not be used\n"
    "  2  the command line is not valid\n"
    "--json prints one JSON object per line for each request of the command: request, command,\n"
    "code, meaning, identifier, data (hexadecimal) and every decoded field by name; amounts are\n"
    "exact decimal texts such as \"150.00\", times seconds since the epoch. Notes for people go to\n"
    "standard error.\n"
    "Before opening a document frhost waits (at most 1.2 s) until the register's clock has left\n"
    "the second of its last document, which it would otherwise refuse (" + std::to_string(result::kTimeNotLater) +
    "); --no-wait does not.\n"
    "frhost help COMMAND (or frhost COMMAND --help) tells a command's arguments.\n";

void printDocumentMayBeOpen(Session& session) {
  session.note() << "the register may still hold the document; \"frhost document\" tells, \"frhost cancel\" "
                    "drops it\n";
}

// After the reply to a request of a document's plan was lost, what a cancel answered 0 (the
// register still held the document) and one answered 29 (it held none) tell.
struct LostReply {
  std::string_view cancelled;
  std::string_view noneOpen;
};

LostReply lostReplyTo(const host::Plan& plan, std::size_t step) {
  if (step + 1 == plan.steps.size()) {
    return {"the finish never reached the register: the document was cancelled",
            "the register had stored the document before the reply was lost (\"frhost status\" shows the last "
            "document)"};
  }
  return {"the register still held the document open: it was cancelled",
          step == 0 ? "the open never reached the register" : "the register no longer held it"};
}

// Cancels the document a plan opened and could not finish, or whose request's reply was lost.
void cancelUnfinished(Session& session, std::optional<LostReply> lost = {}) {
  const auto reply = session.transact(protocol::kCancelDocument);
  if (!reply) {
    printDocumentMayBeOpen(session);
    return;
  }
  session.report("cancel " + decimalCodes({protocol::kCancelDocument}), protocol::kCancelDocument, *reply, {},
                 Session::Show::kLine);
  if (reply->code == 0) {
    session.note() << (lost ? lost->cancelled
                            : "the unfinished document was cancelled: the register holds no half-made document")
                   << "\n";
  } else if (reply->code == result::kNoDocumentOpen && lost) {
    session.note() << "no document was open: " << lost->noneOpen << "\n";
  } else if (reply->code != result::kNoDocumentOpen) {
    printDocumentMayBeOpen(session);
  }
}

// The status flags in words, after another reply: a line for people, an object in JSON.
void showFlags(Session& session) {
  const auto reply = session.transact(protocol::kStatus);
  if (!reply) return;
  const Fields fields = reply->code == 0 ? host::statusFlagFields(reply->data) : Fields{};
  session.report("status flags", protocol::kStatus, *reply, fields,
                 reply->code == 0 ? Session::Show::kFields : Session::Show::kLine);
}

// Sends the plan's requests in order until one is answered with a non-zero code, showing a line
// for each success and the whole reply of the last request sent.
void runPlan(Session& session, const host::Plan& plan, const NamedCommand& command) {
  const bool labelled = plan.steps.size() > 1;
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const host::Step& step = plan.steps[i];
    const bool last = i + 1 == plan.steps.size();
    // Once the open has succeeded, a document is open until the last request finishes it.
    const bool documentOpen = plan.opensDocument && i > 0;
    const auto reply = session.transact(step.request.command, step.request.payload);
    if (!reply) {
      // Even a lost reply to the open may have left a document open.
      if (plan.opensDocument) cancelUnfinished(session, lostReplyTo(plan, i));
      return;
    }
    const std::string_view label = labelled ? std::string_view(step.label) : command.name;
    if (reply->code == 0 && !last) {
      session.report(label, step.request.command, *reply, {}, Session::Show::kLine);
      continue;
    }
    if (labelled && !session.json()) session.out() << step.label << ":\n";
    const Fields fields = reply->code == 0 && command.describe ? command.describe(reply->data) : Fields{};
    session.report(label, step.request.command, *reply, fields);
    session.note() << host::tapeContinuation(step.request.command, reply->code, reply->data);
    if (reply->code == 0) {
      if (command.withFlags) showFlags(session);
      return;
    }
    if (labelled) session.note() << "stopped at " << step.label << ", code " << unsigned{reply->code} << "\n";
    if (documentOpen) cancelUnfinished(session);
    return;
  }
}

// Help as frhost tells it: usage lines begin with frhost and its options.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() == nullptr) return "usage: frhost [OPTIONS] COMMAND [ARGUMENTS]\n";
    return CLI::Formatter::make_usage(app, "frhost [frhost OPTIONS] " + name);
  }
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"frhost: the point-of-sale host's command line. Its options go before or after the COMMAND.", "frhost"};
  app.formatter(std::make_shared<HelpFormatter>());
  app.require_subcommand(0, 1);

  std::string port;
  std::uint32_t firstIdentifier = 0;
  std::uint32_t timeout = 5000;
  host::Operator cashier;
  bool json = false;
  bool noWait = false;
  app.add_option("--port", port, "the host line (a simulated board offers DIR/host)")
      ->envname("FRHOST_PORT")
      ->type_name("PATH");
  addNumber(app, "--id", firstIdentifier, 0, UINT32_MAX,
            "identifier of the first request, counted up for each later one (default or 0: random)");
  addNumber(app, "--timeout", timeout, 0, 600'000, "how long to wait for each reply, in ms (default 5000)");
  addNumber(app, "--operator", cashier.number, host::Operator::kFirstNumber, host::Operator::kLastNumber,
            "cashier who opens documents and changes settings (default 20)");
  addNumber(app, "--password", cashier.password, 0, UINT32_MAX, "that cashier's password (default 30)");
  app.add_flag("--json", json, "one JSON object per request, on one line each");
  app.add_flag("--no-wait", noWait, "open documents without waiting for the register's clock");

  CLI::App* help = app.add_subcommand("help", "this help, or a command's");
  std::string helpTopic;
  help->add_option("COMMAND", helpTopic, "the command to explain");

  // frhost's options may also follow the command.
  app.fallthrough();
  std::vector<NamedCommand> commands = namedCommands();
  for (NamedCommand& command : commands) {
    CLI::App* sub = app.add_subcommand(std::string(command.name), std::string(command.summary));
    command.arguments->declare(*sub);
  }
  std::vector<host::ConfigArguments> configurations;
  for (const ConfigCommand& command : kConfigCommands) configurations.emplace_back(command.name);
  for (std::size_t i = 0; i < std::size(kConfigCommands); ++i) {
    configurations[i].declare(*app.add_subcommand(std::string(kConfigCommands[i].name),
                                                  std::string(kConfigCommands[i].summary)));
  }
  // Set last: a command added later would inherit it.
  app.footer(std::string(kExitStatusHelp));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // A --help after a command name asks for that command's help.
    const std::vector<CLI::App*> asked = app.get_subcommands();
    std::cout << (asked.empty() ? app.help() : asked[0]->help());
    return host::kExitSuccess;
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> asked = app.get_subcommands();
    const std::string where = asked.empty() ? "" : " " + asked[0]->get_name();
    std::cerr << "frhost" << where << ": " << error.what() << " (frhost" << (asked.empty() ? " --" : " ") << "help"
              << where << ")\n";
    return host::kExitUsage;
  }

  const std::vector<CLI::App*> chosen = app.get_subcommands();
  if (chosen.empty()) {
    std::cerr << "frhost: a COMMAND is needed (frhost --help lists them)\n";
    return host::kExitUsage;
  }
  if (chosen[0] == help) {
    if (helpTopic.empty()) {
      std::cout << app.help();
      return host::kExitSuccess;
    }
    try {
      std::cout << app.get_subcommand(helpTopic)->help();
    } catch (const CLI::OptionNotFound&) {
      std::cerr << "frhost help: no command " << helpTopic << " (frhost --help)\n";
      return host::kExitUsage;
    }
    return host::kExitSuccess;
  }

  const std::string name = chosen[0]->get_name();
  const NamedCommand* command = nullptr;
  for (const NamedCommand& candidate : commands) {
    if (candidate.name == name) command = &candidate;
  }
  host::ConfigArguments* configuration = nullptr;
  for (std::size_t i = 0; i < std::size(kConfigCommands); ++i) {
    if (kConfigCommands[i].name == name) configuration = &configurations[i];
  }
  std::optional<host::Plan> plan;
  std::string problem;
  if (command != nullptr) plan = command->arguments->plan(cashier, problem);
  if ((command != nullptr && !plan) || (configuration != nullptr && !configuration->check(problem))) {
    std::cerr << "frhost " << name << ": " << problem << " (frhost help " << name << ")\n";
    return host::kExitUsage;
  }
  if (port.empty()) {
    std::cerr << "frhost: --port PATH (or FRHOST_PORT) names the host line (frhost --help)\n";
    return host::kExitUsage;
  }

  auto line = host::HostPort::open(port);
  if (!line) {
    std::cerr << "frhost: cannot open " << port << ": " << std::strerror(errno);
    if (errno == ENOENT) {
      const std::string board = port.ends_with("/host") ? port.substr(0, port.size() - 5) : "DIR";
      std::cerr << "; no simulated board runs there (start one with: frsim " << board << ")";
    }
    std::cerr << "\n";
    return host::kExitNoReply;
  }
  const host::SessionOptions options{
      .firstIdentifier = firstIdentifier, .timeout = std::chrono::milliseconds(timeout), .json = json};
  Session session(*line, options, std::cout, std::cerr);
  if (configuration != nullptr) {
    configuration->run(session, cashier);
    return session.exitStatus();
  }
  const bool paced = !plan->opensDocument || noWait || host::waitPastLastDocument(session);
  if (paced) runPlan(session, *plan, *command);
  return session.exitStatus();
}
