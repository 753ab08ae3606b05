// The archive consistency checker: reads a whole archive file and lists every way it disagrees
// with itself, each at its place (document number, file offset, field). Library code for tests
// and for the service tool; it never writes.
//
// Checked: both magics and the archive id; every index record from document 1 up to the first
// empty one (its number, type and zero bytes, its header and data check values, its data lying
// right after the previous document's and inside the file, its stored items agreeing with it,
// times and shift numbers never going back, the fiscalization it names) and every record after
// that one empty; the four slots against the index; the
// fiscalization count and table; the stored registration against the newest fiscalization; the
// shift counters, period counters, archive totals, fiscalization count and table and section
// sums recomputed from the documents; and the zero area after the counter blocks. Given the
// device's identity, also every fiscal sign, the stored model record and the registration's
// check value.
//
// Of the recomputation, what a cash deposit or payout and what a receipt add to the shift
// counters, period counters and totals go through the store's own updates (cash_archive and
// receipt_archive), so a fault in those is not found here. Recomputed here, independently of
// the store: what a fiscalization changes (the count, its table entry, the period counters
// cleared), what a shift opening changes (a fresh shift block with its number, the period
// counters' shifts opened, the totals' current shift, the section sums cleared), and the
// section sums themselves, from each line's stored total rather than as the store adds them.
// Both share the record layouts and their encoding (storage/counter_blocks.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/random_access_file.h"
#include "storage/fiscal_signs.h"

struct ArchiveProblem {
  std::uint32_t document = 0;  // the document concerned; 0 for the archive's fixed areas
  std::uint64_t offset = 0;    // in the archive file, or in the identity memory when inIdentity
  bool inIdentity = false;
  std::string field;   // what disagrees: "header check value", "shift counters: receipts"
  std::string detail;  // the values found and expected, when known

  // "document 7, offset 16000392: header check value (stored 0x1A2B, computed 0x3C4D)"
  std::string text() const;
};

struct ArchiveCheckOptions {
  const DeviceIdentity* identity = nullptr;  // without it no sign is checked
  // Called now and then while the index is walked, and once at its end.
  std::function<void(std::uint32_t checked, std::uint32_t total)> progress;
};

// Every disagreement; empty for a consistent archive. At most kMaxArchiveProblems are listed, then
// one line saying that more were found.
inline constexpr std::size_t kMaxArchiveProblems = 1000;
std::vector<ArchiveProblem> findArchiveProblems(platform::RandomAccessFile& archive,
                                                const ArchiveCheckOptions& options = {});

// The same as texts, without the signs.
std::vector<std::string> checkArchive(platform::RandomAccessFile& archive);
