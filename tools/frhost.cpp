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
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
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
#include "tools/host/plan_sender.h"
#include "tools/host/port.h"
#include "tools/host/printer_commands.h"
#include "tools/host/receipt_commands.h"
#include "tools/host/reply_fields.h"
#include "tools/host/report_commands.h"
#include "tools/host/session.h"

namespace {

using host::Arguments;
using host::addNumber;
using host::decimalCodes;
using host::Fields;
using host::hexCodes;
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

// A document's open and finish, and between them the items it adds: "(21, 7 ..., 22)".
std::string documentWithItemsCodes(const host::DocumentCodes& codes) {
  return "(" + std::to_string(codes.open) + ", " + std::to_string(protocol::kAddItem) + " ..., " +
         std::to_string(codes.finish) + ")";
}

std::string documentCodes(const host::DocumentCodes& codes) { return decimalCodes({codes.open, codes.finish}); }

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

// One of frhost's commands: its arguments, declared on its subcommand, checked once parsed and
// before the line is opened, then run on the line.
class Command {
 public:
  virtual ~Command() = default;
  virtual void declare(CLI::App& command) = 0;
  // False with `problem` set when the parsed arguments are not valid together.
  virtual bool check(const host::Operator& cashier, std::string& problem) = 0;
  // `noWait`: a document is opened without waiting for the register's clock.
  virtual void run(Session& session, const host::Operator& cashier, bool noWait) const = 0;
};

// A command whose arguments plan its requests, and what the data of its last reply say.
class RequestsCommand : public Command {
 public:
  RequestsCommand(std::unique_ptr<host::CommandArguments> arguments, const host::PlanReplies& replies)
      : arguments_(std::move(arguments)), replies_(replies) {}

  void declare(CLI::App& command) override { arguments_->declare(command); }

  bool check(const host::Operator& cashier, std::string& problem) override {
    plan_ = arguments_->plan(cashier, problem);
    return plan_.has_value();
  }

  void run(Session& session, const host::Operator&, bool noWait) const override {
    if (!plan_->opensDocument || noWait || host::waitPastLastDocument(session)) {
      host::sendPlan(session, *plan_, replies_);
    }
  }

 private:
  std::unique_ptr<host::CommandArguments> arguments_;
  host::PlanReplies replies_;
  std::optional<host::Plan> plan_;
};

// A configuration command: ConfigArguments reads and runs it.
class ConfigurationCommand : public Command {
 public:
  explicit ConfigurationCommand(std::string_view name) : arguments_(name) {}
  void declare(CLI::App& command) override { arguments_.declare(command); }
  bool check(const host::Operator&, std::string& problem) override { return arguments_.check(problem); }
  void run(Session& session, const host::Operator& cashier, bool) const override { arguments_.run(session, cashier); }

