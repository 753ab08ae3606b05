#include "storage/store_transaction.h"

#include <algorithm>

#include "storage/archive_layout.h"

using namespace archive_layout;

namespace {

// Every journaled area lies in the fixed head between the archive id and the second magic.
bool inFixedHead(std::uint64_t offset, std::size_t length) {
  return offset >= kIndexOffset && offset <= kSecondMagicOffset && length <= kSecondMagicOffset - offset;
}

bool invalidate(platform::RandomAccessFile& journal) { return journal.writeAt(0, journal::invalidHead()); }

}  // namespace

bool StoreTransaction::read(std::uint64_t offset, bytes::MutableView out) {
  if (!archive_.readAt(offset, out)) return false;
  for (const Change& change : changes_) {
    const std::uint64_t from = std::max(offset, change.offset);
    const std::uint64_t to = std::min(offset + out.size(), change.offset + change.after.size());
    for (std::uint64_t at = from; at < to; ++at) out[at - offset] = change.after[at - change.offset];
  }
  return true;
}

bool StoreTransaction::change(std::uint64_t offset, bytes::Bytes contents) {
  if (!inFixedHead(offset, contents.size())) return false;
  bytes::Bytes before(contents.size());
  if (!archive_.readAt(offset, before)) return false;
  changes_.push_back({offset, std::move(before), std::move(contents)});
  return true;
}

bool StoreTransaction::writeData(std::uint64_t offset, bytes::View data) {
  return offset >= kDataOffset && archive_.writeAt(offset, data);
}

StoreTransaction::Outcome StoreTransaction::commit(const DocDescriptor& descriptor) {
  if (!change(kLastDocumentSlot, bytes::Bytes(descriptor.bytes().begin(), descriptor.bytes().end()))) {
    return Outcome::Failed;
  }
  journal::Record record{descriptor, {}};
  for (const Change& change : changes_) record.oldContents.push_back({change.offset, change.before});
  if (!journal_.writeAt(0, journal::encode(record)) || !journal_.sync()) return Outcome::Failed;

  // The commit slot goes last, after everything it points at is durable.
  const std::size_t areas = changes_.size() - 1;
  std::size_t written = 0;
  for (; written < areas; ++written) {
    if (!archive_.writeAt(changes_[written].offset, changes_[written].after)) break;
  }
  bool committed = written == areas && archive_.sync();
  if (committed) {
    ++written;
    committed = archive_.writeAt(kLastDocumentSlot, changes_.back().after) && archive_.sync();
  }
  if (committed) {
    invalidate(journal_);
    return Outcome::Committed;
  }
  // A failed write may have changed part of its area: it is written back too.
  if (!writeBack(std::min(written + 1, changes_.size()))) return Outcome::Unusable;
  invalidate(journal_);
  return Outcome::Failed;
}

// Newest first, so the commit slot (the last change) is restored and synced before anything it
// points at: the slot never names the document while its areas hold the old contents.
bool StoreTransaction::writeBack(std::size_t count) {
  for (std::size_t i = count; i-- > 0;) {
    if (!archive_.writeAt(changes_[i].offset, changes_[i].before)) return false;
    if (changes_[i].offset == kLastDocumentSlot && !archive_.sync()) return false;
  }
  return archive_.sync();
}

JournalRecovery recoverJournal(platform::RandomAccessFile& archive, platform::RandomAccessFile& journal) {
  const auto size = journal.size();
  if (!size) return JournalRecovery::Failed;
  if (*size < journal::kHeaderSize) return JournalRecovery::Clean;
  bytes::Bytes header(journal::kHeaderSize);
  if (!journal.readAt(0, header)) return JournalRecovery::Failed;
  const auto bodySize = journal::bodySize(header);
  if (!bodySize || *bodySize > *size - journal::kHeaderSize) return JournalRecovery::Clean;
  bytes::Bytes body(*bodySize);
  if (!journal.readAt(journal::kHeaderSize, body)) return JournalRecovery::Failed;
  const auto record = journal::decode(header, body);
  if (!record) return JournalRecovery::Clean;  // torn before its sync: the archive was not touched

  for (const journal::Area& area : record->oldContents) {
    if (!inFixedHead(area.offset, area.contents.size())) return JournalRecovery::Failed;
  }
  bytes::Bytes slot(DocDescriptor::kSize);
  if (!archive.readAt(kLastDocumentSlot, slot)) return JournalRecovery::Failed;
  if (DocDescriptor::fromBytes(slot) == record->committing) {
    return invalidate(journal) && journal.sync() ? JournalRecovery::Committed : JournalRecovery::Failed;
  }
  bool restored = true;
  for (auto it = record->oldContents.rbegin(); it != record->oldContents.rend(); ++it) {
    restored = archive.writeAt(it->offset, it->contents) && restored;
  }
  if (!restored || !archive.sync()) return JournalRecovery::Failed;
  return invalidate(journal) && journal.sync() ? JournalRecovery::RolledBack : JournalRecovery::Failed;
}
