#include "storage/archive_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "documents/document_testing.h"
#include "platform/board_directory.h"
#include "platform/fault_injecting_board.h"
#include "storage/archive_layout.h"
#include "storage/archive_testing.h"
#include "storage/card.h"
#include "values/crc.h"

namespace {

namespace fs = std::filesystem;
using namespace document_testing;
using namespace archive_layout;
using platform::FaultInjectingBoard;

constexpr std::uint32_t kNow = 1800000000;

// The archive lives in the board's memory: read, damaged, cut or replaced there.
class ArchiveStoreTest : public ::testing::Test, protected archive_testing::StoreBoard {
 protected:
  std::uint64_t fileSize() const { return board_->contents(archivePath()).size(); }
  void patch(std::uint64_t offset, const bytes::Bytes& data) const {
    bytes::Bytes file = board_->contents(archivePath());
    if (file.size() < offset + data.size()) file.resize(offset + data.size());
    std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    board_->setContents(archivePath(), file);
  }
  void resize(std::uint64_t size) const {
    bytes::Bytes file = board_->contents(archivePath());
    file.resize(size);
    board_->setContents(archivePath(), file);
  }

  void ready() { ASSERT_TRUE(store_->createOrValidate() && store_->openArchive()); }

  std::shared_ptr<BaseWorkDocument> fiscalization(std::string_view userName = "SHOP") {
    auto document = finishedFiscalization(state_, store_->archiveId(), kNow, userName);
    EXPECT_TRUE(document);
    return document;
  }

  std::shared_ptr<BaseWorkDocument> finished(std::uint8_t type, bytes::View finishing = {}) {
    auto document = finishedDocument(type, state_, kNow + 60, finishing);
    EXPECT_TRUE(document);
    return document;
  }

  // A fiscalized archive with an open shift, as the document commands leave it.
  void fiscalizedWithOpenShift() {
    ready();
    ASSERT_EQ(store_->storeDocument(fiscalization()), 0);
    auto opening = finished(7);
    ASSERT_EQ(store_->storeDocument(opening), 0);
    state_.setShiftNumber(opening->shiftNumber());
    state_.setStatusFlag(FrStatus::kShiftOpen, true);
  }
};

TEST_F(ArchiveStoreTest, Create_FreshFileHasMagicIdAndNothingElse) {
  ready();
  EXPECT_EQ(fileSize(), kDataOffset);
  EXPECT_EQ(fileBytes(0, 4), (bytes::Bytes{0x03, 0x89, 0x23, 0xF4}));
  EXPECT_EQ(fileBytes(kSecondMagicOffset, 4), (bytes::Bytes{0x03, 0x89, 0x23, 0xF4}));
  const std::uint32_t id = store_->archiveId();
  EXPECT_NE(id, 0u);
  std::time_t now = static_cast<std::time_t>(board_->now());
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(id >> 25, static_cast<std::uint32_t>(local.tm_year - 100));
  EXPECT_EQ((id >> 21) & 0xF, static_cast<std::uint32_t>(local.tm_mon + 1));
  EXPECT_EQ(fileBytes(8, 64), bytes::Bytes(64, 0));
  EXPECT_EQ(store_->fiscalizationCount(), 0);
  EXPECT_EQ(store_->lastDocumentInfo(), (std::pair<std::uint32_t, std::uint32_t>{0, 0}));
}

TEST_F(ArchiveStoreTest, Store_DocumentsAreNumberedAndAppendedAtTheLayoutOffsets) {
  ready();
  auto registration = fiscalization();
  ASSERT_EQ(store_->storeDocument(registration), 0);
  EXPECT_EQ(store_->fiscalizationCount(), 1);
  EXPECT_EQ(*state_.currentRegData(), registration->regData()) << "the new registration is in force";

  DocDescriptor first;
  ASSERT_TRUE(store_->readDescriptor(1, first));
  EXPECT_EQ(first.documentNumber(), 1u);
  EXPECT_EQ(first.dataOffset(), kDataOffset);
  EXPECT_EQ(first.fiscalizationNumber(), 1u);
  EXPECT_EQ(fileBytes(kLastFiscalizationSlot, 64), bytes::Bytes(first.bytes().begin(), first.bytes().end()));
  EXPECT_EQ(fileBytes(kLastDocumentSlot, 64), bytes::Bytes(first.bytes().begin(), first.bytes().end()));
  EXPECT_EQ(fileBytes(kFiscalizationTableOffset, 4), (bytes::Bytes{1, 0, 0, 0}));
  const bytes::Bytes storedRegistration = fileBytes(kRegDataOffset, RegData::kSize);
  EXPECT_EQ(RegData::fromBytes(storedRegistration), registration->regData());
  EXPECT_EQ(ModelData::fromBytes(fileBytes(kModelDataOffset, 48)), *state_.currentModelData());
  const bytes::Bytes stored = registration->toStored();
  EXPECT_EQ(fileBytes(kDataOffset, stored.size()), stored);
  EXPECT_EQ(first.dataCheckValue(), crc::crc16(stored));

  auto opening = finished(7);
  ASSERT_EQ(store_->storeDocument(opening), 0);
  DocDescriptor second;
  ASSERT_TRUE(store_->readDescriptor(2, second));
  EXPECT_EQ(second.dataOffset(), kDataOffset + first.dataLength()) << "right after the first";
  EXPECT_EQ(second.fiscalizationNumber(), 1u);
  EXPECT_EQ(fileBytes(kLastShiftOpenSlot, 64), bytes::Bytes(second.bytes().begin(), second.bytes().end()));
  CounterSet shift, period;
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Shift, shift));
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Period, period));
  EXPECT_EQ(shift.shiftNumber, 1);
  EXPECT_EQ(period.shiftNumber, 1) << "shifts opened since the fiscalization";
  EXPECT_EQ(fileBytes(kShiftCountersOffset + 34, 1)[0], 0);
  EXPECT_EQ(fileBytes(kShiftCountersOffset + 127, 1)[0], 1) << "kind bytes are numbered";
}

