// Every document kind stored with a fault at each of its writes and syncs in turn (a crash, a
// power cut losing what was not synced or tearing the newest write, a single or a persistent
// card error, a short write) and with each of its reads failing once. After a restart the archive must pass the checker and hold the
// document wholly or not at all (all of it only if the host was told 0), the identity memory
// must agree with the archive, and the next document must take the next number.
#include <gtest/gtest.h>

#include <functional>

#include "documents/document_testing.h"
#include "documents/receipt_testing.h"
#include "platform/board_directory.h"
#include "platform/fault_injecting_board.h"
#include "platform/temporary_directory.h"
#include "storage/archive_checker.h"
#include "storage/archive_layout.h"
#include "storage/archive_startup.h"
#include "storage/card.h"
#include "storage/identity_image.h"
#include "storage/receipt_archive.h"

namespace {

using namespace document_testing;
using namespace archive_layout;
using platform::FaultInjectingBoard;
using Op = FaultInjectingBoard::Operation;

constexpr std::uint32_t kNow = 1800000000;
constexpr std::uint64_t kCountersEnd = kSectionSumsOffset + 640;

enum class Fault { Crash, PowerCutDropped, PowerCutTorn, ErrorOnce, ErrorPersistent, ShortWrite };
const char* name(Fault fault) {
  switch (fault) {
    case Fault::Crash: return "crash";
    case Fault::PowerCutDropped: return "power cut, unsynced dropped";
    case Fault::PowerCutTorn: return "power cut, newest write torn";
    case Fault::ErrorOnce: return "one error";
    case Fault::ErrorPersistent: return "persistent error";
    case Fault::ShortWrite: return "short write";
  }
  return "";
}

struct Step {
  std::uint8_t type;
  std::int64_t amount = 0;  // cash documents; the cash paid for a receipt
  std::uint8_t kind = 0;    // receipts: their kind, lines and electronic payment
  std::vector<receipt_testing::Item> items = {};
  std::int64_t electronic = 0;
};

receipt_testing::Item line(std::uint64_t price, std::uint8_t section) {
  receipt_testing::Item item;
  item.price = price;
  item.section = section;
  return item;
}

// What lies on the card: the archive, its journal and the identity memory.
struct Card {
  bytes::Bytes archive, journal, identity;
};

class ArchiveCrashTest : public ::testing::Test {
 protected:
  ArchiveCrashTest() {
    platform::prepareBoardDirectory(root_.path());
    simulated_ = platform::makeSimulatedBoard(root_.path());
    freshCard();
    card::mountCard(*board_);
    archivePath_ = card::archivePath(*board_);
  }

  // A board whose card holds nothing yet, with the identity memory of a serial-numbered device.
  void freshCard() {
    store_.reset();
    identity_.reset();
    board_ = std::make_unique<FaultInjectingBoard>(*simulated_);
    board_->setContents(simulated_->identityMemoryPath(), identityImage(kKey, sealedModel()));
  }

  // A start of the service: the identity, then the archive; `beforeArchive` runs in between.
  void start(const std::function<void()>& beforeArchive = {}) {
    store_.reset();
    state_ = std::make_unique<DeviceState>();
    identity_ = std::make_unique<IdentityMemory>(*board_);
    identity_->loadIdentity(*state_);
    if (beforeArchive) beforeArchive();
    store_ = startArchive(*board_, *state_, *identity_);
  }

  // The fault armed at the nth operation of `kind` from now, and what the power does after it.
  void arm(Op kind, std::uint64_t n, Fault fault) {
    switch (fault) {
      case Fault::Crash: board_->dieAt(kind, n, false); break;
      case Fault::PowerCutDropped:
      case Fault::PowerCutTorn: board_->dieAt(kind, n, kind == Op::Write); break;
      case Fault::ErrorOnce: board_->failAt(kind, n, false); break;
      case Fault::ErrorPersistent: board_->failAt(kind, n, true); break;
      case Fault::ShortWrite: board_->shortWriteAt(n); break;
    }
  }
  void restoreAfter(Fault fault) {
    if (fault == Fault::PowerCutDropped) board_->powerCut(FaultInjectingBoard::PowerCut::DropUnsynced);
    if (fault == Fault::PowerCutTorn) board_->powerCut(FaultInjectingBoard::PowerCut::TearLastWrite);
    board_->clearFaults();
  }
  static std::string where(Op kind, std::uint64_t n, Fault fault) {
    const char* operation = kind == Op::Read ? "read " : kind == Op::Write ? "write " : "sync ";
    return operation + std::to_string(n) + ", " + name(fault);
  }

