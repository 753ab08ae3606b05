// Arbitrary transactions handed to the core worker: each input is a run of (command u8, payload
// length u8, payload) records dispatched one after the other, a second apart. Every command
// must end in one result with a code the service names; the archive must never be left damaged
// for the next start.
//
// The board lives in memory and is made once: the identity memory blank but for its key, the
// card with a fresh archive (sparse: only the ranges written exist); no printer answers, so
// documents are refused with 53 before they are made. Every input starts the register afresh
// on it, with the reference tables (in the board's memory too) at their defaults, and the board
// then undoes what the input wrote. Sleeps are recorded, not slept.
#include <cstdlib>

#include "core/core_worker.h"
#include "documents/document_testing.h"
#include "platform/memory_board.h"
#include "platform/sleep.h"
#include "printer/printer_settings.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "storage/archive_checker.h"
#include "storage/card.h"
#include "storage/identity_image.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Fixture {
  Fixture() : board(platform::scratchDirectory() / "frcore-core-fuzz") {
    board.setContents(board.identityMemoryPath(), identityImage(document_testing::kKey));
    start();  // creates the archive
    board.checkpoint();
  }

  // The register as it comes up: status, tables, identity, card and archive, printer.
  CoreWorker& start() {
    printerSettings().setPaperWidth(kDefaultPaperWidth);
    worker.reset();
    state = std::make_unique<DeviceState>();
    cashiers = std::make_unique<CashierTable>(board, board.nvPath("CASHIERS"));
    discounts = std::make_unique<DiscountTable>(board, board.nvPath("DISCOUNTS"));
    sections = std::make_unique<SectionTable>(board, board.nvPath("SECTIONS"));
    worker = std::make_unique<CoreWorker>(*state, board, *cashiers, *discounts, *sections);
    worker->init();
    return *worker;
  }

  platform::MemoryBoard board;
  std::unique_ptr<DeviceState> state;
  std::unique_ptr<CashierTable> cashiers;
  std::unique_ptr<DiscountTable> discounts;
  std::unique_ptr<SectionTable> sections;
  std::unique_ptr<CoreWorker> worker;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const platform::SleepRecorder noSleeps;
  static Fixture fixture;
  CoreWorker& worker = fixture.start();
  bytes::ByteReader reader(bytes::View(data, size));
  std::uint32_t identifier = 1;
  while (reader.remaining() >= 2) {
    CoreTransaction transaction;
    transaction.command = reader.u8();
    const bytes::View payload = reader.take(reader.u8());
    transaction.payload.assign(payload.begin(), payload.end());
    transaction.identifier = identifier++;
    fixture.board.advanceClock(1);
    const CoreApiResult result = worker.dispatch(transaction);
    require(result.code() >= 0 && result.code() <= 255);
  }
  if (auto archive = fixture.board.openFile(card::archivePath(fixture.board), platform::FileMode::ReadOnly)) {
    require(checkArchive(*archive).empty());
  }
  fixture.board.rollback();
  return 0;
}
