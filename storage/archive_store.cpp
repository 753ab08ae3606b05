#include "storage/archive_store.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "documents/archive_close_doc.h"
#include "documents/document_factory.h"
#include "documents/fiscalization_document.h"
#include "platform/log.h"
#include "storage/archive_layout.h"
#include "storage/card.h"
#include "storage/receipt_archive.h"
#include "values/crc.h"

using namespace archive_layout;

namespace {

constexpr std::uint64_t kCapacityUnit = 32768;
constexpr std::uint64_t kCreatedSize = kDataOffset;

// Sums wrap as 64-bit two's complement instead of overflowing.
std::int64_t addWrapping(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

bool isEmptySlot(const DocDescriptor& slot) {
  return slot.documentNumber() == 0 && slot.dataLength() == 0 && slot.shiftNumber() == 0 && slot.dataOffset() == 0;
}

}  // namespace

// Remembers what each write in the fixed areas replaced, so that a store failing before its
// commit can put it back.
class ArchiveStore::Journal {
 public:
  explicit Journal(ArchiveStore& store) : store_(store) {}

  bool write(std::uint64_t offset, bytes::View data) {
    bytes::Bytes before(data.size());
    if (!store_.readAt(offset, before)) return false;
    undo_.emplace_back(offset, std::move(before));
    return store_.writeAt(offset, data);
  }

  void rollBack() {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) store_.writeAt(it->first, it->second);
    store_.file_->flush();
    undo_.clear();
  }

 private:
  ArchiveStore& store_;
  std::vector<std::pair<std::uint64_t, bytes::Bytes>> undo_;
};

ArchiveStore::ArchiveStore(std::string path, platform::Board& board, DeviceState& state,
                           const IdentityMemory& identity)
    : path_(std::move(path)), board_(board), state_(state), identity_(identity) {}

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
    case platform::PathState::Exists: return validate();
    case platform::PathState::Unknown: break;  // never create over a file that may be there
  }
  return false;
}

bool ArchiveStore::create() {
  platform::logLine("CREATE NEW STORAGE FILE ");
  auto file = board_.openFile(path_, platform::FileMode::CreateNew);
  if (!file) return false;
  bytes::Bytes magic, id;
  bytes::appendU32(magic, kMagic);
  bytes::appendU32(id, makeArchiveId());
  const bool written = file->writeAt(kMagicOffset, magic) && file->writeAt(kArchiveIdOffset, id) &&
                       file->writeAt(kSecondMagicOffset, magic) && file->flush();
  return written && file->size() == kCreatedSize;
}

bool ArchiveStore::validate() {
  auto file = board_.openFile(path_, platform::FileMode::ReadOnly);
  if (!file) return false;
  bytes::Bytes head(8), secondMagic(4), model(ModelData::kSize), registration(RegData::kSize);
  if (!file->readAt(0, head) || !file->readAt(kSecondMagicOffset, secondMagic)) return false;
  if (bytes::loadU32(head, 0) != kMagic || bytes::loadU32(secondMagic, 0) != kMagic) return false;
  if (bytes::loadU32(head, 4) == 0) return false;
  if (!file->readAt(kModelDataOffset, model) || !file->readAt(kRegDataOffset, registration)) return false;

  const ModelData storedModel = ModelData::fromBytes(model);
  if (storedModel.isValid() && !(storedModel == *state_.currentModelData())) {
    state_.setStatusFlag(FrStatus::kForeignArchive, true);
    return false;
  }
  const RegData storedRegistration = RegData::fromBytes(registration);
  if (storedRegistration == *state_.currentRegData()) {
    state_.setStatusFlag(FrStatus::kRegistrationMatches, true);
    return true;
  }
  if (storedRegistration.isComplete()) {
    state_.setStatusFlag(FrStatus::kArchiveReady, false);
    return false;
  }
  state_.setStatusFlag(FrStatus::kRegistrationMatches, false);
  return true;
}

bool ArchiveStore::openArchive() {
  if (file_) return true;
  if (board_.pathState(path_) != platform::PathState::Exists) return false;
  file_ = board_.openFile(path_, platform::FileMode::ReadWrite);
  return file_ != nullptr;
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
  if (offset < kIndexOffset || offset > kLastDocumentSlot || (offset - kIndexOffset) % kRecordSize != 0) return false;
  bytes::Bytes record(DocDescriptor::kSize);
  if (!readAt(offset, record)) return false;
  out = DocDescriptor::fromBytes(record);
  return true;
}

