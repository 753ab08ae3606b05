// Test support for the document and report commands: a simulated board whose printer answers,
// with the core's objects built in this process (the board's service is a placeholder that does
// nothing), and the registration the tests make on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/state/device_state.h"
#include "documents/document_testing.h"
#include "link/queue_records.h"
#include "platform/file_wrapper.h"
#include "platform/stepped_clock_board.h"
#include "platform/temporary_directory.h"
#include "printer/printer_driver.h"
#include "reference/cashier.h"
#include "reference/tax_rate.h"
#include "storage/archive_store.h"
#include "storage/card.h"
#include "storage/identity_memory.h"
#include "tools/sim/simulated_board.h"
#include "tools/sim/testing.h"
#include "values/tlv.h"
#include "workers/open_document.h"

namespace worker_testing {

inline const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};  // cashier 20, password 30

// The finishing data of a registration: taxpayer number (12 bytes), registration number (16).
inline bytes::Bytes registrationNumbers(std::string_view taxpayer = "7700000000",
                                        std::string_view registration = "0000000001") {
  bytes::Bytes numbers(28, 0);
  bytes::storeBytes(numbers, 0, 12, bytes::view(taxpayer));
  bytes::storeBytes(numbers, 12, 16, bytes::view(registration));
  return numbers;
}

// A registration's items: user name, place "PLACE", address "ADDR" and tax rate 1, "VAT" of 20 %.
inline std::vector<TlvItem> registrationItems(std::string_view userName = "SHOP") {
  std::vector<TlvItem> items;
  for (auto [tag, text] : {std::pair<std::uint16_t, std::string_view>{11048, userName}, {11187, "PLACE"},
                           {11009, "ADDR"}}) {
    items.emplace_back().setText(tag, text);
  }
  TaxRate rate;
  rate.setKind(1);
  rate.setPercentage(2000);
  rate.setName("VAT");
  items.push_back(rate.toTlv(0));
  return items;
}

// The board as the commands find it at start-up: an empty cashier table, the identity memory
// of the test key and sealed model, a mounted card with a created and opened archive, and the
// printer line open. The clock stands still between commands; run() steps it.
class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest()
      : simulated_({.root = directory_.path(), .service = "/bin/sleep", .serviceArguments = {"3600"}}),
        directoryBoard_(platform::makeSimulatedBoard(directory_.path())),
        watchedBoard_(*directoryBoard_, [this](const std::string&, auto file) {
          return std::make_unique<WatchedReads>(std::move(file), onRead_);
        }),
        board_(std::make_unique<platform::SteppedClockBoard>(watchedBoard_, 1800000000)),
        cashiers_(*board_, board_->nvPath("CASHIERS")),
        identity_(*board_),
        printer_(board_->printerPortPath(), state_) {
    cashiers_.ensureCashierFile();
    state_.setDeviceKey(document_testing::kKey);
    state_.publishModelData(document_testing::sealedModel());
    card::mountCard(*board_);
    archive_ = std::make_unique<ArchiveStore>(card::archivePath(*board_), *board_, state_, identity_);
    archive_->createOrValidate();
    archive_->openArchive();
    state_.setStatusFlag(FrStatus::kCardPresent | FrStatus::kArchiveReady, true);
    state_.setDocumentCapacity(archive_->documentCapacity());
    printer_.ensureOpen();
  }

  // Runs one command a second after the one before.
  virtual CoreApiResult run(std::uint8_t command, const bytes::Bytes& payload = {}) = 0;
  int code(std::uint8_t command, const bytes::Bytes& payload = {}) { return run(command, payload).code(); }

  void addRegistrationItems() {
    for (const TlvItem& item : registrationItems()) ASSERT_EQ(code(7, item.encode()), 0);
  }
  void fiscalize(const bytes::Bytes& numbers = registrationNumbers()) {
    ASSERT_EQ(code(8, kAdministrator), 0);
    addRegistrationItems();
    ASSERT_EQ(code(9, numbers), 0);
  }

  // Every line the board's printer has printed so far.
  std::vector<std::string> paper() { return sim::readPaper(directory_.path()).texts(); }

  platform::TemporaryDirectory directory_;
  sim::SimulatedBoard simulated_;
  // Told the offset of every read from a file opened through the board, before the read.
  std::function<void(std::uint64_t offset)> onRead_;
  std::unique_ptr<platform::Board> directoryBoard_;
  platform::FileWrappingBoard watchedBoard_;
  std::unique_ptr<platform::SteppedClockBoard> board_;
  DeviceState state_;
  CashierTable cashiers_;
  IdentityMemory identity_;
  PrinterDriver printer_;
  std::unique_ptr<ArchiveStore> archive_;
  OpenDocument open_;

 private:
  // A file that tells `onRead`, when set, the offset of each read before it reads.
  struct WatchedReads final : platform::FileWrapper {
    WatchedReads(std::unique_ptr<platform::RandomAccessFile> file, const std::function<void(std::uint64_t)>& watcher)
        : FileWrapper(std::move(file)), onRead(watcher) {}
    bool readAt(std::uint64_t offset, bytes::MutableView out) override {
      if (onRead) onRead(offset);
      return FileWrapper::readAt(offset, out);
    }
    const std::function<void(std::uint64_t)>& onRead;
  };
};

}  // namespace worker_testing
