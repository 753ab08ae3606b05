#include "storage/rollback_journal.h"

#include <gtest/gtest.h>

#include "platform/fault_injecting_board.h"
#include "platform/temporary_directory.h"
#include "storage/archive_layout.h"
#include "storage/store_transaction.h"

namespace {

const std::string kArchive = "/frcore-in-memory/V0XD24TX", kJournal = "/frcore-in-memory/V0XD24TX.JNL";

journal::Record sampleRecord() {
  journal::Record record;
  bytes::Bytes descriptor(DocDescriptor::kSize, 0);
  descriptor[0] = 5;
  descriptor[1] = 3;
  record.committing = DocDescriptor::fromBytes(descriptor);
  record.oldContents = {{archive_layout::kLastDocumentSlot, bytes::Bytes(64, 0x11)},
                        {archive_layout::kFiscalizationCountOffset, {1}}};
  return record;
}

std::optional<journal::Record> decodeFile(bytes::View file) {
  if (file.size() < journal::kHeaderSize) return std::nullopt;
  return journal::decode(file.first(journal::kHeaderSize), file.subspan(journal::kHeaderSize));
}

TEST(RollbackJournalTest, EncodedRecord_DecodesBackAndEveryDamagedByteIsRefused) {
  const bytes::Bytes file = journal::encode(sampleRecord());
  ASSERT_EQ(decodeFile(file), sampleRecord());
  for (std::size_t at = 0; at < file.size(); ++at) {
    bytes::Bytes damaged = file;
    damaged[at] ^= 0x40;
    EXPECT_FALSE(decodeFile(damaged)) << "byte " << at;
  }
  EXPECT_FALSE(decodeFile(bytes::View(file).first(file.size() - 1))) << "torn";
  EXPECT_FALSE(decodeFile(journal::invalidHead()));
}

class JournalRecoveryTest : public ::testing::Test {
 protected:
  JournalRecoveryTest() : simulated_(platform::makeSimulatedBoard(root_.path())), board_(*simulated_) {
    board_.setContents(kArchive, bytes::Bytes(archive_layout::kDataOffset, 0));
    archive_ = board_.openFile(kArchive, platform::FileMode::ReadWrite);
    journal_ = board_.openFile(kJournal, platform::FileMode::OpenOrCreate);
  }
  bytes::Bytes slot() { return board_.contents(kArchive, archive_layout::kLastDocumentSlot, 64); }

  platform::TemporaryDirectory root_;
  std::unique_ptr<platform::Board> simulated_;
  platform::FaultInjectingBoard board_;
  std::unique_ptr<platform::RandomAccessFile> archive_, journal_;
};

TEST_F(JournalRecoveryTest, UncommittedStoreIsRolledBackCommittedOneKept) {
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::Clean) << "an empty journal";
  const journal::Record record = sampleRecord();
  ASSERT_TRUE(journal_->writeAt(0, journal::encode(record)));
  ASSERT_TRUE(archive_->writeAt(archive_layout::kLastDocumentSlot, bytes::Bytes(64, 0x22)));
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::RolledBack);
  EXPECT_EQ(slot(), bytes::Bytes(64, 0x11));
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::Clean) << "invalidated";

  ASSERT_TRUE(journal_->writeAt(0, journal::encode(record)));
  ASSERT_TRUE(archive_->writeAt(archive_layout::kLastDocumentSlot, record.committing.bytes()));
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::Committed);
  EXPECT_EQ(slot(), bytes::Bytes(record.committing.bytes().begin(), record.committing.bytes().end()));
}

TEST_F(JournalRecoveryTest, AreasOutsideTheFixedHeadOrAFailingWriteBack_Fail) {
  journal::Record record = sampleRecord();
  record.oldContents.push_back({archive_layout::kDataOffset, {9}});
  ASSERT_TRUE(journal_->writeAt(0, journal::encode(record)));
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::Failed);
  EXPECT_EQ(board_.contents(kArchive).size(), archive_layout::kDataOffset) << "nothing written";

  ASSERT_TRUE(journal_->writeAt(0, journal::encode(sampleRecord())));
  board_.failAt(platform::FaultInjectingBoard::Operation::Sync, 0, false);
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::Failed);
  EXPECT_EQ(recoverJournal(*archive_, *journal_), JournalRecovery::RolledBack) << "the journal stayed";
}

}  // namespace
