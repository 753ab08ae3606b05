// A full archive of 250,000 documents (a registration, then 499 shifts of 496 receipts and five
// shift and cash documents each) generated on a fresh simulated board, then run through the
// archive consistency checker; the wall time of both and the archive's size.
//   board_generator_bench [DIR]   the board is made under DIR (default /tmp) and removed
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/random_access_file.h"
#include "platform/temporary_directory.h"
#include "storage/archive_checker.h"
#include "storage/card.h"
#include "tools/archive/board_generator.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const platform::TemporaryDirectory directory(argc > 1 ? argv[1] : "/tmp");
  const fs::path& root = directory.path();
  const frarchive::GeneratorOptions options{.shifts = 499, .receiptsPerShift = 496, .seed = 1};

  const auto generating = Clock::now();
  const std::string failure = frarchive::generateBoard(root.string(), options);
  const double generated = secondsSince(generating);
  if (!failure.empty()) {
    std::fprintf(stderr, "generation failed: %s\n", failure.c_str());
    return 1;
  }
  const fs::path archive = root / "mnt/sd" / card::kArchiveFileName;
  const auto checking = Clock::now();
  const auto file = platform::openDiskFile(archive.string(), platform::FileMode::ReadOnly);
  const std::size_t problems = file ? checkArchive(*file).size() : 1;
  const double checked = secondsSince(checking);

  std::printf("generated %u shifts of %u receipts, %u documents: %.1f s\n", options.shifts, options.receiptsPerShift,
              1 + options.shifts * (options.receiptsPerShift + 5), generated);
  std::printf("archive file:   %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(archive)));
  std::printf("checked:        %.1f s, %zu problems\n", checked, problems);
  return problems == 0 ? 0 : 1;
}
