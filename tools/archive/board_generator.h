// A simulated board with a made-up but lawful history, for tests and benchmarks that need
// large archives: the board's directory as the service leaves it (identity memory with a device
// key and a sealed serial number, an inserted card, the reference tables in nv/) and an archive
// holding a registration followed by whole shifts of receipts, deposits and payouts.
//
// Every document goes through the register's own documents and archive store, so the archive
// holds exactly the bytes the service would have written; only the syncs are left to one at the
// end. The history is a function of the options alone: the same options give the same bytes.
// It lies between fixed dates in the past, so a register started on the board continues it.
#pragma once

#include <cstdint>
#include <string>

namespace frarchive {

struct GeneratorOptions {
  std::uint32_t shifts = 1;
  std::uint32_t receiptsPerShift = 10;
  std::uint32_t seed = 1;
};

// Makes a simulated board in `dir` (identity memory, card, nv/) whose archive holds a
// registration and `shifts` shifts of receipts, deposits and payouts, written through the
// project's own archive code. Returns an empty string on success, else a one-line reason.
//
// Each shift is an opening, a deposit of change, its receipts with a payout or a deposit
// halfway, a payout that empties the drawer and a closing: the archive holds
// 1 + shifts × (receiptsPerShift + 5) documents. A board whose directory already holds an
// archive is refused, never overwritten.
std::string generateBoard(const std::string& dir, const GeneratorOptions& options);

}  // namespace frarchive