TEST_F(ArchiveStoreTest, CashDocuments_MoveTheDrawerAndAPayoutIsClamped) {
  fiscalizedWithOpenShift();
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(10000))), 0);
  state_.setDrawerCash(10000);
  CounterSet shift;
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Shift, shift));
  EXPECT_EQ(shift.drawerCash, 10000);
  EXPECT_EQ(shift.deposits, 1);

  // The drawer is emptied behind the payout's back: the store pays out only what it holds.
  shift.drawerCash = 4000;
  ASSERT_TRUE(store_->writeCounters(ArchiveStore::Counters::Shift, shift));
  ASSERT_EQ(store_->storeDocument(finished(6, kopecks(7000))), 0);
  CounterSet period;
  TotalCounters totals;
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Shift, shift));
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Period, period));
  ASSERT_TRUE(store_->readTotals(totals));
  EXPECT_EQ(shift.drawerCash, 0);
  EXPECT_EQ(shift.payoutSum, 4000);
  EXPECT_EQ(period.payoutSum, 4000);
  EXPECT_EQ(period.drawerCash, 6000);
  EXPECT_EQ(totals.payoutSum, 4000);
  EXPECT_EQ(totals.depositSum, 10000);
}

TEST_F(ArchiveStoreTest, Load_RebuildsEveryDocumentIncludingOnesUnderAnEarlierRegistration) {
  fiscalizedWithOpenShift();
  const RegData first = *state_.currentRegData();
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(2500))), 0);
  state_.setDrawerCash(2500);
  ASSERT_EQ(store_->storeDocument(finished(6, kopecks(2500))), 0);
  state_.setDrawerCash(0);
  ASSERT_EQ(store_->storeDocument(finished(2)), 0);
  state_.setStatusFlag(FrStatus::kShiftOpen, false);
  ASSERT_EQ(store_->storeDocument(fiscalization("NEW NAME")), 0);  // re-registration, number 6
  const RegData second = *state_.currentRegData();

  std::shared_ptr<BaseWorkDocument> loaded;
  EXPECT_EQ(store_->loadDocument(7, loaded), 17);
  ASSERT_EQ(store_->loadDocument(3, loaded), 0);
  EXPECT_EQ(loaded->type(), 5);
  EXPECT_EQ(loaded->documentNumber(), 3u);
  EXPECT_EQ(loaded->fiscalizationNumber(), 1u);
  EXPECT_EQ(dynamic_cast<CashCtrlDocument&>(*loaded).amount().mantissa(), 2500);
  EXPECT_EQ(loaded->regData().text(RegData::Text::UserName), "SHOP") << "the registration it was made under";
  EXPECT_EQ(loaded->shiftNumber(), 1);
  EXPECT_EQ(loaded->dateTime(), kNow + 60);

  ASSERT_EQ(store_->loadDocument(5, loaded), 0);
  ASSERT_TRUE(dynamic_cast<CloseCycleDoc&>(*loaded).shiftCounters().has_value());
  EXPECT_EQ(dynamic_cast<CloseCycleDoc&>(*loaded).shiftCounters()->depositSum, 2500);

  ASSERT_EQ(store_->loadDocument(6, loaded), 0);  // the last document, from the last slot
  EXPECT_EQ(loaded->regData().text(RegData::Text::UserName), "NEW NAME");
  ASSERT_EQ(store_->loadDocument(1, loaded), 0);
  EXPECT_EQ(loaded->regData().text(RegData::Text::UserName), "SHOP");

  for (std::uint32_t n = 1; n <= 6; ++n) {
    ASSERT_EQ(store_->loadDocument(n, loaded), 0) << n;
    DocDescriptor descriptor;
    ASSERT_TRUE(store_->readDescriptor(n, descriptor));
    EXPECT_EQ(loaded->fiscalSign(), descriptor.fiscalSign());
    EXPECT_EQ(crc::crc16(loaded->toStored()), descriptor.dataCheckValue()) << "document " << n << " rebuilt exactly";
    // The registration sealed again, the fiscalizations' own included: it prints and signs.
    EXPECT_TRUE(loaded->regData() == (n < 6 ? first : second)) << "document " << n;
    EXPECT_TRUE(loaded->verifySign(kKey, sealedModel().serialNumber())) << "document " << n;
  }
}