  std::shared_ptr<BaseWorkDocument> make(const Step& step, std::uint32_t when) {
    if (step.type == DocumentType::kFiscalization) {
      return finishedFiscalization(*state_, store_->archiveId(), when,
                                   store_->fiscalizationCount() == 0 ? "SHOP" : "NEW NAME");
    }
    if (step.type == DocumentType::kReceipt) return finishedReceipt(step, when);
    return finishedDocument(step.type, *state_, when, step.amount != 0 ? kopecks(step.amount) : bytes::Bytes());
  }

  // A receipt finished against the device state as it stands; null if any step is refused.
  std::shared_ptr<BaseWorkDocument> finishedReceipt(const Step& step, std::uint32_t when) {
    auto receipt = std::make_shared<ReceiptDoc>(state_->currentModelData().get(), state_->currentRegData().get(),
                                                operatorCashier(), tables_.tables());
    if (receipt->applyOpenData(receipt_testing::openData(step.kind), *state_) != 0) return nullptr;
    std::string text;
    for (const receipt_testing::Item& item : step.items) {
      if (receipt->addTag(item.tlv(), text) != 0) return nullptr;
    }
    std::uint16_t missing = 0;
    const bytes::Bytes payment = receipt_testing::payment(step.amount, step.electronic);
    return receipt->finish(when, kKey, payment, missing, *state_) == 0 ? receipt : nullptr;
  }

  int store(const Step& step, std::uint32_t when) {
    auto document = make(step, when);
    if (!document) return -1;
    const int code = store_->storeDocument(document);
    if (code == 0) store_->loadShiftState();  // as the worker keeps the device state
    return code;
  }

  Card card() const {
    return {board_->contents(archivePath_), board_->contents(archivePath_ + ".JNL"),
            board_->contents(simulated_->identityMemoryPath())};
  }
  void put(const Card& card) {
    board_->setContents(archivePath_, card.archive);
    board_->setContents(archivePath_ + ".JNL", card.journal);
    board_->setContents(simulated_->identityMemoryPath(), card.identity);
  }
  // The slots, the stored identity, the counters and the fiscalization table.
  bytes::Bytes fixedAreas() const { return board_->contents(archivePath_, kLastShiftOpenSlot, kCountersEnd - kLastShiftOpenSlot); }

  std::vector<std::string> problems() {
    auto file = board_->openFile(archivePath_, platform::FileMode::ReadOnly);
    return file ? checkArchive(*file) : std::vector<std::string>{"archive does not open"};
  }

