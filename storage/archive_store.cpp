#include "storage/archive_store.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "core/state/result_code.h"
#include "documents/archive_close_doc.h"
#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "documents/document_factory.h"
#include "documents/fiscalization_document.h"
#include "platform/log.h"
#include "storage/archive_layout.h"
#include "storage/card.h"
#include "storage/cash_archive.h"
#include "storage/rollback_journal.h"
#include "storage/receipt_archive.h"
#include "values/crc.h"

using namespace archive_layout;

namespace {

constexpr std::uint64_t kCapacityUnit = 32768;
constexpr std::uint64_t kCreatedSize = kDataOffset;

bool isEmptySlot(const DocDescriptor& slot) {
  return slot.documentNumber() == 0 && slot.dataLength() == 0 && slot.shiftNumber() == 0 && slot.dataOffset() == 0;
}

bool isRecordOffset(std::uint64_t offset) {
  return offset >= kIndexOffset && offset <= kLastDocumentSlot && (offset - kIndexOffset) % kRecordSize == 0;
}

bytes::Bytes copyOf(bytes::View view) { return bytes::Bytes(view.begin(), view.end()); }

// Reads a 64-byte record as the transaction would leave it.
bool readRecord(StoreTransaction& transaction, std::uint64_t offset, DocDescriptor& out) {
  bytes::Bytes record(DocDescriptor::kSize);
  if (!transaction.read(offset, record)) return false;
  out = DocDescriptor::fromBytes(record);
  return true;
}

// Index records read at start-up while looking for the newest sound one.
constexpr std::uint32_t kRecordsPerRead = 1024;
// Bytes read at a time while looking over a whole head.
constexpr std::uint64_t kScanBytes = kRecordSize * kRecordsPerRead;

}  // namespace

ArchiveStore::ArchiveStore(std::string path, platform::Board& board, DeviceState& state, IdentityMemory& identity)
    : path_(std::move(path)),
      journalPath_(path_ + journal::kFileSuffix),
      board_(board),
      state_(state),
      identity_(identity) {}

bool ArchiveStore::readAt(std::uint64_t offset, bytes::MutableView out) {
  return file_ && file_->readAt(offset, out);
}

bool ArchiveStore::writeAt(std::uint64_t offset, bytes::View data) {
  return file_ && file_->writeAt(offset, data);
}

// --- creation and validation ---

bool ArchiveStore::createOrValidate() {
  switch (board_.pathState(path_)) {
    case platform::PathState::Missing: return create();
    case platform::PathState::Exists: break;
    case platform::PathState::Unknown: return refuse("ARCHIVE CANNOT BE LOOKED UP");  // never created over a file that may be there
  }
  if (!openArchive()) return refuse("ARCHIVE CANNOT BE OPENED");
  switch (recoverJournal(*file_, *journal_)) {
    case JournalRecovery::Clean: break;
    case JournalRecovery::Committed: platform::logLine("ARCHIVE JOURNAL: STORE COMPLETED"); break;
    case JournalRecovery::RolledBack: platform::logLine("ARCHIVE JOURNAL: STORE ROLLED BACK"); break;
    case JournalRecovery::Failed: return refuse("ARCHIVE JOURNAL CANNOT BE RESOLVED");
  }
  // Nothing is repaired or followed in a file that is not an archive; a creation cut short is
  // made again.
  if (!hasArchiveMarks()) {
    const std::optional<bool> unfinished = isUnfinishedCreation();
    if (!unfinished) return refuse("ARCHIVE CANNOT BE READ");
    if (!*unfinished) return refuse("ARCHIVE DAMAGED: A MAGIC OR THE ARCHIVE ID IS MISSING");
    platform::logLine("ARCHIVE CREATION WAS CUT SHORT: CREATING IT AGAIN");
    platform::logLine("CREATE NEW STORAGE FILE ");
    if (!writeArchiveMarks(*file_)) return refuse("ARCHIVE CANNOT BE CREATED");
    return true;
  }
  if (examineHead() == Head::Damaged) return false;
  followArchiveRegistration();
  return validate();
}

