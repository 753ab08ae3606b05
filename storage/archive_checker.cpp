#include "storage/archive_checker.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <span>

#include "documents/cash_ctrl_document.h"
#include "documents/document_factory.h"
#include "documents/fiscalization_document.h"
#include "documents/receipt_doc.h"
#include "storage/archive_layout.h"
#include "storage/cash_archive.h"
#include "storage/counter_blocks.h"
#include "storage/identity_memory.h"
#include "storage/receipt_archive.h"
#include "storage/receipt_checker.h"
#include "values/crc.h"
#include "values/tags.h"
#include "values/tlv.h"

using namespace archive_layout;

namespace {

// The counter blocks and everything the store changes with them, as one copy the checker
// recomputes: shift counters, period counters, totals, fiscalization count and table, section sums.
constexpr std::uint64_t kCountersOffset = kShiftCountersOffset;
constexpr std::uint64_t kCountersSize = kZeroAreaOffset - kCountersOffset;
constexpr std::uint32_t kRecordsPerRead = 1024;
constexpr std::uint64_t kScanBlock = kRecordSize * kRecordsPerRead;  // bytes read at once where zeros are looked for

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string storedAndExpected(const std::string& stored, const std::string& expected) {
  return "stored " + stored + ", expected " + expected;
}

// A field of the checked bytes, at its offset there and named as its problems name it.
struct NamedField {
  std::size_t offset;
  std::size_t size;
  std::string name;
};

// Little-endian, signed when eight bytes wide (the sums).
std::string fieldValue(bytes::View record, const NamedField& field) {
  if (field.size == 8) return std::to_string(static_cast<std::int64_t>(bytes::loadU64(record, field.offset)));
  std::uint64_t value = 0;
  for (std::size_t i = field.size; i-- > 0;) value = value << 8 | record[field.offset + i];
  return field.size <= 4 ? std::to_string(value) : "bytes";
}

// The fields of a record's table, the record lying at `at`; each element of an array is a field
// of its own, numbered from 1 ("tax sum 1").
void addFields(std::vector<NamedField>& out, std::size_t at, const std::string& prefix,
               std::span<const bytes::Field> table) {
  for (const bytes::Field& field : table) {
    for (std::size_t i = 0; i < field.count; ++i) {
      const std::string number = field.count > 1 ? " " + std::to_string(i + 1) : "";
      out.push_back({at + field.element(i).offset, field.width, prefix + std::string(field.name) + number});
    }
  }
}

std::vector<NamedField> fieldsOf(std::span<const bytes::Field> table) {
  std::vector<NamedField> fields;
  addFields(fields, 0, "", table);
  return fields;
}

const std::vector<NamedField>& descriptorFields() {
  static const std::vector<NamedField> fields = fieldsOf(DocDescriptor::kFields);
  return fields;
}

const std::vector<NamedField>& regDataFields() {
  static const std::vector<NamedField> fields = fieldsOf(RegData::kFields);
  return fields;
}

const char* const kKindNames[kReceiptKinds] = {"sale", "purchase", "sale return", "purchase return"};

// A counter block's fields, those of its per-kind blocks named by their kind ("sale total").
template <typename Block, typename PerKind>
void addCounterBlock(std::vector<NamedField>& out, std::size_t at, const std::string& block) {
  for (const bytes::Field& field : Block::kFields) {
    if (field.offset != Block::kByKindField.offset) {
      addFields(out, at, block, {&field, 1});
      continue;
    }
    for (std::size_t k = 0; k < kReceiptKinds; ++k) {
      addFields(out, at + field.element(k).offset, block + kKindNames[k] + " ", PerKind::kFields);
    }
  }
}

// The fields of the recomputed area, named as the reports name them.
std::vector<NamedField> counterFields() {
  // Offsets within the counters' copy, which is small: they fit a size_t on every machine.
  constexpr std::size_t kShiftAt = kShiftCountersOffset - kCountersOffset;
  constexpr std::size_t kPeriodAt = kPeriodCountersOffset - kCountersOffset;
  constexpr std::size_t kTotalsAt = kTotalsOffset - kCountersOffset;
  constexpr std::size_t kTableAt = kFiscalizationTableOffset - kCountersOffset;
  constexpr std::size_t kSectionSumsAt = kSectionSumsOffset - kCountersOffset;
  std::vector<NamedField> fields;
  addCounterBlock<CounterSet, OperationCounters>(fields, kShiftAt, "shift counters: ");
  addCounterBlock<CounterSet, OperationCounters>(fields, kPeriodAt, "period counters: ");
  addCounterBlock<TotalCounters, OperationTotals>(fields, kTotalsAt, "archive totals: ");
  fields.push_back({kFiscalizationCountOffset - kCountersOffset, 1, "fiscalization count"});
  for (std::size_t i = 0; i < kMaxFiscalizations; ++i) {
    fields.push_back({kTableAt + kFiscalizationEntrySize * i, kFiscalizationEntrySize,
                      "fiscalization table entry " + std::to_string(i + 1)});
  }
  for (std::size_t k = 0; k < kReceiptKinds; ++k) {
    addFields(fields, kSectionSumsAt + SectionSums::kSize * k, std::string("section sums: ") + kKindNames[k] + " ",
              SectionSums::kFields);
  }
  return fields;
}

// The first field in which two records differ; null when they are equal.
const NamedField* firstDifference(const std::vector<NamedField>& fields, bytes::View a, bytes::View b) {
  for (const NamedField& field : fields) {
    if (!std::equal(a.begin() + field.offset, a.begin() + field.offset + field.size, b.begin() + field.offset)) {
      return &field;
    }
  }
  return nullptr;
}

// The offset of the first byte that is not zero; data.size() when all are. Long runs of zeros
// (the empty index of a young archive) are compared a block at a time.
std::size_t firstNonZero(bytes::View data) {
  static const std::array<std::uint8_t, 4096> kZeros{};
  std::size_t at = 0;
  while (data.size() - at >= kZeros.size() && std::memcmp(data.data() + at, kZeros.data(), kZeros.size()) == 0) {
    at += kZeros.size();
  }
  while (at < data.size() && data[at] == 0) ++at;
  return at;
}

bool allZero(bytes::View data) { return firstNonZero(data) == data.size(); }

class Checker {
 public:
  Checker(platform::RandomAccessFile& archive, const ArchiveCheckOptions& options)
      : archive_(archive), options_(options), counters_(kCountersSize, 0) {}

