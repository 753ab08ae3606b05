// The fiscal archive: one file on the card holding every document for ever, its index and the
// running counters (layout in archive_layout.h).
//
// Storing is all-or-nothing as the host sees it. The last-document slot is the single commit
// point: it is written after the data, the index record and every per-type update. A store
// that fails before the commit rewrites what it had changed in the fixed areas, answers 5 and
// leaves the last-document slot as it was, so the next document reuses the number and the
// offset. Only the core thread uses the store.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/device_state.h"
#include "documents/base_document.h"
#include "documents/doc_descriptor.h"
#include "platform/board.h"
#include "storage/counter_blocks.h"
#include "storage/identity_memory.h"

class ArchiveStore {
 public:
  static constexpr int kOk = 0;
  static constexpr int kNotStorable = 3;
  static constexpr int kNotClosed = 4;
  static constexpr int kNotReady = 5;  // not open, or a read or write failed
  static constexpr int kFull = 6;      // every index record is taken
  static constexpr int kTooLong = 7;
  static constexpr int kNoSuchDocument = 17;

  enum class Counters { Period = 0, Shift = 1 };

  ArchiveStore(std::string path, platform::Board& board, DeviceState& state, const IdentityMemory& identity);

  // Creates the file when the path certainly names nothing (never over an existing file), else
  // validates it against the device's identity and registration, setting flags 0x0002 and
  // 0x0004 and clearing 0x0010 as the checks find.
  bool createOrValidate();
  // Opens the existing file for reading and writing, once.
  bool openArchive();

  // Numbers, closes and writes a finished document and does its per-type work; a result code.
  int storeDocument(const std::shared_ptr<BaseWorkDocument>& document);
  // Rebuilds stored document `number`, under the registration of the fiscalization it was made
  // under; a result code.
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

 private:
  class Journal;

  bool readAt(std::uint64_t offset, bytes::MutableView out);
  bool writeAt(std::uint64_t offset, bytes::View data);
  bool create();
  bool validate();
  std::uint32_t makeArchiveId() const;
  static std::uint64_t countersOffset(Counters which);
  void giveReportCounters(BaseWorkDocument& document);
  bool storeTypeWork(BaseWorkDocument& document, const DocDescriptor& descriptor, Journal& journal);
  bool storeCashMovement(const BaseWorkDocument& document, Journal& journal);
  void takeNewRegistration(const BaseWorkDocument& fiscalization);

  std::string path_;
  platform::Board& board_;
  DeviceState& state_;
  const IdentityMemory& identity_;
  std::unique_ptr<platform::RandomAccessFile> file_;
};