bool ArchiveStore::create() {
  platform::logLine("CREATE NEW STORAGE FILE ");
  auto file = board_.openFile(path_, platform::FileMode::CreateNew);
  if (!file || !writeArchiveMarks(*file)) return refuse("ARCHIVE CANNOT BE CREATED");
  return true;
}

// The magic at 0, the archive id, the magic at the boundary (the space between stays zero),
// then the sync: a new archive of exactly its head's length.
bool ArchiveStore::writeArchiveMarks(platform::RandomAccessFile& file) {
  bytes::Bytes magic, id;
  bytes::appendU32(magic, kMagic);
  bytes::appendU32(id, makeArchiveId());
  const bool written = file.writeAt(kMagicOffset, magic) && file.writeAt(kArchiveIdOffset, id) &&
                       file.writeAt(kSecondMagicOffset, magic) && file.sync();
  return written && file.size() == kCreatedSize;
}

// What a creation cut short leaves, whichever of its writes reached the card: a file no longer
// than a new archive, zero but where the marks go. It holds no document, registration or
// counter, so nothing is lost by creating it again. Empty when the file cannot be read.
std::optional<bool> ArchiveStore::isUnfinishedCreation() {
  const auto size = file_->size();
  if (!size) return std::nullopt;
  if (*size > kCreatedSize) return false;
  constexpr std::pair<std::uint64_t, std::uint64_t> kMarks[] = {{kMagicOffset, kArchiveIdOffset + 4},
                                                                {kSecondMagicOffset, kDataOffset}};
  bytes::Bytes chunk;
  for (std::uint64_t at = 0; at < *size; at += chunk.size()) {
    chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kScanBytes, *size - at)));
    if (!readAt(at, chunk)) return std::nullopt;
    for (const auto& [from, to] : kMarks) {
      for (std::uint64_t byte = std::max(from, at); byte < std::min(to, at + chunk.size()); ++byte) chunk[byte - at] = 0;
    }
    if (std::any_of(chunk.begin(), chunk.end(), [](std::uint8_t byte) { return byte != 0; })) return false;
  }
  return true;
}

bool ArchiveStore::refuse(const char* diagnostic) {
  platform::logLine(diagnostic);
  state_.setStatusFlag(FrStatus::kArchiveReady, false);
  file_.reset();
  journal_.reset();
  return false;
}

// Both magics and an archive id.
bool ArchiveStore::hasArchiveMarks() {
  bytes::Bytes head(8), secondMagic(4);
  if (!readAt(0, head) || !readAt(kSecondMagicOffset, secondMagic)) return false;
  return bytes::loadU32(head, 0) == kMagic && bytes::loadU32(secondMagic, 0) == kMagic && bytes::loadU32(head, 4) != 0;
}

// The stored identity against the device's.
bool ArchiveStore::validate() {
  bytes::Bytes model(ModelData::kSize), registration(RegData::kSize);
  if (!readAt(kModelDataOffset, model) || !readAt(kRegDataOffset, registration)) return refuse("ARCHIVE CANNOT BE READ");

  const ModelData storedModel = ModelData::fromBytes(model);
  const auto currentModel = state_.currentModelData();
  if (storedModel.isValid() && !(storedModel == *currentModel)) {
    // A record that names this device but whose check value fails is damage, not a stranger.
    if (storedModel.modelCode() == currentModel->modelCode() &&
        storedModel.serialNumber() == currentModel->serialNumber() && !storedModel.verify(state_.deviceKey())) {
      return refuse("ARCHIVE MODEL RECORD DAMAGED");
    }
    state_.setStatusFlag(FrStatus::kForeignArchive, true);
    return refuse("ARCHIVE OF ANOTHER DEVICE");
  }
  const RegData storedRegistration = RegData::fromBytes(registration);
  if (storedRegistration == *state_.currentRegData()) {
    state_.setStatusFlag(FrStatus::kRegistrationMatches, true);
    return true;
  }
  if (storedRegistration.isComplete()) return refuse("ARCHIVE HOLDS ANOTHER REGISTRATION");
  state_.setStatusFlag(FrStatus::kRegistrationMatches, false);
  return true;
}

