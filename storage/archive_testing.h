// Test support for whatever reads whole archives: a simulated board with an identity memory
// sealed with the test key and a card, whose archive is written by the store itself, one
// finished document at a time, with the device state kept as the worker keeps it. Benchmarks
// that need large archives may leave out the syncs.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "platform/board_directory.h"
#include "platform/sync_switch_board.h"
#include "storage/archive_startup.h"
#include "storage/card.h"
#include "storage/identity_image.h"

namespace archive_testing {

class TestArchive {
 public:
  enum class Syncs { Made, LeftOut };

  explicit TestArchive(Syncs syncs = Syncs::Made, const std::string& parent = "/tmp") {
    root_ = parent + "/frcore-archive-XXXXXX";
    if (mkdtemp(root_.data()) == nullptr) root_ = parent + "/frcore-archive";
    platform::prepareBoardDirectory(root_);
    simulated_ = platform::makeSimulatedBoard(root_);
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
  ~TestArchive() { std::filesystem::remove_all(root_); }
  TestArchive(const TestArchive&) = delete;
  TestArchive& operator=(const TestArchive&) = delete;

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

  std::string root_;
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
