// frarchive: the fiscal archive outside the register, for the service engineer, the shop's
// accountant and a tax inspector.
//   frarchive verify ARCHIVE [--identity EEPROM]       every invariant; exit 0 intact, 1 damaged
//   frarchive export ARCHIVE [selection] [--format json|csv]   the documents as data
//   frarchive summary ARCHIVE                          one screen about the archive
//   frarchive generate DIR [--shifts N] [--receipts-per-shift M] [--seed S]
//                                                      a simulated board with a long history
// ARCHIVE is the archive file as copied from a card, or a simulated board's directory (whose
// identity memory is then used unless --identity names another). Usage errors exit with 2.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include <ext/stdio_filebuf.h>

#include <CLI/CLI.hpp>

#include "storage/archive_checker.h"
#include "tools/common/moment.h"
#include "tools/archive/archive_export.h"
#include "tools/archive/archive_files.h"
#include "tools/archive/archive_summary.h"
#include "tools/archive/board_generator.h"

namespace {

constexpr int kIntact = 0;
constexpr int kDamaged = 1;
constexpr int kUsageError = 2;

std::unique_ptr<platform::RandomAccessFile> openArchive(const std::string& given) {
  const std::string path = frarchive::archivePathOf(given);
  auto file = platform::openDiskFile(path, platform::FileMode::ReadOnly);
  if (!file) std::cerr << "frarchive: " << path << " cannot be opened\n";
  return file;
}

// The identity named, else a board directory's own; nullopt with a message when one was
// named (or the board has one) but cannot be read.
bool loadIdentity(const std::string& archive, std::string identityPath, std::optional<DeviceIdentity>& out) {
  if (identityPath.empty()) identityPath = frarchive::boardIdentityPathOf(archive);
  if (identityPath.empty()) return true;
  std::string reason;
  out = frarchive::readIdentity(identityPath, reason);
  if (!out) std::cerr << "frarchive: " << reason << '\n';
  return out.has_value();
}

// What the commands' options hold once parsed.
struct Arguments {
  std::string archive, identity, format = "json";
  std::uint32_t number = 0, from = 0, to = 0;
  std::uint16_t shift = 0;
  std::vector<std::string> period;
  frarchive::GeneratorOptions generation;
};

void declareVerify(CLI::App& command, Arguments& arguments) {
  command.add_option("ARCHIVE", arguments.archive, "archive file or simulated board directory")->required();
  command.add_option("--identity", arguments.identity, "identity memory file (4096 bytes): checks the fiscal signs");
}

int verify(const CLI::App&, const Arguments& arguments, std::ostream& out) {
  std::optional<DeviceIdentity> identity;
  if (!loadIdentity(arguments.archive, arguments.identity, identity)) return kUsageError;
  auto file = openArchive(arguments.archive);
  if (!file) return kUsageError;
  ArchiveCheckOptions options;
  options.identity = identity ? &*identity : nullptr;
  if (isatty(STDERR_FILENO)) {
    options.progress = [](std::uint32_t checked, std::uint32_t total) {
      std::fprintf(stderr, "\rchecked %u of %u documents", checked, total);
      if (checked >= total) std::fputs("\r\033[K", stderr);
    };
  }
  const std::vector<ArchiveProblem> problems = findArchiveProblems(*file, options);
  for (const ArchiveProblem& problem : problems) out << problem.text() << '\n';
  if (!identity) out << "fiscal signs not checked: no identity memory given\n";
  out << (problems.empty() ? "archive intact" : std::to_string(problems.size()) + " problems: archive damaged")
            << '\n';
  return problems.empty() ? kIntact : kDamaged;
}

void declareExport(CLI::App& command, Arguments& arguments) {
  command.add_option("ARCHIVE", arguments.archive, "archive file or simulated board directory")->required();
  command.add_option("--identity", arguments.identity,
                     "identity memory file (4096 bytes): says whether each sign verifies");
  auto* numberOption = command.add_option("--number", arguments.number, "one document");
  auto* fromOption = command.add_option("--from", arguments.from, "first document number");
  auto* toOption = command.add_option("--to", arguments.to, "last document number");
  auto* shiftOption = command.add_option("--shift", arguments.shift, "the documents of one shift");
  auto* periodOption =
      command
          .add_option("--period", arguments.period,
                      "FROM TO: dates (2027-01-15, TO to its end) or moments (2027-01-15T08:30[:00]), local time")
          ->expected(2);
  fromOption->needs(toOption);
  toOption->needs(fromOption);
  for (auto* option : {fromOption, shiftOption, periodOption}) option->excludes(numberOption);
  shiftOption->excludes(periodOption)->excludes(fromOption);
  periodOption->excludes(fromOption);
  command.add_option("--format", arguments.format, "json (default) or csv")->check(CLI::IsMember({"json", "csv"}));
}

// The documents the options given choose; nullopt with a message when the period is not valid.
std::optional<frarchive::Selection> selectionOf(const CLI::App& command, const Arguments& arguments) {
  frarchive::Selection selection;
  if (command.count("--number") > 0) selection.from = selection.to = arguments.number;
  if (command.count("--from") > 0) {
    selection.from = arguments.from;
    selection.to = arguments.to;
  }
  if (command.count("--shift") > 0) selection.shift = arguments.shift;
  if (command.count("--period") > 0) {
    std::string problem;
    const auto bounds = moment::parsePeriod(arguments.period[0], arguments.period[1], problem);
    if (!bounds) {
      std::cerr << "frarchive export --period: " << problem << '\n';
      return std::nullopt;
    }
    selection.periodFrom = bounds->from;
    selection.periodTo = bounds->to;
  }
  return selection;
}

int exportDocuments(const CLI::App& command, const Arguments& arguments, std::ostream& out) {
  const auto selection = selectionOf(command, arguments);
  if (!selection) return kUsageError;
  std::optional<DeviceIdentity> device;
  if (!loadIdentity(arguments.archive, arguments.identity, device)) return kUsageError;
  auto file = openArchive(arguments.archive);
  if (!file) return kUsageError;
  const auto result = frarchive::exportDocuments(
      *file, *selection, arguments.format == "csv" ? frarchive::Format::Csv : frarchive::Format::Json, out,
      device ? &*device : nullptr);
  if (result.problem.empty()) return kIntact;
  std::cerr << "frarchive: " << result.problem << '\n';
  return kDamaged;
}

void declareSummary(CLI::App& command, Arguments& arguments) {
  command.add_option("ARCHIVE", arguments.archive, "archive file or simulated board directory")->required();
}

int summary(const CLI::App&, const Arguments& arguments, std::ostream& out) {
  auto file = openArchive(arguments.archive);
  if (!file) return kUsageError;
  const std::string text = frarchive::summaryText(*file);
  out << text;
  return text.starts_with("not an archive") ? kDamaged : kIntact;
}

void declareGenerate(CLI::App& command, Arguments& arguments) {
  frarchive::GeneratorOptions& generation = arguments.generation;
  command.add_option("DIR", arguments.archive, "the board directory to make (never over an archive)")->required();
  command.add_option("--shifts", generation.shifts, "shifts to write")->capture_default_str();
  command.add_option("--receipts-per-shift", generation.receiptsPerShift, "receipts in each shift")
      ->capture_default_str();
  command.add_option("--seed", generation.seed, "the same seed gives the same archive")->capture_default_str();
}

// 1: the board was not made.
int generate(const CLI::App&, const Arguments& arguments, std::ostream&) {
  const std::string reason = frarchive::generateBoard(arguments.archive, arguments.generation);
  if (reason.empty()) return kIntact;
  std::cerr << "frarchive: " << reason << '\n';
  return kDamaged;
}

// A command: its name and description in the help, its options and what it does with them.
struct Command {
  std::string_view name;
  std::string_view description;
  void (*declare)(CLI::App& command, Arguments& arguments);
  int (*run)(const CLI::App& command, const Arguments& arguments, std::ostream& out);
};

constexpr Command kCommands[] = {
    {"verify", "Check every invariant; exit 0 intact, 1 damaged.", declareVerify, verify},
    {"export", "The documents as data, one per line.", declareExport, exportDocuments},
    {"summary", "One screen: id, registration, documents, counters.", declareSummary, summary},
    {"generate", "A simulated board whose archive holds a registration and whole shifts.", declareGenerate, generate},
};

// The service's diagnostic lines, which rebuilding documents writes (a receipt line's stored
// total and tax amount are "unknown tags" to it), are the register's, not the tool's: standard
// output goes nowhere, and the descriptor returned writes to the original one (-1: it could
// not be set up).
int takeStandardOutput() {
  const int output = dup(STDOUT_FILENO);
  const int nowhere = open("/dev/null", O_WRONLY);
  if (output < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0) return -1;
  close(nowhere);
  return output;
}

}  // namespace

int main(int argc, char** argv) {
  const int output = takeStandardOutput();
  if (output < 0) return kUsageError;
  __gnu_cxx::stdio_filebuf<char> buffer(output, std::ios::out);
  std::ostream out(&buffer);

  CLI::App app{"The fiscal archive outside the register: verify it, export its documents, sum it up."};
  app.require_subcommand(1);
  Arguments arguments;
  for (const Command& command : kCommands) {
    command.declare(*app.add_subcommand(std::string(command.name), std::string(command.description)), arguments);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, std::cerr);
    return code == 0 ? 0 : kUsageError;
  }
  for (const Command& command : kCommands) {
    const CLI::App& chosen = *app.get_subcommand(std::string(command.name));
    if (!chosen.parsed()) continue;
    const int status = command.run(chosen, arguments, out);
    out.flush();
    return status;
  }
  return kUsageError;  // not reached: parsing requires one command
}