bool ArchiveStore::openArchive() {
  if (file_ && journal_) return true;
  if (board_.pathState(path_) != platform::PathState::Exists) return false;
  file_ = board_.openFile(path_, platform::FileMode::ReadWrite);
  journal_ = file_ ? board_.openFile(journalPath_, platform::FileMode::OpenOrCreate) : nullptr;
  if (!journal_) file_.reset();
  return file_ != nullptr;
}

// --- damage found before it spreads ---

// The last-document slot must carry a sound header check value, equal its index record, and
// end its document inside the file; the next document goes right after it.
ArchiveStore::Head ArchiveStore::examineHead() {
  const auto size = file_->size();
  DocDescriptor last, indexed;
  if (!size || !readSlot(kLastDocumentSlot, last)) return damaged("ARCHIVE CANNOT BE READ");
  if (*size < kCreatedSize) return damaged("ARCHIVE DAMAGED: SHORTER THAN ITS HEAD");
  // An empty slot is sound only over an empty index: a zeroed slot must not let the next
  // document be number 1 again.
  if (isEmptySlot(last)) {
    DocDescriptor first;
    if (!readDescriptor(1, first)) return damaged("ARCHIVE CANNOT BE READ");
    return isEmptySlot(first) ? Head::Sound : rebuildLastDocumentSlot();
  }
  const std::uint32_t number = last.documentNumber();
  const bool slotSound = headerSound(last) && number >= 1 &&
                         number <= kIndexCapacity && readDescriptor(number, indexed) && indexed == last &&
                         last.dataOffset() >= kDataOffset;
  if (!slotSound) return rebuildLastDocumentSlot();
  if (last.dataOffset() + last.dataLength() > *size) {
    return damaged("ARCHIVE DAMAGED: SHORTER THAN ITS LAST DOCUMENT");
  }
  return Head::Sound;
}

// A receipt's header check value needs its data (the stored form's length); data that cannot
// be read leave the header unsound.
bool ArchiveStore::headerSound(const DocDescriptor& descriptor) {
  bytes::Bytes data;
  if (descriptor.type() == DocumentType::kReceipt) {
    data.resize(descriptor.dataLength());
    if (!readAt(descriptor.dataOffset(), data)) return false;
  }
  return receipt_archive::headerSound(descriptor, data);
}

// The index from document 1 up to its first empty record must be one unbroken chain of sound
// records lying inside the file; its newest record becomes the slot. Anything less refuses
// the archive rather than guessing where the next document may go.
ArchiveStore::Head ArchiveStore::rebuildLastDocumentSlot() {
  const std::uint64_t size = file_->size().value_or(0);
  std::uint64_t end = kDataOffset;
  std::optional<DocDescriptor> newest;
  bool ended = false;
  for (std::uint32_t first = 1; first <= kIndexCapacity && !ended; first += kRecordsPerRead) {
    const std::uint32_t count = std::min(kRecordsPerRead, kIndexCapacity - first + 1);
    bytes::Bytes records(kRecordSize * count);
    if (!readAt(indexRecordOffset(first), records)) return damaged("ARCHIVE CANNOT BE READ");
    for (std::uint32_t i = 0; i < count; ++i) {
      const DocDescriptor record = DocDescriptor::fromBytes(bytes::slice(records, kRecordSize * i, kRecordSize));
      ended = isEmptySlot(record);
      if (ended) break;
      const bool sound = record.documentNumber() == first + i && record.dataOffset() == end &&
                         end + record.dataLength() <= size && headerSound(record);
      if (!sound) return damaged("ARCHIVE DAMAGED: LAST DOCUMENT SLOT AND INDEX CANNOT BE RECONCILED");
      end += record.dataLength();
      newest = record;
    }
  }
  const DocDescriptor slot = newest.value_or(DocDescriptor());
  if (!writeSlot(kLastDocumentSlot, slot)) return damaged("ARCHIVE CANNOT BE WRITTEN");
  platform::logLine("ARCHIVE LAST DOCUMENT SLOT REBUILT FROM THE INDEX");
  return Head::Rebuilt;
}