TEST_F(ArchiveStoreTest, ShiftState_IsRestoredAtStartUp) {
  fiscalizedWithOpenShift();
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(300))), 0);

  DeviceState restarted;
  auto reopened = std::make_unique<ArchiveStore>(card::archivePath(*board_), *board_, restarted, *identity_);
  ASSERT_TRUE(reopened->openArchive());
  reopened->loadShiftState();
  EXPECT_TRUE(restarted.hasStatusFlag(FrStatus::kShiftOpen));
  EXPECT_EQ(restarted.shiftNumber(), 1);
  EXPECT_EQ(restarted.shiftOpeningNumber(), 2u);
  EXPECT_EQ(restarted.shiftClosingNumber(), 3u) << "while open: the newest document";
  EXPECT_EQ(restarted.drawerCash(), 300u);
  EXPECT_FALSE(restarted.hasStatusFlag(FrStatus::kArchiveClosed));
}

// A store fails at each of its writes in turn: the host is told 5, nothing counts, and the next
// document takes the same number and offset.
TEST_F(ArchiveStoreTest, FailedWriteAnywhereInAStore_CountsNothing) {
  fiscalizedWithOpenShift();
  const bytes::Bytes countersBefore = fileBytes(kShiftCountersOffset, 406 + 406 + 238);
  const bytes::Bytes lastBefore = fileBytes(kLastDocumentSlot, 64);
  for (std::uint64_t failing = 0;; ++failing) {
    board_->failAt(FaultInjectingBoard::Operation::Write, failing, false);
    const int code = store_->storeDocument(finished(5, kopecks(100)));
    board_->clearFaults();
    if (code == 0) {
      EXPECT_GE(failing, 5u) << "data, index, two counter blocks, totals and the commit";
      break;
    }
    ASSERT_EQ(code, 5) << "write " << failing;
    EXPECT_EQ(fileBytes(kLastDocumentSlot, 64), lastBefore) << "write " << failing;
    EXPECT_EQ(fileBytes(kShiftCountersOffset, 406 + 406 + 238), countersBefore) << "write " << failing;
  }
  DocDescriptor stored;
  ASSERT_TRUE(store_->readDescriptor(3, stored));
  DocDescriptor opening;
  ASSERT_TRUE(store_->readDescriptor(2, opening));
  EXPECT_EQ(stored.dataOffset(), opening.dataOffset() + opening.dataLength());
  CounterSet shift;
  ASSERT_TRUE(store_->readCounters(ArchiveStore::Counters::Shift, shift));
  EXPECT_EQ(shift.deposits, 1) << "counted once";
}