 private:
  host::ConfigArguments arguments_;
};

// A command as frhost lists it: its name, its line in the help, and the command.
struct NamedCommand {
  std::string_view name;
  std::string summary;
  std::unique_ptr<Command> command;
};

NamedCommand requests(std::string_view name, std::string summary, std::unique_ptr<host::CommandArguments> arguments,
                      host::DescribeReply describe = nullptr, bool withFlags = false) {
  return {name, std::move(summary),
          std::make_unique<RequestsCommand>(std::move(arguments), host::PlanReplies{name, describe, withFlags})};
}

// Every command in the order the help lists them.
std::vector<NamedCommand> namedCommands() {
  const host::Positional hex{"HEX", "bytes as pairs of hexadecimal digits, like \"01 1E 00\"", 0, kAnyNumber};
  const host::Positional amount{"AMOUNT", "roubles with at most two decimals, like 150 or 0.50"};
  std::vector<NamedCommand> commands;
  commands.push_back(requests("send", "any command: code in decimal or 0x-hex, payload as hex digits",
                              positionals(sendPlan, {{"CODE", "the command code, 0 to 255 or 0x00 to 0xFF"}, hex})));
  commands.push_back(requests("version", "program version " + hexCodes({protocol::kVersion}),
                              positionals(barePlan<protocol::kVersion>), host::versionFields));
  commands.push_back(requests(
      "state", "shift, receipt counter, drawer and status flags " + hexCodes({protocol::kState, protocol::kStatus}),
      positionals(barePlan<protocol::kState>), host::stateFields, true));
  commands.push_back(requests("status", "serial number, status flags and counters " + hexCodes({protocol::kStatus}),
                              positionals(barePlan<protocol::kStatus>), host::statusFields));
  commands.push_back(requests("identity", "model code, serial number and model name " + hexCodes({protocol::kIdentity}),
                              positionals(barePlan<protocol::kIdentity>), host::identityFields));
  commands.push_back(requests("key", "the device key " + hexCodes({protocol::kDeviceKey}),
                              positionals(barePlan<protocol::kDeviceKey>), host::keyFields));
  commands.push_back(requests(
      "printer-status",
      "paper status: " + std::to_string(result::kSuccess) + " ready, " + std::to_string(result::kPrinterSilent) +
          " not answering, " + std::to_string(result::kPaperOut) + " paper out " + hexCodes({protocol::kPrinterStatus}),
      positionals(barePlan<protocol::kPrinterStatus>)));
  commands.push_back(requests("print", "print TEXT (UTF-8) in one style " + hexCodes({protocol::kPrintText}),
                              std::make_unique<host::PrintTextArguments>()));
  commands.push_back(requests("raw", "send bytes to the printer unchanged " + hexCodes({protocol::kPrintRaw}),
                              positionals(rawPlan, {{hex.name, hex.description, 1, kAnyNumber}})));
  commands.push_back(requests("cut", "feed the paper and cut it " + hexCodes({protocol::kFeedAndCut}),
                              positionals(barePlan<protocol::kFeedAndCut>)));
  commands.push_back(requests("serial-number",
                              "set the factory serial number, 10 digits " + hexCodes({protocol::kSetSerialNumber}),
                              positionals(serialNumberPlan, {{"DIGITS", "the serial number, 10 digits"}})));
  commands.push_back(requests("register", "register the taxpayer " + documentWithItemsCodes(host::kFiscalizationCodes),
                              std::make_unique<host::RegistrationArguments>(),
                              closeReply<host::kFiscalizationCodes.type>));
  commands.push_back(requests("shift-open", "open a shift " + documentCodes(host::kShiftOpeningCodes),
                              positionals(bareDocumentPlan<host::kShiftOpeningCodes>),
                              closeReply<host::kShiftOpeningCodes.type>));
  commands.push_back(requests("shift-close", "close the shift " + documentCodes(host::kShiftClosingCodes),
                              positionals(bareDocumentPlan<host::kShiftClosingCodes>),
                              closeReply<host::kShiftClosingCodes.type>));
  commands.push_back(requests("sale", "a receipt " + documentWithItemsCodes(host::kReceiptCodes),
                              std::make_unique<host::SaleArguments>(), host::receiptFields));
  commands.push_back(requests("deposit", "put AMOUNT roubles into the drawer " + documentCodes(host::kCashDepositCodes),
                              positionals(cashPlan<host::kCashDepositCodes>, {amount}),
                              closeReply<host::kCashDepositCodes.type>));
  commands.push_back(
      requests("payout", "take AMOUNT roubles out of the drawer " + documentCodes(host::kCashPayoutCodes),
               positionals(cashPlan<host::kCashPayoutCodes>, {amount}), closeReply<host::kCashPayoutCodes.type>));
  commands.push_back(
      requests("close-archive", "close the archive for good " + documentCodes(host::kArchiveClosingCodes),
               positionals(bareDocumentPlan<host::kArchiveClosingCodes>), closeReply<host::kArchiveClosingCodes.type>));
  commands.push_back(requests("cancel", "cancel the open document " + decimalCodes({protocol::kCancelDocument}),
                              positionals(barePlan<protocol::kCancelDocument>)));
  commands.push_back(requests("document",
                              "the type of the open document " + decimalCodes({protocol::kOpenDocumentState}),
                              positionals(barePlan<protocol::kOpenDocumentState>), host::openDocumentFields));
  commands.push_back(requests(
      "report", "x, fiscal, totals, sections, shifts A B, period FROM TO " + decimalCodes({protocol::kReport}),
      positionals(
          host::reportPlan,
          {{"KIND",
            "x the open shift, fiscal since the last fiscalization, totals since the archive began, "
            "sections the shift's sections, shifts or period"},
           {"A|FROM",
            "shifts: the first shift number; period: a date like 2026-12-08[T09:30[:15]] or "
            "seconds",
            0, 1},
           {"B|TO", "shifts: the last shift number; period: the last moment (a date alone: to its end)", 0, 1}})));
  commands.push_back(
      requests("tape", "the control tape of the shift's receipts " + decimalCodes({protocol::kControlTape}),
               positionals(host::tapePlan, {{"FROM-NUMBER", "the first receipt document to print", 0, 1}})));
  commands.push_back(requests("copy", "a copy of stored document N " + decimalCodes({protocol::kDocumentCopy}),
                              positionals(host::copyPlan, {{"N", "a document number"}})));
  for (const host::ConfigCommand& configuration : host::configCommands()) {
    commands.push_back(
        {configuration.name, configuration.summary, std::make_unique<ConfigurationCommand>(configuration.name)});
  }
  return commands;
}

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
    "the second of its last document, which it would otherwise refuse (" +
    std::to_string(result::kTimeNotLater) +
    "); --no-wait does not.\n"
    "frhost help COMMAND (or frhost COMMAND --help) tells a command's arguments.\n";

// Help as frhost tells it: usage lines begin with frhost and its options.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() == nullptr) return "usage: frhost [OPTIONS] COMMAND [ARGUMENTS]\n";
    return CLI::Formatter::make_usage(app, "frhost [frhost OPTIONS] " + name);
  }
};