bool ArchiveStore::writeSlot(std::uint64_t offset, const DocDescriptor& record) {
  if (offset < kIndexOffset || offset > kLastDocumentSlot || (offset - kIndexOffset) % kRecordSize != 0) return false;
  return writeAt(offset, record.bytes()) && file_->flush();
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
  return writeAt(countersOffset(which), encodeBlock(numbered)) && file_->flush();
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
  return writeAt(kTotalsOffset, encodeBlock(numbered)) && file_->flush();
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
  if (!document || !document->isStorable() || !DocumentType::isKnown(document->type())) return kNotStorable;
  if (!openArchive()) return kNotReady;
  DocDescriptor last;
  if (!readSlot(kLastDocumentSlot, last)) return kNotReady;

  const bool first = isEmptySlot(last);
  const std::uint32_t number = first ? 1 : last.documentNumber() + 1;
  const std::uint64_t offset = first ? kDataOffset : last.dataOffset() + last.dataLength();
  // The index must never run into the slots that follow it.
  if (number > kIndexCapacity) return kFull;

  std::uint32_t fiscalizationNumber = number;
  if (document->type() == DocumentType::kFiscalization) {
    if (fiscalizationCount() >= kMaxFiscalizations) return kNotStorable;
  } else {
    DocDescriptor lastFiscalization;
    if (!readSlot(kLastFiscalizationSlot, lastFiscalization)) return kNotReady;
    fiscalizationNumber = lastFiscalization.documentNumber();
  }
  giveReportCounters(*document);

  std::shared_ptr<DocDescriptor> descriptor;
  bytes::Bytes stored;
  if (!document->closeDocument(descriptor, stored, number, fiscalizationNumber, state_.deviceKey(), offset)) {
    return kNotClosed;
  }
  // The data and the index record lie where nothing counts until the commit.
  if (auto* receipt = dynamic_cast<ReceiptDoc*>(document.get())) {
    const auto write = [this](std::uint64_t at, bytes::View data) { return writeAt(at, data); };
    if (const int code = receipt_archive::writeData(*receipt, stored, offset, *descriptor, write); code != kOk) {
      return code;
    }
  } else {
    if (stored.size() > document->maxStoredSize()) return kTooLong;
    if (!writeAt(offset, stored)) return kNotReady;
  }
  if (!file_->flush()) return kNotReady;
  Journal journal(*this);
  const bool written = journal.write(indexRecordOffset(number), descriptor->bytes()) &&
                       storeTypeWork(*document, *descriptor, journal) &&
                       journal.write(kLastDocumentSlot, descriptor->bytes()) && file_->flush();
  if (!written) {
    journal.rollBack();
    return kNotReady;
  }
  if (document->type() == DocumentType::kFiscalization) takeNewRegistration(*document);
  return kOk;
}

// A shift closing carries the shift counters, an archive closing the period counters and the
// totals, a re-registration the period counters. A block that cannot be read is left out.
void ArchiveStore::giveReportCounters(BaseWorkDocument& document) {
  CounterSet counters;
  TotalCounters totals;
  if (auto* closing = dynamic_cast<CloseCycleDoc*>(&document)) {
    if (readCounters(Counters::Shift, counters)) closing->setShiftCounters(counters);
  } else if (auto* archiveClosing = dynamic_cast<ArchiveCloseDoc*>(&document)) {
    if (readTotals(totals)) archiveClosing->setArchiveTotals(totals);
    if (readCounters(Counters::Period, counters)) archiveClosing->setPeriodCounters(counters);
  } else if (auto* fiscalization = dynamic_cast<FiscalizationDocument*>(&document)) {
    if (fiscalizationCount() > 0 && readCounters(Counters::Period, counters)) {
      fiscalization->setPeriodCounters(counters);
    }
  }
}

