#include "core/core_worker.h"

#include <chrono>
#include <filesystem>

#include "core/command_table.h"
#include "platform/sleep.h"
#include "storage/card.h"

namespace {

constexpr auto kLoopPause = std::chrono::milliseconds(20);

constexpr int kUnknownCommand = 10;
constexpr int kArchiveNotReady = 5;

}  // namespace

CoreWorker::CoreWorker(DeviceState& state, platform::Board& board, CashierTable& cashiers)
    : BaseWorker(cashiers),
      state_(state),
      board_(board),
      identity_(board.identityMemoryPath()),
      printer_(board.printerPortPath(), state) {}

void CoreWorker::init() {
  state_.resetStatus();
  std::error_code ignored;  // a missing store shows as the tables failing
  std::filesystem::create_directories(std::filesystem::path(board_.nvPath("")).parent_path(), ignored);
  cashiers_.ensureCashierFile();
  identity_.loadIdentity(state_);
  const bool mounted = card::mountCard(board_);
  state_.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, mounted);
  startPrinter();
  printStartupBanner();
}

void CoreWorker::runLoop() {
  for (;;) {
    runOnce();
    platform::sleepFor(kLoopPause);
  }
}

bool CoreWorker::runOnce() {
  CoreTransaction transaction;
  if (!queue_.pop(transaction)) return false;
  CoreApiResult result = dispatch(transaction);
  result.setIdentifier(transaction.identifier);
  queue_.pushResult(result);
  return true;
}

CoreApiResult CoreWorker::dispatch(const CoreTransaction& transaction) {
  switch (routeOf(transaction.command)) {
    case CommandRoute::ShiftCounters:
    case CommandRoute::PeriodCounters:
    case CommandRoute::ArchiveTotals:
    case CommandRoute::SectionSums:
      return readArchiveBlock();
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
      return CoreApiResult(kUnknownCommand);
  }
}

// The archive store opens on a mounted card; until it exists every block read answers 5.
CoreApiResult CoreWorker::readArchiveBlock() const { return CoreApiResult(kArchiveNotReady); }
