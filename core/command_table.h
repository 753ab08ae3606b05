// Which part of the core serves each host command code.
#pragma once

#include <cstdint>

enum class CommandRoute : std::uint8_t {
  Unknown,          // result code 10
  Config,           // reference records, clock, settings
  Documents,        // open, add, finish, cancel and state of documents
  Reports,
  ShiftCounters,    // archive block 1
  PeriodCounters,   // archive block 2
  ArchiveTotals,    // archive block 3
  SectionSums,      // archive block 4
  SerialNumber,     // set the factory serial number
  PrinterStatus,
  PrintText,
  PrintRaw,
  FeedAndCut,
};

CommandRoute routeOf(std::uint8_t command);