// The identity memory learns a registration only after the archive committed it; a crash in
// between leaves it with the older one. For an archive of this device (its model record is the
// device's) whose registration is sealed for this device and not older than the memory's, the
// memory is brought up to date: when it holds no sound registration, or an older one of this
// same archive.
void ArchiveStore::followArchiveRegistration() {
  const auto model = state_.currentModelData();
  const auto current = state_.currentRegData();
  const auto storedModel = storedModelData();
  const auto stored = storedRegData();
  if (!model->isValid() || !(*storedModel == *model) || *stored == *current) return;
  if (!stored->isComplete() || !stored->verify(model->serialNumber(), state_.deviceKey())) return;
  // A sound registration of another archive, or a newer one, is not this archive's to replace.
  const bool currentSound = current->isComplete() && current->verify(model->serialNumber(), state_.deviceKey());
  if (currentSound &&
      (current->archiveId() != archiveId() || current->registrationTime() > stored->registrationTime())) {
    return;
  }
  platform::logLine("IDENTITY MEMORY REGISTRATION TAKEN FROM THE ARCHIVE");
  if (!identity_.writeRegData(*stored)) {
    state_.setStatusFlag(FrStatus::kIdentityFault, true);
    platform::logLine("REGISTRATION NOT WRITTEN TO IDENTITY MEMORY");
  }
  state_.publishRegData(*stored);
}

ArchiveStore::Head ArchiveStore::damaged(const char* diagnostic) {
  refuse(diagnostic);
  return Head::Damaged;
}

void ArchiveStore::markUnusable() {
  unusable_ = true;
  state_.setStatusFlag(FrStatus::kArchiveReady, false);
  platform::logLine("ARCHIVE UNUSABLE UNTIL RESTART: A STORE COULD NOT BE UNDONE");
}

// (years since 2000) << 25 | month << 21 | day << 16 | CRC-16 of the time, a random value and
// the device key.
std::uint32_t ArchiveStore::makeArchiveId() const {
  const std::int64_t now = board_.now();
  std::srand(static_cast<unsigned>(now));
  const int random = std::rand();
  bytes::Bytes seed;
  bytes::appendU32(seed, static_cast<std::uint32_t>(now));
  bytes::appendU32(seed, static_cast<std::uint32_t>(random));
  bytes::appendBytes(seed, state_.deviceKey());
  const std::time_t moment = static_cast<std::time_t>(now);
  std::tm local{};
  localtime_r(&moment, &local);
  const auto years = static_cast<std::uint32_t>(local.tm_year - 100);
  const auto month = static_cast<std::uint32_t>(local.tm_mon + 1);
  const auto day = static_cast<std::uint32_t>(local.tm_mday);
  return (years << 25) | (month << 21) | (day << 16) | crc::crc16(seed);
}

// --- records ---

bool ArchiveStore::readDescriptor(std::uint32_t number, DocDescriptor& out) {
  if (number < 1 || number > kIndexCapacity) return false;
  return readSlot(indexRecordOffset(number), out);
}

bool ArchiveStore::readSlot(std::uint64_t offset, DocDescriptor& out) {
  if (!isRecordOffset(offset)) return false;
  bytes::Bytes record(DocDescriptor::kSize);
  if (!readAt(offset, record)) return false;
  out = DocDescriptor::fromBytes(record);
  return true;
}

