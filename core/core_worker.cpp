#include "core/core_worker.h"

#include <chrono>

#include "core/command_table.h"
#include "core/state/result_code.h"
#include "platform/sleep.h"
#include "storage/archive_startup.h"
#include "storage/card.h"
#include "workers/config_worker.h"
#include "workers/documents_worker.h"
#include "workers/reports_worker.h"

namespace {

constexpr auto kPassTime = std::chrono::milliseconds(20);

}  // namespace

CoreWorker::CoreWorker(DeviceState& state, platform::Board& board, CashierTable& cashiers, DiscountTable& discounts,
                       SectionTable& sections)
    : BaseWorker(cashiers),
      state_(state),
      board_(board),
      discounts_(discounts),
      sections_(sections),
      identity_(board),
      printer_(board.printerPortPath(), state) {}

void CoreWorker::init() {
  state_.resetStatus();
  board_.makeDirectories(board_.nvPath(""));  // a missing store shows as the tables failing
  cashiers_.ensureCashierFile();
  sections_.loadSections();
  discounts_.loadDiscounts();
  identity_.loadIdentity(state_);
  openArchive();
  startPrinter();
  printStartupBanner();
}

// With a card: the archive is recovered, checked, validated and opened, and the device takes
// its shift and archive state from it. Without one there is no archive.
void CoreWorker::openArchive() {
  archive_.reset();
  archive_ = startArchive(board_, state_, identity_);
}

void CoreWorker::runLoop() {
  for (;;) runPass();
}

bool CoreWorker::runPass() {
  CoreTransaction transaction;
  if (!queue_.popWithin(transaction, kPassTime)) return false;
  const auto taken = platform::steadyNow();
  CoreApiResult result = dispatch(transaction);
  result.setIdentifier(transaction.identifier);
  queue_.pushResult(result);
  platform::sleepUntil(taken + kPassTime);
  return true;
}

CoreApiResult CoreWorker::dispatch(const CoreTransaction& transaction) {
  switch (routeOf(transaction.command)) {
    case CommandRoute::ShiftCounters:
    case CommandRoute::PeriodCounters:
    case CommandRoute::ArchiveTotals:
    case CommandRoute::SectionSums:
      return readArchiveBlock(routeOf(transaction.command));
    case CommandRoute::Config:
      return ConfigWorker(cashiers_, sections_, discounts_, state_, board_).execute(transaction);
    case CommandRoute::Documents:
      return DocumentsWorker(cashiers_, state_, board_, archive_.get(), printer_, openDocument_,
                             ReceiptTables{&sections_, &discounts_}).execute(transaction);
    case CommandRoute::Reports:
      return ReportsWorker(cashiers_, state_, archive_.get(), printer_, &sections_).execute(transaction);
    case CommandRoute::SerialNumber:
      return CoreApiResult(setFactorySerialNumber(transaction.payload));
    case CommandRoute::PrinterStatus:
      return CoreApiResult(printer_.queryStatus());
    case CommandRoute::PrintText:
      return CoreApiResult(printHostText(transaction.payload));
    case CommandRoute::PrintRaw:
      return CoreApiResult(printRaw(transaction.payload));
    case CommandRoute::FeedAndCut:
      return CoreApiResult(printer_.cut());
    default:
      // Commands whose workers are not part of this build answer as unknown.
      return CoreApiResult(result::kUnknownCommand);
  }
}

// The block's bytes as the archive keeps them (kind bytes numbered): the shift or period
// counters, the archive totals, or the section sums of all four receipt kinds.
CoreApiResult CoreWorker::readArchiveBlock(CommandRoute block) {
  if (!archive_) return CoreApiResult(result::kArchiveNotReady);
  CounterSet counters;
  TotalCounters totals;
  std::vector<SectionSums> sections;
  switch (block) {
    case CommandRoute::ShiftCounters:
    case CommandRoute::PeriodCounters: {
      const auto which = block == CommandRoute::ShiftCounters ? ArchiveStore::Counters::Shift
                                                              : ArchiveStore::Counters::Period;
      if (!archive_->readCounters(which, counters)) break;
      return CoreApiResult(result::kSuccess, encodeBlock(counters));
    }
    case CommandRoute::ArchiveTotals:
      if (!archive_->readTotals(totals)) break;
      return CoreApiResult(result::kSuccess, encodeBlock(totals));
    default: {
      if (!archive_->readSectionSums(sections, kReceiptKinds)) break;
      bytes::Bytes data;
      for (const SectionSums& kind : sections) bytes::appendBytes(data, encodeBlock(kind));
      return CoreApiResult(result::kSuccess, std::move(data));
    }
  }
  return CoreApiResult(result::kArchiveNotReady);
}