  std::vector<ArchiveProblem> run() {
    const auto size = archive_.size();
    if (!size || *size < kDataOffset) {
      fixedProblem(0, "file shorter than its fixed head",
                   "size " + std::to_string(size.value_or(0)) + ", at least " + std::to_string(kDataOffset));
      return problems_;
    }
    size_ = *size;
    checkMagics();
    checkIdentity();
    walkIndex();
    checkSlots();
    checkRegistration();
    checkCounters();
    checkZeroArea(kZeroAreaOffset, kSecondMagicOffset - kZeroAreaOffset, "zero area after the counters");
    if (unlisted_ > 0) problems_.push_back({0, 0, false, std::to_string(unlisted_) + " more problems not listed", ""});
    return problems_;
  }

 private:
  // Past the limit only the count grows.
  void problem(std::uint32_t document, std::uint64_t offset, std::string field, std::string detail = {}) {
    if (problems_.size() < kMaxArchiveProblems) {
      problems_.push_back({document, offset, false, std::move(field), std::move(detail)});
    } else {
      ++unlisted_;
    }
  }
  void fixedProblem(std::uint64_t offset, std::string field, std::string detail) {
    problem(0, offset, std::move(field), std::move(detail));
  }

  bytes::Bytes read(std::uint64_t offset, std::size_t count) {
    bytes::Bytes out(count);
    if (!archive_.readAt(offset, out)) {
      fixedProblem(offset, "unreadable", std::to_string(count) + " bytes");
      std::fill(out.begin(), out.end(), 0);
    }
    return out;
  }