bool ArchiveStore::writeSlot(std::uint64_t offset, const DocDescriptor& record) {
  if (!isRecordOffset(offset)) return false;
  return writeAt(offset, record.bytes()) && file_->sync();
}

std::pair<std::uint32_t, std::uint32_t> ArchiveStore::lastDocumentInfo() {
  DocDescriptor last;
  if (!readSlot(kLastDocumentSlot, last)) return {0, 0};
  return {last.documentNumber(), last.dateTime()};
}

std::uint64_t ArchiveStore::countersOffset(Counters which) {
  return which == Counters::Shift ? kShiftCountersOffset : kPeriodCountersOffset;
}

bool ArchiveStore::readCounters(Counters which, CounterSet& out) {
  bytes::Bytes record(CounterSet::kSize);
  if (!readAt(countersOffset(which), record)) return false;
  out = CounterSet::load(record);
  out.numberKinds();
  return true;
}

bool ArchiveStore::writeCounters(Counters which, const CounterSet& block) {
  CounterSet numbered = block;
  numbered.numberKinds();
  return writeAt(countersOffset(which), encodeBlock(numbered)) && file_->sync();
}

bool ArchiveStore::resetCounters(Counters which, std::uint16_t shiftNumber) {
  CounterSet zero;
  zero.shiftNumber = shiftNumber;
  return writeCounters(which, zero);
}

bool ArchiveStore::readTotals(TotalCounters& out) {
  bytes::Bytes record(TotalCounters::kSize);
  if (!readAt(kTotalsOffset, record)) return false;
  out = TotalCounters::load(record);
  out.numberKinds();
  return true;
}

bool ArchiveStore::writeTotals(const TotalCounters& block) {
  TotalCounters numbered = block;
  numbered.numberKinds();
  return writeAt(kTotalsOffset, encodeBlock(numbered)) && file_->sync();
}

bool ArchiveStore::readSectionSums(std::vector<SectionSums>& out, std::size_t count) {
  if (count < 1 || count > kReceiptKinds) return false;
  bytes::Bytes record(SectionSums::kSize * count);
  if (!readAt(kSectionSumsOffset, record)) return false;
  out.clear();
  for (std::size_t kind = 0; kind < count; ++kind) out.push_back(SectionSums::load(record, SectionSums::kSize * kind));
  return true;
}

std::uint8_t ArchiveStore::fiscalizationCount() {
  bytes::Bytes count(1);
  return readAt(kFiscalizationCountOffset, count) ? count[0] : 0;
}

std::uint32_t ArchiveStore::archiveId() {
  bytes::Bytes id(4);
  return readAt(kArchiveIdOffset, id) ? bytes::loadU32(id, 0) : 0;
}

std::shared_ptr<const ModelData> ArchiveStore::storedModelData() {
  bytes::Bytes record(ModelData::kSize);
  if (!readAt(kModelDataOffset, record)) return std::make_shared<const ModelData>();
  return std::make_shared<const ModelData>(ModelData::fromBytes(record));
}

std::shared_ptr<const RegData> ArchiveStore::storedRegData() {
  bytes::Bytes record(RegData::kSize);
  if (!readAt(kRegDataOffset, record)) return std::make_shared<const RegData>();
  return std::make_shared<const RegData>(RegData::fromBytes(record));
}

// --- storing ---