bool ArchiveStore::storeTypeWork(BaseWorkDocument& document, const DocDescriptor& descriptor, Journal& journal) {
  switch (document.type()) {
    case DocumentType::kFiscalization: {
      const std::uint8_t count = fiscalizationCount();
      bytes::Bytes number, newCount{static_cast<std::uint8_t>(count + 1)};
      bytes::appendU32(number, descriptor.documentNumber());
      CounterSet zero;
      zero.numberKinds();
      return journal.write(kLastFiscalizationSlot, descriptor.bytes()) &&
             journal.write(kModelDataOffset, document.modelData().bytes()) &&
             journal.write(kRegDataOffset, document.regData().bytes()) &&
             journal.write(kFiscalizationTableOffset + 4ull * count, number) &&
             journal.write(kFiscalizationCountOffset, newCount) &&
             journal.write(kPeriodCountersOffset, encodeBlock(zero));
    }
    case DocumentType::kShiftOpening: {
      const std::uint16_t shift = descriptor.shiftNumber();
      CounterSet shiftCounters, period;
      TotalCounters totals;
      shiftCounters.shiftNumber = shift;
      shiftCounters.numberKinds();
      if (!readCounters(Counters::Period, period) || !readTotals(totals)) return false;
      period.shiftNumber = static_cast<std::uint16_t>(period.shiftNumber + 1);
      totals.shiftNumber = shift;
      totals.numberKinds();
      return journal.write(kLastShiftOpenSlot, descriptor.bytes()) &&
             journal.write(kShiftCountersOffset, encodeBlock(shiftCounters)) &&
             journal.write(kPeriodCountersOffset, encodeBlock(period)) &&
             journal.write(kTotalsOffset, encodeBlock(totals)) &&
             journal.write(kSectionSumsOffset, bytes::Bytes(SectionSums::kSize * kReceiptKinds, 0));
    }
    case DocumentType::kShiftClosing:
      return journal.write(kLastShiftCloseSlot, descriptor.bytes());
    case DocumentType::kCashDeposit:
    case DocumentType::kCashPayout:
      return storeCashMovement(document, journal);
    case DocumentType::kReceipt:
      return receipt_archive::addToCounters(
          static_cast<const ReceiptDoc&>(document),  // the class of type 3
          [this](std::uint64_t at, bytes::MutableView out) { return readAt(at, out); },
          [&journal](std::uint64_t at, bytes::Bytes contents) { return journal.write(at, contents); });
    default:
      return true;  // an archive closing is only its document
  }
}

// A deposit adds to the drawer; a payout takes at most what the shift counters hold, then at
// most what the period counters hold, and the totals count the amount that is left.
bool ArchiveStore::storeCashMovement(const BaseWorkDocument& document, Journal& journal) {
  const auto& cash = dynamic_cast<const CashCtrlDocument&>(document);
  std::int64_t amount = cash.amount().rescaled(100).mantissa();
  for (Counters which : {Counters::Shift, Counters::Period}) {
    CounterSet counters;
    if (!readCounters(which, counters)) return false;
    if (cash.isDeposit()) {
      counters.deposits = static_cast<std::uint16_t>(counters.deposits + 1);
      counters.depositSum = addWrapping(counters.depositSum, amount);
      counters.drawerCash = addWrapping(counters.drawerCash, amount);
    } else {
      amount = std::min(amount, counters.drawerCash);
      counters.payouts = static_cast<std::uint16_t>(counters.payouts + 1);
      counters.payoutSum = addWrapping(counters.payoutSum, amount);
      counters.drawerCash = addWrapping(counters.drawerCash, -amount);
    }
    if (!journal.write(countersOffset(which), encodeBlock(counters))) return false;
  }
  TotalCounters totals;
  if (!readTotals(totals)) return false;
  if (cash.isDeposit()) {
    totals.deposits = static_cast<std::uint16_t>(totals.deposits + 1);
    totals.depositSum = addWrapping(totals.depositSum, amount);
  } else {
    totals.payouts = static_cast<std::uint16_t>(totals.payouts + 1);
    totals.payoutSum = addWrapping(totals.payoutSum, amount);
  }
  return journal.write(kTotalsOffset, encodeBlock(totals));
}

// The registration of a stored fiscalization becomes the one in force. A failed write to the
// identity memory is recorded (flag 0x0040): the next start would otherwise find the archive's
// registration foreign without saying why.
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
  if (!readSlot(kLastDocumentSlot, last)) return kNotReady;
  if (number > last.documentNumber()) return kNoSuchDocument;
  if (!readSlot(kLastFiscalizationSlot, lastFiscalization)) return kNotReady;
  if (number == last.documentNumber()) {
    descriptor = last;
  } else if (!readDescriptor(number, descriptor)) {
    return kNotReady;
  }

  const auto rebuild = [&](const DocDescriptor& record, const RegData* registration) {
    bytes::Bytes data(record.dataLength());
    if (!readAt(record.dataOffset(), data)) return std::shared_ptr<BaseWorkDocument>();
    const auto model = state_.currentModelData();
    return rebuildDocument(record, data, model.get(), registration);
  };

  const std::uint32_t fiscalization = descriptor.fiscalizationNumber();
  if (fiscalization == lastFiscalization.documentNumber()) {
    out = rebuild(descriptor, state_.currentRegData().get());
    return out ? kOk : kNotReady;
  }
  // Made under an earlier fiscalization: its registration comes from that document.
  DocDescriptor fiscalizationRecord;
  if (fiscalization == 0 || fiscalization > last.documentNumber() ||
      !readDescriptor(fiscalization, fiscalizationRecord)) {
    return kNotReady;
  }
  auto earlier = rebuild(fiscalizationRecord, nullptr);
  if (!earlier) return kNotReady;
  if (number == fiscalization) {
    out = earlier;
    return kOk;
  }
  out = rebuild(descriptor, &earlier->regData());
  return out ? kOk : kNotReady;
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