  // Stores `before`, then `tested` once cleanly and then once with each fault at each of its
  // writes and syncs.
  void runMatrix(const std::vector<Step>& before, const Step& tested) {
    start();
    ASSERT_TRUE(store_);
    std::uint32_t when = kNow;
    for (const Step& step : before) ASSERT_EQ(store(step, when += 60), 0) << int(step.type);
    const std::uint32_t testedTime = when + 60;
    const Card base = card();
    const bytes::Bytes baseAreas = fixedAreas();
    const std::uint32_t baseLast = store_->lastDocumentInfo().first;

    board_->resetCounts();
    ASSERT_EQ(store(tested, testedTime), 0);
    const std::uint64_t reads = board_->count(Op::Read), writes = board_->count(Op::Write),
                        syncs = board_->count(Op::Sync);
    const bytes::Bytes afterAreas = fixedAreas();
    EXPECT_EQ(problems(), std::vector<std::string>());
    EXPECT_GE(syncs, 3u) << "journal, data and areas, commit";

    const auto runOne = [&](Op kind, std::uint64_t n, Fault fault) {
      put(base);
      start();
      auto document = make(tested, testedTime);
      ASSERT_TRUE(document);
      board_->resetCounts();
      arm(kind, n, fault);
      const int code = store_->storeDocument(document);
      restoreAfter(fault);
      start();

      const std::string where = ArchiveCrashTest::where(kind, n, fault);
      ASSERT_TRUE(state_->hasStatusFlag(FrStatus::kArchiveReady)) << where;
      EXPECT_EQ(problems(), std::vector<std::string>()) << where;
      const bool present = store_->lastDocumentInfo().first == baseLast + 1;
      EXPECT_TRUE(present || code != 0) << where << ": told 0 but not stored";
      EXPECT_TRUE(present || store_->lastDocumentInfo().first == baseLast) << where;
      EXPECT_TRUE(fixedAreas() == (present ? afterAreas : baseAreas)) << where << (present ? ": partly there" : ": partly undone");
      if (store_->fiscalizationCount() > 0) {
        const bytes::Bytes identity = board_->contents(simulated_->identityMemoryPath());
        EXPECT_EQ(RegData::fromBytes(bytes::slice(identity, 48, RegData::kSize)), *store_->storedRegData()) << where;
        EXPECT_TRUE(state_->hasStatusFlag(FrStatus::kRegistrationMatches)) << where;
      }
      const Step next{store_->fiscalizationCount() == 0 ? DocumentType::kFiscalization : DocumentType::kArchiveClosing};
      ASSERT_EQ(store(next, testedTime + 60), 0) << where;
      EXPECT_EQ(store_->lastDocumentInfo().first, (present ? baseLast + 1 : baseLast) + 1) << where;
      EXPECT_EQ(problems(), std::vector<std::string>()) << where << ", after the next document";
    };
    for (std::uint64_t n = 0; n < writes; ++n) {
      for (Fault fault : {Fault::Crash, Fault::PowerCutDropped, Fault::PowerCutTorn, Fault::ErrorOnce,
                          Fault::ErrorPersistent, Fault::ShortWrite}) {
        runOne(Op::Write, n, fault);
      }
    }
    for (std::uint64_t n = 0; n < reads; ++n) runOne(Op::Read, n, Fault::ErrorOnce);
    for (std::uint64_t n = 0; n < syncs; ++n) {
      for (Fault fault : {Fault::Crash, Fault::PowerCutDropped, Fault::PowerCutTorn, Fault::ErrorOnce,
                          Fault::ErrorPersistent}) {
        runOne(Op::Sync, n, fault);
      }
    }
  }