// frhost's own options, which go before or after the command.
struct Options {
  std::string port;
  std::uint32_t firstIdentifier = 0;
  std::uint32_t timeout = 5000;
  host::Operator cashier;
  bool json = false;
  bool noWait = false;
};

void declareOptions(CLI::App& app, Options& options) {
  app.add_option("--port", options.port, "the host line (a simulated board offers DIR/host)")
      ->envname("FRHOST_PORT")
      ->type_name("PATH");
  addNumber(app, "--id", options.firstIdentifier, 0, UINT32_MAX,
            "identifier of the first request, counted up for each later one (default or 0: random)");
  addNumber(app, "--timeout", options.timeout, 0, 600'000, "how long to wait for each reply, in ms (default 5000)");
  addNumber(app, "--operator", options.cashier.number, host::Operator::kFirstNumber, host::Operator::kLastNumber,
            "cashier who opens documents and changes settings (default 20)");
  addNumber(app, "--password", options.cashier.password, 0, UINT32_MAX, "that cashier's password (default 30)");
  app.add_flag("--json", options.json, "one JSON object per request, on one line each");
  app.add_flag("--no-wait", options.noWait, "open documents without waiting for the register's clock");
}

// Parses the command line; the exit status when that is all (help asked for, or a usage error).
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
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
  return std::nullopt;
}

// frhost help [COMMAND].
int help(const CLI::App& app, const std::string& topic) {
  if (topic.empty()) {
    std::cout << app.help();
    return host::kExitSuccess;
  }
  try {
    std::cout << app.get_subcommand(topic)->help();
  } catch (const CLI::OptionNotFound&) {
    std::cerr << "frhost help: no command " << topic << " (frhost --help)\n";
    return host::kExitUsage;
  }
  return host::kExitSuccess;
}

std::optional<host::HostPort> openLine(const std::string& port) {
  auto line = host::HostPort::open(port);
  if (!line) {
    std::cerr << "frhost: cannot open " << port << ": " << std::strerror(errno);
    if (errno == ENOENT) {
      const std::string board = port.ends_with("/host") ? port.substr(0, port.size() - 5) : "DIR";
      std::cerr << "; no simulated board runs there (start one with: frsim " << board << ")";
    }
    std::cerr << "\n";
  }
  return line;
}

// Checks the parsed command, then runs it on the line.
int run(const NamedCommand& named, const Options& options) {
  std::string problem;
  if (!named.command->check(options.cashier, problem)) {
    std::cerr << "frhost " << named.name << ": " << problem << " (frhost help " << named.name << ")\n";
    return host::kExitUsage;
  }
  if (options.port.empty()) {
    std::cerr << "frhost: --port PATH (or FRHOST_PORT) names the host line (frhost --help)\n";
    return host::kExitUsage;
  }
  auto line = openLine(options.port);
  if (!line) return host::kExitNoReply;
  const host::SessionOptions sessionOptions{.firstIdentifier = options.firstIdentifier,
                                            .timeout = std::chrono::milliseconds(options.timeout),
                                            .json = options.json};
  Session session(*line, sessionOptions, std::cout, std::cerr);
  named.command->run(session, options.cashier, options.noWait);
  return session.exitStatus();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"frhost: the point-of-sale host's command line. Its options go before or after the COMMAND.", "frhost"};
  app.formatter(std::make_shared<HelpFormatter>());
  app.require_subcommand(0, 1);
  Options options;
  declareOptions(app, options);
  CLI::App* helpCommand = app.add_subcommand("help", "this help, or a command's");
  std::string helpTopic;
  helpCommand->add_option("COMMAND", helpTopic, "the command to explain");

  // frhost's options may also follow the command (subcommands added from here on inherit it).
  app.fallthrough();
  const std::vector<NamedCommand> commands = namedCommands();
  for (const NamedCommand& named : commands) {
    named.command->declare(*app.add_subcommand(std::string(named.name), named.summary));
  }
  // Set last: a command added later would inherit it.
  app.footer(kExitStatusHelp);
  if (const auto status = parse(app, argc, argv)) return *status;

  const std::vector<CLI::App*> chosen = app.get_subcommands();
  if (chosen.empty()) {
    std::cerr << "frhost: a COMMAND is needed (frhost --help lists them)\n";
    return host::kExitUsage;
  }
  if (chosen[0] == helpCommand) return help(app, helpTopic);
  const auto named = std::find_if(commands.begin(), commands.end(),
                                  [&](const NamedCommand& command) { return command.name == chosen[0]->get_name(); });
  return run(*named, options);
}
