// The report commands: the reports of the shift, the period since the fiscalization, the
// archive totals, the sections, a range of shifts or of time (177), the control tape of the
// shift's receipts (58) and the copy of any stored document (178).
//
// Every report only reads the archive and the device state. A report of 177 gathers what it
// prints before the first line goes to the printer, so a failed read prints nothing; the
// control tape prints receipt by receipt and says where it stopped. Every report is framed
// alike: the registration header, a title, the report, the registration footer and the model
// line with the feed-and-cut.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/state/base_worker.h"
#include "core/state/device_state.h"
#include "link/queue_records.h"
#include "printer/printer_driver.h"
#include "reference/section.h"
#include "storage/archive_store.h"
#include "storage/counter_blocks.h"

class ReportsWorker : public BaseWorker {
 public:
  // Body byte 0 of command 177.
  enum Report : std::uint8_t {
    kShiftReport = 1,      // X-report of the open shift
    kSinceFiscalization = 2,
    kArchiveTotals = 3,
    kSectionTotals = 4,
    kByPeriod = 5,         // then two u32 times
    kByShiftRange = 6,     // then two u16 shift numbers
  };

  // `archive` may be null (no card); without `sections` the section report prints no names.
  ReportsWorker(CashierTable& cashiers, DeviceState& state, ArchiveStore* archive, PrinterDriver& printer,
                SectionTable* sections = nullptr);

  // Serves codes 58, 177 and 178.
  CoreApiResult execute(const CoreTransaction& transaction);

 private:
  int report(bytes::View payload);
  int shiftReport(bool withSections);
  int periodCountersReport();
  int archiveTotalsReport();
  int shiftRangeReport(bytes::View range);
  int periodReport(bytes::View range);
  // The shift closings from `first` to `last` summed into `totals`: 17 when none carries its
  // counters.
  int rangeTotals(std::uint32_t first, std::uint32_t last, TotalCounters& totals);
  int copy(bytes::View payload);
  // The open shift's receipts from the shift's start, or from a document number after the
  // shift opening on (a continuation). A stop after the title answers its code with the u32
  // number of the last receipt printed completely (0 for none).
  CoreApiResult controlTape(bytes::View payload);

  // The frame around `body`: 0 or the printer's code of the first step that failed.
  int printReport(std::string_view title, const std::string& body);
  int printStep(const std::string& text);
  std::string frameEnd() const;
  bool archiveUsable() const;

  DeviceState& state_;
  ArchiveStore* archive_;
  PrinterDriver& printer_;
  SectionTable* sections_;
};
