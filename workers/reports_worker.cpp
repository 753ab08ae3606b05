#include "workers/reports_worker.h"

#include <algorithm>

#include "core/state/result_code.h"
#include "documents/close_cycle_doc.h"
#include "documents/receipt_doc.h"
#include "link/host_protocol.h"
#include "printer/print_layout.h"
#include "storage/archive_search.h"
#include "storage/counter_reports.h"
#include "values/cp866.h"
#include "values/local_time.h"

namespace {

// The report's printed words, as CP866 bytes (named once: clang 14 cannot compile these
// literals inside longer expressions).
constexpr std::string_view kShiftLabel = "СМЕНА\t"_cp866;
constexpr std::string_view kOpenedLabel = "ОТКРЫТА\t"_cp866;
constexpr std::string_view kClosedLabel = "ЗАКРЫТА\t"_cp866;
constexpr std::string_view kXReportTitle = "X-Отчет"_cp866;
constexpr std::string_view kShiftsFromLabel = "СМЕНЫ С  "_cp866;
constexpr std::string_view kToLabel = "\tПО "_cp866;
constexpr std::string_view kShiftRangeTitle = "ОТЧЕТ ПО ДИАПАЗОНУ СМЕН"_cp866;
constexpr std::string_view kFromLabel = "С  "_cp866;
constexpr std::string_view kPeriodTitle = "ОТЧЕТ ЗА ПЕРИОД"_cp866;
constexpr std::string_view kCopyTitle = "(КОПИЯ)"_cp866;
constexpr std::string_view kTapeTitle = "КОНТРОЛЬНАЯ ЛЕНТА"_cp866;
constexpr std::string_view kContinuationTitle = "(ПРОДОЛЖЕНИЕ)"_cp866;

constexpr unsigned kTextFont = 1;
constexpr const char* kTimeFormat = "%d.%m.%Y %H:%M:%S";
constexpr std::size_t kPeriodBody = 1 + 2 * 4;
constexpr std::size_t kShiftRangeBody = 1 + 2 * 2;
constexpr std::size_t kDocumentNumberBody = 4;

std::string titleBlock(std::string_view title) {
  return render(PrintBlock(PrintStyle(PrintStyle::kCentred | PrintStyle::kBold, kTextFont), title), false);
}

std::string linesBlock(std::string_view lines) {
  return render(PrintBlock(PrintStyle(PrintStyle::kLeft, kTextFont), lines), false);
}

std::string timeText(std::uint32_t seconds) { return localTimeText(seconds, kTimeFormat); }

// Sums wrap as 64-bit two's complement instead of overflowing.
std::int64_t addWrapping(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

// One shift's counters added into range totals; the shift counts as one more shift.
void addShift(TotalCounters& totals, const CounterSet& shift) {
  totals.shiftNumber = static_cast<std::uint16_t>(totals.shiftNumber + 1);
  totals.deposits = static_cast<std::uint16_t>(totals.deposits + shift.deposits);
  totals.payouts = static_cast<std::uint16_t>(totals.payouts + shift.payouts);
  totals.depositSum = addWrapping(totals.depositSum, shift.depositSum);
  totals.payoutSum = addWrapping(totals.payoutSum, shift.payoutSum);
  totals.receipts += shift.receipts;
  for (std::size_t kind = 0; kind < kReceiptKinds; ++kind) {
    OperationTotals& sum = totals.byKind[kind];
    const OperationCounters& add = shift.byKind[kind];
    sum.kind = static_cast<std::uint8_t>(kind);
    sum.receipts += add.receipts;
    sum.total = addWrapping(sum.total, add.total);
    sum.cash = addWrapping(sum.cash, add.cash);
    sum.electronic = addWrapping(sum.electronic, add.electronic);
  }
}

}  // namespace

ReportsWorker::ReportsWorker(CashierTable& cashiers, DeviceState& state, ArchiveStore* archive, PrinterDriver& printer,
                             SectionTable* sections)
    : BaseWorker(cashiers), state_(state), archive_(archive), printer_(printer), sections_(sections) {}

CoreApiResult ReportsWorker::execute(const CoreTransaction& transaction) {
  switch (transaction.command) {
    case protocol::kReport: return CoreApiResult(report(transaction.payload));
    case protocol::kDocumentCopy: return CoreApiResult(copy(transaction.payload));
    case protocol::kControlTape: return controlTape(transaction.payload);
    default: return CoreApiResult(result::kUnknownCommand);
  }
}

bool ReportsWorker::archiveUsable() const { return archive_ != nullptr && state_.hasStatusFlag(FrStatus::kArchiveReady); }

// --- printing ---

int ReportsWorker::printStep(const std::string& text) { return text.empty() ? result::kSuccess : printer_.printText(text); }

// The registration footer without the cut, then the model name and the serial number with it.
std::string ReportsWorker::frameEnd() const {
  const auto model = state_.currentModelData();
  const PrintBlock line(PrintStyle(PrintStyle::kLeft, 0), model->modelName() + "\t" + model->serialNumber());
  return state_.currentRegData()->footerBlock(false) + render(line, true);
}

int ReportsWorker::printReport(std::string_view title, const std::string& body) {
  for (const std::string& step : {state_.currentRegData()->headerBlock(), title.empty() ? std::string() : titleBlock(title),
                                  body, frameEnd()}) {
    if (const int code = printStep(step); code != result::kSuccess) return code;
  }
  return result::kSuccess;
}

// --- 177 ---

int ReportsWorker::report(bytes::View payload) {
  Cashier cashier;
  bytes::View body;
  if (const int refused = checkOperator(payload, cashier, body); refused != 0) return refused;
  if (!(cashier.rights & CashierRights::kReports)) return result::kNoPermission;
  if (body.empty()) return result::kBadPayload;
  if (const int printer = printer_.queryStatus(); printer != 0) return printer;
  const std::uint8_t selected = body[0];
  if (selected < kShiftReport || selected > kByShiftRange) return result::kWrongType;
  if ((selected == kByPeriod && body.size() != kPeriodBody) ||
      (selected == kByShiftRange && body.size() != kShiftRangeBody)) {
    return result::kBadPayload;
  }
  if (state_.shiftNumber() == 0) return result::kNotFound;
  const int notReady = selected == kShiftReport ? state_.readyForReport() : state_.deviceFault(true);
  if (notReady != 0) return notReady;
  if (!archive_) return result::kArchiveNotReady;
  switch (selected) {
    case kShiftReport: return shiftReport(false);
    case kSinceFiscalization: return periodCountersReport();
    case kArchiveTotals: return archiveTotalsReport();
    case kSectionTotals: return shiftReport(true);
    case kByPeriod: return periodReport(body.subspan(1));
    default: return shiftRangeReport(body.subspan(1));
  }
}

// The X-report; with the sections, also the closing time of a closed shift and the section sums.
int ReportsWorker::shiftReport(bool withSections) {
  CounterSet counters;
  if (!archive_->readCounters(ArchiveStore::Counters::Shift, counters)) return result::kArchiveNotReady;
  std::string lines = std::string(kShiftLabel) + std::to_string(state_.shiftNumber()) + "\n" +
                      std::string(kOpenedLabel) + timeText(state_.shiftOpeningTime());
  if (withSections && !state_.hasStatusFlag(FrStatus::kShiftOpen)) {
    lines += "\n" + std::string(kClosedLabel) + timeText(state_.shiftClosingTime());
  }
  std::string body = linesBlock(lines) + counterReport(true, &counters, *state_.currentRegData());
  if (withSections) {
    std::vector<SectionSums> sums;
    if (!archive_->readSectionSums(sums, kReceiptKinds)) return result::kArchiveNotReady;
    std::array<SectionSums, kReceiptKinds> byKind;
    std::copy(sums.begin(), sums.end(), byKind.begin());
    body += sectionReport(byKind, [this](unsigned number) {
      Section section;
      return sections_ != nullptr && sections_->readSection(number, section) ? section.name : std::string();
    });
  }
  return printReport(kXReportTitle, body);
}

int ReportsWorker::periodCountersReport() {
  CounterSet counters;
  if (!archive_->readCounters(ArchiveStore::Counters::Period, counters)) return result::kArchiveNotReady;
  return printReport({}, counterReport(false, &counters, *state_.currentRegData()));
}

int ReportsWorker::archiveTotalsReport() {
  TotalCounters totals;
  if (!archive_->readTotals(totals)) return result::kArchiveNotReady;
  return printReport({}, totalsReport(totals));
}

// Shifts lo .. hi (the bounds in either order): the closings of those shifts. A range reaching
// the current shift ends with the last closed one.
int ReportsWorker::shiftRangeReport(bytes::View range) {
  const std::uint16_t a = bytes::loadU16(range, 0), b = bytes::loadU16(range, 2);
  const std::uint16_t lo = std::max<std::uint16_t>(std::min(a, b), 1);
  std::uint16_t hi = std::max(a, b);
  const std::uint16_t current = state_.shiftNumber();
  if (hi >= current) hi = state_.hasStatusFlag(FrStatus::kShiftOpen) ? static_cast<std::uint16_t>(current - 1) : current;
  if (hi < lo) return result::kNotFound;

  const std::uint32_t lastDocument = archive_->lastDocumentInfo().first;
  const auto read = [this](std::uint32_t number, DocDescriptor& out) { return archive_->readDescriptor(number, out); };
  const auto first = archive_search::firstOfShiftOrLater(read, 1, lastDocument, lo);
  if (first.code != result::kSuccess) return first.code;
  const auto last = archive_search::lastOfShiftOrEarlier(read, first.number, lastDocument, hi);
  if (last.code != result::kSuccess) return last.code;

  TotalCounters totals;
  if (const int code = rangeTotals(first.number, last.number, totals); code != result::kSuccess) return code;
  const std::string line = std::string(kShiftsFromLabel) + std::to_string(lo) + std::string(kToLabel) +
                           std::to_string(hi);
  return printReport(kShiftRangeTitle, linesBlock(line) + totalsReport(totals));
}

// The documents whose time lies from lo to hi inclusive (the bounds in either order).
int ReportsWorker::periodReport(bytes::View range) {
  const std::uint32_t a = bytes::loadU32(range, 0), b = bytes::loadU32(range, 4);
  const std::uint32_t lo = std::min(a, b), hi = std::max(a, b);

  const std::uint32_t lastDocument = archive_->lastDocumentInfo().first;
  const auto read = [this](std::uint32_t number, DocDescriptor& out) { return archive_->readDescriptor(number, out); };
  const auto first = archive_search::firstAtOrAfter(read, 1, lastDocument, lo);
  if (first.code != result::kSuccess) return first.code;
  const auto last = archive_search::lastAtOrBefore(read, first.number, lastDocument, hi);
  if (last.code != result::kSuccess) return last.code;

  TotalCounters totals;
  if (const int code = rangeTotals(first.number, last.number, totals); code != result::kSuccess) return code;
  const std::string line = std::string(kFromLabel) + timeText(lo) + std::string(kToLabel) + timeText(hi);
  return printReport(kPeriodTitle, linesBlock(line) + totalsReport(totals));
}

int ReportsWorker::rangeTotals(std::uint32_t first, std::uint32_t last, TotalCounters& totals) {
  totals = TotalCounters();
  totals.numberKinds();
  bool any = false;
  for (std::uint32_t number = first; number <= last; ++number) {
    DocDescriptor descriptor;
    // An index record of no document type is damage, refused as a copy of it is: skipped, it
    // could hide a shift closing from the totals.
    if (!archive_->readDescriptor(number, descriptor) || !DocumentType::isKnown(descriptor.type())) {
      return result::kArchiveNotReady;
    }
    if (descriptor.type() != DocumentType::kShiftClosing) continue;
    std::shared_ptr<BaseWorkDocument> document;
    if (const int code = archive_->loadDocument(number, document); code != result::kSuccess) return code;
    const auto* closing = dynamic_cast<const CloseCycleDoc*>(document.get());
    if (closing == nullptr || !closing->shiftCounters()) continue;
    addShift(totals, *closing->shiftCounters());
    any = true;
  }
  return any ? result::kSuccess : result::kNotFound;
}

// --- 178 ---

// The copy of stored document n: its own texts with the copy banner after its header, and its
// footer with the cut.
int ReportsWorker::copy(bytes::View payload) {
  Cashier cashier;
  bytes::View body;
  if (const int refused = checkOperator(payload, cashier, body); refused != 0) return refused;
  if (!(cashier.rights & CashierRights::kReports)) return result::kNoPermission;
  if (body.size() != kDocumentNumberBody) return result::kBadPayload;
  if (const int printer = printer_.queryStatus(); printer != 0) return printer;
  if (!archiveUsable()) return result::kArchiveNotReady;
  const std::uint32_t number = bytes::loadU32(body, 0);
  if (number == 0) return result::kNotFound;
  std::shared_ptr<BaseWorkDocument> document;
  if (const int code = archive_->loadDocument(number, document); code != result::kSuccess) return code;

  for (const std::string& step :
       {document->copyHeaderText(), titleBlock(kCopyTitle), document->copyBodyText(), document->footerText(true)}) {
    if (const int code = printStep(step); code != result::kSuccess) return code;
  }
  return result::kSuccess;
}

// --- 58 ---

CoreApiResult ReportsWorker::controlTape(bytes::View payload) {
  Cashier cashier;
  bytes::View body;
  if (const int refused = checkOperator(payload, cashier, body); refused != 0) return CoreApiResult(refused);
  constexpr std::uint16_t kTapeRights = CashierRights::kReceipts | CashierRights::kReports | CashierRights::kReturns;
  if ((cashier.rights & kTapeRights) != kTapeRights) return CoreApiResult(result::kNoPermission);
  const std::uint32_t from = body.size() == kDocumentNumberBody ? bytes::loadU32(body, 0) : 0;
  if (const int printer = printer_.queryStatus(); printer != 0) return CoreApiResult(printer);
  if (const int notReady = state_.readyForReport(); notReady != 0) return CoreApiResult(notReady);
  if (!archive_) return CoreApiResult(result::kArchiveNotReady);

  const std::uint32_t opening = state_.shiftOpeningNumber();
  const bool continuation = opening < from;
  const std::uint32_t first = continuation ? from : opening + 1;
  const std::uint32_t last = archive_->lastDocumentInfo().first;
  if (first > last) return CoreApiResult(result::kNotFound);

  std::string head = state_.currentRegData()->headerBlock() + titleBlock(kTapeTitle);
  if (continuation) {
    head += titleBlock(kContinuationTitle);
  } else {
    CounterSet counters;
    if (!archive_->readCounters(ArchiveStore::Counters::Shift, counters)) return CoreApiResult(result::kArchiveNotReady);
    head += linesBlock(std::string(kShiftLabel) + std::to_string(state_.shiftNumber()) + "\n" +
                       std::string(kOpenedLabel) + timeText(state_.shiftOpeningTime())) +
            counterReport(true, &counters, *state_.currentRegData());
  }
  if (const int code = printStep(head); code != result::kSuccess) return CoreApiResult(code);

  // From here on every stop tells the host where to go on.
  std::uint32_t printed = 0;
  const auto stopped = [&printed](int code) {
    bytes::Bytes data;
    bytes::appendU32(data, printed);
    return CoreApiResult(code, std::move(data));
  };
  for (std::uint32_t number = first; number <= last; ++number) {
    DocDescriptor descriptor;
    if (!archive_->readDescriptor(number, descriptor) || !DocumentType::isKnown(descriptor.type())) {
      return stopped(result::kArchiveNotReady);
    }
    if (descriptor.type() != DocumentType::kReceipt) continue;
    std::shared_ptr<BaseWorkDocument> document;
    if (const int code = archive_->loadDocument(number, document); code != result::kSuccess) return stopped(code);
    // The last document comes from the last-document slot, which a damaged index may contradict.
    const auto* receipt = dynamic_cast<const ReceiptDoc*>(document.get());
    if (receipt == nullptr) return stopped(result::kArchiveNotReady);
    const std::string text = receipt->reprintHeaderText() + receipt->copyBodyText() + receipt->reprintTotalsText();
    // Asked first, so that a receipt meets no printer without paper: what the printer reports
    // after a receipt may already have cost part of it.
    if (const int code = printer_.queryStatus(); code != result::kSuccess) return stopped(code);
    if (const int code = printer_.printText(text); code != result::kSuccess) return stopped(code);
    printed = number;
  }
  if (const int code = printStep(frameEnd()); code != result::kSuccess) return stopped(code);
  return CoreApiResult(result::kSuccess);
}
