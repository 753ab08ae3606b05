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

int verify(const std::string& archive, const std::string& identityPath, std::ostream& out) {
  std::optional<DeviceIdentity> identity;
  if (!loadIdentity(archive, identityPath, identity)) return kUsageError;
  auto file = openArchive(archive);
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

}  // namespace

int main(int argc, char** argv) {
  // The service's diagnostic lines, which rebuilding documents writes (a receipt line's stored
  // total and tax amount are "unknown tags" to it), are the register's, not the tool's: they
  // are dropped, and `out` writes to the original standard output.
  const int output = dup(STDOUT_FILENO);
  const int nowhere = open("/dev/null", O_WRONLY);
  if (output < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0) return kUsageError;
  close(nowhere);
  __gnu_cxx::stdio_filebuf<char> buffer(output, std::ios::out);
  std::ostream out(&buffer);

  CLI::App app{"The fiscal archive outside the register: verify it, export its documents, sum it up."};
  app.require_subcommand(1);
  std::string archive, identity, format = "json";
  std::uint32_t number = 0, from = 0, to = 0;
  std::uint16_t shift = 0;
  std::vector<std::string> period;

  CLI::App* verifyCommand = app.add_subcommand("verify", "Check every invariant; exit 0 intact, 1 damaged.");
  verifyCommand->add_option("ARCHIVE", archive, "archive file or simulated board directory")->required();
  verifyCommand->add_option("--identity", identity, "identity memory file (4096 bytes): checks the fiscal signs");

  CLI::App* exportCommand = app.add_subcommand("export", "The documents as data, one per line.");
  exportCommand->add_option("ARCHIVE", archive, "archive file or simulated board directory")->required();
  exportCommand->add_option("--identity", identity, "identity memory file (4096 bytes): says whether each sign verifies");
  auto* numberOption = exportCommand->add_option("--number", number, "one document");
  auto* fromOption = exportCommand->add_option("--from", from, "first document number");
  auto* toOption = exportCommand->add_option("--to", to, "last document number");
  auto* shiftOption = exportCommand->add_option("--shift", shift, "the documents of one shift");
  auto* periodOption =
      exportCommand
          ->add_option("--period", period,
                       "FROM TO: dates (2027-01-15, TO to its end) or moments (2027-01-15T08:30[:00]), local time")
          ->expected(2);
  fromOption->needs(toOption);
  toOption->needs(fromOption);
  for (auto* option : {fromOption, shiftOption, periodOption}) option->excludes(numberOption);
  shiftOption->excludes(periodOption)->excludes(fromOption);
  periodOption->excludes(fromOption);
  exportCommand->add_option("--format", format, "json (default) or csv")->check(CLI::IsMember({"json", "csv"}));

  CLI::App* summaryCommand = app.add_subcommand("summary", "One screen: id, registration, documents, counters.");
  summaryCommand->add_option("ARCHIVE", archive, "archive file or simulated board directory")->required();

  frarchive::GeneratorOptions generation;
  CLI::App* generateCommand =
      app.add_subcommand("generate", "A simulated board whose archive holds a registration and whole shifts.");
  generateCommand->add_option("DIR", archive, "the board directory to make (never over an archive)")->required();
  generateCommand->add_option("--shifts", generation.shifts, "shifts to write")->capture_default_str();
  generateCommand->add_option("--receipts-per-shift", generation.receiptsPerShift, "receipts in each shift")
      ->capture_default_str();
  generateCommand->add_option("--seed", generation.seed, "the same seed gives the same archive")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, std::cerr);
    return code == 0 ? 0 : kUsageError;
  }

  int status = kIntact;
  if (verifyCommand->parsed()) {
    status = verify(archive, identity, out);
  } else if (generateCommand->parsed()) {
    const std::string reason = frarchive::generateBoard(archive, generation);
    if (!reason.empty()) std::cerr << "frarchive: " << reason << '\n';
    status = reason.empty() ? kIntact : kDamaged;  // 1: not made
  } else if (summaryCommand->parsed()) {
    auto file = openArchive(archive);
    if (!file) return kUsageError;
    const std::string text = frarchive::summaryText(*file);
    out << text;
    status = text.starts_with("not an archive") ? kDamaged : kIntact;
  } else {
    frarchive::Selection selection;
    if (*numberOption) selection.from = selection.to = number;
    if (*fromOption) {
      selection.from = from;
      selection.to = to;
    }
    if (*shiftOption) selection.shift = shift;
    if (*periodOption) {
      std::string problem;
      const auto bounds = moment::parsePeriod(period[0], period[1], problem);
      if (!bounds) {
        std::cerr << "frarchive export --period: " << problem << '\n';
        return kUsageError;
      }
      selection.periodFrom = bounds->from;
      selection.periodTo = bounds->to;
    }
    std::optional<DeviceIdentity> device;
    if (!loadIdentity(archive, identity, device)) return kUsageError;
    auto file = openArchive(archive);
    if (!file) return kUsageError;
    const auto result = frarchive::exportDocuments(
        *file, selection, format == "csv" ? frarchive::Format::Csv : frarchive::Format::Json, out,
        device ? &*device : nullptr);
    if (!result.problem.empty()) {
      std::cerr << "frarchive: " << result.problem << '\n';
      status = kDamaged;
    }
  }
  out.flush();
  return status;
}