  receipt_testing::Tables tables_;
  platform::TemporaryDirectory root_;
  std::string archivePath_;
  std::unique_ptr<platform::Board> simulated_;
  std::unique_ptr<FaultInjectingBoard> board_;
  std::unique_ptr<DeviceState> state_;
  std::unique_ptr<IdentityMemory> identity_;
  std::unique_ptr<ArchiveStore> store_;
};

const Step kRegistration{DocumentType::kFiscalization};
const Step kOpening{DocumentType::kShiftOpening};
const Step kClosing{DocumentType::kShiftClosing};
const Step kDeposit{DocumentType::kCashDeposit, 10000};
// 180.00 in two sections: 100.00 in cash, 80.00 by card.
const Step kSale{DocumentType::kReceipt, 10000, 0, {line(12000, 1), line(6000, 2)}, 8000};
// 60.00 paid out of the drawer.
const Step kPurchase{DocumentType::kReceipt, 6000, 1, {line(6000, 2)}};

TEST_F(ArchiveCrashTest, Registration) { runMatrix({}, kRegistration); }
TEST_F(ArchiveCrashTest, ReRegistration) { runMatrix({kRegistration, kOpening, kClosing}, kRegistration); }
TEST_F(ArchiveCrashTest, ShiftOpening) { runMatrix({kRegistration}, kOpening); }
TEST_F(ArchiveCrashTest, ShiftClosing) { runMatrix({kRegistration, kOpening}, kClosing); }
TEST_F(ArchiveCrashTest, Deposit) { runMatrix({kRegistration, kOpening}, {DocumentType::kCashDeposit, 10000}); }
TEST_F(ArchiveCrashTest, Payout) {
  runMatrix({kRegistration, kOpening, kDeposit}, {DocumentType::kCashPayout, 2500});
}
TEST_F(ArchiveCrashTest, Sale) { runMatrix({kRegistration, kOpening}, kSale); }
TEST_F(ArchiveCrashTest, Purchase) { runMatrix({kRegistration, kOpening, kDeposit, kSale}, kPurchase); }
TEST_F(ArchiveCrashTest, ArchiveClosing) {
  runMatrix({kRegistration, kOpening, kClosing}, {DocumentType::kArchiveClosing});
}

// The card's first start, with a fault at each write and sync of the archive's creation, from
// an empty card and from what a creation cut short leaves (the magic and the id, no second
// magic): every later start finds the new archive sound or creates it again, byte for byte
// the archive a clean creation makes, and the registration is stored on it.
TEST_F(ArchiveCrashTest, FirstStart) {
  bytes::Bytes created(kDataOffset, 0);  // the archive id aside
  for (const std::uint64_t magic : {kMagicOffset, kSecondMagicOffset}) bytes::storeU32(created, magic, kMagic);
  const auto createdAside = [](bytes::Bytes archive) {
    if (archive.size() >= kArchiveIdOffset + 4) bytes::storeU32(archive, kArchiveIdOffset, 0);
    return archive;
  };
  bytes::Bytes cutShort;
  bytes::appendU32(cutShort, kMagic);
  bytes::appendU32(cutShort, 0x32C80001);

  for (const bool unfinished : {false, true}) {
    const auto prepare = [&] {
      freshCard();
      if (unfinished) board_->setContents(archivePath_, cutShort);
    };
    const std::string from = unfinished ? "cut short before, " : "empty card, ";
    prepare();
    start([&] { board_->resetCounts(); });
    const std::uint64_t writes = board_->count(Op::Write), syncs = board_->count(Op::Sync);
    ASSERT_TRUE(state_->hasStatusFlag(FrStatus::kArchiveReady)) << from;
    ASSERT_EQ(writes, 3u) << from << "the magic, the id, the magic at the boundary";
    ASSERT_EQ(syncs, 1u) << from;
    EXPECT_TRUE(createdAside(board_->contents(archivePath_)) == created) << from;

    const auto runOne = [&](Op kind, std::uint64_t n, Fault fault) {
      prepare();
      start([&] {
        board_->resetCounts();
        arm(kind, n, fault);
      });
      restoreAfter(fault);
      start();
      const std::string where = from + ArchiveCrashTest::where(kind, n, fault);
      ASSERT_TRUE(state_->hasStatusFlag(FrStatus::kArchiveReady)) << where;
      EXPECT_EQ(problems(), std::vector<std::string>()) << where;
      EXPECT_TRUE(createdAside(board_->contents(archivePath_)) == created) << where;
      EXPECT_NE(store_->archiveId(), 0u) << where;
      ASSERT_EQ(store(kRegistration, kNow), 0) << where;
      EXPECT_EQ(problems(), std::vector<std::string>()) << where << ", after the registration";
    };
    for (std::uint64_t n = 0; n < writes; ++n) {
      for (Fault fault : {Fault::Crash, Fault::PowerCutDropped, Fault::PowerCutTorn, Fault::ErrorOnce,
                          Fault::ErrorPersistent, Fault::ShortWrite}) {
        runOne(Op::Write, n, fault);
      }
    }
    for (std::uint64_t n = 0; n < syncs; ++n) {
      for (Fault fault : {Fault::Crash, Fault::PowerCutDropped, Fault::PowerCutTorn, Fault::ErrorOnce,
                          Fault::ErrorPersistent}) {
        runOne(Op::Sync, n, fault);
      }
    }
  }
}

// A receipt's data check value covers its stored form: a flipped byte there is found, one in the
// pieces after it is not taken for a data check failure.
TEST_F(ArchiveCrashTest, Checker_FindsADamagedStoredFormOfAReceipt) {
  start();
  ASSERT_TRUE(store_);
  std::uint32_t when = kNow;
  for (const Step& step : {kRegistration, kOpening, kSale}) ASSERT_EQ(store(step, when += 60), 0);
  DocDescriptor sale;
  ASSERT_TRUE(store_->readDescriptor(3, sale));
  const bytes::Bytes sound = board_->contents(archivePath_);
  const std::size_t formLength =
      receipt_archive::storedFormLength(bytes::slice(sound, sale.dataOffset(), sale.dataLength()));
  ASSERT_LT(formLength, sale.dataLength()) << "the sections and lines follow the stored form";
  const std::string dataProblem = "document 3, offset " + std::to_string(indexRecordOffset(3) + 26) + ": data check value";
  for (const std::size_t at : {formLength - 1, std::size_t{sale.dataLength()} - 1}) {
    bytes::Bytes damaged = sound;
    damaged[sale.dataOffset() + at] ^= 0x01;
    board_->setContents(archivePath_, damaged);
    const std::vector<std::string> found = problems();
    const bool reported = std::any_of(found.begin(), found.end(),
                                      [&](const std::string& problem) { return problem.starts_with(dataProblem); });
    EXPECT_EQ(reported, at < formLength) << "byte " << at << " of " << sale.dataLength();
  }
}

}  // namespace
