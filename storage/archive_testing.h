// Test support for the archive: a board for tests of the store itself, and for whatever reads
// whole archives a simulated board with an identity memory sealed with the test key and a card,
// whose archive is written by the store itself, one finished document at a time, with the
// device state kept as the worker keeps it. Benchmarks that need large archives may leave out
// the syncs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "platform/board_directory.h"
#include "platform/fault_injecting_board.h"
#include "platform/sync_switch_board.h"
#include "platform/temporary_directory.h"
#include "storage/archive_startup.h"
#include "storage/card.h"
#include "storage/identity_image.h"

namespace archive_testing {

// A fresh board whose card is mounted and kept in memory by a fault-injecting board, with the
// identity memory in the board's directory and the device state holding the test key and the
// sealed model. The store is made on it but neither created nor opened.
class StoreBoard {
 public:
  StoreBoard() {
    platform::prepareBoardDirectory(root_.path());
    simulated_ = platform::makeSimulatedBoard(root_.path());
    board_ = std::make_unique<platform::FaultInjectingBoard>(*simulated_);
    identity_ = std::make_unique<IdentityMemory>(*simulated_);
    card::mountCard(*board_);
    state_.setDeviceKey(document_testing::kKey);
    state_.publishModelData(document_testing::sealedModel());
    store_ = makeStore();
  }

  std::unique_ptr<ArchiveStore> makeStore() {
    return std::make_unique<ArchiveStore>(archivePath(), *board_, state_, *identity_);
  }

  // The archive as it is in the board's memory.
  std::string archivePath() const { return card::archivePath(*board_); }
  bytes::Bytes fileBytes(std::uint64_t offset, std::size_t count) const {
    return board_->contents(archivePath(), offset, count);
  }

  platform::TemporaryDirectory root_;
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<platform::FaultInjectingBoard> board_;
  std::unique_ptr<IdentityMemory> identity_;
  DeviceState state_;
  std::unique_ptr<ArchiveStore> store_;
};

class TestArchive {
 public:
  enum class Syncs { Made, LeftOut };

  explicit TestArchive(Syncs syncs = Syncs::Made, const std::string& parent = "/tmp") : root_(parent) {
    platform::prepareBoardDirectory(root_.path());
    simulated_ = platform::makeSimulatedBoard(root_.path());
    board_ = std::make_unique<platform::SyncSwitchBoard>(*simulated_, syncs == Syncs::Made);
    auto memory = simulated_->openFile(simulated_->identityMemoryPath(), platform::FileMode::ReadWrite);
    if (memory) memory->writeAt(0, identityImage(document_testing::kKey, document_testing::sealedModel()));
    memory.reset();
    card::mountCard(*board_);
    archivePath_ = card::archivePath(*board_);
    identity_ = std::make_unique<IdentityMemory>(*board_);
    identity_->loadIdentity(state_);
    store_ = startArchive(*board_, state_, *identity_);
  }

  // Each stores one finished document a minute after the one before; a result code, -1 when
  // the document does not finish. Cash documents take their amount in kopecks.
  int registration(std::string_view userName = "SHOP") {
    return store(document_testing::finishedFiscalization(state_, store_->archiveId(), next(), userName));
  }
  int document(std::uint8_t type, std::int64_t amount = 0) {
    return store(document_testing::finishedDocument(type, state_, next(),
                                                    amount != 0 ? document_testing::kopecks(amount) : bytes::Bytes()));
  }
  int receipt(std::uint8_t kind, const std::vector<receipt_testing::Item>& items, std::int64_t cash,
              std::int64_t electronic = 0) {
    auto receipt = std::make_shared<ReceiptDoc>(state_.currentModelData().get(), state_.currentRegData().get(),
                                                document_testing::operatorCashier(), tables_.tables());
    if (receipt->applyOpenData(receipt_testing::openData(kind), state_) != 0) return -1;
    std::string text;
    for (const receipt_testing::Item& item : items) {
      if (receipt->addTag(item.tlv(), text) != 0) return -1;
    }
    std::uint16_t missing = 0;
    const bytes::Bytes paid = receipt_testing::payment(cash, electronic);
    if (receipt->finish(next(), document_testing::kKey, paid, missing, state_) != 0) return -1;
    return store(receipt);
  }

  // The documents as they were stored, in number order, since the last forgetStored().
  const std::vector<std::shared_ptr<BaseWorkDocument>>& stored() const { return stored_; }
  void forgetStored() { stored_.clear(); }
  const std::string& archivePath() const { return archivePath_; }
  std::string identityPath() const { return board_->identityMemoryPath(); }
  receipt_testing::Tables& tables() { return tables_; }

 private:
  std::uint32_t next() { return now_ += 60; }

  int store(const std::shared_ptr<BaseWorkDocument>& document) {
    if (!document) return -1;
    const int code = store_->storeDocument(document);
    if (code != 0) return code;
    stored_.push_back(document);
    // The device state the worker keeps: shift, receipt counter and drawer cash.
    store_->loadShiftState();
    return code;
  }

  platform::TemporaryDirectory root_;
  std::string archivePath_;
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<platform::SyncSwitchBoard> board_;
  DeviceState state_;
  std::unique_ptr<IdentityMemory> identity_;
  std::unique_ptr<ArchiveStore> store_;
  receipt_testing::Tables tables_;
  std::uint32_t now_ = 1800000000;
  std::vector<std::shared_ptr<BaseWorkDocument>> stored_;
};

}  // namespace archive_testing