int ArchiveStore::storeDocument(const std::shared_ptr<BaseWorkDocument>& document) {
  if (!document || !document->isStorable() || !DocumentType::isKnown(document->type())) return result::kNotStorable;
  if (unusable_ || !openArchive()) return result::kArchiveNotReady;
  if (examineHead() == Head::Damaged) return result::kArchiveNotReady;

  StoreTransaction transaction(*file_, *journal_);
  DocDescriptor last;
  if (!readRecord(transaction, kLastDocumentSlot, last)) return result::kArchiveNotReady;
  const bool first = isEmptySlot(last);
  const std::uint32_t number = first ? 1 : last.documentNumber() + 1;
  const std::uint64_t offset = first ? kDataOffset : last.dataOffset() + last.dataLength();
  // The index must never run into the slots that follow it.
  if (number > kIndexCapacity) return result::kCardFull;

  std::uint32_t fiscalizationNumber = number;
  if (document->type() == DocumentType::kFiscalization) {
    bytes::Bytes count(1);
    if (!transaction.read(kFiscalizationCountOffset, count)) return result::kArchiveNotReady;
    if (count[0] >= kMaxFiscalizations) return result::kNotStorable;
  } else {
    DocDescriptor lastFiscalization;
    if (!readRecord(transaction, kLastFiscalizationSlot, lastFiscalization)) return result::kArchiveNotReady;
    fiscalizationNumber = lastFiscalization.documentNumber();
  }
  if (!giveReportCounters(*document)) return result::kArchiveNotReady;

  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  if (!document->closeDocument(descriptor, stored, number, fiscalizationNumber, state_.deviceKey(), offset)) {
    return result::kNotClosable;
  }
  // The data lie past the committed end, where nothing counts until the commit; a receipt's
  // pieces follow its stored form.
  if (document->type() == DocumentType::kReceipt) {
    auto& receipt = static_cast<ReceiptDoc&>(*document);  // the class of type 3
    const auto write = [&transaction](std::uint64_t at, bytes::View data) { return transaction.writeData(at, data); };
    if (const int code = receipt_archive::writeData(receipt, stored, offset, *descriptor, write); code != result::kSuccess) {
      return code;
    }
  } else {
    if (stored.size() > document->maxStoredSize()) return result::kTooLong;
    if (!transaction.writeData(offset, stored)) return result::kArchiveNotReady;
  }

  const bool prepared = transaction.change(indexRecordOffset(number), copyOf(descriptor->bytes())) &&
                        storeTypeWork(*document, *descriptor, transaction);
  if (!prepared) return result::kArchiveNotReady;  // nothing in the fixed areas changed yet
  switch (transaction.commit(*descriptor)) {
    case StoreTransaction::Outcome::Committed: break;
    case StoreTransaction::Outcome::Failed: return result::kArchiveNotReady;
    case StoreTransaction::Outcome::Unusable: markUnusable(); return result::kArchiveNotReady;
  }
  if (document->type() == DocumentType::kFiscalization) takeNewRegistration(*document);
  return result::kSuccess;
}

// A shift closing carries the shift counters, an archive closing the period counters and the
// totals, a re-registration the period counters; false when a block cannot be read (the store
// fails rather than keep a report without its counters). The document factory makes the class
// of each type, so the type names the class.
bool ArchiveStore::giveReportCounters(BaseWorkDocument& document) {
  CounterSet counters;
  TotalCounters totals;
  switch (document.type()) {
    case DocumentType::kShiftClosing:
      if (!readCounters(Counters::Shift, counters)) return false;
      static_cast<CloseCycleDoc&>(document).setShiftCounters(counters);
      return true;
    case DocumentType::kArchiveClosing: {
      if (!readTotals(totals) || !readCounters(Counters::Period, counters)) return false;
      auto& closing = static_cast<ArchiveCloseDoc&>(document);
      closing.setArchiveTotals(totals);
      closing.setPeriodCounters(counters);
      return true;
    }
    case DocumentType::kFiscalization: {
      bytes::Bytes count(1);
      if (!readAt(kFiscalizationCountOffset, count)) return false;
      if (count[0] == 0) return true;  // a first registration reports no period
      if (!readCounters(Counters::Period, counters)) return false;
      static_cast<FiscalizationDocument&>(document).setPeriodCounters(counters);
      return true;
    }
    default:
      return true;
  }
}

