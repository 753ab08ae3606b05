// The fiscal archive: one file on the card holding every document for ever, its index and the
// running counters (layout in archive_layout.h).
//
// Storing is all-or-nothing across crashes, power cuts and card errors: every store is one
// StoreTransaction (store_transaction.h) journaled in a file beside the archive. The
// last-document slot is the single commit point, written and synced after the data, the index
// record and every per-type update are durable; the host is told 0 only then. At start-up the
// journal is resolved before anything reads the archive, the last-document slot is checked
// against the index (and rebuilt from it when it alone is damaged), and a registration the
// identity memory missed is taken from the archive. Only the core thread uses the store.
//
// A new document kind plugs into the store in storeTypeWork: its case reads what it needs
// through the transaction (transaction.read), names each fixed area it changes with the new
// contents (transaction.change(offset, bytes)) and writes any further data pieces past the
// stored form with transaction.writeData; the commit journals the old contents of exactly those
// areas, so the rest of the store needs nothing of the kind (giveReportCounters only where its
// report prints counters). Outside the store a new kind is named in:
//   - its class in documents/, which says its stored form and what it prints once stored and in
//     its copy (storedReportTexts, copyHeaderText, copyBodyText), and createDocument and
//     rebuildDocument in documents/document_factory.cpp;
//   - DocumentsWorker::afterStore, for the device state it changes;
//   - the checker's own recomputation of the counters, storage/archive_checker.cpp;
//   - frhost's document commands and names (tools/host/document_commands.cpp), frgate's answer
//     forms (tools/gateway/answer_forms.cpp) and the generator (tools/archive/board_generator.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/state/device_state.h"
#include "documents/base_document.h"
#include "documents/doc_descriptor.h"
#include "platform/board.h"
#include "storage/counter_blocks.h"
#include "storage/identity_memory.h"
#include "storage/store_transaction.h"

class ArchiveStore {
 public:
  enum class Counters { Period = 0, Shift = 1 };

  ArchiveStore(std::string path, platform::Board& board, DeviceState& state, IdentityMemory& identity);

  // Creates the file when the path certainly names nothing (never over an existing file). An
  // existing file is opened and its journal resolved; one that a creation cut short left (no
  // longer than a new archive, nothing but what the creation writes) is created again.
  // Otherwise its last-document slot is checked (and rebuilt from the index when only the slot
  // is damaged), the identity memory's registration brought up to the archive's, and the file
  // validated against the device's identity and registration, setting flags 0x0002 and 0x0004
  // and clearing 0x0010 as the checks find. Every refusal prints one diagnostic line saying why;
  // a refused file is left closed and unwritten.
  bool createOrValidate();
  // Opens the existing file and its journal for reading and writing, once.
  bool openArchive();

  // Numbers, closes and writes a finished document and does its per-type work; a result code.
  int storeDocument(const std::shared_ptr<BaseWorkDocument>& document);
  // Rebuilds stored document `number`, under the registration of the fiscalization it was made
  // under (sealed again with the device key: the stored items do not keep its check value); a
  // result code.
  int loadDocument(std::uint32_t number, std::shared_ptr<BaseWorkDocument>& out);

  // Index record of document 1 .. 250000.
  bool readDescriptor(std::uint32_t number, DocDescriptor& out);
  // A 64-byte record at 8 + 64 k, k = 0 .. 250003 (the index and the four slots).
  bool readSlot(std::uint64_t offset, DocDescriptor& out);
  bool writeSlot(std::uint64_t offset, const DocDescriptor& record);
  // Number and time of the newest document; (0, 0) when unknown.
  std::pair<std::uint32_t, std::uint32_t> lastDocumentInfo();

  bool readCounters(Counters which, CounterSet& out);
  bool writeCounters(Counters which, const CounterSet& block);
  // A zero block with `shiftNumber` in bytes 0-1.
  bool resetCounters(Counters which, std::uint16_t shiftNumber);
  bool readTotals(TotalCounters& out);
  bool writeTotals(const TotalCounters& block);
  // The section sums of receipt kinds 0 .. count - 1, count 1 .. 4.
  bool readSectionSums(std::vector<SectionSums>& out, std::size_t count);

  // 0 without an open file.
  std::uint8_t fiscalizationCount();
  std::uint32_t archiveId();
  // The records of the fiscalization in force; default records without an open file.
  std::shared_ptr<const ModelData> storedModelData();
  std::shared_ptr<const RegData> storedRegData();

  // The shift and archive state at start-up, into the device state.
  void loadShiftState();
  // Documents that still fit: 80 % of the card's free space in 32 KiB units, at most the
  // index records left.
  std::uint32_t documentCapacity();

  // The journal's path: the archive's with journal::kFileSuffix.
  const std::string& journalPath() const { return journalPath_; }

 private:
  enum class Head { Sound, Rebuilt, Damaged };

  bool readAt(std::uint64_t offset, bytes::MutableView out);
  bool writeAt(std::uint64_t offset, bytes::View data);
  bool create();
  bool writeArchiveMarks(platform::RandomAccessFile& file);
  std::optional<bool> isUnfinishedCreation();
  bool hasArchiveMarks();
  bool validate();
  bool refuse(const char* diagnostic);
  Head examineHead();
  bool headerSound(const DocDescriptor& descriptor);
  Head rebuildLastDocumentSlot();
  Head damaged(const char* diagnostic);
  void followArchiveRegistration();
  void markUnusable();
  std::uint32_t makeArchiveId() const;
  static std::uint64_t countersOffset(Counters which);
  bool giveReportCounters(BaseWorkDocument& document);
  bool storeTypeWork(BaseWorkDocument& document, const DocDescriptor& descriptor, StoreTransaction& transaction);
  void takeNewRegistration(const BaseWorkDocument& fiscalization);

  std::string path_;
  std::string journalPath_;
  platform::Board& board_;
  DeviceState& state_;
  IdentityMemory& identity_;
  std::unique_ptr<platform::RandomAccessFile> file_;
  std::unique_ptr<platform::RandomAccessFile> journal_;
  // A store could not write back what it had changed: nothing more is stored until the next
  // start resolves the journal.
  bool unusable_ = false;
};