TEST_F(ArchiveStoreTest, FailedIdentityWrite_AfterFiscalization_IsFlagged) {
  ready();
  fs::remove(simulated_->identityMemoryPath());
  ASSERT_EQ(store_->storeDocument(fiscalization()), 0);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kIdentityFault));
  EXPECT_TRUE(state_.currentRegData()->isComplete());
}

TEST_F(ArchiveStoreTest, FullIndex_RefusesTheNextDocumentAndCapacityShrinks) {
  fiscalizedWithOpenShift();
  DocDescriptor last;
  ASSERT_TRUE(store_->readSlot(kLastDocumentSlot, last));
  std::ofstream(platform::cardFreeBytesFile(root_.path())) << 1'000'000'000'000ull;
  EXPECT_EQ(store_->documentCapacity(), kIndexCapacity - 2);

  last.setDocumentNumber(kIndexCapacity - 1);
  last.sealHeader();
  ASSERT_TRUE(store_->writeSlot(indexRecordOffset(kIndexCapacity - 1), last));
  ASSERT_TRUE(store_->writeSlot(kLastDocumentSlot, last));
  EXPECT_EQ(store_->documentCapacity(), 1u);
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(100))), 0);
  EXPECT_EQ(store_->documentCapacity(), 0u);
  const bytes::Bytes slotsBefore = fileBytes(kLastShiftOpenSlot, 4 * 64);
  EXPECT_EQ(store_->storeDocument(finished(5, kopecks(100))), 6);
  EXPECT_EQ(fileBytes(kLastShiftOpenSlot, 4 * 64), slotsBefore) << "the slots after the index are untouched";
}

TEST_F(ArchiveStoreTest, Validation_RejectsDamagedForeignAndOtherDeviceArchives) {
  fiscalizedWithOpenShift();

  EXPECT_TRUE(makeStore()->createOrValidate());
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kRegistrationMatches));

  // Another registration in force than the archive's (a complete one): not this archive.
  state_.setStatusFlag(FrStatus::kArchiveReady, true);
  const RegData current = *state_.currentRegData();
  state_.publishRegData(sealedRegistration());
  EXPECT_FALSE(makeStore()->createOrValidate());
  EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kArchiveReady));
  state_.publishRegData(current);

  // Another device's model record.
  ModelData other;
  other.setSerialNumber("0000000099");
  other.seal(kKey);
  state_.publishModelData(other);
  EXPECT_FALSE(makeStore()->createOrValidate());
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kForeignArchive));
  state_.publishModelData(sealedModel());

  // A damaged magic.
  patch(kSecondMagicOffset, {0});
  EXPECT_FALSE(makeStore()->createOrValidate());
}