bool ArchiveStore::storeTypeWork(BaseWorkDocument& document, const DocDescriptor& descriptor,
                                 StoreTransaction& transaction) {
  const bytes::Bytes record = copyOf(descriptor.bytes());
  const auto read = [&transaction](std::uint64_t at, bytes::MutableView out) { return transaction.read(at, out); };
  const auto change = [&transaction](std::uint64_t at, bytes::Bytes contents) { return transaction.change(at, std::move(contents)); };
  switch (document.type()) {
    case DocumentType::kFiscalization: {
      bytes::Bytes count(1), number;
      if (!transaction.read(kFiscalizationCountOffset, count)) return false;
      bytes::appendU32(number, descriptor.documentNumber());
      CounterSet zero;
      zero.numberKinds();
      return transaction.change(kLastFiscalizationSlot, record) &&
             transaction.change(kModelDataOffset, copyOf(document.modelData().bytes())) &&
             transaction.change(kRegDataOffset, copyOf(document.regData().bytes())) &&
             transaction.change(kFiscalizationTableOffset + kFiscalizationEntrySize * count[0], number) &&
             transaction.change(kFiscalizationCountOffset, {static_cast<std::uint8_t>(count[0] + 1)}) &&
             transaction.change(kPeriodCountersOffset, encodeBlock(zero));
    }
    case DocumentType::kShiftOpening: {
      // A fresh shift block; of the period counters and the totals only their u16 shift fields
      // change (shifts opened since the fiscalization, the current shift number).
      const std::uint16_t shift = descriptor.shiftNumber();
      CounterSet shiftCounters;
      shiftCounters.shiftNumber = shift;
      shiftCounters.numberKinds();
      // TotalCounters shares the shift field of CounterSet.
      constexpr std::uint64_t kShiftsOpened = kPeriodCountersOffset + CounterSet::kShiftNumberField.offset;
      constexpr std::uint64_t kCurrentShift = kTotalsOffset + CounterSet::kShiftNumberField.offset;
      bytes::Bytes opened(CounterSet::kShiftNumberField.width), current;
      if (!transaction.read(kShiftsOpened, opened)) return false;
      bytes::storeU16(opened, 0, static_cast<std::uint16_t>(bytes::loadU16(opened, 0) + 1));
      bytes::appendU16(current, shift);
      return transaction.change(kLastShiftOpenSlot, record) &&
             transaction.change(kShiftCountersOffset, encodeBlock(shiftCounters)) &&
             transaction.change(kShiftsOpened, opened) && transaction.change(kCurrentShift, current) &&
             transaction.change(kSectionSumsOffset, bytes::Bytes(SectionSums::kSize * kReceiptKinds, 0));
    }
    case DocumentType::kShiftClosing:
      return transaction.change(kLastShiftCloseSlot, record);
    case DocumentType::kCashDeposit:
    case DocumentType::kCashPayout:
      // The class of types 5 and 6.
      return cash_archive::addToCounters(static_cast<const CashCtrlDocument&>(document), read, change);
    case DocumentType::kReceipt:
      return receipt_archive::addToCounters(static_cast<const ReceiptDoc&>(document), read, change);  // type 3
    default:
      return true;  // an archive closing is only its document
  }
}

// The registration of a stored fiscalization becomes the one in force. A failed write to the
// identity memory is recorded (flag 0x0040); the next start takes the registration from the
// archive.
void ArchiveStore::takeNewRegistration(const BaseWorkDocument& fiscalization) {
  if (!identity_.writeRegData(fiscalization.regData())) {
    state_.setStatusFlag(FrStatus::kIdentityFault, true);
    platform::logLine("REGISTRATION NOT WRITTEN TO IDENTITY MEMORY");
  }
  state_.publishRegData(fiscalization.regData());
}

// --- loading ---