  void checkMagics() {
    for (std::uint64_t offset : {kMagicOffset, kSecondMagicOffset}) {
      const std::uint32_t magic = bytes::loadU32(read(offset, 4), 0);
      if (magic != kMagic) fixedProblem(offset, "magic", storedAndExpected(hex(magic), hex(kMagic)));
    }
    archiveId_ = bytes::loadU32(read(kArchiveIdOffset, 4), 0);
    if (archiveId_ == 0) fixedProblem(kArchiveIdOffset, "archive id is zero", "");
  }

  // Signs are checked only with a model record that the key seals.
  void checkIdentity() {
    if (options_.identity == nullptr) return;
    signs_.emplace(*options_.identity);
    if (!signs_->usable()) {
      problems_.push_back({0, IdentityMemory::kModelDataOffset + ModelData::kCheckValueField.offset, true,
                           "model record not sealed with the device key", ""});
      signs_.reset();
    }
  }

  void walkIndex() {
    std::uint64_t end = kDataOffset;
    std::optional<DocDescriptor> previous;
    std::uint32_t total = 0;
    bytes::Bytes records;
    for (std::uint32_t n = 1; n <= kIndexCapacity; ++n) {
      const std::uint32_t inBatch = (n - 1) % kRecordsPerRead;
      if (inBatch == 0) {
        records = read(indexRecordOffset(n), kRecordSize * std::min(kRecordsPerRead, kIndexCapacity - n + 1));
        if (total == 0) total = lastSlotNumber();
        if (options_.progress) options_.progress(n - 1, total);
      }
      const DocDescriptor descriptor = DocDescriptor::fromBytes(bytes::slice(records, kRecordSize * inBatch, kRecordSize));
      if (descriptor == DocDescriptor()) {
        checkRestOfIndex(n);
        break;
      }
      if (!checkDocument(n, descriptor, previous, end)) break;
      previous = descriptor;
      lastNumber_ = n;
    }
    if (options_.progress) options_.progress(lastNumber_, lastNumber_);
  }

  // The number in the last-document slot, for the progress shown before the walk ends.
  std::uint32_t lastSlotNumber() {
    const std::uint32_t number = DocDescriptor::fromBytes(read(kLastDocumentSlot, kRecordSize)).documentNumber();
    return std::min(number, kIndexCapacity);
  }

  // Every record after the first empty one is empty too.
  void checkRestOfIndex(std::uint32_t firstEmpty) {
    const std::uint64_t begin = indexRecordOffset(firstEmpty);
    const auto at = firstNonZeroIn(begin, indexRecordOffset(kIndexCapacity) + kRecordSize - begin);
    if (!at) return;
    problem(firstEmpty + static_cast<std::uint32_t>((*at - begin) / kRecordSize), *at,
            "index record not empty after the first empty one (document " + std::to_string(firstEmpty) + ")");
  }

  // The first byte in [offset, offset + size) that is not zero, read a block at a time over
  // what the file holds and stepping over its holes: an archive on a sparse file is checked
  // without reading its empty index.
  std::optional<std::uint64_t> firstNonZeroIn(std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t end = offset + size;
    for (std::uint64_t at = offset; at < end;) {
      const auto data = archive_.nextData(at);
      if (!data || *data >= end) return std::nullopt;
      at = std::max(at, *data);
      const bytes::Bytes block = read(at, static_cast<std::size_t>(std::min(kScanBlock, end - at)));
      if (const std::size_t first = firstNonZero(block); first != block.size()) return at + first;
      at += block.size();
    }
    return std::nullopt;
  }