// Each archive refused at start prints one line saying why, and nothing is written over it.
TEST_F(ArchiveStoreTest, Refusal_PrintsOneLineSayingWhyAndWritesNothing) {
  fiscalizedWithOpenShift();
  const bytes::Bytes sound = fileBytes(0, static_cast<std::size_t>(fileSize()));
  const RegData registration = *state_.currentRegData();
  ModelData otherDevice;
  otherDevice.setSerialNumber("0000000099");
  otherDevice.seal(kKey);
  struct Case {
    const char* line;
    std::function<void()> damage;
  };
  const Case cases[] = {
      {"ARCHIVE DAMAGED: A MAGIC OR THE ARCHIVE ID IS MISSING", [&] { patch(0, {0}); }},
      {"ARCHIVE DAMAGED: A MAGIC OR THE ARCHIVE ID IS MISSING", [&] { patch(kSecondMagicOffset + 3, {0}); }},
      {"ARCHIVE DAMAGED: A MAGIC OR THE ARCHIVE ID IS MISSING", [&] { patch(kArchiveIdOffset, bytes::Bytes(4, 0)); }},
      {"ARCHIVE HOLDS ANOTHER REGISTRATION", [&] { state_.publishRegData(sealedRegistration()); }},
      {"ARCHIVE OF ANOTHER DEVICE", [&] { state_.publishModelData(otherDevice); }},
      {"ARCHIVE DAMAGED: SHORTER THAN ITS LAST DOCUMENT", [&] { resize(sound.size() - 1); }},
      {"ARCHIVE CANNOT BE LOOKED UP", [&] { board_->failLookUps(true); }},
  };
  for (const Case& test : cases) {
    test.damage();
    const bytes::Bytes before = fileBytes(0, static_cast<std::size_t>(fileSize()));
    state_.setStatusFlag(FrStatus::kArchiveReady, true);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(makeStore()->createOrValidate()) << test.line;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(test.line) + "\n");
    EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kArchiveReady)) << test.line;
    board_->failLookUps(false);
    EXPECT_TRUE(fileBytes(0, static_cast<std::size_t>(fileSize())) == before) << test.line;
    state_.publishRegData(registration);
    state_.publishModelData(sealedModel());
    state_.setStatusFlag(FrStatus::kForeignArchive, false);
    board_->setContents(archivePath(), sound);
  }
}

// What a creation cut short leaves (a file no longer than a new archive, zero but for what the
// creation wrote) is created again; the same with any other byte set, or longer, is damage.
TEST_F(ArchiveStoreTest, Start_CreationCutShort_IsCreatedAgainAndNothingElseIs) {
  bytes::Bytes marks;
  bytes::appendU32(marks, kMagic);
  bytes::appendU32(marks, 0x32C80001);
  const auto write = [&](std::uint64_t size, std::uint64_t setByte) {
    board_->setContents(archivePath(), bytes::Bytes(size, 0));
    patch(0, bytes::Bytes(marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(size, 8))));
    if (setByte != 0) patch(setByte, {0x01});
  };
  struct Case {
    std::uint64_t size, setByte;  // setByte 0: none
    bool createdAgain;
  };
  const Case cases[] = {{0, 0, true},
                        {4, 0, true},
                        {8, 0, true},
                        {kDataOffset, 0, true},
                        {kDataOffset - 2, 0, true},
                        {kDataOffset, kLastDocumentSlot + 1, false},
                        {kDataOffset, indexRecordOffset(kIndexCapacity), false},
                        {kDataOffset, kDataOffset - 5, false},
                        {kDataOffset + 1, 0, false}};
  for (const Case& test : cases) {
    const std::string what = std::to_string(test.size) + " bytes, byte " + std::to_string(test.setByte) + " set";
    write(test.size, test.setByte);
    state_.setStatusFlag(FrStatus::kArchiveReady, true);
    auto store = makeStore();
    testing::internal::CaptureStdout();
    EXPECT_EQ(store->createOrValidate(), test.createdAgain) << what;
    const std::string log = testing::internal::GetCapturedStdout();
    if (test.createdAgain) {
      EXPECT_EQ(log, "ARCHIVE CREATION WAS CUT SHORT: CREATING IT AGAIN\nCREATE NEW STORAGE FILE \n") << what;
      EXPECT_EQ(fileSize(), kDataOffset) << what;
      EXPECT_EQ(fileBytes(kSecondMagicOffset, 4), fileBytes(0, 4)) << what;
      EXPECT_EQ(bytes::loadU32(fileBytes(0, 4), 0), kMagic) << what;
      EXPECT_NE(store->archiveId(), 0u) << what;
      ASSERT_TRUE(store->openArchive()) << what;
      EXPECT_EQ(store->storeDocument(fiscalization()), 0) << what;
    } else {
      EXPECT_EQ(log, "ARCHIVE DAMAGED: A MAGIC OR THE ARCHIVE ID IS MISSING\n") << what;
      EXPECT_EQ(fileSize(), test.size) << what << ": nothing written";
    }
  }
}

