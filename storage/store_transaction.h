// One store as a transaction over the archive's fixed areas, made all-or-nothing by the
// rollback journal (rollback_journal.h).
//
// A store reads what it needs through the transaction, names each fixed area it changes with
// its new contents, writes its document data past the committed end, and commits with the
// document's descriptor. The commit:
//   1. writes the journal (old contents of every changed area and of the last-document slot,
//      and the descriptor) and syncs it;
//   2. writes the new contents and syncs the archive (document data included);
//   3. writes the descriptor into the last-document slot, the commit point, and syncs again;
//   4. invalidates the journal (not synced: a journal whose descriptor is in the slot is
//      dropped at start-up anyway).
// A failure after the journal was synced writes the old contents back and syncs; when even that
// fails the journal stays for the next start-up to resolve. Data written past the committed end
// needs no undo: nothing points at it until the commit.
#pragma once

#include <cstdint>
#include <vector>

#include "documents/doc_descriptor.h"
#include "platform/random_access_file.h"
#include "storage/rollback_journal.h"

class StoreTransaction {
 public:
  enum class Outcome {
    Committed,  // the document is on the card
    Failed,     // the archive is as it was before
    Unusable,   // the old contents could not be written back: only the next start can recover
  };

  StoreTransaction(platform::RandomAccessFile& archive, platform::RandomAccessFile& journal)
      : archive_(archive), journal_(journal) {}

  // Reads bytes of the archive as this transaction would leave them; false when the read fails.
  bool read(std::uint64_t offset, bytes::MutableView out);
  // Gives a fixed area new contents at the commit; its old contents are read now (false when
  // that fails). Areas may overlap; a later change wins.
  bool change(std::uint64_t offset, bytes::Bytes contents);
  // Writes document data past the committed end at once.
  bool writeData(std::uint64_t offset, bytes::View data);
  // Makes every change and `descriptor` in the last-document slot durable, or none of them.
  Outcome commit(const DocDescriptor& descriptor);

 private:
  struct Change {
    std::uint64_t offset;
    bytes::Bytes before;
    bytes::Bytes after;
  };

  bool writeBack(std::size_t count);

  platform::RandomAccessFile& archive_;
  platform::RandomAccessFile& journal_;
  std::vector<Change> changes_;
};

// What start-up found in the journal.
enum class JournalRecovery {
  Clean,       // no valid journal
  Committed,   // the journal's document had been committed; the journal was dropped
  RolledBack,  // the old contents were written back and synced
  Failed,      // the journal could not be read or resolved, or names areas outside the fixed head
};

// Resolves a valid journal before anything else reads the archive.
JournalRecovery recoverJournal(platform::RandomAccessFile& archive, platform::RandomAccessFile& journal);