int ArchiveStore::loadDocument(std::uint32_t number, std::shared_ptr<BaseWorkDocument>& out) {
  DocDescriptor last, lastFiscalization, descriptor;
  if (!readSlot(kLastDocumentSlot, last)) return result::kArchiveNotReady;
  if (number > last.documentNumber()) return result::kNotFound;
  if (!readSlot(kLastFiscalizationSlot, lastFiscalization)) return result::kArchiveNotReady;
  if (number == last.documentNumber()) {
    descriptor = last;
  } else if (!readDescriptor(number, descriptor)) {
    return result::kArchiveNotReady;
  }

  const auto rebuild = [&](const DocDescriptor& record, const RegData* registration) {
    bytes::Bytes data(record.dataLength());
    if (!readAt(record.dataOffset(), data)) return std::shared_ptr<BaseWorkDocument>();
    const auto model = state_.currentModelData();
    auto document = rebuildDocument(record, data, model.get(), registration);
    // The registration it made, and that every document under it carries, sealed again.
    if (document && document->type() == DocumentType::kFiscalization) {
      static_cast<FiscalizationDocument&>(*document).sealRebuiltRegistration(state_.deviceKey());  // the class of type 1
    }
    return document;
  };

  const std::uint32_t fiscalization = descriptor.fiscalizationNumber();
  if (fiscalization == lastFiscalization.documentNumber()) {
    out = rebuild(descriptor, state_.currentRegData().get());
    return out ? result::kSuccess : result::kArchiveNotReady;
  }
  // Made under an earlier fiscalization: its registration comes from that document.
  DocDescriptor fiscalizationRecord;
  if (fiscalization == 0 || fiscalization > last.documentNumber() ||
      !readDescriptor(fiscalization, fiscalizationRecord)) {
    return result::kArchiveNotReady;
  }
  auto earlier = rebuild(fiscalizationRecord, nullptr);
  if (!earlier) return result::kArchiveNotReady;
  if (number == fiscalization) {
    out = earlier;
    return result::kSuccess;
  }
  out = rebuild(descriptor, &earlier->regData());
  return out ? result::kSuccess : result::kArchiveNotReady;
}

// --- start-up ---

void ArchiveStore::loadShiftState() {
  DocDescriptor opening, closing, last;
  if (readSlot(kLastShiftOpenSlot, opening) && opening.shiftNumber() != 0) {
    const std::uint16_t shift = opening.shiftNumber();
    state_.setShiftNumber(shift);
    state_.setShiftOpeningNumber(opening.documentNumber());
    state_.setShiftOpeningTime(opening.dateTime());
    if (readSlot(kLastShiftCloseSlot, closing)) {
      const bool open = closing.shiftNumber() < shift;
      state_.setStatusFlag(FrStatus::kShiftOpen, open);
      if (!open) {
        state_.setShiftClosingNumber(closing.documentNumber());
        state_.setShiftClosingTime(closing.dateTime());
      } else {
        state_.setShiftClosingNumber(0);
        state_.setShiftClosingTime(0);
        if (readSlot(kLastDocumentSlot, last)) state_.setShiftClosingNumber(last.documentNumber());
      }
    }
    CounterSet counters;
    if (readCounters(Counters::Shift, counters)) {
      state_.setReceiptCounter(static_cast<std::uint16_t>(counters.receipts));
      state_.setDrawerCash(static_cast<std::uint64_t>(counters.drawerCash));
    }
  }
  if (readSlot(kLastDocumentSlot, last)) {
    state_.setStatusFlag(FrStatus::kArchiveClosed, last.type() == DocumentType::kArchiveClosing);
  }
}

std::uint32_t ArchiveStore::documentCapacity() {
  if (!card::cardMounted(board_)) return 0;
  const std::uint64_t bySpace = std::min<std::uint64_t>(card::cardSpace(board_) / kCapacityUnit, kIndexCapacity);
  const std::uint32_t used = lastDocumentInfo().first;
  const std::uint64_t byIndex = used < kIndexCapacity ? kIndexCapacity - used : 0;
  return static_cast<std::uint32_t>(std::min(bySpace, byIndex));
}