TEST_F(ArchiveStoreTest, Create_NeverOverAFileItCannotLookAt) {
  fiscalizedWithOpenShift();
  const auto size = fileSize();
  board_->failLookUps(true);
  EXPECT_FALSE(makeStore()->createOrValidate());
  board_->failLookUps(false);
  EXPECT_EQ(fileSize(), size);
  EXPECT_EQ(makeStore()->archiveId(), 0u) << "not open";
}

// Damaged records load as failures: data beyond the file's end, an item running past its data.
TEST_F(ArchiveStoreTest, Load_DamagedDescriptorsAndData_Answer5) {
  fiscalizedWithOpenShift();
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(100))), 0);
  DocDescriptor deposit;
  ASSERT_TRUE(store_->readDescriptor(3, deposit));
  std::shared_ptr<BaseWorkDocument> loaded;

  DocDescriptor outside = deposit;
  outside.setDataOffset(deposit.dataOffset() + 1'000'000);
  ASSERT_TRUE(store_->writeSlot(indexRecordOffset(3), outside));
  ASSERT_TRUE(store_->writeSlot(kLastDocumentSlot, outside));
  EXPECT_EQ(store_->loadDocument(3, loaded), 5);

  DocDescriptor cutShort = deposit;
  cutShort.setDataLength(static_cast<std::uint16_t>(deposit.dataLength() - 3));
  ASSERT_TRUE(store_->writeSlot(kLastDocumentSlot, cutShort));
  EXPECT_EQ(store_->loadDocument(3, loaded), 5) << "the last item runs past the data";

  DocDescriptor foreign = deposit;
  foreign.setFiscalizationNumber(77);  // names no fiscalization of this archive
  ASSERT_TRUE(store_->writeSlot(kLastDocumentSlot, foreign));
  EXPECT_EQ(store_->loadDocument(3, loaded), 5);
}

TEST_F(ArchiveStoreTest, WithoutArchive_StoreAndLoadAnswer5) {
  std::shared_ptr<BaseWorkDocument> loaded;
  EXPECT_EQ(store_->loadDocument(1, loaded), 5);
  EXPECT_EQ(store_->storeDocument(nullptr), 3);
  DocDescriptor record;
  EXPECT_FALSE(store_->readDescriptor(0, record));
  EXPECT_FALSE(store_->readSlot(kLastDocumentSlot + 1, record));
}

// The shift opening changes only the u16 shift fields of the period counters and the totals:
// bytes it does not name (here a kind byte of each) stay as the file holds them.
TEST_F(ArchiveStoreTest, ShiftOpening_WritesOnlyTheShiftFieldsOfPeriodCountersAndTotals) {
  ready();
  ASSERT_EQ(store_->storeDocument(fiscalization()), 0);
  patch(kPeriodCountersOffset + 127, {0x55});
  patch(kTotalsOffset + 79, {0x66});
  ASSERT_EQ(store_->storeDocument(finished(7)), 0);
  EXPECT_EQ(fileBytes(kPeriodCountersOffset, 2), (bytes::Bytes{1, 0}));
  EXPECT_EQ(fileBytes(kTotalsOffset, 2), (bytes::Bytes{1, 0}));
  EXPECT_EQ(fileBytes(kPeriodCountersOffset + 127, 1)[0], 0x55);
  EXPECT_EQ(fileBytes(kTotalsOffset + 79, 1)[0], 0x66);
}