  // False when the walk cannot go on: the data lie outside the file.
  bool checkDocument(std::uint32_t n, const DocDescriptor& descriptor, const std::optional<DocDescriptor>& previous,
                     std::uint64_t& end) {
    const std::uint64_t record = indexRecordOffset(n);
    if (descriptor.documentNumber() != n) {
      problem(n, record + DocDescriptor::kDocumentNumberField.offset, "document number",
              storedAndExpected(std::to_string(descriptor.documentNumber()), std::to_string(n)));
    }
    if (!DocumentType::isKnown(descriptor.type())) problem(n, record, "unknown type " + std::to_string(descriptor.type()));
    for (const bytes::Field& zeros : {DocDescriptor::kReservedField, DocDescriptor::kTailField}) {
      if (allZero(bytes::slice(descriptor.bytes(), zeros))) continue;
      problem(n, record + zeros.offset,
              "descriptor bytes " + std::to_string(zeros.offset) + "-" + std::to_string(zeros.end() - 1) + " not zero");
    }
    if (previous) checkOrder(n, descriptor, *previous);
    checkFiscalizationNumber(n, descriptor);

    if (descriptor.dataOffset() != end) {
      problem(n, record + DocDescriptor::kDataOffsetField.offset, "data not right after the previous document",
              "at " + std::to_string(descriptor.dataOffset()) + ", expected " + std::to_string(end));
    }
    const std::uint64_t dataEnd = descriptor.dataOffset() + descriptor.dataLength();
    if (descriptor.dataOffset() < kDataOffset || descriptor.dataOffset() > size_ || dataEnd > size_) {
      problem(n, record + DocDescriptor::kDataLengthField.offset, "data past the end of the file",
              "offset " + std::to_string(descriptor.dataOffset()) + ", length " + std::to_string(descriptor.dataLength()) +
                  ", file size " + std::to_string(size_));
      return false;
    }
    end = dataEnd;
    const bytes::Bytes data = read(descriptor.dataOffset(), descriptor.dataLength());
    checkData(n, descriptor, data);
    return true;
  }

  void checkOrder(std::uint32_t n, const DocDescriptor& descriptor, const DocDescriptor& previous) {
    const std::uint64_t record = indexRecordOffset(n);
    const std::string before = " of document " + std::to_string(n - 1);
    if (descriptor.dateTime() < previous.dateTime()) {
      problem(n, record + DocDescriptor::kDateTimeField.offset, "date-time earlier than the previous document's",
              std::to_string(descriptor.dateTime()) + ", " + std::to_string(previous.dateTime()) + before);
    }
    if (descriptor.shiftNumber() < previous.shiftNumber()) {
      problem(n, record + DocDescriptor::kShiftNumberField.offset, "shift number below the previous document's",
              std::to_string(descriptor.shiftNumber()) + ", " + std::to_string(previous.shiftNumber()) + before);
    }
  }

  void checkFiscalizationNumber(std::uint32_t n, const DocDescriptor& descriptor) {
    if (descriptor.type() == DocumentType::kFiscalization) fiscalizations_.push_back(n);
    const std::uint32_t expected = fiscalizations_.empty() ? 0 : fiscalizations_.back();
    if (descriptor.fiscalizationNumber() != expected) {
      problem(n, indexRecordOffset(n) + DocDescriptor::kFiscalizationNumberField.offset, "fiscalization number",
              storedAndExpected(std::to_string(descriptor.fiscalizationNumber()), std::to_string(expected)));
    }
  }

  void checkData(std::uint32_t n, const DocDescriptor& descriptor, bytes::View data) {
    const std::uint64_t record = indexRecordOffset(n);
    if (data.empty() || data[0] != descriptor.type()) {
      problem(n, descriptor.dataOffset(), "data do not begin with the document's type");
    }
    // A receipt's data check value covers its stored form, not the pieces after it, and its
    // header check value the descriptor as closed, with the stored form's length.
    const bool receipt = descriptor.type() == DocumentType::kReceipt;
    const bytes::View covered = receipt ? data.first(receipt_archive::storedFormLength(data)) : data;
    const std::uint16_t dataCheck = crc::crc16(covered);
    const bool dataSound = dataCheck == descriptor.dataCheckValue();
    if (!dataSound) {
      problem(n, record + DocDescriptor::kDataCheckValueField.offset, "data check value",
              storedAndExpected(hex(descriptor.dataCheckValue()), hex(dataCheck)));
    }
    const bool headerSound = receipt_archive::headerSound(descriptor, data);
    auto document = DocumentType::isKnown(descriptor.type()) ? rebuild(descriptor, data) : nullptr;
    if (!document && DocumentType::isKnown(descriptor.type())) {
      problem(n, descriptor.dataOffset(), "stored items do not decode");
    }
    // Where the index and the stored items disagree, the damage is in the one whose check value
    // fails; with both sound they disagree as stored.
    const std::string disagreement = document && dataSound ? disagreeingField(descriptor, *document) : "";
    if (!headerSound) {
      problem(n, record + DocDescriptor::kHeaderCheckValueField.offset, "header check value",
              disagreement.empty() ? "" : "the index's " + disagreement + " is not the stored data's");
    } else if (!disagreement.empty()) {
      problem(n, descriptor.dataOffset(), "stored " + disagreement + " is not the index's");
    }
    if (!document) return;
    if (descriptor.type() == DocumentType::kFiscalization) takeRegistration(n, *document);
    if (dataSound) checkSign(n, *document);
    if (!receipt) {
      take(*document, descriptor, data);
      return;
    }
    // A receipt's pieces keep the register's rules; where a break tells what was changed, the
    // counters take the receipt as it was stored.
    receipt_checker::Result rules =
        receipt_checker::checkReceipt(data, registrationOf(descriptor.fiscalizationNumber()));
    for (const receipt_checker::Break& found : rules.breaks) {
      problem(n, descriptor.dataOffset() + found.offset, found.field, found.detail);
    }
    if (rules.repaired.empty()) {
      take(*document, descriptor, data);
    } else if (const auto stored = rebuild(descriptor, rules.repaired)) {
      take(*stored, descriptor, rules.repaired);
    }
  }

