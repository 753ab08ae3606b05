// A full archive of 250,000 documents, written by the store (syncs left out) in shifts of 1,000:
// an opening, a deposit, 997 sales of two lines, a closing. Then times the check of the whole
// archive with the signs, as `frarchive verify --identity` runs it, and the export of every
// document as JSON lines.
//   frarchive_bench [DIR]   the simulated card under DIR (default /tmp)
#include <chrono>
#include <cstdio>
#include <fstream>

#include "storage/archive_checker.h"
#include "storage/archive_layout.h"
#include "storage/archive_testing.h"
#include "tools/archive/archive_export.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

// Results on standard error: standard output takes the service's diagnostic lines, dropped.
int main(int argc, char** argv) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  archive_testing::TestArchive archive(archive_testing::TestArchive::Syncs::LeftOut, argc > 1 ? argv[1] : "/tmp");
  receipt_testing::Item bread, milk;
  milk.name = "MILK";
  milk.price = 8990;
  milk.section = 2;
  const auto start = Clock::now();
  bool stored = archive.registration() == 0;
  for (std::uint32_t n = 2; stored && n <= archive_layout::kIndexCapacity; ++n) {
    const std::uint32_t inShift = (n - 2) % 1000;
    if (inShift == 0) {
      archive.forgetStored();  // a full archive's documents would not fit in memory
      stored = archive.document(DocumentType::kShiftOpening) == 0;
    } else if (inShift == 1) {
      stored = archive.document(DocumentType::kCashDeposit, 500000) == 0;
    } else if (inShift == 999 || n == archive_layout::kIndexCapacity) {
      stored = archive.document(DocumentType::kShiftClosing) == 0;
    } else {
      stored = archive.receipt(0, {bread, milk}, 0) == 0;
    }
    if (n % 25000 == 0) std::fprintf(stderr, "\rwritten %u documents", n);
  }
  std::fprintf(stderr, "\r");
  if (!stored) {
    std::fprintf(stderr, "the archive could not be written\n");
    return 1;
  }
  std::fprintf(stderr, "written: %u documents in %.1f s\n", archive_layout::kIndexCapacity, secondsSince(start));

  DeviceIdentity identity{document_testing::sealedModel(), document_testing::kKey};
  auto file = platform::openDiskFile(archive.archivePath(), platform::FileMode::ReadOnly);
  auto checking = Clock::now();
  const auto problems = findArchiveProblems(*file, {&identity, {}});
  std::fprintf(stderr, "verify with signs: %.2f s, %zu problems, %llu bytes\n", secondsSince(checking), problems.size(),
              static_cast<unsigned long long>(file->size().value_or(0)));
  std::ofstream nowhere("/dev/null");
  auto exporting = Clock::now();
  const auto exported = frarchive::exportDocuments(*file, {}, frarchive::Format::Json, nowhere);
  std::fprintf(stderr, "export as JSON: %.2f s, %u documents\n", secondsSince(exporting), exported.documents);
  return problems.empty() ? 0 : 1;
}