// Damage to the newest records is found at start-up and before a store: a slot that alone is
// damaged is rebuilt from the index; what cannot be reconciled refuses the archive unwritten.
TEST_F(ArchiveStoreTest, Damage_SlotRebuiltFromTheIndexOrArchiveRefused) {
  fiscalizedWithOpenShift();
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(100))), 0);
  const bytes::Bytes sound = fileBytes(kLastDocumentSlot, 64);
  const auto size = fileSize();
  struct Damage {
    const char* what;
    std::uint64_t offset;
    bytes::Bytes bytes;
    bool refused;
  } damages[] = {
      {"a flipped bit in the slot's offset", kLastDocumentSlot + 18, {static_cast<std::uint8_t>(sound[18] ^ 0x10)}, false},
      {"a flipped bit in the slot's number", kLastDocumentSlot + 1, {static_cast<std::uint8_t>(sound[1] ^ 0x01)}, false},
      {"a zeroed slot", kLastDocumentSlot, bytes::Bytes(64, 0), false},
      {"slot and an index record damaged", kLastDocumentSlot + 1, {0x7F}, true},
  };
  for (const Damage& damage : damages) {
    patch(damage.offset, damage.bytes);
    if (damage.refused) patch(indexRecordOffset(2) + 5, {0xEE});
    state_.setStatusFlag(FrStatus::kArchiveReady, true);
    auto restarted = makeStore();
    EXPECT_EQ(restarted->createOrValidate(), !damage.refused) << damage.what;
    EXPECT_EQ(state_.hasStatusFlag(FrStatus::kArchiveReady), !damage.refused) << damage.what;
    if (!damage.refused) {
      EXPECT_EQ(fileBytes(kLastDocumentSlot, 64), sound) << damage.what;
    }
    EXPECT_EQ(fileSize(), size) << damage.what << ": nothing written over";
  }
  patch(indexRecordOffset(2) + 5, fileBytes(kLastShiftOpenSlot + 5, 1));
  patch(kLastDocumentSlot, sound);

  // Found before a store as well: the document goes after the newest one, not over it.
  patch(kLastDocumentSlot + 18, {static_cast<std::uint8_t>(sound[18] ^ 0x10)});
  ASSERT_EQ(store_->storeDocument(finished(5, kopecks(100))), 0);
  DocDescriptor third, fourth;
  ASSERT_TRUE(store_->readDescriptor(3, third) && store_->readDescriptor(4, fourth));
  EXPECT_EQ(fourth.dataOffset(), third.dataOffset() + third.dataLength());

  // An archive cut inside its last document.
  resize(fourth.dataOffset() + 3);
  state_.setStatusFlag(FrStatus::kArchiveReady, true);
  EXPECT_FALSE(makeStore()->createOrValidate());
  EXPECT_EQ(makeStore()->storeDocument(finished(5, kopecks(100))), 5);
  EXPECT_EQ(fileSize(), fourth.dataOffset() + 3);
}

TEST_F(ArchiveStoreTest, Validation_ModelRecordFailingItsCheckValueIsDamageNotAnotherDevice) {
  fiscalizedWithOpenShift();
  bytes::Bytes model = fileBytes(kModelDataOffset, ModelData::kSize);
  model[ModelData::kCheckValueField.offset] ^= 0x01;
  patch(kModelDataOffset, model);
  state_.setStatusFlag(FrStatus::kArchiveReady, true);
  EXPECT_FALSE(makeStore()->createOrValidate());
  EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kForeignArchive));
  EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kArchiveReady));
}

// A crash between the archive's commit and the identity memory's write: the next start takes
// the registration from the archive, but never one of another archive.
TEST_F(ArchiveStoreTest, StartUp_IdentityMemoryFollowsTheArchivesRegistration) {
  ready();
  const RegData blank = *state_.currentRegData();
  ASSERT_EQ(store_->storeDocument(fiscalization()), 0);
  const RegData registered = *state_.currentRegData();
  ASSERT_TRUE(identity_->writeRegData(blank));
  state_.publishRegData(blank);

  EXPECT_TRUE(makeStore()->createOrValidate());
  EXPECT_EQ(*state_.currentRegData(), registered);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kRegistrationMatches));
  DeviceState restarted;
  identity_->loadIdentity(restarted);
  EXPECT_EQ(*restarted.currentRegData(), registered) << "written to the identity memory";

  const RegData otherArchives = sealedRegistration();  // sound, but of archive 0x0A0B0C0D
  state_.publishRegData(otherArchives);
  EXPECT_FALSE(makeStore()->createOrValidate());
  EXPECT_EQ(*state_.currentRegData(), otherArchives);
}

}  // namespace