  // The registration a document was made under: that of the fiscalization it names.
  std::shared_ptr<BaseWorkDocument> rebuild(const DocDescriptor& descriptor, bytes::View data) {
    return rebuildDocument(descriptor, data, signs_ ? &signs_->model() : nullptr,
                           registrationOf(descriptor.fiscalizationNumber()));
  }

  // Sealed again when the key is known, else as stored; null before the fiscalization is read.
  const RegData* registrationOf(std::uint32_t fiscalization) const {
    if (signs_) return signs_->registration(fiscalization);
    const auto found = registrations_.find(fiscalization);
    return found == registrations_.end() ? nullptr : &found->second;
  }

  static std::string disagreeingField(const DocDescriptor& descriptor, const BaseWorkDocument& document) {
    if (document.documentNumber() != descriptor.documentNumber()) return "document number";
    if (document.fiscalizationNumber() != descriptor.fiscalizationNumber()) return "fiscalization number";
    if (document.dateTime() != descriptor.dateTime()) return "date-time";
    if (document.fiscalSign() != descriptor.fiscalSign()) return "fiscal sign";
    if (document.shiftNumber() != descriptor.shiftNumber()) return "shift number";
    return "";
  }

  // The stored items carry the registration without its check value, which only the key can
  // give back.
  void takeRegistration(std::uint32_t n, const BaseWorkDocument& fiscalization) {
    registrations_[n] = fiscalization.regData();
    if (signs_) signs_->takeFiscalization(n, fiscalization);
  }

  void checkSign(std::uint32_t n, const BaseWorkDocument& document) {
    if (signs_ && !signs_->sound(document)) {
      problem(n, indexRecordOffset(n) + DocDescriptor::kFiscalSignField.offset,
              "fiscal sign does not verify with the device key", hex(document.fiscalSign()));
    }
  }

