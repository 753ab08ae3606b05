// The core of the register: brings the device up, then executes host commands one at a time.
//
// The core worker lives on the main thread. Every command that changes fiscal data runs here,
// so documents, counters and the archive are never touched concurrently. The host link hands
// commands over through the processing queue; the core loop takes one per pass, dispatches it
// by command code and puts the result back under the transaction's identifier.
#pragma once

#include <memory>

#include "core/state/base_worker.h"
#include "core/command_table.h"
#include "core/state/device_state.h"
#include "link/processing_queue.h"
#include "link/queue_records.h"
#include "platform/board.h"
#include "printer/printer_driver.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "storage/archive_store.h"
#include "storage/identity_memory.h"
#include "workers/open_document.h"

class CoreWorker : public BaseWorker {
 public:
  CoreWorker(DeviceState& state, platform::Board& board, CashierTable& cashiers, DiscountTable& discounts,
             SectionTable& sections);

  // The start-up sequence: the status reset, the reference tables, the identity, the card, the
  // printer and the start-up printout.
  void init();
  // The core loop: one pass after another. Never returns.
  [[noreturn]] void runLoop();
  // One pass: takes the oldest waiting transaction, waiting up to a pass time (20 ms) for one
  // to be pushed (the push ends the wait at once), executes it and puts the result back, then
  // sleeps until a pass time has passed since it took the transaction. So a command starts as
  // soon as it is queued, and at most one starts every 20 ms. False when none came.
  bool runPass();
  CoreApiResult dispatch(const CoreTransaction& transaction);

 private:
  void openArchive();
  CoreApiResult readArchiveBlock(CommandRoute block);
  int setFactorySerialNumber(bytes::View payload);
  void startPrinter();
  void printStartupBanner();
  int printHostText(bytes::View payload);
  int printRaw(bytes::View payload);

  CoreQueue queue_;
  DeviceState& state_;
  platform::Board& board_;
  DiscountTable& discounts_;
  SectionTable& sections_;
  IdentityMemory identity_;
  PrinterDriver printer_;
  std::unique_ptr<ArchiveStore> archive_;  // only while a card is mounted
  OpenDocument openDocument_;
};