  // What the document adds to the counters, through the store's own updates.
  void take(const BaseWorkDocument& document, const DocDescriptor& descriptor, bytes::View data) {
    const auto readArea = [this](std::uint64_t at, bytes::MutableView out) {
      if (at < kCountersOffset || at + out.size() > kCountersOffset + kCountersSize) return false;
      std::copy_n(counters_.begin() + static_cast<std::ptrdiff_t>(at - kCountersOffset), out.size(), out.begin());
      return true;
    };
    const auto changeArea = [this](std::uint64_t at, bytes::Bytes contents) {
      if (at < kCountersOffset || at + contents.size() > kCountersOffset + kCountersSize) return false;
      std::copy(contents.begin(), contents.end(), counters_.begin() + static_cast<std::ptrdiff_t>(at - kCountersOffset));
      return true;
    };
    switch (document.type()) {
      case DocumentType::kFiscalization: {
        const std::uint8_t count = counters_[kFiscalizationCountOffset - kCountersOffset];
        if (count < kMaxFiscalizations) {
          bytes::storeU32(counters_, kFiscalizationTableOffset - kCountersOffset + kFiscalizationEntrySize * count,
                          descriptor.documentNumber());
        }
        counters_[kFiscalizationCountOffset - kCountersOffset] = static_cast<std::uint8_t>(count + 1);
        CounterSet zero;
        zero.numberKinds();
        changeArea(kPeriodCountersOffset, encodeBlock(zero));
        break;
      }
      case DocumentType::kShiftOpening: {
        CounterSet shift;
        shift.shiftNumber = descriptor.shiftNumber();
        shift.numberKinds();
        changeArea(kShiftCountersOffset, encodeBlock(shift));
        // Shifts opened in the period counters, the current shift in the totals.
        const std::size_t opened = kPeriodCountersOffset - kCountersOffset + CounterSet::kShiftNumberField.offset;
        bytes::storeU16(counters_, opened, static_cast<std::uint16_t>(bytes::loadU16(counters_, opened) + 1));
        bytes::storeU16(counters_, kTotalsOffset - kCountersOffset + CounterSet::kShiftNumberField.offset,
                        descriptor.shiftNumber());
        changeArea(kSectionSumsOffset, bytes::Bytes(SectionSums::kSize * kReceiptKinds, 0));
        break;
      }
      case DocumentType::kCashDeposit:
      case DocumentType::kCashPayout:
        cash_archive::addToCounters(static_cast<const CashCtrlDocument&>(document), readArea, changeArea);
        break;
      case DocumentType::kReceipt: {
        // The section sums take the lines' totals as stored (11043), not as the rebuilt lines
        // work them out again from price, quantity and discount.
        const auto changeCounters = [&](std::uint64_t at, bytes::Bytes contents) {
          return at >= kSectionSumsOffset || changeArea(at, std::move(contents));
        };
        const auto& receipt = static_cast<const ReceiptDoc&>(document);  // the class of type 3
        receipt_archive::addToCounters(receipt, readArea, changeCounters);
        if (receipt.kind() < kReceiptKinds) addLineTotals(receipt.kind(), data);
        break;
      }
      default:
        break;
    }
    newest_[descriptor.type()] = descriptor;
    newest_[0] = descriptor;
  }

  // Each line's stored total (11043) into its section's sum of the receipt's kind.
  void addLineTotals(std::uint8_t kind, bytes::View data) {
    bytes::View items = data.subspan(1);
    TlvItem item;
    while (item.decodeFront(items)) {
      if (item.tag() != tag::kReceiptItem) continue;
      std::uint8_t section = 0;
      std::int64_t total = 0;
      for (const TlvItem& field : parseList(item)) {
        if (field.tag() == tag::kSectionNumber) section = field.getU8();
        if (field.tag() == tag::kItemTotal) total = static_cast<std::int64_t>(field.getVarInt());
      }
      if (section < 1 || section > SectionSums::kSections) continue;
      const std::size_t at = kSectionSumsOffset - kCountersOffset + SectionSums::kSize * kind +
                             SectionSums::kSectionsField.element(section - 1u).offset;
      bytes::storeU64(counters_, at, bytes::loadU64(counters_, at) + static_cast<std::uint64_t>(total));
    }
  }

  void checkSlots() {
    const struct {
      std::uint64_t offset;
      std::uint8_t type;  // 0: any
      const char* name;
    } slots[] = {{kLastShiftOpenSlot, DocumentType::kShiftOpening, "shift-open slot"},
                 {kLastShiftCloseSlot, DocumentType::kShiftClosing, "shift-close slot"},
                 {kLastFiscalizationSlot, DocumentType::kFiscalization, "fiscalization slot"},
                 {kLastDocumentSlot, 0, "last-document slot"}};
    for (const auto& slot : slots) {
      const DocDescriptor stored = DocDescriptor::fromBytes(read(slot.offset, kRecordSize));
      const auto newest = newest_.find(slot.type);
      const DocDescriptor expected = newest == newest_.end() ? DocDescriptor() : newest->second;
      const NamedField* field = firstDifference(descriptorFields(), stored.bytes(), expected.bytes());
      if (field == nullptr) continue;
      problem(stored.documentNumber(), slot.offset + field->offset, std::string(slot.name) + ": " + field->name,
              expected.documentNumber() == 0 ? "should be empty"
                                             : storedAndExpected(fieldValue(stored.bytes(), *field),
                                                                 fieldValue(expected.bytes(), *field)) +
                                                   " from document " + std::to_string(expected.documentNumber()));
    }
  }

  // The model and registration records are those of the newest fiscalization, zero before the
  // first one.
  void checkRegistration() {
    const bytes::Bytes model = read(kModelDataOffset, ModelData::kSize);
    const bytes::Bytes registration = read(kRegDataOffset, RegData::kSize);
    if (fiscalizations_.empty()) {
      checkZeroArea(kModelDataOffset, ModelData::kSize + RegData::kSize, "identity records before any fiscalization");
      return;
    }
    const RegData* newest = registrationOf(fiscalizations_.back());
    if (newest == nullptr) return;  // its damage is reported already
    bytes::Bytes expected(newest->bytes().begin(), newest->bytes().end());
    if (!signs_) {  // the check value cannot be recomputed
      bytes::storeU32(expected, RegData::kCheckValueField, bytes::loadU32(registration, RegData::kCheckValueField));
    }
    if (const NamedField* field = firstDifference(regDataFields(), registration, expected)) {
      problem(fiscalizations_.back(), kRegDataOffset + field->offset,
              "stored registration: " + field->name + " is not the newest fiscalization's");
    }
    if (const std::uint32_t id = bytes::loadU32(registration, RegData::kArchiveIdField); id != archiveId_) {
      problem(fiscalizations_.back(), kRegDataOffset + RegData::kArchiveIdField.offset,
              "stored registration: archive id is not the archive's",
              storedAndExpected(hex(id), hex(archiveId_)));
    }
    if (signs_ && !(ModelData::fromBytes(model) == signs_->model())) {
      fixedProblem(kModelDataOffset, "stored model record is not the identity memory's", "");
    }
  }

  void checkCounters() {
    const bytes::Bytes stored = read(kCountersOffset, kCountersSize);
    static const std::vector<NamedField> fields = counterFields();
    for (const NamedField& field : fields) {
      if (std::equal(stored.begin() + field.offset, stored.begin() + field.offset + field.size,
                     counters_.begin() + field.offset)) {
        continue;
      }
      fixedProblem(kCountersOffset + field.offset, field.name,
                   storedAndExpected(fieldValue(stored, field), fieldValue(counters_, field)) + " from the documents");
    }
  }

  void checkZeroArea(std::uint64_t offset, std::size_t size, const std::string& name) {
    if (const auto at = firstNonZeroIn(offset, size)) fixedProblem(*at, name + " not zero", "");
  }

  platform::RandomAccessFile& archive_;
  const ArchiveCheckOptions& options_;
  std::optional<FiscalSigns> signs_;  // set when the signs can be checked
  std::uint64_t size_ = 0;
  std::uint32_t archiveId_ = 0;
  std::uint32_t lastNumber_ = 0;
  std::vector<ArchiveProblem> problems_;
  std::size_t unlisted_ = 0;
  std::vector<std::uint32_t> fiscalizations_;
  std::map<std::uint32_t, RegData> registrations_;  // by fiscalization number, as stored
  std::map<std::uint8_t, DocDescriptor> newest_;     // by type; 0 the newest of all
  bytes::Bytes counters_;                            // the recomputed area from kCountersOffset
};

}  // namespace

std::string ArchiveProblem::text() const {
  std::string out = document != 0 ? "document " + std::to_string(document) + ", " : "";
  out += (inIdentity ? "identity memory offset " : "offset ") + std::to_string(offset) + ": " + field;
  if (!detail.empty()) out += " (" + detail + ")";
  return out;
}

std::vector<ArchiveProblem> findArchiveProblems(platform::RandomAccessFile& archive, const ArchiveCheckOptions& options) {
  return Checker(archive, options).run();
}

std::vector<std::string> checkArchive(platform::RandomAccessFile& archive) {
  std::vector<std::string> texts;
  for (const ArchiveProblem& problem : findArchiveProblems(archive)) texts.push_back(problem.text());
  return texts;
}
